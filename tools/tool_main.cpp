#include "commands.h"
#include "archive/diary_password.h"
#include "platform/exception.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>


void toolWrite(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void toolPrint(const QString &line)
{
    toolWrite(line.toUtf8() + '\n');
}

void toolError(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

static QList<ToolCommand> allCommands()
{
    QList<ToolCommand> all;
    all += archiveCommands();
    all += accountCommands();
    all += richTextCommands();
    all += diaryCommands();
    return all;
}

static int usage(const QList<ToolCommand> &commands)
{
    toolError(QStringLiteral("usage: quillbook-tool [--password P] COMMAND ARGS…"));
    for (const ToolCommand &c : commands)
        toolError(QStringLiteral("  quillbook-tool ") + c.usage);
    return 2;
}

int main(int argc, char **argv)
{
    // Rich text work needs a GUI application object (fonts, text layout), but never a window:
    // run on the offscreen platform unless the caller chose one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QList<ToolCommand> commands = allCommands();
    bool needsGui = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--password") == 0) {
            ++i;
            continue;
        }
        for (const ToolCommand &c : commands) {
            if (c.name == QLatin1String(argv[i]))
                needsGui = c.needsGui;
        }
        break;
    }
    std::unique_ptr<QCoreApplication> app;
    if (needsGui)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);

    QStringList args = QCoreApplication::arguments().mid(1);
    ToolContext context;
    context.password = QString::fromLatin1(kDiaryArchivePassword);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--password") && i + 1 < args.size()) {
            context.password = args[i + 1];
            context.passwordGiven = true;
            args.remove(i, 2);
            break;
        }
    }

    if (args.isEmpty())
        return usage(commands);
    const QString name = args.takeFirst();
    for (const ToolCommand &c : commands) {
        if (c.name != name)
            continue;
        try {
            int status = c.run(context, args);
            std::fflush(stdout);
            return status;
        } catch (const Exception &e) {
            toolError(e.message());
            return 2;
        } catch (const std::bad_alloc &) {
            toolError(QStringLiteral("Out of memory"));
            return 2;
        } catch (const std::exception &e) {
            toolError(QString::fromUtf8(e.what()));
            return 2;
        }
    }
    return usage(commands);
}
