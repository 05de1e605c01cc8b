#pragma once

#include <QString>
#include <functional>

class QApplication;
class QCoreApplication;
class QLocale;
class TForm1;

namespace startup {

// Loads the toolkit's own translations (its standard dialogs and buttons: OK, Cancel, the font,
// print and file dialogs) for the system's language, and Chinese when the toolkit has none for
// it (an English system among them: the program's own texts are Chinese, so its dialogs are
// too). Returns the language loaded ("zh_CN", "ja", ...), empty when no translation could be
// found. The program's own texts are not translated. translationsPath: where the toolkit's .qm
// files are; empty for the toolkit's installed ones.
QString installToolkitTranslations(QCoreApplication &app, const QLocale &system,
                                   const QString &translationsPath = {});

// Runs the program once the settings file's path is fixed: when a copy is already running on
// instanceName, tells it so and returns 0 at once, showing nothing; otherwise sets the
// application up, creates and shows the main window and runs the event loop until the main
// window closes. shown, when given, is called once the window is up and the program is
// listening for other copies (test helpers use it).
int run(QApplication &app, const QString &instanceName,
        const std::function<void(TForm1 &)> &shown = {});

} // namespace startup
