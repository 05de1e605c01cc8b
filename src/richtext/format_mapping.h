#pragma once

#include "rtf_formats.h"

#include <QTextCharFormat>
#include <QTextListFormat>

// How the reader's formats and the document's formats correspond, in both directions, so that
// the reader and the writer cannot drift apart.
namespace richtext {

// Twips (1/1440 inch) and the document's pixels (1/96 inch).
constexpr double kTwipsPerPixel = 15.0;
inline double twipsToPixels(int twips) { return twips / kTwipsPerPixel; }
inline int pixelsToTwips(double pixels) { return qRound(pixels * kTwipsPerPixel); }

QTextCharFormat::UnderlineStyle toQt(Underline u);
Underline fromQt(QTextCharFormat::UnderlineStyle u);

Qt::Alignment toQt(Alignment a);
Alignment fromQt(Qt::Alignment a);

QTextListFormat::Style toQt(ListStyle s);
ListStyle fromQt(QTextListFormat::Style s);

// The size in points at which the document lays out text of this format. A relative size
// (QTextFormat::FontSizeAdjustment, which pasted HTML's headings and size keywords such as
// "x-large" carry) scales the document's default font by 0.7, 0.8, 1, 1.2, 1.5, 2 or 2.4 for
// -2 … 4 and takes the place of the format's own size, as the layout does; otherwise the format's
// own size, else the default font's. Pixel sizes count at 96 to the inch; 12 points when nothing
// gives a size.
double shownPointSize(const QTextCharFormat &format, const QFont &defaultFont);

} // namespace richtext
