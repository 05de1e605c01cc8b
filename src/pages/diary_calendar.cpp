#include "pages/diary_calendar.h"

#include "platform/message_box.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextCharFormat>
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

TDiaryCalendar::TDiaryCalendar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("DiaryCalendar"));
    Calendar1 = new QCalendarWidget(this);
    Calendar1->setObjectName(QStringLiteral("Calendar1"));
    Calendar1->setGridVisible(true);
    Calendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    Calendar1->setSelectedDate(diary::today());
    TodayButton = new QPushButton(QStringLiteral("今天"), this);
    TodayButton->setObjectName(QStringLiteral("TodayButton"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Calendar1);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(TodayButton);
    layout->addLayout(row);
    layout->addStretch(1);

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
    QHash<QDate, int> moods;
    for (const diary::ListRow &row : rows) {
        const QDate day = diary::dateOfName(row.name);
        if (day.isValid())
            moods.insert(day, row.readable() ? diary::moodIndexOf(row.mood) : -1);
    }
    // Clearing every format at once and setting only the marked ones keeps a month's change
    // free of work: the calendar looks the formats up as it paints.
    Calendar1->setDateTextFormat(QDate(), QTextCharFormat());
    for (auto it = moods.cbegin(); it != moods.cend(); ++it) {
        QTextCharFormat format;
        format.setFontWeight(QFont::Bold);
        format.setBackground(moodTint(it.value()));
        Calendar1->setDateTextFormat(it.key(), format);
    }
    m_moods = std::move(moods);
}

QList<QDate> TDiaryCalendar::markedDays() const
{
    QList<QDate> days = Calendar1->dateTextFormat().keys();
    std::sort(days.begin(), days.end());
    return days;
}
