// quillbook-tool: the archive and account commands run here. The commands that read rich text
// need Qt's text layout, and loading Qt Gui with its font and display libraries takes longer
// than a whole archive command (saving an entry into a ten-year diary); so they live in the
// companion program quillbook-tool-text, and this one hands them over with exec, command line
// and all. Beside this program in a build folder; under ../libexec/quillbook when installed.

#include "commands.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

const char kCompanion[] = "quillbook-tool-text";

int handOver(const ToolContext &context, const QStringList &)
{
    const QString dir = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
    const QString candidates[] = {
        dir + QLatin1Char('/') + QLatin1String(kCompanion),
        dir + QLatin1String("/" QB_TOOL_TEXT_RELATIVE "/") + QLatin1String(kCompanion),
    };
    QString path = candidates[1];
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isExecutable()) {
            path = candidate;
            break;
        }
    }
    const QByteArray native = QFile::encodeName(path);
    context.argv[0] = const_cast<char *>(native.constData());
    ::execv(native.constData(), context.argv);
    toolError(QStringLiteral("Cannot run %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    return 2;
}

// Names and usage lines of the companion's commands (tool_richtext.cpp, tool_diary.cpp,
// tool_stats.cpp).
QList<ToolCommand> handedOverCommands()
{
    QList<ToolCommand> commands;
    for (const auto &[name, usage] : {std::pair{"rtf-text", "rtf-text FILE"},
                                      std::pair{"rtf-html", "rtf-html FILE"},
                                      std::pair{"diary", "diary [--by-date] [--lunar] ARCHIVE"},
                                      std::pair{"search", "search [--by-date] ARCHIVE TEXT [--weather W] [--mood M] [--from DATE] [--to DATE] [--tag T]..."},
                                      std::pair{"tags", "tags ARCHIVE"},
                                      std::pair{"protect", "protect ARCHIVE"},
                                      std::pair{"unprotect", "unprotect ARCHIVE"},
                                      std::pair{"stats", "stats ARCHIVE [--year Y] [--json]"},
                                      std::pair{"versions", "versions ARCHIVE"},
                                      std::pair{"restore", "restore ARCHIVE VERSION [ENTRY...]"},
                                      std::pair{"export", "export ARCHIVE --format html|md|txt|pdf|odt [--from D] [--to D] [--per-entry] OUT"},
                                      std::pair{"import", "import ARCHIVE [--encoding utf8|gbk] [--existing skip|append|replace] FILES..."}}) {
        commands.append({QString::fromLatin1(name), QString::fromLatin1(usage), handOver, false});
    }
    return commands;
}

} // namespace

int main(int argc, char **argv)
{
    toolMain(argc, argv, archiveCommands() + accountCommands() + syncCommands() + handedOverCommands(), {});
}
