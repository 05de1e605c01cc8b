#pragma once

#include "archive/diary_password.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

// A realistic, reproducible diary for benchmarks: consecutive days from a fixed start, each entry
// an RTF record as the rich edit control writes it on a GBK system (weather index, mood index,
// then 1 to 2 KiB of mostly Chinese text), stored under the fixed archive password.
//
// Planted answers, for the statistics: half the days of rain are 伤感 (so 伤感 falls some 2.4
// times as often on rain as overall), half the Saturdays are 高兴 and carry #旅行 (高兴 some six
// times as often with #旅行 as overall, and on Saturdays some 3.3 times); one entry in three
// carries one of eight everyday tags (#读书, #工作 …).
namespace bench {

inline constexpr const char *kArchivePassword = kDiaryArchivePassword;

struct DiaryDay
{
    QDate date;
    QByteArray name;     // "yyyy年m月d日" in GBK
    QByteArray record;   // the RTF bytes
};

QDate firstDay();
// "yyyy年m月d日", no leading zeros, GBK.
QByteArray entryName(const QDate &date);
// The record of the day with that number (0 = first day): the same bytes on every run.
QByteArray diaryRecord(int dayNumber);
QList<DiaryDay> diaryDays(int days);

// Writes a new archive of that many days at path (replacing a file there) in one rewrite, with a
// password token as its comment, fixed stamps and fixed encryption seeds, so the file is the
// same byte for byte on every run.
void writeDiary(const QString &path, int days);

} // namespace bench
