#pragma once

#include "diary/entry.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QWidget>

class QCalendarWidget;
class QPushButton;
class TMarkedCalendar;

// The diary as a month calendar: every day that has an entry is marked (bold, on a background
// tinted by that entry's mood; an entry whose mood cannot be read is tinted grey). The month and
// year change with the calendar's own drop-downs and arrows, Page Up and Page Down, and
// TodayButton 「今天」 goes back to today's month.
//
// The marks are painted from a table of the days as the calendar paints its cells, so that new
// rows cost no more than that table, however many days they mark.
//
// Clicking a day (or Enter on it) announces it with dayChosen, and whether it has an entry; what
// then happens is the window's.
class TDiaryCalendar : public QWidget
{
    Q_OBJECT

public:
    explicit TDiaryCalendar(QWidget *parent = nullptr);

    QCalendarWidget *Calendar1;   // a TMarkedCalendar
    QPushButton *TodayButton;

    // Marks the days of these rows (those whose names are dates) and no others.
    void setRows(const QList<diary::ListRow> &rows);
    // The same with the days made already (diary::moodsByDay), off the window's thread.
    void setMoods(QHash<QDate, int> moods);
    bool hasEntry(const QDate &day) const { return m_moods.contains(day); }
    // The days marked, ascending.
    QList<QDate> markedDays() const;
    // The tint of a marked day; invalid for a day without an entry.
    QColor tintOf(const QDate &day) const;

    // The background of a day whose entry has that mood index (-1: unknown).
    static QColor moodTint(int mood);

signals:
    void dayChosen(const QDate &day, bool hasEntry);

private:
    QHash<QDate, int> m_moods;   // day -> mood index of its entry
};
