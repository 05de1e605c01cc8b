#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include <functional>

class QTextDocument;

// One diary entry: its name (the date it belongs to), the words its two index lines stand for,
// and its record (the uncompressed bytes of an archive entry).
//
// A record is RTF (or, from older writers, plain GBK text) whose first paragraph is the weather
// index and whose second is the mood index, both as decimal text; every further paragraph is the
// body.
namespace diary {

// ---- names ----

// The entry name of a date: "yyyy年m月d日", the year in four digits, month and day without
// leading zeros ("2003年9月26日", "2003年10月5日"). Stored in the archive as its GBK bytes.
QString entryName(const QDate &date);

// The local calendar date, read from the clock the diary uses: the system clock unless a test
// has set another. An empty function sets the system clock again.
using Clock = std::function<QDate()>;
void setClock(Clock clock);
QDate today();

// ---- words ----

constexpr int kWeatherCount = 4;
constexpr int kMoodCount = 8;

// The word the list shows for a weather index (0 "晴" … 3 "雪") or a mood index (0 "高兴" …
// 7 "爱心"); empty for an index outside the table.
QString weatherWord(int index);
QString moodWord(int index);

// ---- records ----

struct EntryIndices {
    int weather = 0;
    int mood = 0;
};

// Loads a record into doc the way the write page holds an open entry: the body alone, the two
// index lines parsed and taken out (weather first). Throws ELoadStreamError "Failed to Load
// Stream" for bytes that are no record, and EConvertError "'<line>' is not a valid integer
// value" for an index line that is not a decimal integer; doc then holds whatever had been
// loaded up to that point.
EntryIndices loadRecord(const QByteArray &record, QTextDocument &doc);

// The record of a body with its two indices (the document itself is not changed).
QByteArray makeRecord(const QTextDocument &body, int weather, int mood);

// One row of the entry list.
struct ListRow {
    QByteArray nameBytes;   // the entry name as stored (GBK)
    QString name;           // the same, as shown
    QString weather;        // weather word, or empty
    QString mood;           // mood word, or empty
    QString summary;        // the body's plain text, paragraphs joined by CR LF
};

// The list row of a record stored under nameBytes. Throws what loadRecord throws, for the same
// records (it reads the record without building a document).
ListRow listRow(const QByteArray &nameBytes, const QByteArray &record);

} // namespace diary
