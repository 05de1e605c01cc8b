#include "files.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>

#include <cerrno>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

QByteArray nativePath(const QString &path) { return QFile::encodeName(path); }

// The folder part of an absolute path, taken as it stands: ".." is not folded away, since the
// component before it may be a link to another folder.
QString folderPart(const QString &absolute)
{
    const qsizetype slash = absolute.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : absolute.left(slash);
}

QString namePart(const QString &absolute)
{
    return absolute.mid(absolute.lastIndexOf(QLatin1Char('/')) + 1);
}

// The most links followed from one path, as the kernel allows (MAXSYMLINKS).
constexpr int kMaxLinks = 40;

struct HeldLock {
    int fd = -1;
    int count = 0;
    FolderLock::Mode mode = FolderLock::Shared;
    // The lock file's paths as requests have spelled them, so that a nested request (one for
    // every entry a listing reads) finds its lock without opening the file again.
    QStringList spellings;
};

QMutex g_lockMutex;
QHash<std::pair<quint64, quint64>, HeldLock> &heldLocks()
{
    static QHash<std::pair<quint64, quint64>, HeldLock> held;
    return held;
}

int g_lockWaitMs = kLockWaitMs;

// How often a lock file that another one replaced under its name is opened again before the
// last one opened is taken as it is.
constexpr int kLockFileAttempts = 8;

enum class Take { Taken, Busy, Failed };

// flock without blocking, tried again with a growing pause until the wait is over, so that a
// lock held for long by another program ends in an error instead of a frozen window.
Take takeWithin(int fd, int operation, int waitMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0)
            return Take::Taken;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return Take::Failed;
        if (Clock::now() >= deadline)
            return Take::Busy;
        std::this_thread::sleep_for(pause);
        pause = qMin(pause * 2, std::chrono::milliseconds(20));
    }
}

// Opens (creating when needed) the lock file of a folder; -1 and errno on failure, else the
// descriptor and the file's status. Readers who cannot write there may still open an existing
// lock file for reading.
int openLockFile(const QString &folder, const QByteArray &path, FolderLock::Mode mode, struct stat *st)
{
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.constData(), O_RDWR | kFlags);
    if (fd < 0 && errno == ENOENT) {
        struct stat owner;
        if (::stat(nativePath(folder).constData(), &owner) != 0)
            return -1;
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | kFlags, 0600);
        if (fd >= 0) {
            // Whoever creates it (root, say, running the tool in a user's folder), the lock file
            // belongs with the folder, or its owner could never lock it again.
            if (::fchown(fd, owner.st_uid, owner.st_gid) != 0)
                (void)::fchown(fd, uid_t(-1), owner.st_gid);
            ::fchmod(fd, 0600 | ((owner.st_mode & S_IWGRP) ? 0060 : 0));
        } else if (errno == EEXIST) {
            fd = ::open(path.constData(), O_RDWR | kFlags);
        }
    }
    if (fd < 0 && mode == FolderLock::Shared && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = ::open(path.constData(), O_RDONLY | kFlags);
    if (fd < 0)
        return -1;
    if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

FileFaults::Mode g_faultMode = FileFaults::Off;
int g_faultStep = 0;
int g_stepsTaken = 0;

} // namespace

QString followLinks(const QString &path, bool *dangling, std::optional<uid_t> onlyOwner)
{
    if (dangling)
        *dangling = false;
    // Run for every operation on an archive, so the path is not cleaned: the kernel reads "."
    // and ".." in it as well as any cleaning would.
    QString current = path.startsWith(QLatin1Char('/')) ? path : QDir::currentPath() + QLatin1Char('/') + path;
    for (int links = 0;; ++links) {
        struct stat st;
        if (::lstat(nativePath(current).constData(), &st) != 0) {
            if (dangling && links > 0 && (errno == ENOENT || errno == ENOTDIR))
                *dangling = true;
            return current;
        }
        if (!S_ISLNK(st.st_mode))
            return current;
        if (onlyOwner && st.st_uid != *onlyOwner) {
            errno = EPERM;
            return {};
        }
        if (links == kMaxLinks) {
            errno = ELOOP;
            return {};
        }
        QByteArray target(qsizetype(st.st_size > 0 ? st.st_size : 255) + 1, Qt::Uninitialized);
        ssize_t n;
        while ((n = ::readlink(nativePath(current).constData(), target.data(), size_t(target.size())))
               == ssize_t(target.size()))
            target.resize(target.size() * 2);
        if (n < 0)
            return current;
        target.truncate(n);
        const QString next = QFile::decodeName(target);
        current = next.startsWith(QLatin1Char('/')) ? next : folderPart(current) + QLatin1Char('/') + next;
    }
}

bool makePrivateFolders(const QString &path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    qsizetype from = 1;
    for (;;) {
        const qsizetype slash = absolute.indexOf(QLatin1Char('/'), from);
        const QString part = slash < 0 ? absolute : absolute.left(slash);
        // An existing folder answers EEXIST and is left as it is.
        ::mkdir(nativePath(part).constData(), 0700);
        if (slash < 0)
            break;
        from = slash + 1;
    }
    struct stat st;
    return ::stat(nativePath(absolute).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

Folder::~Folder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Folder::Folder(Folder &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)), m_refusal(other.m_refusal),
      m_error(other.m_error)
{
}

Folder &Folder::operator=(Folder &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_refusal = other.m_refusal;
        m_error = other.m_error;
    }
    return *this;
}

Folder Folder::refused(const QString &path, Refusal why, int error)
{
    Folder folder;
    folder.m_path = path;
    folder.m_refusal = why;
    folder.m_error = error;
    return folder;
}

Folder Folder::open(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const int fd = ::open(nativePath(absolute).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return refused(absolute, errno == ENOTDIR ? Refusal::NotAFolder : Refusal::None, errno);
    return Folder(fd, absolute);
}

Folder Folder::child(const QString &name, uid_t owner, gid_t group, bool create, mode_t mode, bool tighten) const
{
    const QString path = filePath(name);
    if (m_fd < 0)
        return refused(path, Refusal::None, m_error ? m_error : EBADF);
    const QByteArray native = nativePath(name);
    bool made = false;
    if (create) {
        made = ::mkdirat(m_fd, native.constData(), mode) == 0;
        if (!made && errno != EEXIST)
            return refused(path, Refusal::None, errno);
    }
    const int fd = ::openat(m_fd, native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        struct stat st;
        if (::fstatat(m_fd, native.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            return refused(path, S_ISLNK(st.st_mode) ? Refusal::Link : Refusal::NotAFolder, err);
        return refused(path, Refusal::None, err);
    }
    Folder folder(fd, path);
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return refused(path, Refusal::None, errno);
    // Made by root for a user (the tool run on someone's diary): the folder is theirs.
    if (made && (st.st_uid != owner || st.st_gid != group)) {
        if (::fchown(fd, owner, group) != 0)
            (void)::fchown(fd, uid_t(-1), group);
        ::fstat(fd, &st);
    }
    if (st.st_uid != owner)
        return refused(path, Refusal::ForeignOwner, EPERM);
    if ((made || tighten) && (st.st_mode & 07777) != mode && ::fchmod(fd, mode) != 0)
        return refused(path, Refusal::None, errno);
    return folder;
}

QString Folder::errorString() const
{
    switch (m_refusal) {
    case Refusal::Link: return QString(text::kFolderIsLink).arg(m_path);
    case Refusal::NotAFolder: return QString(text::kNotAFolder).arg(m_path);
    case Refusal::ForeignOwner: return QString(text::kFolderOfAnother).arg(m_path);
    case Refusal::None: break;
    }
    return QString::fromLocal8Bit(std::strerror(m_error));
}

QStringList Folder::names() const
{
    QStringList names;
    if (m_fd < 0)
        return names;
    const int fd = ::openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name != "." && name != "..")
            names.append(QFile::decodeName(name.toByteArray()));
    }
    ::closedir(dir);
    return names;
}

bool Folder::remove(const QString &name) const
{
    return m_fd >= 0 && ::unlinkat(m_fd, nativePath(name).constData(), 0) == 0;
}

bool Folder::contains(const QString &name) const
{
    struct stat st;
    return m_fd >= 0 && ::fstatat(m_fd, nativePath(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool Folder::sync() const
{
    if (!FileFaults::beforeStep(FileFaults::Step::SyncFolder))
        return false;
    return m_fd >= 0 && ::fsync(m_fd) == 0;
}

FilePlace FilePlace::of(const QString &filePath)
{
    FilePlace place;
    place.owner = ::geteuid();
    place.group = ::getegid();
    const QString file = followLinks(filePath);
    if (file.isEmpty())
        return place;
    place.name = namePart(file);
    place.folder = Folder::open(folderPart(file));
    struct stat st;
    if (place.folder.isOpen()
        && ::fstatat(place.folder.fd(), nativePath(place.name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
        && S_ISREG(st.st_mode)) {
        place.exists = true;
        place.owner = st.st_uid;
        place.group = st.st_gid;
    }
    return place;
}

Folder FilePlace::keptFolder(const QString &kind, bool create) const
{
    Folder top = folder.child(kind, owner, group, create);
    return top.isOpen() ? top.child(name, owner, group, create) : std::move(top);
}

ReadFile readRegularFile(const QString &path, qint64 maxSize)
{
    ReadFile result;
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.error = errno;
        // O_NOFOLLOW answers ELOOP for a link at the end of the path.
        result.refusal = errno == ELOOP ? ReadFile::Refusal::NotARegularFile : ReadFile::Refusal::CannotOpen;
        return result;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result.error = errno;
        ::close(fd);
        result.refusal = ReadFile::Refusal::NotARegularFile;
        return result;
    }
    if (st.st_size > maxSize) {
        ::close(fd);
        result.refusal = ReadFile::Refusal::TooLarge;
        return result;
    }
    result.bytes.resize(qsizetype(st.st_size));
    qsizetype got = 0;
    while (got < result.bytes.size()) {
        const ssize_t n = ::pread(fd, result.bytes.data() + got, size_t(result.bytes.size() - got), got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.error = errno;
            ::close(fd);
            result.bytes.clear();
            return result;
        }
        if (n == 0)
            break;   // it shrank meanwhile: what is there
        got += n;
    }
    ::close(fd);
    result.bytes.truncate(got);
    result.refusal = ReadFile::Refusal::None;
    return result;
}

FolderLock::FolderLock(const QString &filePath, Mode mode)
{
    // A link to nothing is locked where it stands: nothing will be written where it points
    // (AtomicWriter refuses it), not even a lock file.
    bool dangling = false;
    QString target = followLinks(filePath, &dangling);
    if (target.isEmpty() || dangling)
        target = QFileInfo(filePath).absoluteFilePath();
    const QString folder = folderPart(target);
    m_lockFile = folder + QLatin1Char('/') + kLockFileName;
    // Without the lock, a reader reads as it is; a writer may not write.
    auto without = [this, mode](int err) {
        m_error = err;
        m_outcome = mode == Shared ? Outcome::Unlocked : Outcome::Failed;
    };

    QMutexLocker guard(&g_lockMutex);
    auto it = heldLocks().begin();
    while (it != heldLocks().end() && !it->spellings.contains(m_lockFile))
        ++it;
    if (it != heldLocks().end()) {
        m_key = it.key();
    } else {
        struct stat lockStatus;
        int fd = -1;
        // A lock is only a lock while the name leads to the file locked: a sync program that
        // brings the other computer's lock file puts a new file in its place (and one that
        // deletes it leaves none), and the next program would lock that one. So the name is
        // checked once the lock is held, and a file no longer under it is let go for the new one.
        for (int attempt = 0;; ++attempt) {
            fd = openLockFile(folder, nativePath(m_lockFile), mode, &lockStatus);
            if (fd < 0) {
                without(errno);
                return;
            }
            m_key = {quint64(lockStatus.st_dev), quint64(lockStatus.st_ino)};
            if (heldLocks().contains(m_key))
                break;
            const Take took = takeWithin(fd, mode == Exclusive ? LOCK_EX : LOCK_SH, g_lockWaitMs);
            if (took != Take::Taken) {
                const int err = errno;
                ::close(fd);
                if (took == Take::Busy) {
                    m_error = EWOULDBLOCK;
                    m_outcome = Outcome::Busy;
                } else {
                    without(err);
                }
                return;
            }
            struct stat named;
            const bool current = ::lstat(nativePath(m_lockFile).constData(), &named) == 0
                                 && named.st_dev == lockStatus.st_dev && named.st_ino == lockStatus.st_ino;
            if (current || attempt == kLockFileAttempts)
                break;
            ::close(fd);
        }
        // The lock file's identity, not the folder's name: a folder reached by two spellings
        // (through a link, say) is one entry, and one descriptor, since two flocks of one
        // process on the same file would shut each other out.
        it = heldLocks().find(m_key);
        if (it != heldLocks().end()) {
            ::close(fd);
            it->spellings.append(m_lockFile);
        } else {
            it = heldLocks().insert(m_key, HeldLock{fd, 0, mode, {m_lockFile}});
        }
    }
    if (mode == Exclusive && it->mode == Shared) {
        // flock converts a held lock by letting it go and asking anew, so another process may
        // slip in between: callers take the exclusive lock before they read what they will
        // rewrite. When the exclusive lock is not granted, the shared one is taken back for the
        // requests still counted on it (they read without it, should even that fail).
        const Take took = takeWithin(it->fd, LOCK_EX, g_lockWaitMs);
        if (took != Take::Taken) {
            m_error = took == Take::Busy ? EWOULDBLOCK : errno;
            m_outcome = took == Take::Busy ? Outcome::Busy : Outcome::Failed;
            takeWithin(it->fd, LOCK_SH, g_lockWaitMs);
            return;
        }
        it->mode = Exclusive;
    }
    ++it->count;
    m_outcome = Outcome::Held;
}

FolderLock::~FolderLock()
{
    if (m_outcome != Outcome::Held)
        return;
    QMutexLocker guard(&g_lockMutex);
    auto it = heldLocks().find(m_key);
    if (it == heldLocks().end())
        return;
    if (--it->count == 0) {
        ::flock(it->fd, LOCK_UN);
        ::close(it->fd);
        heldLocks().erase(it);
    }
}

QString FolderLock::errorString() const
{
    return QString::fromLocal8Bit(std::strerror(m_error));
}

void FolderLock::setWaitForTesting(int milliseconds)
{
    QMutexLocker guard(&g_lockMutex);
    g_lockWaitMs = milliseconds < 0 ? kLockWaitMs : milliseconds;
}

AtomicWriter::AtomicWriter(const QString &targetPath, Links links, Permissions permissions)
    : m_target(QFileInfo(targetPath).absoluteFilePath())
{
    struct stat st;
    const bool isLink = ::lstat(nativePath(m_target).constData(), &st) == 0 && S_ISLNK(st.st_mode);
    if (links == RefuseLinks && isLink) {
        refuse(Refusal::Link, ELOOP);
        return;
    }
    if (isLink) {
        bool dangling = false;
        std::optional<uid_t> owner;
        if (links == FollowOwnLinks)
            owner = ::geteuid();
        const QString followed = followLinks(m_target, &dangling, owner);
        if (followed.isEmpty()) {
            refuse(errno == EPERM ? Refusal::ForeignLink : Refusal::TooManyLinks, errno);
            return;
        }
        if (dangling) {
            m_linkTarget = followed;
            refuse(Refusal::DanglingLink, ENOENT);
            return;
        }
        if (links == FollowOwnLinks) {
            struct stat folder;
            if (::stat(nativePath(folderPart(followed)).constData(), &folder) != 0
                || folder.st_uid != ::geteuid()) {
                refuse(Refusal::ForeignLink, EPERM);
                return;
            }
        }
        m_target = followed;
    }
    const QString folder = folderPart(m_target);
    const int fd = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        m_error = errno;
        return;
    }
    m_folderFd = fd;
    open(fd, folder, namePart(m_target), permissions);
}

AtomicWriter::AtomicWriter(const Folder &folder, const QString &name, Permissions permissions)
    : m_target(folder.filePath(name))
{
    if (!folder.isOpen()) {
        m_error = folder.error() ? folder.error() : EBADF;
        return;
    }
    m_folderFd = ::fcntl(folder.fd(), F_DUPFD_CLOEXEC, 0);
    if (m_folderFd < 0) {
        m_error = errno;
        return;
    }
    struct stat st;
    if (::fstatat(m_folderFd, nativePath(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        refuse(Refusal::Link, ELOOP);
        return;
    }
    open(m_folderFd, folder.path(), name, permissions);
}

void AtomicWriter::open(int folderFd, const QString &folderPath, const QString &name, Permissions permissions)
{
    m_name = nativePath(name);
    struct stat old;
    const bool replacing = ::fstatat(folderFd, m_name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0
                           && S_ISREG(old.st_mode);
    // The mode bits, not access(2): root may write anything, but a file its owner made
    // read-only stays as it is.
    if (replacing && (old.st_mode & 0222) == 0) {
        refuse(Refusal::ReadOnly, EACCES);
        return;
    }

    // The shape mkostemps gives (".<name>.XXXXXX.tmp"), made with O_EXCL | O_NOFOLLOW in the
    // folder held open: a name planted in advance is never opened, only passed over.
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        QByteArray suffix(6, Qt::Uninitialized);
        for (char &c : suffix)
            c = kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
        m_tempName = '.' + m_name + '.' + suffix + ".tmp";
        m_fd = ::openat(folderFd, m_tempName.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_fd < 0 && errno != EEXIST) {
            m_error = errno;
            return;
        }
    }
    if (m_fd < 0) {
        m_error = EEXIST;
        return;
    }
    m_tempPath = folderPath + QLatin1Char('/') + QFile::decodeName(m_tempName);

    mode_t mode = 0600;
    if (replacing && permissions == Permissions::Private) {
        // Loosened by this user, kept so; another user's file becomes this user's own, 0600.
        if (old.st_uid == ::geteuid())
            mode = old.st_mode & 0777;
    } else if (replacing) {
        // The new version is the owner's file as the old one was, or there is none: a diary that
        // became another account's file could no longer be opened by its owner.
        struct stat mine;
        if (::fstat(m_fd, &mine) != 0
            || ((mine.st_uid != old.st_uid || mine.st_gid != old.st_gid)
                && ::fchown(m_fd, old.st_uid, old.st_gid) != 0)) {
            discard();
            refuse(Refusal::ForeignOwner, EPERM);
            return;
        }
        mode = old.st_mode & 07777;
    }
    // After fchown, which clears the set-id bits.
    ::fchmod(m_fd, mode);
}

bool AtomicWriter::refuse(Refusal why, int err)
{
    m_refusal = why;
    return fail(err);
}

AtomicWriter::~AtomicWriter()
{
    if (!m_committed)
        discard();
    if (m_folderFd >= 0)
        ::close(m_folderFd);
}

void AtomicWriter::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempName.isEmpty()) {
        ::unlinkat(m_folderFd, m_tempName.constData(), 0);
        m_tempName.clear();
        m_tempPath.clear();
    }
}

// Once this much has been written since write-back was last started, the kernel is asked to
// start writing it to disk, so the disk works while the rest of the file is being written and
// the final fsync waits only for the tail: for a diary of several MiB that halves its time.
constexpr qint64 kWriteBackPiece = qint64(1) << 20;

bool AtomicWriter::fail(int err)
{
    if (m_error == 0)
        m_error = err;
    return false;
}

void AtomicWriter::startWriteBack(qint64 size)
{
    m_written += size;
    if (m_written - m_writeBackFrom >= kWriteBackPiece)
        startWriteBack();
}

void AtomicWriter::startWriteBack()
{
    if (m_fd < 0 || m_written == m_writeBackFrom)
        return;
    // Only a hint: errors of the write-back itself are reported by the fsync in commit().
    ::sync_file_range(m_fd, m_writeBackFrom, m_written - m_writeBackFrom, SYNC_FILE_RANGE_WRITE);
    m_writeBackFrom = m_written;
}

bool AtomicWriter::write(const char *data, qsizetype size)
{
    if (m_fd < 0 || m_error != 0)
        return fail(m_error ? m_error : EBADF);
    while (size > 0) {
        if (!FileFaults::beforeStep(FileFaults::Step::Write))
            return fail(ENOSPC);
        const ssize_t n = ::write(m_fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (n == 0)
            return fail(ENOSPC);
        data += n;
        size -= n;
        startWriteBack(n);
    }
    return true;
}

qint64 AtomicWriter::copyFrom(int fd, qint64 offset, qint64 size)
{
    if (m_fd < 0 || m_error != 0) {
        fail(m_error ? m_error : EBADF);
        return -1;
    }
    qint64 copied = 0;
    while (copied < size) {
        if (!m_copyInKernel) {
            const qint64 rest = copyThroughBuffer(fd, offset + copied, size - copied);
            return rest < 0 ? -1 : copied + rest;
        }
        if (!FileFaults::beforeStep(FileFaults::Step::Write)) {
            fail(ENOSPC);
            return -1;
        }
        // Pieces of the write-back size, so the disk is busy while the copy goes on.
        loff_t from = offset + copied;
        const size_t piece = size_t(qMin(size - copied, kWriteBackPiece));
        const ssize_t n = ::copy_file_range(fd, &from, m_fd, nullptr, piece, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP
                && errno != ETXTBSY && errno != EPERM) {
                fail(errno);
                return -1;
            }
            // Not between these two files: the rest goes through a buffer.
            m_copyInKernel = false;
            continue;
        }
        if (n == 0)
            break;   // the source ended
        copied += n;
        startWriteBack(n);
    }
    return copied;
}

qint64 AtomicWriter::copyThroughBuffer(int fd, qint64 offset, qint64 size)
{
    QByteArray buffer(qsizetype(qMin(size, kWriteBackPiece)), Qt::Uninitialized);
    qint64 copied = 0;
    while (copied < size) {
        const ssize_t n = ::pread(fd, buffer.data(), size_t(qMin<qint64>(size - copied, buffer.size())),
                                  offset + copied);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            fail(errno);
            return -1;
        }
        if (n == 0)
            break;
        if (!write(buffer.constData(), n))
            return -1;
        copied += n;
    }
    return copied;
}

bool AtomicWriter::commit() { return commit(true); }

bool AtomicWriter::commitUnsynced() { return commit(false); }

bool AtomicWriter::commit(bool sync)
{
    if (m_fd < 0 || m_error != 0)
        return fail(m_error ? m_error : EBADF);
    if (sync && !FileFaults::beforeStep(FileFaults::Step::Sync))
        return fail(EIO);
    if ((sync && ::fsync(m_fd) != 0) || ::fstat(m_fd, &m_status) != 0)
        return fail(errno);
    if (::close(m_fd) != 0) {
        m_fd = -1;
        return fail(errno);
    }
    m_fd = -1;
    if (!FileFaults::beforeStep(FileFaults::Step::Rename))
        return fail(EIO);
    if (::renameat(m_folderFd, m_tempName.constData(), m_folderFd, m_name.constData()) != 0)
        return fail(errno);
    m_committed = true;
    m_tempName.clear();
    m_tempPath.clear();
    // The rename is durable only once the folder's entry is on disk.
    if (sync && (!FileFaults::beforeStep(FileFaults::Step::SyncFolder) || ::fsync(m_folderFd) != 0))
        return fail(errno ? errno : EIO);
    return true;
}

QString AtomicWriter::errorString() const
{
    switch (m_refusal) {
    case Refusal::DanglingLink: return QString(text::kDanglingLink).arg(m_linkTarget);
    case Refusal::Link: return text::kLinkNotFollowed;
    case Refusal::ReadOnly: return text::kReadOnly;
    case Refusal::ForeignOwner: return text::kForeignOwner;
    case Refusal::ForeignLink: return text::kForeignLink;
    case Refusal::TooManyLinks:
    case Refusal::None: break;
    }
    return QString::fromLocal8Bit(std::strerror(m_error));
}

namespace {

// Exactly the shape mkostemps gives: ".<name>.", six characters, ".tmp". Scanned with readdir:
// this runs before every save, and the folder may hold many files.
QList<QByteArray> leftoverPaths(const QString &targetPath)
{
    bool dangling = false;
    const QString target = followLinks(targetPath, &dangling);
    if (target.isEmpty() || dangling)
        return {};
    const QByteArray folder = nativePath(folderPart(target));
    const QByteArray prefix = '.' + nativePath(namePart(target)) + '.';
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return {};
    QList<QByteArray> leftovers;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name.size() == prefix.size() + 6 + 4 && name.startsWith(prefix) && name.endsWith(".tmp"))
            leftovers.append(folder + '/' + name.toByteArray());
    }
    ::closedir(dir);
    return leftovers;
}

} // namespace

void AtomicWriter::removeOtherLeftovers() const
{
    if (m_fd < 0)
        return;
    const QByteArray prefix = '.' + m_name + '.';
    const int fd = ::openat(m_folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    QList<QByteArray> found;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name.size() == prefix.size() + 6 + 4 && name.startsWith(prefix) && name.endsWith(".tmp")
            && name != m_tempName)
            found.append(name.toByteArray());
    }
    ::closedir(dir);
    for (const QByteArray &name : found)
        ::unlinkat(m_folderFd, name.constData(), 0);
}

void AtomicWriter::removeLeftovers(const Folder &folder, const QString &name)
{
    const QString prefix = QLatin1Char('.') + name + QLatin1Char('.');
    for (const QString &entry : folder.names()) {
        if (entry.size() == prefix.size() + 6 + 4 && entry.startsWith(prefix) && entry.endsWith(QLatin1String(".tmp")))
            folder.remove(entry);
    }
}

void AtomicWriter::removeLeftovers(const QString &targetPath)
{
    for (const QByteArray &path : leftoverPaths(targetPath))
        ::unlink(path.constData());
}

QStringList AtomicWriter::leftovers(const QString &targetPath)
{
    QStringList paths;
    for (const QByteArray &path : leftoverPaths(targetPath))
        paths.append(QFile::decodeName(path));
    return paths;
}

bool moveWithin(const QString &from, const QString &to)
{
    const QString source = QFileInfo(from).absoluteFilePath();
    const QString target = QFileInfo(to).absoluteFilePath();
    if (!FileFaults::beforeStep(FileFaults::Step::Rename)) {
        errno = EIO;
        return false;
    }
    if (::renameat2(AT_FDCWD, nativePath(source).constData(), AT_FDCWD, nativePath(target).constData(),
                    RENAME_NOREPLACE) != 0)
        return false;
    // Both folder entries changed; the file is durable in its new place once both are on disk.
    Folder::open(folderPart(target)).sync();
    if (folderPart(source) != folderPart(target))
        Folder::open(folderPart(source)).sync();
    return true;
}

bool exists(const QString &path)
{
    struct stat st;
    return ::stat(nativePath(path).constData(), &st) == 0;
}

void FileFaults::arm(Mode mode, int step)
{
    g_faultMode = mode;
    g_faultStep = step;
    g_stepsTaken = 0;
}

int FileFaults::stepsTaken() { return g_stepsTaken; }

bool FileFaults::beforeStep(Step step)
{
    const int taken = ++g_stepsTaken;
    if (g_faultMode == Off || taken != g_faultStep)
        return true;
    if (g_faultMode == KillAt)
        ::_exit(86);
    return step != Step::Write;
}

} // namespace files
