// Writing as a habit: a new entry starts from the diary's template, the daily reminder to write,
// and the tray icon the program can wait in.
#include "main_form.h"

#include "accounts/user_list.h"
#include "accounts/user_settings_dialog.h"
#include "accounts/login_panel.h"
#include "app/habit_settings.h"
#include "app/templates_editor.h"
#include "app/texts.h"
#include "app/tray_notifier.h"
#include "diary/diary_book.h"
#include "pages/diary_calendar.h"
#include "pages/list_page.h"
#include "pages/write_page.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "platform/message_box.h"
#include "reminders/autostart.h"
#include "reminders/daily_reminder.h"
#include "reminders/diary_today.h"
#include "reminders/notifier.h"
#include "settings/ini.h"
#include "templates/templates.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QStackedWidget>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QTimer>

namespace {

// Said once, the first time closing the window leaves the program in the tray.
const char kTrayNoticeKey[] = "traynotice";

} // namespace

void TForm1::setupHabits()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        showTray();
    // After the window is made: a time already past today asks the diary at once.
    QTimer::singleShot(0, this, [this] { guarded([this] { makeReminders(); }); });
}

void TForm1::setReminderNotifier(reminders::Notifier *notifier)
{
    if (m_notifier)
        disconnect(m_notifier, nullptr, this, nullptr);
    m_notifier = notifier;
    connect(m_notifier, &reminders::Notifier::clicked, this, [this] { guarded([this] { writeToday(); }); });
}

void TForm1::setReminderClock(std::function<QDateTime()> clock)
{
    m_reminderClock = std::move(clock);
    makeReminders();
}

reminders::DailyReminder *TForm1::dailyReminder(const QString &user) const
{
    return m_reminders.value(user);
}

void TForm1::makeReminders()
{
    qDeleteAll(m_reminders);
    m_reminders.clear();
    const QStringList users = files::exists(kUserListFileName) ? readUserList() : QStringList();
    for (const QString &user : users) {
        const reminders::ReminderTime time = reminders::readReminderTime(user);
        if (!time)
            continue;
        auto *reminder = new reminders::DailyReminder(
            [this, user](const QDate &day) { return userHasEntry(user, day); }, m_reminderClock, this);
        connect(reminder, &reminders::DailyReminder::due, this,
                [this, user](const QDate &day) { guarded([this, user, day] { reminderDue(user, day); }); });
        m_reminders.insert(user, reminder);
        reminder->setTime(time);
    }
}

bool TForm1::userHasEntry(const QString &user, const QDate &day)
{
    // The logged-in diary's rows answer first; what they lack (an entry saved since they were
    // listed) the diary's directory answers.
    if (user == m_diaryPath && m_listedPath == user && m_listForm.built() && m_listForm->Calendar->hasEntry(day))
        return true;
    return offThread(app::text::openingDiary(), [user, day] { return reminders::hasEntryFor(user, day); });
}

void TForm1::reminderDue(const QString &user, const QDate &day)
{
    Q_UNUSED(day);
    m_remindedUser = user;
    QString body = reminders::reminderBody();
    if (m_reminders.size() > 1)
        body = QStringLiteral("「%1」：%2").arg(user, body);
    // The session bus is reached only when a reminder is due: a start without one opens no
    // connection to it.
    if (!m_notifier) {
        m_desktopNotifier = new reminders::DesktopNotifier(QDBusConnection::sessionBus(), this);
        setReminderNotifier(new reminders::ReminderNotifier(m_desktopNotifier, m_trayFallback, this));
    }
    m_notifier->show(reminders::reminderTitle(), body);
}

void TForm1::writeToday()
{
    const QString user = std::exchange(m_remindedUser, QString());
    if (isHidden() || isMinimized())
        showNormal();
    raise();
    activateWindow();
    if (!m_diaryPath.isEmpty() && (user.isEmpty() || user == m_diaryPath)) {
        if (m_pageControl->currentWidget() == m_writePage)
            openDayChosen(diary::today());
        else
            openDay(diary::today());
        return;
    }
    // Another user's diary, or none, is open: today's entry after the login.
    if (!m_diaryPath.isEmpty())
        lockDiary();
    if (!m_diaryPath.isEmpty())
        return;   // the open entry could not be saved: it stays
    m_pageControl->setCurrentWidget(m_loginPage);
    if (!user.isEmpty()) {
        QComboBox *users = m_loginPanel->ComboBox1();
        const int at = users->findText(user);
        if (at >= 0)
            users->setCurrentIndex(at);
    }
    m_loginPanel->MaskEdit1()->setFocus();
    m_openTodayAfterLogin = true;
}

void TForm1::openTodayAfterLogin()
{
    if (std::exchange(m_openTodayAfterLogin, false) && !m_diaryPath.isEmpty())
        openDay(diary::today());
}

// ---- the tray ----

void TForm1::showTray()
{
    m_tray = new QSystemTrayIcon(QIcon(QStringLiteral(":/icons/net.quillbook.Quillbook.svg")), this);
    m_tray->setObjectName(QStringLiteral("TrayIcon"));
    m_tray->setToolTip(msgbox::applicationTitle());
    auto *menu = new QMenu(this);
    menu->addAction(reminders::openTodayAction(), this, [this] { guarded([this] { writeToday(); }); });
    menu->addAction(QStringLiteral("锁定"), this, [this] { guarded([this] { lockDiary(); }); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("退出"), this, [this] {
        m_quitting = true;
        if (close())
            QCoreApplication::quit();
        m_quitting = false;
    });
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Trigger)
            return;
        if (isHidden() || isMinimized())
            showNormal();
        raise();
        activateWindow();
    });
    m_trayFallback = new TTrayNotifier(m_tray, this);
    m_tray->show();
    // Hidden in the tray, the window is no reason to end: 退出 ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
}

void TForm1::startInTray()
{
    if (!m_tray)
        show();
}

bool TForm1::keepsInTray() const
{
    return m_tray && m_tray->isVisible() && !m_quitting && !m_reminders.isEmpty();
}

bool TForm1::hideInTray()
{
    if (!keepsInTray())
        return false;
    hide();
    const QByteArray section = gbk::encode(app::text::skinSection());
    if (ini::ReadSetting(section, kTrayNoticeKey).isEmpty()) {
        m_tray->showMessage(msgbox::applicationTitle(),
                            QStringLiteral("羽书手札还在托盘里，到时间会提醒你写日记。要退出，在托盘图标的菜单里选「退出」。"));
        guarded([&section] { ini::WriteSetting(section, kTrayNoticeKey, "1"); });
    }
    return true;
}

// ---- the user settings dialog's part ----

void TForm1::attachHabitSettings(TForm2 *dialog)
{
    const QSize client = dialog->size();
    auto *line = new QFrame(dialog);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(8, client.height(), client.width() - 16, 2);
    m_habitSettings = new THabitSettings(dialog);
    const int height = m_habitSettings->sizeHint().height();
    m_habitSettings->setGeometry(8, client.height() + 6, client.width() - 16, height);
    dialog->setFixedSize(client.width(), client.height() + height + 14);
    connect(m_habitSettings, &THabitSettings::templatesAsked, this, [this] { guarded([this] { editTemplates(); }); });
    connect(m_habitSettings, &THabitSettings::reminderChosen, this,
            [this](const reminders::ReminderTime &time) { guarded([this, time] { chooseReminder(time); }); });
    connect(m_habitSettings, &THabitSettings::autostartChosen, this,
            [this](bool on) { guarded([this, on] { chooseAutostart(on); }); });
}

void TForm1::showHabitChoices()
{
    m_userSettings.get();
    reminders::ReminderTime time;
    if (!m_diaryPath.isEmpty())
        guarded([this, &time] { time = reminders::readReminderTime(m_diaryPath); });
    m_habitSettings->showChoices(m_diaryPath, time, autostart::isInstalled());
}

void TForm1::editTemplates()
{
    if (m_diaryPath.isEmpty())
        return;
    const QString path = m_diaryPath;
    const templates::Templates current = templates::read(path, diaryKey());
    TTemplatesEditor editor(current, m_userSettings.get());
    if (editor.exec() != QDialog::Accepted || m_diaryPath != path)
        return;
    templates::write(path, editor.templates(), diaryKey());
}

void TForm1::chooseReminder(const reminders::ReminderTime &time)
{
    if (m_diaryPath.isEmpty())
        return;
    reminders::writeReminderTime(m_diaryPath, time);
    makeReminders();
}

void TForm1::chooseAutostart(bool on)
{
    if (on) {
        autostart::install(QCoreApplication::applicationFilePath(), QDir::currentPath());
    } else if (!autostart::remove()) {
        msgbox::showWarning(this, QStringLiteral("开机提醒的启动项删不掉：%1").arg(autostart::filePath()));
    }
}

// ---- templates ----

QByteArray TForm1::templateRecord(const QDate &day)
{
    if (m_diaryPath.isEmpty())
        return {};
    try {
        return templates::newEntryRecord(templates::read(m_diaryPath, diaryKey()), day);
    } catch (const templates::ETemplateError &) {
        // A template file that cannot be read never keeps the day from being written.
        statusBar()->showMessage(QStringLiteral("模板读不出来，这一篇从空白开始。"), 8000);
        return {};
    }
}

bool TForm1::untouchedTemplate(const QByteArray &record) const
{
    return !m_templateRecord.isEmpty() && record == m_templateRecord;
}
