#pragma once

#include "stats/diary_stats.h"
#include "stats/mood_links.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QWidget>

class QComboBox;
class QLabel;
class QScrollArea;
class TBarChart;
class TYearGrid;

// The statistics page: a year of a diary at a glance. At the top the year chooser (YearBox,
// newest year first: every year from the first entry's to the latest entry's, and this year);
// then the year of days (YearGrid), the totals and runs (Totals), and the charts of the chosen
// year: entries and characters per month, moods and weathers per month (stacked bars), the
// weekdays and the year's fifteen most used tags (TagsChart). Beside the year the tag chooser
// (TagBox: the year's tags, most used first) marks the days of one tag in the year of days. At
// the end, 心情与什么有关 (MoodLinks): the strongest links of the whole diary in words and a table
// of each mood against each weather, weekday and tag (stats/mood_links.h). Everything scrolls
// together; colours follow the palette (the skin).
//
// The page computes the figures itself from the rows it is given and keeps those rows; it
// reads no diary. A click on a day with an entry emits entryChosen with that entry's name as
// stored.
class TStatsPage : public QWidget
{
    Q_OBJECT

public:
    explicit TStatsPage(QWidget *parent = nullptr);

    // Shows the figures of rows (a listing's, in any order) on the day today. The year shown
    // stays the one chosen before when it is still among the years; otherwise it is the figures'
    // default year.
    void setRows(const QList<diary::ListRow> &rows, const QDate &today);
    // Shows another year (one of YearBox's, or any other).
    void showYear(int year);
    int shownYear() const;

    const stats::Figures &figures() const { return m_figures; }
    const QList<diary::ListRow> &rows() const { return m_rows; }

    QComboBox *YearBox = nullptr;
    TYearGrid *YearGrid = nullptr;
    QLabel *Totals = nullptr;
    TBarChart *EntriesChart = nullptr;
    TBarChart *CharactersChart = nullptr;
    TBarChart *MoodsChart = nullptr;
    TBarChart *WeathersChart = nullptr;
    TBarChart *WeekdayChart = nullptr;
    QComboBox *TagBox = nullptr;
    TBarChart *TagsChart = nullptr;
    QLabel *MoodLinks = nullptr;

    const stats::MoodLinks &moodLinks() const { return m_links; }

signals:
    void entryChosen(const QByteArray &nameBytes);

protected:
    // A new skin: the bars take its highlight colour.
    void changeEvent(QEvent *event) override;

private:
    void fillYears(int chosen);
    void showFigures(int year);
    void fillTags(int year);
    void markTag(int index);
    void showMoodLinks();

    QScrollArea *m_scroll = nullptr;
    QList<diary::ListRow> m_rows;
    stats::Figures m_figures;
    stats::MoodLinks m_links;
    QDate m_today;
};
