#include "archive/archive_writer.h"
#include "versions/kept_versions.h"
#include "archive/archive_errors.h"
#include "archive/archive_lock.h"
#include "archive/byte_cursor.h"
#include "archive/zip_codec.h"
#include "platform/files.h"
#include "platform/gbk.h"

#include <QIODevice>
#include <QVarLengthArray>

#include <cerrno>
#include <cstring>

namespace {

// The new archive is handed to the file layer in pieces of this size.
constexpr qsizetype kFlushSize = qsizetype(1) << 16;

bool isDiskFull(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void prematureEnd()
{
    throw EFatalUnzipError(archive_text::kPrematureEnd);
}

// The whole content of the stream from its start, refusing more than one entry may hold.
QByteArray readWhole(QIODevice &stream, const QByteArray &name)
{
    auto tooLarge = [&](qint64 size) {
        return EArchiveLimit(QString(archive_text::kEntryTooLarge)
                                 .arg(gbk::decode(name))
                                 .arg(size)
                                 .arg(zip::kMaxEntrySize));
    };
    if (!stream.isSequential()) {
        stream.seek(0);
        if (stream.size() > zip::kMaxEntrySize)
            throw tooLarge(stream.size());
    }
    QByteArray data;
    if (!stream.isSequential())
        data.reserve(qsizetype(stream.size()));
    char piece[8192];
    for (;;) {
        const qint64 got = stream.read(piece, sizeof piece);
        if (got < 0)
            throw EInOutError(QString(archive_text::kCannotReadEntry).arg(gbk::decode(name)));
        if (got == 0)
            break;
        if (data.size() + got > zip::kMaxEntrySize)
            throw tooLarge(data.size() + got);
        data.append(piece, got);
    }
    return data;
}

// Internal attributes by the text test: of the first block's bytes, those from 7 to 127 count as
// text, the others as binary; text when a quarter of the text count reaches the binary count.
quint16 textAttribute(QByteArrayView data)
{
    const qsizetype n = qMin<qsizetype>(data.size(), zip::kPieceSize);
    qsizetype text = 0, binary = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = uchar(data[i]);
        if (c >= 7 && c <= 127)
            ++text;
        else
            ++binary;
    }
    return text / 4 >= binary ? 1 : 0;
}

// The data descriptor that follows an entry written with flag bit 3, when there is one: CRC and
// both sizes, with or without its signature. Readers that walk the local headers expect it, so a
// carried-over entry keeps it.
QByteArray dataDescriptor(ReadStream &old, const TZipHeaderInfo &entry)
{
    if (!entry.hasDataDescriptor())
        return {};
    const QByteArray bytes = old.readBytes(zip::kDataDescriptorSize);
    ByteCursor c(bytes);
    const quint32 first = c.u32();
    const quint32 second = c.u32();
    if (bytes.size() == zip::kDataDescriptorSize && first == zip::kDataDescriptorSignature && second == entry.crc)
        return bytes;
    if (bytes.size() >= zip::kDataDescriptorSize - 4 && first == entry.crc)
        return bytes.left(zip::kDataDescriptorSize - 4);
    return {};
}

quint16 effortFlags(int level)
{
    if (level >= 8)
        return zip::kFlagMaximumEffort;
    if (level == 1 || level == 2)
        return zip::kFlagFastEffort;
    return 0;
}

} // namespace

struct TArchiveWriter::Pending
{
    QByteArray name;        // as given
    QByteArray fileName;    // its file-name part, the name stored
    QIODevice *stream = nullptr;
    std::optional<quint16> rawMethod;   // set: rawData is stored as it is
    QByteArray rawData;
    std::optional<quint32> stamp;
    bool done = false;
};

// One entry of the archive being written, in directory order: a record of the held directory
// carried over, or a new one. A carried record is not copied, nor changed until the new file is
// in place: a write that fails leaves the held directory exactly as it was.
struct TArchiveWriter::Written
{
    const TZipHeaderInfo *carried = nullptr;
    int carriedIndex = -1;                    // its place in the held directory
    std::unique_ptr<TZipHeaderInfo> added;
    quint32 localHeaderOffset = 0;            // in the new file
    quint16 localExtraLength = 0;
    QByteArray extra;                         // the central extra field, carried over
    std::optional<QByteArray> comment;        // a file comment fetched from the old file

    const TZipHeaderInfo &record() const { return carried ? *carried : *added; }
};

// The new archive on its way to disk: buffered, bounded by the format's limits, and discarded
// (its temporary file removed) unless commit() succeeds.
//
// Bytes carried over unchanged from the old archive are not read and written again: they are
// noted as a range of the old file, neighbouring ranges merge, and a long range is copied by the
// kernel. In a diary every entry but the one saved is carried over byte for byte, so a save
// copies the old archive in one or two ranges.
class TArchiveWriter::Output
{
public:
    Output(const QString &path, ReadStream &old) : m_path(path), m_file(path), m_old(old)
    {
        // A refusal (a read-only archive, a link to nothing, an owner the new file could not
        // keep) says why in words; nothing has been written.
        if (!m_file.isOpen()) {
            const bool refused = m_file.refusal() != files::AtomicWriter::Refusal::None;
            throw EFCreateError(QString(refused ? archive_text::kCannotWrite : archive_text::kCannotCreate)
                                    .arg(path, m_file.errorString()));
        }
        m_buffer.reserve(kFlushSize + zip::kPieceSize);
    }

    qint64 pos() const { return m_bufferAt + m_buffer.size() + m_rangeSize; }

    void write(QByteArrayView bytes)
    {
        if (bytes.isEmpty())
            return;
        grow(bytes.size());
        emitRange();
        m_buffer.append(bytes.data(), bytes.size());
        if (m_buffer.size() >= kFlushSize)
            flush();
    }

    // Lets a record append itself straight to the buffer: fill(QByteArray &).
    template <typename Fill>
    void append(Fill fill)
    {
        emitRange();
        const qsizetype before = m_buffer.size();
        fill(m_buffer);
        if (m_bufferAt + m_buffer.size() > zip::kMaxArchiveSize) {
            m_buffer.resize(before);
            throw EArchiveLimit(archive_text::kArchiveTooLarge);
        }
        if (m_buffer.size() >= kFlushSize)
            flush();
    }

    // Appends size bytes of the old archive from offset; EFatalUnzipError when it ends first.
    void copyFrom(qint64 offset, qint64 size)
    {
        if (size <= 0)
            return;
        grow(size);
        if (m_rangeSize > 0 && m_rangeFrom + m_rangeSize == offset) {
            m_rangeSize += size;
            return;
        }
        emitRange();
        m_rangeFrom = offset;
        m_rangeSize = size;
    }

    // Everything so far goes to the file and on its way to disk.
    void startWriteBack()
    {
        emitRange();
        flush();
        m_file.startWriteBack();
    }

    const struct stat &status() const { return m_file.status(); }

    void commit()
    {
        emitRange();
        flush();
        // A failed folder sync after the rename still leaves the new archive in place.
        if (!m_file.commit() && !m_file.committed()) {
            if (isDiskFull(m_file.error()))
                throw ENotEnoughRoom(archive_text::kNotEnoughRoom);
            throw EFCreateError(QString(archive_text::kCannotCreate).arg(m_path, reason(m_file.error())));
        }
    }

private:
    // Ranges shorter than this go through the buffer: a copy call costs more than the bytes.
    static constexpr qint64 kKernelCopyMinimum = qint64(64) << 10;

    void grow(qint64 size)
    {
        if (pos() + size > zip::kMaxArchiveSize)
            throw EArchiveLimit(archive_text::kArchiveTooLarge);
    }

    void emitRange()
    {
        if (m_rangeSize == 0)
            return;
        const qint64 from = m_rangeFrom;
        const qint64 size = m_rangeSize;
        m_rangeSize = 0;
        if (size < kKernelCopyMinimum) {
            const qsizetype at = m_buffer.size();
            m_buffer.resize(at + qsizetype(size));
            m_old.seek(from);
            if (!m_old.readExact(m_buffer.data() + at, size)) {
                m_buffer.resize(at);
                prematureEnd();
            }
            if (m_buffer.size() >= kFlushSize)
                flush();
            return;
        }
        flush();
        const qint64 copied = m_file.copyFrom(m_old.fd(), from, size);
        if (copied < 0)
            fail();
        m_bufferAt += copied;
        if (copied < size)
            prematureEnd();
    }

    void flush()
    {
        if (m_buffer.isEmpty())
            return;
        if (!m_file.write(m_buffer))
            fail();
        m_bufferAt += m_buffer.size();
        m_buffer.resize(0);
    }

    [[noreturn]] void fail()
    {
        if (isDiskFull(m_file.error()))
            throw ENotEnoughRoom(archive_text::kNotEnoughRoom);
        throw EInOutError(QString(archive_text::kCannotWrite).arg(m_path, reason(m_file.error())));
    }

    QString m_path;
    files::AtomicWriter m_file;
    ReadStream &m_old;
    QByteArray m_buffer;
    qint64 m_bufferAt = 0;    // where the buffer's first byte goes in the new file
    qint64 m_rangeFrom = 0;   // the pending range of the old archive, after the buffer
    qint64 m_rangeSize = 0;
};

TArchiveWriter::TArchiveWriter(QObject *parent) : TArchiveReader(parent) {}

TArchiveWriter::~TArchiveWriter() = default;

void TArchiveWriter::AddFromStream(const QString &entryName, QIODevice &stream)
{
    AddFromStream(gbk::encodeOrThrow(entryName, QStringLiteral("entry name")), stream);
}

void TArchiveWriter::AddFromStream(const QByteArray &entryName, QIODevice &stream)
{
    AddFromStreams({NewEntry{entryName, &stream, std::nullopt, {}}});
}

QList<TArchiveWriter::Pending> TArchiveWriter::pendingOf(const QList<NewEntry> &entries) const
{
    QList<Pending> pending;
    for (const NewEntry &e : entries) {
        if (isBlank(e.name) || (!e.stream && !e.rawMethod))
            continue;
        if (e.rawMethod && (*e.rawMethod == zip::kMethodStored || *e.rawMethod == zip::kMethodDeflated)) {
            throw ERawMethod(
                QString(archive_text::kRawMethodInvalid).arg(gbk::decode(e.name)).arg(*e.rawMethod));
        }
        const QByteArray memoryName = zip::toMemoryName(e.name);
        Pending p;
        p.name = e.name;
        p.fileName = memoryName.mid(zip::fileNameStart(memoryName));
        p.stream = e.stream;
        p.rawMethod = e.rawMethod;
        p.rawData = e.rawData;
        p.stamp = e.stamp;
        if (p.fileName.size() > zip::kMaxNameLength)
            throw EArchiveLimit(archive_text::kNameTooLong);
        // A name that is only a directory names no entry.
        if (!p.fileName.isEmpty())
            pending.append(p);
    }
    return pending;
}

void TArchiveWriter::AddFromStreams(const QList<NewEntry> &entries)
{
    QList<Pending> pending = pendingOf(entries);
    if (pending.isEmpty()) {
        m_lastWriteCount = 0;
        return;
    }
    m_lastWriteCount = writeArchive(Mode::Stream, pending);
}

void TArchiveWriter::UpdateEntries(const QList<NewEntry> &entries)
{
    QList<Pending> pending = pendingOf(entries);
    m_lastWriteCount = writeArchive(Mode::Update, pending);
}

void TArchiveWriter::WriteArchive()
{
    QList<Pending> none;
    m_lastWriteCount = writeArchive(Mode::Plain, none);
}

void TArchiveWriter::DeleteSelected()
{
    QList<Pending> none;
    m_lastWriteCount = writeArchive(Mode::Delete, none);
}

int TArchiveWriter::writeArchive(Mode mode, QList<Pending> &pending)
{
    m_lastKeptVersion.clear();
    if (m_zipName.trimmed().isEmpty())
        return 0;

    // Held from reading the directory to the rename, so no other writer slips in between.
    ArchiveLock lock(m_zipName, ArchiveLock::Exclusive);
    files::AtomicWriter::removeLeftovers(m_zipName);

    const bool updating = files::exists(m_zipName);
    // The old archive's headers are read in order; the entries' bytes are copied without it.
    ReadStream old(qint64(1) << 16);
    if (updating) {
        openArchiveFile(old);
        // The held directory is kept only for the very file it was read from or written as
        // (same inode, size and modification time to the nanosecond, checked now, under the
        // lock): a two-second stamp alone would miss a rewrite by another program.
        if (!m_directory || old.identity() != m_identity || old.dosStamp() != m_stamp)
            rereadDirectory(old);
        // Rewriting keeps only the entries the directory places: an archive whose directory
        // disagrees with its end record would lose the others, and one in the Zip64 format
        // would be cut down to what 32-bit records can describe.
        if (!m_problem.isEmpty())
            throw EInconsistentZip(QString(archive_text::kInconsistentZip).arg(m_problem));
        if (m_zip64)
            throw EArchiveLimit(archive_text::kZip64NotWritable);
    }

    TEndCentral end;
    if (updating || m_end.commentModified) {
        if (updating)
            commentText(old);
        end.assign(m_end);
        if (!end.comment)
            end.commentLength = 0;
        end.entriesOnDisk = end.totalEntries = 0;
        end.commentModified = false;
    }

    Output out(m_zipName, old);
    std::vector<Written> written;
    TNameIndex lookup;
    int count = 0;
    const int held = updating && m_directory ? m_directory->count() : 0;
    written.reserve(size_t(held + pending.size()));
    lookup.reserve(held + int(pending.size()));

    for (int i = 0; i < held; ++i) {
        TZipHeaderInfo &entry = *m_directory->at(i);
        if ((mode == Mode::Delete || mode == Mode::Update) && entry.selected) {
            ++count;
            continue;
        }
        Pending *replacement = nullptr;
        if (mode == Mode::Stream || mode == Mode::Update) {
            for (Pending &p : pending) {
                // Folding keeps the length, so only names of the same length can match.
                if (p.fileName.size() == entry.nameLength()
                    && zip::compareFolded(p.fileName, {}, entry.directory(), entry.fileName()) == 0) {
                    // A second entry of the name (written elsewhere, in other letter case): which
                    // one is meant is not clear. The new file is discarded unwritten.
                    if (p.done) {
                        throw EAmbiguousEntry(
                            QString(archive_text::kAmbiguousEntry).arg(gbk::decode(p.fileName)));
                    }
                    replacement = &p;
                    break;
                }
            }
        }
        if (replacement) {
            // The new entry takes the old one's place.
            replacement->done = true;
            count += addEntry(*replacement, out, written, lookup) ? 1 : 0;
        } else {
            carryEntry(old, i, out, written, lookup);
        }
    }
    if (mode == Mode::Stream || mode == Mode::Update) {
        for (Pending &p : pending) {
            if (p.done)
                continue;
            p.done = true;
            count += addEntry(p, out, written, lookup) ? 1 : 0;
        }
    }
    if (written.size() > size_t(zip::kMaxEntries))
        throw EArchiveLimit(archive_text::kTooManyEntries);

    // The entries are complete: the disk can take them while the directory is put together.
    out.startWriteBack();
    const qint64 centralOffset = out.pos();
    std::vector<quint32> centralOffsets;
    centralOffsets.reserve(written.size());
    for (const Written &w : written) {
        const TZipHeaderInfo &record = w.record();
        const QByteArrayView comment = w.comment ? QByteArrayView(*w.comment)
                                       : record.fileComment ? QByteArrayView(*record.fileComment)
                                                            : QByteArrayView();
        centralOffsets.push_back(quint32(out.pos()));
        out.append([&](QByteArray &buffer) {
            record.writeCentralHeader(buffer, w.extra, w.localHeaderOffset, comment);
        });
    }
    end.thisDisk = end.centralDisk = 0;
    end.entriesOnDisk = end.totalEntries = quint16(written.size());
    end.centralOffset = qint32(centralOffset);
    end.centralSize = quint32(out.pos() - centralOffset);
    end.commentOffset = out.pos() + zip::kEndRecordSize;
    out.append([&](QByteArray &buffer) { end.write(buffer); });
    auto directory = std::make_unique<TSortedZip>(TDuplicates::dupError, TZipSortMode::ByNone, true);
    directory->reserve(int(written.size()));
    // The file about to be replaced, linked into the versions before the rename: a crash on
    // either side leaves the old or the new archive and whole versions only. The rotation waits
    // for the rename. A rewrite that also deletes entries keeps a version as a delete does.
    const bool kept = updating && keepVersion(mode == Mode::Delete || (mode == Mode::Update && m_selectedCount > 0));
    if (m_beforeRename)
        m_beforeRename();
    out.commit();
    old.close();
    if (kept)
        versions::rotate(m_zipName, {m_restoringFrom});

    // The new file is in place. The records carried over take their new places and move to the
    // new directory; those left behind (deleted or replaced) go with the old one. The component
    // now describes the new file exactly, so the next operation need not read it.
    std::vector<TZipHeaderInfo *> previous = m_directory ? m_directory->release() : std::vector<TZipHeaderInfo *>();
    for (size_t i = 0; i < written.size(); ++i) {
        Written &w = written[i];
        TZipHeaderInfo *record = w.carried ? previous[size_t(w.carriedIndex)] : w.added.release();
        if (w.carried) {
            previous[size_t(w.carriedIndex)] = nullptr;
            record->localExtraLength = w.localExtraLength;
            record->extraLength = quint16(w.extra.size());
            if (w.comment)
                record->setFileComment(*w.comment);
        }
        record->localHeaderOffset = w.localHeaderOffset;
        record->centralHeaderOffset = centralOffsets[i];
        // Written one after the other: each ends where the next begins.
        record->regionEnd = quint32(i + 1 < written.size() ? written[i + 1].localHeaderOffset : centralOffset);
        directory->add(record);
    }
    for (TZipHeaderInfo *left : previous)
        delete left;
    m_end = end;
    if (!m_end.comment)
        m_end.comment = QByteArray();
    installDirectory(std::move(directory));
    m_problem.clear();
    m_zip64 = false;
    // The new file's own status, not the path's: the directory is trusted again only for it.
    m_identity = identityOf(out.status());
    m_stamp = dosStampOfFile(out.status().st_mtim.tv_sec);
    return count;
}

bool TArchiveWriter::keepVersion(bool deleting)
{
    versions::Keep keep = versions::Keep::IfDue;
    if (!m_restoringFrom.isEmpty())
        keep = versions::Keep::BeforeRestore;
    else if (deleting || m_keepAlways)
        keep = versions::Keep::Always;
    else if (!m_keepVersions)
        return false;
    m_lastKeptVersion = versions::keepBeforeReplace(m_zipName, keep);
    return !m_lastKeptVersion.isEmpty();
}

void TArchiveWriter::ReplaceWith(const QString &sourcePath, const std::optional<QByteArray> &comment)
{
    if (m_zipName.trimmed().isEmpty())
        return;
    ArchiveLock lock(m_zipName, ArchiveLock::Exclusive);
    files::AtomicWriter::removeLeftovers(m_zipName);

    TArchiveWriter source;
    source.SetZipName(sourcePath);
    ReadStream file(qint64(1) << 16);
    source.openArchiveFile(file);
    if (!source.makeDirectoryCurrent(file))
        throw EIncompleteZip(archive_text::kIncompleteZip);
    if (!source.m_problem.isEmpty())
        throw EInconsistentZip(QString(archive_text::kInconsistentZip).arg(source.m_problem));
    if (source.m_zip64)
        throw EArchiveLimit(archive_text::kZip64NotWritable);
    TEndCentral end;
    end.assign(source.m_end);
    end.comment = source.commentText(file);

    const bool updating = files::exists(m_zipName);
    if (comment)
        end.setComment(*comment);

    // The source up to its end record, copied as it is; then the end record with the comment.
    const qint64 endRecord = source.m_end.commentOffset - zip::kEndRecordSize;
    Output out(m_zipName, file);
    out.copyFrom(0, endRecord);
    end.commentOffset = endRecord + zip::kEndRecordSize;
    out.append([&](QByteArray &buffer) { end.write(buffer); });
    const bool kept = updating && keepVersion(false);
    if (m_beforeRename)
        m_beforeRename();
    out.commit();
    file.close();
    if (kept)
        versions::rotate(m_zipName, {m_restoringFrom});
    // The new file is read afresh by the next operation.
    resetComponent();
    m_lastWriteCount = source.EntryCount();
}

bool TArchiveWriter::addEntry(Pending &item, Output &out, std::vector<Written> &written, TNameIndex &lookup)
{
    auto entry = std::make_unique<TZipHeaderInfo>();
    entry->setFileName(item.fileName);
    if (lookup.contains(*entry))
        return false;

    entry->stamp = item.stamp ? *item.stamp : zip::dosStamp(m_clock());
    if (item.rawMethod) {
        // Stored as given: no deflate, no traditional encryption, the CRC of the bytes stored.
        if (item.rawData.size() > zip::kMaxEntrySize) {
            throw EArchiveLimit(QString(archive_text::kEntryTooLarge)
                                    .arg(gbk::decode(item.name))
                                    .arg(item.rawData.size())
                                    .arg(zip::kMaxEntrySize));
        }
        entry->method = *item.rawMethod;
        entry->internalAttributes = 0;
        entry->crc = zip::crc32(0, item.rawData);
        entry->uncompressedSize = entry->compressedSize = quint32(item.rawData.size());
        entry->localHeaderOffset = quint32(out.pos());
        QByteArray header;
        entry->writeLocalHeader(header);
        out.write(header);
        out.write(item.rawData);
        Written w;
        w.localHeaderOffset = entry->localHeaderOffset;
        w.added = std::move(entry);
        lookup.add(w.added.get());
        written.push_back(std::move(w));
        return true;
    }
    const QByteArray data = readWhole(*item.stream, item.name);
    entry->uncompressedSize = quint32(data.size());
    const quint32 crc = zip::crc32(0, data);

    QByteArray payload;
    if (m_packLevel == 0) {
        entry->method = zip::kMethodStored;
        entry->internalAttributes = 0;
        payload = data;
    } else {
        entry->method = zip::kMethodDeflated;
        entry->flags = effortFlags(m_packLevel);
        entry->internalAttributes = textAttribute(data);
        payload = zip::deflateRaw(data, m_packLevel);
        // An input that fits one block and does not shrink is stored as it is.
        if (data.size() <= zip::kPieceSize && data.size() <= payload.size()) {
            entry->method = zip::kMethodStored;
            payload = data;
        }
    }

    QByteArray encryption;
    if (!m_password.isEmpty()) {
        zip::ZipKeys keys(m_password);
        encryption = zip::makeEncryptionHeader(keys, m_seedSource(), crc);
        keys.encrypt(payload.data(), payload.size());
        entry->flags |= zip::kFlagEncrypted;
    }
    entry->crc = crc;
    entry->compressedSize = quint32(encryption.size() + payload.size());
    entry->localHeaderOffset = quint32(out.pos());

    QByteArray header;
    entry->writeLocalHeader(header);
    out.write(header);
    out.write(encryption);
    out.write(payload);

    Written w;
    w.localHeaderOffset = entry->localHeaderOffset;
    w.added = std::move(entry);
    lookup.add(w.added.get());
    written.push_back(std::move(w));
    return true;
}

void TArchiveWriter::carryEntry(ReadStream &old, int index, Output &out, std::vector<Written> &written,
                                TNameIndex &lookup)
{
    const TZipHeaderInfo &entry = *m_directory->at(index);
    Written w;
    w.carried = &entry;
    w.carriedIndex = index;
    const qint64 centralName = qint64(entry.centralHeaderOffset) + zip::kCentralHeaderSize;
    // After the name as it is stored: a UTF-8 name is longer than the GBK spelling held for it.
    if (entry.extraLength > 0) {
        old.seek(centralName + entry.diskNameLength());
        w.extra = old.readBytes(entry.extraLength);
        if (w.extra.size() != entry.extraLength)
            prematureEnd();
    }
    if (entry.commentLength > 0 && !entry.fileComment) {
        old.seek(centralName + entry.diskNameLength() + entry.extraLength);
        w.comment = old.readBytes(entry.commentLength);
        if (w.comment->size() != entry.commentLength)
            prematureEnd();
    }

    old.seek(entry.localHeaderOffset);
    uchar local[zip::kLocalHeaderSize];
    if (!old.readExact(local, sizeof local))
        prematureEnd();
    ByteCursor header(local, sizeof local);
    if (header.u32() != zip::kLocalSignature) {
        throw EInconsistentZip(QString(archive_text::kInconsistentZip)
                                   .arg(QString(archive_text::kLocalHeaderMissing).arg(entry.fullNameText())));
    }
    header.seek(zip::kLocalNameLengthAt);
    const quint16 oldNameLength = header.u16();
    const quint16 oldExtraLength = header.u16();
    QVarLengthArray<char, 256> oldName(oldNameLength);
    if (!old.readExact(oldName.data(), oldNameLength))
        prematureEnd();
    const qint64 bodyAt = qint64(entry.localHeaderOffset) + zip::kLocalHeaderSize + oldNameLength;
    const qint64 bodySize = qint64(oldExtraLength) + qint64(entry.compressedSize);
    // The copy itself is made later, so a size that runs past the end is caught here.
    if (bodyAt + bodySize > old.size())
        prematureEnd();
    if (bodyAt + bodySize > qint64(entry.regionEnd)) {
        throw EInconsistentZip(QString(archive_text::kInconsistentZip)
                                   .arg(QString(archive_text::kEntryRunsOver).arg(entry.fullNameText())));
    }
    old.seek(bodyAt + bodySize);
    const QByteArray descriptor = dataDescriptor(old, entry);

    w.localExtraLength = oldExtraLength;
    w.localHeaderOffset = quint32(out.pos());
    // The local header is written afresh from the directory's values. Where that gives the same
    // bytes as before (always, for entries this program wrote), the whole entry is one range of
    // the old file.
    const QByteArray name = entry.diskName();
    uchar fresh[zip::kLocalHeaderSize];
    entry.writeLocalFixedPart(fresh, name.size(), oldExtraLength);
    if (name.size() == oldNameLength && std::memcmp(fresh, local, sizeof fresh) == 0
        && std::memcmp(name.constData(), oldName.constData(), size_t(oldNameLength)) == 0) {
        out.copyFrom(entry.localHeaderOffset, bodyAt - entry.localHeaderOffset + bodySize + descriptor.size());
    } else {
        out.write(QByteArrayView(fresh, sizeof fresh));
        out.write(name);
        out.copyFrom(bodyAt, bodySize);
        out.write(descriptor);
    }

    // Names equal but for letter case (written by other programs) are all carried over.
    lookup.addDuplicate(&entry);
    written.push_back(std::move(w));
}
