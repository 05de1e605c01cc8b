#include "drafts/drafts.h"

#include "archive/byte_cursor.h"
#include "archive/diary_password.h"
#include "archive/zip_codec.h"
#include "archive/zip_crypto.h"
#include "crypto/entry_seal.h"
#include "crypto/private_format.h"
#include "platform/files.h"
#include "platform/host.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace drafts {
namespace {

const QString kFolderName = QStringLiteral(".drafts");
const QString kSuffix = QStringLiteral(".draft");
const QString kAsideSuffix = QStringLiteral(".unreadable");
// Before the computer's host::tag() in a draft's name.
constexpr QChar kHostMark = u'~';
constexpr char kMagic[] = "QBDRAFT1";
constexpr qsizetype kMagicSize = 8;
constexpr qsizetype kHeaderSize = kMagicSize + 1 + 8 + 2;   // before the name
constexpr char kOldFormat = 'Z';
constexpr char kSealed = 'S';
constexpr qsizetype kEncryptionHeaderSize = 12;
// A draft is one entry's record: no larger than an entry may be.
constexpr qint64 kMaxRecordSize = private_format::kMaxRecordSize;

QByteArray native(const QString &path) { return QFile::encodeName(path); }

QString text(const char *format, const QString &path, int error)
{
    return QString::fromLatin1(format).arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

QByteArray header(char kind, const QByteArray &name, const QDateTime &written)
{
    QByteArray out;
    ByteWriter w(out, kHeaderSize + name.size());
    w.bytes(QByteArrayView(kMagic, kMagicSize));
    w.bytes(QByteArrayView(&kind, 1));
    const quint64 ms = quint64(written.toMSecsSinceEpoch());
    w.u32(quint32(ms));
    w.u32(quint32(ms >> 32));
    w.u16(quint16(name.size()));
    w.bytes(name);
    return out;
}

// The record of an old-format payload, or nullopt when it does not decrypt, inflate and check.
std::optional<QByteArray> openOldFormat(ByteCursor &in)
{
    const quint32 crc = in.u32();
    const quint32 size = in.u32();
    const uchar *encryption = in.take(kEncryptionHeaderSize);
    if (!in.ok() || size > kMaxRecordSize)
        return std::nullopt;
    QByteArray data(reinterpret_cast<const char *>(encryption), kEncryptionHeaderSize + in.remaining());
    std::memcpy(data.data() + kEncryptionHeaderSize, in.take(in.remaining()), data.size() - kEncryptionHeaderSize);
    zip::ZipKeys keys{QByteArrayView(kDiaryArchivePassword)};
    keys.decrypt(data.data(), data.size());
    if (uchar(data[kEncryptionHeaderSize - 1]) != uchar(crc >> 24))
        return std::nullopt;
    zip::Inflater inflater;
    if (!inflater.begin())
        throw std::bad_alloc();
    inflater.feed(data.constData() + kEncryptionHeaderSize, data.size() - kEncryptionHeaderSize);
    QByteArray record(qsizetype(size) + 1, Qt::Uninitialized);   // one more: a longer stream shows
    qsizetype produced = 0;
    qsizetype total = 0;
    for (;;) {
        const zip::Inflater::Result r = inflater.step(record.data() + total, record.size() - total, &produced);
        total += produced;
        if (r == zip::Inflater::OutOfMemory)
            throw std::bad_alloc();
        if (r == zip::Inflater::Failed || (r == zip::Inflater::More && (produced == 0 || total == record.size())))
            return std::nullopt;
        if (r == zip::Inflater::End)
            break;
    }
    record.truncate(total);
    if (total != qsizetype(size) || zip::crc32(0, record) != crc)
        return std::nullopt;
    return record;
}

} // namespace

QString folderOf(const QString &archivePath)
{
    const QFileInfo archive(archivePath);
    return QDir(archive.absolutePath()).filePath(kFolderName) + u'/' + archive.fileName();
}

namespace {

// A draft's file name: the hex of the entry's name and this computer's part.
QString fileNameOf(const QByteArray &entryName)
{
    return QString::fromLatin1(entryName.toHex()) + kHostMark + host::tag() + kSuffix;
}

// The draft's name as drafts were first named, without the computer's part: still this
// computer's.
QString firstFileNameOf(const QByteArray &entryName)
{
    return QString::fromLatin1(entryName.toHex()) + kSuffix;
}

// The entry part of a draft's file name, when the draft is this computer's (its name has this
// computer's part, or none); empty for another computer's.
QString ownEntryPart(const QString &fileName)
{
    const QString stem = fileName.chopped(kSuffix.size());
    const qsizetype mark = stem.indexOf(kHostMark);
    if (mark < 0)
        return stem;
    return stem.mid(mark + 1) == host::tag() ? stem.left(mark) : QString();
}

} // namespace

QString pathOf(const QString &archivePath, const QByteArray &entryName)
{
    return folderOf(archivePath) + u'/' + fileNameOf(entryName);
}

QByteArray encode(const QByteArray &entryName, const QByteArray &record, const DiaryKey *key,
                  const QDateTime &written, quint32 seed)
{
    if (entryName.size() > 0xFFFF)
        throw EDraftError(QStringLiteral("日记的名字太长，无法留下草稿"));
    if (key) {
        const QByteArray head = header(kSealed, entryName, written);
        return head + entry_seal::seal(*key, head, record);
    }
    QByteArray out = header(kOldFormat, entryName, written);
    const quint32 crc = zip::crc32(0, record);
    {
        QByteArray sizes;
        ByteWriter w(sizes, 8);
        w.u32(crc);
        w.u32(quint32(record.size()));
        out += sizes;
    }
    zip::ZipKeys keys{QByteArrayView(kDiaryArchivePassword)};
    out += zip::makeEncryptionHeader(keys, seed, crc);
    QByteArray data = zip::deflateRaw(record, 6);
    keys.encrypt(data.data(), data.size());
    return out + data;
}

Draft decode(const QByteArray &bytes, const DiaryKey *key)
{
    Draft draft;
    ByteCursor in(bytes);
    const uchar *magic = in.take(kMagicSize);
    const quint8 kind = in.u8();
    const quint32 low = in.u32();
    const quint32 high = in.u32();
    const quint16 nameSize = in.u16();
    const uchar *name = in.take(nameSize);
    if (!in.ok() || std::memcmp(magic, kMagic, kMagicSize) != 0)
        return draft;
    draft.name = QByteArray(reinterpret_cast<const char *>(name), nameSize);
    const qint64 ms = qint64((quint64(high) << 32) | low);
    const QDateTime written = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    std::optional<QByteArray> record;
    if (kind == quint8(kSealed) && key) {
        const QByteArrayView head(bytes.constData(), in.pos());
        const entry_seal::OpenResult opened =
            entry_seal::open(*key, head, QByteArrayView(bytes).sliced(in.pos()));
        if (opened.status == entry_seal::OpenStatus::Opened)
            record = opened.record;
    } else if (kind == quint8(kOldFormat) && !key) {
        record = openOldFormat(in);
    }
    if (!record || !written.isValid())
        return draft;
    draft.record = *record;
    draft.written = written;
    draft.readable = true;
    return draft;
}

namespace {

// The diary's drafts folder, opened from the diary folder's descriptor without following links,
// the diary owner's and 0700 (files::FilePlace::keptFolder), so nobody else reads the drafts in
// it; made when create is set. Refused (a link, another user's folder): EDraftError when create
// is set, else simply not open.
files::Folder draftsFolder(const QString &archivePath, bool create)
{
    files::Folder folder = files::FilePlace::of(archivePath).keptFolder(kFolderName, create);
    if (!folder.isOpen() && create)
        throw EDraftError(QStringLiteral("无法使用存放草稿的文件夹“%1”：%2")
                              .arg(folderOf(archivePath), folder.errorString()));
    return folder;
}

void storeIn(const files::Folder &folder, const QByteArray &entryName, const QByteArray &bytes)
{
    files::AtomicWriter out(folder, fileNameOf(entryName));
    if (!out.isOpen() || !out.write(bytes) || !out.commit())
        throw EDraftError(QStringLiteral("无法写入文件“%1”：%2")
                              .arg(folder.filePath(fileNameOf(entryName)), out.errorString()));
}

} // namespace

void store(const QString &archivePath, const QByteArray &entryName, const QByteArray &bytes)
{
    storeIn(draftsFolder(archivePath, true), entryName, bytes);
}

void write(const QString &archivePath, const QByteArray &entryName, const QByteArray &record,
           const DiaryKey *key, const QDateTime &written)
{
    const QByteArray bytes = encode(entryName, record, key, written, zip::counterSeed());
    const files::Folder folder = draftsFolder(archivePath, true);
    const QString path = folder.filePath(fileNameOf(entryName));
    // A program killed while writing a draft leaves its temporary file; the next write of that
    // draft clears it away, under the lock that keeps two programs from writing one draft.
    const files::FolderLock lock(path, files::FolderLock::Exclusive);
    if (!lock.ok())
        throw EDraftError(QStringLiteral("无法写入文件“%1”：%2").arg(path, lock.errorString()));
    files::AtomicWriter::removeLeftovers(folder, fileNameOf(entryName));
    storeIn(folder, entryName, bytes);
}

void clearLeftovers(const QString &archivePath)
{
    const files::Folder folder = draftsFolder(archivePath, false);
    if (!folder.isOpen())
        return;
    const files::FolderLock lock(folder.filePath(QStringLiteral("x")), files::FolderLock::Exclusive);
    if (!lock.ok())
        return;
    for (const QString &name : folder.names()) {
        if (name.startsWith(u'.') && name.endsWith(QLatin1String(".tmp")))
            folder.remove(name);
    }
}

bool remove(const QString &archivePath, const QByteArray &entryName)
{
    const files::Folder folder = draftsFolder(archivePath, false);
    if (!folder.isOpen())
        return true;
    bool removed = true;
    for (const QString &name : {fileNameOf(entryName), firstFileNameOf(entryName)})
        removed = (folder.remove(name) || errno == ENOENT) && removed;
    return removed;
}

QList<Draft> pending(const QString &archivePath, const DiaryKey *key)
{
    const files::Folder folder = draftsFolder(archivePath, false);
    QList<Draft> found;
    for (const QString &name : folder.names()) {
        if (!name.endsWith(kSuffix))
            continue;
        // Another computer's drafts (a sync program brought them) are its own.
        const QString entryPart = ownEntryPart(name);
        if (entryPart.isEmpty())
            continue;
        const QString path = folder.filePath(name);
        const files::ReadFile file = files::readRegularFile(path, kMaxRecordSize * 2);
        if (file.refusal == files::ReadFile::Refusal::NotARegularFile)
            continue;
        Draft draft;
        if (file.ok())
            draft = decode(file.bytes, key);
        draft.path = path;
        // A file whose name does not match the entry it holds is not this entry's draft.
        if (draft.readable && entryPart != QString::fromLatin1(draft.name.toHex()))
            draft = Draft{path, draft.name, {}, {}, false};
        found.append(draft);
    }
    std::stable_sort(found.begin(), found.end(), [](const Draft &a, const Draft &b) {
        if (a.readable != b.readable)
            return a.readable;
        return a.written > b.written;
    });
    return found;
}

QString keepAside(const QString &draftPath)
{
    QString target = draftPath + kAsideSuffix;
    for (int n = 2; files::exists(target); ++n)
        target = draftPath + kAsideSuffix + u'-' + QString::number(n);
    if (::rename(native(draftPath).constData(), native(target).constData()) != 0)
        throw EDraftError(text("The unreadable draft %1 cannot be put aside: %2", draftPath, errno));
    return target;
}

int removeAll(const QString &archivePath)
{
    const files::Folder folder = draftsFolder(archivePath, false);
    int removed = 0;
    for (const QString &name : folder.names()) {
        if (name.endsWith(kSuffix) && folder.remove(name))
            ++removed;
    }
    return removed;
}

} // namespace drafts
