#include "templates/templates.h"

#include "archive/byte_cursor.h"
#include "archive/zip_crypto.h"
#include "diary/entry.h"
#include "drafts/drafts.h"
#include "lunar/lunar_calendar.h"
#include "platform/files.h"
#include "richtext/rich_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextCursor>
#include <QTextDocument>

#include <cerrno>
#include <optional>
#include <cstring>
#include <unistd.h>

namespace templates {

namespace {

const QString kFolderName = QStringLiteral(".templates");
constexpr int kSlots = 8;
// A template is one body: no larger than an entry's record may be, all eight together.
constexpr qint64 kMaxFileSize = qint64(64) << 20;

QByteArray &slot(Templates &t, int i)
{
    return i == 0 ? t.everyDay : t.weekdays[size_t(i - 1)];
}

QByteArray encodeSlots(const Templates &t)
{
    Templates copy = t;
    QByteArray out;
    for (int i = 0; i < kSlots; ++i) {
        const QByteArray &bytes = slot(copy, i);
        QByteArray size;
        ByteWriter w(size, 4);
        w.u32(quint32(bytes.size()));
        out += size + bytes;
    }
    return out;
}

std::optional<Templates> decodeSlots(const QByteArray &record)
{
    Templates t;
    ByteCursor in(record);
    for (int i = 0; i < kSlots; ++i) {
        const quint32 size = in.u32();
        const uchar *bytes = in.take(qsizetype(size));
        if (!in.ok())
            return std::nullopt;
        slot(t, i) = QByteArray(reinterpret_cast<const char *>(bytes), qsizetype(size));
    }
    if (in.remaining() != 0)
        return std::nullopt;
    return t;
}

QString weekdayName(int day)
{
    static const char16_t *const names[] = {u"一", u"二", u"三", u"四", u"五", u"六", u"日"};
    return QStringLiteral("星期") + QString::fromUtf16(names[day - 1]);
}

} // namespace

bool Templates::isEmpty() const
{
    return everyDay.isEmpty() && std::all_of(weekdays.begin(), weekdays.end(), [](const QByteArray &b) {
               return b.isEmpty();
           });
}

QByteArray Templates::forDay(const QDate &date) const
{
    if (date.isValid() && !weekdays[size_t(date.dayOfWeek() - 1)].isEmpty())
        return weekdays[size_t(date.dayOfWeek() - 1)];
    return everyDay;
}

QString pathOf(const QString &archivePath)
{
    const QFileInfo archive(archivePath);
    return QDir(archive.absolutePath()).filePath(kFolderName) + u'/' + archive.fileName();
}

namespace {

// The templates in the file at path: nullopt when it cannot be read or opened with key.
std::optional<Templates> readFile(const QString &path, const DiaryKey *key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return std::nullopt;
    const drafts::Draft draft = drafts::decode(file.readAll(), key);
    if (!draft.readable || draft.name != QByteArray(kFileEntryName))
        return std::nullopt;
    return decodeSlots(draft.record);
}

} // namespace

Templates read(const QString &archivePath, const DiaryKey *key)
{
    const QString path = pathOf(archivePath);
    if (!files::exists(path))
        return {};
    const std::optional<Templates> found = readFile(path, key);
    if (!found)
        throw ETemplateError(QStringLiteral("The templates in \"%1\" cannot be read").arg(path));
    return *found;
}

void write(const QString &archivePath, const Templates &templates, const DiaryKey *key)
{
    const QString path = pathOf(archivePath);
    const QString folder = QFileInfo(path).path();
    if (templates.isEmpty()) {
        if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
            throw ETemplateError(QStringLiteral("Cannot remove file \"%1\". %2")
                                     .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    const QByteArray bytes = drafts::encode(QByteArray(kFileEntryName), encodeSlots(templates), key,
                                            QDateTime::currentDateTimeUtc(), zip::counterSeed());
    if (!files::makePrivateFolders(folder))
        throw ETemplateError(QStringLiteral("The folder %1 for templates cannot be created: %2")
                                 .arg(folder, QString::fromLocal8Bit(std::strerror(errno))));
    const files::FolderLock lock(path, files::FolderLock::Exclusive);
    if (!lock.ok())
        throw ETemplateError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, lock.errorString()));
    files::AtomicWriter::removeLeftovers(path);
    files::AtomicWriter out(path, files::AtomicWriter::RefuseLinks);
    if (!out.isOpen() || !out.write(bytes) || !out.commit())
        throw ETemplateError(QStringLiteral("Cannot write file \"%1\". %2").arg(path, out.errorString()));
}

bool reseal(const QString &archivePath, const DiaryKey *from, const DiaryKey *to)
{
    if (!files::exists(pathOf(archivePath)))
        return true;
    // Templates that do not open under the old format: nobody can tell what they hold, so they
    // are neither rewritten nor removed.
    const std::optional<Templates> stored = readFile(pathOf(archivePath), from);
    if (!stored)
        return false;
    write(archivePath, *stored, to);
    return true;
}

void fillPlaceholders(QTextDocument &doc, const QDate &date)
{
    const QString values[][2] = {
        {QStringLiteral("{日期}"), diary::entryName(date)},
        {QStringLiteral("{星期}"), weekdayName(date.dayOfWeek())},
        {QStringLiteral("{农历}"), lunar::fullText(date)},
    };
    for (const auto &[placeholder, value] : values) {
        QTextCursor at = doc.find(placeholder);
        while (!at.isNull()) {
            at.insertText(value);
            at = doc.find(placeholder, at);
        }
    }
}

QByteArray newEntryRecord(const Templates &templates, const QDate &date, int weather, int mood)
{
    const QByteArray rtf = templates.forDay(date);
    if (rtf.isEmpty() || !date.isValid())
        return QByteArray();
    QTextDocument body;
    richtext::readRtf(rtf, body);
    fillPlaceholders(body, date);
    return diary::makeRecord(body, weather, mood);
}

} // namespace templates
