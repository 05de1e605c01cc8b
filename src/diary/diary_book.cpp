#include "diary/diary_book.h"

#include "archive/archive_lock.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "archive/zip_layout.h"
#include "crypto/entry_seal.h"
#include "crypto/private_format.h"
#include "diary/messages.h"
#include "diary/record_limit.h"
#include "diary/search.h"
#include "drafts/drafts.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "versions/kept_versions.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace diary {

namespace {

// The directory index of the first entry stored under exactly these bytes, or -1.
int indexOf(TArchiveReader &reader, const QByteArray &nameBytes)
{
    const int count = reader.EntryCount();
    for (int i = 0; i < count; ++i) {
        if (reader.EntryNameBytes(i) == nameBytes)
            return i;
    }
    return -1;
}

// The record of the entry at index; an entry that fails its checks stays empty and *problem
// (when given) says why.
QByteArray extract(TArchiveReader &reader, int index, EntryProblem *problem = nullptr)
{
    QByteArray record;
    ExtractFailure why = ExtractFailure::CrcMismatch;
    if (index >= 0 && !reader.ExtractEntry(index, record, &why) && problem)
        *problem = problemOf(why);
    return record;
}

// Which way the diary's entries are read and written: true for the private format. Checks that
// the key and the archive agree (EDiaryFormat); the archive's directory must be current.
bool usesKey(TArchiveReader &reader, const DiaryKey *key)
{
    // A file without a directory (no end record) has no comment either: not private.
    const bool isPrivate = reader.HasDirectory() && PrivateHeader::isPrivate(reader.ArchiveCommentBytes());
    if (isPrivate && !key)
        throw EDiaryFormat(diary_text::needsKey());
    if (!isPrivate && key)
        throw EDiaryFormat(diary_text::headerGone());
    return isPrivate;
}

// The stored data of the sealed entry at index, when it is one and is intact; else empty and
// *problem says why.
QByteArray extractSealed(TArchiveReader &reader, int index, EntryProblem *problem)
{
    QByteArray payload;
    ExtractFailure why = ExtractFailure::CrcMismatch;
    if (reader.Entry(index).method != private_format::kPrivateMethod)
        *problem = EntryProblem::NotSealed;
    else if (!reader.ExtractStoredData(index, payload, &why))
        *problem = problemOf(why);
    return payload;
}

// The record sealed in the entry at index; empty, with *problem, when it does not open.
QByteArray openSealed(TArchiveReader &reader, int index, const DiaryKey &key, EntryProblem *problem)
{
    EntryProblem found = EntryProblem::None;
    const QByteArray payload = extractSealed(reader, index, &found);
    QByteArray record;
    if (found == EntryProblem::None) {
        entry_seal::OpenResult opened = entry_seal::open(key, reader.Entry(index).diskName(), payload);
        if (opened.status == entry_seal::OpenStatus::Opened)
            record = std::move(opened.record);
        else
            found = problemOf(opened.status);
    }
    if (problem)
        *problem = found;
    return record;
}

// Whether the record found for an entry can be opened: extracted, and decoded as a record.
void checkRecord(const QByteArray &record, EntryProblem *problem)
{
    if (problem && *problem == EntryProblem::None)
        *problem = recordProblem(record);
}

// Decodes extracted records into list rows on helper threads while the calling thread goes on
// extracting, and on the calling thread too once extraction is over. The entries to decode are
// handed over in archive order (push); each is decoded exactly once, by whichever thread claims
// it first. Entries whose rows are known already are never handed over, and the helpers start
// only when a batch is handed over: a listing that decodes a few changed entries does it on the
// calling thread alone.
// How many entries of the old format are extracted together.
constexpr int kExtractTogether = 4;

class DecodePipeline
{
public:
    struct Slot {
        QByteArray name;
        QByteArray record;
        EntryProblem problem = EntryProblem::None;   // found in extraction: no record to decode
        bool sealed = false;    // record holds a private entry's payload, to be opened first
        ListingCache::Stamp stamp;   // the entry's key in the cache
        bool known = false;     // row came from the cache
        QByteArray sealName;    // the name bound into it
        ListRow row;
        std::exception_ptr error;
    };

    DecodePipeline(const DiaryKey *key, bool fold) : m_key(key), m_fold(fold) {}
    ~DecodePipeline() { finish(); }
    DecodePipeline(const DecodePipeline &) = delete;
    DecodePipeline &operator=(const DecodePipeline &) = delete;

    void start(int count)
    {
        m_slots.resize(size_t(count));
        // Reserved whole, so that helpers read it under the mutex while push appends.
        m_order.reserve(size_t(count));
    }

    Slot &slot(int index) { return m_slots[size_t(index)]; }

    // Entry index has been extracted and is to be decoded. Entries are handed over in batches:
    // waking a helper for every single entry would cost the extracting thread more than the
    // helper saves it.
    void push(int index)
    {
        int pushed = 0;
        {
            std::lock_guard lock(m_mutex);
            m_inFlight += m_slots[size_t(index)].record.size();
            m_order.push_back(index);
            pushed = int(m_order.size());
        }
        if (pushed % kBatch == 0)
            publish();
    }

    // Before extracting an entry of at most size bytes: waits until the records not yet decoded
    // leave room for it (kMaxListingBytesInFlight; nothing waits when none is held), decoding on
    // this thread meanwhile.
    void makeRoom(qint64 size)
    {
        if (!mustWait(size))
            return;
        publish();
        int index = 0;
        while (mustWait(size)) {
            if (tryClaim(index)) {
                decode(index);
                continue;
            }
            std::unique_lock lock(m_mutex);
            m_roomMade.wait(lock, [&] { return !mustWaitLocked(size) || m_next < m_published; });
        }
    }

    // True when an entry before index failed to decode: reading on would be in vain.
    bool failedBefore(int index) const
    {
        return m_firstFailure.load(std::memory_order_relaxed) < index;
    }

    // Nothing more to hand over: decodes what is left on this thread too, then waits for the
    // helpers.
    void finish()
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_done && m_helpers.empty())
                return;
            m_published = int(m_order.size());
            m_done = true;
        }
        m_ready.notify_all();
        work();
        for (std::thread &helper : m_helpers)
            helper.join();
        m_helpers.clear();
    }

private:
    static constexpr int kMaxHelpers = 3;
    static constexpr int kBatch = 16;

    void publish()
    {
        {
            std::lock_guard lock(m_mutex);
            m_published = int(m_order.size());
        }
        if (m_helpers.empty()) {
            // The calling thread is busy extracting, so even one core gains from one helper.
            const int cores = int(std::thread::hardware_concurrency());
            const int helpers = std::clamp(cores - 1, 1, kMaxHelpers);
            for (int i = 0; i < helpers; ++i)
                m_helpers.emplace_back([this] { work(); });
        }
        m_ready.notify_one();
    }

    bool mustWaitLocked(qint64 size) const
    {
        return m_inFlight > 0 && m_inFlight + size > kMaxListingBytesInFlight;
    }

    bool mustWait(qint64 size)
    {
        std::lock_guard lock(m_mutex);
        return mustWaitLocked(size);
    }

    bool tryClaim(int &index)
    {
        std::lock_guard lock(m_mutex);
        if (m_next >= m_published)
            return false;
        index = m_order[size_t(m_next++)];
        return true;
    }

    bool claim(int &index)
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return m_next < m_published || m_done; });
        if (m_next >= m_published)
            return false;
        index = m_order[size_t(m_next++)];
        return true;
    }

    void work()
    {
        int index = 0;
        while (claim(index))
            decode(index);
    }

    void decode(int index)
    {
        Slot &s = slot(index);
        const qint64 size = s.record.size();
        if (!failedBefore(index)) {   // else never shown: the rows end before it
            // An exception may not leave its thread: it is kept with the entry and raised by
            // the calling thread, in entry order. A record's own faults give its row instead.
            try {
                if (s.sealed && s.problem == EntryProblem::None) {
                    entry_seal::OpenResult opened = entry_seal::open(*m_key, s.sealName, s.record);
                    if (opened.status == entry_seal::OpenStatus::Opened)
                        s.record = std::move(opened.record);
                    else
                        s.problem = problemOf(opened.status);
                }
                s.row = s.problem == EntryProblem::None ? listRowOf(s.name, s.record)
                                                        : unreadableRow(s.name, s.problem);
                // Folded here, on the helper threads, and kept with the row: a search is ready
                // as soon as the table is, and listing again folds only what changed.
                if (m_fold && s.row.readable())
                    s.row.folded = foldForSearch(s.row.summary);
            } catch (...) {
                s.error = std::current_exception();
                int first = m_firstFailure.load();
                while (index < first && !m_firstFailure.compare_exchange_weak(first, index)) {
                }
            }
        }
        s.record = QByteArray();
        if (size > 0) {
            {
                std::lock_guard lock(m_mutex);
                m_inFlight -= size;
            }
            m_roomMade.notify_all();
        }
    }

    const DiaryKey *m_key;
    const bool m_fold;
    std::vector<Slot> m_slots;
    std::vector<int> m_order;   // the slots to decode, in the order pushed
    std::vector<std::thread> m_helpers;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_roomMade;
    qint64 m_inFlight = 0;   // bytes of records extracted and not yet decoded
    int m_published = 0;
    int m_next = 0;
    bool m_done = false;
    std::atomic<int> m_firstFailure{INT_MAX};
};

} // namespace

void Listing::rethrowError() const
{
    if (error)
        std::rethrow_exception(error);
}

int Listing::unreadableCount() const
{
    return int(std::count_if(rows.begin(), rows.end(),
                             [](const ListRow &row) { return !row.readable(); }));
}

EntryProblem problemOf(ExtractFailure failure)
{
    switch (failure) {
    case ExtractFailure::WrongPassword:
        return EntryProblem::WrongPassword;
    case ExtractFailure::CrcMismatch:
    case ExtractFailure::LargerThanRecorded:
        return EntryProblem::Damaged;
    case ExtractFailure::UnknownMethod:
        return EntryProblem::UnknownMethod;
    case ExtractFailure::UnsupportedEncryption:
        return EntryProblem::UnsupportedEncryption;
    }
    return EntryProblem::Damaged;
}

EntryProblem problemOf(entry_seal::OpenStatus status)
{
    switch (status) {
    case entry_seal::OpenStatus::Opened:
        return EntryProblem::None;
    case entry_seal::OpenStatus::Malformed:
    case entry_seal::OpenStatus::NotAuthentic:
    case entry_seal::OpenStatus::BadDeflate:
        return EntryProblem::Damaged;
    case entry_seal::OpenStatus::UnknownFormat:
        return EntryProblem::UnsupportedEncryption;
    case entry_seal::OpenStatus::TooLarge:
        return EntryProblem::TooLarge;
    }
    return EntryProblem::Damaged;
}

std::optional<QByteArray> findEntry(TArchiveReader &reader, const QByteArray &nameBytes,
                                    EntryProblem *problem, const DiaryKey *key)
{
    if (problem)
        *problem = EntryProblem::None;
    if (!files::exists(reader.ZipName()))
        return std::nullopt;
    // One lock over finding and extracting, so that no other program's rewrite can give the
    // index found another meaning in between.
    ArchiveLock lock(reader.ZipName(), ArchiveLock::Shared);
    reader.SetPassword(kArchivePassword);
    reader.OpenArchive();
    const bool sealed = usesKey(reader, key);
    const int index = indexOf(reader, nameBytes);
    if (index < 0)
        return std::nullopt;
    QByteArray record = sealed ? openSealed(reader, index, *key, problem) : extract(reader, index, problem);
    checkRecord(record, problem);
    return record;
}

QByteArray readEntry(TArchiveReader &reader, const QByteArray &nameBytes, EntryProblem *problem,
                     const DiaryKey *key)
{
    if (problem)
        *problem = EntryProblem::None;
    ArchiveLock lock(reader.ZipName(), ArchiveLock::Shared);
    reader.SetPassword(kArchivePassword);
    reader.OpenArchive();
    const bool sealed = usesKey(reader, key);
    const int index = indexOf(reader, nameBytes);
    if (index < 0) {
        if (problem)
            *problem = EntryProblem::Missing;
        return QByteArray();
    }
    QByteArray record = sealed ? openSealed(reader, index, *key, problem) : extract(reader, index, problem);
    checkRecord(record, problem);
    return record;
}

void extractEntries(TArchiveReader &reader, const QList<QByteArray> &names, const DiaryKey *key,
                    const TakeRecord &take)
{
    ArchiveLock lock(reader.ZipName(), ArchiveLock::Shared);
    reader.SetPassword(kArchivePassword);
    reader.OpenArchive();
    const bool sealed = usesKey(reader, key);
    const int count = reader.EntryCount();
    // The first entry of each name, as indexOf finds it: filled from the back, the first one
    // inserted last.
    QHash<QByteArray, int> firstOf;
    firstOf.reserve(count);
    for (int i = count - 1; i >= 0; --i)
        firstOf.insert(reader.EntryNameBytes(i), i);
    std::optional<TArchiveReader::HeldFile> held;
    if (count > 0)
        held.emplace(reader);
    for (qsizetype n = 0; n < names.size(); ++n) {
        EntryProblem problem = EntryProblem::None;
        QByteArray record;
        const auto found = firstOf.constFind(names[n]);
        if (found == firstOf.cend())
            problem = EntryProblem::Missing;
        else
            record = sealed ? openSealed(reader, *found, *key, &problem) : extract(reader, *found, &problem);
        take(n, std::move(record), problem);
    }
}

EntryProblem storeEntry(TArchiveWriter &writer, const QByteArray &nameBytes,
                        const QByteArray &record, const DiaryKey *key)
{
    if (record.size() > diary_limits::kMaxRecordSize)
        throw EEntryTooLarge(diary_limits::recordTooLarge(gbk::decode(nameBytes)));
    QByteArray bytes = record;
    QBuffer stream(&bytes);
    stream.open(QIODevice::ReadOnly);
    stream.seek(bytes.size());
    writer.SetPassword(kArchivePassword);
    // The entry it replaces is checked under the same lock as the rewrite, so that no other
    // program can put an unreadable entry there in between.
    ArchiveLock lock(writer.ZipName(), ArchiveLock::Exclusive);
    if (files::exists(writer.ZipName())) {
        EntryProblem problem = EntryProblem::None;
        if (findEntry(writer, nameBytes, &problem, key) && problem != EntryProblem::None)
            return problem;
    } else if (key) {
        throw EDiaryFormat(diary_text::headerGone());
    }
    if (key) {
        // Sealed in memory; the name bound in is the one the entry is stored under.
        writer.AddFromStreams({{nameBytes, nullptr, private_format::kPrivateMethod,
                                entry_seal::seal(*key, nameBytes, record)}});
    } else {
        writer.AddFromStream(nameBytes, stream);
    }
    return EntryProblem::None;
}

BatchOutcome storeEntries(TArchiveWriter &writer, const QList<BatchEntry> &entries,
                          const MergeRecord &merge, const DiaryKey *key, const BatchProgress &progress)
{
    BatchOutcome outcome;
    const qsizetype total = entries.size();
    const auto goOn = [&](qsizetype done) {
        if (progress && !progress(done, total))
            outcome.cancelled = true;
        return !outcome.cancelled;
    };
    if (!goOn(0))
        return outcome;

    writer.SetPassword(kArchivePassword);
    // One lock from reading the stored entries to the rename: what merge saw is what is replaced.
    ArchiveLock lock(writer.ZipName(), ArchiveLock::Exclusive);
    const bool exists = files::exists(writer.ZipName());
    if (!exists && key)
        throw EDiaryFormat(diary_text::headerGone());
    QHash<QByteArray, int> stored;
    std::optional<TArchiveReader::HeldFile> held;
    if (exists) {
        writer.OpenArchive();
        usesKey(writer, key);
        const int count = writer.EntryCount();
        stored.reserve(count);
        for (int i = 0; i < count; ++i) {
            const QByteArray name = writer.EntryNameBytes(i);
            if (!stored.contains(name))   // the first of a name, as findEntry finds it
                stored.insert(name, i);
        }
        if (count > 0)
            held.emplace(writer);
    }

    // Records and their streams live until the rewrite has read them.
    std::vector<QByteArray> records;
    records.reserve(size_t(total));
    std::vector<std::unique_ptr<QBuffer>> streams;
    QList<TArchiveWriter::NewEntry> batch;
    QSet<QByteArray> seen;
    for (qsizetype i = 0; i < total; ++i) {
        const BatchEntry &entry = entries[i];
        bool write = false;
        QByteArray record;
        if (!seen.contains(entry.nameBytes)) {
            seen.insert(entry.nameBytes);
            const auto found = stored.constFind(entry.nameBytes);
            if (found == stored.cend() && entry.record.size() > diary_limits::kMaxRecordSize) {
                outcome.refused.append({entry.nameBytes, EntryProblem::TooLarge});
            } else if (found == stored.cend()) {
                outcome.added.append(entry.nameBytes);
                record = entry.record;
                write = true;
            } else {
                EntryProblem problem = EntryProblem::None;
                const QByteArray old = key ? openSealed(writer, *found, *key, &problem)
                                           : extract(writer, *found, &problem);
                checkRecord(old, &problem);
                std::optional<QByteArray> made;
                if (problem == EntryProblem::None && merge)
                    made = merge(old, entry.record);
                if (made && made->size() > diary_limits::kMaxRecordSize)
                    problem = EntryProblem::TooLarge;
                if (problem != EntryProblem::None) {
                    outcome.refused.append({entry.nameBytes, problem});
                } else if (made) {
                    outcome.merged.append(entry.nameBytes);
                    record = std::move(*made);
                    write = true;
                } else {
                    outcome.kept.append(entry.nameBytes);
                }
            }
        }
        if (write && key) {
            batch.append({entry.nameBytes, nullptr, private_format::kPrivateMethod,
                          entry_seal::seal(*key, entry.nameBytes, record)});
        } else if (write) {
            records.push_back(std::move(record));
            streams.push_back(std::make_unique<QBuffer>(&records.back()));
            streams.back()->open(QIODevice::ReadOnly);
            batch.append({entry.nameBytes, streams.back().get(), std::nullopt, {}});
        }
        if (!goOn(i + 1))
            return outcome;
    }
    held.reset();
    if (!goOn(total) || batch.isEmpty())
        return outcome;

    const bool keepAlways = writer.KeepVersionAlways();
    const auto restore = qScopeGuard([&] { writer.SetKeepVersionAlways(keepAlways); });
    writer.SetKeepVersionAlways(true);
    writer.AddFromStreams(batch);
    return outcome;
}

void deleteEntry(TArchiveReader &reader, TArchiveWriter &writer, const QByteArray &nameBytes,
                 const DiaryKey *key)
{
    ArchiveLock lock(writer.ZipName(), ArchiveLock::Exclusive);
    reader.SetPassword(kArchivePassword);
    reader.OpenArchive();
    writer.SetPassword(kArchivePassword);
    writer.OpenArchive();
    usesKey(writer, key);
    writer.ClearSelection();
    const int count = writer.EntryCount();
    for (int i = 0; i < count; ++i) {
        if (writer.EntryNameBytes(i) == nameBytes)
            writer.SelectEntry(i, true);
    }
    writer.DeleteSelected();
}

namespace {

ListingCache::Stamp stampOf(const QByteArray &name, const TZipHeaderInfo &entry)
{
    return {name, entry.crc, entry.compressedSize, entry.uncompressedSize, entry.stamp, entry.method, entry.flags};
}

QByteArray keyIdOf(const DiaryKey *key)
{
    if (!key || key->isNull())
        return QByteArray();
    return QCryptographicHash::hash(
        QByteArrayView(reinterpret_cast<const char *>(key->data()), private_format::kKeySize),
        QCryptographicHash::Sha256);
}

} // namespace

void ListingCache::clear()
{
    m_path.clear();
    m_keyId.clear();
    m_rows.clear();
    m_reused = 0;
}

Listing listEntries(TArchiveReader &reader, const DiaryKey *key, ListingCache *cache, SearchFolding folding)
{
    Listing listing;
    if (cache) {
        const QString path = QFileInfo(reader.ZipName()).absoluteFilePath();
        const QByteArray keyId = keyIdOf(key);
        if (cache->m_path != path || cache->m_keyId != keyId) {
            cache->clear();
            cache->m_path = path;
            cache->m_keyId = keyId;
        }
        cache->m_reused = 0;
        ++cache->m_listings;
    }
    if (!files::exists(reader.ZipName())) {
        if (cache)
            cache->m_rows.clear();
        return listing;
    }

    DecodePipeline pipeline(key, folding == SearchFolding::Made);
    std::exception_ptr readError;
    int extracted = 0;
    // The container's error, or the listing's limit, ends the reading; it is handed over with
    // the rows read before it.
    try {
        ArchiveLock lock(reader.ZipName(), ArchiveLock::Shared);
        reader.SetPassword(kArchivePassword);
        reader.OpenArchive();
        const bool sealed = usesKey(reader, key);
        const int count = reader.EntryCount();
        // One open file for the whole pass, under the lock above.
        std::optional<TArchiveReader::HeldFile> held;
        if (count > 0)
            held.emplace(reader);
        pipeline.start(count);
        qint64 listed = 0;
        // Entries of the old format are extracted a few at a time, so that their decryption
        // runs side by side (TArchiveReader::ExtractEntries); the batch is handed over before
        // anything else happens, so that the entries are always handed over in order.
        std::vector<TArchiveReader::Extraction> batch;
        batch.reserve(kExtractTogether);
        qint64 batchBytes = 0;
        auto flush = [&] {
            if (batch.empty())
                return;
            reader.ExtractEntries(batch);
            for (TArchiveReader::Extraction &e : batch) {
                if (e.error) {
                    batch.clear();
                    std::rethrow_exception(e.error);
                }
                DecodePipeline::Slot &slot = pipeline.slot(e.index);
                slot.record = std::move(e.data);
                if (!e.extracted)
                    slot.problem = problemOf(e.why);
                extracted = e.index + 1;
                pipeline.push(e.index);
            }
            batch.clear();
            batchBytes = 0;
        };
        for (int i = 0; i < count && !pipeline.failedBefore(i); ++i) {
            DecodePipeline::Slot &slot = pipeline.slot(i);
            slot.name = reader.EntryNameBytes(i);
            // Extraction never goes beyond the size the directory records, so the limits are
            // kept before anything is inflated.
            const TZipHeaderInfo entry = reader.Entry(i);
            const qint64 size = qint64(entry.uncompressedSize);
            if (cache) {
                slot.stamp = stampOf(slot.name, entry);
                const auto known = cache->m_rows.find(slot.stamp);
                if (known != cache->m_rows.end()) {
                    flush();
                    known->listing = cache->m_listings;
                    slot.row = known->row;
                    slot.known = true;
                    ++cache->m_reused;
                    extracted = i + 1;
                    continue;
                }
            }
            if (size > zip::kMaxEntrySize) {
                flush();
                slot.problem = EntryProblem::TooLarge;
            } else {
                if (size > kMaxListingBytes - listed) {
                    flush();
                    throw EListingTooLarge(diary_text::listingTooLarge(
                        listed, gbk::decode(slot.name), size, kMaxListingBytes));
                }
                listed += size;
                if (!sealed) {
                    // Room for the whole batch: its records are held until it is handed over.
                    pipeline.makeRoom(batchBytes + size);
                    batch.push_back({i, {}, false, ExtractFailure::CrcMismatch, {}});
                    batchBytes += size;
                    if (int(batch.size()) == kExtractTogether)
                        flush();
                    continue;
                }
                flush();
                pipeline.makeRoom(size);
                slot.record = extractSealed(reader, i, &slot.problem);
                slot.sealed = true;
                slot.sealName = entry.diskName();
            }
            extracted = i + 1;
            pipeline.push(i);
        }
        flush();
    } catch (...) {
        readError = std::current_exception();
    }
    pipeline.finish();

    listing.rows.reserve(extracted);
    for (int i = 0; i < extracted; ++i) {
        DecodePipeline::Slot &slot = pipeline.slot(i);
        if (slot.error) {
            listing.error = slot.error;
            break;
        }
        if (cache && !slot.known)
            cache->m_rows.insert(slot.stamp, {slot.row, cache->m_listings});
        listing.rows.append(std::move(slot.row));
    }
    // Rows of entries this listing did not meet (changed, deleted) go; a listing that meets
    // every kept entry again changes nothing.
    if (cache && cache->m_rows.size() > listing.rows.size()) {
        const quint64 current = cache->m_listings;
        cache->m_rows.removeIf([current](const auto &kept) { return kept.value().listing != current; });
    }
    if (!listing.error)
        listing.error = readError;
    return listing;
}

bool isPrivateDiary(TArchiveReader &reader)
{
    if (!files::exists(reader.ZipName()))
        return false;
    ArchiveLock lock(reader.ZipName(), ArchiveLock::Shared);
    reader.OpenArchive();
    return PrivateHeader::isPrivate(reader.ArchiveCommentBytes());
}

std::optional<PrivateHeader> privateHeaderOf(TArchiveReader &reader)
{
    if (!isPrivateDiary(reader))
        return std::nullopt;
    return PrivateHeader::parse(reader.ArchiveCommentBytes());
}

Conversion protectDiary(TArchiveWriter &writer, const PrivateHeader &header, const DiaryKey &key)
{
    Conversion report;
    ArchiveLock lock(writer.ZipName(), ArchiveLock::Exclusive);
    // Whole older copies of the diary, unprotected: the rewrite removes them before it writes.
    report.removedCopies += int(files::AtomicWriter::leftovers(writer.ZipName()).size());
    writer.SetBeforeRename([&writer, &report] {
        report.removedCopies += versions::removeAll(writer.ZipName());
        report.removedCopies += drafts::removeAll(writer.ZipName());
    });
    const auto noStep = qScopeGuard([&writer] { writer.SetBeforeRename({}); });
    writer.SetPassword(kArchivePassword);
    QList<TArchiveWriter::NewEntry> sealed;
    if (files::exists(writer.ZipName())) {
        writer.OpenArchive();
        if (PrivateHeader::isPrivate(writer.ArchiveCommentBytes()))
            throw EDiaryFormat(diary_text::alreadyPrivate());
        const int count = writer.EntryCount();
        for (int i = 0; i < count; ++i) {
            const TZipHeaderInfo entry = writer.Entry(i);
            const QByteArray name = entry.diskName();
            EntryProblem problem = EntryProblem::None;
            // Only a name stored as it is written (no folder, not UTF-8) is stored again under
            // the very bytes it is sealed with; the program names its entries no other way.
            if (!entry.isOwnDiskName())
                problem = EntryProblem::NotADiary;
            const QByteArray record = problem == EntryProblem::None ? extract(writer, i, &problem) : QByteArray();
            if (problem != EntryProblem::None) {
                report.carried.append({name, problem});
                continue;
            }
            report.converted.append(name);
            sealed.append({name, nullptr, private_format::kPrivateMethod, entry_seal::seal(key, name, record)});
        }
    }
    writer.SetArchiveCommentBytes(header.text());
    // The new entries replace the old ones where they stand, and the comment goes with them.
    if (sealed.isEmpty())
        writer.WriteArchive();
    else
        writer.AddFromStreams(sealed);
    return report;
}

Conversion unprotectDiary(TArchiveWriter &writer, const DiaryKey &key, const QByteArray &oldComment)
{
    Conversion report;
    ArchiveLock lock(writer.ZipName(), ArchiveLock::Exclusive);
    writer.SetPassword(kArchivePassword);
    if (!isPrivateDiary(writer))
        throw EDiaryFormat(diary_text::notPrivate());
    const int count = writer.EntryCount();
    // The records live in memory until the rewrite has read them; nothing goes to a file.
    std::vector<QByteArray> records;
    records.reserve(size_t(count));
    std::vector<std::unique_ptr<QBuffer>> streams;
    QList<TArchiveWriter::NewEntry> plain;
    for (int i = 0; i < count; ++i) {
        const TZipHeaderInfo entry = writer.Entry(i);
        const QByteArray name = entry.diskName();
        EntryProblem problem = EntryProblem::None;
        if (!entry.isOwnDiskName())
            problem = EntryProblem::NotADiary;
        QByteArray record = problem == EntryProblem::None ? openSealed(writer, i, key, &problem) : QByteArray();
        if (problem != EntryProblem::None) {
            report.carried.append({name, problem});
            continue;
        }
        report.converted.append(name);
        records.push_back(std::move(record));
        streams.push_back(std::make_unique<QBuffer>(&records.back()));
        streams.back()->open(QIODevice::ReadOnly);
        plain.append({name, streams.back().get(), std::nullopt, {}});
    }
    writer.SetArchiveCommentBytes(oldComment);
    if (plain.isEmpty())
        writer.WriteArchive();
    else
        writer.AddFromStreams(plain);
    return report;
}

void setPrivateHeader(TArchiveWriter &writer, const PrivateHeader &header)
{
    ArchiveLock lock(writer.ZipName(), ArchiveLock::Exclusive);
    if (!isPrivateDiary(writer))
        throw EDiaryFormat(diary_text::notPrivate());
    writer.SetArchiveCommentBytes(header.text());
    writer.WriteArchive();
}

} // namespace diary
