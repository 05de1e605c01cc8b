// quillbook-tool versions ARCHIVE: the earlier versions kept of a diary, newest first, one per
// line: the version's name, a tab, and the moment it was replaced in local time
// (yyyy-MM-dd HH:mm:ss), with a tab and "before restore" after a version that holds the diary
// as it was just before a restore.
//
// quillbook-tool restore ARCHIVE VERSION [ENTRY…]: VERSION is a name that "versions" lists, or
// the path of a backup of the diary (backups/backups.h), which is read back before it is used.
// Without entries the whole diary becomes that version again, keeping its password as it is now.
// With entries (their names as the diary shows them, "2003年9月26日") each is brought back from
// the version, replacing the entry of that day, all in one rewrite. Either way the diary as it is
// now is kept first as a version "before restore", which restoring whole undoes the restore. A
// private diary asks for its password (diary::restoreEntries, diary::restoreWhole). An entry the
// version does not hold or cannot read is named on standard error and the status is 1; the
// others are restored all the same.

#include "commands.h"

#include "accounts/messages.h"
#include "archive/archive_writer.h"
#include "backups/backups.h"
#include "crypto/private_header.h"
#include "diary/diary_book.h"
#include "diary/entry_restore.h"
#include "platform/gbk.h"
#include "versions/kept_versions.h"

#include <QFileInfo>

namespace {

// A backup of this diary: one of the backups its folder lists under the diary's name.
bool isBackupOf(const QString &archive, const QString &path)
{
    const QFileInfo file(path);
    for (const backups::Backup &b : backups::list(file.absolutePath(), QFileInfo(archive).fileName())) {
        if (QFileInfo(b.path).fileName() == file.fileName())
            return true;
    }
    return false;
}

int versionsCommand(const ToolContext &, const QStringList &args)
{
    if (args.size() != 1) {
        toolError(QStringLiteral("usage: quillbook-tool versions ARCHIVE"));
        return 2;
    }
    for (const versions::Version &v : versions::list(args[0])) {
        toolPrint(v.path.section(u'/', -1) + u'\t'
                  + v.taken.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                  + (v.beforeRestore ? QStringLiteral("\tbefore restore") : QString()));
    }
    return 0;
}

int restoreCommand(const ToolContext &context, const QStringList &args)
{
    if (args.size() < 2) {
        toolError(QStringLiteral("usage: quillbook-tool restore ARCHIVE VERSION [ENTRY...]"));
        return 2;
    }
    QString version = versions::findVersion(args[0], args[1]);
    if (version.isEmpty() && isBackupOf(args[0], args[1])) {
        const QString problem = backups::verify(args[1]);
        if (!problem.isEmpty()) {
            toolError(QStringLiteral("%1 does not read back: %2").arg(args[1], problem));
            return 2;
        }
        version = args[1];
    }
    if (version.isEmpty()) {
        toolError(QStringLiteral("%1 has no version %2").arg(args[0], args[1]));
        return 2;
    }
    TArchiveWriter writer;
    writer.SetZipName(args[0]);
    std::optional<DiaryKey> key;
    if (const std::optional<PrivateHeader> header = diary::privateHeaderOf(writer)) {
        key = header->unlock(readPassword(context, QStringLiteral("Password: ")));
        if (!key) {
            toolError(accounts_text::kWrongPassword);
            return 2;
        }
    }
    if (args.size() == 2) {
        diary::restoreWhole(version, writer, key ? &*key : nullptr);
        return 0;
    }
    QList<QByteArray> names;
    for (qsizetype i = 2; i < args.size(); ++i)
        names.append(gbk::encodeOrThrow(args[i], QStringLiteral("entry name")));
    const diary::RestoreOutcome outcome = diary::restoreEntries(version, writer, names, key ? &*key : nullptr);
    for (const auto &[name, problem] : outcome.refused)
        toolError(QStringLiteral("%1: not restored (%2)").arg(gbk::decode(name), diary::problemReason(problem)));
    return outcome.refused.isEmpty() ? 0 : 1;
}

} // namespace

QList<ToolCommand> versionCommands()
{
    return {
        {QStringLiteral("versions"), QStringLiteral("versions ARCHIVE"), versionsCommand, false},
        {QStringLiteral("restore"), QStringLiteral("restore ARCHIVE VERSION [ENTRY...]"), restoreCommand, false},
    };
}
