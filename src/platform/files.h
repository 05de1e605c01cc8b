#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

// The program's own file layer: advisory locks that survive a rename, and the atomic replacement
// of a whole file. Every write, sync and rename of a replacement goes through here, so that tests
// can stop the process or fail a write at any single step (FileFaults below).
//
// Error policy: nothing here throws. Operations return false and keep errno in error(); the
// component that called turns that into its own exception, with its own text.
namespace files {

// An advisory lock on the folder that holds a file. A lock on the file itself would be lost when
// a rewrite renames a new file over it, and a second writer waiting on the old inode would then
// overwrite the first writer's result; the folder survives the rename.
//
// Shared for reading, exclusive for a read-modify-write. Within one process the lock is
// re-entrant: a nested request on a folder already locked by this process is counted, and a
// shared lock is raised to exclusive when an exclusive one is asked for inside it (it then stays
// exclusive until the outermost lock is released). Blocks until granted. Released by the
// destructor. A folder that cannot be opened is not locked (ok() false); callers go on and meet
// the real error when they open the file.
class FolderLock
{
public:
    enum Mode { Shared, Exclusive };

    FolderLock(const QString &filePath, Mode mode);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool ok() const { return m_ok; }

private:
    QString m_folder;
    bool m_ok = false;
};

// Writes a new version of a file beside it and puts it in place with one rename:
//
//     files::AtomicWriter out(path);            // temporary file ".<name>.<random>.tmp" beside path
//     out.write(bytes) && out.commit();         // write, fsync, rename over path, fsync the folder
//
// Until commit() has renamed, the file at path is untouched. An AtomicWriter destroyed without a
// successful commit removes its temporary file. A replacement keeps the permissions of the file it
// replaces; a new file is created 0600.
class AtomicWriter
{
public:
    explicit AtomicWriter(const QString &targetPath);
    ~AtomicWriter();
    AtomicWriter(const AtomicWriter &) = delete;
    AtomicWriter &operator=(const AtomicWriter &) = delete;

    // False when the temporary file could not be created.
    bool isOpen() const { return m_fd >= 0; }

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

    // errno of the first failure, and its text.
    int error() const { return m_error; }
    QString errorString() const;

    QString temporaryPath() const { return m_tempPath; }

    // Removes temporary files that an earlier, interrupted replacement of targetPath left behind.
    // Call only while holding an exclusive FolderLock on the target's folder.
    static void removeLeftovers(const QString &targetPath);

private:
    bool fail(int err);
    void discard();
    void startWriteBack(qint64 size);
    qint64 copyThroughBuffer(int fd, qint64 offset, qint64 size);

    QString m_target;
    QString m_tempPath;
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

    enum class Step { Write, Sync, Rename, SyncFolder };
    // Called by the file layer before each step. Returns false when the step must fail with
    // ENOSPC; does not return when the process is to be stopped.
    static bool beforeStep(Step step);
};

} // namespace files
