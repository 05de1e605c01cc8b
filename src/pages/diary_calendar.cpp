#include "pages/diary_calendar.h"
#include "diary/row_order.h"

#include "platform/message_box.h"
#include "widgets/lunar_day_calendar.h"

#include <QCalendarWidget>
#include <QLocale>
#include <QHBoxLayout>
#include <QPushButton>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Light enough that the day's number stays readable on them, one for each mood word (高兴 …
// 爱心).
const QColor kMoodTints[diary::kMoodCount] = {
    QColor(255, 236, 150), QColor(205, 215, 235), QColor(250, 180, 170), QColor(190, 205, 250),
    QColor(200, 240, 200), QColor(235, 210, 170), QColor(225, 200, 240), QColor(255, 200, 220),
};
const QColor kUnknownTint(215, 215, 215);

} // namespace

// A calendar that paints the days of a table of moods itself: the tint, the number in bold, a
// frame round the selected day; every day with its lunar label under the number.
class TMarkedCalendar : public TLunarDayCalendar
{
public:
    TMarkedCalendar(const QHash<QDate, int> *moods, QWidget *parent)
        : TLunarDayCalendar(parent), m_moods(moods)
    {
    }

protected:
    void paintCell(QPainter *painter, const QRect &rect, QDate date) const override
    {
        const auto it = m_moods->constFind(date);
        if (it == m_moods->cend())
            paintDay(painter, rect, date, QColor(), false);
        else
            paintDay(painter, rect, date, TDiaryCalendar::moodTint(it.value()), true);
    }

private:
    const QHash<QDate, int> *m_moods;
};

TDiaryCalendar::TDiaryCalendar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("DiaryCalendar"));
    Calendar1 = new TMarkedCalendar(&m_moods, this);
    Calendar1->setObjectName(QStringLiteral("Calendar1"));
    Calendar1->setGridVisible(true);
    // Month and weekday names in Chinese, as every other text of the window, whatever the
    // system's language.
    Calendar1->setLocale(QLocale(QLocale::Chinese, QLocale::China));
    Calendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    Calendar1->setSelectedDate(diary::today());
    TodayButton = new QPushButton(QStringLiteral("今天"), this);
    TodayButton->setObjectName(QStringLiteral("TodayButton"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The month takes the height there is: its size hint is reckoned before the skin's style
    // sheet makes its navigation buttons taller, and held to it the last week was cut off.
    layout->addWidget(Calendar1, 1);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(TodayButton);
    layout->addLayout(row);

    const auto choose = [this](const QDate &day) {
        guarded([this, day] { emit dayChosen(day, hasEntry(day)); });
    };
    connect(Calendar1, &QCalendarWidget::clicked, this, choose);
    connect(Calendar1, &QCalendarWidget::activated, this, choose);
    connect(TodayButton, &QPushButton::clicked, this, [this] {
        const QDate today = diary::today();
        Calendar1->setSelectedDate(today);
        Calendar1->setCurrentPage(today.year(), today.month());
    });
}

QColor TDiaryCalendar::moodTint(int mood)
{
    return mood >= 0 && mood < diary::kMoodCount ? kMoodTints[mood] : kUnknownTint;
}

void TDiaryCalendar::setRows(const QList<diary::ListRow> &rows)
{
    setMoods(diary::moodsByDay(rows));
}

void TDiaryCalendar::setMoods(QHash<QDate, int> moods)
{
    m_moods = std::move(moods);
    Calendar1->update();
}

QColor TDiaryCalendar::tintOf(const QDate &day) const
{
    const auto it = m_moods.constFind(day);
    return it == m_moods.cend() ? QColor() : moodTint(it.value());
}

QList<QDate> TDiaryCalendar::markedDays() const
{
    QList<QDate> days = m_moods.keys();
    std::sort(days.begin(), days.end());
    return days;
}
