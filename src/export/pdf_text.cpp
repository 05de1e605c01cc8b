#include "export/pdf_text.h"

#include "platform/files.h"

#include <QFile>
#include <QGlyphRun>
#include <QList>
#include <QMap>
#include <QRawFont>
#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <utility>
#include <zlib.h>

namespace diary_export {

namespace {

// The forms of the CJK radicals supplement that stand for an ideograph of their own, with it
// (the radicals' equivalent unified ideographs; the CJK fonts draw each with that ideograph's
// glyph). U+2E9F and U+2EF3 are found by compatibility decomposition, like the Kangxi radicals.
constexpr std::pair<char16_t, char16_t> kSupplementIdeographs[] = {
    {0x2E82, 0x4E5B}, {0x2E83, 0x4E5A}, {0x2E85, 0x4EBB}, {0x2E89, 0x5202}, {0x2E8B, 0x353E},
    {0x2E8E, 0x5140}, {0x2E8F, 0x5C23}, {0x2E90, 0x5C22}, {0x2E92, 0x5DF3}, {0x2E93, 0x5E7A},
    {0x2E94, 0x5F51}, {0x2E95, 0x5F50}, {0x2E96, 0x5FC4}, {0x2E98, 0x624C}, {0x2E99, 0x6535},
    {0x2E9B, 0x65E1}, {0x2E9E, 0x6B7A}, {0x2EA0, 0x6C11}, {0x2EA1, 0x6C35}, {0x2EA3, 0x706C},
    {0x2EA4, 0x722B}, {0x2EA6, 0x4E2C}, {0x2EA8, 0x72AD}, {0x2EAB, 0x7F52}, {0x2EAD, 0x793B},
    {0x2EAF, 0x7CF9}, {0x2EB0, 0x7E9F}, {0x2EB1, 0x7F53}, {0x2EB3, 0x34C1}, {0x2EB9, 0x8002},
    {0x2EBA, 0x8080}, {0x2EBE, 0x8279}, {0x2EBF, 0x8279}, {0x2EC1, 0x864E}, {0x2EC2, 0x8864},
    {0x2EC3, 0x8980}, {0x2EC4, 0x897F}, {0x2EC5, 0x89C1}, {0x2EC6, 0x89D2}, {0x2EC8, 0x8BA0},
    {0x2EC9, 0x8D1D}, {0x2ECB, 0x8F66}, {0x2ECC, 0x8FB6}, {0x2ECD, 0x8FB6}, {0x2ECE, 0x8FB6},
    {0x2ED0, 0x9485}, {0x2ED1, 0x9577}, {0x2ED2, 0x9578}, {0x2ED3, 0x957F}, {0x2ED4, 0x95E8},
    {0x2ED6, 0x961D}, {0x2ED8, 0x9752}, {0x2ED9, 0x97E6}, {0x2EDA, 0x9875}, {0x2EDB, 0x98CE},
    {0x2EDC, 0x98DE}, {0x2EDD, 0x98DF}, {0x2EDF, 0x98E0}, {0x2EE0, 0x9963}, {0x2EE2, 0x9A6C},
    {0x2EE3, 0x9AA8}, {0x2EE4, 0x9B3C}, {0x2EE5, 0x9C7C}, {0x2EE6, 0x9E1F}, {0x2EE7, 0x5364},
    {0x2EE8, 0x9EA6}, {0x2EE9, 0x9EC4}, {0x2EEA, 0x9EFE}, {0x2EEB, 0x6589}, {0x2EEC, 0x9F50},
    {0x2EED, 0x6B6F}, {0x2EEE, 0x9F7F}, {0x2EEF, 0x7ADC}, {0x2EF0, 0x9F99}, {0x2EF1, 0x9F9C},
    {0x2EF2, 0x4E80},
};

constexpr char16_t kRadicalsFirst = 0x2E80;
constexpr char16_t kRadicalsLast = 0x2FDF;   // the end of the Kangxi radicals block

// A CMap's entries, at most this many to a section (the CMap format's limit).
constexpr int kEntriesPerSection = 100;

// The size outlines are compared at, and how far two points of one outline may lie apart: the
// embedded font holds the glyph in units of its own, rounded.
constexpr qreal kOutlinePixels = 100;
constexpr qreal kOutlineTolerance = 0.25;

// Entries a map is to gain: destination (hex UTF-16) by glyph code.
using Added = QMap<uint, QByteArray>;

QByteArray codeHex(uint code)
{
    return QByteArray::number(code, 16).rightJustified(4, '0').toUpper();
}

QString fromHex(const QByteArray &hex)
{
    QString text;
    for (qsizetype i = 0; i + 4 <= hex.size(); i += 4) {
        bool ok = false;
        const uint unit = hex.mid(i, 4).toUInt(&ok, 16);
        if (!ok)
            return QString();
        text.append(QChar(char16_t(unit)));
    }
    return text;
}

QByteArray toHex(const QString &text)
{
    QByteArray hex;
    for (QChar c : text)
        hex += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
    return hex;
}

// A destination string with its radicals replaced; empty when nothing changed or it is no
// string of whole UTF-16 units.
QByteArray mendedDestination(const QByteArray &hex)
{
    if (hex.isEmpty() || hex.size() % 4 != 0)
        return QByteArray();
    QString text = fromHex(hex);
    bool changed = false;
    for (QChar &c : text) {
        const QChar ideograph = ideographOfRadical(c);
        changed = changed || ideograph != c;
        c = ideograph;
    }
    return changed ? toHex(text) : QByteArray();
}

struct Token {
    enum Kind { Hex, Open, Close } kind;
    QByteArray hex;
};

// The tokens of a bfchar or bfrange section's body; false for anything else found there.
bool tokenize(const QByteArray &body, QList<Token> &tokens)
{
    for (qsizetype i = 0; i < body.size();) {
        const char c = body.at(i);
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            ++i;
        } else if (c == '[' || c == ']') {
            tokens.append(Token{c == '[' ? Token::Open : Token::Close, QByteArray()});
            ++i;
        } else if (c == '<') {
            const qsizetype end = body.indexOf('>', i);
            if (end < 0)
                return false;
            tokens.append(Token{Token::Hex, body.mid(i + 1, end - i - 1).trimmed()});
            i = end + 1;
        } else {
            return false;
        }
    }
    return true;
}

// The body of a bfchar section, mended; empty when nothing changed or it is not understood.
QByteArray mendCharSection(const QByteArray &body)
{
    QList<Token> tokens;
    if (!tokenize(body, tokens) || tokens.size() % 2 != 0)
        return QByteArray();
    QByteArray out = "\n";
    bool changed = false;
    for (qsizetype i = 0; i < tokens.size(); i += 2) {
        if (tokens[i].kind != Token::Hex || tokens[i + 1].kind != Token::Hex)
            return QByteArray();
        QByteArray destination = mendedDestination(tokens[i + 1].hex);
        changed = changed || !destination.isEmpty();
        if (destination.isEmpty())
            destination = tokens[i + 1].hex;
        out += '<' + tokens[i].hex + "> <" + destination + ">\n";
    }
    return changed ? out : QByteArray();
}

// The body of a bfrange section, mended; empty when nothing changed or it is not understood.
QByteArray mendRangeSection(const QByteArray &body)
{
    QList<Token> tokens;
    if (!tokenize(body, tokens))
        return QByteArray();
    QByteArray out = "\n";
    bool changed = false;
    for (qsizetype i = 0; i < tokens.size();) {
        if (i + 2 >= tokens.size() || tokens[i].kind != Token::Hex || tokens[i + 1].kind != Token::Hex)
            return QByteArray();
        bool okLow = false;
        bool okHigh = false;
        const uint low = tokens[i].hex.toUInt(&okLow, 16);
        const uint high = tokens[i + 1].hex.toUInt(&okHigh, 16);
        if (!okLow || !okHigh || high < low)
            return QByteArray();
        QList<QByteArray> destinations;
        qsizetype next = i + 2;
        bool single = false;
        if (tokens[next].kind == Token::Hex) {
            // One destination for the range: the following codes count up from it in its last
            // unit.
            const QString first = fromHex(tokens[next].hex);
            if (first.isEmpty() || tokens[next].hex.size() % 4 != 0)
                return QByteArray();
            for (uint code = low; code <= high; ++code) {
                QString one = first;
                one.back() = QChar(char16_t(first.back().unicode() + (code - low)));
                destinations.append(toHex(one));
            }
            single = true;
            ++next;
        } else if (tokens[next].kind == Token::Open) {
            for (++next; next < tokens.size() && tokens[next].kind == Token::Hex; ++next)
                destinations.append(tokens[next].hex);
            if (next >= tokens.size() || tokens[next].kind != Token::Close)
                return QByteArray();
            ++next;
        } else {
            return QByteArray();
        }
        bool rangeChanged = false;
        for (QByteArray &destination : destinations) {
            const QByteArray mended = mendedDestination(destination);
            if (!mended.isEmpty()) {
                destination = mended;
                rangeChanged = true;
            }
        }
        out += '<' + tokens[i].hex + "> <" + tokens[i + 1].hex + "> ";
        if (single && !rangeChanged) {
            out += '<' + tokens[i + 2].hex + ">\n";
        } else {
            out += '[';
            for (const QByteArray &destination : destinations)
                out += '<' + destination + "> ";
            out += "]\n";
        }
        changed = changed || rangeChanged;
        i = next;
    }
    return changed ? out : QByteArray();
}

// A bfchar or bfrange section of a CMap: its kind and its body.
const QRegularExpression &sectionPattern()
{
    static const QRegularExpression pattern(QStringLiteral("begin(bfchar|bfrange)(.*?)end\\1"),
                                            QRegularExpression::DotMatchesEverythingOption);
    return pattern;
}

// The CMap with its sections mended and the entries of added (codes it does not cover) written
// in sections of their own; empty when nothing changed or it is not understood.
QByteArray mendCMap(const QByteArray &cmap, const Added &added)
{
    // The CMap is ASCII; Latin-1 keeps every byte where it was.
    const QString text = QString::fromLatin1(cmap);
    QByteArray out;
    qsizetype copied = 0;
    bool changed = false;
    for (auto it = sectionPattern().globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QByteArray body = m.captured(2).toLatin1();
        const QByteArray mended = m.captured(1) == QLatin1String("bfchar") ? mendCharSection(body)
                                                                           : mendRangeSection(body);
        if (mended.isEmpty())
            continue;
        out += cmap.mid(copied, m.capturedStart(2) - copied);
        out += mended;
        copied = m.capturedEnd(2);
        changed = true;
    }
    const qsizetype end = cmap.indexOf("endcmap", copied);
    if (!added.isEmpty() && end >= 0) {
        out += cmap.mid(copied, end - copied);
        copied = end;
        for (auto it = added.cbegin(); it != added.cend();) {
            QByteArray entries;
            int count = 0;
            for (; it != added.cend() && count < kEntriesPerSection; ++it, ++count)
                entries += '<' + codeHex(it.key()) + "> <" + it.value() + ">\n";
            out += QByteArray::number(count) + " beginbfchar\n" + entries + "endbfchar\n";
        }
        changed = true;
    }
    if (!changed)
        return QByteArray();
    return out + cmap.mid(copied);
}

// The codes the CMap's sections cover.
QSet<uint> mappedCodes(const QByteArray &cmap)
{
    QSet<uint> codes;
    for (auto it = sectionPattern().globalMatch(QString::fromLatin1(cmap)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QList<Token> tokens;
        if (!tokenize(m.captured(2).toLatin1(), tokens))
            continue;
        const bool ranges = m.captured(1) == QLatin1String("bfrange");
        for (qsizetype i = 0; i + 1 < tokens.size();) {
            const uint low = tokens[i].hex.toUInt(nullptr, 16);
            if (!ranges) {
                codes.insert(low);
                i += 2;
                continue;
            }
            if (i + 2 >= tokens.size())
                break;
            const uint high = tokens[i + 1].hex.toUInt(nullptr, 16);
            qsizetype next = i + 2;
            for (uint code = low; code <= high && code - low < 0x10000; ++code)
                codes.insert(code);
            if (tokens[next].kind == Token::Hex) {
                ++next;
            } else {
                while (next < tokens.size() && tokens[next].kind != Token::Close)
                    ++next;
                ++next;
            }
            i = next;
        }
    }
    return codes;
}

struct Replacement {
    qsizetype from;
    qsizetype to;
    QByteArray bytes;
};

struct XrefEntry {
    qint64 offset;
    int generation;
    char kind;
};

struct XrefSection {
    int first;
    QList<XrefEntry> entries;
};

// The classic cross-reference table at offset: its subsections and the offset just after it.
bool readXref(const QByteArray &pdf, qsizetype offset, QList<XrefSection> &sections, qsizetype &end)
{
    if (!pdf.mid(offset, 4).startsWith("xref"))
        return false;
    qsizetype pos = offset + 4;
    const auto skipSpace = [&] {
        while (pos < pdf.size() && QByteArrayView(" \r\n\t").contains(pdf.at(pos)))
            ++pos;
    };
    const auto number = [&](qint64 &value) {
        skipSpace();
        const qsizetype start = pos;
        while (pos < pdf.size() && pdf.at(pos) >= '0' && pdf.at(pos) <= '9')
            ++pos;
        bool ok = false;
        value = pdf.mid(start, pos - start).toLongLong(&ok);
        return ok;
    };
    for (;;) {
        skipSpace();
        if (pos >= pdf.size())
            return false;
        if (pdf.at(pos) < '0' || pdf.at(pos) > '9')
            break;
        qint64 first = 0;
        qint64 count = 0;
        if (!number(first) || !number(count) || count < 0 || count > pdf.size() / 18)
            return false;
        XrefSection section{int(first), {}};
        for (qint64 i = 0; i < count; ++i) {
            qint64 entryOffset = 0;
            qint64 generation = 0;
            if (!number(entryOffset) || !number(generation))
                return false;
            skipSpace();
            if (pos >= pdf.size() || (pdf.at(pos) != 'n' && pdf.at(pos) != 'f'))
                return false;
            section.entries.append({entryOffset, int(generation), pdf.at(pos)});
            ++pos;
        }
        sections.append(section);
    }
    end = pos;
    return true;
}

// The objects of a PDF with a classic cross-reference table, as far as the mend reads them.
class PdfObjects
{
public:
    PdfObjects(const QByteArray &pdf, const QList<XrefSection> &sections) : m_pdf(pdf)
    {
        for (const XrefSection &section : sections)
            for (qsizetype i = 0; i < section.entries.size(); ++i)
                if (section.entries[i].kind == 'n')
                    m_offsets.insert(section.first + int(i), section.entries[i].offset);
    }

    // Where object number starts ("N 0 obj"); -1 when it is not there.
    qint64 offsetOf(int number) const
    {
        const qint64 offset = m_offsets.value(number, -1);
        const QByteArray header = QByteArray::number(number) + " 0 obj";
        if (offset < 0 || offset >= m_pdf.size() || !m_pdf.mid(offset, header.size()).startsWith(header))
            return -1;
        return offset;
    }

    // The object's dictionary, up to its stream or its end; empty when it has none.
    QByteArray dictionaryOf(int number) const
    {
        const qint64 offset = offsetOf(number);
        const qsizetype objectEnd = offset < 0 ? -1 : m_pdf.indexOf("endobj", offset);
        const qsizetype dictStart = offset < 0 ? -1 : m_pdf.indexOf("<<", offset);
        if (objectEnd < 0 || dictStart < 0 || dictStart > objectEnd)
            return QByteArray();
        const qsizetype streamWord = m_pdf.indexOf("stream", dictStart);
        return m_pdf.mid(dictStart, (streamWord >= 0 && streamWord < objectEnd ? streamWord : objectEnd) - dictStart);
    }

    // The number the dictionary refers to under key ("/Key N 0 R"), or under key in a one-element
    // array ("/Key [N 0 R]"); -1 when there is none.
    static int reference(const QByteArray &dict, const char *key)
    {
        const QRegularExpression pattern(QLatin1String(key) + QStringLiteral("\\s*\\[?\\s*(\\d+)\\s+0\\s+R"));
        const QRegularExpressionMatch m = pattern.match(QString::fromLatin1(dict));
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }

    struct Stream {
        qsizetype dictStart = -1;
        qsizetype lengthFrom = -1;   // the digits of a direct /Length, -1 for an indirect one
        qsizetype lengthTo = -1;
        qsizetype dataStart = -1;
        qsizetype size = -1;
        bool deflated = false;
        bool valid() const { return dataStart >= 0; }
    };

    // Where the stream of object number lies; invalid for a filter other than Flate.
    Stream streamOf(int number) const
    {
        Stream s;
        const qint64 offset = offsetOf(number);
        if (offset < 0)
            return s;
        const qsizetype dictStart = m_pdf.indexOf("<<", offset);
        const qsizetype streamWord = m_pdf.indexOf("stream", offset);
        const qsizetype objectEnd = m_pdf.indexOf("endobj", offset);
        if (dictStart < 0 || streamWord < 0 || objectEnd < 0 || streamWord > objectEnd || dictStart > streamWord)
            return s;
        const QByteArray dict = m_pdf.mid(dictStart, streamWord - dictStart);
        static const QRegularExpression filterPattern(QStringLiteral("/Filter\\s*(/\\w+)?"));
        const QRegularExpressionMatch filter = filterPattern.match(QString::fromLatin1(dict));
        if (filter.hasMatch() && filter.captured(1) != QLatin1String("/FlateDecode"))
            return s;
        static const QRegularExpression lengthPattern(QStringLiteral("/Length\\s+(\\d+)(\\s+0\\s+R)?"));
        const QRegularExpressionMatch length = lengthPattern.match(QString::fromLatin1(dict));
        if (!length.hasMatch())
            return s;
        qsizetype size = length.captured(1).toLongLong();
        if (length.capturedLength(2) > 0) {
            // An indirect length: the number in its own object.
            const qint64 at = offsetOf(int(size));
            if (at < 0)
                return s;
            const qsizetype from = m_pdf.indexOf("obj", at) + 3;
            size = m_pdf.mid(from, 24).trimmed().split('\n').value(0).trimmed().toLongLong();
        } else {
            s.lengthFrom = dictStart + length.capturedStart(1);
            s.lengthTo = dictStart + length.capturedEnd(1);
        }
        qsizetype dataStart = streamWord + 6;
        if (m_pdf.mid(dataStart, 2) == "\r\n")
            dataStart += 2;
        else if (dataStart < m_pdf.size() && m_pdf.at(dataStart) == '\n')
            ++dataStart;
        else
            return s;
        if (size < 0 || dataStart + size > objectEnd)
            return s;
        s.dictStart = dictStart;
        s.dataStart = dataStart;
        s.size = size;
        s.deflated = filter.hasMatch();
        return s;
    }

    // The stream's data, decompressed; empty when it cannot be read.
    QByteArray dataOf(const Stream &s) const
    {
        const QByteArray raw = m_pdf.mid(s.dataStart, s.size);
        if (!s.deflated)
            return raw;
        z_stream z{};
        if (inflateInit(&z) != Z_OK)
            return QByteArray();
        QByteArray out;
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(raw.constData()));
        z.avail_in = uInt(raw.size());
        int rc = Z_OK;
        while (rc == Z_OK) {
            const qsizetype at = out.size();
            out.resize(at + std::max<qsizetype>(raw.size() * 2, 4096));
            z.next_out = reinterpret_cast<Bytef *>(out.data() + at);
            z.avail_out = uInt(out.size() - at);
            rc = inflate(&z, Z_NO_FLUSH);
            out.resize(out.size() - qsizetype(z.avail_out));
            if (rc == Z_BUF_ERROR && z.avail_in > 0)
                rc = Z_OK;   // only the output was full
        }
        inflateEnd(&z);
        return rc == Z_STREAM_END ? out : QByteArray();
    }

private:
    const QByteArray &m_pdf;
    QHash<int, qint64> m_offsets;
};

bool sameOutline(const QPainterPath &a, const QPainterPath &b)
{
    if (a.elementCount() != b.elementCount() || a.isEmpty())
        return false;
    for (int i = 0; i < a.elementCount(); ++i) {
        const QPainterPath::Element p = a.elementAt(i);
        const QPainterPath::Element q = b.elementAt(i);
        if (p.type != q.type || std::abs(p.x - q.x) > kOutlineTolerance || std::abs(p.y - q.y) > kOutlineTolerance)
            return false;
    }
    return true;
}

// The entries the ToUnicode map of the Type0 font object fontNumber lacks for glyphs drawn for
// characters beyond U+FFFF: each glyph of its embedded font that the map gives no character and
// whose outline is one of drawn's.
Added beyondBmpEntries(const PdfObjects &objects, int fontNumber, const QByteArray &cmap,
                       const QList<DrawnCharacter> &drawn)
{
    const int descendant = PdfObjects::reference(objects.dictionaryOf(fontNumber), "/DescendantFonts");
    const int descriptor = PdfObjects::reference(objects.dictionaryOf(descendant), "/FontDescriptor");
    const int file = PdfObjects::reference(objects.dictionaryOf(descriptor), "/FontFile2");
    const PdfObjects::Stream stream = objects.streamOf(file);
    if (!stream.valid())
        return {};
    const QRawFont font(objects.dataOf(stream), kOutlinePixels);
    const QByteArray maxp = font.isValid() ? font.fontTable("maxp") : QByteArray();
    if (maxp.size() < 6)
        return {};
    const uint glyphs = qFromBigEndian<quint16>(maxp.constData() + 4);
    const QSet<uint> mapped = mappedCodes(cmap);
    Added added;
    for (uint glyph = 1; glyph < glyphs; ++glyph) {
        if (mapped.contains(glyph))
            continue;
        const QPainterPath outline = font.pathForGlyph(glyph);
        for (const DrawnCharacter &c : drawn) {
            if (sameOutline(outline, c.outline)) {
                added.insert(glyph, toHex(c.text));
                break;
            }
        }
    }
    return added;
}

// The replacements that mend the ToUnicode stream object number of the font object fontNumber
// (none when it needs none or is not of the form understood).
void mendStreamObject(const QByteArray &pdf, const PdfObjects &objects, int number, int fontNumber,
                      const QList<DrawnCharacter> &drawn, QList<Replacement> &out)
{
    const PdfObjects::Stream stream = objects.streamOf(number);
    if (!stream.valid() || stream.deflated || stream.lengthFrom < 0)
        return;
    const QByteArray cmap = pdf.mid(stream.dataStart, stream.size);
    const Added added = drawn.isEmpty() || fontNumber < 0 ? Added() : beyondBmpEntries(objects, fontNumber, cmap, drawn);
    const QByteArray mended = mendCMap(cmap, added);
    if (mended.isEmpty())
        return;
    out.append({stream.lengthFrom, stream.lengthTo, QByteArray::number(mended.size())});
    out.append({stream.dataStart, stream.dataStart + stream.size, mended});
}

} // namespace

QChar ideographOfRadical(QChar c)
{
    const char16_t u = c.unicode();
    if (u < kRadicalsFirst || u > kRadicalsLast)
        return c;
    for (const auto &[radical, ideograph] : kSupplementIdeographs) {
        if (radical == u)
            return QChar(ideograph);
    }
    const QString decomposed = QString(c).normalized(QString::NormalizationForm_KC);
    return decomposed.size() == 1 ? decomposed.front() : c;
}

QList<DrawnCharacter> drawnBeyondBmp(const QTextDocument &document)
{
    QList<DrawnCharacter> drawn;
    QSet<std::pair<QString, quint32>> seen;   // by font and glyph
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        const QTextLayout *layout = block.layout();
        if (!layout || layout->lineCount() == 0)
            continue;
        for (qsizetype i = 0; i + 1 < text.size(); ++i) {
            if (!text[i].isHighSurrogate() || !text[i + 1].isLowSurrogate())
                continue;
            for (const QGlyphRun &run : layout->glyphRuns(int(i), 2)) {
                QRawFont font = run.rawFont();
                font.setPixelSize(kOutlinePixels);
                const QString fontName = font.familyName() + u'\n' + font.styleName();
                for (const quint32 glyph : run.glyphIndexes()) {
                    if (seen.contains({fontName, glyph}))
                        continue;
                    seen.insert({fontName, glyph});
                    drawn.append({text.mid(i, 2), font.pathForGlyph(glyph)});
                }
            }
            ++i;
        }
    }
    return drawn;
}

QByteArray mendToUnicode(const QByteArray &pdf, const QList<DrawnCharacter> &drawn)
{
    const qsizetype startxref = pdf.lastIndexOf("startxref");
    if (startxref < 0)
        return pdf;
    bool ok = false;
    const qsizetype xrefOffset = pdf.mid(startxref + 9, 24).trimmed().split('\n').value(0).trimmed().toLongLong(&ok);
    QList<XrefSection> sections;
    qsizetype xrefEnd = 0;
    if (!ok || xrefOffset <= 0 || xrefOffset >= startxref || !readXref(pdf, xrefOffset, sections, xrefEnd))
        return pdf;

    // Each map with the font object that names it ("N 0 obj << … /ToUnicode M 0 R … >>").
    static const QRegularExpression toUnicode(QStringLiteral("/ToUnicode\\s+(\\d+)\\s+0\\s+R"));
    const QString text = QString::fromLatin1(pdf.left(xrefOffset));
    QMap<int, int> maps;   // font object by map
    for (auto it = toUnicode.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const int number = m.captured(1).toInt();
        if (maps.contains(number))
            continue;
        const qsizetype start = text.lastIndexOf(QLatin1String(" 0 obj"), m.capturedStart());
        qsizetype digits = start;
        while (digits > 0 && text[digits - 1].isDigit())
            --digits;
        maps.insert(number, start > digits ? text.mid(digits, start - digits).toInt() : -1);
    }
    const PdfObjects objects(pdf, sections);
    QList<Replacement> replacements;
    for (auto it = maps.cbegin(); it != maps.cend(); ++it)
        mendStreamObject(pdf, objects, it.key(), it.value(), drawn, replacements);
    if (replacements.isEmpty())
        return pdf;
    std::sort(replacements.begin(), replacements.end(),
              [](const Replacement &a, const Replacement &b) { return a.from < b.from; });

    QByteArray out;
    out.reserve(pdf.size() + 4096);
    qsizetype copied = 0;
    for (const Replacement &r : replacements) {
        out += pdf.mid(copied, r.from - copied);
        out += r.bytes;
        copied = r.to;
    }
    out += pdf.mid(copied, xrefOffset - copied);

    // Objects start outside every replacement, so each moves by the growth of those before it.
    const auto moved = [&](qint64 offset) {
        qint64 shift = 0;
        for (const Replacement &r : replacements) {
            if (r.to <= offset)
                shift += r.bytes.size() - (r.to - r.from);
        }
        return offset + shift;
    };
    const qint64 newXref = out.size();
    out += "xref\n";
    for (const XrefSection &section : sections) {
        out += QByteArray::number(section.first) + ' ' + QByteArray::number(section.entries.size()) + '\n';
        for (const XrefEntry &entry : section.entries) {
            const qint64 offset = entry.kind == 'n' ? moved(entry.offset) : entry.offset;
            out += QByteArray::number(offset).rightJustified(10, '0') + ' '
                   + QByteArray::number(entry.generation).rightJustified(5, '0') + ' ' + entry.kind
                   + " \n";
        }
    }
    out += pdf.mid(xrefEnd, startxref - xrefEnd);
    out += "startxref\n" + QByteArray::number(newXref) + "\n%%EOF\n";
    return out;
}

bool mendToUnicodeFile(const QString &path, const QList<DrawnCharacter> &drawn)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray pdf = file.readAll();
    file.close();
    const QByteArray mended = mendToUnicode(pdf, drawn);
    if (mended == pdf)
        return true;
    files::AtomicWriter out(path);
    return out.isOpen() && out.write(mended) && out.commit();
}

} // namespace diary_export
