#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

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

// The date an entry name stands for: the names entryName() makes, and no others (no leading
// zeros in month or day, no spaces, a real calendar day); an invalid QDate for every other name,
// such as the names other programs give their files.
QDate dateOfName(const QString &name);
// The date a name spells in any of the usual ways, for putting names in date order: the
// program's own (dateOfName), the same with leading zeros (2003年09月06日), and ISO with or
// without them (2003-09-04, 2003-9-4). An invalid date for anything else.
QDate dateOfAnyName(const QString &name);

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

// The index of a list word (the inverse of weatherWord and moodWord); -1 for any other text.
int weatherIndexOf(const QString &word);
int moodIndexOf(const QString &word);

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

// Why an entry cannot be shown or opened. An entry with a problem is still listed, under its
// name, and is never rewritten, changed or deleted on the program's own account.
enum class EntryProblem {
    None,
    WrongPassword,          // encrypted under another password (the check byte differs)
    Damaged,                // fails its CRC, does not inflate, or the record breaks off after
                            // its weather line (the mood line is no number)
    NotADiary,              // no diary record: its first line is no number (another program's
                            // file, an empty record) or the bytes are neither RTF nor text
    UnsupportedEncryption,  // encrypted by a method the reader does not know (AES, strong)
    UnknownMethod,          // compressed by a method the reader does not know
    TooLarge,               // larger than one entry may be
    Missing,                // no entry has the name (any more): only when opening by name
    NotSealed,              // in a private diary, an entry that is not sealed with its key
                            // (put there by another program: it may not be shown as the user's)
};

// The summary a row shows for an entry with that problem: 「无法读取：密码不同」 and so on.
// Empty for EntryProblem::None.
QString problemText(EntryProblem problem);
// The reason alone, as a message names it: 「密码不同」.
QString problemReason(EntryProblem problem);

// One row of the entry list.
struct ListRow {
    QByteArray nameBytes;   // the entry name as stored (GBK)
    QString name;           // the same, as shown
    QString weather;        // weather word, or empty
    QString mood;           // mood word, or empty
    // The body's plain text, paragraphs joined by CR LF, cut after kMaxSummaryLength
    // characters; for an entry with a problem, problemText(problem).
    QString summary;
    // The summary folded for search (foldForSearch, search.h), when the listing has made it;
    // null otherwise.
    QString folded;
    EntryProblem problem = EntryProblem::None;
    // The tags of the whole body (tags::tagsIn, tags/tag_words.h), also of the part beyond the
    // summary; empty for an entry with a problem.
    QStringList tags = {};

    bool readable() const { return problem == EntryProblem::None; }
};

// How much of a body a list row keeps: far more than the table shows of it, and enough for a
// search over the entries, while a diary of huge entries cannot fill the memory with rows.
constexpr qsizetype kMaxSummaryLength = 64 * 1024;

// The list row of a record stored under nameBytes. Throws what loadRecord throws, for the same
// records (it reads the record without building a document).
ListRow listRow(const QByteArray &nameBytes, const QByteArray &record);

// The row of an entry with a problem: its name, empty weather and mood, problemText() as the
// summary.
ListRow unreadableRow(const QByteArray &nameBytes, EntryProblem problem);

// The list row of a record, never throwing for what the record holds: a record that loadRecord
// would refuse gives the row of its problem (NotADiary when the bytes are no record or the first
// line is no number, Damaged when only the second line is no number). The summary is cut after
// kMaxSummaryLength characters, and no more of a record's text is decoded than that needs
// (richtext::summarizeRecordIfReadable): an index line longer than kMaxSummaryLength characters
// counts as no number. The row's tags are those of the whole body: a record whose body may
// reach beyond the summary is decoded once more, whole, for them.
ListRow listRowOf(const QByteArray &nameBytes, const QByteArray &record);

// EntryProblem::None when listRowOf() finds the record readable, else its problem. Where it
// finds none, loadRecord reads the record.
EntryProblem recordProblem(const QByteArray &record);

} // namespace diary
