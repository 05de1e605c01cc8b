#include "rtf_writer.h"

#include "format_mapping.h"
#include "pictures.h"
#include "platform/gbk.h"

#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <optional>
#include <vector>

namespace richtext {

namespace {

constexpr int kBulletIndent = 720;    // twips per list level, as the rich edit control indents
constexpr int kBulletHang = -360;
// The width a table fills when its columns give none of their own: an A4 page's text width.
constexpr int kTableWidth = 9638;
constexpr int kCellGap = 108;         // \trgaph: half the space between two cells' text

struct ParaOut {
    Alignment alignment = Alignment::Left;
    int left = 0, right = 0, first = 0, before = 0, after = 0;
    bool pageBreakBefore = false;
    ListStyle list = ListStyle::None;
    int listLevel = 0;
    int tableDepth = 0;

    bool operator==(const ParaOut &) const = default;
};

bool isBullet(ListStyle s)
{
    return s == ListStyle::Disc || s == ListStyle::Circle || s == ListStyle::Square;
}

const char *numberingWord(ListStyle s)
{
    switch (s) {
    case ListStyle::LowerAlpha: return "pnlcltr";
    case ListStyle::UpperAlpha: return "pnucltr";
    case ListStyle::LowerRoman: return "pnlcrm";
    case ListStyle::UpperRoman: return "pnucrm";
    default: return "pndec";
    }
}

const char *underlineWord(Underline u)
{
    switch (u) {
    case Underline::None: return "ulnone";
    case Underline::Single: return "ul";
    case Underline::Dash: return "uldash";
    case Underline::Dot: return "uld";
    case Underline::DashDot: return "uldashd";
    case Underline::DashDotDot: return "uldashdd";
    case Underline::Wave: return "ulwave";
    }
    return "ulnone";
}

// Characters written as control symbols or words rather than as bytes.
bool isSpecial(char16_t c)
{
    return c == QChar::LineSeparator || c == QChar::Nbsp || c == QChar::SoftHyphen || c == 0x2011;
}

struct Run {
    QString text;
    RtfCharState format;
    std::optional<Picture> picture;   // each character of the text stands for this picture
};

class Writer
{
public:
    explicit Writer(const QTextDocument &doc) : m_doc(doc), m_defaultFont(doc.defaultFont()) {}

    QByteArray write(const QStringList &leadingLines);

private:
    RunFormat resolve(const QTextCharFormat &f) const;
    const RunFormat &resolvedFragment(const QTextFragment &fragment);
    void addToTables(const RunFormat &r);
    RtfCharState charOut(const RunFormat &r) const;
    ParaOut paraOut(const QTextBlock &block) const;

    void header();
    void paragraph(const ParaOut &p, const QString &itemText, const std::vector<Run> &runs,
                   const RtfCharState &mark, const char *end = "par");
    void block(const QTextBlock &b, int depth, const char *end);
    void frame(QTextFrame::iterator it, int depth, bool topLevel);
    void table(const QTextTable &t, int level);
    QByteArray rowDefinition(const QTextTable &t, int row);
    void addTableColours(const QTextFrame &frame);
    void listGroups(const ParaOut &p, const QString &itemText, bool withDefinition);
    void switchTo(const RtfCharState &c);

    void word(const char *name);
    void word(const char *name, int parameter);
    void symbol(char c);
    void text(QStringView text);
    void encodedSpan(QStringView span);
    void escapedBytes(const QByteArray &bytes);
    void picture(const Picture &p);

    const QTextDocument &m_doc;
    const QFont m_defaultFont;
    QHash<int, RunFormat> m_resolved;          // by the document's format index
    QStringList m_fonts;
    QHash<QString, int> m_fontIndex;
    int m_symbolFont = -1;
    QList<QRgb> m_colors;                      // entry i + 1 of the colour table
    QHash<QRgb, int> m_colorIndex;
    QByteArray m_out;
    bool m_needDelimiter = false;              // a control word was written last
    RtfCharState m_char{-1, -1};               // nothing written yet
    ParaOut m_para;
    bool m_firstParagraph = true;
};

RunFormat Writer::resolve(const QTextCharFormat &f) const
{
    const QFont font = f.font().resolve(m_defaultFont);
    RunFormat r;
    r.family = font.family();
    if (r.family.isEmpty())
        r.family = QStringLiteral("宋体");
    // A pasted web page's heading is sized relative to the default font: written at the size it
    // shows, so that it reads back as large.
    const double points = shownPointSize(f, m_defaultFont);
    r.halfPoints = std::clamp(qRound(points * 2), 1, 3276);
    r.bold = font.bold();
    r.italic = font.italic();
    r.strike = font.strikeOut();
    if (f.hasProperty(QTextFormat::TextUnderlineStyle))
        r.underline = fromQt(f.underlineStyle());
    else
        r.underline = font.underline() ? Underline::Single : Underline::None;
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
        r.color = f.foreground().color();
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
        r.background = f.background().color();
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        r.verticalAlign = VerticalAlign::Super;
    else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
        r.verticalAlign = VerticalAlign::Sub;
    return r;
}

const RunFormat &Writer::resolvedFragment(const QTextFragment &fragment)
{
    const int index = fragment.charFormatIndex();
    auto it = m_resolved.find(index);
    if (it == m_resolved.end())
        it = m_resolved.insert(index, resolve(fragment.charFormat()));
    return *it;
}

void Writer::addToTables(const RunFormat &r)
{
    if (!m_fontIndex.contains(r.family)) {
        m_fontIndex.insert(r.family, int(m_fonts.size()));
        m_fonts.append(r.family);
    }
    for (const QColor &c : {r.color, r.background}) {
        if (c.isValid() && !m_colorIndex.contains(c.rgb())) {
            m_colors.append(c.rgb());
            m_colorIndex.insert(c.rgb(), int(m_colors.size()));
        }
    }
}

RtfCharState Writer::charOut(const RunFormat &r) const
{
    RtfCharState c;
    c.font = m_fontIndex.value(r.family);
    c.halfPoints = r.halfPoints;
    c.color = r.color.isValid() ? m_colorIndex.value(r.color.rgb()) : 0;
    c.background = r.background.isValid() ? m_colorIndex.value(r.background.rgb()) : 0;
    c.bold = r.bold;
    c.italic = r.italic;
    c.strike = r.strike;
    c.underline = r.underline;
    c.verticalAlign = r.verticalAlign;
    return c;
}

ParaOut Writer::paraOut(const QTextBlock &block) const
{
    const QTextBlockFormat f = block.blockFormat();
    ParaOut p;
    p.alignment = fromQt(f.alignment());
    p.right = pixelsToTwips(f.rightMargin());
    p.before = pixelsToTwips(f.topMargin());
    p.after = pixelsToTwips(f.bottomMargin());
    p.pageBreakBefore = f.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore;
    if (const QTextList *list = block.textList()) {
        p.list = fromQt(list->format().style());
        p.listLevel = std::max(list->format().indent() - 1, 0);
    } else {
        p.left = pixelsToTwips(f.leftMargin());
        p.first = pixelsToTwips(f.textIndent());
    }
    return p;
}

QByteArray Writer::write(const QStringList &leadingLines)
{
    const QTextBlock firstBlock = m_doc.begin();
    const QTextBlock::iterator firstFragment = firstBlock.begin();
    const RunFormat bodyStart = resolve(firstFragment.atEnd() ? firstBlock.charFormat()
                                                              : firstFragment.fragment().charFormat());

    // First pass: the font and colour tables.
    if (!leadingLines.isEmpty())
        addToTables(bodyStart);
    for (QTextBlock b = firstBlock; b.isValid(); b = b.next()) {
        if (b.begin().atEnd())
            addToTables(resolve(b.charFormat()));
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().isValid())
                addToTables(resolvedFragment(it.fragment()));
        if (b.textList() && isBullet(fromQt(b.textList()->format().style())) && m_symbolFont < 0) {
            m_symbolFont = int(m_fonts.size());
            m_fonts.append(QStringLiteral("Symbol"));
        }
    }
    if (m_fonts.isEmpty())
        addToTables(resolve(QTextCharFormat()));
    addTableColours(*m_doc.rootFrame());

    header();

    ParaOut leading = paraOut(firstBlock);
    leading.list = ListStyle::None;
    leading.listLevel = 0;
    leading.pageBreakBefore = false;
    if (leading.left == 0 && leading.first == 0 && firstBlock.textList()) {
        leading.left = pixelsToTwips(firstBlock.blockFormat().leftMargin());
        leading.first = pixelsToTwips(firstBlock.blockFormat().textIndent());
    }
    const RtfCharState leadingFormat = charOut(bodyStart);
    for (const QString &line : leadingLines)
        paragraph(leading, QString(), {Run{line, leadingFormat, std::nullopt}}, leadingFormat);

    frame(m_doc.rootFrame()->begin(), 0, true);
    m_out += "}\r\n";
    return m_out;
}

void Writer::block(const QTextBlock &b, int depth, const char *end)
{
    {
        std::vector<Run> runs;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            Run run{fragment.text(), charOut(resolvedFragment(fragment)), std::nullopt};
            const QTextCharFormat f = fragment.charFormat();
            if (f.isImageFormat()) {
                run.picture = pictureOf(m_doc, f.toImageFormat());
                if (!run.picture)
                    continue;   // an image the document cannot give: nothing to keep
            }
            runs.push_back(std::move(run));
        }
        const QString itemText = b.textList() ? b.textList()->itemText(b) : QString();
        ParaOut p = paraOut(b);
        p.tableDepth = depth;
        paragraph(p, itemText, runs, charOut(resolve(b.charFormat())), end);
    }
}

// A frame's blocks and tables in order. In a cell the last paragraph ends the cell. The empty
// paragraph the document keeps after a table at its very end is not written.
void Writer::frame(QTextFrame::iterator it, int depth, bool topLevel)
{
    struct Entry {
        QTextBlock block;
        QTextTable *table = nullptr;
    };
    std::vector<Entry> entries;
    for (; !it.atEnd(); ++it) {
        if (QTextFrame *f = it.currentFrame()) {
            if (auto *t = qobject_cast<QTextTable *>(f))
                entries.push_back(Entry{QTextBlock(), t});
            else
                for (auto inner = f->begin(); !inner.atEnd(); ++inner)
                    if (inner.currentBlock().isValid())
                        entries.push_back(Entry{inner.currentBlock(), nullptr});
        } else {
            entries.push_back(Entry{it.currentBlock(), nullptr});
        }
    }
    if (topLevel && entries.size() >= 2 && !entries.back().table
        && entries.back().block.length() <= 1 && entries[entries.size() - 2].table)
        entries.pop_back();
    const char *cellEnd = depth <= 1 ? "cell" : "nestcell";
    for (size_t i = 0; i < entries.size(); ++i) {
        const bool last = i + 1 == entries.size();
        if (entries[i].table) {
            table(*entries[i].table, depth + 1);
            if (last && !topLevel) {
                // A cell ends with a paragraph.
                ParaOut p;
                p.tableDepth = depth;
                paragraph(p, QString(), {}, m_char, cellEnd);
            }
        } else {
            block(entries[i].block, depth, last && !topLevel ? cellEnd : "par");
        }
    }
}

QByteArray Writer::rowDefinition(const QTextTable &t, int row)
{
    const QTextTableFormat format = t.format();
    const QList<QTextLength> constraints = format.columnWidthConstraints();
    const int columns = t.columns();
    std::vector<int> rights;
    int edge = 0;
    for (int c = 0; c < columns; ++c) {
        int width = kTableWidth / columns;
        if (c < constraints.size()) {
            const QTextLength &l = constraints[c];
            if (l.type() == QTextLength::FixedLength)
                width = pixelsToTwips(l.rawValue());
            else if (l.type() == QTextLength::PercentageLength)
                width = qRound(kTableWidth * l.rawValue() / 100.0);
        }
        edge += std::max(width, 1);
        rights.push_back(edge);
    }
    QByteArray out = "\\trowd\\trgaph" + QByteArray::number(kCellGap) + "\\trleft0";
    const bool borders = format.border() > 0 && format.borderStyle() != QTextFrameFormat::BorderStyle_None;
    for (int c = 0; c < columns;) {
        const QTextTableCell cell = t.cellAt(row, c);
        const int span = std::max(cell.columnSpan(), 1);
        if (cell.row() < row)
            out += "\\clvmrg";
        else if (cell.rowSpan() > 1)
            out += "\\clvmgf";
        if (borders)
            out += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10"
                   "\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10";
        const QBrush background = cell.format().background();
        if (background.style() != Qt::NoBrush && m_colorIndex.contains(background.color().rgb()))
            out += "\\clcbpat" + QByteArray::number(m_colorIndex.value(background.color().rgb()));
        out += "\\cellx" + QByteArray::number(rights[size_t(std::min(c + span, columns) - 1)]);
        c += span;
    }
    return out;
}

// Rows as word processors write them: an outermost row states its definition first and ends
// with \row; a nested row ends with its definition in {\*\nesttableprops … \nestrow}, followed
// by a paragraph for readers that know no nested tables. A cell merged into the one above is
// an empty cell marked \clvmrg; one merged into the cell before it is not written.
void Writer::table(const QTextTable &t, int level)
{
    for (int r = 0; r < t.rows(); ++r) {
        const QByteArray definition = rowDefinition(t, r);
        if (level == 1) {
            m_out += "\r\n";
            m_out += definition;
            m_needDelimiter = true;
        }
        for (int c = 0; c < t.columns();) {
            const QTextTableCell cell = t.cellAt(r, c);
            c += std::max(cell.columnSpan(), 1);
            m_firstParagraph = true;
            if (cell.row() < r) {
                ParaOut p;
                p.tableDepth = level;
                paragraph(p, QString(), {}, m_char, level == 1 ? "cell" : "nestcell");
            } else {
                frame(cell.begin(), level, false);
            }
        }
        if (level == 1) {
            word("row");
        } else {
            m_out += "{\\*\\nesttableprops";
            m_out += definition;
            m_out += "\\nestrow}{\\nonesttables\\par}";
            m_needDelimiter = false;
        }
        m_out += "\r\n";
        m_needDelimiter = false;
        m_firstParagraph = true;
    }
}

void Writer::addTableColours(const QTextFrame &frame)
{
    for (QTextFrame *child : frame.childFrames()) {
        if (auto *t = qobject_cast<QTextTable *>(child)) {
            for (int r = 0; r < t->rows(); ++r) {
                for (int c = 0; c < t->columns(); ++c) {
                    const QBrush b = t->cellAt(r, c).format().background();
                    if (b.style() != Qt::NoBrush && !m_colorIndex.contains(b.color().rgb())) {
                        m_colors.append(b.color().rgb());
                        m_colorIndex.insert(b.color().rgb(), int(m_colors.size()));
                    }
                }
            }
        }
        addTableColours(*child);
    }
}

void Writer::header()
{
    m_out += "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl";
    for (int i = 0; i < m_fonts.size(); ++i) {
        m_out += "{";
        word("f", i);
        word("fnil");
        word("fcharset", i == m_symbolFont ? 2 : 134);
        m_out += ' ';
        m_needDelimiter = false;
        // ';' ends the entry, so a name cannot hold one as it stands.
        const QStringList parts = m_fonts[i].split(QLatin1Char(';'));
        for (int k = 0; k < parts.size(); ++k) {
            if (k > 0)
                escapedBytes(QByteArrayLiteral(";"));
            text(parts[k]);
        }
        m_out += ";}";
        m_needDelimiter = false;
    }
    m_out += "}\r\n";
    if (!m_colors.isEmpty()) {
        m_out += "{\\colortbl ;";
        for (QRgb c : m_colors) {
            word("red", qRed(c));
            word("green", qGreen(c));
            word("blue", qBlue(c));
            m_out += ';';
        }
        m_out += "}\r\n";
    }
    m_needDelimiter = false;
    word("viewkind", 4);
    word("uc", 1);
}

void Writer::paragraph(const ParaOut &p, const QString &itemText, const std::vector<Run> &runs,
                       const RtfCharState &mark, const char *end)
{
    if (m_firstParagraph || !(p == m_para)) {
        word("pard");
        if (p.tableDepth > 0)
            word("intbl");
        if (p.tableDepth > 1)
            word("itap", p.tableDepth);
        if (p.list != ListStyle::None)
            listGroups(p, itemText, true);
        if (p.alignment == Alignment::Center)
            word("qc");
        else if (p.alignment == Alignment::Right)
            word("qr");
        else if (p.alignment == Alignment::Justify)
            word("qj");
        if (p.list != ListStyle::None) {
            word("fi", kBulletHang);
            word("li", kBulletIndent * (p.listLevel + 1));
        } else {
            if (p.left)
                word("li", p.left);
            if (p.first)
                word("fi", p.first);
        }
        if (p.right)
            word("ri", p.right);
        if (p.before)
            word("sb", p.before);
        if (p.after)
            word("sa", p.after);
        if (p.pageBreakBefore)
            word("pagebb");
        m_para = p;
        m_firstParagraph = false;
    } else if (p.list != ListStyle::None) {
        listGroups(p, itemText, false);
    }

    for (const Run &run : runs) {
        switchTo(run.format);
        if (run.picture) {
            for (qsizetype i = 0; i < run.text.size(); ++i)
                picture(*run.picture);
        } else {
            text(run.text);
        }
    }
    // An empty paragraph keeps the format it will be typed in.
    if (runs.empty())
        switchTo(mark);
    word(end);
    m_out += "\r\n";
    m_needDelimiter = false;
}

void Writer::listGroups(const ParaOut &p, const QString &itemText, bool withDefinition)
{
    if (isBullet(p.list)) {
        m_out += "{\\pntext";
        word("f", m_symbolFont);
        m_out += "\\'B7\\tab}";
        if (withDefinition) {
            m_out += "{\\*\\pn\\pnlvlblt";
            word("pnf", m_symbolFont);
            m_out += "\\pnindent0{\\pntxtb\\'B7}}";
        }
    } else {
        m_out += "{\\pntext";
        word("f", 0);
        text(itemText);
        m_out += "\\tab}";
        if (withDefinition) {
            m_out += "{\\*\\pn\\pnlvlbody\\pnf0\\pnindent0\\pnstart1";
            word(numberingWord(p.list));
            m_out += "{\\pntxta.}}";
        }
    }
    m_needDelimiter = false;
}

void Writer::switchTo(const RtfCharState &c)
{
    if (c.font != m_char.font)
        word("f", c.font);
    if (c.halfPoints != m_char.halfPoints)
        word("fs", c.halfPoints);
    if (c.color != m_char.color)
        word("cf", c.color);
    if (c.background != m_char.background)
        word("highlight", c.background);
    if (c.bold != m_char.bold)
        c.bold ? word("b") : word("b", 0);
    if (c.italic != m_char.italic)
        c.italic ? word("i") : word("i", 0);
    if (c.strike != m_char.strike)
        c.strike ? word("strike") : word("strike", 0);
    if (c.underline != m_char.underline)
        word(underlineWord(c.underline));
    if (c.verticalAlign != m_char.verticalAlign)
        word(c.verticalAlign == VerticalAlign::Super ? "super"
             : c.verticalAlign == VerticalAlign::Sub ? "sub" : "nosupersub");
    m_char = c;
}

void Writer::word(const char *name)
{
    m_out += '\\';
    m_out += name;
    m_needDelimiter = true;
}

void Writer::word(const char *name, int parameter)
{
    word(name);
    m_out += QByteArray::number(parameter);
}

void Writer::symbol(char c)
{
    m_out += '\\';
    m_out += c;
    m_needDelimiter = false;
}

void Writer::text(QStringView s)
{
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        const char16_t c = s[i].unicode();
        if (c < 0x80) {
            if (c == u'\\' || c == u'{' || c == u'}') {
                symbol(char(c));
            } else if (c == u'\t') {
                word("tab");
            } else if (c >= 0x20) {
                // A space after a control word would be taken as its delimiter.
                if (m_needDelimiter)
                    m_out += ' ';
                m_out += char(c);
                m_needDelimiter = false;
            }
            ++i;
        } else if (isSpecial(c)) {
            if (c == QChar::LineSeparator)
                word("line");
            else
                symbol(c == QChar::Nbsp ? '~' : c == QChar::SoftHyphen ? '-' : '_');
            ++i;
        } else {
            qsizetype j = i;
            while (j < n && s[j].unicode() >= 0x80 && !isSpecial(s[j].unicode()))
                ++j;
            encodedSpan(s.sliced(i, j - i));
            i = j;
        }
    }
}

// Characters above ASCII: GBK bytes, each escaped, where GBK holds the character (checked by
// decoding the bytes again, so nothing is ever replaced); \uN? otherwise.
void Writer::encodedSpan(QStringView span)
{
    const QString whole = span.toString();
    const QByteArray bytes = gbk::encode(whole);
    if (gbk::decode(bytes) == whole) {
        escapedBytes(bytes);
        return;
    }
    qsizetype i = 0;
    while (i < span.size()) {
        const qsizetype length = (span[i].isHighSurrogate() && i + 1 < span.size()
                                  && span[i + 1].isLowSurrogate()) ? 2 : 1;
        const QString one = span.sliced(i, length).toString();
        const QByteArray oneBytes = gbk::encode(one);
        if (gbk::decode(oneBytes) == one) {
            escapedBytes(oneBytes);
        } else {
            for (QChar unit : one) {
                word("u", int(static_cast<qint16>(unit.unicode())));
                m_out += '?';
                m_needDelimiter = false;
            }
        }
        i += length;
    }
}

void Writer::escapedBytes(const QByteArray &bytes)
{
    static const char kHex[] = "0123456789abcdef";
    for (char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        m_out += "\\'";
        m_out += kHex[u >> 4];
        m_out += kHex[u & 0xF];
    }
    m_needDelimiter = false;
}

// A picture as word processors read it: the kind, the size in pixels, the shown size in twips,
// then the file's bytes in hex, in lines of 64 bytes.
void Writer::picture(const Picture &p)
{
    m_out += "{\\pict";
    switch (p.kind) {
    case PictureKind::Png: word("pngblip"); break;
    case PictureKind::Jpeg: word("jpegblip"); break;
    case PictureKind::Emf: word("emfblip"); break;
    case PictureKind::Wmf: word("wmetafile", 8); break;
    case PictureKind::Other: break;
    }
    word("picw", p.width);
    word("pich", p.height);
    word("picwgoal", p.goalWidth);
    word("pichgoal", p.goalHeight);
    static const char kHex[] = "0123456789abcdef";
    const qsizetype n = p.data.size();
    m_out.reserve(m_out.size() + 2 * n + n / 32 + 8);
    for (qsizetype i = 0; i < n; ++i) {
        if (i % 64 == 0)
            m_out += "\r\n";
        const auto u = static_cast<unsigned char>(p.data[i]);
        m_out += kHex[u >> 4];
        m_out += kHex[u & 0xF];
    }
    m_out += "}";
    m_needDelimiter = false;
}

} // namespace

QByteArray writeRtfDocument(const QTextDocument &doc, const QStringList &leadingLines)
{
    return Writer(doc).write(leadingLines);
}

} // namespace richtext
