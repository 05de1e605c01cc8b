#pragma once

#include "archive/diary_password.h"

#include "crypto/private_header.h"
#include "crypto/secret.h"
#include "diary/entry.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <exception>
#include <functional>
#include <optional>

namespace entry_seal {
enum class OpenStatus;
}
class TArchiveReader;
class TArchiveWriter;
enum class ExtractFailure;

// The operations the main window performs on the logged-in user's diary, as sequences of
// container operations on the archive the container objects name (ZipName). Each sets the fixed
// archive password on the container object it uses first. Entry names are compared as the GBK
// bytes they are stored as, exactly.
//
// Errors are the container's (archive_errors.h) and those of the records (entry.h); nothing is
// caught except where listEntries() says so.
//
// Two formats: a diary is private when its archive comment is a private header
// (PrivateHeader::isPrivate, crypto/private_header.h), else it is in the old format (every entry
// encrypted under kArchivePassword). Each operation takes the diary key as key: for a private
// diary the key its header unlocks. The book finds the format in the archive itself, and refuses
// with EDiaryFormat (messages.h) a private diary without a key, and, given a key, an archive that
// is not private (also a missing one: a private diary is created by protectDiary), so that
// nothing meant to be private is ever written the old way. Without a key the old format's
// operations are exactly as they were.
//
// In a private diary each entry is a raw entry of method private_format::kPrivateMethod holding
// its record sealed with the key (entry_seal.h), the entry's name as stored bound in. Records
// are sealed and opened in memory only: no file ever holds one decrypted. An entry that does not
// open (changed, renamed, swapped, sealed under another key, not sealed at all) is an unreadable
// row with its reason, and is never written over, as in the old format.
namespace diary {

// The password every entry of every diary is encrypted under.
inline const QString kArchivePassword = QString::fromLatin1(kDiaryArchivePassword);

// The record stored under name, when the archive exists and holds such an entry: the first entry
// of that name in directory order. nullopt when the file does not exist or no entry has the
// name. An entry that cannot be extracted gives empty bytes. *problem (when given) tells whether
// the record can be opened: EntryProblem::None, why it could not be extracted, or
// recordProblem() of the record.
std::optional<QByteArray> findEntry(TArchiveReader &reader, const QByteArray &nameBytes,
                                    EntryProblem *problem = nullptr, const DiaryKey *key = nullptr);

// The record stored under name: empty bytes when no entry has the name or it could not be
// extracted; *problem as for findEntry, EntryProblem::Missing when no entry has the name. Throws
// the container's errors (a missing file among them).
QByteArray readEntry(TArchiveReader &reader, const QByteArray &nameBytes,
                     EntryProblem *problem = nullptr, const DiaryKey *key = nullptr);

// The records stored under each of names, read in one pass: one shared lock and one open file
// for all, each entry found through one index of the directory. take(i, record, problem) is
// called for names[i], in order, on the calling thread (under the lock: it should only keep
// the record). record and problem are as readEntry gives them, except that the record is not
// decoded: a record that extracts (or opens) is handed over with EntryProblem::None whether it
// decodes or not, which the caller finds out as it decodes it (recordProblem). Throws the
// container's errors, as readEntry.
using TakeRecord = std::function<void(qsizetype index, QByteArray record, EntryProblem problem)>;
void extractEntries(TArchiveReader &reader, const QList<QByteArray> &names, const DiaryKey *key,
                    const TakeRecord &take);

// Stores the record as the entry of that name, replacing an entry of the same name where it
// stands, otherwise after all others; creates the archive when it is missing. An entry of that
// name that cannot be read (extracted and decoded as a record) is never replaced: nothing is
// written and its problem is returned; EntryProblem::None when the record was stored. A record
// larger than an entry may hold (record_limit.h) is refused with EEntryTooLarge.
EntryProblem storeEntry(TArchiveWriter &writer, const QByteArray &nameBytes,
                        const QByteArray &record, const DiaryKey *key = nullptr);

// ---- many entries in one rewrite ----

// One entry of a batch: the record to store under the name.
struct BatchEntry {
    QByteArray nameBytes;
    QByteArray record;
};

// For a batch entry whose name the archive holds already, readable: the record to store in its
// place (made from the stored one and the new one), or nullopt to leave the stored entry as it is.
using MergeRecord = std::function<std::optional<QByteArray>(const QByteArray &stored,
                                                            const QByteArray &incoming)>;

// Told how many of total entries have been prepared; false stops the batch. It is asked before
// the first entry, after each one and once more just before the rewrite starts; the rewrite
// itself is not stopped.
using BatchProgress = std::function<bool(qsizetype done, qsizetype total)>;

// What storeEntries did with each batch entry, by name, in batch order.
struct BatchOutcome {
    bool cancelled = false;             // the progress said stop: nothing was written
    QList<QByteArray> added;            // days that had no entry
    QList<QByteArray> merged;           // days whose entry merge replaced
    QList<QByteArray> kept;             // days whose entry merge left alone
    // Days whose stored entry cannot be read: never replaced, with the problem; and days whose
    // record (as given, or as merge made it) is larger than an entry may hold (record_limit.h):
    // EntryProblem::TooLarge, nothing stored.
    QList<QPair<QByteArray, EntryProblem>> refused;

    qsizetype written() const { return added.size() + merged.size(); }
};

// Stores the entries in ONE atomic rewrite of the archive, under one exclusive lock held from
// reading the stored entries to the rename, with the rules of storeEntry for each: a new name is
// added after all other entries (in batch order), a name the archive holds is handed to merge
// with the stored record, and a stored entry that cannot be read is never replaced. In a private
// diary every record is sealed with the key under its name. A name given twice in the batch
// counts once, its first occurrence (callers merge the days of a batch themselves).
//
// When anything is written, the file the rewrite replaces is kept as a version first
// (versions::Keep::Always, through TArchiveWriter::SetKeepVersionAlways for this rewrite). When
// the batch writes nothing (every day kept or refused, or cancelled) the archive is not touched.
// When progress returns false, storeEntries returns with cancelled set and nothing written: the
// archive stays byte for byte as it was and no version is kept.
//
// Errors: the container's (the archive then stays as it was), EDiaryFormat as storeEntry, and
// what merge throws (also before anything is written).
BatchOutcome storeEntries(TArchiveWriter &writer, const QList<BatchEntry> &entries,
                          const MergeRecord &merge, const DiaryKey *key = nullptr,
                          const BatchProgress &progress = {});

// The problem the container reports for an entry it did not extract.
EntryProblem problemOf(ExtractFailure failure);

// The problem of a private entry that did not open.
EntryProblem problemOf(entry_seal::OpenStatus status);

// Rewrites the archive without the entries of that name. Throws the container's errors (and
// EDiaryFormat as every operation does; the entries go whether they open or not).
void deleteEntry(TArchiveReader &reader, TArchiveWriter &writer, const QByteArray &nameBytes,
                 const DiaryKey *key = nullptr);

// How many bytes one listing may decode, all entries together (each entry counted at the
// uncompressed size its directory record gives, which extraction never goes beyond). A diary of
// ten years of long entries stays far below it; an archive made to inflate without end reaches
// it after a few entries. Two of the largest entries one archive may hold.
constexpr qint64 kMaxListingBytes = qint64(512) << 20;

// Records extracted and waiting for decoding are held up to this many bytes together (one record
// larger than this is held alone): extraction waits while the decoders catch up.
constexpr qint64 kMaxListingBytesInFlight = qint64(64) << 20;

// All entries as list rows, in archive order: rows[i] is entry i. Every entry has its row: one
// that cannot be extracted or decoded as a record has the row of its problem (unreadableRow).
// Reading stops only at an error of the container or at the listing's limit (EListingTooLarge);
// rows then holds the rows of the entries before it and error the error, to be raised once they
// are shown.
struct Listing {
    bool archiveFound = false;
    QList<ListRow> rows;
    std::exception_ptr error;

    // Raises the error, if there is one.
    void rethrowError() const;
    // The rows of entries that cannot be read.
    int unreadableCount() const;
};

// Reads every entry of the archive (when the file exists) and decodes it into a list row.
// Extraction runs on the calling thread, entry after entry, under one shared lock of the
// diary's folder; the records are decoded meanwhile on the other cores and by the calling thread
// once extraction is done. The result, rows and error, is the same as reading and decoding one
// entry after the other. Errors are caught here only to be handed over in the Listing.
//
// Memory: a row keeps its summary (listRowOf) and the summary folded for search; the records decoded by the whole listing
// come to at most kMaxListingBytes (an entry larger than the container's limit for one entry is
// not extracted but listed as EntryProblem::TooLarge), and at most kMaxListingBytesInFlight of
// them are held at a time.
//
// A private diary's entries are opened on the helper threads, where the old format's records are
// decoded. The listing's byte limit counts a sealed entry at its stored size: its record can
// inflate to more, up to private_format::kMaxRecordSize, but only a writer holding the key can
// make it so.
//
// With a cache, an entry whose directory record the cache knows (ListingCache) takes its row
// from there and is neither extracted nor decoded; the cache then holds the rows of this listing
// and no others. A cache kept for another archive or another key is emptied first.
//
// Each readable row's summary is folded for search (ListRow::folded) on the helper threads, so
// that a window's search is ready as soon as its table; a caller that never searches the rows
// leaves that out with SearchFolding::Left (the rows' folded text stays null: a SearchIndex
// folds what it is given without it).
class ListingCache;
enum class SearchFolding { Made, Left };
Listing listEntries(TArchiveReader &reader, const DiaryKey *key = nullptr, ListingCache *cache = nullptr,
                    SearchFolding folding = SearchFolding::Made);

// The rows of the last listing of one diary under one key, so that listing it again decodes
// only the entries that are new or changed. An entry is known by its directory record: its name
// as stored, CRC, compressed and uncompressed size, method, flags and time stamp. A save, a
// deletion or another program's change gives each entry it touches another record: its CRC
// (of the record, or for a private entry of the sealed bytes, which a fresh nonce makes unlike
// any before) and its time stamp change with its bytes, so a listing with the cache gives the
// same rows as one without. The offset is not part of it: replacing one entry moves every
// entry after it, whose bytes stay the same. Rows are kept only in memory, with their
// summaries and folded text: as much as the table and its search hold. The cache notices another archive path or another key
// by itself; clear() drops everything (at logout, when a private diary locks).
class ListingCache
{
public:
    void clear();
    qsizetype size() const { return m_rows.size(); }
    // How many entries the last listing took from the cache.
    qsizetype reused() const { return m_reused; }

    // What identifies an entry's bytes: its directory record without the offset.
    struct Stamp {
        QByteArray name;
        quint32 crc = 0;
        quint32 compressedSize = 0;
        quint32 uncompressedSize = 0;
        quint32 time = 0;
        quint16 method = 0;
        quint16 flags = 0;
        bool operator==(const Stamp &) const = default;
        friend size_t qHash(const Stamp &s, size_t seed = 0)
        {
            return qHashMulti(seed, s.name, s.crc, s.compressedSize, s.uncompressedSize, s.time, s.method, s.flags);
        }
    };

private:
    friend Listing listEntries(TArchiveReader &reader, const DiaryKey *key, ListingCache *cache,
                               SearchFolding folding);

    struct Kept {
        ListRow row;
        quint64 listing = 0;   // the last listing that met the entry
    };

    QString m_path;           // the archive's absolute path
    QByteArray m_keyId;       // a digest of the key; empty for the old format
    QHash<Stamp, Kept> m_rows;
    quint64 m_listings = 0;
    qsizetype m_reused = 0;
};

// ---- the private format ----

// True when the archive exists and its comment is a private header (perhaps one that
// PrivateHeader::parse refuses).
bool isPrivateDiary(TArchiveReader &reader);

// The archive's private header, parsed; nullopt when the archive is missing or not private.
// Throws what PrivateHeader::parse throws for a damaged or later header.
std::optional<PrivateHeader> privateHeaderOf(TArchiveReader &reader);

// What a conversion did with each entry, by name as stored, in archive order.
struct Conversion {
    QList<QByteArray> converted;
    // Entries that could not be read: carried over byte for byte, with their problem.
    QList<QPair<QByteArray, EntryProblem>> carried;
    // Copies of the diary in the old format that protectDiary removed: temporary files of
    // interrupted replacements, earlier versions and drafts.
    int removedCopies = 0;
};

// Makes the diary private in one atomic rewrite: the comment becomes header's text, and every
// entry that extracts under kArchivePassword is sealed with key (which must be the key header
// holds) under its name, its record exactly as it was; an entry that does not extract is
// carried over untouched and reported. A missing archive is created holding the header alone.
// Every copy of the diary's text in the old format goes with the conversion, under the same lock:
// the temporary files of interrupted replacements before the rewrite, the earlier versions
// (versions/kept_versions.h) and the drafts (drafts/drafts.h) just before its rename; a stop in
// between leaves the old diary without them, never the private one with them. This is the one
// conversion the window and the shell tool share.
// EDiaryFormat when the diary is already private; the container's errors (the archive then stays
// as it was).
Conversion protectDiary(TArchiveWriter &writer, const PrivateHeader &header, const DiaryKey &key);

// The way back, in one atomic rewrite: every private entry that opens with key is stored the
// old way (deflated and encrypted under kArchivePassword), the others carried over untouched
// and reported, and the comment becomes oldComment (the old format's login token).
// EDiaryFormat when the diary is not private.
Conversion unprotectDiary(TArchiveWriter &writer, const DiaryKey &key, const QByteArray &oldComment);

// Replaces a private diary's header (a new password: PrivateHeader::withPassword): the archive
// is written anew with every entry byte for byte as it was, only the comment changes.
// EDiaryFormat when the diary is not private.
void setPrivateHeader(TArchiveWriter &writer, const PrivateHeader &header);

} // namespace diary
