#pragma once

#include <QColor>
#include <QFont>
#include <QTextCharFormat>

class QTextEdit;

// Character and paragraph formatting of a rich text editor, as the formatting commands see it.
namespace rich_format {

enum class CharStyle { Bold, Italic, Underline, StrikeOut };

// Whether the style is set: on every character of the selection, or, without a selection, in
// the format that typing would use at the insertion point. Unset properties count as the
// document's default font has them.
bool hasStyle(const QTextEdit *editor, CharStyle style);

// Sets the style on the whole selection (or the insertion point) when hasStyle() is false,
// and clears it otherwise.
void toggleStyle(QTextEdit *editor, CharStyle style);

// Whether the paragraph holding the caret is a list item.
bool hasBullets(const QTextEdit *editor);

// Makes the selected paragraphs (or the caret's) bulleted items when the caret's paragraph is
// not one, and plain paragraphs otherwise.
void toggleBullets(QTextEdit *editor);

// The horizontal alignment of the caret's paragraph: Qt::AlignLeft, AlignHCenter, AlignRight
// or AlignJustify.
Qt::Alignment alignment(const QTextEdit *editor);

// Makes the selected text, or the word at the caret when nothing is selected, points larger (a
// negative step: smaller), each run from the size it shows (richtext::shownPointSize), never
// below one point; with no word at the caret, the format typed next. One undo step. The
// editor's default font, the rest of the text and the selection stay as they were.
void changeSize(QTextEdit *editor, qreal points);

// The format that gives text the whole font: families, size in points, weight, italic,
// underline, strike-out, and the colour.
QTextCharFormat fontFormat(const QFont &font, const QColor &colour);

// The font in points: a font given in pixels is converted at dpi.
QFont inPoints(const QFont &font, int dpi);

} // namespace rich_format
