#include "export/body_files.h"

#include "richtext/pictures.h"

#include <QBuffer>
#include <QImage>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>

#include <algorithm>
#include <optional>

namespace diary_export {

PictureFile pictureFileOf(const QTextDocument &body, const QTextImageFormat &image)
{
    const std::optional<richtext::Picture> picture = richtext::pictureOf(body, image);
    if (picture && picture->kind == richtext::PictureKind::Jpeg)
        return {picture->data, QStringLiteral("image/jpeg"), QStringLiteral("jpg")};
    if (picture && picture->kind == richtext::PictureKind::Png)
        return {picture->data, QStringLiteral("image/png"), QStringLiteral("png")};
    PictureFile file{{}, QStringLiteral("image/png"), QStringLiteral("png")};
    const QImage shown = body.resource(QTextDocument::ImageResource, QUrl(image.name())).value<QImage>();
    QBuffer buffer(&file.data);
    buffer.open(QIODevice::WriteOnly);
    shown.save(&buffer, "PNG");
    return file;
}

namespace {

QString dataUri(const QTextDocument &body, const QTextImageFormat &image)
{
    const PictureFile file = pictureFileOf(body, image);
    return QStringLiteral("data:%1;base64,").arg(file.mime) + QString::fromLatin1(file.data.toBase64());
}

// ---- what the writer knows ----

bool onlyKnown(const QTextFormat &format, std::initializer_list<int> known, bool ownProperties = false)
{
    const QMap<int, QVariant> properties = format.properties();
    for (auto it = properties.keyBegin(); it != properties.keyEnd(); ++it)
        if (std::find(known.begin(), known.end(), *it) == known.end()
            && !(ownProperties && *it >= QTextFormat::UserProperty))
            return false;
    return true;
}

bool solid(const QBrush &brush)
{
    return brush.style() == Qt::SolidPattern && brush.color().alpha() == 255;
}

bool knownCharFormat(const QTextCharFormat &f)
{
    if (f.isImageFormat()) {
        // A picture's own properties (what its bytes are) stay with the entry; HTML has its data.
        return onlyKnown(f, {QTextFormat::ObjectType, QTextFormat::ImageName, QTextFormat::ImageWidth,
                             QTextFormat::ImageHeight}, true);
    }
    if (f.hasProperty(QTextFormat::ForegroundBrush) && !solid(f.foreground()))
        return false;
    if (f.hasProperty(QTextFormat::BackgroundBrush) && !solid(f.background()))
        return false;
    if (f.hasProperty(QTextFormat::TextVerticalAlignment)
        && f.verticalAlignment() != QTextCharFormat::AlignNormal
        && f.verticalAlignment() != QTextCharFormat::AlignSuperScript
        && f.verticalAlignment() != QTextCharFormat::AlignSubScript)
        return false;
    for (const QString &family : f.fontFamilies().toStringList())
        if (family.contains(u'\'') || family.contains(u'"') || family.contains(u'\\'))
            return false;
    return onlyKnown(f, {QTextFormat::FontFamilies, QTextFormat::FontPointSize, QTextFormat::FontPixelSize,
                         QTextFormat::FontWeight, QTextFormat::FontItalic, QTextFormat::FontUnderline,
                         QTextFormat::TextUnderlineStyle, QTextFormat::FontStrikeOut,
                         QTextFormat::ForegroundBrush, QTextFormat::BackgroundBrush,
                         QTextFormat::TextVerticalAlignment});
}

bool knownBlockFormat(const QTextBlockFormat &f)
{
    return onlyKnown(f, {QTextFormat::BlockAlignment, QTextFormat::BlockTopMargin, QTextFormat::BlockBottomMargin,
                         QTextFormat::BlockLeftMargin, QTextFormat::BlockRightMargin, QTextFormat::TextIndent,
                         QTextFormat::BlockIndent, QTextFormat::PageBreakPolicy, QTextFormat::ObjectIndex});
}

bool knownListFormat(const QTextListFormat &f)
{
    return onlyKnown(f, {QTextFormat::ObjectType, QTextFormat::ListStyle, QTextFormat::ListIndent});
}

// Whether every paragraph, list and run of the body is one this writer writes in full: each of
// the document's formats is looked at once, whether or not a run still uses it.
bool writesAlone(const QTextDocument &body)
{
    if (!body.rootFrame()->childFrames().isEmpty())
        return false;   // tables
    for (const QTextFormat &format : body.allFormats()) {
        const bool known = format.isCharFormat()    ? knownCharFormat(format.toCharFormat())
                           : format.isBlockFormat() ? knownBlockFormat(format.toBlockFormat())
                           : format.isListFormat()  ? knownListFormat(format.toListFormat())
                                                    : format.isFrameFormat() && !format.isTableFormat();
        if (!known)
            return false;
    }
    return true;
}

// ---- the writer ----

// How far a browser sets a list in for each level of indent (its own default for one level).
constexpr int kListIndentPixels = 40;

QString number(qreal value)
{
    return QString::number(value, 'g', 6);
}

// A run's format as CSS declarations, each ending in "; ". Only what the format sets is written,
// so a run keeps taking the rest from the document, as it did in the entry.
QString charStyle(const QTextCharFormat &f)
{
    QString css;
    if (f.hasProperty(QTextFormat::FontFamilies)) {
        const QStringList families = f.fontFamilies().toStringList();
        if (!families.isEmpty())
            css += QStringLiteral("font-family:'") + families.join(QStringLiteral("','")) + QStringLiteral("'; ");
    }
    if (f.hasProperty(QTextFormat::FontPointSize))
        css += QStringLiteral("font-size:") + number(f.fontPointSize()) + QStringLiteral("pt; ");
    else if (f.hasProperty(QTextFormat::FontPixelSize))
        css += QStringLiteral("font-size:") + QString::number(f.intProperty(QTextFormat::FontPixelSize))
               + QStringLiteral("px; ");
    if (f.hasProperty(QTextFormat::FontWeight))
        css += QStringLiteral("font-weight:") + QString::number(f.fontWeight()) + QStringLiteral("; ");
    if (f.hasProperty(QTextFormat::FontItalic))
        css += f.fontItalic() ? QStringLiteral("font-style:italic; ") : QStringLiteral("font-style:normal; ");
    if (f.hasProperty(QTextFormat::FontUnderline) || f.hasProperty(QTextFormat::TextUnderlineStyle)
        || f.hasProperty(QTextFormat::FontStrikeOut)) {
        const QTextCharFormat::UnderlineStyle underline = f.underlineStyle();
        const bool underlined = underline != QTextCharFormat::NoUnderline
                                && underline != QTextCharFormat::SpellCheckUnderline;
        if (underlined && f.fontStrikeOut())
            css += QStringLiteral("text-decoration: underline line-through; ");
        else if (underlined)
            css += QStringLiteral("text-decoration: underline; ");
        else if (f.fontStrikeOut())
            css += QStringLiteral("text-decoration: line-through; ");
        else
            css += QStringLiteral("text-decoration: none; ");
    }
    if (f.hasProperty(QTextFormat::ForegroundBrush))
        css += QStringLiteral("color:") + f.foreground().color().name() + QStringLiteral("; ");
    if (f.hasProperty(QTextFormat::BackgroundBrush))
        css += QStringLiteral("background-color:") + f.background().color().name() + QStringLiteral("; ");
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        css += QStringLiteral("vertical-align:super; ");
    else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
        css += QStringLiteral("vertical-align:sub; ");
    return css;
}

// A paragraph's attributes: its alignment, and its margins and indents as CSS. Every margin is
// written, since HTML readers give a paragraph margins of their own where none is said.
QString blockAttributes(const QTextBlockFormat &f)
{
    QString out;
    if (f.hasProperty(QTextFormat::BlockAlignment)) {
        const Qt::Alignment a = f.alignment();
        out += (a & Qt::AlignJustify)   ? QStringLiteral(" align=\"justify\"")
               : (a & Qt::AlignHCenter) ? QStringLiteral(" align=\"center\"")
               : (a & Qt::AlignRight)   ? QStringLiteral(" align=\"right\"")
                                        : QStringLiteral(" align=\"left\"");
    }
    out += QStringLiteral(" style=\"margin-top:") + number(f.topMargin()) + QStringLiteral("px; margin-bottom:")
           + number(f.bottomMargin()) + QStringLiteral("px; margin-left:") + number(f.leftMargin())
           + QStringLiteral("px; margin-right:") + number(f.rightMargin()) + QStringLiteral("px; -qt-block-indent:")
           + QString::number(f.indent()) + QStringLiteral("; text-indent:") + number(f.textIndent())
           + QStringLiteral("px; white-space:pre-wrap; ");
    if (f.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
        out += QStringLiteral("page-break-before:always; ");
    if (f.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysAfter)
        out += QStringLiteral("page-break-after:always; ");
    return out;
}

void appendEscaped(QString &out, QStringView text)
{
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        case u'"': out += QLatin1String("&quot;"); break;
        case QChar::LineSeparator: out += QLatin1String("<br />"); break;
        default: out += c;
        }
    }
}

QString listTag(const QTextListFormat &f, QString *open)
{
    QString type;
    QString tag = QStringLiteral("ul");
    switch (f.style()) {
    case QTextListFormat::ListCircle: type = QStringLiteral("circle"); break;
    case QTextListFormat::ListSquare: type = QStringLiteral("square"); break;
    case QTextListFormat::ListDecimal: type = QStringLiteral("decimal"); tag = QStringLiteral("ol"); break;
    case QTextListFormat::ListLowerAlpha: type = QStringLiteral("lower-alpha"); tag = QStringLiteral("ol"); break;
    case QTextListFormat::ListUpperAlpha: type = QStringLiteral("upper-alpha"); tag = QStringLiteral("ol"); break;
    case QTextListFormat::ListLowerRoman: type = QStringLiteral("lower-roman"); tag = QStringLiteral("ol"); break;
    case QTextListFormat::ListUpperRoman: type = QStringLiteral("upper-roman"); tag = QStringLiteral("ol"); break;
    default: type = QStringLiteral("disc"); break;
    }
    // Browsers know no -qt-list-indent: a deeper list stands further in through its padding.
    const int indent = std::max(1, f.indent());
    *open = u'<' + tag + QStringLiteral(" style=\"list-style-type:") + type
            + QStringLiteral("; margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; padding-left:")
            + QString::number(kListIndentPixels * indent) + QStringLiteral("px; -qt-list-indent:")
            + QString::number(indent) + QStringLiteral(";\">");
    return tag;
}

class HtmlBody
{
public:
    explicit HtmlBody(const QTextDocument &body) : m_body(body) {}

    QString write()
    {
        m_out.reserve(m_body.characterCount() * 2 + 256);
        const QTextList *openList = nullptr;
        QString listClose;
        for (QTextBlock block = m_body.begin(); block.isValid(); block = block.next()) {
            const QTextList *list = block.textList();
            if (list != openList && openList) {
                m_out += listClose;
                openList = nullptr;
            }
            if (list && list != openList) {
                QString open;
                listClose = QStringLiteral("</") + listTag(list->format(), &open) + QStringLiteral(">\n");
                m_out += open;
                openList = list;
            }
            paragraph(block, list ? QStringLiteral("li") : QStringLiteral("p"));
        }
        if (openList)
            m_out += listClose;
        return m_out;
    }

private:
    void paragraph(const QTextBlock &block, const QString &tag)
    {
        auto attributes = m_blocks.constFind(block.blockFormatIndex());
        if (attributes == m_blocks.constEnd())
            attributes = m_blocks.insert(block.blockFormatIndex(), blockAttributes(block.blockFormat()));
        m_out += u'<';
        m_out += tag;
        m_out += *attributes;
        const bool empty = block.begin().atEnd();
        if (empty) {
            // An empty paragraph's size and font are its own format's, kept on the paragraph.
            m_out += QStringLiteral("-qt-paragraph-type:empty; ") + charStyle(block.charFormat());
        }
        m_out += QStringLiteral("\">");
        if (empty)
            m_out += QStringLiteral("<br />");
        for (auto it = block.begin(); !it.atEnd(); ++it)
            fragment(it.fragment());
        m_out += QLatin1String("</");
        m_out += tag;
        m_out += QLatin1String(">\n");
    }

    void fragment(const QTextFragment &fragment)
    {
        const QTextCharFormat format = fragment.charFormat();
        if (format.isImageFormat()) {
            const QTextImageFormat image = format.toImageFormat();
            QString &uri = m_pictures[image.name()];
            if (uri.isEmpty())
                uri = dataUri(m_body, image);
            const int count = fragment.length();   // one image per object character
            for (int i = 0; i < count; ++i) {
                m_out += QStringLiteral("<img src=\"") + uri + u'"';
                if (image.hasProperty(QTextFormat::ImageWidth))
                    m_out += QStringLiteral(" width=\"") + number(image.width()) + u'"';
                if (image.hasProperty(QTextFormat::ImageHeight))
                    m_out += QStringLiteral(" height=\"") + number(image.height()) + u'"';
                m_out += QStringLiteral(" />");
            }
            return;
        }
        auto style = m_styles.constFind(fragment.charFormatIndex());
        if (style == m_styles.constEnd())
            style = m_styles.insert(fragment.charFormatIndex(), charStyle(format));
        if (style->isEmpty()) {
            appendEscaped(m_out, fragment.text());
            return;
        }
        m_out += QLatin1String("<span style=\"");
        m_out += *style;
        m_out += QLatin1String("\">");
        appendEscaped(m_out, fragment.text());
        m_out += QLatin1String("</span>");
    }

    const QTextDocument &m_body;
    QString m_out;
    QHash<int, QString> m_styles;        // runs' styles by the document's format index
    QHash<int, QString> m_blocks;        // paragraphs' attributes by the same
    QHash<QString, QString> m_pictures;  // data: URIs by image name
};

// QTextDocument::toHtml's body, its pictures made data: URIs and its paragraphs' blanks kept.
QString qtHtmlBodyOf(const QTextDocument &body)
{
    const QString html = body.toHtml();
    const qsizetype open = html.indexOf(QLatin1String("<body"));
    const qsizetype start = open < 0 ? -1 : html.indexOf(QLatin1Char('>'), open);
    const qsizetype end = html.lastIndexOf(QLatin1String("</body>"));
    QString inner = start < 0 || end < start ? html : html.mid(start + 1, end - start - 1);

    QSet<QString> done;
    for (QTextBlock block = body.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            const QTextImageFormat image = format.toImageFormat();
            if (done.contains(image.name()))
                continue;
            done.insert(image.name());
            inner.replace(QStringLiteral("src=\"%1\"").arg(image.name().toHtmlEscaped()),
                          QStringLiteral("src=\"%1\"").arg(dataUri(body, image)));
        }
    }
    return inner;
}

} // namespace

QString htmlBodyOf(const QTextDocument &body)
{
    // Written here for speed (toHtml was a third of an export's time) wherever the body holds
    // only what this writer knows; the rest goes through Qt's own writer.
    if (!writesAlone(body))
        return qtHtmlBodyOf(body);
    return HtmlBody(body).write();
}

} // namespace diary_export
