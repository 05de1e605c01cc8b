#include "stats/stats_page.h"

#include "stats/bar_chart.h"
#include "stats/mood_palette.h"
#include "stats/stats_texts.h"
#include "stats/year_grid.h"
#include "tags/tag_counts.h"
#include "tags/tag_words.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QStringList monthLabels()
{
    QStringList labels;
    for (int month = 1; month <= 12; ++month)
        labels.append(QString::number(month));
    return labels;
}

template <typename Pick>
QList<qint64> perMonth(const stats::YearFigures &year, Pick pick)
{
    QList<qint64> values;
    for (const stats::Tally &month : year.months)
        values.append(pick(month));
    return values;
}

// The stacked series of moods (or weathers) per month, and one for rows whose word is none of
// the table's when there are any.
template <typename Word, typename Colour>
QList<TBarChart::Series> wordSeries(const stats::YearFigures &year, int count, bool moods, Word word,
                                    Colour colour)
{
    QList<TBarChart::Series> series;
    for (int i = 0; i <= count; ++i) {
        const QList<qint64> values = perMonth(year, [&](const stats::Tally &month) {
            return qint64(moods ? month.moods[i] : month.weathers[i]);
        });
        const bool any = std::any_of(values.cbegin(), values.cend(), [](qint64 v) { return v > 0; });
        if (i == count && !any)
            break;
        series.append({i < count ? word(i) : stats_text::otherWord(), colour(i), values});
    }
    return series;
}

} // namespace

TStatsPage::TStatsPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("StatsPage"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("StatsScroll"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The page's own background (the skin's page colour) shows through.
    m_scroll->viewport()->setAutoFillBackground(false);
    outer->addWidget(m_scroll);

    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("StatsContent"));
    content->setAutoFillBackground(false);
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(10);

    auto *top = new QHBoxLayout;
    auto *yearLabel = new QLabel(stats_text::yearLabel(), content);
    YearBox = new QComboBox(content);
    YearBox->setObjectName(QStringLiteral("YearBox"));
    top->addWidget(yearLabel);
    top->addWidget(YearBox);
    top->addSpacing(16);
    top->addWidget(new QLabel(stats_text::tagLabel(), content));
    TagBox = new QComboBox(content);
    TagBox->setObjectName(QStringLiteral("TagBox"));
    TagBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    top->addWidget(TagBox);
    top->addStretch(1);
    column->addLayout(top);

    YearGrid = new TYearGrid(content);
    column->addWidget(YearGrid);

    Totals = new QLabel(content);
    Totals->setObjectName(QStringLiteral("Totals"));
    Totals->setWordWrap(true);
    Totals->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(Totals);

    auto *charts = new QGridLayout;
    charts->setHorizontalSpacing(12);
    charts->setVerticalSpacing(12);
    const auto chart = [content](const char *name) {
        auto *one = new TBarChart(content);
        one->setObjectName(QLatin1String(name));
        return one;
    };
    EntriesChart = chart("EntriesChart");
    CharactersChart = chart("CharactersChart");
    MoodsChart = chart("MoodsChart");
    WeathersChart = chart("WeathersChart");
    WeekdayChart = chart("WeekdayChart");
    charts->addWidget(EntriesChart, 0, 0, Qt::AlignTop);
    charts->addWidget(CharactersChart, 0, 1, Qt::AlignTop);
    charts->addWidget(MoodsChart, 1, 0, Qt::AlignTop);
    charts->addWidget(WeathersChart, 1, 1, Qt::AlignTop);
    charts->addWidget(WeekdayChart, 2, 0, Qt::AlignTop);
    TagsChart = chart("TagsChart");
    charts->addWidget(TagsChart, 3, 0, 1, 2, Qt::AlignTop);
    charts->setColumnStretch(0, 1);
    charts->setColumnStretch(1, 1);
    column->addLayout(charts);

    MoodLinks = new QLabel(content);
    MoodLinks->setObjectName(QStringLiteral("MoodLinks"));
    MoodLinks->setWordWrap(true);
    MoodLinks->setTextFormat(Qt::RichText);
    MoodLinks->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(MoodLinks);
    column->addStretch(1);
    m_scroll->setWidget(content);

    connect(YearBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            showFigures(YearBox->itemData(index).toInt());
    });
    connect(TagBox, &QComboBox::currentIndexChanged, this, [this](int index) { markTag(index); });
    connect(YearGrid, &TYearGrid::dayClicked, this, [this](const QDate &date) {
        const auto day = m_figures.days.constFind(date);
        if (day != m_figures.days.cend() && day->row >= 0 && day->row < m_rows.size())
            emit entryChosen(m_rows[day->row].nameBytes);
    });
}

void TStatsPage::setRows(const QList<diary::ListRow> &rows, const QDate &today)
{
    const int before = shownYear();
    m_rows = rows;
    m_today = today;
    m_figures = stats::compute(m_rows, today);
    m_links = stats::moodLinks(m_figures, m_rows);
    fillYears(before);
    showMoodLinks();
}

void TStatsPage::fillYears(int chosen)
{
    int last = m_today.year();
    int first = last;
    if (m_figures.first.isValid()) {
        first = qMin(first, m_figures.first.year());
        last = qMax(last, m_figures.latest.year());
    }
    if (chosen < first || chosen > last)
        chosen = m_figures.defaultYear(m_today);
    {
        const QSignalBlocker quiet(YearBox);
        YearBox->clear();
        for (int year = last; year >= first; --year)
            YearBox->addItem(stats_text::yearItem(year), year);
        YearBox->setCurrentIndex(YearBox->findData(chosen));
    }
    showFigures(chosen);
}

void TStatsPage::showYear(int year)
{
    const int index = YearBox->findData(year);
    if (index >= 0 && index != YearBox->currentIndex())
        YearBox->setCurrentIndex(index);
    else
        showFigures(year);
}

void TStatsPage::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && shownYear() != 0) {
        showFigures(shownYear());
        showMoodLinks();
    }
}

int TStatsPage::shownYear() const
{
    return YearGrid->year();
}

void TStatsPage::showFigures(int year)
{
    const stats::Figures &all = m_figures;
    const stats::YearFigures shown = all.year(year);
    YearGrid->setYear(year, &m_figures, &m_rows, m_today);

    QStringList lines = {
        stats_text::entriesLine(year, shown.total.entries, all.total.entries),
        stats_text::streakLine(all.current.length, all.longest.length, all.longest.first, all.longest.last),
        stats_text::charactersLine(year, shown.total.characters, all.total.characters,
                                   all.total.averageCharacters()),
        stats_text::firstLatestLine(all.first, all.latest),
    };
    if (all.unreadable + all.undated + all.repeated > 0)
        lines.append(stats_text::apartLine(all.unreadable, all.undated, all.repeated));
    Totals->setText(lines.join(QLatin1Char('\n')));

    const QColor accent = palette().color(QPalette::Highlight);
    const QStringList months = monthLabels();
    EntriesChart->setChart(stats_text::entriesChart(), months,
                           {{QString(), accent, perMonth(shown, [](const stats::Tally &m) {
                                 return qint64(m.entries);
                             })}});
    CharactersChart->setChart(stats_text::charactersChart(), months,
                              {{QString(), accent.darker(130), perMonth(shown, [](const stats::Tally &m) {
                                    return m.characters;
                                })}});
    MoodsChart->setChart(stats_text::moodsChart(), months,
                         wordSeries(shown, diary::kMoodCount, true, diary::moodWord, stats::moodColour));
    WeathersChart->setChart(stats_text::weathersChart(), months,
                            wordSeries(shown, diary::kWeatherCount, false, diary::weatherWord,
                                       stats::weatherColour));
    QStringList days;
    QList<qint64> perDay;
    for (int day = 1; day <= 7; ++day) {
        days.append(stats_text::weekdayShort(day));
        perDay.append(shown.total.weekdays[day - 1]);
    }
    WeekdayChart->setChart(stats_text::weekdayChart(shown.total.busiestWeekday()), days,
                           {{QString(), accent, perDay}});
    fillTags(year);
}

void TStatsPage::fillTags(int year)
{
    const QList<tags::TagCount> counts = tags::countTags(m_rows, QDate(year, 1, 1), QDate(year, 12, 31));
    constexpr int kChartTags = 15;
    QStringList names;
    QList<qint64> entries;
    for (qsizetype i = 0; i < counts.size() && i < kChartTags; ++i) {
        names.append(counts[i].tag);
        entries.append(counts[i].entries);
    }
    TagsChart->setChart(stats_text::tagsChart(year), names,
                        {{QString(), palette().color(QPalette::Highlight), entries}});
    TagsChart->setVisible(!counts.isEmpty());

    // The tag chosen before stays chosen when the new year has it too.
    const QString chosen = TagBox->currentData().toString();
    {
        const QSignalBlocker quiet(TagBox);
        TagBox->clear();
        TagBox->addItem(stats_text::everyTag(), QString());
        for (const tags::TagCount &count : counts)
            TagBox->addItem(stats_text::tagItem(count.tag, count.entries), count.key);
        TagBox->setCurrentIndex(qMax(0, TagBox->findData(chosen)));
    }
    TagBox->setEnabled(!counts.isEmpty());
    markTag(TagBox->currentIndex());
}

void TStatsPage::markTag(int index)
{
    const QString key = index > 0 ? TagBox->itemData(index).toString() : QString();
    QSet<QDate> days;
    if (!key.isEmpty()) {
        const int year = shownYear();
        for (auto day = m_figures.days.lowerBound(QDate(year, 1, 1));
             day != m_figures.days.cend() && day->date.year() == year; ++day) {
            if (!day->readable || day->row < 0 || day->row >= m_rows.size())
                continue;
            for (const QString &tag : m_rows[day->row].tags) {
                if (tags::tagKey(tag) == key) {
                    days.insert(day->date);
                    break;
                }
            }
        }
    }
    YearGrid->setMarkedDays(days);
}

void TStatsPage::showMoodLinks()
{
    const stats::MoodLinks &links = m_links;
    const QString title = QStringLiteral("<p><b>%1</b></p>").arg(stats_text::moodLinksTitle().toHtmlEscaped());
    if (links.cells.isEmpty()) {
        MoodLinks->setText(title + QStringLiteral("<p>%1</p>").arg(stats_text::moodLinksTooFew(stats::kMinDaysInCell)));
        return;
    }
    const auto factorText = [&](stats::Factor factor, int value) {
        switch (factor) {
        case stats::Factor::Weather:
            return stats_text::weatherDay(value);
        case stats::Factor::Weekday:
            return stats_text::weekday(value);
        case stats::Factor::Tag:
            break;
        }
        return stats_text::tagName(links.tags.value(value));
    };
    QString html = title;
    const QList<stats::MoodLink> notable = links.notable();
    if (!notable.isEmpty()) {
        QStringList lines;
        for (qsizetype i = 0; i < notable.size() && i < 5; ++i)
            lines.append(stats_text::moodLinkLine(factorText(notable[i].factor, notable[i].value),
                                                  diary::moodWord(notable[i].mood), notable[i].ratio)
                             .toHtmlEscaped());
        html += QStringLiteral("<p>%1</p>").arg(lines.join(QStringLiteral("<br>")));
    }

    // The table: a row per mood, a column per weather, weekday and (the five most used) tag.
    struct Column {
        stats::Factor factor;
        int value;
        QString heading;
    };
    QList<Column> columns;
    for (int w = 0; w < diary::kWeatherCount; ++w)
        columns.append({stats::Factor::Weather, w, diary::weatherWord(w)});
    for (int d = 1; d <= 7; ++d)
        columns.append({stats::Factor::Weekday, d, stats_text::weekdayShort(d)});
    for (int t = 0; t < links.tags.size() && t < 5; ++t)
        columns.append({stats::Factor::Tag, t, stats_text::tagName(links.tags[t])});
    const QColor base = palette().color(QPalette::Base);
    const QColor accent = palette().color(QPalette::Highlight);
    const auto shade = [&](double ratio) {
        // Stronger than usual toward the highlight colour, weaker toward the text's.
        const QColor toward = ratio >= 1 ? accent : palette().color(QPalette::WindowText);
        const double t = ratio >= 1 ? qMin(1.0, (ratio - 1.0) / 2.0) * 0.8 : qMin(1.0, 1.0 - ratio) * 0.35;
        return QColor::fromRgbF(base.redF() + (toward.redF() - base.redF()) * t,
                                base.greenF() + (toward.greenF() - base.greenF()) * t,
                                base.blueF() + (toward.blueF() - base.blueF()) * t)
            .name();
    };
    html += QStringLiteral("<table cellspacing=\"1\" cellpadding=\"3\"><tr><td></td>");
    for (const Column &column : columns)
        html += QStringLiteral("<td align=\"center\">%1</td>").arg(column.heading.toHtmlEscaped());
    html += QStringLiteral("</tr>");
    for (int mood = 0; mood < diary::kMoodCount; ++mood) {
        html += QStringLiteral("<tr><td>%1</td>").arg(diary::moodWord(mood));
        for (const Column &column : columns) {
            const stats::MoodLink *cell = links.cell(mood, column.factor, column.value);
            if (cell)
                html += QStringLiteral("<td align=\"center\" bgcolor=\"%1\">%2</td>")
                            .arg(shade(cell->ratio), QString::number(cell->ratio, 'f', 1));
            else
                html += QStringLiteral("<td></td>");
        }
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table><p><small>%1</small></p>")
                .arg(stats_text::moodLinksNote(stats::kMinDaysInCell).toHtmlEscaped());
    MoodLinks->setText(html);
}
