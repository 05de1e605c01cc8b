// quillbook-tool-text: the commands of quillbook-tool that read rich text. quillbook-tool hands
// them over to this program (see quillbook_tool.cpp); it takes the same command line.

#include "commands.h"

#include <QGuiApplication>

#include <cstdio>

// The toolkit's own remarks (a session without XDG_RUNTIME_DIR, a font fallback) are no business
// of the user's: standard error carries what the commands say, and Qt's criticals.
static void quietToolkit(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietToolkit);
    // Rich text work needs a GUI application object (fonts, text layout), but never a window:
    // run on the offscreen platform unless the caller chose one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    toolMain(argc, argv, richTextCommands() + diaryCommands() + statsCommands() + versionCommands() + exportCommands()
                        + importCommands(),
                    [](int &count, char **values) -> std::unique_ptr<QCoreApplication> {
                        return std::make_unique<QGuiApplication>(count, values);
                    });
}
