#pragma once

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

#include <optional>
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
inline constexpr QLatin1String kForeignLink(
    "It is a symbolic link made by another user, or leading into another user's folder, which is "
    "not written through");
// Folders (Folder::child); %1 the folder's path.
inline constexpr QLatin1String kFolderIsLink("The folder \"%1\" is a symbolic link, which is not followed");
inline constexpr QLatin1String kNotAFolder("\"%1\" is not a folder");
inline constexpr QLatin1String kFolderOfAnother("The folder \"%1\" belongs to another user");
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
// Returns an empty string (error ELOOP) after more than 40 links. With onlyOwner set, a link not
// owned by that user ends the walk: an empty string, error EPERM.
QString followLinks(const QString &path, bool *dangling = nullptr, std::optional<uid_t> onlyOwner = {});

// Creates the folder and any missing parents, each new one 0700. True when it is a folder
// afterwards (also when it existed: an existing folder keeps its permissions).
bool makePrivateFolders(const QString &path);

// A folder held by an open descriptor: what is created, renamed or removed through it stays in
// that very folder, even when someone who may write its parent replaces the folder's name with a
// symbolic link meanwhile. Move-only; the descriptor is closed by the destructor.
class Folder
{
public:
    enum class Refusal { None, Link, NotAFolder, ForeignOwner };

    Folder() = default;
    ~Folder();
    Folder(Folder &&other) noexcept;
    Folder &operator=(Folder &&other) noexcept;
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;

    // The folder a user named: symbolic links in the path are followed.
    static Folder open(const QString &path);

    // The folder `name` inside this one, opened without following a link (openat with
    // O_NOFOLLOW | O_DIRECTORY); when missing (and create) made 0700 and given to owner and group
    // (as far as this process may). It must then be a real folder belonging to owner, and is set
    // to 0700 (mode)
    // when it is not (see tighten); otherwise it is refused (not open, refusal() and errorString() say why) and
    // nothing in it or about it is changed.
    // With tighten false an existing folder keeps the permissions it has (the user may have
    // loosened them); only a new one gets mode.
    Folder child(const QString &name, uid_t owner, gid_t group, bool create = true, mode_t mode = 0700,
                 bool tighten = true) const;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // The folder's path as it was named, for messages and for the paths of files inside.
    QString path() const { return m_path; }
    QString filePath(const QString &name) const { return m_path + QLatin1Char('/') + name; }
    Refusal refusal() const { return m_refusal; }
    int error() const { return m_error; }
    QString errorString() const;

    // The names of the entries inside (without "." and ".."), as the folder lists them.
    QStringList names() const;
    // Removes the file `name` inside (never a folder, never through a link: the link itself
    // goes). False with errno set when it could not be removed.
    bool remove(const QString &name) const;
    // Whether something called `name` is inside (a link counts, whatever it points to).
    bool contains(const QString &name) const;
    // Flushes the folder's entries to disk.
    bool sync() const;

private:
    Folder(int fd, const QString &path) : m_fd(fd), m_path(path) {}
    static Folder refused(const QString &path, Refusal why, int error);

    int m_fd = -1;
    QString m_path;
    Refusal m_refusal = Refusal::None;
    int m_error = 0;
};

// Where a file lives: the folder that holds it (links to the file followed), held open, the file's
// name there and its owner (this process's user and group while the file does not exist).
struct FilePlace {
    Folder folder;
    QString name;
    uid_t owner = 0;
    gid_t group = 0;
    bool exists = false;   // a regular file is there

    static FilePlace of(const QString &filePath);

    // The folder "<kind>/<name>" beside the file, where things of that file alone are kept (its
    // earlier versions, its drafts): both levels opened with Folder::child, the owner's, 0700.
    // Not open when missing (and not to be made), or refused: errorString() then says why.
    Folder keptFolder(const QString &kind, bool create) const;
};

// Reads a whole file that must be a regular one: opened without following a link at its end and
// without blocking (O_NOFOLLOW | O_NONBLOCK), checked on the open descriptor (fstat), and read
// no further than the size the descriptor had then. A device (/dev/zero, /dev/urandom), a FIFO,
// a socket, a folder or a symbolic link is refused without a byte read, and so is a file larger
// than maxSize. Every reader of files the user names (imports and the pictures they link) reads
// through here, so none of them can be made to hang or to read without end.
struct ReadFile {
    enum class Refusal { None, CannotOpen, NotARegularFile, TooLarge };
    QByteArray bytes;
    Refusal refusal = Refusal::CannotOpen;
    int error = 0;              // errno of CannotOpen
    bool ok() const { return refusal == Refusal::None; }
};
ReadFile readRegularFile(const QString &path, qint64 maxSize);

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
// With RefuseLinks a link at path is refused instead, and nothing is written through it. With
// FollowOwnLinks (for files the user names in folders others may write, such as /tmp) a link
// is followed only when every link on the way was made by this process's user and the folder
// it ends in is the user's own; any other link is refused (ForeignLink).
//
// The temporary file is created with O_CREAT | O_EXCL | O_NOFOLLOW in the target's folder, held
// open by its descriptor, and renamed with renameat in that same folder: nothing planted under
// the temporary name is written through, and no link in the folder's path, swapped in
// meanwhile, moves the file elsewhere. Given a Folder, the target is the file `name` in it (a
// link there is refused).
//
// With Permissions::Private (exports, which may go to shared folders) the new file is always
// this user's own, 0600, or when it replaces a file of this user, with that file's permissions
// (which the user may have loosened); another user's file is never given back to them.
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
    enum Links { FollowLinks, RefuseLinks, FollowOwnLinks };
    enum class Permissions { KeepReplaced, Private };
    enum class Refusal { None, DanglingLink, Link, TooManyLinks, ReadOnly, ForeignOwner, ForeignLink };

    explicit AtomicWriter(const QString &targetPath, Links links = FollowLinks,
                          Permissions permissions = Permissions::KeepReplaced);
    AtomicWriter(const Folder &folder, const QString &name,
                 Permissions permissions = Permissions::KeepReplaced);
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
    // The rename alone, without the two fsyncs: for many small files that the caller then puts
    // on disk together (syncfs), which costs far less than a sync for each. Until then a crash
    // may leave such a file empty under its name.
    bool commitUnsynced();
    bool committed() const { return m_committed; }
    // The new file's status as it was put in place (inode, size, modification time); valid once
    // committed() is true. Taken from the open file, so it is this file's even when another
    // program replaces the target right after the rename.
    const struct stat &status() const { return m_status; }

    // errno of the first failure, and its text (for a refusal, the reason in words).
    int error() const { return m_error; }
    QString errorString() const;

    QString temporaryPath() const { return m_tempPath; }

    // Removes the temporary files that earlier, interrupted replacements of this same target left
    // in its folder (never this writer's own). For targets written without a lock (exports): a
    // concurrent replacement of the same file would lose its temporary file and fail, not harm.
    void removeOtherLeftovers() const;

    // Removes temporary files that an earlier, interrupted replacement of targetPath (its links
    // followed) left behind. Call only while holding an exclusive FolderLock on targetPath.
    static void removeLeftovers(const QString &targetPath);
    static void removeLeftovers(const Folder &folder, const QString &name);
    // The paths of those temporary files as they are now (a scan only, nothing removed).
    static QStringList leftovers(const QString &targetPath);

private:
    void open(int folderFd, const QString &folderPath, const QString &name, Permissions permissions);
    bool refuse(Refusal why, int err);
    bool commit(bool sync);
    bool fail(int err);
    void discard();
    void startWriteBack(qint64 size);
    qint64 copyThroughBuffer(int fd, qint64 offset, qint64 size);

    QString m_target;
    QString m_linkTarget;          // for the text of a dangling link
    QString m_tempPath;
    int m_folderFd = -1;           // the target's folder, where the file is made and renamed
    QByteArray m_name;             // the target's name in it
    QByteArray m_tempName;         // the temporary file's name in it
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
