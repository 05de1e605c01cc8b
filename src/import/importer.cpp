#include "import/importer.h"

#include "archive/archive_writer.h"
#include "diary/entry.h"
#include "import/messages.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "richtext/messages.h"
#include "richtext/pictures.h"
#include "richtext/rich_text.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <algorithm>
#include <cstring>
#include <optional>

namespace diary_import {

namespace {

QByteArray recordOf(const QTextDocument &doc, int weather, int mood)
{
    return diary::makeRecord(doc, weather, mood);
}

// Text and Markdown may not hold NUL bytes, except as UTF-16 does.
bool looksBinary(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return false;
    return bytes.contains('\0');
}

// incoming's body after the document's, from a new paragraph on.
void appendBody(QTextDocument &doc, const QByteArray &incoming)
{
    QTextDocument addition;
    diary::loadRecord(incoming, addition);
    QTextCursor cursor(&doc);
    cursor.movePosition(QTextCursor::End);
    // The new paragraph takes the formats of the addition's first one, not of the last stored one
    // (which may be a list item).
    cursor.insertBlock(addition.firstBlock().blockFormat(), addition.firstBlock().charFormat());
    cursor.insertFragment(QTextDocumentFragment(&addition));
}

// stored's body, then incoming's, under these indices.
QByteArray joinRecords(const QByteArray &stored, const QByteArray &incoming, int weather, int mood)
{
    QTextDocument doc;
    diary::loadRecord(stored, doc);
    appendBody(doc, incoming);
    return recordOf(doc, weather, mood);
}

// The most a picture file beside a Markdown file may hold to be taken in.
constexpr qint64 kMaxPictureFile = 64 * 1024 * 1024;

// A picture file's bytes as an entry's picture: PNG and JPEG as they are, other images the
// reader knows as PNG. Nothing when the bytes are no image.
std::optional<richtext::Picture> pictureOfFile(const QByteArray &bytes)
{
    richtext::Picture picture;
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        picture.kind = richtext::PictureKind::Png;
    else if (bytes.startsWith("\xFF\xD8\xFF"))
        picture.kind = richtext::PictureKind::Jpeg;
    const QSize size = richtext::pictureFileSize(bytes);
    if (picture.kind != richtext::PictureKind::Other && size.isValid()) {
        picture.data = bytes;
    } else {
        const QImage image = QImage::fromData(bytes);
        if (image.isNull())
            return std::nullopt;
        QBuffer buffer(&picture.data);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        picture.kind = richtext::PictureKind::Png;
    }
    const QSize shown = richtext::pictureFileSize(picture.data);
    picture.width = shown.width();
    picture.height = shown.height();
    return picture;
}

// Markdown whose table rows may hold <br>, as pipe tables join a cell's paragraphs (the export
// writes them so): the toolkit's reader would break the table on it, so inside a row it becomes
// the line break it stands for.
QString withTableBreaks(const QString &markdown)
{
    static const QRegularExpression lineBreak(QStringLiteral("<br\\s*/?>"), QRegularExpression::CaseInsensitiveOption);
    QStringList lines = markdown.split(u'\n');
    for (QString &line : lines) {
        if (line.trimmed().startsWith(u'|'))
            line.replace(lineBreak, QString(QChar::LineSeparator));
    }
    return lines.join(u'\n');
}

// Why a file the user named (or one a Markdown file links) is not read, or empty when it is.
QString refusalOf(const files::ReadFile &file)
{
    switch (file.refusal) {
    case files::ReadFile::Refusal::None:
        break;
    case files::ReadFile::Refusal::CannotOpen:
        return import_text::cannotOpen(QString::fromLocal8Bit(std::strerror(file.error)));
    case files::ReadFile::Refusal::NotARegularFile:
        return import_text::notRegularFile();
    case files::ReadFile::Refusal::TooLarge:
        return import_text::tooLarge();
    }
    return {};
}

// The pictures a Markdown file links, taken from the files beside it (the form the export
// writes): each becomes the entry's own picture. A link to anything else (a web address, a
// missing file, no image, anything but a regular file) is left out, as the entry could not show
// it. False, the rest left out, once the pictures are more than an entry may hold.
bool takeLinkedPictures(QTextDocument &doc, const QDir &folder)
{
    struct Linked {
        int position;
        int length;
        QString name;
    };
    QList<Linked> linked;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                linked.append({it.fragment().position(), it.fragment().length(),
                               it.fragment().charFormat().toImageFormat().name()});
    // From the end, so that a removal leaves the earlier positions as they are.
    qint64 taken = 0;
    for (auto it = linked.crbegin(); it != linked.crend(); ++it) {
        QTextCursor cursor(&doc);
        cursor.setPosition(it->position);
        cursor.setPosition(it->position + it->length, QTextCursor::KeepAnchor);
        const QUrl url(it->name);
        std::optional<richtext::Picture> picture;
        if (url.isRelative() || url.isLocalFile()) {
            const files::ReadFile file = files::readRegularFile(
                url.isLocalFile() ? url.toLocalFile() : folder.filePath(url.path(QUrl::FullyDecoded)), kMaxPictureFile);
            if (file.ok())
                picture = pictureOfFile(file.bytes);
        }
        // Twice its bytes in the record (RTF hex).
        if (picture && (taken += 2 * qint64(picture->data.size())) > diary_limits::kMaxRecordSize)
            return false;
        if (picture)
            cursor.setCharFormat(richtext::addPicture(doc, *picture));
        else
            cursor.removeSelectedText();
    }
    return true;
}

} // namespace

QList<Entry> readSource(const QString &fileName, const QByteArray &bytes, Encoding encoding,
                        QString *refusal)
{
    QList<Entry> entries;
    refusal->clear();
    const QString name = QFileInfo(fileName).fileName();
    const QDate day = dateOfFileName(name);
    const SourceKind kind = kindOf(name, bytes);
    if (kind == SourceKind::Unknown) {
        *refusal = import_text::unknownKind();
        return entries;
    }
    if (kind == SourceKind::Rtf) {
        if (!day.isValid()) {
            *refusal = import_text::noDate();
            return entries;
        }
        QTextDocument doc;
        // Bytes the reader cannot take are this file's refusal, not an error of the import.
        switch (richtext::readRtfWithin(bytes, doc, diary_limits::kMaxRecordSize)) {
        case richtext::ReadOutcome::Read:
            break;
        case richtext::ReadOutcome::NotRtf:
            *refusal = import_text::notRtf();
            return entries;
        case richtext::ReadOutcome::TooLarge:
            *refusal = import_text::entryTooLarge();
            return entries;
        }
        QByteArray record = recordOf(doc, -1, -1);
        if (record.size() > diary_limits::kMaxRecordSize) {
            *refusal = import_text::entryTooLarge();
            return entries;
        }
        entries.append({day, -1, -1, std::move(record), {fileName}});
        return entries;
    }
    if (looksBinary(bytes)) {
        *refusal = import_text::notText();
        return entries;
    }
    const QString text = decodeText(bytes, encoding);
    const Split split = kind == SourceKind::Html ? splitHtml(text, day) : splitText(text, kind, day);
    if (!split.refusal.isEmpty()) {
        *refusal = split.refusal;
        return entries;
    }
    for (const SourceEntry &found : split.entries) {
        // Two bytes a character at least in the record: a body beyond the limit is refused
        // before a document is built of it.
        if (2 * qint64(found.body.size()) > diary_limits::kMaxRecordSize) {
            *refusal = import_text::entryTooLarge();
            return {};
        }
        QTextDocument doc;
        if (kind == SourceKind::Html) {
            // Read as Qt reads its own HTML (the line ends between its tags are layout, not
            // text), and with the blanks of the paragraphs kept, as the export's page keeps them.
            doc.setHtml(QStringLiteral("<html><head><meta name=\"qrichtext\" content=\"1\" />"
                                       "<style>p, li { white-space: pre-wrap; }</style></head><body>")
                        + found.body + QStringLiteral("</body></html>"));
        }
        else if (kind == SourceKind::Markdown) {
            doc.setMarkdown(withTableBreaks(found.body), QTextDocument::MarkdownDialectGitHub);
            if (!takeLinkedPictures(doc, QFileInfo(fileName).dir())) {
                *refusal = import_text::entryTooLarge();
                return {};
            }
        }
        else
            doc.setPlainText(found.body);
        QByteArray record = recordOf(doc, found.weather, found.mood);
        if (record.size() > diary_limits::kMaxRecordSize) {
            *refusal = import_text::entryTooLarge();
            return {};
        }
        entries.append({found.date, found.weather, found.mood, std::move(record), {fileName}});
    }
    return entries;
}

std::optional<Plan> readFiles(const QStringList &paths, Encoding encoding, const Progress &progress)
{
    Plan plan;
    QList<Entry> found;
    const qsizetype total = paths.size();
    for (qsizetype i = 0; i < total; ++i) {
        if (progress && !progress(i, total))
            return std::nullopt;
        const QString &path = paths[i];
        const files::ReadFile file = files::readRegularFile(path, kMaxFileSize);
        if (!file.ok()) {
            plan.refused.append({path, refusalOf(file)});
            continue;
        }
        QString refusal;
        const QList<Entry> entries = readSource(path, file.bytes, encoding, &refusal);
        if (!refusal.isEmpty())
            plan.refused.append({path, refusal});
        found += entries;
    }
    if (progress && !progress(total, total))
        return std::nullopt;

    std::stable_sort(found.begin(), found.end(),
                     [](const Entry &a, const Entry &b) { return a.date < b.date; });
    for (Entry &entry : found) {
        if (plan.entries.isEmpty() || plan.entries.back().date != entry.date) {
            plan.entries.append(std::move(entry));
            continue;
        }
        Entry &day = plan.entries.back();
        if (day.weather < 0)
            day.weather = entry.weather;
        if (day.mood < 0)
            day.mood = entry.mood;
        day.record = joinRecords(day.record, entry.record, day.weather, day.mood);
        day.sources += entry.sources;
    }
    return plan;
}

QByteArray appendRecord(const QByteArray &stored, const QByteArray &incoming)
{
    QTextDocument doc;
    const diary::EntryIndices kept = diary::loadRecord(stored, doc);
    appendBody(doc, incoming);
    return recordOf(doc, kept.weather, kept.mood);
}

Outcome apply(const Plan &plan, TArchiveWriter &writer, Existing existing, const DiaryKey *key,
              const Progress &progress)
{
    QList<diary::BatchEntry> batch;
    batch.reserve(plan.entries.size());
    QHash<QByteArray, QDate> dates;
    for (const Entry &entry : plan.entries) {
        const QByteArray name = gbk::encode(diary::entryName(entry.date));
        batch.append({name, entry.record});
        dates.insert(name, entry.date);
    }
    const diary::MergeRecord merge = [existing](const QByteArray &stored,
                                               const QByteArray &incoming) -> std::optional<QByteArray> {
        switch (existing) {
        case Existing::Skip:
            return std::nullopt;
        case Existing::Append:
            return appendRecord(stored, incoming);
        case Existing::Replace:
            return incoming;
        }
        return std::nullopt;
    };
    const diary::BatchOutcome stored = diary::storeEntries(writer, batch, merge, key, progress);

    Outcome outcome;
    outcome.cancelled = stored.cancelled;
    if (outcome.cancelled)
        return outcome;
    for (const QByteArray &name : stored.added)
        outcome.added.append(dates.value(name));
    for (const QByteArray &name : stored.merged)
        (existing == Existing::Append ? outcome.appended : outcome.replaced).append(dates.value(name));
    for (const QByteArray &name : stored.kept)
        outcome.skipped.append(dates.value(name));
    for (const auto &[name, problem] : stored.refused)
        outcome.refused.append({dates.value(name), problem});
    return outcome;
}

} // namespace diary_import
