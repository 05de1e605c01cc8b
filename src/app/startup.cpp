#include "startup.h"
#include "help_window.h"
#include "main_form.h"
#include "single_instance.h"

#include "platform/message_box.h"
#include "reminders/autostart.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>

namespace startup {

QString installToolkitTranslations(QCoreApplication &app, const QLocale &system,
                                   const QString &translationsPath)
{
    const QString path = translationsPath.isEmpty()
                             ? QLibraryInfo::path(QLibraryInfo::TranslationsPath)
                             : translationsPath;
    auto *translator = new QTranslator(&app);
    // QTranslator::load(QLocale, ...) walks the locale's UI languages, most specific first
    // ("zh_TW", then "zh"), so a system language the toolkit knows is taken as it is.
    if (system.language() != QLocale::English && system.language() != QLocale::C
        && translator->load(system, QStringLiteral("qtbase"), QStringLiteral("_"), path)) {
        app.installTranslator(translator);
        return translator->language();
    }
    if (translator->load(QStringLiteral("qtbase_zh_CN"), path)) {
        app.installTranslator(translator);
        return translator->language();
    }
    delete translator;
    return {};
}

int run(QApplication &app, const QString &instanceName, const std::function<void(TForm1 &)> &shown)
{
    TSingleInstance instance(instanceName);
    if (instance.notifyRunningCopy())
        return 0;

    QApplication::setApplicationName(msgbox::applicationTitle());
    installToolkitTranslations(app, QLocale::system());
    setApplicationHelpFile(QStringLiteral(":/help/quillbook.html"));

    TForm1 form;
    if (const QScreen *screen = form.screen())
        form.fitToScreen(screen->availableGeometry());
    guarded([&form] { form.restoreWindowPlace(); });

    // The window is there to answer before the name is taken.
    instance.listen();
    QObject::connect(&instance, &TSingleInstance::messageReceived, &form,
                     [&form](quint32 message) {
                         if (message == TSingleInstance::kAnotherCopyStarted)
                             guarded([&form] { form.AnotherCopyStarted(); });
                     },
                     Qt::QueuedConnection);

    // Started by the desktop's autostart: the program waits in the tray for the reminder.
    if (QCoreApplication::arguments().contains(QLatin1String(autostart::kTrayOption)))
        form.startInTray();
    else
        form.show();
    if (shown)
        shown(form);
    return app.exec();
}

} // namespace startup
