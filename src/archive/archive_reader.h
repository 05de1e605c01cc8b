#pragma once

#include "archive/archive_lock.h"
#include "archive/read_stream.h"
#include "archive/zip_crypto.h"
#include "archive/zip_records.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>

class QIODevice;

namespace zip {
class Inflater;
class WholeInflater;
}

// What the reader does when a file has no valid end record.
enum class TIncompleteZipMode { izAssumeMulti, izAssumeBad, izAssumeNotAZip };

// Why an entry chosen for extraction was not extracted. None of these is an error: the entry is
// simply left out.
enum class ExtractFailure {
    WrongPassword,       // the check byte of the encryption header differs
    CrcMismatch,         // decoded, but the CRC differs (damaged data, or a wrong password by chance)
    UnknownMethod,       // a compression method other than stored or deflated
    LargerThanRecorded,  // decoding gave more bytes than the recorded uncompressed size
    UnsupportedEncryption,  // encrypted by a method this reader does not know (strong encryption, AES)
};

struct EntryFailure
{
    QByteArray name;     // directory part and file name, GBK
    ExtractFailure reason;
};

// Reads a diary archive: names it, reads its directory, lists entry names, holds the archive
// comment and a selection of entries, and extracts entries by name.
//
// The file is never held open between operations: each operation opens it, does its work under a
// shared folder lock (files::FolderLock) and closes it. The directory read by one operation is
// kept while the file stays the same file with the same two-second stamp, and read again as soon
// as either changes (another component or program rewrote it).
//
// The directory is checked against the end record whenever it is read (DirectoryProblem()): where
// it starts, its size and the number of headers in it must agree with the end record (or the
// Zip64 end record), the end record's comment must end the file, and every entry's local header
// and data must lie inside the file without overlapping another entry or the directory. When
// they disagree the reader still lists every header it found and extracts what it can, but an
// entry whose data runs into the next one is left out as damaged, and no write rewrites the
// archive. Zip64 archives (more than 65 535 entries, or Zip64 fields from `zip -fz`) are read;
// no write rewrites them either.
//
// Entry names: the bytes an entry is named by (EntryNameBytes(), EntryPathBytes(), the names
// ExtractToBytes() and the writer match) are GBK. A name another program stored in UTF-8 (flag
// bit 11, or unflagged as Info-ZIP writes it: see TZipHeaderInfo::setStoredName) is decoded, and shows up here as its GBK spelling: an entry named 2003年9月27日 in UTF-8
// compares equal to the GBK bytes of 2003年9月27日, exactly like the program's own entry of that
// date. The *Text() functions give every name as text, also a UTF-8 name GBK cannot spell (whose
// "bytes" are then its UTF-8 bytes, which no GBK name equals by chance in practice). A write that
// carries such an entry over keeps its stored bytes and flag.
//
// Errors (all from archive_errors.h): EFOpenError "Cannot open file "%1". %2" when the file
// cannot be opened; EIncompleteZip "Incomplete Zip File" when it has no valid end record;
// EBadZipFile "Not a valid zip file!" when its directory cannot be read (the component then drops
// its directory and comment); EListError "Index %1 is out of range"; EArchiveLimit for an entry
// too large to hold in memory; EFileInUse "The diary is in use by another program; try again
// later" when another program holds the folder lock exclusively past the lock's wait
// (ArchiveLock). Wrong passwords and CRC mismatches are not errors.
class TArchiveReader : public QObject
{
    Q_OBJECT

public:
    explicit TArchiveReader(QObject *parent = nullptr);
    ~TArchiveReader() override;

    // The archive's path (relative to the working folder, or absolute). Setting another path
    // drops the directory, the held comment and the selection; setting the same path does
    // nothing.
    QString ZipName() const { return m_zipName; }
    void SetZipName(const QString &path);
    // Reads an archive held in memory (another program's package, read whole by its caller)
    // instead of a file; name stands for it in ZipName() and in messages. No folder lock is
    // taken and nothing is created anywhere: the bytes cannot change under a read. Every read
    // works as on a file; SetZipName() ends it.
    void SetZipImage(const QByteArray &image, const QString &name);

    // The password for encrypted entries; its GBK bytes drive the keys. Throws EEncodingError for
    // text that GBK cannot represent.
    QString Password() const;
    void SetPassword(const QString &password);
    QByteArray PasswordBytes() const { return m_password; }
    void SetPasswordBytes(const QByteArray &password) { m_password = password; }

    TIncompleteZipMode IncompleteZipMode() const { return m_incompleteMode; }
    void SetIncompleteZipMode(TIncompleteZipMode mode) { m_incompleteMode = mode; }

    // Makes the directory current. A file without an end record is not an error here: the
    // component then simply has no directory (EntryCount() is 0). A missing or unreadable file,
    // or an unreadable directory, first drops the directory and the comment, then throws.
    void OpenArchive();
    // True when a directory has been read (OpenArchive found an archive).
    bool HasDirectory() const { return m_directory != nullptr; }
    // Which file the held directory was read from, or written as by this component's last
    // rewrite: when the file at ZipName() is another one now, another program replaced it since.
    const FileIdentity &HeldIdentity() const { return m_identity; }
    // Empty when the directory read agrees with its end record and its entries lie inside the
    // file without overlapping; otherwise what disagrees, in words (archive_errors.h). Every
    // write refuses such an archive with EInconsistentZip.
    QString DirectoryProblem() const { return m_problem; }
    // True when the directory came through Zip64 records or fields; writes refuse it
    // (EArchiveLimit) rather than drop what 32-bit records cannot describe.
    bool IsZip64() const { return m_zip64; }

    // The directory as last read; 0 entries when none has been read.
    int EntryCount();
    // File-name part of the entry at index (listing order = directory order); EListError for an
    // index outside 0 to EntryCount() - 1.
    QString EntryName(int index);
    QByteArray EntryNameBytes(int index);
    // Directory part (ending with "\") and file name.
    QByteArray EntryPathBytes(int index);
    // The same as text, decoded as the entry stores its name (UTF-8 or GBK).
    QString EntryPathText(int index);
    // A copy of the entry's record.
    TZipHeaderInfo Entry(int index);

    // The archive comment as held in memory: fetched from the file on first use (which may throw
    // as OpenArchive does, and EIncompleteZip), GBK inside. Setting only changes memory; the next
    // write stores it. A comment longer than 65 535 bytes, or holding a zero byte or the end
    // record's signature, is refused with EArchiveLimit.
    QString ArchiveComment();
    QByteArray ArchiveCommentBytes();
    void SetArchiveComment(const QString &comment);
    void SetArchiveCommentBytes(const QByteArray &comment);

    // Marks for DeleteSelected; EListError for an index out of range.
    void SelectEntry(int index, bool selected);
    void ClearSelection();
    int SelectedCount() const { return m_selectedCount; }

    // Extracts the entries whose directory part and file name match name (a pattern; see
    // name_pattern.h; "/" and "\" both separate directories), in directory order, and writes
    // their bytes at the stream's position. Returns the number of bytes written. An entry that
    // fails its password check or its CRC, or is of an unknown method, writes nothing. A blank
    // name returns 0 without opening the file. A text name that GBK cannot spell matches the
    // entries whose EntryPathText() equals it ("/" or "\" between directories, ASCII case
    // ignored). ECantWriteUCF when the stream takes fewer bytes;
    // EFatalUnzipError when the file ends inside a stored entry.
    qint64 ExtractToStream(const QString &name, QIODevice &stream);
    qint64 ExtractToStream(const QByteArray &name, QIODevice &stream);
    // The same into a byte array (appended); returns the number of entries extracted and lists
    // in *failures each chosen entry that was not.
    int ExtractToBytes(const QString &name, QByteArray &data, QList<EntryFailure> *failures = nullptr);
    int ExtractToBytes(const QByteArray &name, QByteArray &data, QList<EntryFailure> *failures = nullptr);
    // The entry at index alone, whatever its name: true when extracted (data then holds exactly
    // its bytes), else *why tells why not.
    bool ExtractEntry(int index, QByteArray &data, ExtractFailure *why = nullptr);
    // The data stored for the entry at index, untouched (not decoded, not decrypted), as a raw
    // entry of the writer holds it (TArchiveWriter::NewEntry::rawMethod): true when data then
    // holds exactly its compressed-size bytes and they are intact, i.e. their CRC-32 is the one
    // recorded and both recorded sizes are their size. Otherwise false, data empty, and *why is
    // CrcMismatch (changed bytes or sizes, data that runs into the next entry or past the end of
    // the file) or UnsupportedEncryption (flag bit 0 set: raw entries are never encrypted). Any
    // method is handed out; the caller checks it (Entry(index).method). EArchiveLimit for data
    // larger than one entry may hold.
    bool ExtractStoredData(int index, QByteArray &data, ExtractFailure *why = nullptr);

    // Several entries by directory index, each as ExtractEntry extracts it: the same data, the
    // same failures. For a pass over many entries (under a HeldFile, or opened here like
    // ExtractEntry): the entries are read first, then the encrypted data of all of them is
    // decrypted together (zip::ZipKeys::decryptTogether), then each is inflated. What opening the
    // archive throws is thrown; what an entry's extraction throws is kept in its error, and the
    // entries after it are left as they were (not read).
    struct Extraction
    {
        int index = -1;
        QByteArray data;
        bool extracted = false;
        ExtractFailure why = ExtractFailure::CrcMismatch;   // when not extracted
        std::exception_ptr error;
    };
    void ExtractEntries(std::span<Extraction> batch);

    // While one lives, ExtractEntry and ExtractStoredData of its reader read through one file,
    // opened and checked against the directory once, when it is made, instead of opening the
    // archive, taking its lock and checking the directory again for every entry. For a pass over
    // many entries made while the caller holds the archive's lock (ArchiveLock), so that the file
    // cannot change under the pass. Throws EFOpenError and EIncompleteZip as ExtractEntry does.
    // One at a time per reader; the reader must outlive it.
    class HeldFile
    {
    public:
        explicit HeldFile(TArchiveReader &reader);
        ~HeldFile();
        HeldFile(const HeldFile &) = delete;
        HeldFile &operator=(const HeldFile &) = delete;

    private:
        TArchiveReader &m_reader;
        std::unique_ptr<ReadStream> m_file;
    };

protected:
    // Opens the archive file (or its image); EFOpenError when it cannot.
    void openArchiveFile(ReadStream &file) const;
    // Takes the shared folder lock of a read into lock, unless the archive is an image.
    void lockForReading(std::optional<ArchiveLock> &lock) const;
    // Keeps the held directory when the open file is the one it was read from, else reads it.
    // False when the file has no valid end record (the directory is then dropped).
    bool makeDirectoryCurrent(ReadStream &file);
    // Reads the directory afresh, keeping the modified comment and marking again the selected
    // entries that are still there unchanged. EIncompleteZip when there is no end record.
    void rereadDirectory(ReadStream &file);
    // The comment text, read from the open file when it is not held.
    QByteArray commentText(ReadStream &file);
    // Drops directory, end record, comment and stamp. The path stays, so that a later operation
    // meets the file again (and its error) instead of silently doing nothing.
    void resetComponent();
    void installDirectory(std::unique_ptr<TSortedZip> directory);
    // The record at index; EListError "Index %1 is out of range" when there is none.
    TZipHeaderInfo &record(int index) const;
    static bool isBlank(const QByteArray &name);
    // Sets each entry's region end and names in problem (when it is still empty) the first entry
    // that lies outside the file, overlaps the next one or runs into the directory.
    static void checkRegions(TSortedZip &directory, qint64 directoryStart, qint64 fileSize,
                             QString &problem);

    QString m_zipName;
    std::optional<QByteArray> m_image;         // see SetZipImage
    QByteArray m_password;
    std::unique_ptr<TSortedZip> m_directory;   // ByNone, owning; null when none has been read
    TEndCentral m_end;
    quint32 m_stamp = 0;                       // MS-DOS stamp of the file at the last read
    FileIdentity m_identity;                   // and which file it was
    int m_selectedCount = 0;
    QString m_problem;                         // see DirectoryProblem()
    bool m_zip64 = false;
    ReadStream *m_heldFile = nullptr;          // see HeldFile

private:
    bool readDirectory(ReadStream &file);
    int extractByText(const QString &name, QByteArray &data, QList<EntryFailure> *failures);
    // Extracts the entries at those directory indices, in that order, from the open file;
    // returns how many were extracted and lists the others in *failures.
    int extractChosen(ReadStream &file, const QList<int> &chosen, QByteArray &data,
                      QList<EntryFailure> *failures);
    // The directory from the local headers, with end record end as the scan sets it; the
    // component is reset and EBadZipFile thrown when the scan finds nothing.
    void recoverDirectory(ReadStream &file, TEndCentral end);
    bool recoveryScan(ReadStream &file, TEndCentral &end, TSortedZip &directory);
    QList<int> chooseEntries(const QByteArray &pattern);
    bool extractEntry(ReadStream &file, const TZipHeaderInfo &entry, QByteArray &out,
                      ExtractFailure *why);
    // An entry of a size to hold whole, read and past its password check: its data still
    // encrypted (keys set) or deflated.
    struct WholeEntry
    {
        QByteArray input;
        std::optional<zip::ZipKeys> keys;
    };
    enum class EntryStep { Failed, Extracted, ReadWhole };
    // extractEntry up to the decryption of an entry read whole (ReadWhole: whole holds it; the
    // rest is decrypting and inflateWhole); every other entry is extracted here, or fails.
    EntryStep beginEntry(ReadStream &file, const TZipHeaderInfo &entry, QByteArray &out,
                         ExtractFailure *why, WholeEntry &whole);
    bool inflateWhole(const TZipHeaderInfo &entry, const WholeEntry &whole, QByteArray &out,
                      ExtractFailure *why);
    // The open file for an operation on one or more entries: the held one, or one opened here
    // under a shared lock whose directory must still be the one the caller saw.
    ReadStream &fileForEntries(std::optional<ArchiveLock> &lock, std::optional<ReadStream> &own);
    bool extractStored(ReadStream &file, const TZipHeaderInfo &entry, QByteArray &out);
    // One entry by directory index, for ExtractEntry and ExtractStoredData: read from the held
    // file, or from one opened here under a shared lock whose directory must still be the one the
    // caller saw. read fills data or sets its reason; a failure leaves data empty and *why set.
    using EntryRead = std::function<bool(ReadStream &file, const TZipHeaderInfo &entry,
                                         QByteArray &data, ExtractFailure &reason)>;
    bool extractIndexed(int index, QByteArray &data, ExtractFailure *why, const EntryRead &read);

    TIncompleteZipMode m_incompleteMode = TIncompleteZipMode::izAssumeMulti;
    // Folded full name -> directory indices, built on the first lookup after a read.
    QHash<QByteArray, QList<int>> m_nameIndex;
    bool m_nameIndexValid = false;
    std::unique_ptr<zip::Inflater> m_inflater;
    std::unique_ptr<zip::WholeInflater> m_wholeInflater;
};
