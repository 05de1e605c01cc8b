// stats-bench [FILE]: how long the statistics page takes once the ten-year diary of make-diary
// (3650 entries) has been listed. FILE is a diary made by make-diary; without it the same diary
// is generated in a scratch folder. The listing itself is timed once, for scale; every other
// figure is the median of several runs, in milliseconds.
//
//   figures (stats::compute)        the rows to every figure: days, runs, tallies, characters
//     of which counting characters  stats::countCharacters over every row's text
//   what the moods go with          stats::moodLinks over the figures' days and tags
//   the year's tags                 tags::countTags of one year
//   page filled (setRows)           the figures, the year chooser, the totals and the charts,
//                                   the year's tags and what the moods go with
//   year of days drawn              the year grid painted into an image at its size, once
//                                   laid out (scale factor 1 and 2)
//   whole page drawn                the page painted into an image, 547 × 448 (the page's size)

#include "diary_generator.h"

#include "archive/archive_reader.h"
#include "diary/diary_book.h"
#include "platform/exception.h"
#include "stats/diary_stats.h"
#include "stats/mood_links.h"
#include "tags/tag_counts.h"
#include "stats/stats_page.h"
#include "stats/year_grid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 15;

double medianOf(const std::function<void()> &body)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        body();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void report(const char *what, double ms)
{
    std::printf("%-44s %9.2f ms\n", what, ms);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    try {
        QTemporaryDir scratch;
        QString path = scratch.filePath(QStringLiteral("bench"));
        if (args.size() > 1)
            path = args[1];
        else
            bench::writeDiary(path, 3650);

        TArchiveReader reader;
        reader.SetZipName(path);
        QElapsedTimer timer;
        timer.start();
        const diary::Listing listing = diary::listEntries(reader);
        report("listing (once, for scale)", double(timer.nsecsElapsed()) / 1e6);
        listing.rethrowError();
        const QDate today = listing.rows.isEmpty() ? QDate::currentDate()
                                                   : stats::dateOfName(listing.rows.last().name);
        std::printf("rows: %lld\n", qint64(listing.rows.size()));

        report("figures (stats::compute)", medianOf([&] { stats::compute(listing.rows, today); }));
        qint64 counted = 0;
        report("  of which counting characters", medianOf([&] {
                   counted = 0;
                   for (const diary::ListRow &row : listing.rows)
                       counted += stats::countCharacters(row.summary);
               }));

        const stats::Figures figures = stats::compute(listing.rows, today);
        report("what the moods go with (moodLinks)", medianOf([&] { stats::moodLinks(figures, listing.rows); }));
        report("the year's tags (countTags)", medianOf([&] {
                   tags::countTags(listing.rows, QDate(today.year(), 1, 1), QDate(today.year(), 12, 31));
               }));

        TStatsPage page;
        page.resize(547, 448);
        page.show();
        report("page filled (setRows)", medianOf([&] { page.setRows(listing.rows, today); }));
        QCoreApplication::processEvents();

        for (const qreal scale : {1.0, 2.0}) {
            TYearGrid *grid = page.YearGrid;
            QImage image(grid->size() * scale, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(scale);
            const double ms = medianOf([&] {
                image.fill(Qt::transparent);
                grid->render(&image);
            });
            report(scale == 1.0 ? "year of days drawn, scale 1" : "year of days drawn, scale 2", ms);
        }
        QImage whole(page.size(), QImage::Format_ARGB32_Premultiplied);
        report("whole page drawn", medianOf([&] {
                   whole.fill(Qt::white);
                   page.render(&whole);
               }));
        std::printf("figures: %d entries, %lld characters, longest run %d days\n",
                    page.figures().total.entries, page.figures().total.characters,
                    page.figures().longest.length);
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 2;
    }
    return 0;
}
