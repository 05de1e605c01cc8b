#include "diary/row_order.h"

#include <algorithm>
#include <limits>

namespace diary {

namespace {

// What a row is compared by, computed once per row rather than once per comparison.
struct SortKey {
    qint64 day;   // Julian day, or kNoDate
    int word;     // weather or mood index, the empty word after the table
};

constexpr qint64 kNoDate = std::numeric_limits<qint64>::max();

SortKey keyOf(const ListRow &row, SortColumn column)
{
    const QDate date = dateOfAnyName(row.name);
    SortKey key{date.isValid() ? date.toJulianDay() : kNoDate, 0};
    if (column == SortColumn::Weather) {
        const int index = weatherIndexOf(row.weather);
        key.word = index < 0 ? kWeatherCount : index;
    } else if (column == SortColumn::Mood) {
        const int index = moodIndexOf(row.mood);
        key.word = index < 0 ? kMoodCount : index;
    }
    return key;
}

// Date order: the dates in the given direction, then the other names in text order. -1, 0, 1.
int compareDates(const ListRow &a, const SortKey &ka, const ListRow &b, const SortKey &kb,
                 bool descending)
{
    const bool aDate = ka.day != kNoDate;
    const bool bDate = kb.day != kNoDate;
    if (aDate != bDate)
        return aDate ? -1 : 1;
    if (!aDate) {
        const int c = QString::localeAwareCompare(a.name, b.name);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    if (ka.day == kb.day)
        return 0;
    return (ka.day < kb.day) != descending ? -1 : 1;
}

} // namespace

QList<qsizetype> sortedPositions(const QList<ListRow> &rows, RowOrder order)
{
    QList<SortKey> keys;
    keys.reserve(rows.size());
    for (const ListRow &row : rows)
        keys.append(keyOf(row, order.column));
    QList<qsizetype> positions(rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i)
        positions[i] = i;
    const auto before = [&](qsizetype i, qsizetype j) {
        const ListRow &a = rows[i];
        const ListRow &b = rows[j];
        int c = 0;
        switch (order.column) {
        case SortColumn::Date:
            return compareDates(a, keys[i], b, keys[j], order.descending) < 0;
        case SortColumn::Weather:
        case SortColumn::Mood:
            c = keys[i].word < keys[j].word ? -1 : keys[i].word > keys[j].word ? 1 : 0;
            break;
        case SortColumn::Summary:
            c = QString::localeAwareCompare(a.summary, b.summary);
            break;
        }
        if (c != 0)
            return order.descending ? c > 0 : c < 0;
        return compareDates(a, keys[i], b, keys[j], true) < 0;
    };
    std::stable_sort(positions.begin(), positions.end(), before);
    return positions;
}

void sortRows(QList<ListRow> &rows, RowOrder order)
{
    const QList<qsizetype> positions = sortedPositions(rows, order);
    QList<ListRow> sorted;
    sorted.reserve(rows.size());
    for (const qsizetype i : positions)
        sorted.append(std::move(rows[i]));
    rows = std::move(sorted);
}

QHash<QDate, int> moodsByDay(const QList<ListRow> &rows)
{
    QHash<QDate, int> moods;
    moods.reserve(rows.size());
    for (const ListRow &row : rows) {
        const QDate day = dateOfName(row.name);
        if (day.isValid())
            moods.insert(day, row.readable() ? moodIndexOf(row.mood) : -1);
    }
    return moods;
}

void sortRowsByName(QList<ListRow> &rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const ListRow &a, const ListRow &b) {
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });
}

} // namespace diary
