#include "commands.h"
#include "accounts/messages.h"
#include "archive/archive_reader.h"
#include "archive/diary_password.h"
#include "crypto/private_header.h"
#include "platform/exception.h"
#include "platform/files.h"

#include <QCoreApplication>
#include <QFile>

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

static void toolErrorRaw(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

// One line of the stream, without its line feed (and a carriage return before it).
static QByteArray readLine(std::FILE *stream)
{
    QByteArray line;
    for (int c = std::fgetc(stream); c != EOF && c != '\n'; c = std::fgetc(stream))
        line.append(char(c));
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

QString readPassword(const ToolContext &context, const QString &prompt)
{
    if (context.passwordGiven)
        return context.password;
    QByteArray line;
    if (!context.passwordFile.isEmpty()) {
        std::FILE *file = std::fopen(QFile::encodeName(context.passwordFile).constData(), "rb");
        if (!file)
            throw EInOutError(QStringLiteral("Cannot read the password file \"%1\"").arg(context.passwordFile));
        line = readLine(file);
        std::fclose(file);
    } else if (isatty(STDIN_FILENO)) {
        toolErrorRaw(prompt.toUtf8());
        termios saved{};
        const bool canHide = tcgetattr(STDIN_FILENO, &saved) == 0;
        if (canHide) {
            termios hidden = saved;
            hidden.c_lflag &= ~tcflag_t(ECHO);
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
        }
        line = readLine(stdin);
        if (canHide)
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        toolErrorRaw("\n");
    } else {
        line = readLine(stdin);
    }
    const QString password = QString::fromUtf8(line);
    line.fill('\0');
    return password;
}

bool passwordWithoutStandardInput(const ToolContext &context)
{
    return context.passwordGiven || !context.passwordFile.isEmpty() || isatty(STDIN_FILENO);
}

DiaryAccess unlockDiary(const ToolContext &context, TArchiveReader &reader, bool dataOnStandardInput)
{
    DiaryAccess access;
    if (!files::exists(reader.ZipName()))
        return access;
    reader.OpenArchive();
    if (!reader.HasDirectory() || !PrivateHeader::isPrivate(reader.ArchiveCommentBytes()))
        return access;
    access.isPrivate = true;
    const PrivateHeader header = PrivateHeader::parse(reader.ArchiveCommentBytes());
    if (dataOnStandardInput && !passwordWithoutStandardInput(context)) {
        toolError(QStringLiteral("This diary is private: give its password with --password-file FILE, "
                                 "since standard input holds the entry; nothing was written"));
        access.refused = true;
        return access;
    }
    access.key = header.unlock(readPassword(context, QStringLiteral("Password: ")));
    if (!access.key) {
        toolError(accounts_text::kWrongPassword);
        access.refused = true;
    }
    return access;
}

static int usage(const QList<ToolCommand> &commands)
{
    toolError(QStringLiteral("usage: quillbook-tool [--password P | --password-file FILE] COMMAND ARGS…"));
    for (const ToolCommand &c : commands)
        toolError(QStringLiteral("  quillbook-tool ") + c.usage);
    return 2;
}

// The command word: the first argument that is not the password option or its value.
static const char *commandWord(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--password") == 0 || std::strcmp(argv[i], "--password-file") == 0) {
            ++i;
            continue;
        }
        return argv[i];
    }
    return nullptr;
}

static int runTool(int &argc, char **argv, const QList<ToolCommand> &commands, const GuiFactory &makeGui)
{
    bool needsGui = false;
    if (const char *word = commandWord(argc, argv)) {
        for (const ToolCommand &c : commands) {
            if (c.name == QLatin1String(word))
                needsGui = c.needsGui;
        }
    }
    // The other commands need no application object: files, text codecs and the clock work
    // without one, and the archive commands start that much sooner. Left to the end of the
    // process, like everything else (see toolMain).
    if (needsGui && makeGui)
        makeGui(argc, argv).release();

    // Decoded as the application object would: by the locale's encoding.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    ToolContext context;
    context.argv = argv;
    context.password = QString::fromLatin1(kDiaryArchivePassword);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--password") && i + 1 < args.size()) {
            context.password = args[i + 1];
            context.passwordGiven = true;
            args.remove(i, 2);
            break;
        }
    }
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--password-file") && i + 1 < args.size()) {
            context.passwordFile = args[i + 1];
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
            return c.run(context, args);
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

void toolMain(int argc, char **argv, const QList<ToolCommand> &commands, const GuiFactory &makeGui)
{
    const int status = runTool(argc, argv, commands, makeGui);
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}
