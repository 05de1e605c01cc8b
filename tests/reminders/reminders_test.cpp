#include "reminders/autostart.h"
#include "reminders/daily_reminder.h"
#include "reminders/diary_today.h"
#include "reminders/notifier.h"

#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "platform/gbk.h"
#include "settings/ini.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// Runs the event loop until done() or five seconds have passed.
bool waitFor(const std::function<bool()> &done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

// The desktop's notification service as the test's own object on a connection of its own to
// the private bus: it records what it is asked to show.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown {
        QString summary;
        QString body;
        QStringList actions;
    };
    QList<Shown> shown;
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-notifications"_s);

    bool start()
    {
        return bus.registerObject(u"/org/freedesktop/Notifications"_s, this, QDBusConnection::ExportScriptableSlots)
               && bus.registerService(u"org.freedesktop.Notifications"_s);
    }
    void stop()
    {
        bus.unregisterService(u"org.freedesktop.Notifications"_s);
        bus.unregisterObject(u"/org/freedesktop/Notifications"_s);
    }
    void click(uint id, const QString &action)
    {
        QDBusMessage signal = QDBusMessage::createSignal(u"/org/freedesktop/Notifications"_s,
                                                         u"org.freedesktop.Notifications"_s, u"ActionInvoked"_s);
        signal << id << action;
        bus.send(signal);
    }

public slots:
    Q_SCRIPTABLE uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                             const QStringList &actions, const QVariantMap &, int)
    {
        shown.append({summary, body, actions});
        return uint(41 + shown.size());
    }
    Q_SCRIPTABLE QStringList GetCapabilities() { return {u"actions"_s, u"body"_s}; }
};

// The tray's fall-back, as the window gives one.
class FakeTray : public reminders::Notifier
{
public:
    QStringList titles;
    void show(const QString &title, const QString &) override { titles.append(title); }
};

} // namespace

TEST(Reminder, AsksForTheNotificationAtTheSetTimeOnlyWhenTodayIsEmpty)
{
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run inside dbus-run-session";
    FakeNotifications service;
    ASSERT_TRUE(service.start());

    QDateTime now(QDate(2024, 2, 10), QTime(20, 59, 30));
    QSet<QDate> written;
    reminders::DailyReminder reminder([&](const QDate &day) { return written.contains(day); },
                                      [&] { return now; });
    reminders::DesktopNotifier desktop;
    ASSERT_TRUE(desktop.isAvailable());
    QObject::connect(&reminder, &reminders::DailyReminder::due, &desktop, [&] {
        desktop.show(reminders::reminderTitle(), reminders::reminderBody());
    });
    QSignalSpy due(&reminder, &reminders::DailyReminder::due);
    QSignalSpy clicked(&desktop, &reminders::Notifier::clicked);

    // Off by default.
    EXPECT_FALSE(reminder.time());
    reminder.check();
    reminder.setTime(QTime(21, 0));
    EXPECT_EQ(due.size(), 0);   // not yet
    now = now.addSecs(30);
    reminder.check();
    ASSERT_EQ(due.size(), 1);
    EXPECT_EQ(due[0][0].toDate(), QDate(2024, 2, 10));
    ASSERT_TRUE(waitFor([&] { return !service.shown.isEmpty(); }));
    EXPECT_EQ(service.shown[0].summary, u"今天还没写日记"_s);
    EXPECT_TRUE(service.shown[0].actions.contains(u"default"_s));
    // Once a day.
    now = now.addSecs(3600);
    reminder.check();
    EXPECT_EQ(due.size(), 1);

    // A click on it (the default action) asks for today's entry; another program's does not.
    ASSERT_TRUE(waitFor([&] { return desktop.lastId() != 0; }));
    service.click(desktop.lastId() + 100, u"default"_s);
    service.click(desktop.lastId(), u"default"_s);
    ASSERT_TRUE(waitFor([&] { return clicked.size() > 0; }));
    EXPECT_EQ(clicked.size(), 1);

    // The next day is written by the time: nothing is asked for.
    written.insert(QDate(2024, 2, 11));
    now = QDateTime(QDate(2024, 2, 11), QTime(21, 0, 5));
    reminder.check();
    EXPECT_EQ(due.size(), 1);
    // Started late on a day without an entry: due at once.
    now = QDateTime(QDate(2024, 2, 12), QTime(23, 30));
    reminder.check();
    EXPECT_EQ(due.size(), 2);
    // Turned off, it never falls due.
    reminder.setTime(std::nullopt);
    now = QDateTime(QDate(2024, 2, 13), QTime(22, 0));
    reminder.check();
    EXPECT_EQ(due.size(), 2);
    ASSERT_TRUE(waitFor([&] { return service.shown.size() == 2; }));
    service.stop();
}

TEST(Reminder, WithoutANotificationServiceTheTrayShowsIt)
{
    reminders::DesktopNotifier desktop;
    ASSERT_FALSE(desktop.isAvailable());
    FakeTray tray;
    reminders::ReminderNotifier notifier(&desktop, &tray);
    QSignalSpy clicked(&notifier, &reminders::Notifier::clicked);
    notifier.show(reminders::reminderTitle(), reminders::reminderBody());
    ASSERT_TRUE(waitFor([&] { return !tray.titles.isEmpty(); }));
    EXPECT_EQ(tray.titles, QStringList{u"今天还没写日记"_s});
    emit tray.clicked();
    EXPECT_EQ(clicked.size(), 1);
}

TEST(Reminder, TheTimeIsKeptPerUserInTheSettingsFile)
{
    QTemporaryDir dir;
    ini::setSettingsPath(dir.filePath(u"main.ini"_s));
    EXPECT_FALSE(reminders::readReminderTime(u"张三"_s));
    reminders::writeReminderTime(u"张三"_s, QTime(21, 30));
    reminders::writeReminderTime(u"张"_s, QTime(8, 5));
    reminders::writeReminderTime(u"张三丰"_s, std::nullopt);
    EXPECT_EQ(reminders::readReminderTime(u"张三"_s), QTime(21, 30));
    EXPECT_EQ(reminders::readReminderTime(u"张"_s), QTime(8, 5));
    EXPECT_FALSE(reminders::readReminderTime(u"张三丰"_s));
    reminders::writeReminderTime(u"张三"_s, std::nullopt);
    EXPECT_FALSE(reminders::readReminderTime(u"张三"_s));
    EXPECT_EQ(reminders::readReminderTime(u"张"_s), QTime(8, 5));
}

TEST(Reminder, TodaysEntryIsFoundByItsNameAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"张三"_s);
    EXPECT_FALSE(reminders::hasEntryFor(path, QDate(2024, 2, 10)));
    TArchiveWriter writer;
    writer.SetZipName(path);
    writer.SetPassword(diary::kArchivePassword);
    QByteArray record("0\r\n0\r\n");
    QBuffer stream(&record);
    stream.open(QIODevice::ReadOnly);
    writer.AddFromStream(gbk::encode(u"2024年2月10日"_s), stream);
    EXPECT_TRUE(reminders::hasEntryFor(path, QDate(2024, 2, 10)));
    EXPECT_FALSE(reminders::hasEntryFor(path, QDate(2024, 2, 11)));
}

TEST(Autostart, TheEntryIsWrittenPrivatelyAndRemoved)
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    const QString path = autostart::filePath();
    EXPECT_EQ(path, dir.path() + u"/autostart/quillbook-reminder.desktop"_s);
    EXPECT_FALSE(autostart::isInstalled());

    EXPECT_THROW(autostart::entryText(u"/usr/bin/quillbook"_s, u"/home/a\nb"_s), autostart::EAutostartError);
    autostart::install(u"/opt/羽书 手札/quillbook"_s, u"/home/张三/日记"_s);
    ASSERT_TRUE(autostart::isInstalled());
    struct stat st = {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(path).path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    const QByteArray text = testing_support::readFile(path);
    EXPECT_TRUE(text.contains("Exec=\"/opt/羽书 手札/quillbook\" --tray\nPath=/home/张三/日记\n")) << text.constData();
    if (QFileInfo(QStringLiteral(QB_DESKTOP_FILE_VALIDATE)).isExecutable()) {
        QProcess validate;
        validate.start(QStringLiteral(QB_DESKTOP_FILE_VALIDATE), {path});
        ASSERT_TRUE(validate.waitForFinished());
        EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();
    }

    EXPECT_TRUE(autostart::remove());
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(autostart::remove());   // nothing there: nothing to do

    // A link in the entry's place is neither written through nor followed when removed.
    const QString target = dir.filePath(u"target"_s);
    testing_support::writeFile(target, "mine");
    ASSERT_TRUE(QFile::link(target, path));
    EXPECT_THROW(autostart::install(u"/usr/bin/quillbook"_s), autostart::EAutostartError);
    EXPECT_EQ(testing_support::readFile(target), QByteArray("mine"));
    EXPECT_TRUE(autostart::remove());
    EXPECT_EQ(testing_support::readFile(target), QByteArray("mine"));
    qunsetenv("XDG_CONFIG_HOME");
}

#include "reminders_test.moc"
