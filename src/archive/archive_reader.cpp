#include "archive/archive_reader.h"
#include "archive/archive_errors.h"
#include "archive/archive_lock.h"
#include "archive/byte_cursor.h"
#include "archive/name_pattern.h"
#include "archive/zip_codec.h"
#include "archive/zip_crypto.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "platform/notice.h"

#include <QIODevice>
#include <QMultiHash>

#include <optional>

namespace {

// An end record that names another disk, or a directory before the start of the file, belongs
// to no archive this container can read.
bool usable(const TEndCentral &end)
{
    return end.thisDisk <= zip::kMaxDiskNumber && end.centralDisk <= zip::kMaxDiskNumber
           && end.thisDisk >= end.centralDisk && end.centralOffset >= 0;
}

// Position of the first "PK\3\4" at or after from, or -1.
qint64 findLocalSignature(ReadStream &file, qint64 from)
{
    static const QByteArray signature("PK\x03\x04", 4);
    constexpr qint64 kChunk = 65536;
    for (qint64 at = from; at + 4 <= file.size();) {
        file.seek(at);
        const QByteArray chunk = file.readBytes(kChunk);
        if (chunk.size() < 4)
            return -1;
        const qsizetype hit = chunk.indexOf(signature);
        if (hit >= 0)
            return at + hit;
        at += chunk.size() - 3;
    }
    return -1;
}

QString displayName(const TZipHeaderInfo &entry)
{
    return gbk::decode(entry.fullName());
}

} // namespace

TArchiveReader::TArchiveReader(QObject *parent) : QObject(parent) {}

TArchiveReader::~TArchiveReader() = default;

void TArchiveReader::SetZipName(const QString &path)
{
    // Exact comparison: on this system's file systems names differing only in letter case are
    // different files, and so different diaries.
    if (path == m_zipName)
        return;
    m_zipName = path;
    resetComponent();
}

QString TArchiveReader::Password() const
{
    return gbk::decode(m_password);
}

void TArchiveReader::SetPassword(const QString &password)
{
    m_password = gbk::encodeOrThrow(password, QStringLiteral("archive password"));
}

void TArchiveReader::resetComponent()
{
    installDirectory(nullptr);
    m_end.reset();
    m_stamp = 0;
    m_identity = FileIdentity();
}

void TArchiveReader::installDirectory(std::unique_ptr<TSortedZip> directory)
{
    m_directory = std::move(directory);
    m_nameIndex.clear();
    m_nameIndexValid = false;
    m_selectedCount = 0;
    if (m_directory) {
        for (int i = 0; i < m_directory->count(); ++i)
            m_selectedCount += m_directory->at(i)->selected ? 1 : 0;
    }
}

bool TArchiveReader::isBlank(const QByteArray &name)
{
    for (char c : name) {
        if (uchar(c) > ' ')
            return false;
    }
    return true;
}

void TArchiveReader::openArchiveFile(ReadStream &file) const
{
    if (!file.open(m_zipName))
        throw EFOpenError(QString(archive_text::kCannotOpen).arg(m_zipName, file.errorString()));
}

void TArchiveReader::OpenArchive()
{
    ArchiveLock lock(m_zipName, ArchiveLock::Shared);
    ReadStream file;
    if (!file.open(m_zipName)) {
        resetComponent();
        throw EFOpenError(QString(archive_text::kCannotOpen).arg(m_zipName, file.errorString()));
    }
    // A file without an end record leaves the component without a directory; that is all.
    makeDirectoryCurrent(file);
}

bool TArchiveReader::makeDirectoryCurrent(ReadStream &file)
{
    if (m_directory && file.dosStamp() == m_stamp && file.identity() == m_identity)
        return true;
    return readDirectory(file);
}

bool TArchiveReader::readDirectory(ReadStream &file)
{
    m_stamp = file.dosStamp();
    m_identity = file.identity();
    installDirectory(nullptr);

    // An empty file is an archive without entries.
    TEndCentral end;
    const bool found = file.size() == 0 || (end.find(file) && usable(end));
    if (!found) {
        switch (m_incompleteMode) {
        case TIncompleteZipMode::izAssumeMulti:
            return false;
        case TIncompleteZipMode::izAssumeNotAZip:
            resetComponent();
            throw ENotAZipFile(archive_text::kNotAZipFile);
        case TIncompleteZipMode::izAssumeBad:
            break;
        }
        recoverDirectory(file, m_end);
        return true;
    }

    // A comment set but not yet written survives the read; a held one of the file may be stale.
    if (m_end.commentModified) {
        end.comment = m_end.comment;
        end.commentLength = quint16(m_end.comment ? m_end.comment->size() : 0);
        end.commentModified = true;
    }

    auto directory = std::make_unique<TSortedZip>(TDuplicates::dupError, TZipSortMode::ByNone, true);
    directory->reserve(end.totalEntries);   // at most 65 535, whatever the file claims
    if (end.totalEntries > 0)
        file.seek(quint32(end.centralOffset));
    bool retried = false;
    TZipHeaderInfo *previous = nullptr;
    for (int i = 0; i < end.totalEntries; ++i) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        bool ok = entry->readCentralHeader(file);
        // Some writers declare an extra field they never wrote: try once without it.
        if (!ok && !retried && previous && previous->extraLength > 0) {
            retried = true;
            file.skip(-qint64(previous->extraLength));
            previous->extraLength = 0;
            ok = entry->readCentralHeader(file);
        }
        if (!ok) {
            recoverDirectory(file, end);
            return true;
        }
        file.skip(qint64(entry->extraLength) + entry->commentLength);
        previous = entry.get();
        directory->add(entry.release());
    }
    m_end = end;
    installDirectory(std::move(directory));
    return true;
}

void TArchiveReader::recoverDirectory(ReadStream &file, TEndCentral end)
{
    auto directory = std::make_unique<TSortedZip>(TDuplicates::dupError, TZipSortMode::ByNone, true);
    if (!recoveryScan(file, end, *directory)) {
        resetComponent();
        throw EBadZipFile(archive_text::kBadZipFile);
    }
    m_end = end;
    installDirectory(std::move(directory));
}

bool TArchiveReader::recoveryScan(ReadStream &file, TEndCentral &end, TSortedZip &directory)
{
    qint64 from = m_zipName.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)
                      ? zip::kSelfExtractorStubSize
                      : 0;
    for (;;) {
        const qint64 hit = findLocalSignature(file, from);
        if (hit < 0)
            return false;
        from = hit + 1;
        file.seek(hit + 4);
        uchar version[2];
        if (!file.readExact(version, 2))
            return false;
        // Version 10.0 and later is not a local header this container wrote or understands.
        if (version[1] >= 10)
            continue;
        file.seek(hit);
        int count = 0;
        while (count < zip::kMaxEntries) {
            auto entry = std::make_unique<TZipHeaderInfo>();
            if (!entry->readLocalHeader(file))
                break;
            // Every step moves forward by at least a header, so the walk ends.
            const qint64 next = file.pos() + entry->localExtraLength + qint64(entry->compressedSize)
                                + (entry->hasDataDescriptor() ? zip::kDataDescriptorSize : 0);
            directory.add(entry.release());
            ++count;
            file.seek(next);
        }
        if (count == 0)
            continue;
        end.thisDisk = 0;
        end.centralOffset = qint32(qMin<qint64>(file.pos(), zip::kMaxArchiveSize));
        end.totalEntries = quint16(count);
        return true;
    }
}

void TArchiveReader::rereadDirectory(ReadStream &file)
{
    struct Mark
    {
        quint32 crc, compressedSize, uncompressedSize;
    };
    QMultiHash<QByteArray, Mark> marks;
    if (m_directory && m_selectedCount > 0) {
        for (int i = 0; i < m_directory->count(); ++i) {
            const TZipHeaderInfo &e = *m_directory->at(i);
            if (e.selected)
                marks.insert(e.fullName(), {e.crc, e.compressedSize, e.uncompressedSize});
        }
    }
    if (!readDirectory(file))
        throw EIncompleteZip(archive_text::kIncompleteZip);
    if (marks.isEmpty())
        return;
    // The selection names entries by what they were; one changed since then is not chosen.
    for (int i = 0; i < m_directory->count(); ++i) {
        TZipHeaderInfo &e = *m_directory->at(i);
        for (auto it = marks.constFind(e.fullName()); it != marks.cend() && it.key() == e.fullName(); ++it) {
            if (it->crc == e.crc && it->compressedSize == e.compressedSize
                && it->uncompressedSize == e.uncompressedSize) {
                e.selected = true;
                ++m_selectedCount;
                break;
            }
        }
    }
}

int TArchiveReader::EntryCount()
{
    return m_directory ? m_directory->count() : 0;
}

TZipHeaderInfo &TArchiveReader::record(int index) const
{
    if (!m_directory || index < 0 || index >= m_directory->count())
        throw EListError(QString(archive_text::kIndexOutOfRange).arg(index));
    return *m_directory->at(index);
}

QString TArchiveReader::EntryName(int index)
{
    return gbk::decode(record(index).fileName());
}

QByteArray TArchiveReader::EntryNameBytes(int index)
{
    return record(index).fileName();
}

QByteArray TArchiveReader::EntryPathBytes(int index)
{
    return record(index).fullName();
}

TZipHeaderInfo TArchiveReader::Entry(int index)
{
    return record(index);
}

QString TArchiveReader::ArchiveComment()
{
    return gbk::decode(ArchiveCommentBytes());
}

QByteArray TArchiveReader::ArchiveCommentBytes()
{
    if (m_end.commentLength == 0)
        return m_end.comment.value_or(QByteArray());
    if (m_end.comment)
        return *m_end.comment;
    ArchiveLock lock(m_zipName, ArchiveLock::Shared);
    ReadStream file;
    openArchiveFile(file);
    if (!makeDirectoryCurrent(file))
        throw EIncompleteZip(archive_text::kIncompleteZip);
    return commentText(file);
}

QByteArray TArchiveReader::commentText(ReadStream &file)
{
    if (m_end.comment)
        return *m_end.comment;
    if (m_end.commentLength == 0)
        return {};
    file.seek(m_end.commentOffset);
    const QByteArray text = file.readBytes(m_end.commentLength);
    m_end.comment = text;
    m_end.commentLength = quint16(text.size());
    return text;
}

void TArchiveReader::SetArchiveComment(const QString &comment)
{
    SetArchiveCommentBytes(gbk::encodeOrThrow(comment, QStringLiteral("archive comment")));
}

void TArchiveReader::SetArchiveCommentBytes(const QByteArray &comment)
{
    if (comment.size() > zip::kMaxCommentLength)
        throw EArchiveLimit(archive_text::kCommentTooLong);
    // Either would make the end record unfindable or misread.
    if (comment.contains('\0') || comment.contains(QByteArrayView("PK\x05\x06", 4)))
        throw EArchiveLimit(archive_text::kCommentInvalid);
    if ((m_end.comment && *m_end.comment == comment) || (!m_end.comment && comment.isEmpty()))
        return;
    m_end.setComment(comment);
    m_end.commentModified = true;
}

void TArchiveReader::SelectEntry(int index, bool selected)
{
    TZipHeaderInfo &e = record(index);
    if (e.selected == selected)
        return;
    e.selected = selected;
    m_selectedCount += selected ? 1 : -1;
}

void TArchiveReader::ClearSelection()
{
    if (m_directory) {
        for (int i = 0; i < m_directory->count(); ++i)
            m_directory->at(i)->selected = false;
    }
    m_selectedCount = 0;
}

QList<int> TArchiveReader::chooseEntries(const QByteArray &pattern)
{
    QList<int> chosen;
    if (!m_directory)
        return chosen;
    if (zip::isPlainName(pattern)) {
        if (!m_nameIndexValid) {
            for (int i = 0; i < m_directory->count(); ++i) {
                const TZipHeaderInfo &e = *m_directory->at(i);
                if (!e.fileName().isEmpty())
                    m_nameIndex[zip::foldCase(e.fullName())].append(i);
            }
            m_nameIndexValid = true;
        }
        return m_nameIndex.value(zip::foldCase(pattern));
    }
    for (int i = 0; i < m_directory->count(); ++i) {
        const TZipHeaderInfo &e = *m_directory->at(i);
        if (!e.fileName().isEmpty() && zip::matchesPattern(pattern, e.fullName()))
            chosen.append(i);
    }
    return chosen;
}

qint64 TArchiveReader::ExtractToStream(const QString &name, QIODevice &stream)
{
    // A name GBK cannot spell names no entry.
    if (!gbk::canEncode(name))
        return 0;
    return ExtractToStream(gbk::encode(name), stream);
}

qint64 TArchiveReader::ExtractToStream(const QByteArray &name, QIODevice &stream)
{
    QByteArray data;
    if (ExtractToBytes(name, data) == 0 || data.isEmpty())
        return 0;
    if (stream.write(data) != data.size())
        throw ECantWriteUCF(archive_text::kCantWriteUCF);
    return data.size();
}

int TArchiveReader::ExtractToBytes(const QString &name, QByteArray &data, QList<EntryFailure> *failures)
{
    if (!gbk::canEncode(name))
        return 0;
    return ExtractToBytes(gbk::encode(name), data, failures);
}

int TArchiveReader::ExtractToBytes(const QByteArray &name, QByteArray &data, QList<EntryFailure> *failures)
{
    if (isBlank(name))
        return 0;
    ArchiveLock lock(m_zipName, ArchiveLock::Shared);
    ReadStream file;
    openArchiveFile(file);
    if (!makeDirectoryCurrent(file))
        throw EIncompleteZip(archive_text::kIncompleteZip);
    int extracted = 0;
    for (int index : chooseEntries(zip::toMemoryName(name))) {
        const TZipHeaderInfo &entry = *m_directory->at(index);
        QByteArray one;
        ExtractFailure why = ExtractFailure::CrcMismatch;
        if (extractEntry(file, entry, one, &why)) {
            data += one;
            ++extracted;
        } else if (failures) {
            failures->append({entry.fullName(), why});
        }
    }
    return extracted;
}

bool TArchiveReader::ExtractEntry(int index, QByteArray &data, ExtractFailure *why)
{
    record(index);
    ArchiveLock lock(m_zipName, ArchiveLock::Shared);
    ReadStream file;
    openArchiveFile(file);
    // The index refers to the directory as the caller saw it; a changed file changes its meaning.
    if (!makeDirectoryCurrent(file))
        throw EIncompleteZip(archive_text::kIncompleteZip);
    const TZipHeaderInfo &entry = record(index);
    ExtractFailure reason = ExtractFailure::CrcMismatch;
    data.clear();
    const bool ok = extractEntry(file, entry, data, &reason);
    if (!ok) {
        data.clear();
        if (why)
            *why = reason;
    }
    return ok;
}

bool TArchiveReader::extractEntry(ReadStream &file, const TZipHeaderInfo &entry, QByteArray &out,
                                  ExtractFailure *why)
{
    if (entry.uncompressedSize > zip::kMaxEntrySize) {
        throw EArchiveLimit(QString(archive_text::kEntryTooLarge)
                                .arg(displayName(entry))
                                .arg(entry.uncompressedSize)
                                .arg(zip::kMaxEntrySize));
    }
    const bool stored = entry.method == zip::kMethodStored;
    // The file ends inside the entry: a stored entry cannot be completed at all, a deflated one
    // fails its CRC.
    auto endedEarly = [&] {
        if (stored)
            throw EFatalUnzipError(archive_text::kPrematureEnd);
        *why = ExtractFailure::CrcMismatch;
        return false;
    };

    // Only the local header's name and extra lengths are used; everything else comes from the
    // directory.
    file.seek(entry.localHeaderOffset);
    uchar local[zip::kLocalHeaderSize];
    if (!file.readExact(local, sizeof local))
        return endedEarly();
    ByteCursor header(local, sizeof local);
    header.seek(zip::kLocalNameLengthAt);
    const quint16 nameLength = header.u16();
    const quint16 extraLength = header.u16();
    file.seek(qint64(entry.localHeaderOffset) + zip::kLocalHeaderSize + nameLength + extraLength);

    quint64 remaining = entry.compressedSize;
    std::optional<zip::ZipKeys> keys;
    if (entry.isEncrypted()) {
        if (remaining < quint64(zip::kEncryptionHeaderSize)) {
            *why = ExtractFailure::CrcMismatch;
            return false;
        }
        char encryption[zip::kEncryptionHeaderSize];
        if (!file.readExact(encryption, sizeof encryption))
            return endedEarly();
        keys.emplace(m_password);
        const uchar expected = entry.hasDataDescriptor() ? uchar((entry.stamp >> 8) & 0xFF)
                                                         : uchar(entry.crc >> 24);
        if (!zip::checkEncryptionHeader(*keys, encryption, expected)) {
            *why = ExtractFailure::WrongPassword;
            return false;
        }
        remaining -= zip::kEncryptionHeaderSize;
    }

    if (entry.method != zip::kMethodStored && entry.method != zip::kMethodDeflated) {
        notice::show(notice::Kind::Error, archive_text::kZipErrorCaption, archive_text::kUnknownMethod);
        *why = ExtractFailure::UnknownMethod;
        return false;
    }

    out.clear();
    out.reserve(qsizetype(qMin<quint64>(entry.uncompressedSize, 1 << 20)));
    quint32 crc = 0;
    // Decoding never goes past the recorded size.
    auto deliver = [&](const char *piece, qsizetype size) {
        if (quint64(out.size()) + quint64(size) > entry.uncompressedSize)
            return false;
        out.append(piece, size);
        crc = zip::crc32(crc, QByteArrayView(piece, size));
        return true;
    };

    QByteArray inputBuffer(zip::kPieceSize, Qt::Uninitialized);
    char *input = inputBuffer.data();
    if (stored) {
        while (remaining > 0) {
            const qint64 piece = qint64(qMin<quint64>(remaining, zip::kPieceSize));
            if (!file.readExact(input, piece))
                return endedEarly();
            if (keys)
                keys->decrypt(input, piece);
            if (!deliver(input, piece)) {
                *why = ExtractFailure::LargerThanRecorded;
                return false;
            }
            remaining -= quint64(piece);
        }
    } else {
        if (!m_inflater)
            m_inflater = std::make_unique<zip::Inflater>();
        if (!m_inflater->begin()) {
            notice::show(notice::Kind::Error, archive_text::kErrorCaption, archive_text::kInflateOutOfMemory);
            *why = ExtractFailure::CrcMismatch;
            return false;
        }
        QByteArray outputBuffer(zip::kPieceSize, Qt::Uninitialized);
        bool inputEnded = false;
        for (;;) {
            if (m_inflater->needsInput() && remaining > 0 && !inputEnded) {
                const qint64 piece = qint64(qMin<quint64>(remaining, zip::kPieceSize));
                const qint64 got = file.read(input, piece);
                inputEnded = got < piece;
                if (keys)
                    keys->decrypt(input, got);
                remaining -= quint64(got);
                m_inflater->feed(input, got);
            }
            qsizetype produced = 0;
            const zip::Inflater::Result r = m_inflater->step(outputBuffer.data(), zip::kPieceSize, &produced);
            if (produced > 0 && !deliver(outputBuffer.constData(), produced)) {
                *why = ExtractFailure::LargerThanRecorded;
                return false;
            }
            if (r == zip::Inflater::OutOfMemory)
                notice::show(notice::Kind::Error, archive_text::kErrorCaption, archive_text::kInflateOutOfMemory);
            if (r != zip::Inflater::More)
                break;
            if (produced == 0 && m_inflater->needsInput() && (remaining == 0 || inputEnded))
                break;
        }
    }
    if (crc != entry.crc) {
        *why = ExtractFailure::CrcMismatch;
        return false;
    }
    return true;
}
