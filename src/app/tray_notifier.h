#pragma once

#include "reminders/notifier.h"

class QSystemTrayIcon;

// The reminder shown as the tray icon's message, where the desktop has no notification service;
// a click on the message is a click on the reminder.
class TTrayNotifier : public reminders::Notifier
{
    Q_OBJECT

public:
    // tray is not owned and must outlive this one.
    explicit TTrayNotifier(QSystemTrayIcon *tray, QObject *parent = nullptr);
    void show(const QString &title, const QString &body) override;

private:
    QSystemTrayIcon *m_tray;
};
