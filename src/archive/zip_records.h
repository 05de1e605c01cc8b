#pragma once

#include "archive/zip_layout.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

class ReadStream;

namespace zip {

// MS-DOS stamp: time = hour * 2048 + minute * 32 + seconds / 2 in the low 16 bits,
// date = (year - 1980) * 512 + month * 32 + day in the high 16 bits.
//
// repairStamp() mends each impossible field on its own and keeps a valid stamp unchanged:
// seconds field 30 or more -> 29, minutes 60 or more -> 59, hours above 23 -> 23, day 0 -> 1,
// month 0 -> 1, month above 12 -> 12, year field 120 or more (years from 2100) -> 119.
quint32 repairStamp(quint32 stamp);
// The stamp of a local date and time; years before 1980 give 1980-01-01 00:00:00.
quint32 dosStamp(int year, int month, int day, int hour, int minute, int second);
quint32 dosStamp(const QDateTime &local);
QDateTime dateTimeOfStamp(quint32 stamp);

// Entry names are GBK bytes. In memory the path separator is "\", on disk "/". These helpers step
// over double-byte characters, whose second byte may look like "\" or an ASCII letter.

// The name with ASCII "A" to "Z" lowered and every double-byte character left as it is.
QByteArray foldCase(QByteArrayView name);
// Byte-wise comparison of the folded names: <0, 0, >0. The four-part form compares a1 + a2 with
// b1 + b2 (directory and file-name parts) without joining them.
int compareFolded(QByteArrayView a, QByteArrayView b);
int compareFolded(QByteArrayView a1, QByteArrayView a2, QByteArrayView b1, QByteArrayView b2);
// "/" -> "\" (reading) and "\" -> "/" (writing).
QByteArray toMemoryName(const QByteArray &diskName);
QByteArray toDiskName(const QByteArray &memoryName);
// Where the file-name part of a memory name starts: just behind its last "\" (0 when none).
qsizetype fileNameStart(QByteArrayView memoryName);

} // namespace zip

// One entry of an archive, as its central header (or, in the recovery scan, its local header)
// describes it. Copying copies every field.
class TZipHeaderInfo
{
public:
    quint16 versionMadeBy = zip::kVersion20;
    quint16 versionNeeded = zip::kVersion20;
    quint16 flags = 0;
    quint16 method = zip::kMethodDeflated;
    quint32 stamp = 0;                   // repaired whenever read from a header
    quint32 crc = 0xFFFFFFFF;
    quint32 compressedSize = 0;          // with the encryption header of an encrypted entry
    quint32 uncompressedSize = 0;
    quint16 extraLength = 0;             // central header's extra field
    quint16 localExtraLength = 0;        // 0 until a local header has been read
    quint16 commentLength = 0;
    quint16 diskNumberStart = 0;
    quint16 internalAttributes = 1;
    quint32 externalAttributes = zip::kArchiveAttribute;
    quint32 localHeaderOffset = 0;
    quint32 centralHeaderOffset = 0;     // where the central header was read; 0 for a new entry
    // Where the next entry's local header (or the directory) starts: the entry's header and data
    // must end there. Set when the directory is checked; the largest value while unknown.
    quint32 regionEnd = 0xFFFFFFFF;
    bool zip64 = false;                  // a size or offset came from a Zip64 extra field
    std::optional<QByteArray> fileComment; // loaded only when needed
    bool matched = false;
    bool selected = false;

    // The file-name part and the directory part ("" or ending with "\") of the name, GBK.
    //
    // A name stored in UTF-8 (flag bit 11, as other tools write it; or, without the flag, a name
    // that is well-formed UTF-8 and not ASCII, unless its GBK reading is a date such as
    // 2003年9月26日: Info-ZIP on Linux writes UTF-8 names unflagged) is held here as its GBK
    // equivalent when GBK can spell it, so that it compares, matches and is replaced exactly like
    // the same name written by this program; the UTF-8 bytes are kept aside and written back when
    // the entry is carried over unchanged. A UTF-8 name GBK cannot spell is held as its own bytes.
    const QByteArray &fileName() const { return m_fileName; }
    const QByteArray &directory() const { return m_directory; }
    void setFileName(const QByteArray &name)
    {
        m_fileName = name;
        m_storedName.reset();
    }
    // Splits a memory name at its last "\".
    void setName(const QByteArray &memoryName);
    // Takes the name as a header stores it ("/" between directories), decoding it by flag bit 11
    // of flags, which must be set first.
    void setStoredName(const QByteArray &diskName);
    // The name as text for showing: directory part and file name ("\" between directories), and
    // the file name alone; decoded from UTF-8 or GBK as the entry stores it.
    QString fullNameText() const;
    QString fileNameText() const;
    bool hasUtf8Name() const { return flags & zip::kFlagUtf8Name; }
    // Directory part followed by the file-name part.
    QByteArray fullName() const { return m_directory + m_fileName; }
    qsizetype nameLength() const { return m_directory.size() + m_fileName.size(); }
    // The full name as it is stored in the archive: "/" between directories.
    QByteArray diskName() const;
    // True when that is simply the file-name part (no directory, nothing to convert).
    bool isOwnDiskName() const;
    qsizetype diskNameLength() const { return m_storedName ? m_storedName->size() : nameLength(); }

    void setFileComment(const std::optional<QByteArray> &comment);

    bool isEncrypted() const { return flags & zip::kFlagEncrypted; }
    bool hasDataDescriptor() const { return flags & zip::kFlagDataDescriptor; }
    // Encrypted by a method other than the traditional one: strong encryption or WinZip AES.
    bool hasUnsupportedEncryption() const
    {
        return (flags & zip::kFlagStrongEncryption) || method == zip::kMethodAes;
    }
    // True when a size or the local header offset is all ones, so that a Zip64 extra field
    // holds the real value.
    bool needsZip64Extra() const;
    // Takes the real values from the Zip64 block of a central extra field. A value beyond 32 bits
    // stays all ones (no entry of such size or place can be read here).
    void applyZip64Extra(QByteArrayView extra);

    // Reads the central header at the stream's position: 46 bytes with the right signature and
    // the whole name. On success the stream is left just behind the name (the caller skips the
    // extra field and comment); on failure the stream is put back and the record is unchanged.
    bool readCentralHeader(ReadStream &in);
    // The same for a local header (30 bytes and the name); the local header offset becomes the
    // position it was read from.
    bool readLocalHeader(ReadStream &in);

    // Appends the 30-byte local header and the name (the extra field's bytes are the caller's).
    void writeLocalHeader(QByteArray &out) const;
    // The 30 fixed bytes of that header alone, for a name of the given length and a local extra
    // field of the given length.
    void writeLocalFixedPart(uchar *out, qsizetype nameLength, quint16 localExtra) const;
    // Appends the 46-byte central header, the name, the given extra field (extraLength bytes)
    // and the held file comment.
    void writeCentralHeader(QByteArray &out, QByteArrayView extra) const;
    // The same with another local header offset and file comment than the record's own.
    void writeCentralHeader(QByteArray &out, QByteArrayView extra, quint32 localHeader,
                            QByteArrayView comment) const;

private:
    QByteArray m_fileName;
    QByteArray m_directory;
    std::optional<QByteArray> m_storedName;   // the UTF-8 bytes of a UTF-8 name that is not ASCII
};

// The end of central directory record and the archive comment.
class TEndCentral
{
public:
    quint32 signature = zip::kEndSignature;
    quint16 thisDisk = 0;
    quint16 centralDisk = 0;
    quint16 entriesOnDisk = 0;
    quint16 totalEntries = 0;
    quint32 centralSize = 0;
    qint32 centralOffset = 0;
    quint16 commentLength = 0;
    std::optional<QByteArray> comment;   // held once read or set
    qint64 commentOffset = 0;            // file position of the comment
    bool commentModified = false;

    void reset() { *this = TEndCentral(); }
    // Copies every field but the modified mark.
    void assign(const TEndCentral &other);
    // Holds a copy of the text; the length becomes its byte length.
    void setComment(const QByteArray &text);

    // Searches the last 65 557 bytes of the stream backwards for the record. A stream of 0 bytes
    // counts as found and changes nothing; one of 1 to 21 bytes has none. Loads the numbers and
    // the comment offset, not the comment. Changes nothing when no record is found.
    bool find(ReadStream &in);

    // Appends the 22 bytes and, when its length is not 0, the held comment.
    void write(QByteArray &out) const;
};

enum class TZipSortMode { ByName, ByNone };
enum class TDuplicates { dupIgnore, dupAccept, dupError };

// An ordered list of entry records. ByName keeps records ordered by their full name compared
// without regard to ASCII case; ByNone keeps insertion order and never finds anything.
// A list that owns its records frees them, including a record it drops or refuses.
class TSortedZip
{
public:
    TSortedZip(TDuplicates duplicates, TZipSortMode mode, bool ownsRecords);
    ~TSortedZip();
    TSortedZip(const TSortedZip &) = delete;
    TSortedZip &operator=(const TSortedZip &) = delete;

    // Inserts the record at its place. An equal record already there: the ignore policy drops
    // the new one (false), the accept policy inserts it, the error policy throws EListError
    // "Duplicate Object index".
    bool add(TZipHeaderInfo *record);
    // Binary search: true when an equal record is present; *index is its place, or the place
    // where the record would go.
    bool find(const TZipHeaderInfo &record, int *index) const;

    int count() const { return int(m_records.size()); }
    void reserve(int count) { m_records.reserve(size_t(count)); }
    // Hands every record to the caller, who then owns them, and leaves the list empty.
    std::vector<TZipHeaderInfo *> release() { return std::exchange(m_records, {}); }
    TZipHeaderInfo *at(int index) const { return m_records[size_t(index)]; }

private:
    int compare(const TZipHeaderInfo &existing, const TZipHeaderInfo &record) const;

    std::vector<TZipHeaderInfo *> m_records;
    TDuplicates m_duplicates;
    TZipSortMode m_mode;
    bool m_owns;
};

// The full names a new archive already holds, compared as a ByName list compares them (directory
// plus file name, ASCII case ignored). The writer asks it for every entry it writes; hashing keeps
// that linear in the size of the archive. Refers to the records, never frees them.
class TNameIndex
{
public:
    void reserve(int count);
    bool contains(const TZipHeaderInfo &record) const;
    // Adds the record; an equal one already there raises EListError "Duplicate Object index".
    void add(const TZipHeaderInfo *record);
    // Adds the record even when an equal one is there (an archive written elsewhere may hold
    // names equal but for letter case); contains() then answers for both.
    void addDuplicate(const TZipHeaderInfo *record);

private:
    struct Slot {
        size_t hash = 0;
        const TZipHeaderInfo *record = nullptr;
    };
    // Open addressing with linear probing in a table kept at most half full: no allocation per
    // name, which matters for the thousands of names of a diary.
    const Slot &slotFor(const TZipHeaderInfo &record, size_t hash) const;
    std::vector<Slot> m_slots;
    size_t m_count = 0;
};
