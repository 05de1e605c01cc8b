#include "code_pages.h"

#include "platform/gbk.h"

namespace richtext {

namespace {

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// True when the run ends with a GBK lead byte whose trail byte is missing. A byte that cannot lead
// a pair always ends a character, so only the lead-range bytes at the end matter: an odd number
// of them leaves the last one without its trail byte.
bool endsInsideGbkPair(QByteArrayView bytes)
{
    qsizetype leads = 0;
    for (qsizetype i = bytes.size() - 1; i >= 0 && gbk::isLeadByte(static_cast<unsigned char>(bytes[i])); --i)
        ++leads;
    return leads % 2 == 1;
}

// The symbol charset keeps glyph numbers; the bullet is the one glyph that matters in text, and
// the others go to the private-use block where symbol fonts place them.
QString decodeSymbol(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0xB7)
            text += QChar(0x2022);
        else if (b >= 0x80)
            text += QChar(0xF000 + b);
        else
            text += QLatin1Char(c);
    }
    return text;
}

QByteArray converterName(int codePage)
{
    switch (codePage) {
    case 932: return QByteArrayLiteral("windows-31j");
    case 949: return QByteArrayLiteral("windows-949");
    case 950: return QByteArrayLiteral("windows-950");
    case 10000: return QByteArrayLiteral("macintosh");
    case 54936: return QByteArrayLiteral("GB18030");
    case 65001: return QByteArrayLiteral("UTF-8");
    default: return QByteArrayLiteral("cp") + QByteArray::number(codePage);
    }
}

} // namespace

QString TextDecoder::decodeGbk(QByteArrayView bytes)
{
    QString text = m_gbk.decode(bytes);
    if (endsInsideGbkPair(bytes))
        text += QChar::ReplacementCharacter;
    return text;
}

int codePageOfCharset(int charset)
{
    switch (charset) {
    case 0: return 1252;
    case 2: return kSymbolCodePage;
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return kGbkCodePage;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return kGbkCodePage;   // the OEM code page, which is GBK on the systems served
    default: return 0;
    }
}

QStringDecoder *TextDecoder::converterFor(int codePage)
{
    auto it = m_converters.find(codePage);
    if (it == m_converters.end())
        it = m_converters.emplace(codePage, QStringDecoder(converterName(codePage).constData(),
                                                           QStringDecoder::Flag::Stateless)).first;
    return it->second.isValid() ? &it->second : nullptr;
}

QString TextDecoder::decode(QByteArrayView bytes, int codePage)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes.data(), bytes.size());
    if (codePage == kSymbolCodePage)
        return decodeSymbol(bytes);
    if (codePage == kGbkCodePage || codePage <= 0)
        return decodeGbk(bytes);
    // A code page this machine cannot convert is read as the program's own, GBK.
    QStringDecoder *converter = converterFor(codePage);
    if (!converter)
        return decodeGbk(bytes);
    QString text = converter->decode(bytes);
    converter->resetState();
    return text;
}

} // namespace richtext

namespace richtext {

namespace {

enum class CharRule { Keep, Drop, LineBreak };

CharRule ruleFor(char16_t c)
{
    if (c < 0x20)
        return c == u'\t' ? CharRule::Keep : (c == u'\n' || c == u'\r') ? CharRule::LineBreak
                                                                       : CharRule::Drop;
    switch (c) {
    case 0x2029:
        return CharRule::LineBreak;
    case 0xFDD0:   // frame markers of the document model
    case 0xFDD1:
    case 0xFFFC:   // object replacement: stands for an image or object, never for text
        return CharRule::Drop;
    default:
        return CharRule::Keep;
    }
}

} // namespace

QString paragraphText(QString text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && ruleFor(text[i].unicode()) == CharRule::Keep)
        ++i;
    if (i == n)
        return text;
    QString clean;
    clean.reserve(n);
    clean.append(QStringView(text).first(i));
    for (; i < n; ++i) {
        const QChar c = text[i];
        switch (ruleFor(c.unicode())) {
        case CharRule::Keep:
            clean += c;
            break;
        case CharRule::LineBreak:
            // CR LF is one break, as in the plain text it came from.
            if (!(c == u'\n' && i > 0 && text[i - 1] == u'\r'))
                clean += QChar(QChar::LineSeparator);
            break;
        case CharRule::Drop:
            break;
        }
    }
    return clean;
}

} // namespace richtext
