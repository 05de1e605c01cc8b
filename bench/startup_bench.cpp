// Start-up of the main window against a minimal Qt window, side by side.
//
//   startup-bench [ROUNDS]            runs ROUNDS (default 15) pairs of fresh processes, taking
//                                     turns (a machine whose speed drifts tilts neither), and
//                                     prints the median of each and their ratio;
//   startup-bench once minimal|main   one start: prints the milliseconds from the start of main()
//                                     to the window's first paint, then quits.
//
// Both contenders pay for the process and QApplication alike; "main" then builds the program's
// window as the program does (the toolkit's translations, the skins, every page it builds at
// start-up, fitted to the screen) in a scratch folder of its own, so no diary or settings file of
// the user's is read.
#include "app/main_form.h"
#include "app/startup.h"
#include "settings/ini.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocale>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

QElapsedTimer g_sinceMain;

// Quits at the first paint of the watched window, printing the time it took.
class FirstPaint : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            std::printf("%.2f\n", g_sinceMain.nsecsElapsed() / 1e6);
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

int once(int argc, char **argv, bool program)
{
    QTemporaryDir scratch;
    if (program) {
        QDir::setCurrent(scratch.path());
        ini::setSettingsPath(scratch.filePath(QStringLiteral("main.ini")));
    }
    QApplication app(argc, argv);
    FirstPaint watch;
    if (!program) {
        QWidget window;
        window.resize(635, 448);
        window.installEventFilter(&watch);
        window.show();
        return app.exec();
    }
    // The stages, on the standard error stream, for whoever looks where the time goes.
    const auto stage = [](const char *name) {
        std::fprintf(stderr, "%8.2f ms  %s\n", g_sinceMain.nsecsElapsed() / 1e6, name);
    };
    stage("application");
    startup::installToolkitTranslations(app, QLocale::system());
    stage("translations");
    TForm1 form;
    stage("window built");
    if (const QScreen *screen = form.screen())
        form.fitToScreen(screen->availableGeometry());
    form.installEventFilter(&watch);
    form.show();
    stage("shown");
    return app.exec();
}

double startOnce(const QString &self, const char *which)
{
    QProcess process;
    process.start(self, {QStringLiteral("once"), QString::fromLatin1(which)});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return -1;
    return process.readAllStandardOutput().trimmed().toDouble();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    g_sinceMain.start();
    if (argc >= 3 && std::strcmp(argv[1], "once") == 0)
        return once(argc, argv, std::strcmp(argv[2], "main") == 0);

    const int rounds = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 15;
    const QString self = QString::fromLocal8Bit(argv[0]);
    std::vector<double> minimal, program;
    startOnce(self, "minimal");   // warms the caches of both (fonts, libraries)
    startOnce(self, "main");
    for (int i = 0; i < rounds; ++i) {
        const double a = startOnce(self, "minimal");
        const double b = startOnce(self, "main");
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "a start failed\n");
            return 1;
        }
        minimal.push_back(a);
        program.push_back(b);
    }
    const double m = median(minimal), p = median(program);
    std::printf("start to first paint, median of %d: minimal Qt window %.1f ms, Quillbook %.1f ms, "
                "ratio %.2f\n",
                rounds, m, p, p / m);
    return 0;
}
