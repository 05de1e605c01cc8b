#pragma once

#include "diary/entry.h"

#include <QDate>
#include <QHash>
#include <QList>

// The orders the entry list can show its rows in: by any of its four columns, either way.
namespace diary {

// The list's columns, left to right.
enum class SortColumn { Date = 0, Weather = 1, Mood = 2, Summary = 3 };
constexpr int kSortColumnCount = 4;

struct RowOrder {
    SortColumn column = SortColumn::Date;
    bool descending = true;   // newest first, for the date

    bool operator==(const RowOrder &) const = default;
};

// Orders rows by their entry names read as dates (dateOfAnyName: other programs' spellings
// among the program's own), newest first when
// order.descending; names that are no dates come after all dates whichever way, in text order
// (QString::localeAwareCompare). By weather or mood: in the order of the word tables (晴 阴 雨
// 雪, 高兴 … 爱心), an empty word after the others, reversed when descending. By summary: in
// text order, reversed when descending. Rows equal in the column keep the date order, newest
// first. Rows equal in everything keep the order they had.
void sortRows(QList<ListRow> &rows, RowOrder order);

// The permutation that sortRows(rows, order) applies: result[k] is the index in rows of the row
// that comes k-th. For callers that keep rows of their own beside the list rows.
QList<qsizetype> sortedPositions(const QList<ListRow> &rows, RowOrder order);

// Each day the rows' names give (dateOfName) with the mood index of its row (moodIndexOf), -1 for
// a row that cannot be read; rows whose names are no dates are left out.
QHash<QDate, int> moodsByDay(const QList<ListRow> &rows);

// Orders rows as the list showed them before it knew dates, and as `quillbook-tool diary` prints
// them: by name, compared with QString::localeAwareCompare ("2003年10月5日" before
// "2003年9月26日"); rows of equal names keep their order.
void sortRowsByName(QList<ListRow> &rows);

} // namespace diary
