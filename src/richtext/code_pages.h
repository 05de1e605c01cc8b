#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include "platform/gbk.h"

#include <map>

// The code pages that RTF text bytes ("\'hh" and raw bytes) are decoded with. GBK goes through
// platform/gbk like every other GBK conversion of the program; other code pages only appear in
// RTF pasted or imported from elsewhere.
namespace richtext {

constexpr int kGbkCodePage = 936;
// Fonts of the symbol charset: their bytes are glyph numbers, not characters of a code page.
constexpr int kSymbolCodePage = -2;

// The code page a font's \fcharsetN implies, or 0 when the charset leaves it to the document.
int codePageOfCharset(int charset);

// Decodes byte runs, keeping one converter per code page it has met. Every call stands alone:
// a double-byte character cut at the end of the run decodes to U+FFFD instead of vanishing.
class TextDecoder
{
public:
    QString decode(QByteArrayView bytes, int codePage);

private:
    QStringDecoder *converterFor(int codePage);
    QString decodeGbk(QByteArrayView bytes);

    gbk::Decoder m_gbk;
    std::map<int, QStringDecoder> m_converters;
};

} // namespace richtext

namespace richtext {

// The text as a paragraph of the document may hold it: paragraph separators become line breaks
// (U+2028), other control characters apart from TAB and the document's own markers for frames
// and objects are dropped. Every way into a document goes through this, so that the text of a
// paragraph is the same whichever sink collected it.
QString paragraphText(QString text);

} // namespace richtext
