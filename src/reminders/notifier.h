#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

// Showing the reminder: the desktop's notification service (org.freedesktop.Notifications on
// the session bus, through Qt's D-Bus module), and where there is none, a fall-back the window
// gives (its tray icon's message). No widgets.
namespace reminders {

// The reminder's texts.
inline QString reminderTitle() { return QStringLiteral("今天还没写日记"); }
inline QString reminderBody() { return QStringLiteral("点这里写今天的日记。"); }
inline QString openTodayAction() { return QStringLiteral("写今天的日记"); }

// What shows a notification and says when the user clicks it. The tray's fall-back implements
// it too (QSystemTrayIcon::showMessage, messageClicked → clicked).
class Notifier : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    virtual void show(const QString &title, const QString &body) = 0;

signals:
    // The user clicked the notification or its action: the window opens today's entry.
    void clicked();
    // It could not be shown (no service, or the service refused).
    void failed();
};

// The freedesktop notification service. show() sends Notify without waiting (its answer comes
// back through the event loop) with the default action and an action 写今天的日记; a click on
// either, reported by the service's ActionInvoked signal for the notification it numbered,
// emits clicked(). failed() when the call is refused, for instance because no service runs.
class DesktopNotifier : public Notifier
{
    Q_OBJECT

public:
    static constexpr const char *kService = "org.freedesktop.Notifications";
    static constexpr const char *kPath = "/org/freedesktop/Notifications";
    static constexpr const char *kInterface = "org.freedesktop.Notifications";

    explicit DesktopNotifier(const QDBusConnection &bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);

    // Whether the service is on the bus now, or can be started by it.
    bool isAvailable() const;
    void show(const QString &title, const QString &body) override;
    // The number the service gave the last notification shown; 0 before one is.
    uint lastId() const { return m_lastId; }

private slots:
    void actionInvoked(uint id, const QString &action);
    void notificationClosed(uint id, uint reason);

private:
    QDBusConnection m_bus;
    uint m_lastId = 0;
};

// The desktop's service first; when it fails (or is not there), the fall-back. clicked() comes
// from whichever showed it.
class ReminderNotifier : public Notifier
{
    Q_OBJECT

public:
    // Neither is owned; both must outlive this one. fallback may be null (nothing shown then).
    ReminderNotifier(DesktopNotifier *desktop, Notifier *fallback, QObject *parent = nullptr);
    void show(const QString &title, const QString &body) override;

private:
    DesktopNotifier *m_desktop;
    Notifier *m_fallback;
    QString m_title;
    QString m_body;
};

} // namespace reminders
