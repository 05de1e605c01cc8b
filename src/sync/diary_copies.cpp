#include "sync/diary_copies.h"

#include "archive/archive_lock.h"
#include "archive/archive_reader.h"
#include "crypto/private_header.h"
#include "platform/files.h"
#include "sync/entry_sides.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace syncing {

namespace {

// The old format's login token: 13 characters of the DES crypt alphabet.
bool isLoginToken(const QByteArray &comment)
{
    if (comment.size() != 13)
        return false;
    return std::all_of(comment.begin(), comment.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '/';
    });
}

} // namespace

bool changedOnDisk(const TArchiveReader &component)
{
    if (!component.HasDirectory())
        return false;
    struct stat st;
    const QString path = files::followLinks(component.ZipName());
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return true;
    return !(identityOf(st) == component.HeldIdentity());
}

FileIdentity identityOnDisk(const QString &path)
{
    struct stat st;
    const QString target = files::followLinks(path);
    if (target.isEmpty() || ::stat(QFile::encodeName(target).constData(), &st) != 0)
        return {};
    return identityOf(st);
}

QList<ConflictCopy> findCopies(const QString &path, const CopyCheck &check, QList<LeftAlone> *leftAlone)
{
    const QString target = files::followLinks(path);
    if (target.isEmpty())
        return {};
    const QFileInfo info(target);
    const QString original = info.fileName();
    const QDir folder = info.dir();
    QList<ConflictCopy> copies;
    const QStringList names = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const std::optional<ConflictName> parsed = parseConflictName(name);
        if (!parsed || parsed->original != original)
            continue;
        const QString copyPath = folder.filePath(name);
        struct stat st;
        std::optional<LookAlike> why;
        if (::lstat(QFile::encodeName(copyPath).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            why = LookAlike::NotAFile;
        else if (st.st_uid != ::geteuid())
            why = LookAlike::OtherOwner;
        else if (check && !check(copyPath))
            why = LookAlike::NotADiary;
        if (why) {
            if (leftAlone)
                leftAlone->append({copyPath, *why});
            continue;
        }
        copies.append({copyPath, *parsed});
    }
    std::stable_sort(copies.begin(), copies.end(), [](const ConflictCopy &a, const ConflictCopy &b) {
        return a.name.stamp != b.name.stamp ? a.name.stamp < b.name.stamp : a.path < b.path;
    });
    return copies;
}

bool isDiaryArchive(const QString &path)
{
    // A file that is not an archive, or a damaged one, is simply not a diary here: the error
    // has no one to be shown to.
    try {
        TArchiveReader reader;
        reader.SetZipName(path);
        reader.SetIncompleteZipMode(TIncompleteZipMode::izAssumeNotAZip);
        reader.OpenArchive();
        if (!reader.HasDirectory() || !reader.DirectoryProblem().isEmpty() || reader.IsZip64())
            return false;
        const QByteArray comment = reader.ArchiveCommentBytes();
        return isLoginToken(comment) || PrivateHeader::isPrivate(comment);
    } catch (const Exception &) {
        return false;
    }
}

QList<ConflictCopy> findDiaryCopies(const QString &diaryPath, QList<LeftAlone> *leftAlone)
{
    return findCopies(diaryPath, isDiaryArchive, leftAlone);
}

CopySummary summarizeCopy(const QString &diaryPath, const ConflictCopy &copy, const DiaryKey *key)
{
    CopySummary summary;
    summary.copy = copy;
    ArchiveLock lock(diaryPath, ArchiveLock::Shared);
    const std::unique_ptr<detail::Side> diary = detail::readSide(diaryPath);
    const std::unique_ptr<detail::Side> other = detail::readSide(copy.path);
    detail::Contents contents(key);
    for (const QByteArray &name : other->order) {
        const detail::Revision *mine = diary->find(name);
        if (!mine)
            summary.onlyInCopy.append(name);
        else if (!contents.same(*diary, *mine, *other, *other->find(name)))
            summary.differing.append(name);
    }
    for (const QByteArray &name : diary->order) {
        if (!other->find(name))
            summary.onlyInDiary.append(name);
    }
    return summary;
}

std::optional<Unlocked> unlockAny(const QString &diaryPath, const QList<ConflictCopy> &copies,
                                  const QString &password)
{
    QStringList paths{diaryPath};
    for (const ConflictCopy &copy : copies)
        paths.append(copy.path);
    QList<QByteArray> tried;
    for (const QString &path : paths) {
        TArchiveReader reader;
        reader.SetZipName(path);
        reader.OpenArchive();
        const QByteArray comment = reader.ArchiveCommentBytes();
        if (!PrivateHeader::isPrivate(comment) || tried.contains(comment))
            continue;
        tried.append(comment);
        if (std::optional<DiaryKey> key = PrivateHeader::parse(comment).unlock(password))
            return Unlocked{std::move(*key), comment, path};
    }
    return std::nullopt;
}

} // namespace syncing
