#include "import/office_html.h"

namespace diary_import {

namespace {

template <typename T>
std::optional<T> either(const std::optional<T> &mine, const std::optional<T> &base)
{
    return mine ? mine : base;
}

} // namespace

RunStyle RunStyle::over(const RunStyle &base) const
{
    RunStyle s;
    s.bold = either(bold, base.bold);
    s.italic = either(italic, base.italic);
    s.underline = either(underline, base.underline);
    s.strike = either(strike, base.strike);
    s.color = color.isEmpty() ? base.color : color;
    s.points = points > 0 ? points : base.points;
    s.family = family.isEmpty() ? base.family : family;
    return s;
}

QString RunStyle::css() const
{
    QStringList parts;
    if (bold)
        parts.append(*bold ? QStringLiteral("font-weight:700") : QStringLiteral("font-weight:400"));
    if (italic)
        parts.append(*italic ? QStringLiteral("font-style:italic") : QStringLiteral("font-style:normal"));
    QStringList decoration;
    if (underline.value_or(false))
        decoration.append(QStringLiteral("underline"));
    if (strike.value_or(false))
        decoration.append(QStringLiteral("line-through"));
    if (!decoration.isEmpty())
        parts.append(QStringLiteral("text-decoration:") + decoration.join(u' '));
    if (!color.isEmpty())
        parts.append(QStringLiteral("color:") + color);
    if (points > 0)
        parts.append(QStringLiteral("font-size:%1pt").arg(points));
    if (!family.isEmpty())
        parts.append(QStringLiteral("font-family:'%1'").arg(QString(family).remove(u'\'').remove(u'"').remove(u';')));
    return parts.join(u';');
}

ParagraphStyle ParagraphStyle::over(const ParagraphStyle &base) const
{
    ParagraphStyle s;
    s.align = align.isEmpty() ? base.align : align;
    s.heading = heading > 0 ? heading : base.heading;
    s.run = run.over(base.run);
    return s;
}

QString OfficeHtml::head()
{
    return QStringLiteral("<html><head><meta name=\"qrichtext\" content=\"1\" /><style>p, li, h1, h2, h3, h4, "
                          "h5, h6 { white-space: pre-wrap; margin-top: 0; margin-bottom: 0; }</style></head><body>");
}

void OfficeHtml::closeLists(Frame &frame, int keep)
{
    while (frame.lists.size() > keep) {
        m_html += frame.lists.back().ordered ? QStringLiteral("</ol>") : QStringLiteral("</ul>");
        frame.lists.removeLast();
    }
    if (keep == 0 && !inTable() && m_paragraphDepth == 0 && !m_html.isEmpty())
        topLevelBlock(false);
}

void OfficeHtml::topLevelBlock(bool paragraph)
{
    m_blocks.append({m_html, paragraph ? m_text : QString(), paragraph});
    m_html.clear();
    m_text.clear();
}

void OfficeHtml::beginParagraph(const ParagraphStyle &style, int listLevel, bool ordered)
{
    if (m_paragraphDepth > 0) {
        ++m_paragraphDepth;
        m_html += u' ';
        return;
    }
    Frame &frame = m_frames.back();
    listLevel = qBound(0, listLevel, 9);
    if (listLevel == 0) {
        closeLists(frame, 0);
    } else {
        closeLists(frame, listLevel);
        if (frame.lists.size() == listLevel && frame.lists.back().ordered != ordered)
            closeLists(frame, listLevel - 1);
        while (frame.lists.size() < listLevel) {
            m_html += ordered ? QStringLiteral("<ol>") : QStringLiteral("<ul>");
            frame.lists.append(ListLevel{ordered});
        }
    }
    m_tag = listLevel > 0 ? QStringLiteral("li")
            : style.heading > 0 ? QStringLiteral("h%1").arg(qBound(1, style.heading, 6))
                                : QStringLiteral("p");
    ++m_paragraphDepth;
    m_html += u'<' + m_tag;
    if (!style.align.isEmpty())
        m_html += QStringLiteral(" align=\"%1\"").arg(style.align);
    m_html += u'>';
    m_text.clear();
}

void OfficeHtml::text(const QString &text, const RunStyle &style)
{
    if (text.isEmpty())
        return;
    const QString css = style.css();
    if (css.isEmpty())
        m_html += text.toHtmlEscaped();
    else
        m_html += QStringLiteral("<span style=\"%1\">%2</span>").arg(css, text.toHtmlEscaped());
    m_text += text;
}

void OfficeHtml::lineBreak()
{
    m_html += QStringLiteral("<br />");
    m_text += u' ';
}

void OfficeHtml::picture(const QString &name, double width, double height)
{
    m_html += QStringLiteral("<img src=\"%1\"").arg(name.toHtmlEscaped());
    if (width > 0 && height > 0)
        m_html += QStringLiteral(" width=\"%1\" height=\"%2\"").arg(qRound(width)).arg(qRound(height));
    m_html += QStringLiteral(" />");
    m_text += QChar::ObjectReplacementCharacter;
}

void OfficeHtml::endParagraph()
{
    if (m_paragraphDepth == 0 || --m_paragraphDepth > 0)
        return;
    const bool listItem = m_tag == u"li";
    m_html += QStringLiteral("</%1>").arg(m_tag);
    if (!listItem && !inTable())
        topLevelBlock(true);
}

void OfficeHtml::beginTable()
{
    if (m_tableDepth >= kMaxTableDepth) {
        ++m_ignoredTables;
        return;
    }
    closeLists(m_frames.back(), 0);
    ++m_tableDepth;
    m_html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\">");
}

void OfficeHtml::beginRow()
{
    if (m_ignoredTables == 0)
        m_html += QStringLiteral("<tr>");
}

void OfficeHtml::beginCell(int columns, int rows)
{
    if (m_ignoredTables > 0)
        return;
    m_html += QStringLiteral("<td");
    if (columns > 1)
        m_html += QStringLiteral(" colspan=\"%1\"").arg(columns);
    if (rows > 1)
        m_html += QStringLiteral(" rowspan=\"%1\"").arg(rows);
    m_html += u'>';
    m_frames.append(Frame());
}

void OfficeHtml::endCell()
{
    if (m_ignoredTables > 0 || m_frames.size() < 2)
        return;
    closeLists(m_frames.back(), 0);
    m_frames.removeLast();
    m_html += QStringLiteral("</td>");
}

void OfficeHtml::endRow()
{
    if (m_ignoredTables == 0)
        m_html += QStringLiteral("</tr>");
}

void OfficeHtml::endTable()
{
    if (m_ignoredTables > 0) {
        --m_ignoredTables;
        return;
    }
    if (m_tableDepth == 0)
        return;
    --m_tableDepth;
    m_html += QStringLiteral("</table>");
    if (!inTable())
        topLevelBlock(false);
}

QList<OfficeDocument::Block> OfficeHtml::finish()
{
    while (m_paragraphDepth > 0)
        endParagraph();
    while (m_frames.size() > 1)
        endCell();
    while (m_tableDepth > 0) {
        endRow();
        endTable();
    }
    closeLists(m_frames.back(), 0);
    if (!m_html.isEmpty())
        topLevelBlock(false);
    return m_blocks;
}

} // namespace diary_import
