#pragma once

#include "diary/diary_book.h"
#include "import/input_file.h"
#include "import/text_sources.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class TArchiveWriter;

// Importing entries into a diary, in two steps: reading files into a plan (dated entries as
// records, and the files refused with their reasons), then applying the plan to the diary in one
// atomic rewrite. Needs a QGuiApplication (documents); never touches widgets.
namespace diary_import {

// One day to import: its record (weather and mood indices, -1 when the source gives none, then
// the body), and the files it came from.
struct Entry {
    QDate date;
    int weather = -1;
    int mood = -1;
    QByteArray record;
    QStringList sources;
};

struct Refused {
    QString path;
    QString reason;   // import_text (messages.h)
};

// What was read of one file (or folder) of another diary program, for the summary.
struct SourceSummary {
    QString path;
    QString format;              // import_text: 「Day One 导出」
    int items = 0;               // entries read from it
    int days = 0;                // the days they fall on
    int multiDays = 0;           // days with more than one of them
    int pictures = 0;
};

// Entries in date order, one per day: the days several sources give are joined in the order
// the files were given (and, within a file, in its order), each body after the one before, the
// first weather and mood that is given kept.
struct Plan {
    QList<Entry> entries;
    QList<Refused> refused;
    // The files of other diary programs, in the order given, and the entries of them that are
    // not imported (path: the file; reason: where in it, and why).
    QList<SourceSummary> sources;
    QList<Refused> skipped;
};

// Told how much of total has been done; false stops the work.
using Progress = std::function<bool(qsizetype done, qsizetype total)>;

// The entries of one file's bytes (fileName gives the day and the kind, kindOf): text and
// Markdown decoded as encoding says, RTF read by the program's RTF reader in whatever code page
// it names, HTML as this program exports it. Empty with *refusal set when the file gives none:
// then nothing of it is to be imported. Never throws for what the bytes hold.
QList<Entry> readSource(const QString &fileName, const QByteArray &bytes, Encoding encoding,
                        QString *refusal);

// Reads the files into a plan. The exports of other diary programs and office documents are
// recognised by their form (source_dispatch.h), a folder as such an export too (RedNotebook's
// data folder, an unpacked Day One or Journey export); every other file is read by readSource.
// Every file is read through files::readRegularFile: only regular files are read (a device, a
// FIFO, a folder, a symbolic link is refused unread); the pictures a text links are read the
// same way. A file that cannot be opened, is not a regular file, is larger than kMaxFileSize
// (kMaxPackageSize for a .zip, .odt or .docx), gives an entry larger than an entry may hold
// (diary/record_limit.h: the readers stop there) or that its reader refuses is listed in Plan::refused with its reason; an entry of
// an export that cannot be imported is listed in Plan::skipped. The progress is told of each
// file, and asked again between the entries of an export; nullopt when it said stop.
std::optional<Plan> readFiles(const QStringList &paths, Encoding encoding, const Progress &progress = {});

// A record holding the body of stored followed by the body of incoming, from a new paragraph
// on, with stored's weather and mood. Throws what diary::loadRecord throws.
QByteArray appendRecord(const QByteArray &stored, const QByteArray &incoming);

// What to do with a day that already has an entry.
enum class Existing { Skip, Append, Replace };

struct Outcome {
    bool cancelled = false;   // nothing was written
    QList<QDate> added;
    QList<QDate> appended;
    QList<QDate> replaced;
    QList<QDate> skipped;
    // Days whose stored entry cannot be read: left as they are.
    QList<QPair<QDate, diary::EntryProblem>> refused;
};

// Stores the plan's entries in the diary the writer names (diary::storeEntries: one atomic
// rewrite under the folder lock, a version kept before it, every entry sealed in a private
// diary), each under the entry name of its day; a day with an entry is skipped, appended to
// (appendRecord) or replaced, as existing says. The progress is told of each entry prepared and
// may stop before the rewrite: then nothing is written. Throws what storeEntries throws.
Outcome apply(const Plan &plan, TArchiveWriter &writer, Existing existing,
              const DiaryKey *key = nullptr, const Progress &progress = {});

} // namespace diary_import
