#pragma once

#include "crypto/secret.h"
#include "diary/entry.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QPageSize>
#include <QString>

#include <functional>

class QTextDocument;
class QTextImageFormat;
class TArchiveReader;

// Exporting a diary: the chosen entries, in date order, written as plain text, Markdown, HTML,
// PDF or ODF text. No widgets; needs a QGuiApplication (fonts, text layout).
//
// The file formats (headings, meta lines, the HTML's article markup) are the ones the importer
// reads back; each writer's comment in diary_export.cpp shows its form.
//
// Errors: EExportWrite (export_errors.h) when the output cannot be written, and the container's
// and the book's errors when the diary cannot be read (diary_book.h). An entry that cannot be
// read is not an error: it is left out and reported in ExportReport::skipped, and so is an entry
// whose name is no date. Every output file is written beside its place and renamed into it once
// complete, so a failed or cancelled export never leaves a half-written file under the name
// (a per-entry Markdown export keeps the files of the entries before the cancel).
namespace diary_export {

enum class Format { Text, Markdown, Html, Pdf, Odf };

// The format a command-line or file-dialog word names ("txt", "md", "html", "pdf", "odt");
// false for any other word.
bool formatOf(const QString &word, Format &format);
// The file name suffix of the format, without the dot.
QString suffixOf(Format format);

struct Selection {
    enum class Kind { All, DateRange, Names };
    Kind kind = Kind::All;
    QDate from;                  // DateRange: either end may be invalid (open)
    QDate to;
    QList<QByteArray> names;     // Names: entry names as stored
};

struct Options {
    Format format = Format::Html;
    QString diaryName;           // in the title; the archive's file name when empty
    bool perEntry = false;       // Markdown: one file per entry, OUT/yyyy/yyyy-MM-dd.md
    QPageSize pageSize = QPageSize(QPageSize::A4);   // PDF
};

struct Skipped {
    QString name;
    QString reason;
};

struct ExportReport {
    int exported = 0;
    QList<Skipped> skipped;      // chosen entries left out, with why
    bool cancelled = false;
    QStringList files;           // the files written
    int pictures = 0;            // picture files written beside Markdown
    QString picturesFolder;      // where, for Markdown in one file; empty for a file per entry
};

// Called before each entry and once at the end (done == total); returning false cancels.
using Progress = std::function<bool(int done, int total)>;

// The chosen entries' names with their dates, in date order; the first entry of each name only.
// Names that are no date are left out and reported in *skipped.
struct Chosen {
    QByteArray nameBytes;
    QDate date;
};
QList<Chosen> chooseEntries(TArchiveReader &reader, const Selection &selection,
                            QList<Skipped> *skipped = nullptr);

// Exports the chosen entries of the diary that reader names (key for a private diary) to out: a
// file, or for a per-entry Markdown export a folder (made when missing). Text, Markdown and HTML
// are written entry by entry, one entry's document in memory at a time. PDF and ODF build one
// document of every chosen entry before writing it: about three times the entries' text as
// memory, plus their pictures.
ExportReport exportDiary(TArchiveReader &reader, const DiaryKey *key, const Selection &selection,
                         const Options &options, const QString &out, const Progress &progress = {});

// The heading of an entry of that date: "2003-09-26（星期五）".
QString headingOf(const QDate &date);
// The meta line of weather and mood words: "天气：晴　心情：高兴", a part whose word is empty
// left out; empty when both are.
QString metaLineOf(const QString &weather, const QString &mood);

// The body's plain text with LF line ends (paragraphs and line breaks inside one), pictures left
// out; a table row is one line, its cells separated by tabs (richtext::documentLines).
QString plainTextOf(const QTextDocument &body);
// Where Markdown links a picture of the body: the link's target, or empty to leave it out.
using PictureLink = std::function<QString(const QTextImageFormat &)>;
// The body as GitHub Markdown, a line that would read as a heading escaped (\#); its pictures
// linked as link says, or left out; a table as a pipe table (its first row the heading row, a
// cell's paragraphs joined by <br>), which the import reads back as a table.
QString markdownOf(const QTextDocument &body, const PictureLink &link = {});

} // namespace diary_export
