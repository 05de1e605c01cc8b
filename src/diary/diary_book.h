#pragma once

#include "archive/diary_password.h"

#include "diary/entry.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>
#include <optional>

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
namespace diary {

// The password every entry of every diary is encrypted under.
inline const QString kArchivePassword = QString::fromLatin1(kDiaryArchivePassword);

// The record stored under name, when the archive exists and holds such an entry: the first entry
// of that name in directory order. nullopt when the file does not exist or no entry has the
// name. An entry that cannot be extracted gives empty bytes. *problem (when given) tells whether
// the record can be opened: EntryProblem::None, why it could not be extracted, or
// recordProblem() of the record.
std::optional<QByteArray> findEntry(TArchiveReader &reader, const QByteArray &nameBytes,
                                    EntryProblem *problem = nullptr);

// The record stored under name: empty bytes when no entry has the name or it could not be
// extracted; *problem as for findEntry, EntryProblem::Missing when no entry has the name. Throws
// the container's errors (a missing file among them).
QByteArray readEntry(TArchiveReader &reader, const QByteArray &nameBytes,
                     EntryProblem *problem = nullptr);

// Stores the record as the entry of that name, replacing an entry of the same name where it
// stands, otherwise after all others; creates the archive when it is missing. An entry of that
// name that cannot be read (extracted and decoded as a record) is never replaced: nothing is
// written and its problem is returned; EntryProblem::None when the record was stored.
EntryProblem storeEntry(TArchiveWriter &writer, const QByteArray &nameBytes,
                        const QByteArray &record);

// The problem the container reports for an entry it did not extract.
EntryProblem problemOf(ExtractFailure failure);

// Rewrites the archive without the entries of that name. Throws the container's errors.
void deleteEntry(TArchiveReader &reader, TArchiveWriter &writer, const QByteArray &nameBytes);

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
// Memory: a row keeps its summary only (listRowOf); the records decoded by the whole listing
// come to at most kMaxListingBytes (an entry larger than the container's limit for one entry is
// not extracted but listed as EntryProblem::TooLarge), and at most kMaxListingBytesInFlight of
// them are held at a time.
Listing listEntries(TArchiveReader &reader);

// Orders rows as the list shows them: by name, compared with QString::localeAwareCompare
// ("2003年10月5日" before "2003年9月26日"); rows of equal names keep their order.
void sortRows(QList<ListRow> &rows);

} // namespace diary
