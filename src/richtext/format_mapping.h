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

} // namespace richtext
