#include "app/habit_settings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimeEdit>

THabitSettings::THabitSettings(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("HabitSettings"));
    m_caption = new QLabel(this);
    m_caption->setWordWrap(true);
    m_templatesButton = new QPushButton(QStringLiteral("模板…"), this);
    m_templatesButton->setObjectName(QStringLiteral("TemplatesButton"));
    m_templatesButton->setToolTip(QStringLiteral("新的一天的日记从模板开始，可以每个星期几各有一个"));
    m_reminderBox = new QCheckBox(QStringLiteral("每天提醒写日记："), this);
    m_reminderBox->setObjectName(QStringLiteral("ReminderBox"));
    m_timeEdit = new QTimeEdit(QTime(21, 0), this);
    m_timeEdit->setObjectName(QStringLiteral("ReminderTime"));
    m_timeEdit->setDisplayFormat(QStringLiteral("HH:mm"));
    m_autostartBox = new QCheckBox(QStringLiteral("开机时提醒"), this);
    m_autostartBox->setObjectName(QStringLiteral("AutostartBox"));
    m_autostartBox->setToolTip(QStringLiteral("登录桌面时在托盘里启动，到时间提醒"));

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->addWidget(m_caption, 0, 0, 1, 3);
    grid->addWidget(m_templatesButton, 1, 0);
    grid->addWidget(m_reminderBox, 2, 0);
    grid->addWidget(m_timeEdit, 2, 1);
    grid->addWidget(m_autostartBox, 2, 2);
    grid->setColumnStretch(2, 1);

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
    m_caption->setText(loggedIn ? QStringLiteral("「%1」的模板与提醒：").arg(user)
                                : QStringLiteral("模板与提醒：登录后在这里设置。"));
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
