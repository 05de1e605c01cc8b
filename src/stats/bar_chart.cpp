#include "stats/bar_chart.h"

#include <QPainter>

namespace {

constexpr int kTitleHeight = 20;
constexpr int kLabelHeight = 16;      // the category names under the bars
constexpr int kScaleWidth = 40;       // the largest total, left of the bars
constexpr int kPlotHeight = 96;
constexpr int kLegendItemWidth = 62;
constexpr int kLegendRowHeight = 16;
constexpr int kMinWidth = 250;

} // namespace

TBarChart::TBarChart(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TBarChart::setChart(const QString &title, const QStringList &categories, const QList<Series> &series)
{
    m_title = title;
    m_categories = categories;
    m_series = series;
    updateGeometry();
    update();
}

qint64 TBarChart::total(int category) const
{
    qint64 sum = 0;
    for (const Series &one : m_series)
        sum += category < one.values.size() ? one.values[category] : 0;
    return sum;
}

int TBarChart::legendHeight(int width) const
{
    if (m_series.size() < 2)
        return 0;
    const int perRow = qMax(1, (width - kScaleWidth) / kLegendItemWidth);
    return int((m_series.size() + perRow - 1) / perRow) * kLegendRowHeight + 4;
}

QSize TBarChart::sizeHint() const
{
    return {kMinWidth, kTitleHeight + kPlotHeight + kLabelHeight + legendHeight(kMinWidth) + 6};
}

QSize TBarChart::minimumSizeHint() const
{
    return sizeHint();
}

void TBarChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QColor ink = palette().color(QPalette::WindowText);
    QColor faint = ink;
    faint.setAlpha(60);

    QFont titleFont = font();
    titleFont.setPixelSize(13);
    titleFont.setBold(true);
    painter.setFont(titleFont);
    painter.setPen(ink);
    painter.drawText(QRect(0, 0, width(), kTitleHeight), Qt::AlignLeft | Qt::AlignVCenter, m_title);

    QFont small = font();
    small.setPixelSize(11);
    painter.setFont(small);

    qint64 largest = 0;
    for (int c = 0; c < m_categories.size(); ++c)
        largest = qMax(largest, total(c));

    const QRect plot(kScaleWidth, kTitleHeight + 4, width() - kScaleWidth - 4, kPlotHeight - 4);
    painter.setPen(faint);
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawLine(plot.topLeft(), plot.bottomLeft());
    painter.setPen(ink);
    painter.drawText(QRect(0, plot.top() - 6, kScaleWidth - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(largest));
    painter.drawText(QRect(0, plot.bottom() - 8, kScaleWidth - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("0"));

    const int count = int(m_categories.size());
    if (count == 0)
        return;
    const double slot = double(plot.width()) / count;
    const int barWidth = qMax(2, int(slot * 0.66));
    for (int c = 0; c < count; ++c) {
        const int x = plot.left() + int(slot * c + (slot - barWidth) / 2);
        // Each segment's top is computed from the running sum, so rounding never leaves gaps.
        qint64 below = 0;
        for (const Series &one : std::as_const(m_series)) {
            const qint64 value = c < one.values.size() ? one.values[c] : 0;
            if (value <= 0 || largest <= 0)
                continue;
            const int bottom = plot.bottom() - int(double(below) * plot.height() / largest);
            below += value;
            const int top = plot.bottom() - int(double(below) * plot.height() / largest);
            painter.fillRect(QRect(x, top, barWidth, qMax(1, bottom - top)), one.colour);
        }
        // A name wider than its bar's room (a long tag) is cut short with an ellipsis.
        const QString label = painter.fontMetrics().elidedText(m_categories[c], Qt::ElideRight, int(slot) + 6);
        painter.drawText(QRect(plot.left() + int(slot * c) - 4, plot.bottom() + 2, int(slot) + 8, kLabelHeight),
                         Qt::AlignHCenter | Qt::AlignTop, label);
    }

    if (m_series.size() < 2)
        return;
    const int perRow = qMax(1, (width() - kScaleWidth) / kLegendItemWidth);
    const int legendTop = plot.bottom() + kLabelHeight + 4;
    for (int i = 0; i < m_series.size(); ++i) {
        const Series &one = m_series[i];
        qint64 sum = 0;
        for (qint64 value : one.values)
            sum += value;
        const int x = kScaleWidth + (i % perRow) * kLegendItemWidth;
        const int y = legendTop + (i / perRow) * kLegendRowHeight;
        painter.fillRect(QRect(x, y + 3, 9, 9), one.colour);
        painter.drawText(QRect(x + 12, y, kLegendItemWidth - 14, kLegendRowHeight),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("%1 %2").arg(one.name).arg(sum));
    }
}
