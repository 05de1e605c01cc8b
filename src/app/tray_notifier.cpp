#include "app/tray_notifier.h"

#include <QSystemTrayIcon>

TTrayNotifier::TTrayNotifier(QSystemTrayIcon *tray, QObject *parent) : reminders::Notifier(parent), m_tray(tray)
{
    connect(m_tray, &QSystemTrayIcon::messageClicked, this, &Notifier::clicked);
}

void TTrayNotifier::show(const QString &title, const QString &body)
{
    if (!m_tray->isVisible() || !QSystemTrayIcon::supportsMessages()) {
        emit failed();
        return;
    }
    m_tray->showMessage(title, body, QSystemTrayIcon::Information);
}
