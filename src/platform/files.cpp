#include "files.h"

#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QHash>
#include <QMutex>

#include <cerrno>
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

QString folderOf(const QString &filePath)
{
    QFileInfo info(filePath);
    return info.absoluteDir().absolutePath();
}

struct HeldLock {
    int fd = -1;
    int count = 0;
    FolderLock::Mode mode = FolderLock::Shared;
};

QMutex g_lockMutex;
QHash<QString, HeldLock> &heldLocks()
{
    static QHash<QString, HeldLock> held;
    return held;
}

int flockRetry(int fd, int op)
{
    int rc;
    do {
        rc = ::flock(fd, op);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

bool syncFolder(const QString &folder)
{
    if (!FileFaults::beforeStep(FileFaults::Step::SyncFolder))
        return false;
    int fd = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int rc = ::fsync(fd);
    ::close(fd);
    return rc == 0;
}

FileFaults::Mode g_faultMode = FileFaults::Off;
int g_faultStep = 0;
int g_stepsTaken = 0;

} // namespace

FolderLock::FolderLock(const QString &filePath, Mode mode)
    : m_folder(folderOf(filePath))
{
    QMutexLocker guard(&g_lockMutex);
    HeldLock &held = heldLocks()[m_folder];
    if (held.count == 0) {
        held.fd = ::open(nativePath(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (held.fd < 0) {
            heldLocks().remove(m_folder);
            return;
        }
        if (flockRetry(held.fd, mode == Exclusive ? LOCK_EX : LOCK_SH) != 0) {
            ::close(held.fd);
            heldLocks().remove(m_folder);
            return;
        }
        held.mode = mode;
    } else if (mode == Exclusive && held.mode == Shared) {
        // flock converts a held lock in place; another process may slip in between, which is
        // why callers take the exclusive lock before they read what they will rewrite.
        if (flockRetry(held.fd, LOCK_EX) != 0)
            return;
        held.mode = Exclusive;
    }
    ++held.count;
    m_ok = true;
}

FolderLock::~FolderLock()
{
    if (!m_ok)
        return;
    QMutexLocker guard(&g_lockMutex);
    auto it = heldLocks().find(m_folder);
    if (it == heldLocks().end())
        return;
    if (--it->count == 0) {
        ::flock(it->fd, LOCK_UN);
        ::close(it->fd);
        heldLocks().erase(it);
    }
}

AtomicWriter::AtomicWriter(const QString &targetPath)
    : m_target(QFileInfo(targetPath).absoluteFilePath())
{
    QFileInfo info(m_target);
    QByteArray templ = nativePath(info.absolutePath() + QLatin1String("/.") + info.fileName()
                                  + QLatin1String(".XXXXXX.tmp"));
    m_fd = ::mkostemps(templ.data(), 4, O_CLOEXEC);
    if (m_fd < 0) {
        m_error = errno;
        return;
    }
    m_tempPath = QFile::decodeName(templ);

    struct stat st;
    mode_t mode = 0600;
    if (::stat(nativePath(m_target).constData(), &st) == 0 && S_ISREG(st.st_mode))
        mode = st.st_mode & 07777;
    ::fchmod(m_fd, mode);
}

AtomicWriter::~AtomicWriter()
{
    if (!m_committed)
        discard();
}

void AtomicWriter::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.isEmpty()) {
        ::unlink(nativePath(m_tempPath).constData());
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

bool AtomicWriter::commit()
{
    if (m_fd < 0 || m_error != 0)
        return fail(m_error ? m_error : EBADF);
    if (!FileFaults::beforeStep(FileFaults::Step::Sync))
        return fail(EIO);
    if (::fsync(m_fd) != 0 || ::fstat(m_fd, &m_status) != 0)
        return fail(errno);
    if (::close(m_fd) != 0) {
        m_fd = -1;
        return fail(errno);
    }
    m_fd = -1;
    if (!FileFaults::beforeStep(FileFaults::Step::Rename))
        return fail(EIO);
    if (::rename(nativePath(m_tempPath).constData(), nativePath(m_target).constData()) != 0)
        return fail(errno);
    m_committed = true;
    m_tempPath.clear();
    // The rename is durable only once the folder's entry is on disk.
    if (!syncFolder(QFileInfo(m_target).absolutePath()))
        return fail(errno ? errno : EIO);
    return true;
}

QString AtomicWriter::errorString() const
{
    return QString::fromLocal8Bit(std::strerror(m_error));
}

void AtomicWriter::removeLeftovers(const QString &targetPath)
{
    // Exactly the shape mkostemps gives: ".<name>.", six characters, ".tmp". Scanned with
    // readdir: this runs before every save, and the folder may hold many files.
    QFileInfo info(targetPath);
    const QByteArray folder = nativePath(info.absolutePath());
    const QByteArray prefix = '.' + nativePath(info.fileName()) + '.';
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    QList<QByteArray> leftovers;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name.size() == prefix.size() + 6 + 4 && name.startsWith(prefix) && name.endsWith(".tmp"))
            leftovers.append(folder + '/' + name.toByteArray());
    }
    ::closedir(dir);
    for (const QByteArray &path : std::as_const(leftovers))
        ::unlink(path.constData());
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
