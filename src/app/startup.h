#pragma once

#include <QString>
#include <functional>

class QApplication;
class TForm1;

namespace startup {

// Runs the program once the settings file's path is fixed: when a copy is already running on
// instanceName, tells it so and returns 0 at once, showing nothing; otherwise sets the
// application up, creates and shows the main window and runs the event loop until the main
// window closes. shown, when given, is called once the window is up and the program is
// listening for other copies (test helpers use it).
int run(QApplication &app, const QString &instanceName,
        const std::function<void(TForm1 &)> &shown = {});

} // namespace startup
