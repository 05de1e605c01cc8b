#include "tags/tag_counts.h"

#include "tags/tag_words.h"

#include <QHash>

#include <algorithm>

namespace tags {

QList<TagCount> countTags(const QList<diary::ListRow> &rows, const QDate &from, const QDate &to)
{
    const bool ranged = from.isValid() || to.isValid();
    QList<TagCount> counts;
    QHash<QString, qsizetype> at;
    for (const diary::ListRow &row : rows) {
        if (!row.readable() || row.tags.isEmpty())
            continue;
        const QDate date = diary::dateOfName(row.name);
        if (ranged && (!date.isValid() || (from.isValid() && date < from) || (to.isValid() && date > to)))
            continue;
        for (const QString &tag : row.tags) {
            const QString key = tagKey(tag);
            auto found = at.constFind(key);
            if (found == at.cend()) {
                found = at.insert(key, counts.size());
                counts.append({tag, key, 0, {}, {}});
            }
            TagCount &count = counts[*found];
            ++count.entries;
            if (date.isValid()) {
                if (!count.first.isValid() || date < count.first)
                    count.first = date;
                if (!count.last.isValid() || date > count.last)
                    count.last = date;
            }
        }
    }
    std::sort(counts.begin(), counts.end(), [](const TagCount &a, const TagCount &b) {
        if (a.entries != b.entries)
            return a.entries > b.entries;
        if (a.last != b.last)
            return a.last > b.last;
        return a.key < b.key;
    });
    return counts;
}

} // namespace tags
