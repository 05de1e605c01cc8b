#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>

#include <memory>
#include <vector>

// The formatting that the RTF reader hands to its sinks, already resolved against the font and
// colour tables, so that a sink never needs to know RTF. Sizes stay in RTF units (half-points,
// twips) so that the plain-text sink pays nothing for them.
namespace richtext {

enum class Underline : unsigned char { None, Single, Dash, Dot, DashDot, DashDotDot, Wave };
enum class VerticalAlign : unsigned char { Normal, Super, Sub };
enum class Alignment : unsigned char { Left, Center, Right, Justify };
enum class ListStyle : unsigned char {
    None, Disc, Circle, Square, Decimal, LowerAlpha, UpperAlpha, LowerRoman, UpperRoman
};

// A character format as RTF states it, with numbers into the font and colour tables: the
// reader's state while it reads, and what the writer has last written.
struct RtfCharState {
    int font = -1;             // -1: the default font (\deff)
    int halfPoints = 24;
    int color = 0;             // colour table index; 0 is automatic
    int background = 0;
    bool bold = false;
    bool italic = false;
    bool strike = false;
    bool hidden = false;
    Underline underline = Underline::None;
    VerticalAlign verticalAlign = VerticalAlign::Normal;
    // The associated properties (\ab, \ai, \afs) stated for double-byte text, and whether
    // double-byte text is the current script (\dbch): LibreOffice states bold and size of
    // Chinese runs only that way. -1 / 0: not stated.
    bool doubleByte = false;
    bool rightToLeft = false;
    signed char assocBold = -1;
    signed char assocItalic = -1;
    int assocHalfPoints = 0;

    bool operator==(const RtfCharState &) const = default;
};

// A character format resolved against the tables, as the sinks receive it.
struct RunFormat {
    QString family;            // empty when the font is unknown
    int halfPoints = 24;
    QColor color;              // invalid: the automatic colour
    QColor background;         // invalid: none
    bool bold = false;
    bool italic = false;
    bool strike = false;
    Underline underline = Underline::None;
    VerticalAlign verticalAlign = VerticalAlign::Normal;

    bool operator==(const RunFormat &) const = default;
};

struct ParaFormat {
    Alignment alignment = Alignment::Left;
    int leftIndent = 0;        // twips
    int rightIndent = 0;
    int firstIndent = 0;
    int spaceBefore = 0;
    int spaceAfter = 0;
    bool pageBreakBefore = false;
    ListStyle list = ListStyle::None;
    int listLevel = 0;         // 0 = outermost
    int listId = 0;            // 0: an old-style bullet run (\pn); otherwise the \ls override

    bool operator==(const ParaFormat &) const = default;
};

// A picture read from a \pict group. The data are the picture file's bytes as stored (a PNG or
// JPEG file, or a Windows metafile / enhanced metafile), never decoded by the reader.
enum class PictureKind : unsigned char { Png, Jpeg, Wmf, Emf, Other };

struct Picture {
    PictureKind kind = PictureKind::Other;
    QByteArray data;
    int width = 0;             // \picw, \pich: pixels for PNG and JPEG
    int height = 0;
    int goalWidth = 0;         // \picwgoal, \pichgoal: the shown size in twips; 0 unknown
    int goalHeight = 0;
    int scaleX = 100;          // \picscalex, \picscaley: per cent of the goal size
    int scaleY = 100;
};


// A table read from RTF rows (\trowd … \cell … \row, nested ones with \itap, \nestcell and
// \nestrow), resolved into a grid of columns: the cell boundaries of all its rows make the
// columns, a cell covers the columns between its boundaries, merged cells (\clmgf/\clmrg,
// \clvmgf/\clvmrg) are one cell with a span, and the text of a merged-away cell joins the cell
// it merges into.
struct Table;

// One piece of a cell's content, in reading order.
struct TableItem {
    enum Kind : unsigned char { Text, ParagraphEnd, Image, NestedTable };
    Kind kind = Text;
    QString text;              // Text
    RunFormat format;          // Text, Image; ParagraphEnd: the paragraph mark's
    ParaFormat para;           // ParagraphEnd
    Picture picture;           // Image
    std::shared_ptr<const Table> table;   // NestedTable
};

// A cell's content holds paragraphs (text and pictures, each ended by a ParagraphEnd) and
// tables. It never begins with an empty paragraph directly followed by a table, never ends with
// an empty paragraph directly after a table, and never holds two tables without a paragraph
// between them: a document shows a paragraph there anyway, so the content says no more than a
// document can keep.
struct TableCell {
    int column = 0;            // the first grid column
    int columnSpan = 1;
    int rowSpan = 1;
    QColor background;         // invalid: none
    std::vector<TableItem> content;
};

struct TableRow {
    std::vector<TableCell> cells;   // by column; positions covered by a span hold no cell
};

struct Table {
    std::vector<int> columnWidths;  // twips, one per grid column
    std::vector<TableRow> rows;     // at least one row, each with at least one cell
    bool borders = false;
};

} // namespace richtext
