#include "tables.h"

#include "rtf_sink.h"

#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <algorithm>
#include <map>
#include <set>

namespace richtext {

namespace {

bool isEmptyParagraphEnd(const std::vector<TableItem> &content, size_t i)
{
    if (content[i].kind != TableItem::ParagraphEnd)
        return false;
    return i == 0 || content[i - 1].kind == TableItem::ParagraphEnd
           || content[i - 1].kind == TableItem::NestedTable;
}

bool hasText(const std::vector<TableItem> &content)
{
    return std::any_of(content.begin(), content.end(), [](const TableItem &item) {
        return item.kind != TableItem::ParagraphEnd;
    }) || content.size() > 1;
}

void append(std::vector<TableItem> &to, std::vector<TableItem> &&from)
{
    for (TableItem &item : from)
        to.push_back(std::move(item));
}

// A cell of one row after its horizontal merges, with its boundaries.
struct PlacedCell {
    int left = 0;
    int right = 0;
    const CellDefinition *definition = nullptr;
    std::vector<TableItem> content;
};

std::vector<PlacedCell> placeCells(ReadRow &row)
{
    static const CellDefinition kNoDefinition;
    const std::vector<CellDefinition> &defs = row.definition.cells;
    size_t count = row.cells.size();
    while (count > defs.size() && !hasText(row.cells[count - 1]))
        --count;
    count = std::max(count, defs.size());
    row.cells.resize(count);

    std::vector<PlacedCell> placed;
    int edge = std::clamp(row.definition.left, -kMaxCellBoundary, kMaxCellBoundary);
    for (size_t i = 0; i < count; ++i) {
        const CellDefinition *def = i < defs.size() ? &defs[i] : &kNoDefinition;
        int right = i < defs.size() ? std::min(def->right, kMaxCellBoundary) : edge;
        if (right <= edge)
            right = edge + kDefaultCellWidth;
        const bool joins = def->merge && !placed.empty();
        if (joins || placed.size() == size_t(kMaxTableColumns)) {
            PlacedCell &last = placed.back();
            if (joins)
                last.right = right;
            append(last.content, std::move(row.cells[i]));
        } else {
            placed.push_back(PlacedCell{edge, right, def, std::move(row.cells[i])});
        }
        edge = right;
    }
    return placed;
}

// Lines of a frame's content: blocks and tables, leaving out the empty paragraph a document
// keeps at the start or end of a frame next to a table.
void frameLines(QTextFrame::iterator it, QStringList &out);

QStringList cellText(const QTextTableCell &cell)
{
    QStringList lines;
    frameLines(cell.begin(), lines);
    return lines;
}

void tableLinesOf(const QTextTable &table, QStringList &out)
{
    for (int r = 0; r < table.rows(); ++r) {
        QStringList cells;
        for (int c = 0; c < table.columns(); ++c) {
            const QTextTableCell cell = table.cellAt(r, c);
            if (cell.row() == r && cell.column() == c)
                cells.append(cellText(cell).join(QLatin1Char('\n')));
        }
        out.append(cells.join(QLatin1Char('\t')).split(QLatin1Char('\n')));
    }
}

void frameLines(QTextFrame::iterator it, QStringList &out)
{
    struct Entry {
        QTextBlock block;
        QTextFrame *frame = nullptr;
    };
    std::vector<Entry> entries;
    for (; !it.atEnd(); ++it)
        entries.push_back(Entry{it.currentBlock(), it.currentFrame()});
    const auto isTable = [&](size_t i) {
        return i < entries.size() && qobject_cast<QTextTable *>(entries[i].frame);
    };
    const auto isEmptyBlock = [&](size_t i) {
        return !entries[i].frame && entries[i].block.length() <= 1;
    };
    size_t begin = 0;
    size_t end = entries.size();
    if (end >= 2 && isEmptyBlock(0) && isTable(1))
        begin = 1;
    if (end >= 2 && isEmptyBlock(end - 1) && isTable(end - 2))
        end -= 1;
    for (size_t i = begin; i < end; ++i) {
        if (auto *table = qobject_cast<QTextTable *>(entries[i].frame))
            tableLinesOf(*table, out);
        else if (entries[i].frame)
            frameLines(entries[i].frame->begin(), out);
        else
            out.append(entries[i].block.text());
    }
}

void contentLines(const std::vector<TableItem> &content, std::vector<PlainLine> &out)
{
    PlainLine line;
    for (const TableItem &item : content) {
        switch (item.kind) {
        case TableItem::Text:
            line.text += item.text;
            break;
        case TableItem::Image:
            line.picture = true;
            break;
        case TableItem::ParagraphEnd:
            out.push_back(std::move(line));
            line = PlainLine();
            break;
        case TableItem::NestedTable: {
            std::vector<PlainLine> inner = tableLines(*item.table);
            out.insert(out.end(), inner.begin(), inner.end());
            break;
        }
        }
    }
    if (!line.text.isEmpty() || line.picture)
        out.push_back(std::move(line));
}

} // namespace

void normalizeCellContent(std::vector<TableItem> &content)
{
    // A paragraph between two tables.
    for (size_t i = 1; i < content.size(); ++i) {
        if (content[i].kind == TableItem::NestedTable
            && content[i - 1].kind == TableItem::NestedTable) {
            TableItem end;
            end.kind = TableItem::ParagraphEnd;
            content.insert(content.begin() + qsizetype(i), std::move(end));
        }
    }
    if (content.size() >= 2 && isEmptyParagraphEnd(content, 0)
        && content[1].kind == TableItem::NestedTable)
        content.erase(content.begin());
    if (content.size() >= 2 && isEmptyParagraphEnd(content, content.size() - 1)
        && content[content.size() - 2].kind == TableItem::NestedTable)
        content.pop_back();
}

Table buildTable(std::vector<ReadRow> rows)
{
    std::vector<std::vector<PlacedCell>> placedRows;
    bool borders = false;
    for (ReadRow &row : rows) {
        std::vector<PlacedCell> placed = placeCells(row);
        if (placed.empty())
            continue;
        borders = borders || row.definition.borders;
        placedRows.push_back(std::move(placed));
    }
    Table table;
    if (placedRows.empty())
        return table;
    table.borders = borders;

    // The grid: every edge of every cell, unless that makes more columns than a row may have;
    // then each cell is one column, as wide as the first row says.
    std::set<int> edges;
    for (const auto &row : placedRows) {
        for (const PlacedCell &cell : row) {
            edges.insert(cell.left);
            edges.insert(cell.right);
        }
    }
    const bool byEdges = edges.size() <= size_t(kMaxTableColumns) + 1;
    std::map<int, int> columnAt;   // edge → the grid column that starts there
    if (byEdges) {
        int column = 0;
        for (auto it = edges.begin(); std::next(it) != edges.end(); ++it) {
            columnAt[*it] = column++;
            table.columnWidths.push_back(*std::next(it) - *it);
        }
        columnAt[*edges.rbegin()] = column;
    } else {
        size_t columns = 0;
        for (const auto &row : placedRows)
            columns = std::max(columns, row.size());
        for (size_t c = 0; c < columns; ++c)
            table.columnWidths.push_back(c < placedRows[0].size()
                                             ? placedRows[0][c].right - placedRows[0][c].left
                                             : kDefaultCellWidth);
    }
    const int columns = int(table.columnWidths.size());

    // Per column, the cell that a vertical merge below it would join: row, index in its row.
    std::vector<std::pair<int, int>> above(size_t(columns), {-1, -1});
    for (size_t r = 0; r < placedRows.size(); ++r) {
        TableRow out;
        std::vector<bool> covered(size_t(columns), false);
        for (size_t i = 0; i < placedRows[r].size(); ++i) {
            PlacedCell &cell = placedRows[r][i];
            int first = byEdges ? columnAt[cell.left] : int(i);
            int last = byEdges ? columnAt[cell.right] : int(i) + 1;
            const auto [ar, ai] = above[size_t(first)];
            if (cell.definition->vertical && ar >= 0) {
                TableCell &master = table.rows[size_t(ar)].cells[size_t(ai)];
                if (master.column == first && master.columnSpan == last - first
                    && ar + master.rowSpan == int(r)) {
                    ++master.rowSpan;
                    for (int k = first; k < last; ++k)
                        covered[size_t(k)] = true;
                    if (hasText(cell.content)) {
                        append(master.content, std::move(cell.content));
                        normalizeCellContent(master.content);
                    }
                    continue;
                }
            }
            // A cell over columns already taken (a span from above) moves to the first free one.
            while (first < columns && covered[size_t(first)]) {
                ++first;
                last = std::max(last, first + 1);
            }
            if (first >= columns) {
                // No room left in this row: the text joins the row's last cell.
                if (!out.cells.empty()) {
                    append(out.cells.back().content, std::move(cell.content));
                    normalizeCellContent(out.cells.back().content);
                }
                continue;
            }
            last = std::min(last, columns);
            for (int k = first; k < last; ++k) {
                if (covered[size_t(k)]) {
                    last = k;
                    break;
                }
            }
            TableCell made;
            made.column = first;
            made.columnSpan = last - first;
            made.background = cell.definition->background;
            made.content = std::move(cell.content);
            normalizeCellContent(made.content);
            for (int k = first; k < last; ++k) {
                covered[size_t(k)] = true;
                above[size_t(k)] = {-1, -1};
            }
            out.cells.push_back(std::move(made));
            if (cell.definition->verticalFirst || cell.definition->vertical)
                above[size_t(first)] = {int(r), int(out.cells.size()) - 1};
        }
        // Columns no cell reaches are empty cells of their own.
        for (int c = 0; c < columns; ++c) {
            if (!covered[size_t(c)]) {
                TableCell empty;
                empty.column = c;
                out.cells.push_back(std::move(empty));
                above[size_t(c)] = {-1, -1};
            }
        }
        std::sort(out.cells.begin(), out.cells.end(),
                  [](const TableCell &a, const TableCell &b) { return a.column < b.column; });
        // Indices of masters in this row changed with the sort.
        for (int k = 0; k < int(out.cells.size()); ++k) {
            const TableCell &cell = out.cells[size_t(k)];
            auto &slot = above[size_t(cell.column)];
            if (slot.first == int(r))
                slot.second = k;
        }
        table.rows.push_back(std::move(out));
    }
    return table;
}

std::vector<PlainLine> tableLines(const Table &table)
{
    std::vector<PlainLine> out;
    for (const TableRow &row : table.rows) {
        QStringList cells;
        bool picture = false;
        for (const TableCell &cell : row.cells) {
            std::vector<PlainLine> lines;
            contentLines(cell.content, lines);
            QStringList texts;
            for (const PlainLine &line : lines) {
                texts.append(line.text);
                picture = picture || line.picture;
            }
            cells.append(texts.join(QLatin1Char('\n')));
        }
        // Which line of a row a picture stands in matters to no one: the row's first.
        bool first = true;
        for (const QString &text : cells.join(QLatin1Char('\t')).split(QLatin1Char('\n'))) {
            out.push_back(PlainLine{text, first && picture});
            first = false;
        }
    }
    return out;
}

QStringList documentLines(const QTextDocument &doc)
{
    QStringList lines;
    frameLines(doc.rootFrame()->begin(), lines);
    return lines;
}

void RtfSink::table(const Table &table)
{
    const RunFormat plain;
    for (const PlainLine &line : tableLines(table)) {
        if (line.picture)
            picture(Picture(), plain);
        if (!line.text.isEmpty())
            text(line.text, plain);
        endParagraph(ParaFormat(), plain);
    }
}

} // namespace richtext
