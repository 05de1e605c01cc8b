// quillbook-tool export ARCHIVE --format html|md|txt|pdf|odt [--from D] [--to D] [--per-entry] OUT:
// the diary's entries (those of the date range, else all), in date order, as one file in the
// format (a folder of yyyy/yyyy-MM-dd.md files with --per-entry and Markdown). Dates are ISO
// (2003-09-26). Prints how many entries were written, and each entry left out with why, on
// standard error; status 0 when every chosen entry was written, 1 when some were left out, 2 for
// an error (a wrong password among them; a private diary asks for it as `diary` does).

#include "commands.h"

#include "accounts/messages.h"
#include "archive/archive_reader.h"
#include "diary/diary_book.h"
#include "export/diary_export.h"

#include <optional>

namespace {

const QString kUsage = QStringLiteral(
    "export ARCHIVE --format html|md|txt|pdf|odt [--from D] [--to D] [--per-entry] OUT");

int exportCommand(const ToolContext &context, const QStringList &args)
{
    QStringList plain;
    diary_export::Selection selection;
    diary_export::Options options;
    bool formatGiven = false;
    bool ok = true;
    for (qsizetype i = 0; i < args.size() && ok; ++i) {
        const QString &arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--format") && hasValue) {
            ok = diary_export::formatOf(args[++i], options.format);
            formatGiven = true;
        } else if ((arg == QLatin1String("--from") || arg == QLatin1String("--to")) && hasValue) {
            const QDate date = QDate::fromString(args[++i], Qt::ISODate);
            ok = date.isValid();
            (arg == QLatin1String("--from") ? selection.from : selection.to) = date;
            selection.kind = diary_export::Selection::Kind::DateRange;
        } else if (arg == QLatin1String("--per-entry")) {
            options.perEntry = true;
        } else if (!arg.startsWith(QLatin1String("--"))) {
            plain.append(arg);
        } else {
            ok = false;
        }
    }
    if (!ok || !formatGiven || plain.size() != 2
        || (options.perEntry && options.format != diary_export::Format::Markdown)) {
        toolError(QStringLiteral("usage: quillbook-tool ") + kUsage);
        return 2;
    }

    TArchiveReader reader;
    reader.SetZipName(plain[0]);
    std::optional<DiaryKey> key;
    if (const std::optional<PrivateHeader> header = diary::privateHeaderOf(reader)) {
        key = header->unlock(readPassword(context, QStringLiteral("Password: ")));
        if (!key) {
            toolError(accounts_text::kWrongPassword);
            return 2;
        }
    }
    const diary_export::ExportReport report =
        diary_export::exportDiary(reader, key ? &*key : nullptr, selection, options, plain[1]);
    for (const diary_export::Skipped &skipped : report.skipped)
        toolError(QStringLiteral("skipped %1: %2").arg(skipped.name, skipped.reason));
    toolPrint(QStringLiteral("%1 entries exported").arg(report.exported));
    return report.skipped.isEmpty() ? 0 : 1;
}

} // namespace

QList<ToolCommand> exportCommands()
{
    return {{QStringLiteral("export"), kUsage, exportCommand, true}};
}
