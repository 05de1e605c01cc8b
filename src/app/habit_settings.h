#pragma once

#include "reminders/daily_reminder.h"

#include <QWidget>

class QCheckBox;
class QPushButton;
class QTimeEdit;

// The user settings dialog's part for the logged-in diary: 「模板…」 (the texts a new entry starts
// from) and 提醒 (a time of day to be reminded to write, off by default, and 开机时提醒: the
// desktop starts the program hidden in the tray at login). It only shows and announces the
// choices; the window stores them. Without a logged-in diary it is disabled (its tooltip says
// why).
class THabitSettings : public QWidget
{
    Q_OBJECT

public:
    explicit THabitSettings(QWidget *parent = nullptr);

    QPushButton *TemplatesButton() const { return m_templatesButton; }
    QCheckBox *ReminderBox() const { return m_reminderBox; }
    QTimeEdit *ReminderTime() const { return m_timeEdit; }
    QCheckBox *AutostartBox() const { return m_autostartBox; }

    // Shows the logged-in user's choices (announcing nothing); user empty: nobody is logged in.
    void showChoices(const QString &user, const reminders::ReminderTime &time, bool autostart);

signals:
    void templatesAsked();
    void reminderChosen(const reminders::ReminderTime &time);
    void autostartChosen(bool on);

private:
    void announceReminder();

    QPushButton *m_templatesButton = nullptr;
    QCheckBox *m_reminderBox = nullptr;
    QTimeEdit *m_timeEdit = nullptr;
    QCheckBox *m_autostartBox = nullptr;
};
