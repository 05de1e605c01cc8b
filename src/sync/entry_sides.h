#pragma once

#include "archive/archive_reader.h"
#include "crypto/secret.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <optional>

// The entries of a diary and of its copies as the merge and the summary compare them (inside
// the sync folder only).
namespace syncing::detail {

// One entry as its directory record describes it. Two revisions with the same record are the
// same stored bytes: an entry carried over by a rewrite keeps its record, and a new one gets a
// new stamp and CRC.
struct Revision {
    int index = -1;              // in its archive's directory
    quint32 crc = 0;
    quint32 compressedSize = 0;
    quint32 uncompressedSize = 0;
    quint32 stamp = 0;           // MS-DOS local time: when it was written; compares in order
    quint16 method = 0;
    quint16 flags = 0;

    bool sameStored(const Revision &o) const
    {
        return crc == o.crc && compressedSize == o.compressedSize && uncompressedSize == o.uncompressedSize
               && stamp == o.stamp && method == o.method && flags == o.flags;
    }
    bool sealed() const;
};

// One archive's entries, the first of each name (as the diary finds an entry), in its order.
struct Side {
    QString path;
    std::unique_ptr<TArchiveReader> reader;
    QHash<QByteArray, Revision> entries;
    QList<QByteArray> order;
    QByteArray comment;
    bool isPrivate = false;

    const Revision *find(const QByteArray &name) const
    {
        const auto it = entries.constFind(name);
        return it == entries.cend() ? nullptr : &*it;
    }
};

// Reads the archive's directory (under the shared lock of its folder, which the caller may hold).
std::unique_ptr<Side> readSide(const QString &path);

// The records of revisions, opened once each and kept: extracted under the archive password,
// or opened with the key for sealed ones.
class Contents
{
public:
    explicit Contents(const DiaryKey *key) : m_key(key) {}

    // The record, or nullopt when it cannot be extracted or opened (no key for a sealed one).
    std::optional<QByteArray> record(const Side &side, const Revision &revision);
    // True when the two hold the same record (see CopySummary); false also when either
    // cannot be read, which *unreadable then says (when given).
    bool same(const Side &a, const Revision &ra, const Side &b, const Revision &rb, bool *unreadable = nullptr);

private:
    const DiaryKey *m_key;
    std::map<std::pair<const Side *, int>, std::optional<QByteArray>> m_records;
};

} // namespace syncing::detail
