#include "reminders/daily_reminder.h"

#include "platform/gbk.h"
#include "settings/ini.h"

namespace reminders {

namespace {

QByteArray section()
{
    return gbk::encode(QStringLiteral("提醒"));
}

// The hex digits of any name, ended by a character that is no digit: a key line matches every
// key that begins it, and no user's key begins another's.
QByteArray keyOf(const QString &userName)
{
    return gbk::encode(userName).toHex() + '.';
}

} // namespace

ReminderTime readReminderTime(const QString &userName)
{
    const QByteArray value = ini::ReadSetting(section(), keyOf(userName)).trimmed();
    const QTime time = QTime::fromString(QString::fromLatin1(value), QStringLiteral("HH:mm"));
    return time.isValid() ? ReminderTime(time) : std::nullopt;
}

void writeReminderTime(const QString &userName, const ReminderTime &time)
{
    ini::WriteSetting(section(), keyOf(userName), time ? time->toString(QStringLiteral("HH:mm")).toLatin1() : QByteArray());
}

DailyReminder::DailyReminder(HasEntry hasEntry, Clock clock, QObject *parent)
    : QObject(parent), m_hasEntry(std::move(hasEntry)), m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = [] { return QDateTime::currentDateTime(); };
    m_poll.setInterval(kCheckIntervalMs);
    m_exact.setSingleShot(true);
    connect(&m_poll, &QTimer::timeout, this, &DailyReminder::check);
    connect(&m_exact, &QTimer::timeout, this, &DailyReminder::check);
}

void DailyReminder::setTime(const ReminderTime &time)
{
    m_time = time;
    if (!m_time) {
        m_poll.stop();
        m_exact.stop();
        return;
    }
    m_poll.start();
    check();
}

void DailyReminder::check()
{
    if (!m_time)
        return;
    const QDateTime now = m_clock();
    const QDate today = now.date();
    if (m_decided != today && now.time() >= *m_time) {
        m_decided = today;
        if (!m_hasEntry(today))
            emit due(today);
    }
    schedule();
}

void DailyReminder::schedule()
{
    // The poll catches a clock that jumps (sleep, a changed time zone); this one is on time.
    const QDateTime now = m_clock();
    QDateTime next(now.date(), *m_time);
    if (next <= now)
        next = next.addDays(1);
    const qint64 wait = now.msecsTo(next);
    if (wait < kCheckIntervalMs)
        m_exact.start(int(wait));
}

} // namespace reminders
