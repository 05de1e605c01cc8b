#pragma once

#include "import/package.h"
#include "import/source_reader.h"

#include <QJsonArray>
#include <QJsonObject>

// The readers of other diary programs' exports and of office documents, one file each, all
// giving a Reading (source_reader.h). source_dispatch.cpp decides which one reads a source.
namespace diary_import {

// ---- jrnl (jrnl_reader.cpp) ----

// Whether a text is a jrnl journal: its first line that is not blank begins an entry.
bool looksLikeJrnlText(const QString &text);
// Entries begin at the start of a line with "[TIME] ", TIME in any of the usual forms of a
// journal's time format: the date as 2013-06-09, 2013/06/09, 2013.06.09 or 09.06.2013, then
// optionally the time as 15:39, 15:39:07, 03:39 PM or 03:39:07 pm. The title is the first
// sentence (up to ".", "?" or "!" before a blank, else the first line); " *" right after it
// stars the entry; the rest is the body. Words beginning with "@" are tags.
Reading readJrnlText(const QString &text);
// jrnl's JSON export: {"tags": {…}, "entries": [{"title", "body", "date", "time", "tags",
// "starred"}]}.
bool looksLikeJrnlJson(const QJsonObject &root);
Reading readJrnlJson(const QJsonObject &root);

// ---- Day One (day_one_reader.cpp) ----

// A journal of Day One's JSON export: {"metadata": {"version"}, "entries": [{"creationDate",
// "timeZone", "text", "tags", "starred", "location", "weather", "photos"}]}.
bool looksLikeDayOneJson(const QJsonObject &root);
// The journals (JSON files) of an export, with their photos in photos/MD5.TYPE of the package.
// An entry's day is its creation time in its own time zone (the system's when it names none).
Reading readDayOne(const Package &package, const QStringList &journals);
// Day One's plain-text export: entries begin with a line "\tDate:\t28 June 2017 at 23:38:37
// GMT+8" (more "\tKey:\tValue" lines may follow), a blank line, then the text.
bool looksLikeDayOneText(const QString &text);
Reading readDayOneText(const QString &text);

// ---- RedNotebook (rednotebook_reader.cpp) ----

// A month file's name: "2019-01.txt".
bool isRedNotebookMonthName(const QString &fileName);
// Whether a folder holds RedNotebook's month files.
bool isRedNotebookFolder(const QString &folder);
// The days of every month file of the data folder. A month file that is no YAML refuses the
// whole folder (naming the file, line and column).
Reading readRedNotebook(const QString &folder);
// The days of one month file's bytes, added to reading; pictures are read from the paths the
// text names. False, with reading.refusal set, when the bytes are no month file.
bool readRedNotebookMonth(const QByteArray &bytes, const QString &fileName, Reading &reading);
// txt2tags as RedNotebook writes it, as HTML: **bold**, //italic//, __underline__, --strike--,
// ``code``, = title = headings, "- " and "+ " lists, [label URL] links, pictures
// [""/path/name"".jpg] (their paths, as the src, appended to *pictures). Every line of the
// text is a paragraph of its own.
QString txt2tagsToHtml(const QString &text, QStringList *pictures);

// ---- Mini Diary and Mini Diarium (mini_diary_reader.cpp) ----

// {"metadata": {"application": "Mini Diary"}, "entries": {"2019-01-01": {"title", "text"}}}.
bool looksLikeMiniDiary(const QJsonObject &root);
Reading readMiniDiary(const QJsonObject &root);
// {"metadata": {"application": "Mini Diarium"}, "entries": [{"date", "title", "text": HTML}]}.
bool looksLikeMiniDiarium(const QJsonObject &root);
Reading readMiniDiarium(const QJsonObject &root);

// ---- Diarium (diarium_reader.cpp) ----

// [{"date": "2010-10-26T15:47:53.48828", "heading", "html", "tags", "location": [lat, lon]}],
// the date in local time.
bool looksLikeDiarium(const QJsonArray &root);
Reading readDiarium(const QJsonArray &root);

// ---- Journey (journey_reader.cpp) ----

// One entry of Journey: {"date_journal": ms, "timezone", "text", "type", "mood", "tags",
// "weather": {"degree_c", "description"}, "photos": [names], "address", "favourite"}.
bool looksLikeJourney(const QJsonObject &root);
// The entries (JSON files) of the package, each with its photos beside it.
Reading readJourney(const Package &package, const QStringList &entries);

// ---- Office documents (odf_reader.cpp, docx_reader.cpp) ----

// An ODF text document (LibreOffice, and this program's ODF export) and an Office Open XML
// one (Word, LibreOffice) as HTML blocks: each paragraph, list and table of the body with its
// plain text, and the pictures by the names the HTML gives them. Nothing, with *refusal set,
// when the package is no such document.
struct OfficeDocument {
    struct Block {
        QString html;
        QString text;            // a paragraph's plain text; empty for a list or table
        bool paragraph = false;
    };
    QList<Block> blocks;
    QHash<QString, QByteArray> pictures;
};
std::optional<OfficeDocument> readOdf(const Package &package, QString *refusal);
std::optional<OfficeDocument> readDocx(const Package &package, QString *refusal);
// The entries of a document: one of namedDay when that is valid, else one under each dated
// heading (a paragraph beginning "YYYY-MM-DD", as this program's exports and other text),
// read as splitText reads text.
Reading readOfficeDocument(const OfficeDocument &document, const QString &format, const QDate &namedDay);

} // namespace diary_import
