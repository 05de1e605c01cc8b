#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

// The subcommands of quillbook-tool. Each family lives in its own file and hands its commands to
// the dispatcher in main.cpp. Names and texts arrive as UTF-8 on the command line and are GBK
// inside the diary files.

struct ToolContext {
    QString password;          // the fixed archive password unless --password was given
    bool passwordGiven = false;
};

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

QList<ToolCommand> archiveCommands();    // tool_archive.cpp
QList<ToolCommand> accountCommands();    // tool_accounts.cpp
QList<ToolCommand> richTextCommands();   // tool_richtext.cpp
QList<ToolCommand> diaryCommands();      // tool_diary.cpp
