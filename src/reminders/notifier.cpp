#include "reminders/notifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace reminders {

namespace {

const QString kDefaultAction = QStringLiteral("default");
const QString kOpenAction = QStringLiteral("open-today");

} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent) : Notifier(parent), m_bus(bus)
{
    const QString service = QLatin1String(kService);
    const QString path = QLatin1String(kPath);
    const QString interface = QLatin1String(kInterface);
    m_bus.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(actionInvoked(uint,QString)));
    m_bus.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                  SLOT(notificationClosed(uint,uint)));
}

bool DesktopNotifier::isAvailable() const
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    const QString service = QLatin1String(kService);
    if (m_bus.interface()->isServiceRegistered(service).value())
        return true;
    const QStringList activatable = m_bus.interface()->activatableServiceNames().value();
    return activatable.contains(service);
}

void DesktopNotifier::show(const QString &title, const QString &body)
{
    if (!m_bus.isConnected()) {
        emit failed();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                                       QLatin1String(kInterface), QStringLiteral("Notify"));
    const QVariantMap hints = {
        {QStringLiteral("desktop-entry"), QStringLiteral("net.quillbook.Quillbook")},
        {QStringLiteral("category"), QStringLiteral("reminder")},
    };
    call << QStringLiteral("羽书手札") << m_lastId << QStringLiteral("net.quillbook.Quillbook") << title << body
         << QStringList{kDefaultAction, openTodayAction(), kOpenAction, openTodayAction()}
         << hints << qint32(-1);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *done) {
        const QDBusPendingReply<uint> reply = *done;
        done->deleteLater();
        if (reply.isError()) {
            emit failed();
            return;
        }
        m_lastId = reply.value();
    });
}

void DesktopNotifier::actionInvoked(uint id, const QString &action)
{
    if (id != 0 && id == m_lastId && (action == kDefaultAction || action == kOpenAction))
        emit clicked();
}

void DesktopNotifier::notificationClosed(uint id, uint)
{
    // A closed notification's number may be given to another program's next one.
    if (id == m_lastId)
        m_lastId = 0;
}

ReminderNotifier::ReminderNotifier(DesktopNotifier *desktop, Notifier *fallback, QObject *parent)
    : Notifier(parent), m_desktop(desktop), m_fallback(fallback)
{
    connect(m_desktop, &Notifier::clicked, this, &Notifier::clicked);
    connect(m_desktop, &Notifier::failed, this, [this] {
        if (m_fallback)
            m_fallback->show(m_title, m_body);
        else
            emit failed();
    });
    if (m_fallback) {
        connect(m_fallback, &Notifier::clicked, this, &Notifier::clicked);
        connect(m_fallback, &Notifier::failed, this, &Notifier::failed);
    }
}

void ReminderNotifier::show(const QString &title, const QString &body)
{
    m_title = title;
    m_body = body;
    m_desktop->show(title, body);
}

} // namespace reminders
