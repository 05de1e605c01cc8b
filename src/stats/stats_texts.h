#pragma once

#include <QDate>
#include <QString>

// The texts of the statistics page.
namespace stats_text {

inline QString navCaption() { return QStringLiteral("统计"); }
inline QString yearLabel() { return QStringLiteral("年份："); }
inline QString yearItem(int year) { return QStringLiteral("%1年").arg(year); }
inline QString monthLabel(int month) { return QStringLiteral("%1月").arg(month); }
// 1 Monday … 7 Sunday.
inline QString weekday(int day)
{
    static const char16_t *const names[] = {u"一", u"二", u"三", u"四", u"五", u"六", u"日"};
    return day >= 1 && day <= 7 ? QStringLiteral("星期") + QString::fromUtf16(names[day - 1]) : QString();
}
inline QString weekdayShort(int day)
{
    static const char16_t *const names[] = {u"一", u"二", u"三", u"四", u"五", u"六", u"日"};
    return day >= 1 && day <= 7 ? QString::fromUtf16(names[day - 1]) : QString();
}
inline QString dateText(const QDate &date)
{
    return date.isValid() ? QStringLiteral("%1年%2月%3日").arg(date.year()).arg(date.month()).arg(date.day())
                          : QStringLiteral("—");
}

// The totals.
inline QString entriesLine(int year, int inYear, int inAll)
{
    return QStringLiteral("%1年写了 %2 篇，全部 %3 篇").arg(year).arg(inYear).arg(inAll);
}
inline QString streakLine(int current, int longest, const QDate &from, const QDate &to)
{
    QString line = QStringLiteral("连续写日记：眼下 %1 天，最长 %2 天").arg(current).arg(longest);
    if (longest > 0)
        line += QStringLiteral("（%1至%2）").arg(dateText(from), dateText(to));
    return line;
}
inline QString charactersLine(int year, qint64 inYear, qint64 inAll, qint64 perEntry)
{
    return QStringLiteral("字数：%1年 %2 字，全部 %3 字，平均每篇 %4 字")
        .arg(year).arg(inYear).arg(inAll).arg(perEntry);
}
inline QString firstLatestLine(const QDate &first, const QDate &latest)
{
    return QStringLiteral("第一篇：%1　最近一篇：%2").arg(dateText(first), dateText(latest));
}
inline QString apartLine(int unreadable, int undated, int repeated)
{
    return QStringLiteral("另有无法读取的 %1 篇，不以日期为名的 %2 篇，同一天重复的 %3 篇")
        .arg(unreadable).arg(undated).arg(repeated);
}

// The charts.
inline QString entriesChart() { return QStringLiteral("每月篇数"); }
inline QString charactersChart() { return QStringLiteral("每月字数"); }
inline QString moodsChart() { return QStringLiteral("每月情感"); }
inline QString weathersChart() { return QStringLiteral("每月天气"); }
inline QString weekdayChart(int busiest)
{
    return busiest > 0 ? QStringLiteral("星期几写得最多：%1").arg(weekday(busiest))
                       : QStringLiteral("星期几写得最多");
}
inline QString otherWord() { return QStringLiteral("其他"); }

// The tags.
inline QString tagLabel() { return QStringLiteral("标签："); }
inline QString everyTag() { return QStringLiteral("全部"); }
inline QString tagItem(const QString &tag, int entries) { return QStringLiteral("#%1（%2篇）").arg(tag).arg(entries); }
inline QString tagsChart(int year) { return QStringLiteral("%1年最常用的标签").arg(year); }

// What the moods go with.
inline QString moodLinksTitle() { return QStringLiteral("心情与什么有关"); }
inline QString moodLinksNote(int minimum)
{
    return QStringLiteral("全部日记里，一种心情在某种天气、星期几或标签下出现的比例，是它平常比例的几倍。"
                          "少于 %1 天的不算。").arg(minimum);
}
inline QString moodLinksTooFew(int minimum)
{
    return QStringLiteral("日子还不够多：一种心情在同一种天气、星期几或标签下至少有 %1 天，才看得出什么。").arg(minimum);
}
inline QString weatherDay(int weather)
{
    static const char16_t *const names[] = {u"晴天", u"阴天", u"下雨天", u"下雪天"};
    return weather >= 0 && weather < 4 ? QString::fromUtf16(names[weather]) : QString();
}
inline QString tagName(const QString &tag) { return QStringLiteral("#") + tag; }
// 「下雨天：伤感 3.1 倍」
inline QString moodLinkLine(const QString &factor, const QString &mood, double ratio)
{
    return QStringLiteral("%1：%2 %3 倍").arg(factor, mood, QString::number(ratio, 'f', 1));
}
inline QString moodLinkTip(const QString &factor, const QString &mood, int days, int factorDays)
{
    return QStringLiteral("%1 %2 天里有 %3 天%4").arg(factor).arg(factorDays).arg(days).arg(mood);
}

// The year of days.
inline QString emptyDay() { return QStringLiteral("未写"); }
inline QString tipWeatherMood(const QString &weather, const QString &mood)
{
    return QStringLiteral("天气：%1　情感：%2").arg(weather, mood);
}

} // namespace stats_text
