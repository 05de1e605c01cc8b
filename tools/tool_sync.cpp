// quillbook-tool commands for a diary kept in a synchronisation folder, and for its backups.
//
// conflicts ARCHIVE: the conflict copies a sync program left beside the diary, oldest first: the
// copy's file name, then what it holds against the diary as the window's bar says it, and the
// days; files that only look like copies, and why they are left alone. For the user list
// (ARCHIVE named "Diary.dat") the copies and the users only they hold. A private diary asks for
// its password, so that days of the same text count as the same.
//
// merge ARCHIVE [COPY...]: merges the copies named (file names or paths), or all of them, into
// the diary in one rewrite, and prints what the merge did. A private diary asks for its
// password; the merged diary keeps the header that the password opens (the diary's own, else a
// copy's). For "Diary.dat", the user list's copies are merged.
//
// backup ARCHIVE DIR: today's backup of the diary into DIR, read back and rotated; prints where
// it went, or why not (status 1).
//
// backups DIR: the backups in DIR, newest first: file name, tab, day, tab, size in bytes.

#include "commands.h"

#include "accounts/messages.h"
#include "accounts/user_list.h"
#include "archive/archive_reader.h"
#include "backups/backups.h"
#include "crypto/private_header.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "sync/diary_copies.h"
#include "sync/sync_texts.h"
#include "sync/user_list_copies.h"

#include <QFileInfo>

#include <algorithm>

namespace {

int usageError(const QString &usage)
{
    toolError(QStringLiteral("usage: quillbook-tool ") + usage);
    return 2;
}

QString days(const QList<QByteArray> &names)
{
    QStringList shown;
    for (const QByteArray &name : names)
        shown.append(gbk::decode(name));
    return shown.join(QStringLiteral("、"));
}

QString lookAlikeText(syncing::LookAlike why)
{
    switch (why) {
    case syncing::LookAlike::NotAFile:
        return QStringLiteral("not a regular file");
    case syncing::LookAlike::OtherOwner:
        return QStringLiteral("another account's file");
    case syncing::LookAlike::NotADiary:
        break;
    }
    return QStringLiteral("not what it is named a copy of");
}

bool isUserList(const QString &path) { return QFileInfo(path).fileName() == kUserListFileName; }

void printLeftAlone(const QList<syncing::LeftAlone> &leftAlone)
{
    for (const syncing::LeftAlone &l : leftAlone)
        toolPrint(QFileInfo(l.path).fileName() + QStringLiteral(": left alone, ") + lookAlikeText(l.why));
}

// The key of a private diary and the header it opened; nullopt (with the message said) for a
// wrong password; a null key for the old format.
struct Login {
    std::optional<syncing::Unlocked> unlocked;
    bool wrong = false;
};

Login logIn(const ToolContext &context, const QString &archive, const QList<syncing::ConflictCopy> &copies)
{
    Login login;
    TArchiveReader reader;
    reader.SetZipName(archive);
    reader.OpenArchive();
    bool anyPrivate = PrivateHeader::isPrivate(reader.ArchiveCommentBytes());
    for (const syncing::ConflictCopy &copy : copies) {
        TArchiveReader other;
        other.SetZipName(copy.path);
        other.OpenArchive();
        anyPrivate = anyPrivate || PrivateHeader::isPrivate(other.ArchiveCommentBytes());
    }
    if (!anyPrivate)
        return login;
    login.unlocked = syncing::unlockAny(archive, copies, readPassword(context, QStringLiteral("Password: ")));
    login.wrong = !login.unlocked;
    if (login.wrong)
        toolError(accounts_text::kWrongPassword);
    return login;
}

int conflictsCommand(const ToolContext &context, const QStringList &args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("conflicts ARCHIVE"));
    QList<syncing::LeftAlone> leftAlone;
    if (isUserList(args[0])) {
        const QStringList names = files::exists(args[0]) ? readUserList(args[0]) : QStringList();
        for (const syncing::ConflictCopy &copy : syncing::findUserListCopies(args[0], &leftAlone)) {
            QStringList only;
            for (const QString &name : readUserList(copy.path)) {
                if (!names.contains(name) && !only.contains(name))
                    only.append(name);
            }
            toolPrint(QFileInfo(copy.path).fileName());
            toolPrint(QStringLiteral("  只在副本里的用户：") + (only.isEmpty() ? QStringLiteral("无") : only.join(QStringLiteral("、"))));
        }
        printLeftAlone(leftAlone);
        return 0;
    }
    const QList<syncing::ConflictCopy> copies = syncing::findDiaryCopies(args[0], &leftAlone);
    const Login login = logIn(context, args[0], copies);
    if (login.wrong)
        return 2;
    for (const syncing::ConflictCopy &copy : copies) {
        const syncing::CopySummary summary =
            syncing::summarizeCopy(args[0], copy, login.unlocked ? &login.unlocked->key : nullptr);
        toolPrint(QFileInfo(copy.path).fileName());
        toolPrint(QStringLiteral("  ") + sync_text::copyNotice(summary));
        if (!summary.onlyInCopy.isEmpty())
            toolPrint(QStringLiteral("  只在副本里：") + days(summary.onlyInCopy));
        if (!summary.differing.isEmpty())
            toolPrint(QStringLiteral("  两边不同：") + days(summary.differing));
        if (!summary.onlyInDiary.isEmpty())
            toolPrint(QStringLiteral("  只在这本日记里：") + days(summary.onlyInDiary));
    }
    printLeftAlone(leftAlone);
    return 0;
}

int mergeCommand(const ToolContext &context, const QStringList &args)
{
    if (args.isEmpty())
        return usageError(QStringLiteral("merge ARCHIVE [COPY...]"));
    if (isUserList(args[0])) {
        if (args.size() > 1)
            return usageError(QStringLiteral("merge Diary.dat"));
        const syncing::UserListMerge merged = syncing::mergeUserListCopies(args[0]);
        toolPrint(QStringLiteral("合并了%1个副本，新加的用户：%2")
                      .arg(merged.copyVersions.size())
                      .arg(merged.added.isEmpty() ? QStringLiteral("无") : merged.added.join(QStringLiteral("、"))));
        return 0;
    }
    const QList<syncing::ConflictCopy> found = syncing::findDiaryCopies(args[0]);
    QList<syncing::ConflictCopy> chosen;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString wanted = QFileInfo(args[i]).fileName();
        const auto it = std::find_if(found.begin(), found.end(), [&](const syncing::ConflictCopy &c) {
            return QFileInfo(c.path).fileName() == wanted;
        });
        if (it == found.end()) {
            toolError(QStringLiteral("%1 is not a conflict copy of %2").arg(args[i], args[0]));
            return 2;
        }
        chosen.append(*it);
    }
    if (args.size() == 1)
        chosen = found;
    if (chosen.isEmpty()) {
        toolPrint(QStringLiteral("%1 has no conflict copies").arg(args[0]));
        return 0;
    }
    const Login login = logIn(context, args[0], chosen);
    if (login.wrong)
        return 2;
    syncing::MergeRequest request{args[0], chosen, nullptr, {}};
    if (login.unlocked) {
        request.key = &login.unlocked->key;
        request.comment = login.unlocked->comment;
    }
    toolPrint(sync_text::mergeReportText(syncing::mergeCopies(request)));
    return 0;
}

int backupCommand(const ToolContext &, const QStringList &args)
{
    if (args.size() != 2)
        return usageError(QStringLiteral("backup ARCHIVE DIR"));
    const backups::Outcome outcome = backups::backUp(args[0], args[1]);
    if (!outcome.ok()) {
        toolError(backups::outcomeText(outcome));
        return 1;
    }
    toolPrint(backups::outcomeText(outcome));
    if (!outcome.detail.isEmpty())
        toolError(QStringLiteral("warning: the diary itself is damaged: ") + outcome.detail);
    return 0;
}

int backupsCommand(const ToolContext &, const QStringList &args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("backups DIR"));
    for (const backups::Backup &b : backups::list(args[0])) {
        toolPrint(QFileInfo(b.path).fileName() + u'\t' + b.day.toString(Qt::ISODate) + u'\t'
                  + QString::number(b.size));
    }
    return 0;
}

} // namespace

QList<ToolCommand> syncCommands()
{
    return {
        {QStringLiteral("conflicts"), QStringLiteral("conflicts ARCHIVE"), conflictsCommand, false},
        {QStringLiteral("merge"), QStringLiteral("merge ARCHIVE [COPY...]"), mergeCommand, false},
        {QStringLiteral("backup"), QStringLiteral("backup ARCHIVE DIR"), backupCommand, false},
        {QStringLiteral("backups"), QStringLiteral("backups DIR"), backupsCommand, false},
    };
}
