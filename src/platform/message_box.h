#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <utility>

class QWidget;

// Every message box of the program goes through here, so that tests can see which box would have
// been shown (caption, icon, text, buttons) and answer it without a modal loop.
namespace msgbox {

struct Shown {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    bool hasOwner = false;
    // The button that Enter presses; NoButton leaves the toolkit's choice.
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Shows a modal box and returns the button pressed. With an interceptor installed, the
// interceptor is called instead and its answer returned.
QMessageBox::StandardButton show(QWidget *owner, QMessageBox::Icon icon, const QString &caption,
                                 const QString &text,
                                 QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                 QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

using Interceptor = std::function<QMessageBox::StandardButton(const Shown &)>;
// Installs (or, with an empty function, removes) the interceptor. Tests only.
void setInterceptor(Interceptor interceptor);

// The application's name for the system (its settings, its single-instance name): never shown.
inline const QString &applicationTitle()
{
    static const QString title = QStringLiteral("Quillbook");
    return title;
}

// The caption of every box the program shows: the standard error box, the standard message box,
// the warning box and the notices of the components below the window.
inline const QString &boxCaption()
{
    static const QString caption = QStringLiteral("羽书手札");
    return caption;
}

// What the standard error box says for EFileInUse, whatever the component's own text: the
// user can do nothing but wait for the other program.
inline QString inUseText() { return QStringLiteral("日记正被另一个程序使用，请稍后再试"); }

// The text of the standard error box: the error's text with "." appended when the text is not
// empty and its last character (the lead byte, for a double-byte character) codes above ".".
QString errorBoxText(const QString &message);

// The standard error box: caption "羽书手札", error icon, OK.
void showError(const QString &message);

// The program's own warning box: owned by the main window, caption "羽书手札", warning icon, OK.
void showWarning(QWidget *owner, const QString &text);

// The toolkit's standard message box: caption "羽书手札", no icon, OK.
void showMessage(QWidget *owner, const QString &text);

// The main window, as the owner of boxes shown from code that has no widget at hand.
// Shows the notices of the components below the user interface as message boxes owned by the
// main window (information, warning or error icon, the window's caption and the notice's text,
// OK).
void routeNotices();

void setMainWindow(QWidget *window);
QWidget *mainWindow();

} // namespace msgbox

// Runs one event handler's body. An error it raises ends the handler and is shown in the standard
// error box (EFileInUse with inUseText(), exactly); the program then goes on. This is the one place where handlers' errors are caught:
// every slot connected to a user action runs through it.
//
//     connect(Button1, &QPushButton::clicked, this, [this] { guarded([this] { Button1Click(); }); });
//
// Returns true when the body ran to its end.
bool guardedCall(const std::function<void()> &body);

template <typename F>
bool guarded(F &&body)
{
    return guardedCall(std::function<void()>(std::forward<F>(body)));
}
