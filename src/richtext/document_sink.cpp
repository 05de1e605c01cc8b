#include "document_sink.h"

#include "format_mapping.h"
#include "pictures.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

namespace richtext {

namespace {

// Every item added to a list makes the document revisit all items of that list, so one list of
// n items costs n squared. Beyond this many items a list goes on as a new list of the same
// format: no diary needs more, and hostile input cannot stall the reader.
constexpr int kMaxListItems = 256;

} // namespace

QTextCharFormat toCharFormat(const RunFormat &r)
{
    QTextCharFormat f;
    if (!r.family.isEmpty())
        f.setFontFamilies({r.family});
    f.setFontPointSize(r.halfPoints / 2.0);
    if (r.bold)
        f.setFontWeight(QFont::Bold);
    if (r.italic)
        f.setFontItalic(true);
    if (r.strike)
        f.setFontStrikeOut(true);
    if (r.underline != Underline::None)
        f.setUnderlineStyle(toQt(r.underline));
    if (r.color.isValid())
        f.setForeground(r.color);
    if (r.background.isValid())
        f.setBackground(r.background);
    if (r.verticalAlign == VerticalAlign::Super)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (r.verticalAlign == VerticalAlign::Sub)
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    return f;
}

QTextBlockFormat toBlockFormat(const ParaFormat &p)
{
    QTextBlockFormat f;
    if (p.alignment != Alignment::Left)
        f.setAlignment(toQt(p.alignment));
    // A list supplies its own indent; the paragraph's left and first-line indents only place
    // the bullet.
    if (p.list == ListStyle::None) {
        if (p.leftIndent)
            f.setLeftMargin(twipsToPixels(p.leftIndent));
        if (p.firstIndent)
            f.setTextIndent(twipsToPixels(p.firstIndent));
    }
    if (p.rightIndent)
        f.setRightMargin(twipsToPixels(p.rightIndent));
    if (p.spaceBefore)
        f.setTopMargin(twipsToPixels(p.spaceBefore));
    if (p.spaceAfter)
        f.setBottomMargin(twipsToPixels(p.spaceAfter));
    if (p.pageBreakBefore)
        f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    return f;
}

DocumentSink::DocumentSink(QTextDocument &doc) : m_cursor(&doc)
{
    m_cursor.beginEditBlock();
}

DocumentSink::~DocumentSink()
{
    m_cursor.endEditBlock();
}

const QTextCharFormat &DocumentSink::charFormat(const RunFormat &format)
{
    if (!m_haveLast || !(format == m_lastRun)) {
        m_lastRun = format;
        m_lastFormat = toCharFormat(format);
        m_haveLast = true;
    }
    return m_lastFormat;
}

void DocumentSink::startBlockIfNeeded()
{
    if (m_blockEnded) {
        m_cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        m_blockEnded = false;
    }
}

void DocumentSink::text(const QString &text, const RunFormat &format)
{
    startBlockIfNeeded();
    m_cursor.insertText(text, charFormat(format));
}

void DocumentSink::picture(const Picture &picture, const RunFormat &)
{
    startBlockIfNeeded();
    m_cursor.insertImage(addPicture(*m_cursor.document(), picture));
}

void DocumentSink::table(const Table &table)
{
    insertTable(table);
}

// The table goes after the paragraph that has ended (or into the empty paragraph the cursor is
// in, which the document then keeps in front of it); what follows goes into the paragraph the
// document keeps after it.
void DocumentSink::insertTable(const Table &table)
{
    const int rows = int(table.rows.size());
    const int columns = int(table.columnWidths.size());
    if (rows == 0 || columns == 0)
        return;
    QTextTableFormat format;
    QList<QTextLength> widths;
    for (int w : table.columnWidths)
        widths.append(QTextLength(QTextLength::FixedLength, twipsToPixels(w)));
    format.setColumnWidthConstraints(widths);
    format.setCellSpacing(0);
    format.setCellPadding(4);
    format.setBorderCollapse(true);
    format.setBorder(table.borders ? 1 : 0);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setBorderBrush(QBrush(Qt::black));
    QTextTable *t = m_cursor.insertTable(rows, columns, format);
    for (int r = 0; r < rows; ++r)
        for (const TableCell &cell : table.rows[size_t(r)].cells)
            if (cell.rowSpan > 1 || cell.columnSpan > 1)
                t->mergeCells(r, cell.column, cell.rowSpan, cell.columnSpan);
    for (int r = 0; r < rows; ++r) {
        for (const TableCell &cell : table.rows[size_t(r)].cells) {
            QTextTableCell target = t->cellAt(r, cell.column);
            m_cursor.setPosition(target.firstPosition());
            m_blockEnded = false;
            replay(cell.content);
            if (cell.background.isValid()) {
                target = t->cellAt(r, cell.column);
                QTextTableCellFormat cellFormat = target.format().toTableCellFormat();
                cellFormat.setBackground(cell.background);
                target.setFormat(cellFormat);
            }
        }
    }
    m_cursor.setPosition(t->lastPosition() + 1);
    m_blockEnded = false;
}

void DocumentSink::replay(const std::vector<TableItem> &content)
{
    for (const TableItem &item : content) {
        switch (item.kind) {
        case TableItem::Text: text(item.text, item.format); break;
        case TableItem::Image: picture(item.picture, item.format); break;
        case TableItem::ParagraphEnd: endParagraph(item.para, item.format); break;
        case TableItem::NestedTable: insertTable(*item.table); break;
        }
    }
}

void DocumentSink::endParagraph(const ParaFormat &format, const RunFormat &mark)
{
    startBlockIfNeeded();
    // Blocks start with the default format; most paragraphs keep it.
    if (!(format == ParaFormat()))
        m_cursor.setBlockFormat(toBlockFormat(format));
    // The format of the paragraph mark is what an empty paragraph is typed in; in a paragraph
    // with text, the text's own formats are used. A list's bullet is drawn in the format of the
    // paragraph mark too: without it a reopened list's bullets took the document's default size
    // and stood higher than the bullets typed beside them.
    // (Merged, not set: in a table cell's first block this format also holds the cell's own.)
    if (m_cursor.block().length() == 1 || format.list != ListStyle::None)
        m_cursor.mergeBlockCharFormat(charFormat(mark));
    joinList(format);
    m_blockEnded = true;
}

void DocumentSink::joinList(const ParaFormat &format)
{
    if (format.list == ListStyle::None) {
        ++m_bulletRun;
        return;
    }
    const auto key = std::make_tuple(format.listId, format.listLevel, int(format.list),
                                     format.listId == 0 ? m_bulletRun : 0);
    auto it = m_lists.find(key);
    if (it != m_lists.end() && it->second->count() < kMaxListItems) {
        it->second->add(m_cursor.block());
        return;
    }
    QTextListFormat listFormat;
    listFormat.setStyle(toQt(format.list));
    listFormat.setIndent(format.listLevel + 1);
    m_lists.insert_or_assign(key, m_cursor.createList(listFormat));
}

} // namespace richtext
