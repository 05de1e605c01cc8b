#pragma once

#include <QCalendarWidget>
#include <QColor>

class QDateEdit;

// A month calendar whose days carry their lunar day under the number, small and in a soft
// colour (lunar::calendarLabel: 初三, 八月 on a month's first day, a festival such as 春节 or a
// solar term such as 清明, these two a little warmer). Where a cell has no room for a second
// line, the number alone is shown. Month and weekday names are Chinese whatever the system's
// language.
class TLunarDayCalendar : public QCalendarWidget
{
    Q_OBJECT

public:
    explicit TLunarDayCalendar(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The label a cell of that rectangle shows under the day's number: empty where the cell has
    // no room for a second line.
    QString labelIn(QDate date, const QRect &cell) const;

    // The soft colours of the labels.
    static QColor dayLabelColour();
    static QColor feastLabelColour();

protected:
    void paintCell(QPainter *painter, const QRect &rect, QDate date) const override;
    // Paints a day: the background (tint when valid, else the calendar's own, the selected day
    // highlighted), the number (bold when asked) and under it the lunar label.
    void paintDay(QPainter *painter, const QRect &rect, QDate date, const QColor &tint, bool bold) const;

private:
    QFont labelFont() const;
    // The height the second line adds to every row.
    int labelHeight() const;
};

// The date edit's pop-up calendar becomes a TLunarDayCalendar, made as late as the edit would make
// its own (when it is first pressed or typed into).
void showLunarDays(QDateEdit *edit);
