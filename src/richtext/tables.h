#pragma once

#include "rtf_formats.h"

#include <QColor>
#include <QStringList>

#include <vector>

class QTextDocument;
class QTextFrame;

// Tables between RTF rows and the document: the rows as the reader collects them, the grid
// they resolve into (rtf_formats.h: Table), and the plain text of a table, which the reader's
// text sinks and the document's plain text (rich_text.h: plainBody) must give alike.
//
// Plain text of a table: each row is one line, its cells' text separated by TAB; a cell's
// paragraphs (and the lines of a table inside it) are separated by line ends, so a row whose
// cells hold several paragraphs spans several lines. A cell covered by a span has no text of
// its own and no TAB.
//
// A document keeps a paragraph before and after every table in a frame (the document, a cell).
// Such a paragraph, when empty and at the very start or end of its frame, is no text: it is
// left out of the plain text, and the reader's cell content never holds one (see TableCell).
namespace richtext {

// RTF allows 63 cells in a row; more columns come only from hostile input.
constexpr int kMaxTableColumns = 63;
// Nesting deeper than this puts the deeper tables' cells into the deepest table allowed.
constexpr int kMaxTableDepth = 8;
// Cell boundaries (\cellx) beyond this many twips are clamped.
constexpr int kMaxCellBoundary = 200000;
// A cell without a boundary of its own is this wide (twips).
constexpr int kDefaultCellWidth = 1440;

// One cell as a row definition (\trowd … \cellx) states it.
struct CellDefinition {
    int right = 0;             // \cellx, twips from the row's left edge of the page
    bool mergeFirst = false;   // \clmgf
    bool merge = false;        // \clmrg: joins the cell before it
    bool verticalFirst = false;  // \clvmgf
    bool vertical = false;     // \clvmrg: joins the cell above it
    QColor background;         // \clcbpat
};

struct RowDefinition {
    int left = 0;              // \trleft
    bool borders = false;      // any cell or row border stated
    std::vector<CellDefinition> cells;
};

// A row as read: its definition and its cells' content, cell by cell as \cell ended them.
struct ReadRow {
    RowDefinition definition;
    std::vector<std::vector<TableItem>> cells;
};

// Resolves rows into one table. Cells beyond the definition get a boundary of their own
// (empty ones at the end of a row are dropped), merged cells become spans, and the text of a
// merged-away cell is appended to the cell it joins. Empty when no row has a cell.
Table buildTable(std::vector<ReadRow> rows);

// Brings cell content into the form TableCell describes.
void normalizeCellContent(std::vector<TableItem> &content);

// A line of plain text and whether a picture stands in it.
struct PlainLine {
    QString text;
    bool picture = false;
};

// The plain text of a table, line by line.
std::vector<PlainLine> tableLines(const Table &table);

// The plain text of the document's paragraphs and tables, line by line as the document holds
// it (pictures as U+FFFC, line breaks as U+2028).
QStringList documentLines(const QTextDocument &doc);

} // namespace richtext
