#include "stats/year_grid.h"

#include "stats/mood_palette.h"
#include "stats/stats_texts.h"
#include "widgets/entry_boxes.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace {

constexpr int kLeft = 20;           // room for the weekday names
constexpr int kTop = 16;            // room for the month names
constexpr int kMinPitch = 9;        // square and gap
constexpr int kMaxPitch = 15;
constexpr int kLegendGap = 8;
constexpr int kLegendItemWidth = 66;
constexpr int kLegendRowHeight = 20;
constexpr int kLegendItems = diary::kMoodCount + 1;   // the moods and the empty day
constexpr int kTipWords = 40;       // how much of the body a tooltip shows

int legendRows(int width)
{
    const int perRow = qMax(1, (width - kLeft) / kLegendItemWidth);
    return (kLegendItems + perRow - 1) / perRow;
}

// The first words of a body, on one line.
QString firstWords(const QString &summary)
{
    QString words = summary.left(kTipWords * 2).simplified();
    if (words.size() > kTipWords)
        words = words.left(kTipWords) + QChar(0x2026);
    return words;
}

} // namespace

TYearGrid::TYearGrid(QWidget *parent) : QWidget(parent), m_pictures(moodItemPictures())
{
    setObjectName(QStringLiteral("YearGrid"));
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TYearGrid::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitHeight();
}

void TYearGrid::fitHeight()
{
    // The squares grow with the width, and the height with them. A scroll area does not ask its
    // content for a height for its width, so the grid says what it needs once it knows.
    const int needed = heightForWidth(qMax(width(), sizeHint().width()));
    if (minimumHeight() != needed)
        setMinimumHeight(needed);
}

void TYearGrid::setYear(int year, const stats::Figures *figures, const QList<diary::ListRow> *rows,
                        const QDate &today)
{
    m_year = year;
    m_figures = figures;
    m_rows = rows;
    m_today = today;
    m_hovered = QDate();
    fitHeight();
    update();
}

void TYearGrid::setMarkedDays(const QSet<QDate> &days)
{
    m_marked = days;
    update();
}

int TYearGrid::columns() const
{
    const QDate first(m_year, 1, 1);
    return (offset() + first.daysInYear() + 6) / 7;
}

int TYearGrid::offset() const
{
    return QDate(m_year, 1, 1).dayOfWeek() - 1;
}

int TYearGrid::pitchFor(int width) const
{
    return qBound(kMinPitch, (width - kLeft - 2) / qMax(1, columns()), kMaxPitch);
}

int TYearGrid::heightForWidth(int width) const
{
    return kTop + 7 * pitchFor(width) + kLegendGap + legendRows(width) * kLegendRowHeight;
}

QSize TYearGrid::sizeHint() const
{
    const int width = kLeft + 54 * kMinPitch + 2;
    return {width, heightForWidth(width)};
}

QSize TYearGrid::minimumSizeHint() const
{
    return sizeHint();
}

QRect TYearGrid::cellAt(int column, int row, int pitch) const
{
    const int gap = pitch >= 12 ? 2 : 1;
    return {kLeft + column * pitch, kTop + row * pitch, pitch - gap, pitch - gap};
}

QRect TYearGrid::cellRect(const QDate &date) const
{
    if (date.year() != m_year || m_year == 0)
        return {};
    const int position = offset() + date.dayOfYear() - 1;
    return cellAt(position / 7, position % 7, pitchFor(width()));
}

QDate TYearGrid::dateAt(const QPoint &pos) const
{
    if (m_year == 0 || pos.x() < kLeft || pos.y() < kTop)
        return {};
    const int pitch = pitchFor(width());
    const int column = (pos.x() - kLeft) / pitch;
    const int row = (pos.y() - kTop) / pitch;
    if (row >= 7 || column >= columns())
        return {};
    const QDate first(m_year, 1, 1);
    const int day = column * 7 + row - offset();
    if (day < 0 || day >= first.daysInYear() || !cellAt(column, row, pitch).contains(pos))
        return {};
    return first.addDays(day);
}

QString TYearGrid::toolTipOf(const QDate &date) const
{
    QString tip = stats_text::dateText(date) + QLatin1Char(' ') + stats_text::weekday(date.dayOfWeek());
    const auto day = m_figures ? m_figures->days.constFind(date) : stats::Figures::DayMap::const_iterator();
    if (!m_figures || day == m_figures->days.cend() || !m_rows || day->row >= m_rows->size())
        return tip + QLatin1Char('\n') + stats_text::emptyDay();
    const diary::ListRow &row = m_rows->at(day->row);
    if (!day->readable)
        return tip + QLatin1Char('\n') + row.summary;
    const QString none = QStringLiteral("—");
    tip += QLatin1Char('\n')
        + stats_text::tipWeatherMood(row.weather.isEmpty() ? none : row.weather,
                                     row.mood.isEmpty() ? none : row.mood);
    const QString words = firstWords(row.summary);
    if (!words.isEmpty())
        tip += QLatin1Char('\n') + words;
    return tip;
}

bool TYearGrid::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QDate date = dateAt(help->pos());
        if (date.isValid())
            QToolTip::showText(help->globalPos(), toolTipOf(date), this, cellRect(date));
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void TYearGrid::mouseMoveEvent(QMouseEvent *event)
{
    const QDate date = dateAt(event->position().toPoint());
    if (date != m_hovered) {
        m_hovered = date;
        const bool written = date.isValid() && m_figures && m_figures->days.contains(date);
        setCursor(written ? Qt::PointingHandCursor : Qt::ArrowCursor);
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void TYearGrid::leaveEvent(QEvent *event)
{
    m_hovered = QDate();
    update();
    QWidget::leaveEvent(event);
}

void TYearGrid::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const QDate date = dateAt(event->position().toPoint());
        if (date.isValid() && m_figures && m_figures->days.contains(date))
            emit dayClicked(date);
    }
    QWidget::mouseReleaseEvent(event);
}

void TYearGrid::paintEvent(QPaintEvent *)
{
    if (m_year == 0)
        return;
    QPainter painter(this);
    const QColor ink = palette().color(QPalette::WindowText);
    QColor emptyDay = ink;
    emptyDay.setAlpha(30);
    QColor unreadable = ink;
    unreadable.setAlpha(110);

    const int pitch = pitchFor(width());
    QFont small = font();
    small.setPixelSize(qBound(10, pitch - 1, 12));
    painter.setFont(small);
    painter.setPen(ink);
    for (int row : {0, 2, 4, 6}) {
        const QRect cell = cellAt(0, row, pitch);
        painter.drawText(QRect(0, cell.top() - 2, kLeft - 3, cell.height() + 4),
                         Qt::AlignRight | Qt::AlignVCenter, stats_text::weekdayShort(row + 1));
    }
    int labelEnd = 0;
    for (int month = 1; month <= 12; ++month) {
        const int column = (offset() + QDate(m_year, month, 1).dayOfYear() - 1) / 7;
        const int x = kLeft + column * pitch;
        if (x < labelEnd)
            continue;
        const QString label = stats_text::monthLabel(month);
        painter.drawText(QPoint(x, kTop - 4), label);
        labelEnd = x + painter.fontMetrics().horizontalAdvance(label) + 3;
    }

    // The days, walking the year and the figures' days side by side.
    const QDate first(m_year, 1, 1);
    auto day = m_figures ? m_figures->days.lowerBound(first) : stats::Figures::DayMap::const_iterator();
    const auto end = m_figures ? m_figures->days.cend() : day;
    for (int i = 0; i < first.daysInYear(); ++i) {
        const QDate date = first.addDays(i);
        const int position = offset() + i;
        const QRect cell = cellAt(position / 7, position % 7, pitch);
        if (m_figures && day != end && day->date == date) {
            if (day->readable) {
                QColor colour = stats::moodColour(day->mood);
                if (!m_marked.isEmpty() && !m_marked.contains(date))
                    colour.setAlpha(45);
                painter.fillRect(cell, colour);
            } else {
                painter.fillRect(cell, unreadable);
                painter.setPen(palette().color(QPalette::Window));
                painter.drawLine(cell.topLeft(), cell.bottomRight());
            }
            ++day;
        } else {
            painter.fillRect(cell, emptyDay);
        }
        if (date == m_today || date == m_hovered) {
            painter.setPen(QPen(date == m_hovered ? palette().color(QPalette::Highlight) : ink, 1));
            painter.drawRect(cell.adjusted(0, 0, -1, -1));
        }
    }

    paintLegend(painter, kTop + 7 * pitch + kLegendGap);
}

void TYearGrid::paintLegend(QPainter &painter, int top)
{
    QFont font = this->font();
    font.setPixelSize(12);
    painter.setFont(font);
    const int perRow = qMax(1, (width() - kLeft) / kLegendItemWidth);
    QColor emptyDay = palette().color(QPalette::WindowText);
    emptyDay.setAlpha(30);
    for (int i = 0; i < kLegendItems; ++i) {
        const int x = kLeft + (i % perRow) * kLegendItemWidth;
        const int y = top + (i / perRow) * kLegendRowHeight;
        const bool mood = i < diary::kMoodCount;
        painter.fillRect(QRect(x, y + 4, 10, 10), mood ? stats::moodColour(i) : emptyDay);
        int textX = x + 13;
        if (mood && i < m_pictures.size()) {
            painter.drawPixmap(x + 12, y + 1, m_pictures[i]);
            textX = x + 30;
        }
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(textX, y, kLegendItemWidth - (textX - x), kLegendRowHeight - 2),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         mood ? diary::moodWord(i) : stats_text::emptyDay());
    }
}
