#include "startup.h"
#include "help_window.h"
#include "main_form.h"
#include "single_instance.h"

#include "platform/message_box.h"

#include <QApplication>
#include <QScreen>

namespace startup {

int run(QApplication &app, const QString &instanceName, const std::function<void(TForm1 &)> &shown)
{
    TSingleInstance instance(instanceName);
    if (instance.notifyRunningCopy())
        return 0;

    QApplication::setApplicationName(msgbox::applicationTitle());
    setApplicationHelpFile(QStringLiteral(":/help/quillbook.html"));

    TForm1 form;
    if (const QScreen *screen = form.screen())
        form.move(screen->availableGeometry().center() - form.rect().center());

    // The window is there to answer before the name is taken.
    instance.listen();
    QObject::connect(&instance, &TSingleInstance::messageReceived, &form,
                     [&form](quint32 message) {
                         if (message == TSingleInstance::kAnotherCopyStarted)
                             guarded([&form] { form.AnotherCopyStarted(); });
                     },
                     Qt::QueuedConnection);

    form.show();
    if (shown)
        shown(form);
    return app.exec();
}

} // namespace startup
