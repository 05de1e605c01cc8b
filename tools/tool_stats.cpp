// quillbook-tool stats ARCHIVE [--year Y] [--json]: the figures the statistics page shows, from
// one listing of the diary (the rows of quillbook-tool diary): entries, runs of consecutive
// days, characters, and the entries, characters, moods and weathers of each month of one year
// (Y, or the page's default: this year when it has entries, else the latest entry's year), the
// tags (of all entries and of the year: tag, entries, first and last day) and how often each
// mood falls on a weather, weekday or tag against how often overall (stats/mood_links.h).
// Text lines in UTF-8, or one JSON object with --json. Entries that cannot be read, names that
// are no date and second entries of a day are counted apart, as figures; the status is 0 all the
// same. A private diary is opened with its password as `diary` opens it (a wrong one is status
// 2); an error of the archive is status 2 after nothing has been printed.

#include "commands.h"

#include "accounts/messages.h"
#include "archive/archive_reader.h"
#include "diary/diary_book.h"
#include "stats/diary_stats.h"
#include "stats/mood_links.h"
#include "tags/tag_counts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <cmath>
#include <optional>

namespace {

const QString kUsage = QStringLiteral("stats ARCHIVE [--year Y] [--json]");

QString isoDate(const QDate &date)
{
    return date.isValid() ? date.toString(Qt::ISODate) : QStringLiteral("-");
}

QJsonValue jsonDate(const QDate &date)
{
    return date.isValid() ? QJsonValue(date.toString(Qt::ISODate)) : QJsonValue();
}

QString streakText(const stats::Streak &streak)
{
    if (streak.length == 0)
        return QStringLiteral("0 days");
    return QStringLiteral("%1 days (%2 to %3)").arg(streak.length).arg(isoDate(streak.first), isoDate(streak.last));
}

QJsonObject streakJson(const stats::Streak &streak)
{
    return {{QStringLiteral("days"), streak.length},
            {QStringLiteral("first"), jsonDate(streak.first)},
            {QStringLiteral("last"), jsonDate(streak.last)}};
}

QString weekdayName(int day)
{
    return day > 0 ? QLocale::c().dayName(day) : QStringLiteral("-");
}

// The words as the list shows them; "other" for rows whose word is none of the table's.
QString moodName(int i)
{
    return i < diary::kMoodCount ? diary::moodWord(i) : QStringLiteral("other");
}
QString weatherName(int i)
{
    return i < diary::kWeatherCount ? diary::weatherWord(i) : QStringLiteral("other");
}

QJsonObject tallyJson(const stats::Tally &tally)
{
    QJsonObject moods;
    for (int i = 0; i < stats::kMoodSlots; ++i)
        moods.insert(moodName(i), tally.moods[i]);
    QJsonObject weathers;
    for (int i = 0; i < stats::kWeatherSlots; ++i)
        weathers.insert(weatherName(i), tally.weathers[i]);
    QJsonArray weekdays;
    for (int count : tally.weekdays)
        weekdays.append(count);
    return {{QStringLiteral("entries"), tally.entries},
            {QStringLiteral("characters"), tally.characters},
            {QStringLiteral("charactersPerEntry"), tally.averageCharacters()},
            {QStringLiteral("moods"), moods},
            {QStringLiteral("weathers"), weathers},
            {QStringLiteral("weekdays"), weekdays},
            {QStringLiteral("busiestWeekday"), tally.busiestWeekday()}};
}

QJsonArray tagsJson(const QList<tags::TagCount> &counts)
{
    QJsonArray out;
    for (const tags::TagCount &count : counts) {
        out.append(QJsonObject{{QStringLiteral("tag"), count.tag},
                               {QStringLiteral("entries"), count.entries},
                               {QStringLiteral("first"), jsonDate(count.first)},
                               {QStringLiteral("last"), jsonDate(count.last)}});
    }
    return out;
}

QString factorKind(stats::Factor factor)
{
    switch (factor) {
    case stats::Factor::Weather:
        return QStringLiteral("weather");
    case stats::Factor::Weekday:
        return QStringLiteral("weekday");
    case stats::Factor::Tag:
        break;
    }
    return QStringLiteral("tag");
}

QJsonValue factorValue(const stats::MoodLinks &links, const stats::MoodLink &link)
{
    switch (link.factor) {
    case stats::Factor::Weather:
        return diary::weatherWord(link.value);
    case stats::Factor::Weekday:
        return link.value;
    case stats::Factor::Tag:
        break;
    }
    return links.tags.value(link.value);
}

QJsonObject moodLinksJson(const stats::MoodLinks &links)
{
    QJsonArray cells;
    for (const stats::MoodLink &link : links.cells) {
        cells.append(QJsonObject{{QStringLiteral("mood"), diary::moodWord(link.mood)},
                                 {QStringLiteral("factor"), factorKind(link.factor)},
                                 {QStringLiteral("value"), factorValue(links, link)},
                                 {QStringLiteral("days"), link.days},
                                 {QStringLiteral("factorDays"), link.factorDays},
                                 {QStringLiteral("ratio"), std::round(link.ratio * 100) / 100}});
    }
    QJsonObject moods;
    for (int i = 0; i < diary::kMoodCount; ++i)
        moods.insert(diary::moodWord(i), links.moodDays[size_t(i)]);
    return {{QStringLiteral("days"), links.days},
            {QStringLiteral("minimumDays"), stats::kMinDaysInCell},
            {QStringLiteral("moodDays"), moods},
            {QStringLiteral("cells"), cells}};
}

struct Extra {
    QList<tags::TagCount> tags;
    QList<tags::TagCount> yearTags;
    stats::MoodLinks links;
};

QByteArray asJson(const stats::Figures &figures, const stats::YearFigures &year, const Extra &extra)
{
    QJsonObject all = tallyJson(figures.total);
    all.insert(QStringLiteral("unreadable"), figures.unreadable);
    all.insert(QStringLiteral("undated"), figures.undated);
    all.insert(QStringLiteral("repeated"), figures.repeated);
    all.insert(QStringLiteral("first"), jsonDate(figures.first));
    all.insert(QStringLiteral("latest"), jsonDate(figures.latest));
    all.insert(QStringLiteral("currentStreak"), streakJson(figures.current));
    all.insert(QStringLiteral("longestStreak"), streakJson(figures.longest));
    QJsonArray years;
    for (const stats::YearFigures &one : figures.years) {
        years.append(QJsonObject{{QStringLiteral("year"), one.year},
                                 {QStringLiteral("entries"), one.total.entries},
                                 {QStringLiteral("characters"), one.total.characters}});
    }
    all.insert(QStringLiteral("years"), years);
    all.insert(QStringLiteral("tags"), tagsJson(extra.tags));
    all.insert(QStringLiteral("moodLinks"), moodLinksJson(extra.links));

    QJsonObject shown = tallyJson(year.total);
    shown.insert(QStringLiteral("year"), year.year);
    shown.insert(QStringLiteral("longestStreak"), streakJson(year.longest));
    QJsonArray months;
    for (int m = 0; m < 12; ++m) {
        QJsonObject month = tallyJson(year.months[m]);
        month.insert(QStringLiteral("month"), m + 1);
        months.append(month);
    }
    shown.insert(QStringLiteral("months"), months);
    shown.insert(QStringLiteral("tags"), tagsJson(extra.yearTags));
    all.insert(QStringLiteral("year"), shown);
    return QJsonDocument(all).toJson(QJsonDocument::Indented);
}

QByteArray asText(const stats::Figures &figures, const stats::YearFigures &year, const Extra &extra)
{
    QStringList lines = {
        QStringLiteral("entries: %1").arg(figures.total.entries),
        QStringLiteral("unreadable entries: %1").arg(figures.unreadable),
        QStringLiteral("entries not named by a date: %1").arg(figures.undated),
        QStringLiteral("second entries of a day: %1").arg(figures.repeated),
        QStringLiteral("first entry: %1").arg(isoDate(figures.first)),
        QStringLiteral("latest entry: %1").arg(isoDate(figures.latest)),
        QStringLiteral("current streak: %1").arg(streakText(figures.current)),
        QStringLiteral("longest streak: %1").arg(streakText(figures.longest)),
        QStringLiteral("characters: %1").arg(figures.total.characters),
        QStringLiteral("characters per entry: %1").arg(figures.total.averageCharacters()),
        QStringLiteral("weekday written most: %1").arg(weekdayName(figures.total.busiestWeekday())),
        QString(),
        QStringLiteral("year\tentries\tcharacters"),
    };
    for (const stats::YearFigures &one : figures.years)
        lines.append(QStringLiteral("%1\t%2\t%3").arg(one.year).arg(one.total.entries).arg(one.total.characters));
    lines += {
        QString(),
        QStringLiteral("year %1").arg(year.year),
        QStringLiteral("entries: %1").arg(year.total.entries),
        QStringLiteral("characters: %1").arg(year.total.characters),
        QStringLiteral("characters per entry: %1").arg(year.total.averageCharacters()),
        QStringLiteral("longest streak: %1").arg(streakText(year.longest)),
        QStringLiteral("weekday written most: %1").arg(weekdayName(year.total.busiestWeekday())),
    };
    QStringList weekdays;
    for (int d = 0; d < 7; ++d)
        weekdays.append(QStringLiteral("%1 %2").arg(QLocale::c().dayName(d + 1, QLocale::ShortFormat)).arg(year.total.weekdays[d]));
    lines.append(QStringLiteral("weekdays: ") + weekdays.join(QStringLiteral(", ")));

    QStringList header = {QStringLiteral("month"), QStringLiteral("entries"), QStringLiteral("characters")};
    for (int i = 0; i < stats::kMoodSlots; ++i)
        header.append(moodName(i));
    for (int i = 0; i < stats::kWeatherSlots; ++i)
        header.append(weatherName(i));
    lines.append(header.join(QLatin1Char('\t')));
    for (int m = 0; m < 12; ++m) {
        const stats::Tally &month = year.months[m];
        QStringList cells = {QString::number(m + 1), QString::number(month.entries),
                             QString::number(month.characters)};
        for (int count : month.moods)
            cells.append(QString::number(count));
        for (int count : month.weathers)
            cells.append(QString::number(count));
        lines.append(cells.join(QLatin1Char('\t')));
    }
    lines += {QString(), QStringLiteral("tag\tentries\tfirst\tlast")};
    for (const tags::TagCount &count : extra.tags)
        lines.append(QStringLiteral("%1\t%2\t%3\t%4").arg(count.tag).arg(count.entries).arg(isoDate(count.first), isoDate(count.last)));
    lines += {QString(), QStringLiteral("mood\tfactor\tvalue\tdays\tof days\tratio")};
    for (const stats::MoodLink &link : extra.links.notable(0)) {
        lines.append(QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6")
                         .arg(diary::moodWord(link.mood), factorKind(link.factor),
                              factorValue(extra.links, link).toVariant().toString())
                         .arg(link.days)
                         .arg(link.factorDays)
                         .arg(link.ratio, 0, 'f', 2));
    }
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

int statsCommand(const ToolContext &context, const QStringList &args)
{
    QString archive;
    std::optional<int> year;
    bool json = false;
    bool ok = true;
    for (qsizetype i = 0; i < args.size() && ok; ++i) {
        if (args[i] == QLatin1String("--json")) {
            json = true;
        } else if (args[i] == QLatin1String("--year") && i + 1 < args.size()) {
            const int value = args[++i].toInt(&ok);
            ok = ok && value >= 1 && value <= 9999;
            year = value;
        } else if (archive.isEmpty() && !args[i].startsWith(QLatin1String("--"))) {
            archive = args[i];
        } else {
            ok = false;
        }
    }
    if (!ok || archive.isEmpty()) {
        toolError(QStringLiteral("usage: quillbook-tool ") + kUsage);
        return 2;
    }

    TArchiveReader reader;
    reader.SetZipName(archive);
    std::optional<DiaryKey> key;
    if (const std::optional<PrivateHeader> header = diary::privateHeaderOf(reader)) {
        key = header->unlock(readPassword(context, QStringLiteral("Password: ")));
        if (!key) {
            toolError(accounts_text::kWrongPassword);
            return 2;
        }
    }
    const diary::Listing listing = diary::listEntries(reader, key ? &*key : nullptr);
    listing.rethrowError();
    const QDate today = diary::today();
    const stats::Figures figures = stats::compute(listing.rows, today);
    const stats::YearFigures shown = figures.year(year.value_or(figures.defaultYear(today)));
    const Extra extra{tags::countTags(listing.rows),
                      tags::countTags(listing.rows, QDate(shown.year, 1, 1), QDate(shown.year, 12, 31)),
                      stats::moodLinks(figures, listing.rows)};
    toolWrite(json ? asJson(figures, shown, extra) : asText(figures, shown, extra));
    return 0;
}

} // namespace

QList<ToolCommand> statsCommands()
{
    return {{QStringLiteral("stats"), kUsage, statsCommand, false}};
}
