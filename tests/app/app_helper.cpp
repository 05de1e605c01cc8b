// Runs the program the way main() does, for tests that need a real second process:
//
//   app_helper first <settings file>        prints READY once the window is up and listening,
//                                           then one line per message box it would have shown
//                                           ("BOX <icon>|<owned>|<caption>|<text>") and closes
//                                           the window after the first box.
//   app_helper shot <settings file> <png>   saves the main window's picture and closes.
//   app_helper dialogs <settings file> <folder>  saves pictures of the user settings dialog and
//                                           the recovery code dialog there.
//   app_helper pages <settings file> <user> <password> <folder>
//                                           logs in and saves pictures of the list page with its
//                                           calendar, the write page (as it opens, and maximised)
//                                           and the user settings dialog.
//   app_helper type <settings file> <user> <password> <text>
//                                           logs in (in the working folder), opens today's
//                                           entry, types the text, lets the draft be written and
//                                           prints "DRAFTED <entry name>", then waits to be killed.
#include "accounts/recovery_code_dialog.h"
#include "accounts/user_settings_dialog.h"
#include "app/main_form.h"
#include "app/single_instance.h"
#include "app/auto_save.h"
#include "app/startup.h"
#include "accounts/login_panel.h"
#include "pages/write_page.h"
#include "pages/list_page.h"
#include "app/templates_editor.h"
#include "widgets/lunar_day_calendar.h"
#include "pages/diary_calendar.h"
#include "platform/message_box.h"
#include "settings/ini.h"

#include <QApplication>
#include <QComboBox>
#include <QCalendarWidget>
#include <QPushButton>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>

namespace {

void say(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    ini::setSettingsPath(QString::fromLocal8Bit(argv[2]));
    QApplication app(argc, argv);

    if (mode == QLatin1String("first")) {
        msgbox::setInterceptor([](const msgbox::Shown &box) {
            say(QStringLiteral("BOX %1|%2|%3|%4")
                    .arg(int(box.icon))
                    .arg(box.hasOwner ? 1 : 0)
                    .arg(box.caption, box.text));
            QTimer::singleShot(0, [] { msgbox::mainWindow()->close(); });
            return QMessageBox::Ok;
        });
        return startup::run(app, TSingleInstance::defaultName(),
                            [](TForm1 &) { say(QStringLiteral("READY")); });
    }
    if (mode == QLatin1String("shot") && argc >= 4) {
        const QString png = QString::fromLocal8Bit(argv[3]);
        return startup::run(app, TSingleInstance::defaultName(), [png](TForm1 &form) {
            QTimer::singleShot(500, &form, [&form, png] {
                form.grab().save(png);
                form.close();
            });
        });
    }
    if (mode == QLatin1String("dialogs") && argc >= 4) {
        const QString folder = QString::fromLocal8Bit(argv[3]);
        return startup::run(app, TSingleInstance::defaultName(), [folder](TForm1 &form) {
            QTimer::singleShot(300, &form, [&form, folder] {
                TForm2 *settings = form.Form2();
                settings->show();
                auto *code = new RecoveryCodeDialog(QStringLiteral("张三"),
                                                    QStringLiteral("7KQ2-M9XD-0VHT-3BRC-WN5E-PG8A"), &form);
                code->show();
                QTimer::singleShot(300, &form, [&form, settings, code, folder] {
                    settings->grab().save(folder + QStringLiteral("/user_settings.png"));
                    code->grab().save(folder + QStringLiteral("/recovery_code.png"));
                    form.close();
                });
            });
        });
    }
    if (mode == QLatin1String("pages") && argc >= 6) {
        const QString user = QString::fromLocal8Bit(argv[3]);
        const QString password = QString::fromLocal8Bit(argv[4]);
        const QString folder = QString::fromLocal8Bit(argv[5]);
        return startup::run(app, TSingleInstance::defaultName(), [user, password, folder](TForm1 &form) {
            QTimer::singleShot(300, &form, [&form, user, password, folder] {
                QComboBox *users = form.Panel1()->ComboBox1();
                users->setCurrentIndex(users->findText(user));
                form.Panel1()->MaskEdit1()->setText(password);
                form.Button1Click();
                form.ListPage()->CalendarButton->setChecked(true);
                form.ListPage()->Calendar->Calendar1->setCurrentPage(2024, 2);
                QTimer::singleShot(300, &form, [&form, folder] {
                    form.grab().save(folder + QStringLiteral("/list_page.png"));
                    form.writeToday();
                    QTimer::singleShot(300, &form, [&form, folder] {
                        form.grab().save(folder + QStringLiteral("/write_page.png"));
                        form.resize(790, 570);   // as maximised on an 800 × 600 screen
                        TForm2 *settings = form.Form2();
                        settings->show();
                        QTimer::singleShot(300, &form, [&form, settings, folder] {
                            settings->grab().save(folder + QStringLiteral("/user_settings.png"));
                            form.grab().save(folder + QStringLiteral("/write_page_maximised.png"));
                            TTemplatesEditor editor({}, &form);
                            editor.show();
                            TLunarDayCalendar popup;
                            popup.setCurrentPage(2024, 2);
                            popup.resize(popup.sizeHint());
                            popup.show();
                            QApplication::processEvents();
                            editor.grab().save(folder + QStringLiteral("/templates_editor.png"));
                            popup.grab().save(folder + QStringLiteral("/date_popup.png"));
                            form.close();
                        });
                    });
                });
            });
        });
    }
    if (mode == QLatin1String("type") && argc >= 6) {
        TForm1 form;
        form.show();
        QComboBox *users = form.Panel1()->ComboBox1();
        users->setCurrentIndex(users->findText(QString::fromLocal8Bit(argv[3])));
        form.Panel1()->MaskEdit1()->setText(QString::fromLocal8Bit(argv[4]));
        form.Button1Click();
        form.NavBtn3Click();
        QInputMethodEvent typed;
        typed.setCommitString(QString::fromLocal8Bit(argv[5]));
        QApplication::sendEvent(form.WritePage()->RichEdit1, &typed);
        form.draftKeeper()->fire();
        form.waitForDrafts();
        say(QStringLiteral("DRAFTED ") + form.WritePage()->Label3->text());
        return app.exec();
    }
    return 2;
}
