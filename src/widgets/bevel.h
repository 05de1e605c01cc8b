#pragma once

#include <QColor>
#include <QPalette>
#include <QRect>

class QPainter;

// One-pixel and two-pixel 3-D frames drawn along the inside of a rectangle, as the program's
// own controls draw them. The top row and left column take the first colour, the bottom row and
// right column the second, which also owns the top-right and bottom-left corner pixels.
namespace bevel {

enum Kind { Raised, Sunken };

void drawLines(QPainter &painter, const QRect &r, const QColor &topLeft, const QColor &bottomRight);

// One pixel: raised is highlight (QPalette::Light) above and left, shadow (QPalette::Dark) below
// and right; sunken the reverse.
void drawFrame(QPainter &painter, const QRect &r, const QPalette &palette, Kind kind);

// Two pixels, raised: an outer ring of light (QPalette::Midlight) and dark shadow
// (QPalette::Shadow), and inside it a ring of highlight (QPalette::Light) and shadow
// (QPalette::Dark).
void drawRaisedEdge(QPainter &painter, const QRect &r, const QPalette &palette);

} // namespace bevel
