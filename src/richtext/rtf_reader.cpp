#include "rtf_reader.h"

#include "code_pages.h"
#include "rtf_tokenizer.h"
#include "tables.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace richtext {

namespace {

// Where the text of a group goes.
enum class Dest : unsigned char {
    Body,               // the document
    Skip,               // nowhere; only nesting is followed
    FontTable,
    ColorTable,
    ListTable,
    ListOverrideTable,
    PnDef,              // an old-style bullet definition {\*\pn …}
    Wrapper,            // \upr or \object: only the \ud or \result part is read
    Picture,            // a \pict group: its hex digits are the picture's bytes
};

enum class Cw : unsigned char {
    SkipDest, FontTbl, ColorTbl, ListTbl, ListOverrideTbl, Pn, Upr, Ud, Object, Result,
    Ansi, Mac, Pc, Pca, AnsiCpg, Deff, Uc, U,
    F, FCharset, Cpg, Red, Green, Blue,
    Plain, B, I, Ul, UlNone, UlDash, UlDot, UlDashDot, UlDashDotDot, UlWave, Strike, Fs, Cf,
    Highlight, Super, Sub, NoSuperSub, Hidden,
    Pard, Ql, Qc, Qr, Qj, Li, Ri, Fi, Sb, Sa, Ls, Ilvl, PageBb,
    PnLvlBlt, PnLvlCont, PnDec, PnUcLtr, PnLcLtr, PnUcRm, PnLcRm,
    List, ListLevel, LevelNfc, ListId, ListOverride,
    Par, Page, Sect, Row, Char,
    Dbch, Loch, Rtlch, Ltrch, Ab, Ai, Afs, Body, Footnote, Chftn,
    Pict, PngBlip, JpegBlip, WmetaFile, EmfBlip, PicW, PicH, PicWGoal, PicHGoal, PicScaleX,
    PicScaleY,
    Cell, NestCell, NestRow, Trowd, Cellx, TrLeft, ClMgf, ClMrg, ClVmgf, ClVmrg, ClCbPat, InTbl,
    Itap, NestTableProps, Border, BorderStyle, BorderNone,
};

struct CwEntry {
    std::string_view name;
    Cw cw;
    char16_t ch = 0;          // Char: the character the word stands for
    bool underStar = false;   // read even when marked ignorable with \*
};

// The control words the reader acts on, sorted by name. Every other word is ignored, and every
// other word after \* makes its group skipped.
constexpr std::array kControlWords = std::to_array<CwEntry>({
    {"ab", Cw::Ab}, {"afs", Cw::Afs}, {"aftncn", Cw::SkipDest}, {"aftnsep", Cw::SkipDest},
    {"aftnsepc", Cw::SkipDest}, {"ai", Cw::Ai}, {"annotation", Cw::SkipDest}, {"ansi", Cw::Ansi},
    {"ansicpg", Cw::AnsiCpg}, {"author", Cw::SkipDest}, {"b", Cw::B}, {"blue", Cw::Blue},
    {"brdrdash", Cw::BorderStyle}, {"brdrdashd", Cw::BorderStyle}, {"brdrdashdd", Cw::BorderStyle},
    {"brdrdashsm", Cw::BorderStyle}, {"brdrdb", Cw::BorderStyle}, {"brdrdot", Cw::BorderStyle},
    {"brdremboss", Cw::BorderStyle}, {"brdrengrave", Cw::BorderStyle}, {"brdrframe", Cw::BorderStyle},
    {"brdrhair", Cw::BorderStyle}, {"brdrinset", Cw::BorderStyle}, {"brdrnil", Cw::BorderNone},
    {"brdrnone", Cw::BorderNone}, {"brdroutset", Cw::BorderStyle}, {"brdrs", Cw::BorderStyle},
    {"brdrsh", Cw::BorderStyle}, {"brdrth", Cw::BorderStyle}, {"brdrtriple", Cw::BorderStyle},
    {"brdrwavy", Cw::BorderStyle},
    {"bullet", Cw::Char, 0x2022}, {"buptim", Cw::SkipDest}, {"category", Cw::SkipDest},
    {"cb", Cw::Highlight}, {"cell", Cw::Cell}, {"cellx", Cw::Cellx}, {"cf", Cw::Cf},
    {"chftn", Cw::Chftn}, {"clbrdrb", Cw::Border}, {"clbrdrl", Cw::Border}, {"clbrdrr", Cw::Border},
    {"clbrdrt", Cw::Border}, {"clcbpat", Cw::ClCbPat}, {"clmgf", Cw::ClMgf}, {"clmrg", Cw::ClMrg},
    {"clvmgf", Cw::ClVmgf}, {"clvmrg", Cw::ClVmrg},
    {"colortbl", Cw::ColorTbl}, {"column", Cw::Par}, {"comment", Cw::SkipDest},
    {"company", Cw::SkipDest}, {"cpg", Cw::Cpg}, {"creatim", Cw::SkipDest}, {"dbch", Cw::Dbch},
    {"deff", Cw::Deff}, {"doccomm", Cw::SkipDest}, {"emdash", Cw::Char, 0x2014},
    {"emfblip", Cw::EmfBlip}, {"emspace", Cw::Char, 0x2003}, {"endash", Cw::Char, 0x2013},
    {"enspace", Cw::Char, 0x2002}, {"f", Cw::F}, {"fcharset", Cw::FCharset}, {"fi", Cw::Fi},
    {"filetbl", Cw::SkipDest}, {"fldinst", Cw::SkipDest}, {"fldrslt", Cw::Body, 0, true},
    {"fonttbl", Cw::FontTbl}, {"footer", Cw::SkipDest}, {"footerf", Cw::SkipDest},
    {"footerl", Cw::SkipDest}, {"footerr", Cw::SkipDest}, {"footnote", Cw::Footnote, 0, true},
    {"fs", Cw::Fs}, {"ftncn", Cw::SkipDest}, {"ftnsep", Cw::SkipDest}, {"ftnsepc", Cw::SkipDest},
    {"green", Cw::Green}, {"header", Cw::SkipDest}, {"headerf", Cw::SkipDest},
    {"headerl", Cw::SkipDest}, {"headerr", Cw::SkipDest}, {"hich", Cw::Loch},
    {"highlight", Cw::Highlight}, {"hlinkbase", Cw::SkipDest}, {"i", Cw::I}, {"ilvl", Cw::Ilvl},
    {"info", Cw::SkipDest}, {"intbl", Cw::InTbl}, {"itap", Cw::Itap}, {"jpegblip", Cw::JpegBlip}, {"keywords", Cw::SkipDest},
    {"ldblquote", Cw::Char, 0x201C}, {"levelnfc", Cw::LevelNfc}, {"levelnfcn", Cw::LevelNfc},
    {"levelnumbers", Cw::SkipDest}, {"leveltext", Cw::SkipDest}, {"li", Cw::Li}, {"lin", Cw::Li},
    {"line", Cw::Char, QChar::LineSeparator}, {"list", Cw::List}, {"listid", Cw::ListId},
    {"listlevel", Cw::ListLevel}, {"listname", Cw::SkipDest}, {"listoverride", Cw::ListOverride},
    {"listoverridetable", Cw::ListOverrideTbl, 0, true}, {"listtable", Cw::ListTbl, 0, true},
    {"listtext", Cw::SkipDest}, {"loch", Cw::Loch}, {"lquote", Cw::Char, 0x2018}, {"ls", Cw::Ls},
    {"ltrch", Cw::Ltrch}, {"ltrmark", Cw::Char, 0x200E}, {"mac", Cw::Mac},
    {"manager", Cw::SkipDest}, {"nestcell", Cw::NestCell}, {"nestrow", Cw::NestRow},
    {"nesttableprops", Cw::NestTableProps, 0, true}, {"nonesttables", Cw::SkipDest},
    {"nonshppict", Cw::SkipDest}, {"nosupersub", Cw::NoSuperSub}, {"objdata", Cw::SkipDest},
    {"object", Cw::Object}, {"operator", Cw::SkipDest}, {"page", Cw::Page}, {"pagebb", Cw::PageBb},
    {"par", Cw::Par}, {"pard", Cw::Pard}, {"pc", Cw::Pc}, {"pca", Cw::Pca}, {"pich", Cw::PicH},
    {"pichgoal", Cw::PicHGoal}, {"picscalex", Cw::PicScaleX}, {"picscaley", Cw::PicScaleY},
    {"pict", Cw::Pict}, {"picw", Cw::PicW}, {"picwgoal", Cw::PicWGoal}, {"plain", Cw::Plain},
    {"pn", Cw::Pn, 0, true}, {"pncard", Cw::PnDec}, {"pndec", Cw::PnDec}, {"pngblip", Cw::PngBlip},
    {"pnlcltr", Cw::PnLcLtr}, {"pnlcrm", Cw::PnLcRm}, {"pnlvlblt", Cw::PnLvlBlt},
    {"pnlvlcont", Cw::PnLvlCont}, {"pnord", Cw::PnDec}, {"pnordt", Cw::PnDec},
    {"pnseclvl", Cw::SkipDest}, {"pntext", Cw::SkipDest}, {"pntxta", Cw::SkipDest},
    {"pntxtb", Cw::SkipDest}, {"pnucltr", Cw::PnUcLtr}, {"pnucrm", Cw::PnUcRm},
    {"printim", Cw::SkipDest}, {"private", Cw::SkipDest}, {"qc", Cw::Qc}, {"qd", Cw::Qj},
    {"qj", Cw::Qj}, {"ql", Cw::Ql}, {"qmspace", Cw::Char, 0x2005}, {"qr", Cw::Qr},
    {"rdblquote", Cw::Char, 0x201D}, {"red", Cw::Red}, {"result", Cw::Result},
    {"revtbl", Cw::SkipDest}, {"revtim", Cw::SkipDest}, {"ri", Cw::Ri}, {"rin", Cw::Ri},
    {"row", Cw::Row}, {"rquote", Cw::Char, 0x2019}, {"rtlch", Cw::Rtlch},
    {"rtlmark", Cw::Char, 0x200F}, {"rxe", Cw::SkipDest}, {"sa", Cw::Sa}, {"sb", Cw::Sb},
    {"sect", Cw::Sect}, {"shp", Cw::SkipDest}, {"shppict", Cw::Body, 0, true},
    {"strike", Cw::Strike}, {"striked", Cw::Strike}, {"stylesheet", Cw::SkipDest}, {"sub", Cw::Sub},
    {"subject", Cw::SkipDest}, {"super", Cw::Super}, {"tab", Cw::Char, u'\t'}, {"tc", Cw::SkipDest},
    {"template", Cw::SkipDest}, {"title", Cw::SkipDest}, {"trbrdrb", Cw::Border},
    {"trbrdrh", Cw::Border}, {"trbrdrl", Cw::Border}, {"trbrdrr", Cw::Border},
    {"trbrdrt", Cw::Border}, {"trbrdrv", Cw::Border}, {"trleft", Cw::TrLeft}, {"trowd", Cw::Trowd},
    {"txe", Cw::SkipDest}, {"u", Cw::U},
    {"uc", Cw::Uc}, {"ud", Cw::Ud, 0, true}, {"ul", Cw::Ul}, {"uld", Cw::UlDot},
    {"uldash", Cw::UlDash}, {"uldashd", Cw::UlDashDot}, {"uldashdd", Cw::UlDashDotDot},
    {"uldb", Cw::Ul}, {"ulhwave", Cw::UlWave}, {"ulldash", Cw::UlDash}, {"ulnone", Cw::UlNone},
    {"ulth", Cw::Ul}, {"ulthd", Cw::UlDot}, {"ulthdash", Cw::UlDash}, {"ulthdashd", Cw::UlDashDot},
    {"ulthdashdd", Cw::UlDashDotDot}, {"ulthldash", Cw::UlDash}, {"ululdbwave", Cw::UlWave},
    {"ulw", Cw::Ul}, {"ulwave", Cw::UlWave}, {"upr", Cw::Upr}, {"v", Cw::Hidden},
    {"wmetafile", Cw::WmetaFile}, {"xe", Cw::SkipDest}, {"zwbo", Cw::Char, 0x200B},
    {"zwj", Cw::Char, 0x200D}, {"zwnbo", Cw::Char, 0x2060}, {"zwnj", Cw::Char, 0x200C},
});

static_assert(std::is_sorted(kControlWords.begin(), kControlWords.end(),
                             [](const CwEntry &a, const CwEntry &b) { return a.name < b.name; }));

const CwEntry *lookup(QByteArrayView word)
{
    const std::string_view name(word.data(), size_t(word.size()));
    auto it = std::lower_bound(kControlWords.begin(), kControlWords.end(), name,
                               [](const CwEntry &e, std::string_view n) { return e.name < n; });
    return it != kControlWords.end() && it->name == name ? &*it : nullptr;
}

// Limits on values that reach the document; beyond them a value is clamped.
constexpr int kMaxHalfPoints = 3276;      // 1638 points, the largest size word processors offer
constexpr int kMaxIndent = 31680;         // 22 inches in twips
constexpr int kMaxFallbackUnits = 32;     // \ucN
constexpr int kMaxListLevel = 8;
constexpr int kMaxPictureExtent = 1000000;   // pixels or twips
constexpr int kMaxPictureScale = 1000;      // per cent

using CharState = RtfCharState;

struct ParaState {
    Alignment alignment = Alignment::Left;
    int left = 0, right = 0, first = 0, before = 0, after = 0;
    bool pageBreakBefore = false;
    int tableDepth = 0;                    // \intbl, \itapN: 0 outside tables
    ListStyle pnStyle = ListStyle::None;   // from {\*\pn …}
    int ls = 0;                            // from \lsN
    int ilvl = 0;
};

// An old-style bullet definition while its group is read: a bullet (\pnlvlblt), a number
// (\pnlvlbody or an outline level, in the style of \pndec and the like), or a paragraph that
// only continues a list (\pnlvlcont).
struct PnDefinition {
    bool bullet = false;
    bool continuation = false;
    ListStyle numbering = ListStyle::Decimal;

    ListStyle style() const
    {
        if (continuation)
            return ListStyle::None;
        return bullet ? ListStyle::Disc : numbering;
    }
};

struct Group {
    Dest dest = Dest::Body;
    Dest resume = Dest::Body;   // Wrapper: where the \ud or \result part goes
    bool canResume = false;     // a skipped child of a wrapper, which \ud or \result reopens
    bool note = false;          // body text of a footnote, kept for the end of the document
    bool nestProps = false;     // the row definition of a nested table ({\*\nesttableprops …})
    int uc = 1;
    CharState chr;
    ParaState para;
    PnDefinition pn;
};

struct FontEntry {
    QString name;
    int codePage = 0;           // 0: the document's
};

struct ListDefinition {
    int id = 0;
    std::vector<int> levels;    // \levelnfc of each level
};

ListStyle styleOfNumberFormat(int nfc)
{
    switch (nfc) {
    case 0: case 22: return ListStyle::Decimal;
    case 1: return ListStyle::UpperRoman;
    case 2: return ListStyle::LowerRoman;
    case 3: return ListStyle::UpperAlpha;
    case 4: return ListStyle::LowerAlpha;
    case 23: return ListStyle::Disc;
    case 255: return ListStyle::None;
    default: return ListStyle::Decimal;
    }
}

bool isOn(const RtfToken &t) { return !t.hasParameter || t.parameter != 0; }

// Whether the bytes end with the lead byte of a double-byte character whose trail byte has not
// come yet.
bool endsWithLoneLead(QByteArrayView bytes, int codePage)
{
    const bool shiftJis = codePage == 932;
    if (!shiftJis && codePage != 936 && codePage != 949 && codePage != 950)
        return false;
    qsizetype i = 0;
    const qsizetype n = bytes.size();
    while (i < n) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const bool lead = shiftJis ? (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)
                                   : b >= 0x81 && b <= 0xFE;
        i += lead ? 2 : 1;
    }
    return i == n + 1;
}

// Character format words between the two bytes of a double-byte character do not split it.
bool keepsLeadByte(const CwEntry *e)
{
    if (!e)
        return true;
    switch (e->cw) {
    case Cw::B: case Cw::I: case Cw::Ul: case Cw::UlNone: case Cw::UlDash: case Cw::UlDot:
    case Cw::UlDashDot: case Cw::UlDashDotDot: case Cw::UlWave: case Cw::Strike: case Cw::Fs:
    case Cw::Cf: case Cw::Highlight: case Cw::Super: case Cw::Sub: case Cw::NoSuperSub:
    case Cw::Dbch: case Cw::Loch: case Cw::Rtlch: case Cw::Ltrch: case Cw::Ab: case Cw::Ai:
    case Cw::Afs:
        return true;
    default:
        return false;
    }
}

// A footnote's text as read, replayed after the body.
struct NotePiece {
    QString text;              // empty for a paragraph end
    RunFormat format;
    bool paragraphEnd = false;
    ParaFormat para;
    std::optional<Picture> picture;
};

// A table whose rows are being read.
struct OpenTable {
    std::vector<ReadRow> rows;
    std::vector<std::vector<TableItem>> cells;   // the ended cells of the open row
    std::vector<TableItem> cell;                 // the open cell
};

// Rows beyond this many go on as a new table: a document lays out a huge table far more slowly
// than as many paragraphs.
constexpr size_t kMaxTableRows = 2000;

struct Note {
    std::vector<NotePiece> pieces;
    bool numbered = false;     // its text holds its number (\chftn)
};

class Reader
{
public:
    explicit Reader(RtfSink &sink)
        : m_sink(sink), m_formats(sink.wantsFormats()), m_pictures(sink.wantsPictures())
    {
    }

    bool run(QByteArrayView bytes);

private:
    Group &group() { return m_stack.back(); }
    int documentCodePage() const { return m_ansiCodePage > 0 ? m_ansiCodePage : m_charsetCodePage; }
    int codePageOfFont(int font) const;
    int fontTableCodePage() const;

    bool openGroup();
    void closeGroup();
    void controlWord(const RtfToken &t, bool ignorable);
    void apply(const CwEntry &e, const RtfToken &t, Group &g);
    void text(QByteArrayView data);
    void unicode(int value);
    void bodyChar(char16_t c);
    bool skipFallback(RtfToken &t);

    void flush(bool keepLead = false);
    void picture();
    void emitText(QString text);
    void endParagraph();

    void beginContent();
    void reachDepth(size_t depth);
    void closeTable();
    void endCell(size_t level);
    void endRow(size_t level, const RowDefinition &definition);
    RowDefinition &rowDefinition() { return m_rowDefinitions[group().nestProps ? 1 : 0]; }
    void deliverText(const QString &text);
    void deliverPicture(Picture picture);
    void deliverParagraphEnd();
    void deliverTable(Table table);
    void releaseHeldParagraph();
    void finish();
    void commitFont();
    void commitColor();

    const RunFormat &runFormat();
    ParaFormat paraFormat();
    ListStyle styleOfOverride(int ls, int level) const;

    RtfSink &m_sink;
    const bool m_formats;
    const bool m_pictures;          // the sink wants the pictures' bytes
    std::vector<Group> m_stack;
    TextDecoder m_decoder;
    QByteArray m_pending;           // text bytes not yet decoded (one double-byte character may
                                    // arrive as an escaped lead byte and a literal trail byte)
    char16_t m_highSurrogate = 0;
    std::optional<char> m_heldLead;  // a lead byte waiting, across a group or a format word,
                                     // for its trail byte
    std::vector<Note> m_notes;
    std::vector<OpenTable> m_tables;  // the tables around the open paragraph, outermost first
    int m_paraDepth = -1;           // the table depth of the open paragraph; -1 before its content
    RowDefinition m_rowDefinitions[2];   // of outermost rows, and of nested ones
    CellDefinition m_cellDefinition;     // the cell being defined, up to its \cellx
    bool m_rowOpen = false;         // an outermost row has been defined (\trowd) and not ended
    bool m_borderPending = false;   // a border side was named; its style says whether it shows
    bool m_afterTable = false;      // the last thing the sink received is a table
    bool m_deliveredAny = false;    // the sink has received something
    // An empty paragraph at the start of the document or right after a table: the document
    // shows one there anyway when a table is next to it, so it is kept only when more follows
    // (and, at the start, when that is not a table).
    std::optional<std::pair<ParaFormat, RunFormat>> m_heldParagraph;
    bool m_heldAtStart = false;
    Picture m_picture;               // the \pict group being read
    QByteArray m_pictureHex;
    int m_fallbackToSkip = 0;
    bool m_star = false;
    bool m_hasContent = false;      // the open paragraph has text
    bool m_pageBreakNext = false;

    int m_ansiCodePage = 0;
    int m_charsetCodePage = kGbkCodePage;   // \ansi on the systems this program serves
    int m_defaultFont = 0;
    QHash<int, FontEntry> m_fonts;
    int m_fontEntry = -1;           // the font table entry being read
    int m_fontCharset = -1;
    int m_fontCpg = 0;
    QString m_fontName;
    QList<QColor> m_colors;
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorGiven = false;
    std::vector<ListDefinition> m_lists;
    QHash<int, size_t> m_listById;                // \listid → m_lists index; the first stands
    std::vector<std::pair<int, int>> m_overrides;   // \ls, \listid of each override read
    QHash<int, size_t> m_overrideByLs;            // \ls → m_overrides index; the first stands

    bool m_resolvedValid = false;
    CharState m_resolvedFor;
    RunFormat m_resolved;
    const RunFormat m_plainRun;
};

bool Reader::run(QByteArrayView bytes)
{
    RtfTokenizer tokens(bytes);
    for (;;) {
        RtfToken t = tokens.next();
        if (t.kind == RtfToken::End)
            break;
        if (m_fallbackToSkip > 0 && skipFallback(t))
            continue;
        const bool ignorable = std::exchange(m_star, false);
        switch (t.kind) {
        case RtfToken::GroupOpen:
            if (!openGroup())
                return false;
            break;
        case RtfToken::GroupClose:
            if (m_stack.size() == 1 || m_sink.stopped()) {
                finish();
                return true;
            }
            closeGroup();
            break;
        case RtfToken::ControlWord:
            if (m_sink.stopped()) {
                finish();
                return true;
            }
            controlWord(t, ignorable);
            break;
        case RtfToken::ControlSymbol:
            if (group().dest == Dest::Skip)
                break;
            flush();
            if (t.symbol == '*')
                m_star = true;
            else if (t.symbol == '~')
                bodyChar(QChar::Nbsp);
            else if (t.symbol == '-')
                bodyChar(QChar::SoftHyphen);
            else if (t.symbol == '_')
                bodyChar(0x2011);   // non-breaking hyphen
            break;
        case RtfToken::HexByte:
            if ((group().dest == Dest::Body && !group().chr.hidden) || group().dest == Dest::FontTable)
                m_pending.append(char(t.byte));
            break;
        case RtfToken::Text:
            text(t.data);
            break;
        case RtfToken::Binary:
            flush();
            if (group().dest == Dest::Picture && m_pictures)
                m_picture.data.append(t.data);
            break;
        case RtfToken::End:
            break;
        }
        // Body text usually goes on for a while: take it in one go.
        if ((t.kind == RtfToken::Text || t.kind == RtfToken::HexByte) && m_fallbackToSkip == 0
            && group().dest == Dest::Body && !group().chr.hidden)
            tokens.takeText(m_pending);
        else if (m_fallbackToSkip == 0
                 && (group().dest == Dest::Skip || (group().dest == Dest::Picture && !m_pictures)))
            tokens.skipText();
    }
    if (!m_stack.empty())
        finish();
    return true;
}

// The \ucN characters after \uN are its fallback for readers without Unicode. A byte, an escape,
// a control word or \bin data is one unit; a brace ends the fallback early.
bool Reader::skipFallback(RtfToken &t)
{
    switch (t.kind) {
    case RtfToken::GroupOpen:
    case RtfToken::GroupClose:
        m_fallbackToSkip = 0;
        return false;
    case RtfToken::Text:
        if (t.data.size() <= m_fallbackToSkip) {
            m_fallbackToSkip -= int(t.data.size());
            return true;
        }
        t.data = t.data.sliced(m_fallbackToSkip);
        m_fallbackToSkip = 0;
        return false;
    default:
        --m_fallbackToSkip;
        return true;
    }
}

bool Reader::openGroup()
{
    if (!m_stack.empty())
        flush(true);
    if (m_stack.size() >= size_t(kMaxGroupDepth))
        return false;
    Group g = m_stack.empty() ? Group() : m_stack.back();
    g.canResume = false;
    if (g.dest == Dest::Wrapper) {
        g.dest = Dest::Skip;
        g.canResume = true;
    }
    m_stack.push_back(g);
    return true;
}

void Reader::closeGroup()
{
    flush(true);
    const Group closing = m_stack.back();
    m_stack.pop_back();
    Group &parent = group();
    if (closing.dest == Dest::FontTable)
        commitFont();
    if (closing.dest == Dest::Picture && parent.dest != Dest::Picture)
        picture();
    // The bullet definition sits in its own group but describes the paragraph around it.
    if (closing.dest == Dest::PnDef && parent.dest != Dest::PnDef)
        parent.para.pnStyle = closing.pn.style();
}

void Reader::controlWord(const RtfToken &t, bool ignorable)
{
    const CwEntry *e = lookup(t.word);
    flush(!ignorable && keepsLeadByte(e));
    Group &g = group();
    if (g.dest == Dest::Skip) {
        if (g.canResume && e && (e->cw == Cw::Ud || e->cw == Cw::Result)) {
            g.dest = g.resume;
            g.canResume = false;
        }
        return;
    }
    if (ignorable && (!e || !e->underStar)) {
        g.dest = Dest::Skip;
        return;
    }
    if (e)
        apply(*e, t, g);
}

void Reader::apply(const CwEntry &e, const RtfToken &t, Group &g)
{
    const int p = t.parameter;
    const bool body = g.dest == Dest::Body;
    switch (e.cw) {
    // Destinations.
    case Cw::SkipDest: g.dest = Dest::Skip; break;
    case Cw::FontTbl: g.dest = Dest::FontTable; m_fontEntry = -1; break;
    case Cw::ColorTbl: g.dest = Dest::ColorTable; m_colorGiven = false; break;
    case Cw::ListTbl: g.dest = Dest::ListTable; break;
    case Cw::ListOverrideTbl: g.dest = Dest::ListOverrideTable; break;
    case Cw::Pn: g.dest = Dest::PnDef; g.pn = PnDefinition(); break;
    case Cw::Upr:
    case Cw::Object:
        g.resume = g.dest;
        g.dest = Dest::Wrapper;
        break;
    case Cw::Ud:
    case Cw::Result:
    case Cw::Body:
        break;
    case Cw::Footnote:
        if (body && !g.note) {
            g.note = true;
            m_notes.emplace_back();
        } else if (!body) {
            g.dest = Dest::Skip;
        }
        break;
    case Cw::Chftn:
        if (body) {
            if (g.note)
                m_notes.back().numbered = true;
            emitText(QString::number(m_notes.size() + (g.note ? 0 : 1)));
        }
        break;
    case Cw::Pict:
        if (body && !g.chr.hidden) {
            g.dest = Dest::Picture;
            m_picture = Picture();
            m_pictureHex.clear();
        } else {
            g.dest = Dest::Skip;
        }
        break;
    case Cw::PngBlip: m_picture.kind = PictureKind::Png; break;
    case Cw::JpegBlip: m_picture.kind = PictureKind::Jpeg; break;
    case Cw::WmetaFile: m_picture.kind = PictureKind::Wmf; break;
    case Cw::EmfBlip: m_picture.kind = PictureKind::Emf; break;
    case Cw::PicW: m_picture.width = std::clamp(p, 0, kMaxPictureExtent); break;
    case Cw::PicH: m_picture.height = std::clamp(p, 0, kMaxPictureExtent); break;
    case Cw::PicWGoal: m_picture.goalWidth = std::clamp(p, 0, kMaxPictureExtent); break;
    case Cw::PicHGoal: m_picture.goalHeight = std::clamp(p, 0, kMaxPictureExtent); break;
    case Cw::PicScaleX: m_picture.scaleX = std::clamp(p, 1, kMaxPictureScale); break;
    case Cw::PicScaleY: m_picture.scaleY = std::clamp(p, 1, kMaxPictureScale); break;

    // Document.
    case Cw::Ansi: m_charsetCodePage = kGbkCodePage; break;
    case Cw::Mac: m_charsetCodePage = 10000; break;
    case Cw::Pc: m_charsetCodePage = 437; break;
    case Cw::Pca: m_charsetCodePage = 850; break;
    case Cw::AnsiCpg: if (p > 0) m_ansiCodePage = p; break;
    case Cw::Deff: m_defaultFont = p; m_resolvedValid = false; break;
    case Cw::Uc: g.uc = std::clamp(p, 0, kMaxFallbackUnits); break;
    case Cw::U:
        if (t.hasParameter) {
            if (body || g.dest == Dest::FontTable)
                unicode(p);
            m_fallbackToSkip = g.uc;
        }
        break;

    // Font and colour tables.
    case Cw::F:
        if (g.dest == Dest::FontTable) {
            commitFont();
            m_fontEntry = p;
        } else {
            g.chr.font = p;
        }
        break;
    case Cw::FCharset: m_fontCharset = p; break;
    case Cw::Cpg: m_fontCpg = p; break;
    case Cw::Red: m_red = std::clamp(p, 0, 255); m_colorGiven = true; break;
    case Cw::Green: m_green = std::clamp(p, 0, 255); m_colorGiven = true; break;
    case Cw::Blue: m_blue = std::clamp(p, 0, 255); m_colorGiven = true; break;

    // Character formats.
    case Cw::Plain: g.chr = CharState(); break;
    case Cw::B: g.chr.bold = isOn(t); break;
    case Cw::I: g.chr.italic = isOn(t); break;
    case Cw::Ul: g.chr.underline = isOn(t) ? Underline::Single : Underline::None; break;
    case Cw::UlNone: g.chr.underline = Underline::None; break;
    case Cw::UlDash: g.chr.underline = isOn(t) ? Underline::Dash : Underline::None; break;
    case Cw::UlDot: g.chr.underline = isOn(t) ? Underline::Dot : Underline::None; break;
    case Cw::UlDashDot: g.chr.underline = isOn(t) ? Underline::DashDot : Underline::None; break;
    case Cw::UlDashDotDot:
        g.chr.underline = isOn(t) ? Underline::DashDotDot : Underline::None;
        break;
    case Cw::UlWave: g.chr.underline = isOn(t) ? Underline::Wave : Underline::None; break;
    case Cw::Strike: g.chr.strike = isOn(t); break;
    case Cw::Fs: g.chr.halfPoints = t.hasParameter ? std::clamp(p, 1, kMaxHalfPoints) : 24; break;
    case Cw::Cf: g.chr.color = std::max(p, 0); break;
    case Cw::Highlight: g.chr.background = std::max(p, 0); break;
    case Cw::Super: g.chr.verticalAlign = VerticalAlign::Super; break;
    case Cw::Sub: g.chr.verticalAlign = VerticalAlign::Sub; break;
    case Cw::NoSuperSub: g.chr.verticalAlign = VerticalAlign::Normal; break;
    case Cw::Hidden: g.chr.hidden = isOn(t); break;
    case Cw::Dbch: g.chr.doubleByte = true; break;
    case Cw::Loch: g.chr.doubleByte = false; break;
    case Cw::Rtlch: g.chr.rightToLeft = true; break;
    case Cw::Ltrch: g.chr.rightToLeft = false; break;
    // Stated for right-to-left text (as Word does), they describe a script this reader does
    // not tell apart; stated otherwise, they are the double-byte text's own.
    case Cw::Ab: if (!g.chr.rightToLeft) g.chr.assocBold = isOn(t); break;
    case Cw::Ai: if (!g.chr.rightToLeft) g.chr.assocItalic = isOn(t); break;
    case Cw::Afs:
        if (!g.chr.rightToLeft)
            g.chr.assocHalfPoints = t.hasParameter ? std::clamp(p, 1, kMaxHalfPoints) : 24;
        break;

    // Paragraph formats.
    case Cw::Pard: g.para = ParaState(); break;
    case Cw::Ql: g.para.alignment = Alignment::Left; break;
    case Cw::Qc: g.para.alignment = Alignment::Center; break;
    case Cw::Qr: g.para.alignment = Alignment::Right; break;
    case Cw::Qj: g.para.alignment = Alignment::Justify; break;
    case Cw::Li: g.para.left = std::clamp(p, -kMaxIndent, kMaxIndent); break;
    case Cw::Ri: g.para.right = std::clamp(p, -kMaxIndent, kMaxIndent); break;
    case Cw::Fi: g.para.first = std::clamp(p, -kMaxIndent, kMaxIndent); break;
    case Cw::Sb: g.para.before = std::clamp(p, 0, kMaxIndent); break;
    case Cw::Sa: g.para.after = std::clamp(p, 0, kMaxIndent); break;
    case Cw::Ls:
        if (g.dest == Dest::ListOverrideTable) {
            if (!m_overrides.empty()) {
                m_overrides.back().first = p;
                if (!m_overrideByLs.contains(p))
                    m_overrideByLs.insert(p, m_overrides.size() - 1);
            }
        } else {
            g.para.ls = std::max(p, 0);
        }
        break;
    case Cw::Ilvl: g.para.ilvl = std::clamp(p, 0, kMaxListLevel); break;
    case Cw::PageBb: g.para.pageBreakBefore = isOn(t); break;

    // Old-style bullets.
    case Cw::PnLvlBlt: g.pn.bullet = true; break;
    case Cw::PnLvlCont: g.pn.continuation = true; break;
    case Cw::PnDec: g.pn.numbering = ListStyle::Decimal; break;
    case Cw::PnUcLtr: g.pn.numbering = ListStyle::UpperAlpha; break;
    case Cw::PnLcLtr: g.pn.numbering = ListStyle::LowerAlpha; break;
    case Cw::PnUcRm: g.pn.numbering = ListStyle::UpperRoman; break;
    case Cw::PnLcRm: g.pn.numbering = ListStyle::LowerRoman; break;

    // List tables.
    case Cw::List:
        if (g.dest == Dest::ListTable)
            m_lists.emplace_back();
        break;
    case Cw::ListLevel:
        if (g.dest == Dest::ListTable && !m_lists.empty())
            m_lists.back().levels.push_back(0);
        break;
    case Cw::LevelNfc:
        if (g.dest == Dest::ListTable && !m_lists.empty() && !m_lists.back().levels.empty())
            m_lists.back().levels.back() = p;
        break;
    case Cw::ListId:
        if (g.dest == Dest::ListTable && !m_lists.empty()) {
            m_lists.back().id = p;
            if (!m_listById.contains(p))
                m_listById.insert(p, m_lists.size() - 1);
        }
        else if (g.dest == Dest::ListOverrideTable && !m_overrides.empty())
            m_overrides.back().second = p;
        break;
    case Cw::ListOverride:
        if (g.dest == Dest::ListOverrideTable)
            m_overrides.emplace_back(0, 0);
        break;

    // Breaks and special characters.
    case Cw::Par:
        if (body)
            endParagraph();
        break;
    case Cw::Page:
        if (body && !g.note) {
            if (m_hasContent)
                endParagraph();
            m_pageBreakNext = true;
        }
        break;
    case Cw::Sect:
        if (body && !g.note && m_hasContent)
            endParagraph();
        break;

    // Tables. In a footnote a table is only text: a TAB for a cell, a paragraph for a row.
    case Cw::Cell:
    case Cw::NestCell:
        if (body && g.note)
            bodyChar(u'\t');
        else if (body)
            endCell(e.cw == Cw::Cell ? 1 : size_t(std::max(2, g.para.tableDepth)));
        break;
    case Cw::Row:
    case Cw::NestRow:
        if (body && g.note) {
            if (m_hasContent)
                endParagraph();
        } else if (body) {
            // A nested row's definition comes just before it; an outermost row's stays in force
            // for rows that state none.
            const size_t level = e.cw == Cw::Row ? 1 : std::max<size_t>(2, m_tables.size());
            endRow(level, m_rowDefinitions[e.cw == Cw::Row ? 0 : 1]);
            if (e.cw == Cw::Row)
                m_rowOpen = false;
        }
        break;
    case Cw::NestTableProps: g.nestProps = true; break;
    case Cw::Trowd:
        if (!g.nestProps)
            m_rowOpen = true;
        rowDefinition() = RowDefinition();
        m_cellDefinition = CellDefinition();
        m_borderPending = false;
        break;
    case Cw::TrLeft: rowDefinition().left = std::clamp(p, -kMaxCellBoundary, kMaxCellBoundary); break;
    case Cw::Cellx: {
        RowDefinition &row = rowDefinition();
        m_cellDefinition.right = std::clamp(p, -kMaxCellBoundary, kMaxCellBoundary);
        if (row.cells.size() < size_t(kMaxTableColumns))
            row.cells.push_back(m_cellDefinition);
        m_cellDefinition = CellDefinition();
        m_borderPending = false;
        break;
    }
    case Cw::ClMgf: m_cellDefinition.mergeFirst = true; break;
    case Cw::ClMrg: m_cellDefinition.merge = true; break;
    case Cw::ClVmgf: m_cellDefinition.verticalFirst = true; break;
    case Cw::ClVmrg: m_cellDefinition.vertical = true; break;
    case Cw::ClCbPat:
        m_cellDefinition.background = p > 0 && p < m_colors.size() ? m_colors[p] : QColor();
        break;
    case Cw::Border: m_borderPending = true; break;
    case Cw::BorderStyle:
        if (std::exchange(m_borderPending, false))
            rowDefinition().borders = true;
        break;
    case Cw::BorderNone: m_borderPending = false; break;
    case Cw::InTbl: g.para.tableDepth = std::max(g.para.tableDepth, 1); break;
    case Cw::Itap: g.para.tableDepth = std::clamp(p, 0, kMaxTableDepth); break;
    case Cw::Char:
        bodyChar(e.ch);
        break;
    }
}

void Reader::text(QByteArrayView data)
{
    Group &g = group();
    switch (g.dest) {
    case Dest::Body:
        if (!g.chr.hidden)
            m_pending.append(data);
        break;
    case Dest::FontTable:
        // Each entry ends with ';'.
        for (qsizetype semicolon; (semicolon = data.indexOf(';')) >= 0;) {
            m_pending.append(data.first(semicolon));
            flush();
            commitFont();
            data = data.sliced(semicolon + 1);
        }
        m_pending.append(data);
        break;
    case Dest::ColorTable:
        for (qsizetype i = data.count(';'); i > 0; --i)
            commitColor();
        break;
    case Dest::Picture:
        if (m_pictures)
            m_pictureHex.append(data);
        break;
    default:
        break;
    }
}

void Reader::unicode(int value)
{
    if (value < 0)
        value += 65536;
    if (value < 0 || value > 0xFFFF)
        value = QChar::ReplacementCharacter;
    const auto c = char16_t(value);
    if (group().dest == Dest::FontTable) {
        m_fontName += QChar(c);
        return;
    }
    if (QChar::isHighSurrogate(c)) {
        if (m_highSurrogate)
            emitText(QString());          // the earlier one had no partner
        m_highSurrogate = c;
        return;
    }
    QString s;
    if (QChar::isLowSurrogate(c)) {
        if (m_highSurrogate) {
            const QChar pair[] = {QChar(m_highSurrogate), QChar(c)};
            s = QString(pair, 2);
            m_highSurrogate = 0;
        } else {
            s = QString(QChar(QChar::ReplacementCharacter));
        }
    } else {
        s = QString(QChar(c));
    }
    if (!group().chr.hidden)
        emitText(s);
}

void Reader::bodyChar(char16_t c)
{
    if (group().dest == Dest::Body && !group().chr.hidden)
        emitText(QString(QChar(c)));
}

int Reader::codePageOfFont(int font) const
{
    auto it = m_fonts.constFind(font < 0 ? m_defaultFont : font);
    if (it == m_fonts.constEnd() && font >= 0)
        it = m_fonts.constFind(m_defaultFont);
    const int codePage = it == m_fonts.constEnd() ? 0 : it->codePage;
    return codePage ? codePage : documentCodePage();
}

int Reader::fontTableCodePage() const
{
    if (m_fontCpg > 0)
        return m_fontCpg;
    const int codePage = m_fontCharset >= 0 ? codePageOfCharset(m_fontCharset) : 0;
    return codePage ? codePage : documentCodePage();
}

void Reader::flush(bool keepLead)
{
    const Dest dest = group().dest;
    if (dest == Dest::Body && (!m_pending.isEmpty() || (m_heldLead && !keepLead))) {
        if (m_heldLead)
            m_pending.prepend(*std::exchange(m_heldLead, std::nullopt));
        const int codePage = codePageOfFont(group().chr.font);
        if (keepLead && endsWithLoneLead(m_pending, codePage)) {
            m_heldLead = m_pending.back();
            m_pending.chop(1);
        }
        if (!m_pending.isEmpty())
            emitText(m_decoder.decode(m_pending, codePage));
    } else if (dest == Dest::FontTable && m_fontEntry >= 0) {
        m_fontName += m_decoder.decode(m_pending, fontTableCodePage());
    }
    m_pending.resize(0);   // keeps the buffer for the next run of text
}

void Reader::emitText(QString text)
{
    if (m_highSurrogate) {
        text.prepend(QChar(QChar::ReplacementCharacter));
        m_highSurrogate = 0;
    }
    text = paragraphText(std::move(text));
    if (text.isEmpty())
        return;
    if (group().note) {
        m_notes.back().pieces.push_back(NotePiece{text, runFormat(), false, ParaFormat(), {}});
        return;
    }
    beginContent();
    m_hasContent = true;
    deliverText(text);
}

void Reader::endParagraph()
{
    emitText(QString());
    if (group().note) {
        m_notes.back().pieces.push_back(NotePiece{QString(), runFormat(), true, paraFormat(), {}});
        return;
    }
    beginContent();
    deliverParagraphEnd();
    m_hasContent = false;
    m_pageBreakNext = false;
    m_paraDepth = -1;
}

// The table depth of a paragraph is what its properties say when its content begins; tables
// deeper than that end there, and tables it needs begin there.
void Reader::beginContent()
{
    if (m_paraDepth >= 0)
        return;
    m_paraDepth = group().para.tableDepth;
    // Inside a row, a paragraph whose properties were reset (\pard without \intbl, as some
    // writers put each cell's paragraphs in a group of their own) is still the cell's.
    const bool rowBegun = m_rowOpen || (!m_tables.empty() && !m_tables.front().cells.empty());
    if (m_paraDepth == 0 && rowBegun)
        m_paraDepth = 1;
    reachDepth(size_t(m_paraDepth));
}

void Reader::reachDepth(size_t depth)
{
    while (m_tables.size() > depth)
        closeTable();
    while (m_tables.size() < depth)
        m_tables.emplace_back();
}

void Reader::closeTable()
{
    OpenTable open = std::move(m_tables.back());
    m_tables.pop_back();
    // A row without its \row keeps its cells.
    if (!open.cell.empty())
        open.cells.push_back(std::move(open.cell));
    if (!open.cells.empty())
        open.rows.push_back(ReadRow{m_rowDefinitions[m_tables.empty() ? 0 : 1], std::move(open.cells)});
    Table table = buildTable(std::move(open.rows));
    if (!table.rows.empty())
        deliverTable(std::move(table));
}

void Reader::endCell(size_t level)
{
    const bool emptyParagraph = !m_hasContent;
    if (m_hasContent)
        endParagraph();
    reachDepth(std::min(level, size_t(kMaxTableDepth)));
    OpenTable &table = m_tables.back();
    // The cell's last paragraph ends here; an empty one matters only after others.
    if (emptyParagraph && !table.cell.empty()) {
        TableItem end;
        end.kind = TableItem::ParagraphEnd;
        end.para = paraFormat();
        end.format = runFormat();
        table.cell.push_back(std::move(end));
    }
    table.cells.push_back(std::move(table.cell));
    table.cell.clear();
}

void Reader::endRow(size_t level, const RowDefinition &definition)
{
    if (m_hasContent)
        endParagraph();
    reachDepth(std::min(level, size_t(kMaxTableDepth)));
    OpenTable &table = m_tables.back();
    if (!table.cell.empty()) {
        table.cells.push_back(std::move(table.cell));
        table.cell.clear();
    }
    if (table.cells.empty() && definition.cells.empty())
        return;
    table.rows.push_back(ReadRow{definition, std::move(table.cells)});
    table.cells.clear();
    if (table.rows.size() >= kMaxTableRows) {
        closeTable();
        m_tables.emplace_back();
    }
}

void Reader::deliverText(const QString &text)
{
    if (!m_tables.empty()) {
        TableItem item;
        item.text = text;
        item.format = runFormat();
        m_tables.back().cell.push_back(std::move(item));
        return;
    }
    releaseHeldParagraph();
    m_afterTable = false;
    m_deliveredAny = true;
    m_sink.text(text, runFormat());
}

void Reader::deliverPicture(Picture picture)
{
    if (!m_tables.empty()) {
        TableItem item;
        item.kind = TableItem::Image;
        item.picture = std::move(picture);
        item.format = runFormat();
        m_tables.back().cell.push_back(std::move(item));
        return;
    }
    releaseHeldParagraph();
    m_afterTable = false;
    m_deliveredAny = true;
    m_sink.picture(picture, runFormat());
}

void Reader::deliverParagraphEnd()
{
    if (!m_tables.empty()) {
        TableItem item;
        item.kind = TableItem::ParagraphEnd;
        item.para = paraFormat();
        item.format = runFormat();
        m_tables.back().cell.push_back(std::move(item));
        return;
    }
    releaseHeldParagraph();
    if (!m_hasContent && (m_afterTable || !m_deliveredAny)) {
        m_heldParagraph.emplace(paraFormat(), runFormat());
        m_heldAtStart = !m_afterTable;
        m_afterTable = false;
        m_deliveredAny = true;
        return;
    }
    m_afterTable = false;
    m_deliveredAny = true;
    m_sink.endParagraph(paraFormat(), runFormat());
}

void Reader::deliverTable(Table table)
{
    if (!m_tables.empty()) {
        TableItem item;
        item.kind = TableItem::NestedTable;
        item.table = std::make_shared<const Table>(std::move(table));
        m_tables.back().cell.push_back(std::move(item));
        return;
    }
    if (m_heldParagraph && m_heldAtStart)
        m_heldParagraph.reset();
    releaseHeldParagraph();
    if (m_afterTable)
        m_sink.endParagraph(ParaFormat(), m_plainRun);
    m_sink.table(table);
    m_afterTable = true;
    m_deliveredAny = true;
}

void Reader::releaseHeldParagraph()
{
    if (m_heldParagraph) {
        const auto held = *std::exchange(m_heldParagraph, std::nullopt);
        m_sink.endParagraph(held.first, held.second);
    }
}

void Reader::finish()
{
    flush();
    if (m_highSurrogate)
        emitText(QString());
    // Footnotes follow the body, each a numbered paragraph of its own.
    for (Group &g : m_stack)
        g.note = false;   // an unclosed footnote ends here
    if (m_hasContent)
        endParagraph();
    reachDepth(0);
    if (m_heldAtStart)
        releaseHeldParagraph();
    m_heldParagraph.reset();
    int number = 0;
    for (const Note &note : m_notes) {
        ++number;
        bool open = false;
        if (!note.numbered) {
            m_sink.text(QString::number(number) + u' ', m_plainRun);
            open = true;
        }
        for (const NotePiece &piece : note.pieces) {
            if (piece.paragraphEnd)
                m_sink.endParagraph(piece.para, piece.format);
            else if (piece.picture)
                m_sink.picture(*piece.picture, piece.format);
            else
                m_sink.text(piece.text, piece.format);
            open = !piece.paragraphEnd;
        }
        if (open)
            m_sink.endParagraph(ParaFormat(), m_plainRun);
    }
    m_notes.clear();
}

void Reader::picture()
{
    if (m_pictures && m_picture.data.isEmpty())
        m_picture.data = QByteArray::fromHex(m_pictureHex);
    m_pictureHex = QByteArray();
    if (m_highSurrogate)
        emitText(QString());
    if (group().note) {
        m_notes.back().pieces.push_back(
            NotePiece{QString(), runFormat(), false, ParaFormat(), std::exchange(m_picture, Picture())});
        return;
    }
    beginContent();
    m_hasContent = true;
    deliverPicture(std::exchange(m_picture, Picture()));
}

void Reader::commitFont()
{
    if (m_fontEntry >= 0) {
        const QString name = m_fontName.trimmed();
        auto it = m_fonts.find(m_fontEntry);
        // The first definition of a number stands; a later one only fills in a missing name.
        if (it == m_fonts.end()) {
            const int codePage = m_fontCpg > 0 ? m_fontCpg
                                               : m_fontCharset >= 0 ? codePageOfCharset(m_fontCharset) : 0;
            m_fonts.insert(m_fontEntry, FontEntry{name, codePage});
        } else if (it->name.isEmpty()) {
            it->name = name;
        }
        m_resolvedValid = false;
    }
    m_fontEntry = -1;
    m_fontCharset = -1;
    m_fontCpg = 0;
    m_fontName.clear();
}

void Reader::commitColor()
{
    // An entry without components is the automatic colour (the usual first entry).
    m_colors.append(m_colorGiven ? QColor(m_red, m_green, m_blue) : QColor());
    m_red = m_green = m_blue = 0;
    m_colorGiven = false;
    m_resolvedValid = false;
}

const RunFormat &Reader::runFormat()
{
    if (!m_formats)
        return m_plainRun;
    const CharState &c = group().chr;
    if (m_resolvedValid && c == m_resolvedFor)
        return m_resolved;
    RunFormat r;
    auto font = m_fonts.constFind(c.font < 0 ? m_defaultFont : c.font);
    if (font == m_fonts.constEnd())
        font = m_fonts.constFind(m_defaultFont);
    if (font != m_fonts.constEnd())
        r.family = font->name;
    r.halfPoints = c.halfPoints;
    // Index 0 is the automatic colour, also in tables that list a real colour first.
    if (c.color > 0 && c.color < m_colors.size())
        r.color = m_colors[c.color];
    if (c.background > 0 && c.background < m_colors.size())
        r.background = m_colors[c.background];
    r.bold = c.doubleByte && c.assocBold >= 0 ? c.assocBold != 0 : c.bold;
    r.italic = c.doubleByte && c.assocItalic >= 0 ? c.assocItalic != 0 : c.italic;
    if (c.doubleByte && c.assocHalfPoints > 0)
        r.halfPoints = c.assocHalfPoints;
    r.strike = c.strike;
    r.underline = c.underline;
    r.verticalAlign = c.verticalAlign;
    m_resolved = r;
    m_resolvedFor = c;
    m_resolvedValid = true;
    return m_resolved;
}

ListStyle Reader::styleOfOverride(int ls, int level) const
{
    const auto override = m_overrideByLs.constFind(ls);
    if (override == m_overrideByLs.constEnd())
        return ListStyle::Disc;
    const auto list = m_listById.constFind(m_overrides[*override].second);
    if (list == m_listById.constEnd() || m_lists[*list].levels.empty())
        return ListStyle::Disc;
    const std::vector<int> &levels = m_lists[*list].levels;
    return styleOfNumberFormat(levels[std::min(size_t(level), levels.size() - 1)]);
}

ParaFormat Reader::paraFormat()
{
    ParaFormat f;
    if (!m_formats)
        return f;
    const ParaState &p = group().para;
    f.alignment = p.alignment;
    f.leftIndent = p.left;
    f.rightIndent = p.right;
    f.firstIndent = p.first;
    f.spaceBefore = p.before;
    f.spaceAfter = p.after;
    f.pageBreakBefore = p.pageBreakBefore || m_pageBreakNext;
    if (p.ls > 0) {
        f.list = styleOfOverride(p.ls, p.ilvl);
        f.listLevel = p.ilvl;
        f.listId = p.ls;
    } else if (p.pnStyle != ListStyle::None) {
        // Old-style bullets carry no level; the rich edit control indents each level by
        // half an inch.
        f.list = p.pnStyle;
        f.listLevel = std::clamp(p.left / 720 - 1, 0, kMaxListLevel);
    }
    if (f.list == ListStyle::None)
        f.listLevel = f.listId = 0;
    return f;
}

} // namespace

bool looksLikeRtf(QByteArrayView bytes)
{
    qsizetype i = 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return bytes.sliced(i).startsWith("{\\rtf");
}

bool parseRtf(QByteArrayView bytes, RtfSink &sink)
{
    if (!looksLikeRtf(bytes))
        return false;
    const qsizetype start = bytes.indexOf('{');
    Reader reader(sink);
    return reader.run(bytes.sliced(start));
}

} // namespace richtext
