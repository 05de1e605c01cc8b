#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include "crypto/secret.h"

#include <functional>
#include <memory>
#include <optional>

class QCoreApplication;

// The subcommands of quillbook-tool. Each family lives in its own file and hands its commands to
// the dispatcher in main.cpp. Names and texts arrive as UTF-8 on the command line and are GBK
// inside the diary files.

struct ToolContext {
    QString password;          // the fixed archive password unless --password was given
    bool passwordGiven = false;
    QString passwordFile;      // --password-file FILE: a private diary's password is read from it
    char **argv = nullptr;     // the command line as given, for handing a command over
};

// The password of a private diary: --password P when given, else the first line of
// --password-file FILE, else a line typed on the terminal without echo (prompt on standard
// error) when standard input is a terminal, else the first line of standard input. The line
// feed (and a carriage return before it) ends the line and is not part of the password.
QString readPassword(const ToolContext &context, const QString &prompt);

// Whether the password can be had without standard input: given, in a file, or typed on a
// terminal. A command that reads its data from standard input needs one of these.
bool passwordWithoutStandardInput(const ToolContext &context);

// The key of the diary the reader names, for a command that reads or writes its entries: none
// for an old-format diary (or no archive), the key the password unlocks for a private one (its
// comment a private header). refused (said on standard error) for a wrong password, or when the
// password would have to come from standard input and dataOnStandardInput says that holds the
// command's data; the command then writes nothing and ends with status 2.
struct DiaryAccess {
    bool isPrivate = false;
    std::optional<DiaryKey> key;
    bool refused = false;
    const DiaryKey *keyPointer() const { return key ? &*key : nullptr; }
};
class TArchiveReader;
DiaryAccess unlockDiary(const ToolContext &context, TArchiveReader &reader, bool dataOnStandardInput = false);

// Output helpers: raw bytes to standard output, UTF-8 text lines to standard output and error.
void toolWrite(const QByteArray &bytes);
void toolPrint(const QString &line);
void toolError(const QString &line);

struct ToolCommand {
    QString name;
    QString usage;      // e.g. "list ARCHIVE"
    // Returns the process exit status. Errors of the program's components are thrown and
    // reported by the dispatcher on standard error with status 2.
    std::function<int(const ToolContext &, const QStringList &args)> run;
    // Whether the command needs the GUI application object (fonts, text layout). The others run
    // under a core application, which starts several times faster.
    bool needsGui = true;
};

// A component a command works with, left for the end of the process to take away: the tool
// ends right after its command (toolMain leaves with _Exit), and a ten-year diary's directory
// is thousands of records that would otherwise be freed one by one for nothing.
template <typename T>
T &untilExit()
{
    return *new T;
}

// Makes the GUI application object for a command that needs one.
using GuiFactory = std::function<std::unique_ptr<QCoreApplication>(int &argc, char **argv)>;

// Runs the command the arguments name, with --password P taken out wherever it stands, and
// reports the components' errors on standard error with status 2. Without a GUI factory every
// command runs under a core application. Ends the process: output is flushed, and nothing is
// freed or destroyed on the way out.
[[noreturn]] void toolMain(int argc, char **argv, const QList<ToolCommand> &commands,
                           const GuiFactory &makeGui);

// In quillbook-tool:
QList<ToolCommand> archiveCommands();    // tool_archive.cpp
QList<ToolCommand> accountCommands();    // tool_accounts.cpp
QList<ToolCommand> syncCommands();       // tool_sync.cpp
// In quillbook-tool-text, the companion that reads rich text (quillbook_tool.cpp hands these
// commands over to it):
QList<ToolCommand> richTextCommands();   // tool_richtext.cpp
QList<ToolCommand> diaryCommands();      // tool_diary.cpp
QList<ToolCommand> statsCommands();      // tool_stats.cpp
QList<ToolCommand> versionCommands();    // tool_versions.cpp
QList<ToolCommand> exportCommands();     // tool_export.cpp
QList<ToolCommand> importCommands();     // tool_import.cpp
