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
// name. An entry that fails its password or CRC check gives empty bytes.
std::optional<QByteArray> findEntry(TArchiveReader &reader, const QByteArray &nameBytes);

// The record stored under name: empty bytes when no entry has the name or it could not be
// extracted. Throws the container's errors (a missing file among them).
QByteArray readEntry(TArchiveReader &reader, const QByteArray &nameBytes);

// Stores the record as the entry of that name, replacing an entry of the same name where it
// stands, otherwise after all others; creates the archive when it is missing.
void storeEntry(TArchiveWriter &writer, const QByteArray &nameBytes, const QByteArray &record);

// Rewrites the archive without the entries of that name. Throws the container's errors.
void deleteEntry(TArchiveReader &reader, TArchiveWriter &writer, const QByteArray &nameBytes);

// All entries as list rows, in archive order: rows[i] is entry i. Reading stops at the first
// entry whose record cannot be read or decoded (or at an error of the container); rows then
// holds the rows of the entries before it and error the error, to be raised once they are shown.
struct Listing {
    bool archiveFound = false;
    QList<ListRow> rows;
    std::exception_ptr error;

    // Raises the error, if there is one.
    void rethrowError() const;
};

// Reads every entry of the archive (when the file exists) and decodes it into a list row.
// Extraction runs on the calling thread, entry after entry, under one shared lock of the
// diary's folder; the records are decoded meanwhile on the other cores and by the calling thread
// once extraction is done. The result, rows and error, is the same as reading and decoding one
// entry after the other. Errors are caught here only to be handed over in the Listing.
Listing listEntries(TArchiveReader &reader);

// Orders rows as the list shows them: by name, compared with QString::localeAwareCompare
// ("2003年10月5日" before "2003年9月26日"); rows of equal names keep their order.
void sortRows(QList<ListRow> &rows);

} // namespace diary
