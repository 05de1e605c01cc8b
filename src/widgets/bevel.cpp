#include "widgets/bevel.h"

#include <QPainter>

namespace bevel {

void drawLines(QPainter &painter, const QRect &r, const QColor &topLeft, const QColor &bottomRight)
{
    if (r.isEmpty())
        return;
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
    painter.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), topLeft);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
}

void drawFrame(QPainter &painter, const QRect &r, const QPalette &palette, Kind kind)
{
    const QColor light = palette.color(QPalette::Light);
    const QColor dark = palette.color(QPalette::Dark);
    if (kind == Raised)
        drawLines(painter, r, light, dark);
    else
        drawLines(painter, r, dark, light);
}

void drawRaisedEdge(QPainter &painter, const QRect &r, const QPalette &palette)
{
    drawLines(painter, r, palette.color(QPalette::Midlight), palette.color(QPalette::Shadow));
    drawLines(painter, r.adjusted(1, 1, -1, -1), palette.color(QPalette::Light),
              palette.color(QPalette::Dark));
}

} // namespace bevel
