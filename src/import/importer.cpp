#include "import/importer.h"

#include "archive/archive_writer.h"
#include "diary/entry.h"
#include "import/entry_assembly.h"
#include "import/messages.h"
#include "import/picture_links.h"
#include "import/readers.h"
#include "import/source_dispatch.h"
#include "platform/gbk.h"
#include "richtext/messages.h"
#include "richtext/rich_text.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QUrl>
#include <QFile>
#include <QFileInfo>
#include <QHash>
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
    appendDocument(doc, addition);
}

// stored's body, then incoming's, under these indices.
QByteArray joinRecords(const QByteArray &stored, const QByteArray &incoming, int weather, int mood)
{
    QTextDocument doc;
    diary::loadRecord(stored, doc);
    appendBody(doc, incoming);
    return recordOf(doc, weather, mood);
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

// The pictures a Markdown file links, taken from the files beside it (the form the export
// writes): each becomes the entry's own picture. A link to anything else (a web address, a
// missing file, no image, anything but a regular file) is left out, as the entry could not show
// it. False, the rest left out, once the pictures are more than an entry may hold.
bool takeLinkedPictures(QTextDocument &doc, const QDir &folder)
{
    // Twice its bytes in the record (RTF hex): once the pictures are more than an entry may
    // hold, the rest are not read.
    qint64 taken = 0;
    bool tooMany = false;
    takePictures(doc, [&folder, &taken, &tooMany](const QString &name) -> std::optional<QByteArray> {
        const QUrl url(name);
        if (tooMany || (!url.isRelative() && !url.isLocalFile()))
            return std::nullopt;
        QByteArray bytes;
        QString refusal;
        if (!readInputFile(url.isLocalFile() ? url.toLocalFile() : folder.filePath(url.path(QUrl::FullyDecoded)),
                           kMaxFileSize, &bytes, &refusal))
            return std::nullopt;
        if ((taken += 2 * qint64(bytes.size())) > diary_limits::kMaxRecordSize) {
            tooMany = true;
            return std::nullopt;
        }
        return bytes;
    });
    return !tooMany;
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
    // How often a long export asks the progress again: often enough for a window to answer.
    constexpr qint64 kProgressEveryMs = 50;
    Plan plan;
    QList<Entry> found;
    QSet<QString> covered;   // folders read whole
    const qsizetype total = paths.size();
    for (qsizetype i = 0; i < total; ++i) {
        if (progress && !progress(i, total))
            return std::nullopt;
        const QString &path = paths[i];
        const QFileInfo info(path);
        std::optional<Reading> reading;
        if (info.isDir()) {
            if (covered.contains(QDir(path).absolutePath()))
                continue;
            reading = readDiaryFolder(path);
        } else {
            if (covered.contains(info.absolutePath()) && isRedNotebookMonthName(info.fileName()))
                continue;
            QByteArray bytes;
            QString refusal;
            if (!readInputFile(path, readLimitFor(path), &bytes, &refusal)) {
                plan.refused.append({path, refusal});
                continue;
            }
            reading = readDiaryExport(path, bytes, encoding);
            if (!reading) {
                const QList<Entry> entries = readSource(path, bytes, encoding, &refusal);
                if (!refusal.isEmpty())
                    plan.refused.append({path, refusal});
                found += entries;
                continue;
            }
        }
        if (!reading->refusal.isEmpty()) {
            plan.refused.append({path, reading->refusal});
            continue;
        }
        // A folder read whole (from one of its files) is what the summary names.
        const QString source = reading->covers.isEmpty() ? path : reading->covers;
        if (!reading->covers.isEmpty())
            covered.insert(reading->covers);
        QElapsedTimer asked;
        asked.start();
        const std::optional<Assembled> assembled = assemble(*reading, source, [&] {
            if (!progress || asked.elapsed() < kProgressEveryMs)
                return true;
            asked.restart();
            return progress(i, total);
        });
        if (!assembled)
            return std::nullopt;
        plan.sources.append(assembled->summary);
        for (const SkippedItem &skipped : assembled->skipped)
            plan.skipped.append({source, import_text::skippedLine(skipped.place, skipped.reason)});
        found += assembled->entries;
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
