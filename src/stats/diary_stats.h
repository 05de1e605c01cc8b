#pragma once

#include "diary/entry.h"

#include <QDate>
#include <QList>
#include <QMap>
#include <QString>

#include <array>

// The figures of a diary, a year at a glance: entries and characters per day, month and year,
// runs of consecutive days written, moods and weathers over time. Computed from the rows of one
// listing (diary::listEntries), so nothing is extracted or decoded a second time. No widgets.
//
// What counts:
// - An entry counts when its row is readable and its name is a date as the diary names one
//   ("yyyy年m月d日", no leading zeros, a real calendar day). Rows that cannot be read are counted
//   apart (unreadable), and so are readable rows under other names (undated) and a second row
//   of a date already seen (repeated: the book opens the first one).
// - Characters are those of the body as the list keeps it (ListRow::summary: the weather and mood
//   lines are not part of it, and a body is cut after diary::kMaxSummaryLength characters, so an
//   entry longer than that counts that many). See countCharacters().
// - A run is a stretch of consecutive calendar days each with an entry (across month and year
//   ends and 29 February alike).
namespace stats {

// Slots of the mood and weather counts: the words' indices, then one for a row whose word is
// none of the table's (an index line outside it).
constexpr int kMoodSlots = diary::kMoodCount + 1;
constexpr int kWeatherSlots = diary::kWeatherCount + 1;
constexpr int kNoWord = -1;

// The characters a reader sees in text: user-perceived characters that are not white space.
// A Chinese character, a Latin letter, a digit, a punctuation mark and an emoji count one each;
// spaces, tabs and line breaks (every Unicode White_Space character) and control characters
// count none. Marks that combine with the character before them (accents, variation selectors,
// emoji skin tones, tag characters), a character joined on by a zero width joiner, and the
// second of a pair of regional indicators (a flag) belong to that character and add nothing.
qint64 countCharacters(const QString &text);

// The date an entry name stands for, or an invalid date when the name is not exactly
// diary::entryName() of a date.
QDate dateOfName(const QString &name);

// Counts of entries over some stretch of time.
struct Tally {
    int entries = 0;
    qint64 characters = 0;
    std::array<int, kMoodSlots> moods{};         // by mood index; [kMoodCount]: no mood word
    std::array<int, kWeatherSlots> weathers{};   // by weather index; [kWeatherCount]: none
    std::array<int, 7> weekdays{};               // [0] Monday … [6] Sunday

    // Characters per entry, rounded down; 0 without entries.
    qint64 averageCharacters() const { return entries > 0 ? characters / entries : 0; }
    // The weekday written most (1 Monday … 7 Sunday), the earliest in the week on a tie; 0
    // without entries.
    int busiestWeekday() const;
};

// A run of consecutive days with an entry; length 0 (and invalid dates) when there is none.
struct Streak {
    int length = 0;
    QDate first;
    QDate last;
};

// One day with an entry.
struct Day {
    QDate date;
    int row = -1;               // the row's index in the listing the figures were made from
    int weather = kNoWord;      // index, or kNoWord
    int mood = kNoWord;
    qint64 characters = 0;
    bool readable = true;       // false: the row of an entry that cannot be read
};

struct YearFigures {
    int year = 0;
    Tally total;
    std::array<Tally, 12> months{};   // [0] January
    Streak longest;                   // the longest run inside the year
};

struct Figures {
    using DayMap = QMap<QDate, Day>;

    Tally total;                 // every counted entry
    int unreadable = 0;
    int undated = 0;
    int repeated = 0;
    QDate first;                 // the earliest and latest counted entry; invalid without one
    QDate latest;
    Streak current;              // the run that ends today, or yesterday when today has no
                                 // entry yet; length 0 when neither has one
    Streak longest;              // the longest run (the earliest of equal ones)
    // The days with a row, readable or not, by date; unreadable rows of a dated name are here
    // so the year can show them, though they count in nothing but unreadable.
    DayMap days;
    QMap<int, YearFigures> years;   // the years with at least one counted entry

    // The year's figures; empty ones (with the year set) for a year without entries.
    YearFigures year(int year) const;
    // The year to show first: today's year when it has entries, else the latest entry's year,
    // else today's.
    int defaultYear(const QDate &today) const;
};

// The figures of rows as diary::listEntries gives them (in any order), on the day today.
Figures compute(const QList<diary::ListRow> &rows, const QDate &today);

// The index of a mood word (kNoWord for an empty or unknown word), and of a weather word.
int moodIndexOf(const QString &word);
int weatherIndexOf(const QString &word);

} // namespace stats
