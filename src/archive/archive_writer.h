#pragma once

#include "archive/archive_reader.h"
#include "archive/zip_crypto.h"

#include <QDateTime>
#include <QList>

#include <functional>
#include <optional>

class QIODevice;

// Changes a diary archive: adds or replaces entries, deletes the selected ones, and writes the
// archive anew so that a changed comment reaches the file (which also creates a new archive).
//
// Every change writes a complete new archive beside the old one and puts it in place with one
// rename (files::AtomicWriter), all under an exclusive folder lock during which the directory is
// read afresh from the file. So:
//   - until the rename the archive is untouched; any failure (a full disk, an unreadable entry,
//     a limit) removes the new file and leaves the archive byte for byte as it was;
//   - two programs changing the same archive at once each see the other's result;
//   - carried-over entries are copied as raw bytes, never decoded or encrypted again.
// A replacement keeps the archive's permissions, owner and group; a new archive is created 0600.
// An archive reached through a symbolic link is replaced where the link leads, and the link stays.
// A read-only archive (no write bit), a link to nothing, or an archive whose owner the new file
// could not keep is refused with EFCreateError "Cannot write file "%1". <why>", and nothing is
// written. Another program holding the lock past its wait: EFileInUse (as for the reader); a
// lock that cannot be taken at all: EFCreateError.
//
// Each entry it writes is deflated at PackLevel (stored when that does not make it smaller),
// encrypted when Password is not empty (flags 3 at level 9), stamped with the local time.
//
// An archive written elsewhere may hold entries whose names are equal but for ASCII letter case:
// they are all carried over as they are, and entries of other names can be added, replaced and
// deleted; only adding (replacing) by such a shared name is refused, since it is not clear which
// entry it means.
//
// Errors: those of the reader (the archive is read first), EFCreateError when the new file cannot
// be created or put in place, ENotEnoughRoom "Not enough room to write archive" when the disk is
// full, EFatalUnzipError when an entry to carry over runs past the end of the old file,
// EInconsistentZip when the directory disagrees with its end record, entries overlap or a local
// header is missing (TArchiveReader::DirectoryProblem()), EArchiveLimit for a Zip64 archive and
// beyond the limits of zip_layout.h, EAmbiguousEntry when a name to add is carried by several
// entries, EEncodingError for a name GBK cannot represent. Each of these is raised before the
// new archive replaces the old one, which then stays byte for byte as it was. After a failure
// the writer holds the directory it read.
class TArchiveWriter : public TArchiveReader
{
    Q_OBJECT

public:
    explicit TArchiveWriter(QObject *parent = nullptr);
    ~TArchiveWriter() override;

    // Compression level 0 (store) to 9; the program uses 9, the default here.
    int PackLevel() const { return m_packLevel; }
    void SetPackLevel(int level) { m_packLevel = qBound(0, level, 9); }

    // Stores the whole content of the stream (from position 0) as the entry of that name (its
    // file-name part; a directory part is dropped). An entry of the same name, without regard to
    // ASCII case, is replaced where it stands and takes the new name; otherwise the entry goes
    // after all others. A blank name does nothing. The archive is created when missing.
    void AddFromStream(const QString &entryName, QIODevice &stream);
    void AddFromStream(const QByteArray &entryName, QIODevice &stream);

    // Several entries in one rewrite, each as AddFromStream would add it, or, when rawMethod is
    // set, as given: rawData stored exactly as it is under that compression method, neither
    // deflated nor encrypted (flag bit 0 clear, whatever Password is), its CRC-32 that of rawData
    // and both sizes rawData's size. A raw entry is for data another layer has encoded itself
    // (a private diary's sealed entries); its method must be neither stored (0) nor deflated
    // (8), which this reader would decode, else ERawMethod is raised before anything is written.
    // The comment held in memory is written by the same rewrite, so a whole conversion (every
    // entry replaced and a new comment) reaches the file in one rename. An entry with a stamp
    // (MS-DOS local time, zip_records.h) keeps it instead of the clock's: an entry brought over
    // from another copy of the diary keeps the moment it was written.
    struct NewEntry
    {
        QByteArray name;   // GBK
        QIODevice *stream = nullptr;
        std::optional<quint16> rawMethod = std::nullopt;
        QByteArray rawData = {};
        std::optional<quint32> stamp = std::nullopt;
    };
    void AddFromStreams(const QList<NewEntry> &entries);

    // AddFromStreams and DeleteSelected in ONE rewrite: the entries are added (or replace their
    // namesakes) and the selected entries still unchanged in the file are left out. For a merge,
    // which must take some days and drop others at once.
    void UpdateEntries(const QList<NewEntry> &entries);

    // Writes the archive anew with the comment held in memory; creates it when the file does not
    // exist (then it holds only the end record and, when one was set, the comment).
    void WriteArchive();

    // Writes the archive anew without the selected entries (those still unchanged in the file).
    // With nothing selected the archive is written anew with the same entries.
    void DeleteSelected();

    // Keeping earlier versions (versions/kept_versions.h): when on, a rewrite of an existing
    // archive keeps the file it replaces as a version, when one is due, and a DeleteSelected (or an
    // UpdateEntries that deletes)
    // always; the version is taken under the lock, just before the rename, and a failure to take
    // it (EVersionError) is raised before anything is replaced. Off by default.
    bool KeepVersions() const { return m_keepVersions; }
    void SetKeepVersions(bool keep) { m_keepVersions = keep; }

    // When on, every rewrite of an existing archive keeps the file it replaces as a version,
    // whether one is due or not and whatever KeepVersions says (Keep::Always): for changes of
    // many entries at once, such as an import, which one version must be able to undo. Off by
    // default.
    bool KeepVersionAlways() const { return m_keepAlways; }
    void SetKeepVersionAlways(bool keep) { m_keepAlways = keep; }

    // Set while a restore from the kept version at that path writes: every rewrite of an
    // existing archive then keeps the file it replaces as a version marked as taken before a
    // restore (versions::Keep::BeforeRestore), whatever else is set, and the rotation that
    // follows spares that version, which the restore reads. Empty (the default) otherwise.
    QString RestoringFrom() const { return m_restoringFrom; }
    void SetRestoringFrom(const QString &versionPath) { m_restoringFrom = versionPath; }

    // A step run under the lock just before the rename that puts the next rewrites' new archive
    // in place (after the version is kept), when everything else has gone well: for what must
    // go exactly when the archive changes, such as the earlier versions of a diary whose format
    // changes. What it throws stops the rewrite, and the archive stays as it was. None by default.
    void SetBeforeRename(std::function<void()> step) { m_beforeRename = std::move(step); }

    // Puts the archive at sourcePath in this one's place, in one rewrite like every other: its
    // entries, their order and their bytes exactly as they are there, with the given comment
    // (an archive comment read from an archive), else the source's own. A
    // source whose directory disagrees with its end record, or that is in the Zip64 format, is
    // refused (EInconsistentZip, EArchiveLimit), and so is one without an end record
    // (EIncompleteZip); the errors of opening it are the reader's.
    void ReplaceWith(const QString &sourcePath, const std::optional<QByteArray> &comment = std::nullopt);

    // What the last write added (or, for DeleteSelected, deleted).
    int LastWriteCount() const { return m_lastWriteCount; }
    // The version the last rewrite kept of the file it replaced; empty when it kept none.
    QString LastKeptVersion() const { return m_lastKeptVersion; }

    // Where each encrypted entry's header takes its generator seed, and the clock for entry
    // stamps; tests and reproducible builds set fixed ones.
    void SetSeedSource(zip::SeedSource source) { m_seedSource = std::move(source); }
    void SetClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

private:
    enum class Mode { Plain, Stream, Delete, Update };
    struct Pending;
    class Output;

    struct Written;

    int writeArchive(Mode mode, QList<Pending> &pending);
    // Keeps the archive about to be replaced as a version, as the settings say; true when one
    // was kept (and so a rotation is due after the rename).
    bool keepVersion(bool deleting);
    // Each appends to written and the index; addEntry returns false when the name is there.
    bool addEntry(Pending &item, Output &out, std::vector<Written> &written, TNameIndex &lookup);
    void carryEntry(ReadStream &old, int index, Output &out, std::vector<Written> &written,
                    TNameIndex &lookup);
    QList<Pending> pendingOf(const QList<NewEntry> &entries) const;

    int m_packLevel = 9;
    int m_lastWriteCount = 0;
    QString m_lastKeptVersion;
    bool m_keepVersions = false;
    bool m_keepAlways = false;
    QString m_restoringFrom;
    std::function<void()> m_beforeRename;
    zip::SeedSource m_seedSource = zip::counterSeed;
    std::function<QDateTime()> m_clock = [] { return QDateTime::currentDateTime(); };
};
