#pragma once

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

#include <utility>

// The program's own file layer: advisory locks that survive a rename, and the atomic replacement
// of a whole file. Every write, sync and rename of a replacement goes through here, so that tests
// can stop the process or fail a write at any single step (FileFaults below).
//
// Error policy: nothing here throws. Operations return false and keep errno in error(); the
// component that called turns that into its own exception, with its own text.
namespace files {

// Why a replacement was refused (AtomicWriter::errorString); the callers put them after their
// own "Cannot write file …".
namespace text {
// %1 the missing file the link points to.
inline constexpr QLatin1String kDanglingLink("It is a symbolic link to \"%1\", which does not exist");
inline constexpr QLatin1String kLinkNotFollowed("It is a symbolic link, which is not written through");
inline constexpr QLatin1String kReadOnly("The file is read-only");
inline constexpr QLatin1String kForeignOwner(
    "The file belongs to another user or group, which its new version could not keep");
} // namespace text

// The lock file every folder of diaries gets; a user name may not take this name.
inline constexpr QLatin1String kLockFileName(".quillbook.lock");

// How long a lock is waited for before the operation gives up: long enough for another
// program's save or listing of a large diary to end, short enough that nobody holding the lock
// for long can freeze the window.
inline constexpr int kLockWaitMs = 5000;

// An advisory lock for the folder that holds a file (symbolic links to the file followed: the
// folder of the file they end at; a link to nothing is locked in its own folder). A lock on the
// file itself would be lost when a rewrite renames a new file over it, and a second writer
// waiting on the old inode would then overwrite the first writer's result; the folder survives
// the rename.
//
// The lock is flock(2) on the lock file kLockFileName inside the folder, created 0600 (plus the
// group's bits when the folder is group-writable; a process that may also gives it the folder's
// owner and group) without following a link, never replaced or removed. Only who can open that
// file can hold the lock: the folder's owner (and those who may write the folder with them), never
// another local user who can merely read the folder. A folder that can be written but not read
// (0300) is locked like any other.
//
// Shared for reading, exclusive for a read-modify-write. Within one process the lock is
// re-entrant: a nested request on a folder already locked by this process is counted, and a
// shared lock is raised to exclusive when an exclusive one is asked for inside it (it then stays
// exclusive until the outermost lock is released). Released by the destructor.
//
// Never waits longer than kLockWaitMs; then the lock is busy() and not taken. Outcomes:
//   held        the lock is taken (ok()).
//   unlocked    a shared request whose lock file cannot be opened or created (another user's
//               folder, read-only media, a folder that is gone): ok(), the caller reads without
//               the lock. A reader cannot disturb a writer, whose rename replaces the file whole;
//               it may only see the file change between two of its own reads, which a reader
//               that reads more than once must notice by the file's identity (as the archive
//               reader does).
//   busy        another process holds a conflicting lock past the wait. Not ok().
//   failed      an exclusive request whose lock file cannot be opened or created (error() says
//               why). Not ok(): nothing may be written without the lock.
class FolderLock
{
public:
    enum Mode { Shared, Exclusive };
    enum class Outcome { Held, Unlocked, Busy, Failed };

    FolderLock(const QString &filePath, Mode mode);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    // The operation may go on: the lock is held, or a reader goes without it.
    bool ok() const { return m_outcome == Outcome::Held || m_outcome == Outcome::Unlocked; }
    bool busy() const { return m_outcome == Outcome::Busy; }
    Outcome outcome() const { return m_outcome; }
    // errno of a failed request, and its text.
    int error() const { return m_error; }
    QString errorString() const;
    // The lock file's path.
    QString lockFilePath() const { return m_lockFile; }

    // Tests only: how long the next requests wait (kLockWaitMs by default; a negative value
    // restores it).
    static void setWaitForTesting(int milliseconds);

private:
    std::pair<quint64, quint64> m_key;   // the lock file's device and inode: this process's
                                         // table of held locks has one entry per folder
    QString m_lockFile;
    Outcome m_outcome = Outcome::Failed;
    int m_error = 0;
};

// The file that a path names once symbolic links at its end are followed: absolute, and not
// necessarily existing. *dangling is set when a link was followed to a file that does not exist.
// Returns an empty string (error ELOOP) after more than 40 links.
QString followLinks(const QString &path, bool *dangling = nullptr);

// Creates the folder and any missing parents, each new one 0700. True when it is a folder
// afterwards (also when it existed: an existing folder keeps its permissions).
bool makePrivateFolders(const QString &path);

// Writes a new version of a file beside it and puts it in place with one rename:
//
//     files::AtomicWriter out(path);            // temporary file ".<name>.<random>.tmp" beside path
//     out.write(bytes) && out.commit();         // write, fsync, rename over path, fsync the folder
//
// Until commit() has renamed, the file at path is untouched. An AtomicWriter destroyed without a
// successful commit removes its temporary file. A new file is created 0600.
//
// A symbolic link at path is followed (FollowLinks): the file it ends at is replaced, in that
// file's folder, and the link stays as it is, so a diary linked into another folder keeps
// getting its updates. A link to nothing is refused, and nothing is created where it points.
// With RefuseLinks a link at path is refused instead, and nothing is written through it.
//
// A replacement keeps the replaced file's permissions, owner and group. It is refused, before
// anything is written (isOpen() false, errorString() tells why), when
//   - the file has no write bit at all (0444, say): a read-only file is not rewritten, also not
//     by root, whom access(2) would let through;
//   - the new file could not have the old one's owner and group (another account saving into a
//     shared folder, without the right to give the file away): its owner would be locked out.
class AtomicWriter
{
public:
    enum Links { FollowLinks, RefuseLinks };
    enum class Refusal { None, DanglingLink, Link, TooManyLinks, ReadOnly, ForeignOwner };

    explicit AtomicWriter(const QString &targetPath, Links links = FollowLinks);
    ~AtomicWriter();
    AtomicWriter(const AtomicWriter &) = delete;
    AtomicWriter &operator=(const AtomicWriter &) = delete;

    // False when the temporary file could not be created, or the replacement was refused.
    bool isOpen() const { return m_fd >= 0; }
    Refusal refusal() const { return m_refusal; }
    // The file that is replaced: the target path with its links followed.
    QString targetPath() const { return m_target; }

    // Appends bytes to what was written so far.
    bool write(const char *data, qsizetype size);
    bool write(const QByteArray &bytes) { return write(bytes.constData(), bytes.size()); }
    // Appends size bytes of the open file fd from offset, copied inside the kernel where the
    // file system can (copy_file_range), else through a buffer. Returns the bytes copied, fewer
    // when fd ends first, or -1 on a failure (error() tells which).
    qint64 copyFrom(int fd, qint64 offset, qint64 size);

    // Asks the kernel to start writing what has been written so far to disk, so that it goes on
    // while the caller prepares the rest. (Done by itself for every MiB written.)
    void startWriteBack();

    // fsync, rename over the target, fsync the folder. After a false return the target is as it
    // was before (or, if only the folder sync failed, already replaced: see committed()).
    bool commit();
    bool committed() const { return m_committed; }
    // The new file's status as it was put in place (inode, size, modification time); valid once
    // committed() is true. Taken from the open file, so it is this file's even when another
    // program replaces the target right after the rename.
    const struct stat &status() const { return m_status; }

    // errno of the first failure, and its text (for a refusal, the reason in words).
    int error() const { return m_error; }
    QString errorString() const;

    QString temporaryPath() const { return m_tempPath; }

    // Removes temporary files that an earlier, interrupted replacement of targetPath (its links
    // followed) left behind. Call only while holding an exclusive FolderLock on targetPath.
    static void removeLeftovers(const QString &targetPath);
    // The paths of those temporary files as they are now (a scan only, nothing removed).
    static QStringList leftovers(const QString &targetPath);

private:
    bool refuse(Refusal why, int err);
    bool fail(int err);
    void discard();
    void startWriteBack(qint64 size);
    qint64 copyThroughBuffer(int fd, qint64 offset, qint64 size);

    QString m_target;
    QString m_linkTarget;          // for the text of a dangling link
    QString m_tempPath;
    Refusal m_refusal = Refusal::None;
    int m_fd = -1;
    int m_error = 0;
    bool m_committed = false;
    qint64 m_written = 0;          // bytes written so far
    qint64 m_writeBackFrom = 0;    // start of the bytes not yet handed to write-back
    bool m_copyInKernel = true;    // until copy_file_range has been refused once
    struct stat m_status = {};
};

// True when a file (or anything else) exists at the path.
bool exists(const QString &path);

// Moves the file (not following a link at either end) to a name on the same file system that
// must not exist yet, with one rename, then syncs both folders. False, errno set and the file
// where it was, when the rename fails (EEXIST when the target exists; EXDEV across file
// systems). A rename counts as one step of FileFaults, each folder sync as another.
bool moveWithin(const QString &from, const QString &to);

// Fault injection for tests of crash safety and full disks. Every step of a replacement (each
// write, each fsync of a file or folder, each rename) counts one. When armed, the k-th step
// either ends the process at once (KillAt: _exit before the step is done) or, for a write, fails
// it with ENOSPC (NoSpaceAt). Disarmed by default; production code never arms it.
class FileFaults
{
public:
    enum Mode { Off, KillAt, NoSpaceAt };
    static void arm(Mode mode, int step);
    static void disarm() { arm(Off, 0); }
    // Steps counted since the last arm(); lets a test learn how many steps an operation takes.
    static int stepsTaken();

    enum class Step { Write, Sync, Rename, SyncFolder, Link };
    // Called by the file layer before each step. Returns false when the step must fail with
    // ENOSPC; does not return when the process is to be stopped.
    static bool beforeStep(Step step);
};

} // namespace files
