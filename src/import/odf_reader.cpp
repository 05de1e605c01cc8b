// ODF text documents (.odt): LibreOffice's, and this program's ODF export.
#include "import/office_html.h"

#include "import/input_file.h"
#include "import/messages.h"

#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace diary_import {

namespace {

const QString kOffice = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString kStyle = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
const QString kText = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString kTable = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString kDraw = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:drawing:1.0");
const QString kFo = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0");
const QString kSvg = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0");
const QString kXlink = QStringLiteral("http://www.w3.org/1999/xlink");

// Elements nested deeper than this make the document unreadable: real documents nest a few
// dozen levels.
constexpr int kMaxDepth = 512;
// The most spaces one text:s stands for.
constexpr int kMaxSpaces = 1000;
// Style chains longer than this are cut (a loop of parents among them).
constexpr int kMaxStyleChain = 32;

bool is(const QXmlStreamReader &xml, const QString &ns, QLatin1String name)
{
    return xml.name() == name && xml.namespaceUri() == ns;
}

QString attr(const QXmlStreamReader &xml, const QString &ns, QLatin1String name)
{
    return xml.attributes().value(ns, name).toString();
}

std::optional<bool> weightOf(const QString &value)
{
    if (value.isEmpty())
        return std::nullopt;
    if (value == u"bold")
        return true;
    if (value == u"normal")
        return false;
    bool ok = false;
    const int weight = value.toInt(&ok);
    return ok ? std::optional<bool>(weight >= 600) : std::nullopt;
}

std::optional<bool> lineOf(const QString &style)
{
    if (style.isEmpty())
        return std::nullopt;
    return style != u"none";
}

// A length as pixels at 96 per inch; 0 when it is none.
double pixelsOf(const QString &length)
{
    static const QRegularExpression form(QStringLiteral("^\\s*([0-9.]+)\\s*(cm|mm|in|pt|pc|px)?\\s*$"));
    const QRegularExpressionMatch m = form.match(length);
    if (!m.hasMatch())
        return 0;
    const double v = m.captured(1).toDouble();
    const QString unit = m.captured(2);
    if (unit == u"cm")
        return v * 96 / 2.54;
    if (unit == u"mm")
        return v * 96 / 25.4;
    if (unit == u"in")
        return v * 96;
    if (unit == u"pt")
        return v * 96 / 72;
    if (unit == u"pc")
        return v * 16;
    return v;
}

RunStyle runOf(const QXmlStreamReader &xml)
{
    RunStyle s;
    auto either = [&](QLatin1String latin, QLatin1String asian) {
        const QString v = attr(xml, kFo, latin);
        return v.isEmpty() ? attr(xml, kStyle, asian) : v;
    };
    s.bold = weightOf(either(QLatin1String("font-weight"), QLatin1String("font-weight-asian")));
    const QString slant = either(QLatin1String("font-style"), QLatin1String("font-style-asian"));
    if (!slant.isEmpty())
        s.italic = slant == u"italic" || slant == u"oblique";
    // A line is drawn when its style or its type (as Qt writes it) says so.
    auto line = [&](QLatin1String style, QLatin1String type) {
        const std::optional<bool> byStyle = lineOf(attr(xml, kStyle, style));
        return byStyle ? byStyle : lineOf(attr(xml, kStyle, type));
    };
    s.underline = line(QLatin1String("text-underline-style"), QLatin1String("text-underline-type"));
    s.strike = line(QLatin1String("text-line-through-style"), QLatin1String("text-line-through-type"));
    const QString color = attr(xml, kFo, QLatin1String("color"));
    if (QRegularExpression(QStringLiteral("^#[0-9A-Fa-f]{6}$")).match(color).hasMatch())
        s.color = color;
    const QString size = either(QLatin1String("font-size"), QLatin1String("font-size-asian"));
    if (size.endsWith(QLatin1String("pt")))
        s.points = qBound(0.0, size.chopped(2).toDouble(), 400.0);
    s.family = attr(xml, kStyle, QLatin1String("font-name"));
    if (s.family.isEmpty())
        s.family = attr(xml, kFo, QLatin1String("font-family"));
    return s;
}

QString alignOf(const QString &value)
{
    if (value == u"center")
        return QStringLiteral("center");
    if (value == u"end" || value == u"right")
        return QStringLiteral("right");
    if (value == u"justify")
        return QStringLiteral("justify");
    if (value == u"start" || value == u"left")
        return QStringLiteral("left");
    return QString();
}

struct Style {
    QString parent;
    ParagraphStyle paragraph;    // for text styles only paragraph.run is used
};

// Styles and list styles of styles.xml and content.xml.
struct Styles {
    QHash<QString, Style> byName;                 // family-qualified: "paragraph/P1"
    QHash<QString, QHash<int, bool>> listOrdered; // list style -> level -> numbered

    ParagraphStyle resolve(const QString &family, const QString &name) const
    {
        ParagraphStyle s;
        QString at = name;
        for (int i = 0; i < kMaxStyleChain && !at.isEmpty(); ++i) {
            const auto found = byName.constFind(family + u'/' + at);
            if (found == byName.constEnd())
                break;
            s = ParagraphStyle{s.align.isEmpty() ? found->paragraph.align : s.align,
                               s.heading > 0 ? s.heading : found->paragraph.heading,
                               s.run.over(found->paragraph.run)};
            at = found->parent;
        }
        return s;
    }
};

// Reads the style definitions of a styles.xml or content.xml into styles.
void readStyles(QXmlStreamReader &xml, Styles &styles)
{
    Style *current = nullptr;
    QString listStyle;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && is(xml, kOffice, QLatin1String("automatic-styles")))
            current = nullptr;
        if (xml.isStartElement() && is(xml, kOffice, QLatin1String("body")))
            return;
        if (!xml.isStartElement())
            continue;
        if (is(xml, kStyle, QLatin1String("style"))) {
            const QString key = attr(xml, kStyle, QLatin1String("family")) + u'/' + attr(xml, kStyle, QLatin1String("name"));
            current = &styles.byName[key];
            *current = Style();
            current->parent = attr(xml, kStyle, QLatin1String("parent-style-name"));
            const QString outline = attr(xml, kStyle, QLatin1String("default-outline-level"));
            if (!outline.isEmpty())
                current->paragraph.heading = qBound(1, outline.toInt(), 6);
        } else if (current && is(xml, kStyle, QLatin1String("text-properties"))) {
            current->paragraph.run = runOf(xml);
        } else if (current && is(xml, kStyle, QLatin1String("paragraph-properties"))) {
            current->paragraph.align = alignOf(attr(xml, kFo, QLatin1String("text-align")));
        } else if (is(xml, kText, QLatin1String("list-style"))) {
            listStyle = attr(xml, kStyle, QLatin1String("name"));
        } else if (is(xml, kText, QLatin1String("list-level-style-number"))
                   || is(xml, kText, QLatin1String("list-level-style-bullet"))) {
            styles.listOrdered[listStyle].insert(attr(xml, kText, QLatin1String("level")).toInt(),
                                                 xml.name() == QLatin1String("list-level-style-number"));
        }
    }
}

QString xmlError(const QXmlStreamReader &xml, const QString &file)
{
    return import_text::badXml(file, int(xml.lineNumber()), int(xml.columnNumber()), xml.errorString());
}

// Walks office:body into html.
class BodyReader
{
public:
    BodyReader(QXmlStreamReader &xml, const Styles &styles, const Package &package, OfficeDocument &out)
        : m_xml(xml), m_styles(styles), m_package(package), m_out(out)
    {
    }

    // False with *refusal set when the XML breaks or nests too deep.
    bool read(QString *refusal);

private:
    enum class End { Nothing, Paragraph, Run, List, Table, Row, Cell, Frame };

    void start(std::vector<End> &ends);
    void picture();
    QString text(QStringView raw) const;

    QXmlStreamReader &m_xml;
    const Styles &m_styles;
    const Package &m_package;
    OfficeDocument &m_out;
    OfficeHtml m_html;
    std::vector<RunStyle> m_runs{RunStyle()};
    std::vector<QString> m_lists;        // the list style of each open list ("" inherits)
    double m_frameWidth = 0;
    double m_frameHeight = 0;
    int m_paragraphs = 0;                // paragraphs open
};

QString BodyReader::text(QStringView raw) const
{
    QString out;
    out.reserve(raw.size());
    bool blank = false;
    for (QChar c : raw) {
        const bool space = c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
        if (space && blank)
            continue;
        out += space ? QChar(u' ') : c;
        blank = space;
    }
    return out;
}

void BodyReader::picture()
{
    const QString href = attr(m_xml, kXlink, QLatin1String("href"));
    if (href.isEmpty() || href.contains(QLatin1String("://")))
        return;
    const QString name = href.startsWith(QLatin1String("./")) ? href.mid(2) : href;
    if (!m_out.pictures.contains(name)) {
        QString why;
        // A picture missing from the package is named by the entry that shows it.
        m_out.pictures.insert(name, m_package.read(name, &why, kMaxFileSize).value_or(QByteArray()));
    }
    m_html.picture(name, m_frameWidth, m_frameHeight);
}

void BodyReader::start(std::vector<End> &ends)
{
    End end = End::Nothing;
    if (is(m_xml, kText, QLatin1String("p")) || is(m_xml, kText, QLatin1String("h"))) {
        ParagraphStyle style = m_styles.resolve(QStringLiteral("paragraph"), attr(m_xml, kText, QLatin1String("style-name")));
        if (m_xml.name() == QLatin1String("h")) {
            const QString level = attr(m_xml, kText, QLatin1String("outline-level"));
            style.heading = qBound(1, level.isEmpty() ? 1 : level.toInt(), 6);
        }
        int level = 0;
        bool ordered = false;
        if (!m_lists.empty()) {
            level = int(m_lists.size());
            QString listStyle;
            for (auto it = m_lists.rbegin(); it != m_lists.rend() && listStyle.isEmpty(); ++it)
                listStyle = *it;
            ordered = m_styles.listOrdered.value(listStyle).value(level, false);
            style.heading = 0;
        }
        m_html.beginParagraph(style, level, ordered);
        m_runs.push_back(style.run.over(m_runs.back()));
        ++m_paragraphs;
        end = End::Paragraph;
    } else if (is(m_xml, kText, QLatin1String("span"))) {
        const ParagraphStyle style = m_styles.resolve(QStringLiteral("text"), attr(m_xml, kText, QLatin1String("style-name")));
        m_runs.push_back(style.run.over(m_runs.back()));
        end = End::Run;
    } else if (is(m_xml, kText, QLatin1String("s"))) {
        const QString count = attr(m_xml, kText, QLatin1String("c"));
        m_html.text(QString(qBound(1, count.isEmpty() ? 1 : count.toInt(), kMaxSpaces), u' '), m_runs.back());
    } else if (is(m_xml, kText, QLatin1String("tab"))) {
        m_html.text(QStringLiteral("\t"), m_runs.back());
    } else if (is(m_xml, kText, QLatin1String("line-break"))) {
        m_html.lineBreak();
    } else if (is(m_xml, kText, QLatin1String("list"))) {
        m_lists.push_back(attr(m_xml, kText, QLatin1String("style-name")));
        end = End::List;
    } else if (is(m_xml, kTable, QLatin1String("table"))) {
        m_html.beginTable();
        end = End::Table;
    } else if (is(m_xml, kTable, QLatin1String("table-row"))) {
        m_html.beginRow();
        end = End::Row;
    } else if (is(m_xml, kTable, QLatin1String("table-cell"))) {
        m_html.beginCell(attr(m_xml, kTable, QLatin1String("number-columns-spanned")).toInt(),
                         attr(m_xml, kTable, QLatin1String("number-rows-spanned")).toInt());
        // A cell's lists are its own (read() keeps those around it).
        m_lists.clear();
        end = End::Cell;
    } else if (is(m_xml, kDraw, QLatin1String("frame"))) {
        m_frameWidth = pixelsOf(attr(m_xml, kSvg, QLatin1String("width")));
        m_frameHeight = pixelsOf(attr(m_xml, kSvg, QLatin1String("height")));
        end = End::Frame;
    } else if (is(m_xml, kDraw, QLatin1String("image"))) {
        picture();
    } else if (is(m_xml, kTable, QLatin1String("covered-table-cell")) || is(m_xml, kTable, QLatin1String("table-column"))
               || is(m_xml, kOffice, QLatin1String("annotation")) || is(m_xml, kText, QLatin1String("tracked-changes"))
               || is(m_xml, kText, QLatin1String("sequence-decls")) || is(m_xml, kText, QLatin1String("variable-decls"))
               || is(m_xml, kOffice, QLatin1String("forms")) || is(m_xml, kText, QLatin1String("table-of-content-source"))
               || is(m_xml, kDraw, QLatin1String("object")) || is(m_xml, kSvg, QLatin1String("desc"))
               || is(m_xml, kSvg, QLatin1String("title"))) {
        m_xml.skipCurrentElement();
        return;
    }
    ends.push_back(end);
}

bool BodyReader::read(QString *refusal)
{
    std::vector<End> ends;
    std::vector<std::vector<QString>> cellLists;
    while (!m_xml.atEnd()) {
        m_xml.readNext();
        if (m_xml.isStartElement()) {
            if (ends.size() >= size_t(kMaxDepth)) {
                *refusal = import_text::badXml(QStringLiteral("content.xml"), int(m_xml.lineNumber()),
                                               int(m_xml.columnNumber()), QStringLiteral("嵌套太深"));
                return false;
            }
            const bool cell = is(m_xml, kTable, QLatin1String("table-cell"));
            if (cell)
                cellLists.push_back(m_lists);
            start(ends);
        } else if (m_xml.isEndElement()) {
            if (ends.empty())
                break;   // the end of office:text
            const End end = ends.back();
            ends.pop_back();
            switch (end) {
            case End::Paragraph:
                m_html.endParagraph();
                m_runs.pop_back();
                --m_paragraphs;
                break;
            case End::Run:
                m_runs.pop_back();
                break;
            case End::List:
                if (!m_lists.empty())
                    m_lists.pop_back();
                break;
            case End::Table:
                m_html.endTable();
                break;
            case End::Row:
                m_html.endRow();
                break;
            case End::Cell:
                m_html.endCell();
                if (!cellLists.empty()) {
                    m_lists = cellLists.back();
                    cellLists.pop_back();
                }
                break;
            case End::Frame:
                m_frameWidth = m_frameHeight = 0;
                break;
            case End::Nothing:
                break;
            }
        } else if (m_xml.isCharacters() && m_paragraphs > 0) {
            // Blanks between elements are text inside a paragraph, unless they break the line:
            // then they are the indentation of a writer that lays its XML out (as Qt's does).
            if (!m_xml.isWhitespace()
                || ((ends.back() == End::Run || ends.back() == End::Paragraph) && !m_xml.text().contains(u'\n')))
                m_html.text(text(m_xml.text()), m_runs.back());
        }
    }
    if (m_xml.hasError()) {
        *refusal = xmlError(m_xml, QStringLiteral("content.xml"));
        return false;
    }
    m_out.blocks = m_html.finish();
    return true;
}

} // namespace

std::optional<OfficeDocument> readOdf(const Package &package, QString *refusal)
{
    QString why;
    if (package.contains(QStringLiteral("mimetype"))) {
        const QByteArray type = package.read(QStringLiteral("mimetype"), &why, 1024).value_or(QByteArray()).trimmed();
        if (!type.startsWith("application/vnd.oasis.opendocument.text")) {
            *refusal = import_text::notADocument(QStringLiteral("content.xml"));
            return std::nullopt;
        }
    }
    if (package.read(QStringLiteral("META-INF/manifest.xml"), &why, kMaxFileSize)
            .value_or(QByteArray())
            .contains("encryption-data")) {
        *refusal = import_text::encryptedDocument();
        return std::nullopt;
    }
    if (!package.contains(QStringLiteral("content.xml"))) {
        *refusal = import_text::notADocument(QStringLiteral("content.xml"));
        return std::nullopt;
    }
    Styles styles;
    if (const std::optional<QByteArray> bytes = package.read(QStringLiteral("styles.xml"), &why, kMaxFileSize)) {
        QXmlStreamReader xml(*bytes);
        readStyles(xml, styles);
        if (xml.hasError()) {
            *refusal = xmlError(xml, QStringLiteral("styles.xml"));
            return std::nullopt;
        }
    }
    const std::optional<QByteArray> content = package.read(QStringLiteral("content.xml"), &why, kMaxFileSize);
    if (!content) {
        *refusal = why;
        return std::nullopt;
    }
    QXmlStreamReader xml(*content);
    readStyles(xml, styles);
    // Up to the text of the body.
    while (!xml.atEnd() && !(xml.isStartElement() && is(xml, kOffice, QLatin1String("text"))))
        xml.readNext();
    OfficeDocument document;
    if (xml.hasError() || xml.atEnd()) {
        *refusal = xml.hasError() ? xmlError(xml, QStringLiteral("content.xml"))
                                  : import_text::notADocument(QStringLiteral("office:text"));
        return std::nullopt;
    }
    BodyReader body(xml, styles, package, document);
    if (!body.read(refusal))
        return std::nullopt;
    return document;
}

} // namespace diary_import
