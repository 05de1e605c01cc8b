#pragma once

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTime>
#include <QTimer>

#include <functional>
#include <optional>

// The daily reminder to write: at a time of day the user chose (off by default), the reminder
// falls due if today has no entry yet. No widgets: what shows it is a Notifier (notifier.h), and
// what opens today's entry when it is clicked is the window's.
namespace reminders {

// ---- the setting (main.ini, per diary) ----

// The time of day, or nullopt when the reminder is off (the default).
using ReminderTime = std::optional<QTime>;

// The reminder time of the diary's user, from the settings file (section 提醒, one key per user:
// the hex of the user name's GBK bytes followed by "."; value hh:mm). Off when there is none or it
// is no time. Throws the settings file's EInOutError.
ReminderTime readReminderTime(const QString &userName);
// Stores it (off writes an empty value). Throws the settings file's EInOutError.
void writeReminderTime(const QString &userName, const ReminderTime &time);

// ---- the logic ----

// Checks the clock every kCheckIntervalMs and at the set time: once that time of today has come,
// and today has not been reminded of yet, the reminder asks whether today has an entry and, when
// it has none, emits due(today). Each day falls due at most once: the check at the set time (or
// the first one after it, when the program started later or the computer slept through it)
// decides for the day. A day that has an entry by then is not reminded of.
class DailyReminder : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;          // local time
    using HasEntry = std::function<bool(const QDate &)>;

    static constexpr int kCheckIntervalMs = 30 * 1000;

    // clock null: the system clock.
    DailyReminder(HasEntry hasEntry, Clock clock = {}, QObject *parent = nullptr);

    // Sets the time (nullopt: off). Today may still fall due at once when the time has passed
    // and today was not decided yet.
    void setTime(const ReminderTime &time);
    ReminderTime time() const { return m_time; }

    // Looks at the clock now (the timer calls it; tests too).
    void check();

signals:
    void due(const QDate &day);

private:
    void schedule();

    HasEntry m_hasEntry;
    Clock m_clock;
    ReminderTime m_time;
    QDate m_decided;   // the last day the reminder was decided for
    QTimer m_poll;
    QTimer m_exact;
};

} // namespace reminders
