#include "stats/mood_links.h"

#include "tags/tag_counts.h"
#include "tags/tag_words.h"

#include <QHash>

#include <algorithm>

namespace stats {

const MoodLink *MoodLinks::cell(int mood, Factor factor, int value) const
{
    for (const MoodLink &link : cells) {
        if (link.mood == mood && link.factor == factor && link.value == value)
            return &link;
    }
    return nullptr;
}

QList<MoodLink> MoodLinks::notable(double minRatio) const
{
    QList<MoodLink> found;
    for (const MoodLink &link : cells) {
        if (link.ratio >= minRatio)
            found.append(link);
    }
    std::stable_sort(found.begin(), found.end(), [](const MoodLink &a, const MoodLink &b) {
        if (a.ratio != b.ratio)
            return a.ratio > b.ratio;
        return a.days > b.days;
    });
    return found;
}

MoodLinks moodLinks(const Figures &figures, const QList<diary::ListRow> &rows)
{
    MoodLinks links;
    // Counts per factor value: [value][mood], and the value's days.
    std::array<std::array<int, diary::kMoodCount>, diary::kWeatherCount> byWeather{};
    std::array<int, diary::kWeatherCount> weatherDays{};
    std::array<std::array<int, diary::kMoodCount>, 7> byWeekday{};
    std::array<int, 7> weekdayDays{};

    QList<diary::ListRow> counted;   // the tags of the days counted, for the tag counts
    for (const Day &day : figures.days) {
        if (!day.readable || day.mood < 0 || day.mood >= diary::kMoodCount || day.row < 0 || day.row >= rows.size())
            continue;
        ++links.days;
        ++links.moodDays[size_t(day.mood)];
        if (day.weather >= 0 && day.weather < diary::kWeatherCount) {
            ++byWeather[size_t(day.weather)][size_t(day.mood)];
            ++weatherDays[size_t(day.weather)];
        }
        const int weekday = day.date.dayOfWeek() - 1;
        ++byWeekday[size_t(weekday)][size_t(day.mood)];
        ++weekdayDays[size_t(weekday)];
        if (!rows[day.row].tags.isEmpty())
            counted.append(rows[day.row]);
    }
    if (links.days == 0)
        return links;

    QHash<QString, int> tagIndex;
    for (const tags::TagCount &count : tags::countTags(counted)) {
        if (count.entries < kMinDaysInCell)
            break;
        tagIndex.insert(count.key, int(links.tags.size()));
        links.tags.append(count.tag);
    }
    QList<std::array<int, diary::kMoodCount>> byTag(links.tags.size());
    QList<int> tagDays(links.tags.size(), 0);
    for (const diary::ListRow &row : std::as_const(counted)) {
        const int mood = diary::moodIndexOf(row.mood);
        for (const QString &tag : row.tags) {
            const auto found = tagIndex.constFind(tags::tagKey(tag));
            if (found == tagIndex.cend())
                continue;
            ++tagDays[*found];
            ++byTag[*found][size_t(mood)];
        }
    }

    const auto add = [&](Factor factor, int value, const std::array<int, diary::kMoodCount> &moods, int factorDays) {
        for (int mood = 0; mood < diary::kMoodCount; ++mood) {
            const int days = moods[size_t(mood)];
            if (days < kMinDaysInCell)
                continue;
            const double overall = double(links.moodDays[size_t(mood)]) / links.days;
            links.cells.append({mood, factor, value, days, factorDays, (double(days) / factorDays) / overall});
        }
    };
    for (int w = 0; w < diary::kWeatherCount; ++w)
        add(Factor::Weather, w, byWeather[size_t(w)], weatherDays[size_t(w)]);
    for (int d = 0; d < 7; ++d)
        add(Factor::Weekday, d + 1, byWeekday[size_t(d)], weekdayDays[size_t(d)]);
    for (int t = 0; t < links.tags.size(); ++t)
        add(Factor::Tag, t, byTag[t], tagDays[t]);
    return links;
}

} // namespace stats
