#pragma once

#include "diary/entry.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Finding entries: a substring search over the entries' plain text with filters by weather,
// mood, date and tags.
//
// Text is compared folded (foldForSearch): case is ignored, and full-width and half-width forms,
// compatibility forms and the ideographic space match their plain forms, so "Rain" finds "rain"
// and "ＲＡＩＮ". Chinese needs no word splitting: a needle is found wherever its characters
// stand in a row. The text searched is the row's summary, which holds the first
// kMaxSummaryLength characters of the body (entry.h): a word beyond them is not found.
namespace diary {

// The text folded for comparison, character by character: each code point in its NFKC form,
// case-folded. When origins is given it receives, for each character of the result, the index
// in text of the character it came from, and one more element, text.size(), at the end.
QString foldForSearch(QStringView text, QList<qsizetype> *origins = nullptr);

// Where the needle occurs in text, compared folded: ranges [first, second) of text, in order,
// not overlapping. None for an empty needle (or one that folds to nothing).
QList<QPair<qsizetype, qsizetype>> findMatches(QStringView text, const QString &needle);

// What the user searches for. An empty text, a negative index and an invalid date leave that
// part open.
struct SearchQuery {
    QString text;
    int weather = -1;   // weather index
    int mood = -1;      // mood index
    QDate from;         // first day, inclusive
    QDate to;           // last day, inclusive
    // 那年今日: only the entries of this day's month and day in earlier years (onThisDay()).
    QDate onThisDay;
    // With onThisDay, these days match as well: the same lunar date in earlier years (a lunar
    // birthday), as the caller reckons them. Ascending.
    QList<QDate> lunarDays;
    // Tags without their "#": an entry matches when it carries every one (ListRow::tags,
    // compared by tags::tagKey).
    QStringList tags;

    // Takes what is typed into the search box: each tag in it (#旅行, tags/tag_words.h) is added
    // to tags, and the rest, the tags taken out and the blanks at either end trimmed, becomes the
    // text.
    void setSearchText(const QString &typed);

    // True when every part is open: every row matches.
    bool isOpen() const;

    bool operator==(const SearchQuery &) const = default;
};

// True when day falls on the month and day of today in an earlier year. A 29 February shows on
// 28 February of a year that has no 29 February (else it would not show for three years out of
// four); on 1 March only the entries of 1 March show.
bool onThisDay(const QDate &day, const QDate &today);

// The rows' text folded once, so that each query runs over all rows without folding again (a
// search as the user types). Holds a copy of each row's folded summary: about as much memory as
// the summaries themselves.
//
// A row matches when its folded summary holds the folded text, its weather and mood words are
// those of the indices asked for, and its entry name is a date (dateOfName) within the range
// (a name that is no date never matches a range), on today's day in an earlier year when the
// query asks for 那年今日, and carries every tag asked for. A row of an entry that cannot be read
// matches no text, weather, mood or tag: only an open query or a date range alone.
class SearchIndex
{
public:
    SearchIndex() = default;
    explicit SearchIndex(const QList<ListRow> &rows);

    // The indices into the rows given of the rows that match, ascending.
    QList<qsizetype> find(const SearchQuery &query) const;
    qsizetype size() const { return m_rows.size(); }
    // The characters held, all rows together (two bytes each).
    qsizetype heldCharacters() const;

private:
    struct Row {
        QString folded;
        QDate date;
        int weather = -1;
        int mood = -1;
        bool readable = false;
        QList<int> tags;   // into m_tagIds
    };
    bool rowMatches(const Row &row, const SearchQuery &query, const QString &needle,
                    const QList<int> &tags) const;

    QList<Row> m_rows;
    QHash<QString, int> m_tagIds;   // each tag's key, numbered as first met
    qsizetype m_held = 0;   // characters of all rows' folded text
};

} // namespace diary
