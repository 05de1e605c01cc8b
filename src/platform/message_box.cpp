#include "message_box.h"
#include "exception.h"
#include "gbk.h"
#include "notice.h"

#include <QPointer>
#include <QWidget>
#include <new>

namespace msgbox {

namespace {
Interceptor &interceptor()
{
    static Interceptor current;
    return current;
}
QPointer<QWidget> &mainWindowRef()
{
    static QPointer<QWidget> window;
    return window;
}
} // namespace

QMessageBox::StandardButton show(QWidget *owner, QMessageBox::Icon icon, const QString &caption,
                                 const QString &text, QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton defaultButton)
{
    if (interceptor())
        return interceptor()(Shown{caption, text, icon, buttons, owner != nullptr, defaultButton});
    QMessageBox box(icon, caption, text, buttons, owner);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return QMessageBox::StandardButton(box.exec());
}

void setInterceptor(Interceptor replacement)
{
    interceptor() = std::move(replacement);
}

QString errorBoxText(const QString &message)
{
    if (message.isEmpty())
        return message;
    // The rule compares the last character's code in the ANSI code page; for a double-byte
    // character that is its lead byte, which is always above ".".
    const QString last = message.right(message.back().isLowSurrogate() ? 2 : 1);
    const QByteArray bytes = gbk::encode(last);
    const unsigned char code = bytes.isEmpty() ? 0xFF : static_cast<unsigned char>(bytes.front());
    if (code > '.')
        return message + QLatin1Char('.');
    return message;
}

void showError(const QString &message)
{
    show(mainWindow(), QMessageBox::Critical, boxCaption(), errorBoxText(message));
}

void showWarning(QWidget *owner, const QString &text)
{
    show(owner ? owner : mainWindow(), QMessageBox::Warning, boxCaption(), text);
}

void showMessage(QWidget *owner, const QString &text)
{
    show(owner ? owner : mainWindow(), QMessageBox::NoIcon, boxCaption(), text);
}

void routeNotices()
{
    // The components' own captions ("Zip Error", …) are for the tool's output; in the window
    // every box speaks its language.
    notice::setHandler([](notice::Kind kind, const QString &, const QString &text) {
        const QMessageBox::Icon icon = kind == notice::Kind::Information ? QMessageBox::Information
                                       : kind == notice::Kind::Warning   ? QMessageBox::Warning
                                       : kind == notice::Kind::Plain     ? QMessageBox::NoIcon
                                                                         : QMessageBox::Critical;
        show(mainWindow(), icon, boxCaption(), text);
    });
}

void setMainWindow(QWidget *window) { mainWindowRef() = window; }
QWidget *mainWindow() { return mainWindowRef().data(); }

} // namespace msgbox

bool guardedCall(const std::function<void()> &body)
{
    try {
        body();
        return true;
    } catch (const EFileInUse &) {
        msgbox::show(msgbox::mainWindow(), QMessageBox::Critical, msgbox::boxCaption(),
                     msgbox::inUseText());
    } catch (const Exception &e) {
        msgbox::showError(e.message());
    } catch (const std::bad_alloc &) {
        msgbox::showError(QStringLiteral("内存不足!"));
    } catch (const std::exception &e) {
        msgbox::showError(QString::fromUtf8(e.what()));
    }
    return false;
}
