#include "samples.h"

namespace samples {

// Version 1: no \ansicpg (GBK must be assumed), the first font without a charset, a colour
// table without the empty first entry (so \cf1 is the second colour listed), one character
// written as raw GBK bytes, the stream ending in "\par }" and a zero byte.
QByteArray richEdit1()
{
    return QByteArray(
        "{\\rtf1\\ansi\\deff0\\deftab720{\\fonttbl{\\f0\\fswiss MS Sans Serif;}"
        "{\\f1\\froman\\fcharset2 Symbol;}{\\f2\\fswiss\\fprq2\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n"
        "{\\colortbl\\red0\\green0\\blue0;\\red255\\green0\\blue0;}\r\n"
        "\\deflang2052\\pard\\plain\\f2\\fs18 2\\par\r\n"
        "\\plain\\f2\\fs18 4\\par\r\n"
        "\\plain\\f2\\fs18\\cf1 \\'bd\\'f1\\'cc\\'ec\\plain\\f2\\fs18  raw \xC4\xE3\xBA\xC3\\plain\\f0\\fs18 \\'d6\\'d0\\'ce\\'c4\\par\r\n"
        "\\pard{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'b7}}\\fi-360\\li720\\plain\\f2\\fs18 item\\par\r\n"
        "{\\pntext\\f1\\'b7\\tab}\\'b6\\'fe\\par\r\n"
        "}\r\n") + QByteArray(1, '\0');
}

// Versions 2/3 (and later): \ansicpg936, formats, bullets, a lead byte escaped with its trail
// byte written literally (說 \'d5f, 這 \'df@), and a trail byte that is a backslash (嘰 \'87\\).
QByteArray richEdit2()
{
    return QByteArray(
        "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil\\fprq2\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}"
        "{\\f1\\fnil\\fcharset0 Arial;}{\\f2\\fnil\\fcharset2 Symbol;}}\r\n"
        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
        "{\\*\\generator Msftedit 5.41.21.2510;}\\viewkind4\\uc1\\pard\\sa200\\sl276\\slmult1\\lang2052\\f0\\fs18 1\\par\r\n"
        "3\\par\r\n"
        "\\qc\\b\\'d6\\'d0\\'ce\\'c4\\b0\\par\r\n"
        "\\pard\\qr\\i\\f1\\fs24 English\\i0\\par\r\n"
        "\\pard\\ul\\cf1 red underline\\ulnone\\cf0 , \\strike strike\\strike0 , \\cf2\\highlight1 blue\\cf0\\highlight0\\par\r\n"
        "\\pard{\\pntext\\f2\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf2\\pnindent0{\\pntxtb\\'B7}}\\fi-360\\li720\\f0\\fs18 \\'d2\\'bb\\par\r\n"
        "{\\pntext\\f2\\'B7\\tab}\\'b6\\'fe\\par\r\n"
        "\\pard\\par\r\n"
        "\\'d5f\\'df@ \\'87\\\\\\par\r\n"
        "}\r\n");
}

// Word: \uc2 with GBK fallbacks, font entries with \panose and \falt and a number defined twice,
// \defchp, a style sheet, list tables with \listtext, \info, \* destinations, a header, a field,
// pictures, hidden text, a footnote and an annotation.
QByteArray word()
{
    return QByteArray(R"({\rtf1\adeflang1025\ansi\ansicpg936\uc2\adeff31507\deff0\stshfdbch13\stshfloch31506\stshfhich31506\stshfbi31507\deflang1033\deflangfe2052\themelang1033\themelangfe2052
{\fonttbl{\f0\fbidi \froman\fcharset0\fprq2{\*\panose 02020603050405020304}Times New Roman;}{\f3\fbidi \froman\fcharset2\fprq2{\*\panose 05050102010706020507}Symbol;}
{\f13\fbidi \fnil\fcharset134\fprq2{\*\panose 02010600030101010101}\'cb\'ce\'cc\'e5{\*\falt SimSun};}{\f13\fbidi \fnil\fcharset134\fprq2 SimSun;}
{\f37\fbidi \fswiss\fcharset0\fprq2{\*\panose 020b0604020202020204}Arial;}}
{\colortbl;\red0\green0\blue0;\red255\green0\blue0;}
{\*\defchp \f31506\fs21\kerning2\loch\af31506\hich\af31506\dbch\af31505 }{\*\defpap \ql \li0\ri0\widctlpar\wrapdefault\aspalpha\aspnum\faauto\adjustright\rin0\lin0\itap0 }
{\stylesheet{\qj \li0\ri0\nowidctlpar\wrapdefault\aspalpha\aspnum\faauto\adjustright\rin0\lin0\itap0 \rtlch\fcs1 \af0\afs24\alang1025 \ltrch\fcs0 \f0\fs21\lang1033\langfe2052\kerning2\loch\f0\hich\af0\dbch\af13\cgrid\langnp1033\langfenp2052 \snext0 \sqformat \spriority0 Normal;}{\*\cs10 \additive \ssemihidden \sunhideused \spriority1 Default Paragraph Font;}{\s15\ql \li720 Heading Style Name;}}
{\*\listtable{\list\listtemplateid1234\listhybrid{\listlevel\levelnfc23\levelnfcn23\leveljc0\leveljcn0\levelfollow0\levelstartat1\lvltentative{\leveltext\leveltemplateid67698689\'01\u-3913 ?;}{\levelnumbers;}\f3\fbias0 \fi-420\li420\lin420 }{\listlevel\levelnfc4\levelnfcn4\leveljc0\leveljcn0\levelfollow0\levelstartat1{\leveltext\'02\'01);}{\levelnumbers\'01;}\fi-420\li840\lin840 }{\listname ;}\listid111}
{\list\listtemplateid5678{\listlevel\levelnfc0\levelnfcn0\leveljc0\leveljcn0\levelfollow0\levelstartat1{\leveltext\'02\'00.;}{\levelnumbers\'01;}\fi-420\li420\lin420 }{\listname ;}\listid222}}
{\*\listoverridetable{\listoverride\listid111\listoverridecount0\ls1}{\listoverride\listid222\listoverridecount0\ls2}}
{\*\rsidtbl \rsid1234\rsid5678}{\*\mmathPr\mmathFont34\mbrkBin0}
{\info{\title Secret Title}{\author \'d5\'c5\'c8\'fd}{\operator Someone}{\creatim\yr2020\mo1\dy1\hr10\min0}{\version1}{\edmins0}{\nofpages1}{\*\company Co}{\vern89}}
{\*\xmlnstbl {\xmlns1 http://schemas.microsoft.com/office/word/2003/wordml}}
\paperw11906\paperh16838\margl1800\margr1800\margt1440\margb1440\gutter0\ltrsect 
{\header \pard\plain \qc header text\par}
\pard\plain \ltrpar\qj \li0\ri0\nowidctlpar\wrapdefault\aspalpha\aspnum\faauto\adjustright\rin0\lin0\itap0 \rtlch\fcs1 \af0\afs24\alang1025 \ltrch\fcs0 \f0\fs21\lang1033\langfe2052\kerning2\loch\af0\hich\af0\dbch\af13\cgrid\langnp1033\langfenp2052 {\rtlch\fcs1 \af0 \ltrch\fcs0 \hich\af0\dbch\af13\loch\f0 Hello }{\rtlch\fcs1 \af0 \ltrch\fcs0 \b\f13\hich\af13\dbch\af13\loch\f13 \u20320\'c4\'e3\u22909\'ba\'c3}{\rtlch\fcs1 \af0 \ltrch\fcs0 \hich\af0\dbch\af13\loch\f0 \par }
\pard \ltrpar\qc {\field{\*\fldinst {\rtlch\fcs1 \af0 \ltrch\fcs0 \hich\af0\dbch\af13\loch\f0  HYPERLINK "http://example.com/" }}{\fldrslt {\rtlch\fcs1 \af0 \ltrch\fcs0 \cs15\ul\cf2 \hich\af0\dbch\af13\loch\f0 link \u38142\'c1\'b4\u25509\'bd\'d3}}}\sectd \ltrsect\linex0\sectdefaultcl\sftnbj {\rtlch\fcs1 \af0 \ltrch\fcs0 \par }
\pard \ltrpar\ql {\*\shppict{\pict{\*\picprop\shplid1025}\picscalex100\picscaley100\piccropl0\piccropr0\piccropt0\piccropb0\picw100\pich100\picwgoal60\pichgoal60\pngblip 89504e470d0a1a0a0000000d49484452}}{\nonshppict{\pict\picscalex100\picw100\pich100\wmetafile8 0100090000}}{\rtlch\fcs1 \af0 \ltrch\fcs0 after picture\par }
{\listtext\pard\plain\ltrpar \rtlch\fcs1 \af0 \ltrch\fcs0 \f3\fs21\loch\af3\hich\af3\dbch\af13 \loch\f3 \'b7\tab}\pard\plain \ltrpar\ql \fi-420\li420\ri0\nowidctlpar\wrapdefault\aspalpha\aspnum\faauto\ls1\adjustright\rin0\lin420\itap0 \f0\fs21 {\loch\f0 first bullet\par }
{\listtext\pard\plain\ltrpar \f0 a)\tab}\pard\plain \ltrpar\ql \fi-420\li840\ri0\ls1\ilvl1\lin840\itap0 \f0\fs21 {\loch\f0 sub item\par }
{\listtext\pard\plain\ltrpar \f3 \'b7\tab}\pard\plain \ltrpar\ql \fi-420\li420\ls1\lin420 \f0\fs21 {second bullet\par }
{\listtext\pard\plain\ltrpar \f0 1.\tab}\pard\plain \ltrpar\ql \fi-420\li420\ls2\lin420 \f0\fs21 {numbered\par }
\pard\plain \ltrpar\ql {\*\bkmkstart mark}{\*\bkmkend mark}{\v hidden }{\footnote \pard\plain footnote text\par}visible\u8212\'a1\'aa end{\*\atnid x}{\*\annotation \pard note\par}\par
{\*\themedata 504b030414000600080000002100e9de0f}
{\*\colorschememapping 3c3f786d6c}
{\*\datastore 0105000002000000}}
)");
}

// LibreOffice: \uc switching between 2 and 1 with fallbacks, characters beyond U+FFFF as two
// \u surrogates, a font name written with \u, both branches of \upr, and CR LF inside runs.
QByteArray libreOffice()
{
    return QByteArray(R"({\rtf1\ansi\deff4\adeflang1025
{\fonttbl{\f0\froman\fprq2\fcharset0 Times New Roman;}{\f1\froman\fprq2\fcharset2 Symbol;}{\f4\froman\fprq2\fcharset0 Liberation Serif{\*\falt Times New Roman};}{\f5\fnil\fprq2\fcharset134 Noto Sans CJK SC;}{\f6\fnil\fprq2\fcharset0 \u23435\'3f\u20307\'3f;}}
{\colortbl;\red0\green0\blue0;\red0\green0\blue255;\red255\green255\blue255;}
{\stylesheet{\s0\snext0\hich\af5\dbch\af5\loch\f4\fs24\lang2052 Normal;}}
{\*\generator LibreOffice/7.4.7.2$Linux_X86_64 LibreOffice_project/40$Build-2}{\info{\creatim\yr2024\mo3\dy1\hr12\min0}{\revtim\yr2024\mo3\dy1\hr12\min1}{\printim\yr0\mo0\dy0\hr0\min0}}{\*\userprops}\deftab709
\hyphauto1\viewscale100
{\*\pgdsctbl
{\pgdsc0\pgdscuse451\pgwsxn11906\pghsxn16838\marglsxn1134\margrsxn1134\margtsxn1134\margbsxn1134\pgdscnxt0 Default Page Style;}}
\formshade{\*\pgdscno0}\paperh16838\paperw11906\margl1134\margr1134\margt1134\margb1134\sectd\sbknone\sectunlocked1\pgndec\pgwsxn11906\pghsxn16838\marglsxn1134\margrsxn1134\margtsxn1134\margbsxn1134\ftnbj\ftnstart1\ftnrstcont\ftnnar\aenddoc\aftnrstcont\aftnstart1\aftnnrlc
{\*\ftnsep\chftnsep}\pgndec\pard\plain \s0\hich\af5\dbch\af5\loch\f4\fs24\lang2052\ql{\loch
Plain }{\hich\af5\dbch\af5\loch\f4\b\loch
\uc2 \u19979\'cf\'c2\uc1 \u21010\'3f}{\loch
 text}
\par \pard\plain \s0\qc{\cf2\i\loch
\u23435\'3f\u20307\'3f}{\loch
 \upr{ANSI ONLY}{\*\ud{\u26085\'3f}}}{\loch\f6  named}
\par \pard\plain \s0\ql{\loch
emoji \u55357\'3f\u56832\'3f end}
\par }
)");
}

// pandoc: \uN? with surrogates written unsigned, fonts without a charset.
QByteArray pandoc()
{
    return QByteArray(R"({\rtf1\ansi\deff0{\fonttbl{\f0 \fswiss Helvetica;}{\f1 Courier;}}
{\colortbl;\red255\green0\blue0;}
\widowctrl\hyphauto

{\pard \ql \f0 \sa180 \li0 \fi0 \u20320?\u22909? \u55357?\u56832?\par}
{\pard \ql \f0 \sa180 \li0 \fi0 {\b bold} and {\f1 code}\par}
}
)");
}

// Mac TextEdit: a font table without inner braces, \uc0, and backslash-newline as \par.
QByteArray textEdit()
{
    return QByteArray("{\\rtf1\\ansi\\ansicpg936\\cocoartf2639\n"
                      "\\cocoatextscaling0\\cocoaplatform0{\\fonttbl\\f0\\fnil\\fcharset134 STSongti-SC-Regular;\\f1\\fswiss\\fcharset0 Helvetica;}\n"
                      "{\\colortbl;\\red255\\green255\\blue255;}\n"
                      "{\\*\\expandedcolortbl;;}\n"
                      "\\paperw11900\\paperh16840\\margl1440\\margr1440\\vieww11520\\viewh8400\\viewkind0\n"
                      "\\pard\\tx566\\pardirnatural\\partightenfactor0\n"
                      "\n"
                      "\\f0\\fs24 \\cf0 \\uc0\\u20320 \\u22909 \\f1 abc\\\n"
                      "\\f0 \\'c4\\'e3}");
}

// Word: tables with row and cell borders, a shaded cell, each row's definition stated before its
// cells and again in a group with \row after them, and a table nested in a cell
// (\itap2 … \nestcell, {\*\nesttableprops … \nestrow}{\nonesttables …}).
QByteArray wordTables()
{
    return QByteArray(R"({\rtf1\adeflang1025\ansi\ansicpg936\uc2\deff0{\fonttbl{\f0\froman\fcharset0 Times New Roman;}{\f13\fnil\fcharset134 \'cb\'ce\'cc\'e5;}}
{\colortbl;\red0\green0\blue0;\red255\green255\blue0;}
\pard\plain \ltrpar\ql \itap0 \f0\fs21 Before\par
\trowd \irow0\irowband0\ltrrow\ts11\trgaph108\trleft-108\trbrdrt\brdrs\brdrw10 \trbrdrl\brdrs\brdrw10 \trbrdrb\brdrs\brdrw10 \trbrdrr\brdrs\brdrw10 \trftsWidth1\trautofit1\tblind0\tblindtype3 \clvertalt\clbrdrt\brdrs\brdrw10 \clbrdrl\brdrs\brdrw10 \clbrdrb\brdrs\brdrw10 \clbrdrr\brdrs\brdrw10 \cltxlrtb\clftsWidth3\clwWidth2840\clshdrawnil \cellx2732\clvertalt\clbrdrt\brdrs\brdrw10 \clbrdrl\brdrs\brdrw10 \clbrdrb\brdrs\brdrw10 \clbrdrr\brdrs\brdrw10 \cltxlrtb\clftsWidth3\clwWidth2840\clcbpat2 \cellx5572\pard\plain \ltrpar\ql \li0\ri0\widctlpar\intbl\wrapdefault\aspalpha\aspnum\faauto\adjustright\rin0\lin0 \f0\fs21 {\rtlch\fcs1 \af0 \ltrch\fcs0 \f13\hich\af13\dbch\af13\loch\f13 \'c8\'d5\'c6\'da\cell }{\rtlch\fcs1 \af0 \ltrch\fcs0 \b Weather\cell }\pard\plain \ltrpar\ql \li0\ri0\widctlpar\intbl\wrapdefault\aspalpha\aspnum\faauto\adjustright\rin0\lin0 \f0\fs21 {\rtlch\fcs1 \af0 \ltrch\fcs0 \trowd \irow0\irowband0\ltrrow\ts11\trgaph108\trleft-108\trbrdrt\brdrs\brdrw10 \clbrdrt\brdrs\brdrw10 \cellx2732\clcbpat2 \cellx5572\row }
\trowd \irow1\irowband1\lastrow \ltrrow\ts11\trgaph108\trleft-108\trbrdrt\brdrs\brdrw10 \clbrdrt\brdrs\brdrw10 \cellx2732\clbrdrt\brdrs\brdrw10 \cellx5572
\pard\plain \ltrpar\ql \intbl\itap1 \f0\fs21 outer\par
\pard\plain \ltrpar\ql \intbl\itap2 \f0\fs21 in1\nestcell in2\nestcell
\pard\plain \ltrpar\ql \intbl\itap2 {\*\nesttableprops\trowd \irow0\irowband0\lastrow \ltrrow\ts11\trgaph108\trleft0\clbrdrt\brdrs\brdrw10 \cellx1000\clbrdrt\brdrs\brdrw10 \cellx2000\nestrow}{\nonesttables\par }
\pard\plain \ltrpar\ql \intbl\itap1 \f0\fs21 \cell sunny\cell
\pard\plain \ltrpar\ql \intbl\itap1 {\trowd \irow1\irowband1\lastrow \ltrrow\ts11\trgaph108\trleft-108\cellx2732\cellx5572\row }
\pard\plain \ltrpar\ql \itap0 \f0\fs21 After\par}
)");
}

// LibreOffice 7.4 (converted from an HTML page): rows with different cell boundaries (a cell
// spanning two columns), a vertical merge (\clvmgf, \clvmrg), a nested table followed by an
// empty paragraph in its cell, and an outer row with more \cell than \cellx.
QByteArray libreOfficeTables()
{
    return QByteArray(R"({\rtf1\ansi\deff3\adeflang1025
{\fonttbl{\f0\froman\fprq2\fcharset0 Times New Roman;}{\f1\froman\fprq2\fcharset2 Symbol;}{\f2\fswiss\fprq2\fcharset0 Arial;}{\f3\froman\fprq2\fcharset0 DejaVu Serif;}{\f4\fswiss\fprq2\fcharset0 DejaVu Sans;}{\f5\fnil\fprq2\fcharset0 Noto Sans CJK SC;}{\f6\fnil\fprq2\fcharset0 DejaVu Sans;}{\f7\fswiss\fprq0\fcharset0 DejaVu Sans;}}
{\colortbl;\red0\green0\blue0;\red0\green0\blue255;\red0\green255\blue255;\red0\green255\blue0;\red255\green0\blue255;\red255\green0\blue0;\red255\green255\blue0;\red255\green255\blue255;\red0\green0\blue128;\red0\green128\blue128;\red0\green128\blue0;\red128\green0\blue128;\red128\green0\blue0;\red128\green128\blue0;\red128\green128\blue128;\red192\green192\blue192;}
\pard\plain \s16\loch\sl276\slmult1\sb0\sa140\ql\ltrpar{\loch
Before}
\par \trowd\trql\ltrrow\trpaddft3\trpaddt0\trpaddfl3\trpaddl0\trpaddfb3\trpaddb0\trpaddfr3\trpaddr0\clbrdrt\brdrdb\brdrw5\brdrcf15\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw5\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw1\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvertalc\cellx1006\clbrdrt\brdrdb\brdrw5\brdrcf15\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw1\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw1\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvertalc\cellx1532\pard\plain \s20\loch\nowidctlpar\noline\intbl\ql\nowidctlpar\noline\ltrpar{\loch
A1}\cell\pard\plain \s20\loch\nowidctlpar\noline\intbl\ql\nowidctlpar\noline\ltrpar{\loch
B1}\cell\row\pard\trowd\trql\ltrrow\trpaddft3\trpaddt0\trpaddfl3\trpaddl0\trpaddfb3\trpaddb0\trpaddfr3\trpaddr0\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw5\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw5\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvertalc\cellx1006\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw1\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw5\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvertalc\cellx1532\pard\plain \s20\loch\nowidctlpar\noline\intbl\ql\nowidctlpar\noline\ltrpar{\loch
A2 }{\dbch
\u20013\'3f\u25991\'3f}\cell\pard\plain \s20\loch\nowidctlpar\noline\intbl\ql\ltrpar{\loch\b\loch
B2}\cell\row\pard\pard\plain \s16\loch\sl276\slmult1\sb0\sa140\sl276\slmult1\ql\sb0\sa140\ltrpar{\loch
Middle}
\par \trowd\trql\ltrrow\trpaddft3\trpaddt0\trpaddfl3\trpaddl0\trpaddfb3\trpaddb0\trpaddfr3\trpaddr0\clbrdrt\brdrdb\brdrw5\brdrcf15\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw5\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw1\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvertalc\cellx797\pard\plain \s20\loch\nowidctlpar\noline\intbl\ql\nowidctlpar\noline\ltrpar{\loch
wide}\cell\row\pard\trowd\trql\ltrrow\trpaddft3\trpaddt0\trpaddfl3\trpaddl0\trpaddfb3\trpaddb0\trpaddfr3\trpaddr0\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw5\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw1\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvmgf\clvertalc\cellx511\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw1\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw1\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvertalc\cellx797\pard\plain \s20\loch\nowidctlpar\noline\intbl\ql\nowidctlpar\noline\ltrpar{\loch
tall}\cell\pard\plain \s20\loch\nowidctlpar\noline\intbl\ql\nowidctlpar\noline\ltrpar{\loch
x}\cell\row\pard\trowd\trql\ltrrow\trpaddft3\trpaddt0\trpaddfl3\trpaddl0\trpaddfb3\trpaddb0\trpaddfr3\trpaddr0\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw5\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw5\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvmrg\clvertalc\cellx511\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw1\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw5\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvertalc\cellx797\pard\plain \s20\loch\nowidctlpar\noline\intbl\ql\ltrpar\rtlch\afs4 \ltrch\loch\fs4\loch
\cell\pard\plain \s20\loch\nowidctlpar\noline\intbl\ql\nowidctlpar\noline\ltrpar{\loch
y}\cell\row\pard\pard\plain \s16\loch\sl276\slmult1\sb0\sa140\sl276\slmult1\ql\sb0\sa140\ltrpar{\loch
Nest}
\par \trowd\trql\ltrrow\trpaddft3\trpaddt0\trpaddfl3\trpaddl0\trpaddfb3\trpaddb0\trpaddfr3\trpaddr0\clbrdrt\brdrdb\brdrw5\brdrcf15\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw5\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw5\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvertalc\cellx1123\clbrdrt\brdrdb\brdrw5\brdrcf15\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw1\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw5\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvertalc\cellx1574\pard\plain \s20\loch\nowidctlpar\noline\intbl\ql\nowidctlpar\noline\ltrpar{\loch
outer}
\par \pard\plain \s20\loch\nowidctlpar\noline\intbl\itap2\ql\nowidctlpar\noline\ltrpar{\loch
in1}\nestcell\pard\plain \s20\loch\nowidctlpar\noline\intbl\itap2\ql\nowidctlpar\noline\ltrpar{\loch
in2}\nestcell{\*\nesttableprops\trowd\trql\ltrrow\trpaddft3\trpaddt0\trpaddfl3\trpaddl0\trpaddfb3\trpaddb0\trpaddfr3\trpaddr0\clbrdrt\brdrdb\brdrw5\brdrcf15\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw5\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw5\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvertalc\cellx496\clbrdrt\brdrdb\brdrw5\brdrcf15\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw1\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw5\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvertalc\cellx1022\nestrow}{\nonesttables\par}\pard\plain \s20\loch\nowidctlpar\noline\intbl\ql\ltrpar\rtlch\afs4 \ltrch\loch\fs4\loch
\cell\trowd\trql\ltrrow\trpaddft3\trpaddt0\trpaddfl3\trpaddl0\trpaddfb3\trpaddb0\trpaddfr3\trpaddr0\clbrdrt\brdrdb\brdrw5\brdrcf15\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw5\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw5\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvertalc\cellx1123\clbrdrt\brdrdb\brdrw5\brdrcf15\clpadfl3\clpadl28\clbrdrl\brdrdb\brdrw1\brdrcf15\clpadft3\clpadt28\clbrdrb\brdrdb\brdrw5\brdrcf15\clpadfb3\clpadb28\clbrdrr\brdrdb\brdrw5\brdrcf15\clpadfr3\clpadr28\clvertalc\cellx1574\pard\plain \s20\loch\nowidctlpar\noline\intbl\ql\nowidctlpar\noline\ltrpar{\loch
o2}\cell\cell\row\pard\pard\plain \s16\loch\sl276\slmult1\sb0\sa140\sl276\slmult1\ql\sb0\sa140\ltrpar{\loch
After}
\par })");
}

// pandoc: every row in a group, every cell's paragraph in a group of its own whose \pard resets
// \intbl, the paragraph ended by \par before the cell's \cell.
QByteArray pandocTables()
{
    return QByteArray(R"({\rtf1\ansi\deff0{\fonttbl{\f0 \fswiss Helvetica;}}
{\pard \ql \f0 \sa180 \li0 \fi0 Before\par}
{
\trowd \trgaph120
\clbrdrb\brdrs\cellx4320\clbrdrb\brdrs\cellx8640
\trkeep\intbl
{
{\intbl {\pard \ql \f0 \sa0 \li0 \fi0 A\par}
\cell}
{\intbl {\pard \ql \f0 \sa0 \li0 \fi0 B\par}
\cell}
}
\intbl\row}
{\pard \ql \f0 \sa180 \li0 \fi0 After\par}
}
)");
}

QList<Named> all()
{
    return {
        {"rich edit 1", richEdit1()}, {"rich edit 2", richEdit2()}, {"Word", word()},
        {"LibreOffice", libreOffice()}, {"pandoc", pandoc()}, {"TextEdit", textEdit()},
        {"Word tables", wordTables()}, {"LibreOffice tables", libreOfficeTables()},
        {"pandoc tables", pandocTables()},
    };
}

} // namespace samples
