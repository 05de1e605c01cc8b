// Office Open XML documents (.docx): Word's and LibreOffice's.
#include "import/office_html.h"

#include "import/input_file.h"
#include "import/messages.h"

#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace diary_import {

namespace {

// Word's transitional namespaces, and the strict ones some writers use.
bool isWordNs(QStringView ns)
{
    return ns == u"http://schemas.openxmlformats.org/wordprocessingml/2006/main"
           || ns == u"http://purl.oclc.org/ooxml/wordprocessingml/main";
}
bool isRelationshipNs(QStringView ns)
{
    return ns == u"http://schemas.openxmlformats.org/officeDocument/2006/relationships"
           || ns == u"http://purl.oclc.org/ooxml/officeDocument/relationships";
}
const QString kMarkup = QStringLiteral("http://schemas.openxmlformats.org/markup-compatibility/2006");
const QString kDrawing = QStringLiteral("http://schemas.openxmlformats.org/drawingml/2006/main");
const QString kWordDrawing = QStringLiteral("http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing");
const QString kVml = QStringLiteral("urn:schemas-microsoft-com:vml");

// As in the ODF reader: deeper nesting makes a document unreadable; style chains are cut.
constexpr int kMaxDepth = 512;
constexpr int kMaxStyleChain = 32;
// English Metric Units a pixel (at 96 per inch).
constexpr double kEmuPerPixel = 9525;

bool isW(const QXmlStreamReader &xml, QLatin1String name)
{
    return xml.name() == name && isWordNs(xml.namespaceUri());
}

// A w: attribute ("w:val"), in whichever Word namespace the document uses.
QString wAttr(const QXmlStreamReader &xml, QLatin1String name)
{
    for (const QXmlStreamAttribute &a : xml.attributes()) {
        if (a.name() == name && isWordNs(a.namespaceUri()))
            return a.value().toString();
    }
    return QString();
}

QString rAttr(const QXmlStreamReader &xml, QLatin1String name)
{
    for (const QXmlStreamAttribute &a : xml.attributes()) {
        if (a.name() == name && isRelationshipNs(a.namespaceUri()))
            return a.value().toString();
    }
    return QString();
}

// A toggle property (<w:b/>, <w:b w:val="0"/>).
bool toggleOn(const QXmlStreamReader &xml)
{
    const QString v = wAttr(xml, QLatin1String("val"));
    return !(v == u"0" || v == u"false" || v == u"off" || v == u"none");
}

// Reads the children of w:rPr into a run style; leaves the reader at its end.
RunStyle readRunProperties(QXmlStreamReader &xml, QString *characterStyle = nullptr)
{
    RunStyle s;
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement()) {
            --depth;
            continue;
        }
        if (!xml.isStartElement())
            continue;
        ++depth;
        if (isW(xml, QLatin1String("b")))
            s.bold = toggleOn(xml);
        else if (isW(xml, QLatin1String("i")))
            s.italic = toggleOn(xml);
        else if (isW(xml, QLatin1String("u")))
            s.underline = toggleOn(xml);
        else if (isW(xml, QLatin1String("strike")) || isW(xml, QLatin1String("dstrike")))
            s.strike = toggleOn(xml);
        else if (isW(xml, QLatin1String("color"))) {
            const QString v = wAttr(xml, QLatin1String("val"));
            if (QRegularExpression(QStringLiteral("^[0-9A-Fa-f]{6}$")).match(v).hasMatch())
                s.color = u'#' + v.toLower();
        } else if (isW(xml, QLatin1String("sz"))) {
            s.points = qBound(0.0, wAttr(xml, QLatin1String("val")).toDouble() / 2, 400.0);
        } else if (isW(xml, QLatin1String("rFonts"))) {
            for (const char *which : {"ascii", "eastAsia", "hAnsi"}) {
                if (s.family.isEmpty())
                    s.family = wAttr(xml, QLatin1String(which));
            }
        } else if (isW(xml, QLatin1String("rStyle")) && characterStyle) {
            *characterStyle = wAttr(xml, QLatin1String("val"));
        }
    }
    return s;
}

QString alignOf(const QString &jc)
{
    if (jc == u"center")
        return QStringLiteral("center");
    if (jc == u"right" || jc == u"end")
        return QStringLiteral("right");
    if (jc == u"both" || jc == u"distribute")
        return QStringLiteral("justify");
    if (jc == u"left" || jc == u"start")
        return QStringLiteral("left");
    return QString();
}

// A paragraph's own properties (w:pPr), or a style's.
struct ParagraphProperties {
    QString style;               // w:pStyle
    QString align;
    int outline = -1;            // w:outlineLvl, from 0
    QString numId;               // w:numPr; "0" ends a list a style gives
    int level = -1;              // w:ilvl
};

// Reads the children of w:pPr; leaves the reader at its end.
ParagraphProperties readParagraphProperties(QXmlStreamReader &xml)
{
    ParagraphProperties p;
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement()) {
            --depth;
            continue;
        }
        if (!xml.isStartElement())
            continue;
        ++depth;
        if (isW(xml, QLatin1String("pStyle")))
            p.style = wAttr(xml, QLatin1String("val"));
        else if (isW(xml, QLatin1String("jc")))
            p.align = alignOf(wAttr(xml, QLatin1String("val")));
        else if (isW(xml, QLatin1String("outlineLvl")))
            p.outline = wAttr(xml, QLatin1String("val")).toInt();
        else if (isW(xml, QLatin1String("numId")))
            p.numId = wAttr(xml, QLatin1String("val"));
        else if (isW(xml, QLatin1String("ilvl")))
            p.level = wAttr(xml, QLatin1String("val")).toInt();
        else if (isW(xml, QLatin1String("rPr"))) {
            readRunProperties(xml);   // the paragraph mark's: nothing of the text
            --depth;
        }
    }
    return p;
}

struct WordStyle {
    QString basedOn;
    ParagraphProperties paragraph;
    RunStyle run;
    int headingOfName = 0;       // "heading 2" -> 2
};

struct Numbering {
    QHash<QString, QString> abstractOf;            // numId -> abstractNumId
    QHash<QString, QHash<int, bool>> ordered;      // abstractNumId -> level -> numbered

    bool isOrdered(const QString &numId, int level) const
    {
        return ordered.value(abstractOf.value(numId)).value(level, false);
    }
};

struct Parts {
    QHash<QString, WordStyle> styles;   // by styleId
    Numbering numbering;
    QHash<QString, QString> pictures;   // relationship id -> part name
};

QString xmlError(const QXmlStreamReader &xml, const QString &file)
{
    return import_text::badXml(file, int(xml.lineNumber()), int(xml.columnNumber()), xml.errorString());
}

bool readStyles(const QByteArray &bytes, Parts &parts, QString *refusal)
{
    QXmlStreamReader xml(bytes);
    WordStyle *current = nullptr;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (isW(xml, QLatin1String("style"))) {
            current = &parts.styles[wAttr(xml, QLatin1String("styleId"))];
            *current = WordStyle();
        } else if (current && isW(xml, QLatin1String("basedOn"))) {
            current->basedOn = wAttr(xml, QLatin1String("val"));
        } else if (current && isW(xml, QLatin1String("name"))) {
            static const QRegularExpression heading(QStringLiteral("^heading ([1-6])$"), QRegularExpression::CaseInsensitiveOption);
            const QRegularExpressionMatch m = heading.match(wAttr(xml, QLatin1String("val")));
            if (m.hasMatch())
                current->headingOfName = m.captured(1).toInt();
        } else if (current && isW(xml, QLatin1String("pPr"))) {
            current->paragraph = readParagraphProperties(xml);
        } else if (current && isW(xml, QLatin1String("rPr"))) {
            current->run = readRunProperties(xml);
        }
    }
    if (xml.hasError()) {
        *refusal = xmlError(xml, QStringLiteral("word/styles.xml"));
        return false;
    }
    return true;
}

bool readNumbering(const QByteArray &bytes, Numbering &numbering, QString *refusal)
{
    QXmlStreamReader xml(bytes);
    QString abstractId;
    QString numId;
    int level = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (isW(xml, QLatin1String("abstractNum")))
            abstractId = wAttr(xml, QLatin1String("abstractNumId")), numId.clear();
        else if (isW(xml, QLatin1String("num")))
            numId = wAttr(xml, QLatin1String("numId"));
        else if (isW(xml, QLatin1String("abstractNumId")) && !numId.isEmpty())
            numbering.abstractOf.insert(numId, wAttr(xml, QLatin1String("val")));
        else if (isW(xml, QLatin1String("lvl")))
            level = wAttr(xml, QLatin1String("ilvl")).toInt();
        else if (isW(xml, QLatin1String("numFmt")) && numId.isEmpty()) {
            const QString format = wAttr(xml, QLatin1String("val"));
            numbering.ordered[abstractId].insert(level, format != u"bullet" && format != u"none");
        }
    }
    if (xml.hasError()) {
        *refusal = xmlError(xml, QStringLiteral("word/numbering.xml"));
        return false;
    }
    return true;
}

// The relationships of a part: id -> target, made absolute from the part's folder.
QHash<QString, QString> readRelationships(const QByteArray &bytes, const QString &folder, QHash<QString, QString> *types = nullptr)
{
    QHash<QString, QString> targets;
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement() || xml.name() != QLatin1String("Relationship"))
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (a.value(QLatin1String("TargetMode")) == QLatin1String("External"))
            continue;
        QString target = a.value(QLatin1String("Target")).toString();
        target = target.startsWith(u'/') ? target.mid(1) : folder + target;
        // "word/../media/x.png" and the like, resolved.
        QStringList parts;
        for (const QString &part : target.split(u'/')) {
            if (part == u"..") {
                if (!parts.isEmpty())
                    parts.removeLast();
            } else if (part != u"." && !part.isEmpty()) {
                parts.append(part);
            }
        }
        const QString id = a.value(QLatin1String("Id")).toString();
        targets.insert(id, parts.join(u'/'));
        if (types)
            types->insert(id, a.value(QLatin1String("Type")).toString());
    }
    return targets;
}

class BodyReader
{
public:
    BodyReader(QXmlStreamReader &xml, const Parts &parts, const Package &package, OfficeDocument &out)
        : m_xml(xml), m_parts(parts), m_package(package), m_out(out)
    {
    }

    bool read(QString *refusal);

private:
    enum class End { Nothing, Paragraph, Run, Table, Row, Cell };

    ParagraphStyle styleOf(const ParagraphProperties &own, int *listLevel, bool *ordered) const;
    RunStyle runStyleOf(const QString &characterStyle, const RunStyle &own) const;
    void startParagraph();
    void startCell();
    void drawing();
    void picture(const QString &id, double width, double height);

    QXmlStreamReader &m_xml;
    const Parts &m_parts;
    const Package &m_package;
    OfficeDocument &m_out;
    OfficeHtml m_html;
    bool m_pending = false;              // a w:p whose paragraph is not begun yet
    ParagraphProperties m_properties;    // its properties
    RunStyle m_paragraphRun;             // what its style gives its runs
    RunStyle m_run;                      // the run being read
    int m_paragraphs = 0;                // paragraphs begun and open
    bool m_cellPending = false;          // a w:tc whose cell is not begun yet
    int m_cellSpan = 1;                  // its w:gridSpan
};

ParagraphStyle BodyReader::styleOf(const ParagraphProperties &own, int *listLevel, bool *ordered) const
{
    ParagraphStyle style;
    style.align = own.align;
    int outline = own.outline;
    QString numId = own.numId;
    int level = own.level;
    QString at = own.style.isEmpty() ? QStringLiteral("Normal") : own.style;
    for (int i = 0; i < kMaxStyleChain && !at.isEmpty(); ++i) {
        const auto found = m_parts.styles.constFind(at);
        if (found == m_parts.styles.constEnd())
            break;
        if (style.align.isEmpty())
            style.align = found->paragraph.align;
        if (outline < 0)
            outline = found->paragraph.outline;
        if (outline < 0 && found->headingOfName > 0)
            outline = found->headingOfName - 1;
        if (numId.isEmpty())
            numId = found->paragraph.numId;
        if (level < 0)
            level = found->paragraph.level;
        style.run = style.run.over(found->run);
        at = found->basedOn;
    }
    if (outline >= 0 && outline < 6)
        style.heading = outline + 1;
    *listLevel = 0;
    *ordered = false;
    if (!numId.isEmpty() && numId != u"0") {
        *listLevel = qBound(0, level, 8) + 1;
        *ordered = m_parts.numbering.isOrdered(numId, qMax(level, 0));
        style.heading = 0;
    }
    return style;
}

RunStyle BodyReader::runStyleOf(const QString &characterStyle, const RunStyle &own) const
{
    RunStyle style = own;
    QString at = characterStyle;
    for (int i = 0; i < kMaxStyleChain && !at.isEmpty(); ++i) {
        const auto found = m_parts.styles.constFind(at);
        if (found == m_parts.styles.constEnd())
            break;
        style = style.over(found->run);
        at = found->basedOn;
    }
    return style.over(m_paragraphRun);
}

void BodyReader::startParagraph()
{
    if (!m_pending)
        return;
    m_pending = false;
    int level = 0;
    bool ordered = false;
    const ParagraphStyle style = styleOf(m_properties, &level, &ordered);
    m_paragraphRun = style.run;
    m_html.beginParagraph(style, level, ordered);
    ++m_paragraphs;
}

void BodyReader::startCell()
{
    if (!m_cellPending)
        return;
    m_cellPending = false;
    m_html.beginCell(m_cellSpan, 1);
}

void BodyReader::picture(const QString &id, double width, double height)
{
    const QString name = m_parts.pictures.value(id);
    if (name.isEmpty())
        return;
    if (!m_out.pictures.contains(name)) {
        QString why;
        // A picture missing from the package is named by the entry that shows it.
        m_out.pictures.insert(name, m_package.read(name, &why, kMaxFileSize).value_or(QByteArray()));
    }
    m_html.picture(name, width, height);
}

// A w:drawing or w:pict: its pictures, and the text of a text box in it.
void BodyReader::drawing()
{
    double width = 0, height = 0;
    QStringList texts;
    int depth = 1;
    while (depth > 0 && !m_xml.atEnd()) {
        m_xml.readNext();
        if (m_xml.isEndElement()) {
            --depth;
            continue;
        }
        if (m_xml.isCharacters() && depth > 1 && !m_xml.isWhitespace()) {
            texts.append(m_xml.text().toString());
            continue;
        }
        if (!m_xml.isStartElement())
            continue;
        if (++depth > kMaxDepth)
            return;
        const QXmlStreamAttributes a = m_xml.attributes();
        if (m_xml.name() == QLatin1String("extent") && m_xml.namespaceUri() == kWordDrawing) {
            width = a.value(QLatin1String("cx")).toDouble() / kEmuPerPixel;
            height = a.value(QLatin1String("cy")).toDouble() / kEmuPerPixel;
        } else if (m_xml.name() == QLatin1String("blip") && m_xml.namespaceUri() == kDrawing) {
            picture(rAttr(m_xml, QLatin1String("embed")), width, height);
        } else if (m_xml.name() == QLatin1String("imagedata") && m_xml.namespaceUri() == kVml) {
            picture(rAttr(m_xml, QLatin1String("id")), 0, 0);
        } else if (isW(m_xml, QLatin1String("instrText")) || isW(m_xml, QLatin1String("delText"))) {
            m_xml.skipCurrentElement();
            --depth;
        }
    }
    if (!texts.isEmpty())
        m_html.text(u' ' + texts.join(u' '), m_run);
}

bool BodyReader::read(QString *refusal)
{
    std::vector<End> ends;
    while (!m_xml.atEnd()) {
        m_xml.readNext();
        if (m_xml.isEndElement()) {
            if (ends.empty())
                break;   // the end of w:body
            const End end = ends.back();
            ends.pop_back();
            switch (end) {
            case End::Paragraph:
                startParagraph();   // an empty paragraph is one too
                m_html.endParagraph();
                --m_paragraphs;
                break;
            case End::Table:
                m_html.endTable();
                break;
            case End::Row:
                m_html.endRow();
                break;
            case End::Cell:
                startCell();
                m_html.endCell();
                break;
            case End::Run:
            case End::Nothing:
                break;
            }
            continue;
        }
        if (!m_xml.isStartElement())
            continue;
        if (ends.size() >= size_t(kMaxDepth)) {
            *refusal = import_text::badXml(QStringLiteral("word/document.xml"), int(m_xml.lineNumber()),
                                           int(m_xml.columnNumber()), QStringLiteral("嵌套太深"));
            return false;
        }
        // A cell begins with its first child, once its properties (w:tcPr) are known.
        if (!isW(m_xml, QLatin1String("tcPr")))
            startCell();
        End end = End::Nothing;
        if (isW(m_xml, QLatin1String("p"))) {
            if (m_pending)
                startParagraph();   // a paragraph inside one not begun (a text box)
            m_pending = true;
            m_properties = ParagraphProperties();
            end = End::Paragraph;
        } else if (isW(m_xml, QLatin1String("pPr"))) {
            m_properties = readParagraphProperties(m_xml);
            continue;
        } else if (isW(m_xml, QLatin1String("r"))) {
            startParagraph();
            m_run = m_paragraphRun;
            end = End::Run;
        } else if (isW(m_xml, QLatin1String("rPr"))) {
            QString characterStyle;
            const RunStyle own = readRunProperties(m_xml, &characterStyle);
            m_run = runStyleOf(characterStyle, own);
            continue;
        } else if (isW(m_xml, QLatin1String("t"))) {
            startParagraph();
            m_html.text(m_xml.readElementText(QXmlStreamReader::IncludeChildElements), m_run);
            continue;
        } else if (isW(m_xml, QLatin1String("tab"))) {
            if (m_paragraphs > 0 || m_pending) {
                startParagraph();
                m_html.text(QStringLiteral("\t"), m_run);
            }
        } else if (isW(m_xml, QLatin1String("br")) || isW(m_xml, QLatin1String("cr"))) {
            startParagraph();
            if (wAttr(m_xml, QLatin1String("type")) != u"page")
                m_html.lineBreak();
        } else if (isW(m_xml, QLatin1String("noBreakHyphen"))) {
            startParagraph();
            m_html.text(QStringLiteral("-"), m_run);
        } else if (isW(m_xml, QLatin1String("sym"))) {
            startParagraph();
            bool ok = false;
            const uint code = wAttr(m_xml, QLatin1String("char")).toUInt(&ok, 16);
            if (ok && code >= 0x20 && code < 0xD800)
                m_html.text(QString(QChar(char16_t(code))), m_run);
        } else if (isW(m_xml, QLatin1String("drawing")) || isW(m_xml, QLatin1String("pict"))) {
            startParagraph();
            drawing();
            continue;
        } else if (isW(m_xml, QLatin1String("tbl"))) {
            m_html.beginTable();
            end = End::Table;
        } else if (isW(m_xml, QLatin1String("tr"))) {
            m_html.beginRow();
            end = End::Row;
        } else if (isW(m_xml, QLatin1String("tc"))) {
            m_cellPending = true;
            m_cellSpan = 1;
            end = End::Cell;
        } else if (isW(m_xml, QLatin1String("tcPr"))) {
            int depth = 1;
            while (depth > 0 && !m_xml.atEnd()) {
                m_xml.readNext();
                if (m_xml.isStartElement()) {
                    ++depth;
                    if (isW(m_xml, QLatin1String("gridSpan")))
                        m_cellSpan = qBound(1, wAttr(m_xml, QLatin1String("val")).toInt(), 63);
                } else if (m_xml.isEndElement()) {
                    --depth;
                }
            }
            continue;
        } else if (isW(m_xml, QLatin1String("del")) || isW(m_xml, QLatin1String("moveFrom"))
                   || isW(m_xml, QLatin1String("instrText")) || isW(m_xml, QLatin1String("delText"))
                   || isW(m_xml, QLatin1String("sectPr")) || isW(m_xml, QLatin1String("tblPr"))
                   || isW(m_xml, QLatin1String("tblGrid")) || isW(m_xml, QLatin1String("trPr"))
                   || isW(m_xml, QLatin1String("commentReference")) || isW(m_xml, QLatin1String("footnoteReference"))
                   || (m_xml.name() == QLatin1String("Choice") && m_xml.namespaceUri() == kMarkup)) {
            m_xml.skipCurrentElement();
            continue;
        }
        ends.push_back(end);
    }
    if (m_xml.hasError()) {
        *refusal = xmlError(m_xml, QStringLiteral("word/document.xml"));
        return false;
    }
    m_out.blocks = m_html.finish();
    return true;
}

// The folder of a part, with its "/".
QString folderOf(const QString &part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return slash < 0 ? QString() : part.left(slash + 1);
}

QString relationshipsOf(const QString &part)
{
    return folderOf(part) + QStringLiteral("_rels/") + part.mid(folderOf(part).size()) + QStringLiteral(".rels");
}

} // namespace

std::optional<OfficeDocument> readDocx(const Package &package, QString *refusal)
{
    QString why;
    if (package.contains(QStringLiteral("EncryptedPackage"))) {
        *refusal = import_text::encryptedDocument();
        return std::nullopt;
    }
    // The main part, as the package's relationships name it.
    QString main = QStringLiteral("word/document.xml");
    QHash<QString, QString> types;
    if (const auto rels = package.read(QStringLiteral("_rels/.rels"), &why, kMaxFileSize)) {
        const QHash<QString, QString> targets = readRelationships(*rels, QString(), &types);
        for (auto it = types.cbegin(); it != types.cend(); ++it) {
            if (it.value().endsWith(QLatin1String("/officeDocument")))
                main = targets.value(it.key());
        }
    }
    const std::optional<QByteArray> document = package.read(main, &why, kMaxFileSize);
    if (!document) {
        *refusal = package.contains(main) ? why : import_text::notADocument(main);
        return std::nullopt;
    }
    Parts parts;
    QString stylesPart = folderOf(main) + QStringLiteral("styles.xml");
    QString numberingPart = folderOf(main) + QStringLiteral("numbering.xml");
    types.clear();
    if (const auto rels = package.read(relationshipsOf(main), &why, kMaxFileSize)) {
        const QHash<QString, QString> targets = readRelationships(*rels, folderOf(main), &types);
        for (auto it = types.cbegin(); it != types.cend(); ++it) {
            if (it.value().endsWith(QLatin1String("/image")))
                parts.pictures.insert(it.key(), targets.value(it.key()));
            else if (it.value().endsWith(QLatin1String("/styles")))
                stylesPart = targets.value(it.key());
            else if (it.value().endsWith(QLatin1String("/numbering")))
                numberingPart = targets.value(it.key());
        }
    }
    if (const auto styles = package.read(stylesPart, &why, kMaxFileSize); styles && !readStyles(*styles, parts, refusal))
        return std::nullopt;
    if (const auto numbering = package.read(numberingPart, &why, kMaxFileSize);
        numbering && !readNumbering(*numbering, parts.numbering, refusal))
        return std::nullopt;

    QXmlStreamReader xml(*document);
    while (!xml.atEnd() && !(xml.isStartElement() && isW(xml, QLatin1String("body"))))
        xml.readNext();
    if (xml.hasError() || xml.atEnd()) {
        *refusal = xml.hasError() ? xmlError(xml, main) : import_text::notADocument(QStringLiteral("w:body"));
        return std::nullopt;
    }
    OfficeDocument out;
    BodyReader body(xml, parts, package, out);
    if (!body.read(refusal))
        return std::nullopt;
    return out;
}

} // namespace diary_import
