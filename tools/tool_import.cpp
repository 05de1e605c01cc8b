// quillbook-tool import ARCHIVE [--encoding utf8|gbk] [--existing skip|append|replace] FILES…:
// imports dated files into the diary (diary_import: text and Markdown named by a day or with
// dated headings, RTF named by a day, this program's HTML export; other diary programs' exports
// — jrnl, Day One, RedNotebook's data folder or a month file in it, Mini Diary, Mini Diarium,
// Diarium, Journey — and .odt and .docx documents) in one atomic rewrite, a version of the diary
// kept before it. A day that already has an entry is skipped unless --existing says append or
// replace. Text is decoded as UTF-8 or GBK as the bytes show, unless --encoding says which. A
// private diary asks for its password.
//
// Standard output: one line per day, "added", "appended", "replaced" or "skipped", a tab and the
// day (yyyy-MM-dd). Standard error: each file refused ("refused: FILE: reason"), each entry of an
// export that is not imported ("skipped: FILE: where: reason") and each day whose entry cannot
// be read and so was left alone. Status 0, or 1 when anything was refused or skipped; 2 for a
// usage error, a missing archive, a wrong password or an error of the diary (nothing is then
// written).

#include "commands.h"

#include "accounts/messages.h"
#include "archive/archive_writer.h"
#include "crypto/private_header.h"
#include "diary/diary_book.h"
#include "import/importer.h"
#include "platform/files.h"

namespace {

const QString kUsage = QStringLiteral(
    "import ARCHIVE [--encoding utf8|gbk] [--existing skip|append|replace] FILES...");

int usage()
{
    toolError(QStringLiteral("usage: quillbook-tool ") + kUsage);
    return 2;
}

int importCommand(const ToolContext &context, const QStringList &arguments)
{
    diary_import::Encoding encoding = diary_import::Encoding::Auto;
    diary_import::Existing existing = diary_import::Existing::Skip;
    QStringList positional;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg != QLatin1String("--encoding") && arg != QLatin1String("--existing")) {
            positional.append(arg);
            continue;
        }
        if (i + 1 >= arguments.size())
            return usage();
        const QString value = arguments[++i].toLower();
        if (arg == QLatin1String("--encoding") && value == QLatin1String("utf8"))
            encoding = diary_import::Encoding::Utf8;
        else if (arg == QLatin1String("--encoding") && value == QLatin1String("gbk"))
            encoding = diary_import::Encoding::Gbk;
        else if (arg == QLatin1String("--existing") && value == QLatin1String("skip"))
            existing = diary_import::Existing::Skip;
        else if (arg == QLatin1String("--existing") && value == QLatin1String("append"))
            existing = diary_import::Existing::Append;
        else if (arg == QLatin1String("--existing") && value == QLatin1String("replace"))
            existing = diary_import::Existing::Replace;
        else {
            toolError(QStringLiteral("%1: not understood: %2").arg(arg, arguments[i]));
            return 2;
        }
    }
    if (positional.size() < 2)
        return usage();
    const QString archive = positional.takeFirst();
    // A diary is made by creating its user (with its password); importing does not make one.
    if (!files::exists(archive)) {
        toolError(QStringLiteral("%1 does not exist").arg(archive));
        return 2;
    }
    TArchiveWriter writer;
    writer.SetZipName(archive);
    std::optional<DiaryKey> key;
    if (const std::optional<PrivateHeader> header = diary::privateHeaderOf(writer)) {
        key = header->unlock(readPassword(context, QStringLiteral("Password: ")));
        if (!key) {
            toolError(accounts_text::kWrongPassword);
            return 2;
        }
    }
    const std::optional<diary_import::Plan> plan = diary_import::readFiles(positional, encoding);
    const diary_import::Outcome outcome =
        diary_import::apply(*plan, writer, existing, key ? &*key : nullptr);

    QList<std::pair<QDate, QString>> days;
    for (const auto &[list, word] : {std::pair{&outcome.added, "added"}, std::pair{&outcome.appended, "appended"},
                                     std::pair{&outcome.replaced, "replaced"}, std::pair{&outcome.skipped, "skipped"}}) {
        for (const QDate &day : *list)
            days.append({day, QString::fromLatin1(word)});
    }
    std::stable_sort(days.begin(), days.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QByteArray out;
    for (const auto &[day, word] : days)
        out += (word + u'\t' + day.toString(Qt::ISODate) + u'\n').toUtf8();
    toolWrite(out);
    for (const diary_import::Refused &refused : plan->refused)
        toolError(QStringLiteral("refused: %1: %2").arg(refused.path, refused.reason));
    for (const diary_import::Refused &skipped : plan->skipped)
        toolError(QStringLiteral("skipped: %1: %2").arg(skipped.path, skipped.reason));
    for (const auto &[day, problem] : outcome.refused) {
        toolError(QStringLiteral("left alone: %1: %2")
                      .arg(day.toString(Qt::ISODate), diary::problemText(problem)));
    }
    return plan->refused.isEmpty() && plan->skipped.isEmpty() && outcome.refused.isEmpty() ? 0 : 1;
}

} // namespace

QList<ToolCommand> importCommands()
{
    return {{QStringLiteral("import"), kUsage, importCommand, true}};
}
