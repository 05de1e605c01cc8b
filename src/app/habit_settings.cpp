#include "app/habit_settings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimeEdit>

THabitSettings::THabitSettings(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("HabitSettings"));
    m_templatesButton = new QPushButton(QStringLiteral("模板…"), this);
    m_templatesButton->setObjectName(QStringLiteral("TemplatesButton"));
    m_templatesButton->setToolTip(QStringLiteral("新的一天的日记从模板开始，可以每个星期几各有一个"));
    m_reminderBox = new QCheckBox(QStringLiteral("提醒："), this);
    m_reminderBox->setObjectName(QStringLiteral("ReminderBox"));
    m_reminderBox->setToolTip(QStringLiteral("每天到这个时间，今天还没写日记就提醒"));
    m_timeEdit = new QTimeEdit(QTime(21, 0), this);
    m_timeEdit->setObjectName(QStringLiteral("ReminderTime"));
    m_timeEdit->setDisplayFormat(QStringLiteral("HH:mm"));
    m_autostartBox = new QCheckBox(QStringLiteral("开机时提醒"), this);
    m_autostartBox->setObjectName(QStringLiteral("AutostartBox"));
    m_autostartBox->setToolTip(QStringLiteral("登录桌面时在托盘里启动，到时间提醒"));

    // One row, so that the dialog still fits a small screen at twice the scale.
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(m_templatesButton);
    row->addSpacing(6);
    row->addWidget(m_reminderBox);
    row->addWidget(m_timeEdit);
    row->addWidget(m_autostartBox);
    row->addStretch(1);

    connect(m_templatesButton, &QPushButton::clicked, this, &THabitSettings::templatesAsked);
    connect(m_reminderBox, &QCheckBox::toggled, this, [this] { announceReminder(); });
    connect(m_timeEdit, &QTimeEdit::editingFinished, this, [this] {
        if (m_reminderBox->isChecked())
            announceReminder();
    });
    connect(m_autostartBox, &QCheckBox::toggled, this, &THabitSettings::autostartChosen);
    showChoices(QString(), std::nullopt, false);
}

void THabitSettings::showChoices(const QString &user, const reminders::ReminderTime &time, bool autostart)
{
    const QSignalBlocker blockReminder(m_reminderBox);
    const QSignalBlocker blockTime(m_timeEdit);
    const QSignalBlocker blockAutostart(m_autostartBox);
    const bool loggedIn = !user.isEmpty();
    setToolTip(loggedIn ? QStringLiteral("「%1」的模板与提醒").arg(user) : QStringLiteral("登录后在这里设置模板与提醒"));
    m_templatesButton->setEnabled(loggedIn);
    m_reminderBox->setEnabled(loggedIn);
    m_reminderBox->setChecked(loggedIn && time.has_value());
    if (time)
        m_timeEdit->setTime(*time);
    m_timeEdit->setEnabled(loggedIn);
    m_autostartBox->setEnabled(loggedIn);
    m_autostartBox->setChecked(autostart);
}

void THabitSettings::announceReminder()
{
    if (m_reminderBox->isChecked())
        emit reminderChosen(m_timeEdit->time());
    else
        emit reminderChosen(std::nullopt);
}
