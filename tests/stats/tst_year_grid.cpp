#include "stats/bar_chart.h"
#include "stats/mood_palette.h"
#include "stats/stats_page.h"
#include "stats/year_grid.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

diary::ListRow row(const QDate &date, const QString &mood, const QString &body)
{
    return {QByteArray(), diary::entryName(date), u"晴"_s, mood, body, {}};
}

} // namespace

// The year of days on its own, offscreen: where each day's square is and what it answers.
class TestYearGrid : public QObject
{
    Q_OBJECT

private slots:
    void everyDayHasASquareOfItsOwnInsideTheGrid_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("width");
        QTest::addRow("a leap year from a Sunday spans 54 weeks") << 2012 << 508;
        QTest::addRow("a common year from a Sunday") << 2023 << 508;
        QTest::addRow("a leap year from a Monday, wide") << 2024 << 900;
        QTest::addRow("a common year from a Friday, narrower than asked for") << 2021 << 300;
    }
    void everyDayHasASquareOfItsOwnInsideTheGrid()
    {
        QFETCH(int, year);
        QFETCH(int, width);
        TYearGrid grid;
        const stats::Figures figures;
        const QList<diary::ListRow> rows;
        grid.setYear(year, &figures, &rows, QDate(year, 3, 1));
        grid.show();
        grid.resize(qMax(width, grid.sizeHint().width()), grid.heightForWidth(width));
        QCOMPARE(grid.minimumHeight(), grid.heightForWidth(grid.width()));
        QSet<QPair<int, int>> seen;
        for (QDate date(year, 1, 1); date.year() == year; date = date.addDays(1)) {
            const QRect square = grid.cellRect(date);
            QVERIFY2(grid.rect().contains(square), qPrintable(date.toString(Qt::ISODate)));
            QVERIFY(square.width() >= 8);
            QCOMPARE(grid.dateAt(square.center()), date);
            QCOMPARE(grid.dateAt(square.topLeft()), date);
            QVERIFY(!seen.contains({square.x(), square.y()}));
            seen.insert({square.x(), square.y()});
        }
        // Mondays on the top row, Sundays at the bottom.
        QCOMPARE(grid.cellRect(QDate(year, 1, 1)).y() < grid.cellRect(QDate(year, 1, 1).addDays(1)).y(),
                 QDate(year, 1, 1).dayOfWeek() != 7);
        QVERIFY(!grid.dateAt(QPoint(1, 1)).isValid());
        QVERIFY(grid.cellRect(QDate(year + 1, 1, 1)).isEmpty());
    }

    void aDayIsTintedByItsMoodAndOnlyWrittenDaysAreClicked()
    {
        const QList<diary::ListRow> rows = {row(QDate(2024, 2, 29), u"伤感"_s, u"闰日"_s),
                                            row(QDate(2024, 3, 1), u"高兴"_s, u"三月"_s)};
        const stats::Figures figures = stats::compute(rows, QDate(2024, 3, 1));
        TYearGrid grid;
        grid.setYear(2024, &figures, &rows, QDate(2024, 3, 1));
        grid.resize(grid.sizeHint());
        QImage image(grid.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        grid.render(&image);
        const QRect sad = grid.cellRect(QDate(2024, 2, 29));
        QCOMPARE(image.pixelColor(sad.center()), stats::moodColour(3));
        QCOMPARE(image.pixelColor(grid.cellRect(QDate(2024, 3, 1)).center()), stats::moodColour(0));
        QVERIFY(image.pixelColor(grid.cellRect(QDate(2024, 3, 2)).center()) != stats::moodColour(0));

        QSignalSpy clicked(&grid, &TYearGrid::dayClicked);
        QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(QDate(2024, 3, 2)).center());
        QCOMPARE(clicked.size(), 0);
        QTest::mouseClick(&grid, Qt::LeftButton, {}, sad.center());
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked[0][0].toDate(), QDate(2024, 2, 29));
    }

    void theBarsTakeTheSkinsHighlightColour()
    {
        TStatsPage page;
        page.setRows({row(QDate(2024, 2, 29), u"伤感"_s, u"闰日"_s)}, QDate(2024, 3, 1));
        QCOMPARE(page.EntriesChart->series()[0].values[1], 1);
        QPalette skin = page.palette();
        skin.setColor(QPalette::Highlight, QColor(0x12, 0x34, 0x56));
        page.setPalette(skin);
        QCOMPARE(page.EntriesChart->series()[0].colour, QColor(0x12, 0x34, 0x56));
        QCOMPARE(page.WeekdayChart->series()[0].colour, QColor(0x12, 0x34, 0x56));
        QCOMPARE(page.MoodsChart->series()[3].colour, stats::moodColour(3));
    }

    void theYearsTagsAreChartedAndOneTagsDaysMarked()
    {
        QList<diary::ListRow> rows;
        for (int i = 0; i < 10; ++i) {
            diary::ListRow one = row(QDate(2024, 3, 1).addDays(i), i < 6 ? u"伤感"_s : u"高兴"_s, u"字"_s);
            one.weather = i < 6 ? u"雨"_s : u"晴"_s;
            one.tags = i < 6 ? QStringList{u"加班"_s} : QStringList{u"旅行"_s};
            rows.append(one);
        }
        rows.append(row(QDate(2023, 5, 1), u"高兴"_s, u"去年"_s));
        rows.last().tags = {u"去年的"_s};
        TStatsPage page;
        page.setRows(rows, QDate(2024, 3, 20));
        QCOMPARE(page.shownYear(), 2024);
        QCOMPARE(page.TagsChart->series()[0].values, (QList<qint64>{6, 4}));
        QCOMPARE(page.TagBox->count(), 3);
        QCOMPARE(page.TagBox->itemText(2), u"#旅行（4篇）"_s);
        QVERIFY(page.YearGrid->markedDays().isEmpty());
        page.TagBox->setCurrentIndex(2);
        QCOMPARE(page.YearGrid->markedDays().size(), 4);
        QVERIFY(page.YearGrid->markedDays().contains(QDate(2024, 3, 7)));
        // The other days of the year are drawn faint.
        page.YearGrid->resize(page.YearGrid->sizeHint());
        QImage image(page.YearGrid->size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        page.YearGrid->render(&image);
        QCOMPARE(image.pixelColor(page.YearGrid->cellRect(QDate(2024, 3, 7)).center()), stats::moodColour(0));
        QVERIFY(image.pixelColor(page.YearGrid->cellRect(QDate(2024, 3, 1)).center()) != stats::moodColour(3));
        // Another year keeps no tag it lacks.
        page.showYear(2023);
        QCOMPARE(page.TagBox->currentIndex(), 0);
        QCOMPARE(page.TagsChart->series()[0].values, QList<qint64>{1});

        // 伤感 on all six rainy days, 6 of the 11 days overall: 1.8 times.
        const QString links = page.MoodLinks->text();
        QVERIFY2(links.contains(u"下雨天：伤感 1.8 倍"_s), qPrintable(links));
        QVERIFY2(links.contains(u"#加班：伤感 1.8 倍"_s), qPrintable(links));
        QVERIFY(!links.contains(u"旅行："_s));   // four days: too few
    }

    void withTooFewDaysNothingIsClaimed()
    {
        TStatsPage page;
        page.setRows({row(QDate(2024, 2, 29), u"伤感"_s, u"闰日"_s)}, QDate(2024, 3, 1));
        QVERIFY(page.MoodLinks->text().contains(u"日子还不够多"_s));
        QVERIFY(!page.TagsChart->isVisibleTo(&page));
        QVERIFY(!page.TagBox->isEnabled());
    }

    void stackedBarsAddUpTheirSeries()
    {
        TBarChart chart;
        chart.setChart(u"每月情感"_s, {u"1"_s, u"2"_s}, {{u"高兴"_s, Qt::red, {3, 1}}, {u"伤感"_s, Qt::blue, {2}}});
        QCOMPARE(chart.total(0), 5);
        QCOMPARE(chart.total(1), 1);
        chart.resize(chart.sizeHint());
        QImage image(chart.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        chart.render(&image);
        int red = 0;
        int blue = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                red += image.pixelColor(x, y) == QColor(Qt::red);
                blue += image.pixelColor(x, y) == QColor(Qt::blue);
            }
        }
        // Three fifths of the first bar and all of the second are red, two fifths of the first blue.
        QVERIFY(red > blue);
        QVERIFY(blue > 0);
    }
};

QTEST_MAIN(TestYearGrid)
#include "tst_year_grid.moc"
