#include "diary/diary_book.h"

#include "archive/archive_lock.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "platform/files.h"

#include <QBuffer>

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

QByteArray extract(TArchiveReader &reader, int index)
{
    QByteArray record;
    if (index >= 0)
        reader.ExtractEntry(index, record);   // an entry that fails its checks stays empty
    return record;
}

// Decodes extracted records into list rows on helper threads while the calling thread goes on
// extracting, and on the calling thread too once extraction is over. Entries are handed over
// in order (publish); each is decoded exactly once, by whichever thread claims it first.
class DecodePipeline
{
public:
    struct Slot {
        QByteArray name;
        QByteArray record;
        ListRow row;
        std::exception_ptr error;
    };

    DecodePipeline() = default;
    ~DecodePipeline() { finish(0); }
    DecodePipeline(const DecodePipeline &) = delete;
    DecodePipeline &operator=(const DecodePipeline &) = delete;

    void start(int count)
    {
        m_slots.resize(size_t(count));
        const int cores = int(std::thread::hardware_concurrency());
        // The calling thread is busy extracting, so even one core gains from one helper.
        const int helpers = count > 1 ? std::clamp(cores - 1, 1, kMaxHelpers) : 0;
        for (int i = 0; i < helpers; ++i)
            m_helpers.emplace_back([this] { work(); });
    }

    Slot &slot(int index) { return m_slots[size_t(index)]; }

    // Entry index has been extracted. Entries are handed over in batches: waking a helper for
    // every single entry would cost the extracting thread more than the helper saves it.
    void extracted(int index)
    {
        if ((index + 1) % kBatch == 0)
            publish(index + 1);
    }

    // True when an entry before index failed to decode: reading on would be in vain.
    bool failedBefore(int index) const
    {
        return m_firstFailure.load(std::memory_order_relaxed) < index;
    }

    // No more entries than count: decodes what is left on this thread too, then waits for the
    // helpers.
    void finish(int count)
    {
        {
            std::lock_guard lock(m_mutex);
            if (m_done && m_helpers.empty())
                return;
            m_published = std::max(m_published, count);
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

    void publish(int count)
    {
        {
            std::lock_guard lock(m_mutex);
            m_published = count;
        }
        m_ready.notify_one();
    }

    bool claim(int &index)
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return m_next < m_published || m_done; });
        if (m_next >= m_published)
            return false;
        index = m_next++;
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
        if (failedBefore(index))
            return;   // never shown: the rows end before it
        // An exception may not leave its thread: it is kept with the entry and raised by the
        // calling thread, in entry order.
        try {
            s.row = listRow(s.name, s.record);
        } catch (...) {
            s.error = std::current_exception();
            int first = m_firstFailure.load();
            while (index < first && !m_firstFailure.compare_exchange_weak(first, index)) {
            }
        }
        s.record = QByteArray();
    }

    std::vector<Slot> m_slots;
    std::vector<std::thread> m_helpers;
    std::mutex m_mutex;
    std::condition_variable m_ready;
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

std::optional<QByteArray> findEntry(TArchiveReader &reader, const QByteArray &nameBytes)
{
    if (!files::exists(reader.ZipName()))
        return std::nullopt;
    // One lock over finding and extracting, so that no other program's rewrite can give the
    // index found another meaning in between.
    ArchiveLock lock(reader.ZipName(), ArchiveLock::Shared);
    reader.SetPassword(kArchivePassword);
    reader.OpenArchive();
    const int index = indexOf(reader, nameBytes);
    if (index < 0)
        return std::nullopt;
    return extract(reader, index);
}

QByteArray readEntry(TArchiveReader &reader, const QByteArray &nameBytes)
{
    ArchiveLock lock(reader.ZipName(), ArchiveLock::Shared);
    reader.SetPassword(kArchivePassword);
    reader.OpenArchive();
    return extract(reader, indexOf(reader, nameBytes));
}

void storeEntry(TArchiveWriter &writer, const QByteArray &nameBytes, const QByteArray &record)
{
    QByteArray bytes = record;
    QBuffer stream(&bytes);
    stream.open(QIODevice::ReadOnly);
    stream.seek(bytes.size());
    writer.SetPassword(kArchivePassword);
    writer.AddFromStream(nameBytes, stream);
}

void deleteEntry(TArchiveReader &reader, TArchiveWriter &writer, const QByteArray &nameBytes)
{
    ArchiveLock lock(writer.ZipName(), ArchiveLock::Exclusive);
    reader.SetPassword(kArchivePassword);
    reader.OpenArchive();
    writer.SetPassword(kArchivePassword);
    writer.OpenArchive();
    writer.ClearSelection();
    const int count = writer.EntryCount();
    for (int i = 0; i < count; ++i) {
        if (writer.EntryNameBytes(i) == nameBytes)
            writer.SelectEntry(i, true);
    }
    writer.DeleteSelected();
}

Listing listEntries(TArchiveReader &reader)
{
    Listing listing;
    if (!files::exists(reader.ZipName()))
        return listing;

    DecodePipeline pipeline;
    std::exception_ptr readError;
    int extracted = 0;
    // The container's error ends the reading like a record's would; it is handed over with the
    // rows read before it.
    try {
        ArchiveLock lock(reader.ZipName(), ArchiveLock::Shared);
        reader.SetPassword(kArchivePassword);
        reader.OpenArchive();
        const int count = reader.EntryCount();
        pipeline.start(count);
        for (int i = 0; i < count && !pipeline.failedBefore(i); ++i) {
            DecodePipeline::Slot &slot = pipeline.slot(i);
            slot.name = reader.EntryNameBytes(i);
            slot.record = extract(reader, i);
            extracted = i + 1;
            pipeline.extracted(i);
        }
    } catch (...) {
        readError = std::current_exception();
    }
    pipeline.finish(extracted);

    listing.rows.reserve(extracted);
    for (int i = 0; i < extracted; ++i) {
        DecodePipeline::Slot &slot = pipeline.slot(i);
        if (slot.error) {
            listing.error = slot.error;
            return listing;
        }
        listing.rows.append(std::move(slot.row));
    }
    listing.error = readError;
    return listing;
}

void sortRows(QList<ListRow> &rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const ListRow &a, const ListRow &b) {
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });
}

} // namespace diary
