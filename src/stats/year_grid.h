#pragma once

#include "stats/diary_stats.h"

#include <QDate>
#include <QList>
#include <QPixmap>
#include <QSet>
#include <QWidget>

// A year of days: one square per day, a column per week (Monday on top), the months named
// above their first week, each square tinted by the mood of that day's entry, an empty day
// plain, an entry that cannot be read crossed out; today is outlined. Under the squares a legend
// of the eight moods with their pictures and colours. Hovering over a square shows the date,
// weather, mood and the first words; a click on a day with an entry emits dayClicked.
//
// Drawn in the colours of the widget's palette (the skin's), except the mood colours, which are
// the same on every skin. The squares grow with the width, from 8 pixels up to 14.
class TYearGrid : public QWidget
{
    Q_OBJECT

public:
    explicit TYearGrid(QWidget *parent = nullptr);

    // Shows year of the figures, whose days index rows (the figures' listing), marking today.
    // Both must outlive the grid's use of them, or be replaced before the next paint.
    void setYear(int year, const stats::Figures *figures, const QList<diary::ListRow> *rows,
                 const QDate &today);
    int year() const { return m_year; }
    // Marks some days (those of one tag): while any are marked, the other days' squares are drawn
    // faint. An empty set marks none.
    void setMarkedDays(const QSet<QDate> &days);
    const QSet<QDate> &markedDays() const { return m_marked; }

    // Where the square of date is drawn (an empty rectangle for a date outside the year).
    QRect cellRect(const QDate &date) const;
    // The day of the square at pos; an invalid date when there is none.
    QDate dateAt(const QPoint &pos) const;
    // What hovering over the square of date shows.
    QString toolTipOf(const QDate &date) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The height the squares and the legend need at that width.
    int heightForWidth(int width) const override;

signals:
    void dayClicked(const QDate &date);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int pitchFor(int width) const;
    void fitHeight();
    int columns() const;
    int offset() const;     // the rows before 1 January in its week
    QRect cellAt(int column, int row, int pitch) const;
    void paintLegend(QPainter &painter, int top);

    int m_year = 0;
    const stats::Figures *m_figures = nullptr;
    const QList<diary::ListRow> *m_rows = nullptr;
    QDate m_today;
    QDate m_hovered;
    QSet<QDate> m_marked;
    QList<QPixmap> m_pictures;
};
