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

#include <algorithm>
#include <optional>
#include <vector>

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
    return entry.fullNameText();
}

bool equalIgnoringAsciiCase(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    auto lower = [](QChar c) {
        return c >= QLatin1Char('A') && c <= QLatin1Char('Z') ? QChar(c.unicode() + 32) : c;
    };
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

TArchiveReader::TArchiveReader(QObject *parent) : QObject(parent) {}

TArchiveReader::~TArchiveReader() = default;

void TArchiveReader::SetZipName(const QString &path)
{
    // Exact comparison: on this system's file systems names differing only in letter case are
    // different files, and so different diaries.
    if (path == m_zipName && !m_image)
        return;
    m_zipName = path;
    m_image.reset();
    resetComponent();
}

void TArchiveReader::SetZipImage(const QByteArray &image, const QString &name)
{
    m_zipName = name;
    m_image = image;
    resetComponent();
}

void TArchiveReader::lockForReading(std::optional<ArchiveLock> &lock) const
{
    if (!m_image)
        lock.emplace(m_zipName, ArchiveLock::Shared);
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
    m_problem.clear();
    m_zip64 = false;
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
    if (m_image)
        file.openBytes(*m_image);
    else if (!file.open(m_zipName))
        throw EFOpenError(QString(archive_text::kCannotOpen).arg(m_zipName, file.errorString()));
}

void TArchiveReader::OpenArchive()
{
    std::optional<ArchiveLock> lock;
    lockForReading(lock);
    ReadStream file;
    if (m_image) {
        file.openBytes(*m_image);
    } else if (!file.open(m_zipName)) {
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

namespace {

// The end record chosen for a file, with what the Zip64 records add to it.
struct EndLocation
{
    TEndCentral end;
    qint64 at = 0;               // where the end record starts
    qint64 directoryEnd = 0;     // where the directory must end: the Zip64 end record, or at
    qint64 entries = 0;          // headers the records count
    qint64 centralOffset = 0;
    qint64 centralSize = 0;
    bool zip64 = false;
    bool zip64Damaged = false;
    bool reachesEnd = false;     // its comment ends exactly at the end of the file
};

quint64 u64(ByteCursor &c)
{
    const quint64 low = c.u32();
    return low | (quint64(c.u32()) << 32);
}

bool signatureAt(ReadStream &file, qint64 at, quint32 signature)
{
    uchar bytes[4];
    file.seek(at);
    if (!file.readExact(bytes, 4))
        return false;
    ByteCursor c(bytes, 4);
    return c.u32() == signature;
}

// Fills in the Zip64 end record when a locator stands right before the end record.
void readZip64(ReadStream &file, EndLocation &where)
{
    const qint64 locatorAt = where.at - zip::kZip64LocatorSize;
    if (locatorAt < 0 || !signatureAt(file, locatorAt, zip::kZip64LocatorSignature))
        return;
    where.zip64 = true;
    uchar locator[zip::kZip64LocatorSize];
    file.seek(locatorAt);
    file.readExact(locator, sizeof locator);
    ByteCursor l(locator, sizeof locator);
    l.skip(8);
    const quint64 recordAt = u64(l);
    uchar record[zip::kZip64EndSize];
    if (locatorAt < zip::kZip64EndSize || recordAt > quint64(locatorAt - zip::kZip64EndSize)) {
        where.zip64Damaged = true;
        return;
    }
    file.seek(qint64(recordAt));
    if (!file.readExact(record, sizeof record)) {
        where.zip64Damaged = true;
        return;
    }
    ByteCursor c(record, sizeof record);
    const quint32 signature = c.u32();
    const quint64 rest = u64(c);
    c.skip(4);
    const quint32 thisDisk = c.u32();
    const quint32 centralDisk = c.u32();
    c.skip(8);
    const quint64 entries = u64(c);
    const quint64 size = u64(c);
    const quint64 offset = u64(c);
    // The record must end at the locator, and name no directory beyond what the file can hold.
    if (signature != zip::kZip64EndSignature || recordAt + 12 + rest != quint64(locatorAt)
        || entries > quint64(zip::kMaxArchiveSize) || size > quint64(zip::kMaxArchiveSize)
        || offset > quint64(zip::kMaxArchiveSize) || thisDisk > zip::kMaxDiskNumber
        || centralDisk > zip::kMaxDiskNumber) {
        where.zip64Damaged = true;
        return;
    }
    where.directoryEnd = qint64(recordAt);
    where.entries = qint64(entries);
    where.centralSize = qint64(size);
    where.centralOffset = qint64(offset);
    where.end.thisDisk = quint16(thisDisk);
    where.end.centralDisk = quint16(centralDisk);
    where.end.centralOffset = qint32(offset);
}

// Finds the end record. Candidates are tried from the end of the file backwards: the first whose
// comment reaches exactly the end of the file and whose directory starts with a central header
// and ends where the end record (or the Zip64 end record) starts wins; one that counts no
// entries must stand at the start of the file. So the end record's
// signature inside a comment, written by another program, does not hide the real record. Without
// such a candidate, the first whose comment reaches the end, else the first found at all, is
// taken as it is (the directory check then names what disagrees).
bool locateEnd(ReadStream &file, EndLocation &chosen)
{
    const qint64 size = file.size();
    if (size < zip::kEndRecordSize)
        return false;
    const qint64 span = qMin<qint64>(zip::kEndRecordSearch, size);
    file.seek(size - span);
    const QByteArray tail = file.readBytes(span);
    if (tail.size() != span)
        return false;
    const uchar *bytes = reinterpret_cast<const uchar *>(tail.constData());
    std::optional<EndLocation> first, reaching;
    for (qsizetype pos = span - zip::kEndRecordSize; pos >= 0; --pos) {
        if (bytes[pos] != 0x50)
            continue;
        ByteCursor c(bytes + pos, zip::kEndRecordSize);
        if (c.u32() != zip::kEndSignature)
            continue;
        EndLocation where;
        TEndCentral &end = where.end;
        end.thisDisk = c.u16();
        end.centralDisk = c.u16();
        end.entriesOnDisk = c.u16();
        end.totalEntries = c.u16();
        end.centralSize = c.u32();
        end.centralOffset = qint32(c.u32());
        end.commentLength = c.u16();
        where.at = size - span + pos;
        end.commentOffset = where.at + zip::kEndRecordSize;
        where.reachesEnd = end.commentOffset + end.commentLength == size;
        where.directoryEnd = where.at;
        where.entries = end.totalEntries;
        where.centralSize = end.centralSize;
        where.centralOffset = end.centralOffset;
        readZip64(file, where);
        if (!usable(end))
            continue;
        const bool checksOut = where.reachesEnd && !where.zip64Damaged
                               && where.centralOffset + where.centralSize == where.directoryEnd
                               // An archive without entries is its end record alone: a record
                               // in a comment that counts none would else describe itself.
                               && (where.entries == 0
                                       ? where.directoryEnd == 0
                                       : signatureAt(file, where.centralOffset, zip::kCentralSignature));
        if (checksOut) {
            chosen = where;
            return true;
        }
        if (!first)
            first = where;
        if (where.reachesEnd && !reaching)
            reaching = where;
    }
    if (!first)
        return false;
    chosen = reaching ? *reaching : *first;
    return true;
}

} // namespace

void TArchiveReader::checkRegions(TSortedZip &directory, qint64 directoryStart, qint64 fileSize,
                                  QString &problem)
{
    const int n = directory.count();
    // Written in order, as every archive normally is, the directory is its own order.
    bool sorted = true;
    for (int i = 1; i < n && sorted; ++i)
        sorted = directory.at(i - 1)->localHeaderOffset <= directory.at(i)->localHeaderOffset;
    std::vector<TZipHeaderInfo *> order;
    if (!sorted) {
        order.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            order.push_back(directory.at(i));
        std::stable_sort(order.begin(), order.end(), [](const TZipHeaderInfo *a, const TZipHeaderInfo *b) {
            return a->localHeaderOffset < b->localHeaderOffset;
        });
    }
    auto at = [&](int i) { return sorted ? directory.at(i) : order[size_t(i)]; };
    auto note = [&](const QString &text) {
        if (problem.isEmpty())
            problem = text;
    };
    for (int i = 0; i < n; ++i) {
        TZipHeaderInfo &e = *at(i);
        // The least the entry takes: its local header with the name the directory gives it, and
        // its data. A longer local name or an extra field is checked when the header is read.
        const qint64 end = qint64(e.localHeaderOffset) + zip::kLocalHeaderSize + e.diskNameLength()
                           + qint64(e.compressedSize);
        const qint64 next = i + 1 < n ? qint64(at(i + 1)->localHeaderOffset) : directoryStart;
        e.regionEnd = quint32(qBound<qint64>(0, next, 0xFFFFFFFF));
        if (end <= next)
            continue;
        if (end > fileSize)
            note(QString(archive_text::kEntryOutsideFile).arg(e.fullNameText()));
        else if (i + 1 < n)
            note(QString(archive_text::kEntriesOverlap).arg(e.fullNameText(), at(i + 1)->fullNameText()));
        else
            note(QString(archive_text::kEntryOverlapsDirectory).arg(e.fullNameText()));
    }
}

bool TArchiveReader::readDirectory(ReadStream &file)
{
    m_stamp = file.dosStamp();
    m_identity = file.identity();
    installDirectory(nullptr);
    m_problem.clear();
    m_zip64 = false;

    // An empty file is an archive without entries.
    EndLocation where;
    const bool found = file.size() == 0 || locateEnd(file, where);
    TEndCentral &end = where.end;
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
    if (file.size() == 0)
        where.reachesEnd = true;

    // A comment set but not yet written survives the read; a held one of the file may be stale.
    if (m_end.commentModified) {
        end.comment = m_end.comment;
        end.commentLength = quint16(m_end.comment ? m_end.comment->size() : 0);
        end.commentModified = true;
    }

    auto directory = std::make_unique<TSortedZip>(TDuplicates::dupError, TZipSortMode::ByNone, true);
    // What the file can hold, whatever the records claim.
    directory->reserve(int(qMin<qint64>(where.entries, file.size() / zip::kCentralHeaderSize)));
    file.seek(where.centralOffset);
    bool retried = false;
    QString retriedName;
    bool tooMany = false;
    TZipHeaderInfo *previous = nullptr;
    qint64 count = 0;
    for (;; ++count) {
        const qint64 at = file.pos();
        const bool counted = count < where.entries;
        // Headers beyond the count still belong to the archive: the count may be what is wrong.
        if (!counted) {
            const bool more = at + zip::kCentralHeaderSize <= where.directoryEnd
                              && signatureAt(file, at, zip::kCentralSignature);
            file.seek(at);
            if (!more)
                break;
        }
        if (count >= zip::kMaxReadEntries) {
            tooMany = true;
            break;
        }
        auto entry = std::make_unique<TZipHeaderInfo>();
        bool ok = entry->readCentralHeader(file);
        // Some writers declare an extra field they never wrote: try once without it.
        if (!ok && !retried && previous && previous->extraLength > 0) {
            retried = true;
            retriedName = previous->fullNameText();
            file.skip(-qint64(previous->extraLength));
            previous->extraLength = 0;
            ok = entry->readCentralHeader(file);
        }
        if (!ok) {
            if (counted) {
                recoverDirectory(file, end);
                return true;
            }
            break;
        }
        if (entry->needsZip64Extra()) {
            const QByteArray extra = file.readBytes(entry->extraLength);
            entry->applyZip64Extra(extra);
            m_zip64 = m_zip64 || entry->zip64;
            file.skip(entry->commentLength);
        } else {
            file.skip(qint64(entry->extraLength) + entry->commentLength);
        }
        previous = entry.get();
        directory->add(entry.release());
    }
    const qint64 walked = count > 0 ? file.pos() - where.centralOffset : 0;

    // The directory is trusted only as far as it agrees with the end record; what disagrees is
    // named, and no write will rewrite the archive (see DirectoryProblem()).
    QString problem;
    if (where.zip64Damaged)
        problem = archive_text::kZip64Damaged;
    else if (tooMany)
        problem = archive_text::kTooManyToRead;
    else if (count != where.entries)
        problem = QString(archive_text::kCountDiffers).arg(where.entries).arg(count);
    else if (walked != where.centralSize)
        problem = QString(archive_text::kSizeDiffers).arg(where.centralSize).arg(walked);
    else if (where.centralOffset + where.centralSize != where.directoryEnd)
        problem = QString(archive_text::kDirectoryMisplaced).arg(where.centralOffset).arg(where.directoryEnd);
    else if (!where.reachesEnd)
        problem = archive_text::kCommentNotAtEnd;
    else if (retried)
        problem = QString(archive_text::kExtraMissing).arg(retriedName);
    checkRegions(*directory, qMin(where.centralOffset, where.directoryEnd), file.size(), problem);

    m_zip64 = m_zip64 || where.zip64;
    if (where.zip64) {
        end.entriesOnDisk = end.totalEntries = quint16(qMin<qint64>(where.entries, 0xFFFF));
        end.centralSize = quint32(qMin<qint64>(where.centralSize, 0xFFFFFFFF));
    }
    m_end = end;
    installDirectory(std::move(directory));
    m_problem = problem;
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
    // Entries the directory no longer names may be missing from the scan, and those it found
    // are not checked against any directory: the archive is read, never rewritten.
    m_problem = archive_text::kRecovered;
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
    return record(index).fileNameText();
}

QString TArchiveReader::EntryPathText(int index)
{
    return record(index).fullNameText();
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
    std::optional<ArchiveLock> lock;
    lockForReading(lock);
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
    // A name GBK cannot spell can still be a UTF-8 name of another program's entry.
    if (!gbk::canEncode(name)) {
        QByteArray data;
        if (extractByText(name, data, nullptr) == 0 || data.isEmpty())
            return 0;
        if (stream.write(data) != data.size())
            throw ECantWriteUCF(archive_text::kCantWriteUCF);
        return data.size();
    }
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
        return extractByText(name, data, failures);
    return ExtractToBytes(gbk::encode(name), data, failures);
}

int TArchiveReader::extractByText(const QString &name, QByteArray &data, QList<EntryFailure> *failures)
{
    QString wanted = name;
    wanted.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (wanted.trimmed().isEmpty())
        return 0;
    std::optional<ArchiveLock> lock;
    lockForReading(lock);
    ReadStream file;
    openArchiveFile(file);
    if (!makeDirectoryCurrent(file))
        throw EIncompleteZip(archive_text::kIncompleteZip);
    QList<int> chosen;
    for (int i = 0; i < m_directory->count(); ++i) {
        const TZipHeaderInfo &entry = *m_directory->at(i);
        if (!entry.fileName().isEmpty() && equalIgnoringAsciiCase(entry.fullNameText(), wanted))
            chosen.append(i);
    }
    return extractChosen(file, chosen, data, failures);
}

int TArchiveReader::extractChosen(ReadStream &file, const QList<int> &chosen, QByteArray &data,
                                  QList<EntryFailure> *failures)
{
    int extracted = 0;
    for (int index : chosen) {
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

int TArchiveReader::ExtractToBytes(const QByteArray &name, QByteArray &data, QList<EntryFailure> *failures)
{
    if (isBlank(name))
        return 0;
    std::optional<ArchiveLock> lock;
    lockForReading(lock);
    ReadStream file;
    openArchiveFile(file);
    if (!makeDirectoryCurrent(file))
        throw EIncompleteZip(archive_text::kIncompleteZip);
    return extractChosen(file, chooseEntries(zip::toMemoryName(name)), data, failures);
}

TArchiveReader::HeldFile::HeldFile(TArchiveReader &reader)
    : m_reader(reader), m_file(std::make_unique<ReadStream>())
{
    m_reader.openArchiveFile(*m_file);
    if (!m_reader.makeDirectoryCurrent(*m_file))
        throw EIncompleteZip(archive_text::kIncompleteZip);
    m_reader.m_heldFile = m_file.get();
}

TArchiveReader::HeldFile::~HeldFile()
{
    m_reader.m_heldFile = nullptr;
}

bool TArchiveReader::ExtractEntry(int index, QByteArray &data, ExtractFailure *why)
{
    return extractIndexed(index, data, why,
                          [this](ReadStream &file, const TZipHeaderInfo &entry, QByteArray &out,
                                 ExtractFailure &reason) { return extractEntry(file, entry, out, &reason); });
}

bool TArchiveReader::ExtractStoredData(int index, QByteArray &data, ExtractFailure *why)
{
    return extractIndexed(index, data, why,
                          [this](ReadStream &file, const TZipHeaderInfo &entry, QByteArray &out,
                                 ExtractFailure &reason) {
                              if (entry.isEncrypted()) {
                                  reason = ExtractFailure::UnsupportedEncryption;
                                  return false;
                              }
                              return extractStored(file, entry, out);
                          });
}

bool TArchiveReader::extractIndexed(int index, QByteArray &data, ExtractFailure *why,
                                    const EntryRead &read)
{
    record(index);
    std::optional<ArchiveLock> lock;
    std::optional<ReadStream> own;
    ReadStream &file = fileForEntries(lock, own);
    const TZipHeaderInfo &entry = record(index);
    ExtractFailure reason = ExtractFailure::CrcMismatch;
    data.clear();
    const bool ok = read(file, entry, data, reason);
    if (!ok) {
        data.clear();
        if (why)
            *why = reason;
    }
    return ok;
}

ReadStream &TArchiveReader::fileForEntries(std::optional<ArchiveLock> &lock, std::optional<ReadStream> &own)
{
    if (m_heldFile)
        return *m_heldFile;
    lockForReading(lock);
    own.emplace();
    openArchiveFile(*own);
    // The indices refer to the directory as the caller saw it; a changed file changes their
    // meaning.
    if (!makeDirectoryCurrent(*own))
        throw EIncompleteZip(archive_text::kIncompleteZip);
    return *own;
}

void TArchiveReader::ExtractEntries(std::span<Extraction> batch)
{
    for (const Extraction &e : batch)
        record(e.index);
    std::optional<ArchiveLock> lock;
    std::optional<ReadStream> own;
    ReadStream &file = fileForEntries(lock, own);
    std::vector<WholeEntry> wholes(batch.size());
    std::vector<EntryStep> steps(batch.size(), EntryStep::Failed);
    size_t read = 0;
    try {
        for (; read < batch.size(); ++read) {
            Extraction &e = batch[read];
            e.data.clear();
            steps[read] = beginEntry(file, record(e.index), e.data, &e.why, wholes[read]);
        }
    } catch (...) {
        batch[read].data.clear();
        batch[read].error = std::current_exception();
    }

    std::vector<zip::ZipKeys *> keys;
    std::vector<char *> data;
    std::vector<qsizetype> sizes;
    for (size_t k = 0; k < read; ++k) {
        WholeEntry &whole = wholes[k];
        if (steps[k] == EntryStep::ReadWhole && whole.keys) {
            keys.push_back(&*whole.keys);
            data.push_back(whole.input.data());
            sizes.push_back(whole.input.size());
        }
    }
    zip::ZipKeys::decryptTogether(keys.data(), data.data(), sizes.data(), int(keys.size()));

    for (size_t k = 0; k < read; ++k) {
        Extraction &e = batch[k];
        e.extracted = steps[k] == EntryStep::Extracted
                      || (steps[k] == EntryStep::ReadWhole && inflateWhole(record(e.index), wholes[k], e.data, &e.why));
        if (!e.extracted)
            e.data.clear();
    }
}

bool TArchiveReader::extractStored(ReadStream &file, const TZipHeaderInfo &entry, QByteArray &out)
{
    if (entry.compressedSize > zip::kMaxEntrySize) {
        throw EArchiveLimit(QString(archive_text::kEntryTooLarge)
                                .arg(displayName(entry))
                                .arg(entry.compressedSize)
                                .arg(zip::kMaxEntrySize));
    }
    if (entry.uncompressedSize != entry.compressedSize)
        return false;
    file.seek(entry.localHeaderOffset);
    uchar local[zip::kLocalHeaderSize];
    if (!file.readExact(local, sizeof local))
        return false;
    ByteCursor header(local, sizeof local);
    header.seek(zip::kLocalNameLengthAt);
    const quint16 nameLength = header.u16();
    const quint16 extraLength = header.u16();
    const qint64 dataAt = qint64(entry.localHeaderOffset) + zip::kLocalHeaderSize + nameLength + extraLength;
    // Data that runs into the next entry or the directory belongs to something else.
    if (dataAt + qint64(entry.compressedSize) > qint64(entry.regionEnd))
        return false;
    file.seek(dataAt);
    out.resize(qsizetype(entry.compressedSize));
    if (!file.readExact(out.data(), out.size()))
        return false;
    return zip::crc32(0, out) == entry.crc;
}

bool TArchiveReader::extractEntry(ReadStream &file, const TZipHeaderInfo &entry, QByteArray &out,
                                  ExtractFailure *why)
{
    WholeEntry whole;
    switch (beginEntry(file, entry, out, why, whole)) {
    case EntryStep::Failed:
        return false;
    case EntryStep::Extracted:
        return true;
    case EntryStep::ReadWhole:
        break;
    }
    if (whole.keys)
        whole.keys->decrypt(whole.input.data(), whole.input.size());
    return inflateWhole(entry, whole, out, why);
}

TArchiveReader::EntryStep TArchiveReader::beginEntry(ReadStream &file, const TZipHeaderInfo &entry,
                                                     QByteArray &out, ExtractFailure *why,
                                                     WholeEntry &whole)
{
    if (entry.uncompressedSize > zip::kMaxEntrySize) {
        throw EArchiveLimit(QString(archive_text::kEntryTooLarge)
                                .arg(displayName(entry))
                                .arg(entry.uncompressedSize)
                                .arg(zip::kMaxEntrySize));
    }
    if (entry.hasUnsupportedEncryption()) {
        *why = ExtractFailure::UnsupportedEncryption;
        return EntryStep::Failed;
    }
    const bool stored = entry.method == zip::kMethodStored;
    // The file ends inside the entry: a stored entry cannot be completed at all, a deflated one
    // fails its CRC.
    auto endedEarly = [&] {
        if (stored)
            throw EFatalUnzipError(archive_text::kPrematureEnd);
        *why = ExtractFailure::CrcMismatch;
        return EntryStep::Failed;
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
    const qint64 dataAt = qint64(entry.localHeaderOffset) + zip::kLocalHeaderSize + nameLength + extraLength;
    // Data that runs into the next entry (or the directory) but not past the end of the file:
    // overlapping entries, as a hostile archive builds them to multiply one piece of deflate data.
    // Such an entry is damaged; it is never decoded.
    const qint64 dataEnd = dataAt + qint64(entry.compressedSize);
    if (dataEnd > qint64(entry.regionEnd) && dataEnd <= file.size()) {
        *why = ExtractFailure::CrcMismatch;
        return EntryStep::Failed;
    }
    file.seek(dataAt);

    quint64 remaining = entry.compressedSize;
    std::optional<zip::ZipKeys> keys;
    if (entry.isEncrypted()) {
        if (remaining < quint64(zip::kEncryptionHeaderSize)) {
            *why = ExtractFailure::CrcMismatch;
            return EntryStep::Failed;
        }
        char encryption[zip::kEncryptionHeaderSize];
        if (!file.readExact(encryption, sizeof encryption))
            return endedEarly();
        keys.emplace(m_password);
        const uchar expected = entry.hasDataDescriptor() ? uchar((entry.stamp >> 8) & 0xFF)
                                                         : uchar(entry.crc >> 24);
        if (!zip::checkEncryptionHeader(*keys, encryption, expected)) {
            *why = ExtractFailure::WrongPassword;
            return EntryStep::Failed;
        }
        remaining -= zip::kEncryptionHeaderSize;
    }

    if (entry.method != zip::kMethodStored && entry.method != zip::kMethodDeflated) {
        notice::show(notice::Kind::Error, archive_text::kZipErrorCaption, archive_text::kUnknownMethod);
        *why = ExtractFailure::UnknownMethod;
        return EntryStep::Failed;
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

    // A deflated entry of a size to hold whole is read, decrypted and inflated in one go: the
    // way a diary's entries are, and much faster than piece by piece.
    if (!stored && entry.uncompressedSize <= zip::kWholeEntryLimit && remaining <= zip::kWholeEntryLimit) {
        whole.input.resize(qsizetype(remaining));
        const qint64 got = file.read(whole.input.data(), qint64(remaining));   // a short file gives what it has
        whole.input.truncate(qsizetype(got));
        whole.keys = std::move(keys);
        return EntryStep::ReadWhole;
    }

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
                return EntryStep::Failed;
            }
            remaining -= quint64(piece);
        }
    } else {
        if (!m_inflater)
            m_inflater = std::make_unique<zip::Inflater>();
        if (!m_inflater->begin()) {
            notice::show(notice::Kind::Error, archive_text::kErrorCaption, archive_text::kInflateOutOfMemory);
            *why = ExtractFailure::CrcMismatch;
            return EntryStep::Failed;
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
                return EntryStep::Failed;
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
        return EntryStep::Failed;
    }
    return EntryStep::Extracted;
}

bool TArchiveReader::inflateWhole(const TZipHeaderInfo &entry, const WholeEntry &whole, QByteArray &out,
                                  ExtractFailure *why)
{
    if (!m_wholeInflater)
        m_wholeInflater = std::make_unique<zip::WholeInflater>();
    out.resize(qsizetype(entry.uncompressedSize));
    qsizetype produced = 0;
    const zip::WholeInflater::Result r = m_wholeInflater->inflate(whole.input, out.data(), out.size(), &produced);
    if (r == zip::WholeInflater::TooLarge) {
        *why = ExtractFailure::LargerThanRecorded;
        return false;
    }
    if (r == zip::WholeInflater::OutOfMemory)
        notice::show(notice::Kind::Error, archive_text::kErrorCaption, archive_text::kInflateOutOfMemory);
    if (r != zip::WholeInflater::Done || zip::crc32(0, QByteArrayView(out.constData(), produced)) != entry.crc) {
        *why = ExtractFailure::CrcMismatch;
        return false;
    }
    out.truncate(produced);
    if (produced < out.capacity() / 2)
        out.squeeze();   // a record shorter than its directory said holds no more than it needs
    return true;
}
