#pragma once

#include "crypto/secret.h"
#include "platform/exception.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <array>

class QTextDocument;

// Templates: the formatted text a new, empty entry starts from, one for every day and, where the
// user wants one, one per weekday (周日：本周回顾). Placeholders in a template are filled when the
// entry is made: {日期} the date as the entry is named (2024年2月10日), {星期} the weekday
// (星期六), {农历} the full lunar date (农历甲辰年正月初一). A template changes nothing already
// written.
//
// Place: beside the diary, in its own folder, so it travels with the diary through a sync folder
// or a backup: ".templates/<diary>" (folder 0700, file 0600, created without following a link and
// replaced atomically, as drafts are), never an entry of the archive, where other ZIP tools and
// the listing would show it.
//
// File layout: a draft file (drafts.h) of the entry name kFileEntryName, so a private diary's
// templates are sealed with the diary key exactly as its drafts are (the old format's are stored
// as its entries are); the record it holds is, for each of the eight templates in turn (every
// day, then Monday … Sunday), 4 bytes of length (little-endian) and that many bytes of RTF (none
// for a template not set).
namespace templates {

class ETemplateError : public EInOutError { using EInOutError::EInOutError; };

// The name the template file's record is bound to.
inline constexpr char kFileEntryName[] = "templates";

// Each template as RTF (richtext::writeRtf of its document); empty where none is set.
struct Templates {
    QByteArray everyDay;
    std::array<QByteArray, 7> weekdays;   // [0] Monday … [6] Sunday

    bool isEmpty() const;
    // The template a new entry of that day starts from: its weekday's, else the every-day one;
    // empty when neither is set.
    QByteArray forDay(const QDate &date) const;
    bool operator==(const Templates &) const = default;
};

// The template file of the diary at archivePath.
QString pathOf(const QString &archivePath);

// The diary's templates; none when there is no file. key: the diary key of a private diary,
// null for the old format. Throws ETemplateError when the file is there and cannot be read or
// opened (damaged, or sealed under another key): it is never written over then, unless write()
// is asked to.
Templates read(const QString &archivePath, const DiaryKey *key);

// Stores the templates, replacing the file whole; an empty set removes the file. Throws
// ETemplateError when the folder or the file cannot be written (the file then stays as it was).
void write(const QString &archivePath, const Templates &templates, const DiaryKey *key);

// Seals the diary's templates anew when its format changes: read with from, written with to (a
// diary made private, or turned back). True when there is no file or it was written anew; false
// when the file does not open with from (it is then left as it is). Throws as write() does.
bool reseal(const QString &archivePath, const DiaryKey *from, const DiaryKey *to);

// Fills the placeholders in doc for date, keeping each placeholder's character format.
void fillPlaceholders(QTextDocument &doc, const QDate &date);

// The record of a new, empty entry of date (the weather and mood indices in front of the body,
// as diary::makeRecord makes it): the body is the day's template with its placeholders filled;
// empty bytes when no template applies, for the editor's own empty entry.
QByteArray newEntryRecord(const Templates &templates, const QDate &date, int weather = 0, int mood = 0);

} // namespace templates
