#include "sync/entry_sides.h"

#include "archive/archive_lock.h"
#include "archive/diary_password.h"
#include "crypto/entry_seal.h"
#include "crypto/private_format.h"
#include "crypto/private_header.h"

namespace syncing::detail {

bool Revision::sealed() const { return method == private_format::kPrivateMethod; }

std::unique_ptr<Side> readSide(const QString &path)
{
    auto side = std::make_unique<Side>();
    side->path = path;
    side->reader = std::make_unique<TArchiveReader>();
    TArchiveReader &reader = *side->reader;
    reader.SetZipName(path);
    reader.SetPassword(QString::fromLatin1(kDiaryArchivePassword));
    ArchiveLock lock(path, ArchiveLock::Shared);
    reader.OpenArchive();
    side->comment = reader.HasDirectory() ? reader.ArchiveCommentBytes() : QByteArray();
    side->isPrivate = PrivateHeader::isPrivate(side->comment);
    const int count = reader.EntryCount();
    side->entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        const TZipHeaderInfo entry = reader.Entry(i);
        const QByteArray name = entry.diskName();
        if (side->entries.contains(name))
            continue;
        side->entries.insert(name, {i, entry.crc, entry.compressedSize, entry.uncompressedSize,
                                    entry.stamp, entry.method, entry.flags});
        side->order.append(name);
    }
    return side;
}

std::optional<QByteArray> Contents::record(const Side &side, const Revision &revision)
{
    const auto key = std::make_pair(&side, revision.index);
    const auto known = m_records.find(key);
    if (known != m_records.end())
        return known->second;
    std::optional<QByteArray> result;
    QByteArray data;
    if (revision.sealed()) {
        if (m_key && side.reader->ExtractStoredData(revision.index, data)) {
            entry_seal::OpenResult opened =
                entry_seal::open(*m_key, side.reader->Entry(revision.index).diskName(), data);
            if (opened.status == entry_seal::OpenStatus::Opened)
                result = std::move(opened.record);
        }
    } else if (side.reader->ExtractEntry(revision.index, data)) {
        result = std::move(data);
    }
    m_records.emplace(key, result);
    return result;
}

bool Contents::same(const Side &a, const Revision &ra, const Side &b, const Revision &rb, bool *unreadable)
{
    if (unreadable)
        *unreadable = false;
    if (ra.sameStored(rb))
        return true;
    // The old format's CRC and size are the record's own: when they differ, so do the records.
    if (!ra.sealed() && !rb.sealed() && (ra.crc != rb.crc || ra.uncompressedSize != rb.uncompressedSize))
        return false;
    const std::optional<QByteArray> left = record(a, ra);
    const std::optional<QByteArray> right = record(b, rb);
    if (!left || !right) {
        if (unreadable)
            *unreadable = true;
        return false;
    }
    return *left == *right;
}

} // namespace syncing::detail
