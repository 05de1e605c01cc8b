#pragma once

#include "stats/diary_stats.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// 心情与什么有关: how much more (or less) often each mood falls on a weather, a weekday or a tag
// than it falls overall: of the days of rain, the share that are 伤感, over the share of all days
// that are 伤感 (「下雨天：伤感 3.1 倍」). Only cells of at least kMinDaysInCell days (the mood and
// the weather, weekday or tag together) say anything; the others are left out. No widgets.
//
// The days are those the figures count (Figures::days: readable, named by a date, the first entry
// of a date), with a mood of the table's eight; a tag counts for the entries that carry it
// (ListRow::tags of the figures' rows).
namespace stats {

constexpr int kMinDaysInCell = 5;

enum class Factor { Weather, Weekday, Tag };

struct MoodLink {
    int mood = 0;          // mood index
    Factor factor = Factor::Weather;
    int value = 0;         // weather index, weekday (1 Monday … 7 Sunday), or index into MoodLinks::tags
    int days = 0;          // days with both
    int factorDays = 0;    // days with the weather, weekday or tag
    double ratio = 0;      // (days / factorDays) / (the mood's days / all days)
};

struct MoodLinks {
    int days = 0;                                   // days with a mood
    std::array<int, diary::kMoodCount> moodDays{};  // of them, per mood
    QStringList tags;                               // the tags on at least kMinDaysInCell days, most used first
    QList<MoodLink> cells;                          // every cell of at least kMinDaysInCell days

    // The cell of that mood and factor value; nullptr when it has too few days.
    const MoodLink *cell(int mood, Factor factor, int value) const;
    // The cells at least minRatio times as frequent as overall, strongest first (then the most
    // days first).
    QList<MoodLink> notable(double minRatio = 1.5) const;
};

// From the figures of rows (compute(rows, …)) and those rows.
MoodLinks moodLinks(const Figures &figures, const QList<diary::ListRow> &rows);

} // namespace stats
