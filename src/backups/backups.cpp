#include "backups/backups.h"

#include "archive/archive_reader.h"
#include "archive/diary_password.h"
#include "crypto/private_format.h"
#include "crypto/private_header.h"
#include "platform/exception.h"
#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

namespace backups {
namespace {

std::function<QDate()> &clock()
{
    static std::function<QDate()> instance;
    return instance;
}

QByteArray native(const QString &path) { return QFile::encodeName(path); }

// What verify() says of a file whose directory does not read: no diary archive at all.
const QString kNoDirectory = QStringLiteral("not a readable diary archive");

QString nameOf(const QString &diaryName, const QDate &day)
{
    return diaryName + u'-' + day.toString(QStringLiteral("yyyy-MM-dd"));
}

QString reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

Outcome failed(int error)
{
    Outcome outcome;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        outcome.failure = Failure::FolderMissing;
        break;
    case EROFS:
    case EACCES:
    case EPERM:
        outcome.failure = Failure::ReadOnly;
        break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        outcome.failure = Failure::Full;
        break;
    default:
        outcome.failure = Failure::Other;
        break;
    }
    outcome.detail = reason(error);
    return outcome;
}

void syncFolder(const QString &folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The copy's pages are dropped from memory, so that reading it back reads the drive.
void forgetCached(const QString &path)
{
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

// True when the file holds exactly the bytes of the open file fd.
bool sameBytes(const QString &path, int fd, qint64 size)
{
    QFile copy(path);
    if (!copy.open(QIODevice::ReadOnly) || copy.size() != size)
        return false;
    constexpr qint64 kPiece = qint64(1) << 20;
    QByteArray theirs(qsizetype(qMin(size, kPiece)), Qt::Uninitialized);
    for (qint64 at = 0; at < size;) {
        const QByteArray mine = copy.read(kPiece);
        if (mine.isEmpty())
            return false;
        qsizetype got = 0;
        while (got < mine.size()) {
            const ssize_t n = ::pread(fd, theirs.data() + got, size_t(mine.size() - got), at + got);
            if (n <= 0)
                return false;
            got += n;
        }
        if (std::memcmp(mine.constData(), theirs.constData(), size_t(mine.size())) != 0)
            return false;
        at += mine.size();
    }
    return true;
}

int rotate(const QString &folder, const QString &diaryName)
{
    const QList<Backup> all = list(folder, diaryName);
    QList<QDate> days;
    for (const Backup &b : all)
        days.append(b.day);
    int removed = 0;
    for (int position : rotationRemoves(days))
        removed += ::unlink(native(all[position].path).constData()) == 0 ? 1 : 0;
    return removed;
}

} // namespace

void setClock(std::function<QDate()> c) { clock() = std::move(c); }

QDate today() { return clock() ? clock()() : QDate::currentDate(); }

QList<Backup> list(const QString &folder, const QString &diaryName)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(.+)-(\d{4}-\d{2}-\d{2})$)"));
    QList<Backup> found;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QRegularExpressionMatch m = pattern.match(name);
        if (!m.hasMatch() || (!diaryName.isEmpty() && m.captured(1) != diaryName))
            continue;
        const QDate day = QDate::fromString(m.captured(2), QStringLiteral("yyyy-MM-dd"));
        struct stat st;
        const QString path = dir.filePath(name);
        if (!day.isValid() || ::lstat(native(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        found.append({path, m.captured(1), day, qint64(st.st_size)});
    }
    std::sort(found.begin(), found.end(), [](const Backup &a, const Backup &b) {
        return a.day != b.day ? a.day > b.day : a.diaryName < b.diaryName;
    });
    return found;
}

QList<int> rotationRemoves(const QList<QDate> &daysNewestFirst)
{
    QList<int> removes;
    QList<QDate> days;
    QList<QDate> months;   // the first day of each month kept
    for (int i = 0; i < daysNewestFirst.size(); ++i) {
        const QDate day = daysNewestFirst[i];
        const QDate month(day.year(), day.month(), 1);
        if (days.contains(day)) {
            removes.append(i);
        } else if (days.size() < kDailyBackups) {
            days.append(day);
        } else if (!months.contains(month) && months.size() < kMonthlyBackups) {
            months.append(month);
        } else {
            removes.append(i);
        }
    }
    return removes;
}

QString verify(const QString &path)
{
    // Whatever the drive gives back, the answer is a text: nothing of it reaches the window as
    // an error.
    try {
        TArchiveReader reader;
        reader.SetZipName(path);
        reader.SetPassword(QString::fromLatin1(kDiaryArchivePassword));
        reader.SetIncompleteZipMode(TIncompleteZipMode::izAssumeNotAZip);
        reader.OpenArchive();
        if (!reader.HasDirectory())
            return kNoDirectory;
        if (!reader.DirectoryProblem().isEmpty())
            return kNoDirectory + QStringLiteral(": ") + reader.DirectoryProblem();
        const QByteArray comment = reader.ArchiveCommentBytes();
        if (PrivateHeader::isPrivate(comment))
            PrivateHeader::parse(comment);
        const int count = reader.EntryCount();
        std::optional<TArchiveReader::HeldFile> held;
        if (count > 0)
            held.emplace(reader);
        QByteArray data;
        for (int i = 0; i < count; ++i) {
            const bool sealed = reader.Entry(i).method == private_format::kPrivateMethod;
            const bool intact = sealed ? reader.ExtractStoredData(i, data) : reader.ExtractEntry(i, data);
            if (!intact)
                return QStringLiteral("entry %1 (%2) does not read back").arg(i).arg(reader.EntryName(i));
        }
    } catch (const Exception &e) {
        return kNoDirectory + QStringLiteral(": ") + e.message();
    }
    return {};
}

Outcome backUp(const QString &diaryPath, const QString &folder)
{
    const QString diary = files::followLinks(diaryPath);
    if (diary.isEmpty() || !files::exists(diary)) {
        Outcome outcome;
        outcome.failure = Failure::DiaryMissing;
        return outcome;
    }
    struct stat st;
    if (::stat(native(folder).constData(), &st) != 0)
        return failed(errno);
    if (!S_ISDIR(st.st_mode))
        return failed(ENOTDIR);

    const QString diaryName = QFileInfo(diaryPath).fileName();
    const QString target = QDir(folder).filePath(nameOf(diaryName, today()));
    const QString unverified = QDir(folder).filePath(u'.' + nameOf(diaryName, today()) + QStringLiteral(".unverified"));

    // The lock only while the file is opened: the descriptor keeps that whole file, which a
    // rewrite replaces and never changes, so a slow drive keeps no writer waiting.
    int fd = -1;
    {
        files::FolderLock lock(diaryPath, files::FolderLock::Shared);
        if (lock.busy()) {
            Outcome outcome;
            outcome.failure = Failure::DiaryInUse;
            return outcome;
        }
        fd = ::open(native(diary).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            Outcome outcome;
            outcome.failure = Failure::DiaryMissing;
            outcome.detail = reason(errno);
            return outcome;
        }
    }
    const auto closeDiary = qScopeGuard([fd] { ::close(fd); });
    struct stat source;
    ::fstat(fd, &source);
    {
        files::AtomicWriter::removeLeftovers(unverified);
        files::AtomicWriter out(unverified, files::AtomicWriter::RefuseLinks);
        if (!out.isOpen() || out.copyFrom(fd, 0, source.st_size) != source.st_size || !out.commit())
            return failed(out.error() ? out.error() : EIO);
    }
    // Read back from the drive: the very bytes of the diary, and an archive whose directory
    // reads. An entry that does not read back intact while the bytes are the diary's is damaged
    // in the diary itself: the backup is as good as the diary, it counts, and detail says so.
    forgetCached(unverified);
    const QString problem = verify(unverified);
    const bool faithful = sameBytes(unverified, fd, source.st_size);
    if (!faithful || problem.startsWith(kNoDirectory)) {
        ::unlink(native(unverified).constData());
        Outcome outcome;
        outcome.failure = Failure::NotVerified;
        outcome.detail = faithful ? problem : QStringLiteral("the bytes read back differ from the diary's");
        return outcome;
    }
    if (::rename(native(unverified).constData(), native(target).constData()) != 0) {
        const int error = errno;
        ::unlink(native(unverified).constData());
        return failed(error);
    }
    syncFolder(folder);
    Outcome outcome;
    outcome.path = target;
    outcome.detail = problem;
    outcome.removed = rotate(folder, diaryName);
    return outcome;
}

bool dueToday(const QString &diaryPath, const QString &folder)
{
    return !files::exists(QDir(folder).filePath(nameOf(QFileInfo(diaryPath).fileName(), today())));
}

QString outcomeText(const Outcome &outcome)
{
    switch (outcome.failure) {
    case Failure::None:
        return QStringLiteral("已备份到“%1”。").arg(QDir::toNativeSeparators(outcome.path));
    case Failure::FolderMissing:
        return QStringLiteral("备份失败：找不到备份文件夹（驱动器没有接上？），稍后会再试。");
    case Failure::ReadOnly:
        return QStringLiteral("备份失败：备份文件夹不能写入（%1），稍后会再试。").arg(outcome.detail);
    case Failure::Full:
        return QStringLiteral("备份失败：备份所在的磁盘已满，稍后会再试。");
    case Failure::DiaryMissing:
        return QStringLiteral("备份失败：日记文件不存在。");
    case Failure::DiaryInUse:
        return QStringLiteral("备份失败：日记正被另一个程序使用，稍后会再试。");
    case Failure::NotVerified:
        return QStringLiteral("备份失败：写入的备份读回来不对（%1），已经丢弃，稍后会再试。").arg(outcome.detail);
    case Failure::Other:
        break;
    }
    return QStringLiteral("备份失败：%1，稍后会再试。").arg(outcome.detail);
}

} // namespace backups
