#include "archive/zip_records.h"
#include "archive/archive_errors.h"
#include "archive/byte_cursor.h"
#include "archive/read_stream.h"
#include "platform/gbk.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>

namespace zip {

quint32 repairStamp(quint32 stamp)
{
    quint32 seconds2 = stamp & 0x1F;
    quint32 minute = (stamp >> 5) & 0x3F;
    quint32 hour = (stamp >> 11) & 0x1F;
    quint32 day = (stamp >> 16) & 0x1F;
    quint32 month = (stamp >> 21) & 0x0F;
    quint32 year = (stamp >> 25) & 0x7F;
    if (seconds2 >= 30)
        seconds2 = 29;
    if (minute >= 60)
        minute = 59;
    if (hour > 23)
        hour = 23;
    if (day == 0)
        day = 1;
    if (month == 0)
        month = 1;
    else if (month > 12)
        month = 12;
    if (year >= 120)
        year = 119;
    return seconds2 | (minute << 5) | (hour << 11) | (day << 16) | (month << 21) | (year << 25);
}

quint32 dosStamp(int year, int month, int day, int hour, int minute, int second)
{
    if (year < 1980)
        return dosStamp(1980, 1, 1, 0, 0, 0);
    if (year > 2099)
        year = 2099;
    const quint32 time = quint32(hour) * 2048 + quint32(minute) * 32 + quint32(second) / 2;
    const quint32 date = quint32(year - 1980) * 512 + quint32(month) * 32 + quint32(day);
    return repairStamp((date << 16) | (time & 0xFFFF));
}

quint32 dosStamp(const QDateTime &local)
{
    const QDate d = local.date();
    const QTime t = local.time();
    return dosStamp(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

QDateTime dateTimeOfStamp(quint32 stamp)
{
    const QDate date(int((stamp >> 25) & 0x7F) + 1980, int((stamp >> 21) & 0x0F),
                     int((stamp >> 16) & 0x1F));
    const QTime time(int((stamp >> 11) & 0x1F), int((stamp >> 5) & 0x3F), int(stamp & 0x1F) * 2);
    return QDateTime(date, time);
}

namespace {

// Calls visit(position, isSingleByte) for each character of a GBK name.
template <typename Visit>
void forEachCharacter(QByteArrayView name, Visit visit)
{
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n;) {
        if (gbk::isLeadByte(uchar(name[i])) && i + 1 < n) {
            visit(i, false);
            i += 2;
        } else {
            visit(i, true);
            ++i;
        }
    }
}

QByteArray replaceSingleBytes(const QByteArray &name, char from, char to)
{
    // Most names hold no separator at all: hand back the same (shared) bytes.
    if (!std::memchr(name.constData(), from, size_t(name.size())))
        return name;
    QByteArray out = name;
    forEachCharacter(name, [&](qsizetype i, bool single) {
        if (single && out[i] == from)
            out[i] = to;
    });
    return out;
}

} // namespace

QByteArray foldCase(QByteArrayView name)
{
    QByteArray out(name.data(), name.size());
    forEachCharacter(name, [&](qsizetype i, bool single) {
        if (single && out[i] >= 'A' && out[i] <= 'Z')
            out[i] = char(out[i] + ('a' - 'A'));
    });
    return out;
}

namespace {

// The bytes of a name given in two parts, read as one.
class TwoPartName
{
public:
    TwoPartName(QByteArrayView first, QByteArrayView second) : m_first(first), m_second(second) {}
    qsizetype size() const { return m_first.size() + m_second.size(); }
    uchar operator[](qsizetype i) const
    {
        return uchar(i < m_first.size() ? m_first[i] : m_second[i - m_first.size()]);
    }

private:
    QByteArrayView m_first;
    QByteArrayView m_second;
};

template <typename Name>
int compareFoldedNames(const Name &a, const Name &b)
{
    // Up to the first difference the two names are the same bytes, so they agree on which bytes
    // are second bytes of double-byte characters; only a differing pair needs folding, and a
    // byte from 0x81 up (the only kind that starts a double-byte character) never folds.
    const qsizetype n = qMin(a.size(), b.size());
    bool secondByte = false;
    for (qsizetype i = 0; i < n; ++i) {
        uchar ca = uchar(a[i]);
        uchar cb = uchar(b[i]);
        if (secondByte) {
            secondByte = false;
            if (ca != cb)
                return ca < cb ? -1 : 1;
            continue;
        }
        if (ca != cb) {
            if (ca >= 'A' && ca <= 'Z')
                ca = uchar(ca + ('a' - 'A'));
            if (cb >= 'A' && cb <= 'Z')
                cb = uchar(cb + ('a' - 'A'));
            if (ca != cb)
                return ca < cb ? -1 : 1;
            continue;
        }
        secondByte = gbk::isLeadByte(ca);
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

} // namespace

int compareFolded(QByteArrayView a, QByteArrayView b)
{
    return compareFoldedNames(a, b);
}

int compareFolded(QByteArrayView a1, QByteArrayView a2, QByteArrayView b1, QByteArrayView b2)
{
    if (a1.isEmpty() && b1.isEmpty())
        return compareFoldedNames(a2, b2);
    return compareFoldedNames(TwoPartName(a1, a2), TwoPartName(b1, b2));
}

QByteArray toMemoryName(const QByteArray &diskName)
{
    return replaceSingleBytes(diskName, '/', '\\');
}

QByteArray toDiskName(const QByteArray &memoryName)
{
    return replaceSingleBytes(memoryName, '\\', '/');
}

qsizetype fileNameStart(QByteArrayView memoryName)
{
    if (memoryName.isEmpty() || !std::memchr(memoryName.data(), '\\', size_t(memoryName.size())))
        return 0;
    qsizetype start = 0;
    forEachCharacter(memoryName, [&](qsizetype i, bool single) {
        if (single && memoryName[i] == '\\')
            start = i + 1;
    });
    return start;
}

} // namespace zip

void TZipHeaderInfo::setName(const QByteArray &memoryName)
{
    m_storedName.reset();
    const qsizetype split = zip::fileNameStart(memoryName);
    if (split == 0) {
        // The common case, a name without a directory: share the bytes instead of copying.
        m_directory.clear();
        m_fileName = memoryName;
        return;
    }
    m_directory = memoryName.left(split);
    m_fileName = memoryName.mid(split);
}

namespace {

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF). Checked on the
// bytes, since almost every GBK name fails at its first double-byte character.
bool isUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        const uchar c = *p++;
        if (c < 0x80)
            continue;
        int more = 0;
        uchar low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (end - p < more || *p < low || *p > high)
            return false;
        ++p;
        for (int i = 1; i < more; ++i, ++p) {
            if (*p < 0x80 || *p > 0xBF)
                return false;
        }
    }
    return true;
}

// The old program's entry names, read as GBK: "2003年9月26日" and its spellings with more digits.
bool isGbkDateName(const QByteArray &diskName)
{
    static const QRegularExpression date(QStringLiteral("^\\d{1,4}年\\d{1,2}月\\d{1,2}日$"));
    return date.match(gbk::decode(diskName)).hasMatch();
}

} // namespace

void TZipHeaderInfo::setStoredName(const QByteArray &diskName)
{
    // ASCII reads the same in both encodings: nothing to keep aside.
    if (std::all_of(diskName.cbegin(), diskName.cend(), [](char c) { return uchar(c) < 0x80; })) {
        setName(zip::toMemoryName(diskName));
        return;
    }
    // Without the flag a name is GBK, as the old program writes every name, except where it
    // cannot be: Info-ZIP on Linux stores UTF-8 names without flag or Unicode path field, and
    // those are valid UTF-8 while a GBK name almost never is. A name that reads as a date in GBK
    // stays GBK, whatever UTF-8 would make of it.
    if (!hasUtf8Name() && (!isUtf8(diskName) || isGbkDateName(diskName))) {
        setName(zip::toMemoryName(diskName));
        return;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(diskName);
    if (!utf8.hasError() && gbk::canEncode(text)) {
        setName(zip::toMemoryName(gbk::encode(text)));
    } else {
        // UTF-8 never uses an ASCII byte inside a character, so the separators are found byte by
        // byte, not as GBK would read them.
        QByteArray memory = diskName;
        memory.replace('/', '\\');
        const qsizetype split = memory.lastIndexOf('\\') + 1;
        m_directory = memory.left(split);
        m_fileName = memory.mid(split);
    }
    m_storedName = diskName;
}

QString TZipHeaderInfo::fullNameText() const
{
    if (!m_storedName)
        return gbk::decode(fullName());
    QString text = QString::fromUtf8(*m_storedName);
    text.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return text;
}

QString TZipHeaderInfo::fileNameText() const
{
    if (!m_storedName)
        return gbk::decode(m_fileName);
    const QString full = fullNameText();
    return full.mid(full.lastIndexOf(QLatin1Char('\\')) + 1);
}

bool TZipHeaderInfo::needsZip64Extra() const
{
    return uncompressedSize == zip::kZip64Marker32 || compressedSize == zip::kZip64Marker32
           || localHeaderOffset == zip::kZip64Marker32;
}

void TZipHeaderInfo::applyZip64Extra(QByteArrayView extra)
{
    ByteCursor blocks(extra);
    while (blocks.remaining() >= 4) {
        const quint16 id = blocks.u16();
        const quint16 length = blocks.u16();
        const uchar *data = blocks.take(length);
        if (!data)
            return;
        if (id != zip::kZip64ExtraId)
            continue;
        ByteCursor c(data, length);
        auto take = [&](quint32 &field) {
            if (field != zip::kZip64Marker32)
                return;
            const quint64 low = c.u32();
            const quint64 value = low | (quint64(c.u32()) << 32);
            if (c.ok() && value < zip::kZip64Marker32)
                field = quint32(value);
            zip64 = true;
        };
        take(uncompressedSize);
        take(compressedSize);
        take(localHeaderOffset);
        return;
    }
}

void TZipHeaderInfo::setFileComment(const std::optional<QByteArray> &comment)
{
    fileComment = comment;
    commentLength = comment ? quint16(qMin<qsizetype>(comment->size(), 0xFFFF)) : 0;
    if (fileComment && fileComment->size() > 0xFFFF)
        fileComment->truncate(0xFFFF);
}

namespace {

// Reads the little-endian fields of a header's fixed part, already read whole into a buffer of
// its exact size: the header layouts fix every offset, so no step needs checking.
class FixedFields
{
public:
    explicit FixedFields(const uchar *bytes) : m_at(bytes) {}
    void skip(int n) { m_at += n; }
    quint16 u16()
    {
        const quint16 v = quint16(m_at[0] | (m_at[1] << 8));
        m_at += 2;
        return v;
    }
    quint32 u32()
    {
        const quint32 v = quint32(m_at[0]) | (quint32(m_at[1]) << 8) | (quint32(m_at[2]) << 16)
                          | (quint32(m_at[3]) << 24);
        m_at += 4;
        return v;
    }

private:
    const uchar *m_at;
};

// Reads a header's fixed part, which must start with the signature, and the name whose length is
// stored at nameLengthAt. On failure the stream goes back to where it was.
bool readFixedPartAndName(ReadStream &in, uchar *fixed, qsizetype size, quint32 signature,
                          qsizetype nameLengthAt, QByteArray &name)
{
    const qint64 start = in.pos();
    if (in.readExact(fixed, size)) {
        FixedFields c(fixed);
        const quint32 found = c.u32();
        c.skip(int(nameLengthAt) - 4);
        name = QByteArray(c.u16(), Qt::Uninitialized);
        if (found == signature && in.readExact(name.data(), name.size()))
            return true;
    }
    in.seek(start);
    return false;
}

// The fields local and central headers share, from "version needed" to "uncompressed size".
void readSharedFields(FixedFields &c, TZipHeaderInfo &r)
{
    r.versionNeeded = c.u16();
    r.flags = c.u16();
    r.method = c.u16();
    r.stamp = zip::repairStamp(c.u32());
    r.crc = c.u32();
    r.compressedSize = c.u32();
    r.uncompressedSize = c.u32();
}

void writeSharedFields(ByteWriter &w, const TZipHeaderInfo &r)
{
    w.u16(r.versionNeeded);
    w.u16(r.flags);
    w.u16(r.method);
    w.u32(r.stamp);
    w.u32(r.crc);
    w.u32(r.compressedSize);
    w.u32(r.uncompressedSize);
}

} // namespace

bool TZipHeaderInfo::readCentralHeader(ReadStream &in)
{
    const qint64 start = in.pos();
    uchar fixed[zip::kCentralHeaderSize];
    QByteArray name;
    if (!readFixedPartAndName(in, fixed, sizeof fixed, zip::kCentralSignature, zip::kCentralNameLengthAt, name))
        return false;
    // Nothing can fail from here on, so the fields are set in place: a directory reads thousands.
    FixedFields c(fixed);
    c.skip(4);
    versionMadeBy = c.u16();
    readSharedFields(c, *this);
    c.skip(2);   // name length
    extraLength = c.u16();
    commentLength = c.u16();
    diskNumberStart = c.u16();
    internalAttributes = c.u16();
    externalAttributes = c.u32();
    localHeaderOffset = c.u32();
    localExtraLength = 0;
    fileComment.reset();
    matched = false;
    selected = false;
    regionEnd = 0xFFFFFFFF;
    zip64 = false;
    setStoredName(name);
    centralHeaderOffset = quint32(start);
    return true;
}

bool TZipHeaderInfo::readLocalHeader(ReadStream &in)
{
    const qint64 start = in.pos();
    uchar fixed[zip::kLocalHeaderSize];
    QByteArray name;
    if (!readFixedPartAndName(in, fixed, sizeof fixed, zip::kLocalSignature, zip::kLocalNameLengthAt, name))
        return false;
    FixedFields c(fixed);
    c.skip(4);
    TZipHeaderInfo r;
    r.versionMadeBy = 0;
    readSharedFields(c, r);
    c.skip(2);   // name length
    r.localExtraLength = c.u16();
    r.internalAttributes = 0;
    r.externalAttributes = 0;
    r.setStoredName(name);
    r.localHeaderOffset = quint32(start);
    *this = std::move(r);
    return true;
}

bool TZipHeaderInfo::isOwnDiskName() const
{
    // The file-name part holds no single-byte "\\" (the name was split at the last one), so
    // unless a double-byte character has that byte as its second byte, it is its own disk form.
    return !m_storedName && m_directory.isEmpty()
           && !std::memchr(m_fileName.constData(), '\\', size_t(m_fileName.size()));
}

QByteArray TZipHeaderInfo::diskName() const
{
    if (m_storedName)
        return *m_storedName;
    return isOwnDiskName() ? m_fileName : zip::toDiskName(fullName());
}

void TZipHeaderInfo::writeLocalHeader(QByteArray &out) const
{
    const QByteArray name = diskName();
    const qsizetype at = out.size();
    out.resize(at + zip::kLocalHeaderSize);
    writeLocalFixedPart(reinterpret_cast<uchar *>(out.data()) + at, name.size(), localExtraLength);
    out.append(name);
}

void TZipHeaderInfo::writeLocalFixedPart(uchar *out, qsizetype nameLength, quint16 localExtra) const
{
    ByteWriter w(out, zip::kLocalHeaderSize);
    w.u32(zip::kLocalSignature);
    writeSharedFields(w, *this);
    w.u16(quint16(nameLength));
    w.u16(localExtra);
}

void TZipHeaderInfo::writeCentralHeader(QByteArray &out, QByteArrayView extra) const
{
    writeCentralHeader(out, extra, localHeaderOffset,
                       fileComment ? QByteArrayView(*fileComment) : QByteArrayView());
}

void TZipHeaderInfo::writeCentralHeader(QByteArray &out, QByteArrayView extra, quint32 localHeader,
                                        QByteArrayView comment) const
{
    // Written for every entry of every save: the common name needs no converted copy.
    QByteArray converted;
    const bool plain = isOwnDiskName();
    if (!plain)
        converted = diskName();
    const QByteArrayView name = plain ? QByteArrayView(m_fileName) : QByteArrayView(converted);
    ByteWriter w(out, zip::kCentralHeaderSize + name.size() + extra.size() + comment.size());
    w.u32(zip::kCentralSignature);
    w.u16(versionMadeBy);
    writeSharedFields(w, *this);
    w.u16(quint16(name.size()));
    // The lengths written are those of the bytes that follow, so the header always describes
    // what is really there.
    w.u16(quint16(extra.size()));
    w.u16(quint16(comment.size()));
    w.u16(diskNumberStart);
    w.u16(internalAttributes);
    w.u32(externalAttributes);
    w.u32(localHeader);
    w.bytes(name);
    w.bytes(extra);
    w.bytes(comment);
}

void TEndCentral::assign(const TEndCentral &other)
{
    const bool modified = commentModified;
    *this = other;
    commentModified = modified;
    if (comment)
        commentLength = quint16(comment->size());
}

void TEndCentral::setComment(const QByteArray &text)
{
    comment = text;
    commentLength = quint16(text.size());
}

bool TEndCentral::find(ReadStream &in)
{
    const qint64 size = in.size();
    if (size == 0)
        return true;
    if (size < zip::kEndRecordSize)
        return false;
    const qint64 span = qMin<qint64>(zip::kEndRecordSearch, size);
    in.seek(size - span);
    const QByteArray tail = in.readBytes(span);
    if (tail.size() != span)
        return false;
    const uchar *bytes = reinterpret_cast<const uchar *>(tail.constData());
    for (qsizetype pos = span - zip::kEndRecordSize; pos >= 0; --pos) {
        if (bytes[pos] != 0x50)
            continue;
        ByteCursor c(bytes + pos, zip::kEndRecordSize);
        if (c.u32() != zip::kEndSignature)
            continue;
        thisDisk = c.u16();
        centralDisk = c.u16();
        entriesOnDisk = c.u16();
        totalEntries = c.u16();
        centralSize = c.u32();
        centralOffset = qint32(c.u32());
        commentLength = c.u16();
        commentOffset = size - span + pos + zip::kEndRecordSize;
        return true;
    }
    return false;
}

void TEndCentral::write(QByteArray &out) const
{
    const QByteArrayView text = comment ? QByteArrayView(*comment) : QByteArrayView();
    ByteWriter w(out, zip::kEndRecordSize + text.size());
    w.u32(zip::kEndSignature);
    w.u16(thisDisk);
    w.u16(centralDisk);
    w.u16(entriesOnDisk);
    w.u16(totalEntries);
    w.u32(centralSize);
    w.u32(quint32(centralOffset));
    w.u16(quint16(text.size()));
    w.bytes(text);
}

TSortedZip::TSortedZip(TDuplicates duplicates, TZipSortMode mode, bool ownsRecords)
    : m_duplicates(duplicates), m_mode(mode), m_owns(ownsRecords)
{
}

TSortedZip::~TSortedZip()
{
    if (m_owns) {
        for (TZipHeaderInfo *r : m_records)
            delete r;
    }
}

int TSortedZip::compare(const TZipHeaderInfo &existing, const TZipHeaderInfo &record) const
{
    if (m_mode == TZipSortMode::ByNone)
        return -1;
    return zip::compareFolded(existing.directory(), existing.fileName(), record.directory(),
                              record.fileName());
}

bool TSortedZip::find(const TZipHeaderInfo &record, int *index) const
{
    if (m_mode == TZipSortMode::ByNone) {
        *index = count();
        return false;
    }
    int lo = 0;
    int hi = count() - 1;
    bool found = false;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        const int c = compare(*m_records[size_t(mid)], record);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0)
                found = true;
        }
    }
    *index = lo;
    return found;
}

bool TSortedZip::add(TZipHeaderInfo *record)
{
    int index;
    if (find(*record, &index)) {
        if (m_duplicates == TDuplicates::dupIgnore) {
            if (m_owns)
                delete record;
            return false;
        }
        if (m_duplicates == TDuplicates::dupError) {
            if (m_owns)
                delete record;
            throw EListError(archive_text::kDuplicateObject);
        }
    }
    m_records.insert(m_records.begin() + index, record);
    return true;
}

namespace {

size_t foldedHash(const TZipHeaderInfo &r)
{
    // FNV-1a over directory and file name read as one, with every byte from "A" to "Z" lowered.
    // compareFolded lowers only those that are not second bytes of double-byte characters, so
    // names it calls equal still hash alike; the few that differ only in such a byte share a
    // hash and are told apart by the comparison.
    quint64 h = 14695981039346656037ull;
    for (const QByteArray *part : {&r.directory(), &r.fileName()}) {
        const uchar *p = reinterpret_cast<const uchar *>(part->constData());
        for (const uchar *end = p + part->size(); p != end; ++p) {
            const uchar c = uchar(*p | (uchar(*p - 'A') < 26 ? 0x20 : 0));
            h = (h ^ c) * 1099511628211ull;
        }
    }
    return size_t(h ^ (h >> 29));
}

} // namespace

void TNameIndex::reserve(int count)
{
    size_t size = 16;
    while (size < 2 * size_t(count < 0 ? 0 : count))
        size *= 2;
    if (size <= m_slots.size())
        return;
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(size, Slot());
    for (const Slot &slot : old) {
        if (!slot.record)
            continue;
        size_t i = slot.hash & (size - 1);
        while (m_slots[i].record)
            i = (i + 1) & (size - 1);
        m_slots[i] = slot;
    }
}

const TNameIndex::Slot &TNameIndex::slotFor(const TZipHeaderInfo &record, size_t hash) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot &slot = m_slots[i];
        if (!slot.record
            || (slot.hash == hash
                && zip::compareFolded(slot.record->directory(), slot.record->fileName(),
                                      record.directory(), record.fileName()) == 0))
            return slot;
    }
}

bool TNameIndex::contains(const TZipHeaderInfo &record) const
{
    return !m_slots.empty() && slotFor(record, foldedHash(record)).record != nullptr;
}

void TNameIndex::addDuplicate(const TZipHeaderInfo *record)
{
    if (2 * (m_count + 1) > m_slots.size())
        reserve(int(qMin<size_t>(2 * (m_count + 1), size_t(1) << 30)));
    const size_t hash = foldedHash(*record);
    const size_t mask = m_slots.size() - 1;
    size_t i = hash & mask;
    while (m_slots[i].record)
        i = (i + 1) & mask;
    m_slots[i] = {hash, record};
    ++m_count;
}

void TNameIndex::add(const TZipHeaderInfo *record)
{
    if (2 * (m_count + 1) > m_slots.size())
        reserve(int(qMin<size_t>(2 * (m_count + 1), size_t(1) << 30)));
    const size_t hash = foldedHash(*record);
    Slot &slot = const_cast<Slot &>(slotFor(*record, hash));
    if (slot.record)
        throw EListError(archive_text::kDuplicateObject);
    slot = {hash, record};
    ++m_count;
}
