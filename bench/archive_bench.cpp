// archive-bench [DAYS] [FOLDER]: times the container's operations on a generated diary of DAYS
// days (default 3650, the ten-year diary), each as the program performs it. Every figure is the
// median of several runs, in milliseconds. Whole-process comparisons with Info-ZIP are made by
// compare.sh beside this file.

#include "diary_generator.h"

#include "archive/archive_writer.h"
#include "platform/exception.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 7;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs prepare (untimed) and then body (timed) kRuns times; prints the median.
void measure(const char *what, const std::function<void()> &prepare, const std::function<void()> &body)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        body();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("%-58s %9.2f ms\n", what, median(times));
    std::fflush(stdout);
}

void copyFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    if (!QFile::copy(from, to))
        throw Exception(QStringLiteral("cannot copy %1").arg(from));
}

} // namespace

// archive-bench --save DIARY NAME FILE: one save as the program makes it, timed inside the process:
// opening the archive (reading its directory), then storing FILE as entry NAME (a complete, synced
// rewrite with the directory held, as the diary window's writer holds it between saves). Prints
// the two times in milliseconds. save_compare.py runs it in turns with Info-ZIP.
int saveOnce(const QStringList &args)
{
    QFile file(args[4]);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args[4]));
        return 1;
    }
    QByteArray record = file.readAll();
    QElapsedTimer timer;
    timer.start();
    TArchiveWriter writer;
    writer.SetZipName(args[2]);
    writer.SetPassword(QString::fromLatin1(bench::kArchivePassword));
    writer.OpenArchive();
    const qint64 opened = timer.nsecsElapsed();
    QBuffer stream(&record);
    stream.open(QIODevice::ReadOnly);
    writer.AddFromStream(args[3], stream);
    const qint64 saved = timer.nsecsElapsed();
    std::printf("open %.3f save %.3f\n", double(opened) / 1e6, double(saved - opened) / 1e6);
    return 0;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 5 && args[1] == QLatin1String("--save")) {
        try {
            return saveOnce(args);
        } catch (const Exception &e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    const int days = args.size() > 1 ? args[1].toInt() : 3650;
    QTemporaryDir scratch;
    const QString folder = args.size() > 2 ? args[2] : scratch.path();
    const QString original = folder + QStringLiteral("/diary.orig");
    const QString diary = folder + QStringLiteral("/diary");
    const QString password = QString::fromLatin1(bench::kArchivePassword);

    try {
        std::printf("diary of %d days in %s\n", days, qPrintable(folder));
        measure("build the whole diary in one rewrite", [] {}, [&] { bench::writeDiary(original, days); });
        std::printf("archive size: %lld bytes\n", QFile(original).size());

        const QList<bench::DiaryDay> list = bench::diaryDays(days);
        qint64 total = 0;
        measure("open + extract every entry by name (the list page)", [&] { copyFile(original, diary); }, [&] {
            TArchiveReader reader;
            reader.SetZipName(diary);
            reader.SetPassword(password);
            reader.OpenArchive();
            total = 0;
            for (int i = 0; i < reader.EntryCount(); ++i) {
                QBuffer stream;
                stream.open(QIODevice::ReadWrite);
                total += reader.ExtractToStream(reader.EntryName(i), stream);
            }
        });
        std::printf("  (%lld bytes extracted)\n", total);

        QByteArray record = bench::diaryRecord(days + 1);
        auto save = [&](const QByteArray &name) {
            TArchiveWriter writer;
            writer.SetZipName(diary);
            writer.SetPassword(password);
            writer.OpenArchive();
            QBuffer stream(&record);
            stream.open(QIODevice::ReadOnly);
            writer.AddFromStream(name, stream);
        };
        const QByteArray newName = bench::entryName(bench::firstDay().addDays(days));
        const QByteArray middleName = list.isEmpty() ? newName : list[list.size() / 2].name;
        measure("save a new entry (append, synced rewrite)", [&] { copyFile(original, diary); },
                [&] { save(newName); });
        measure("save an existing entry (replace in place)", [&] { copyFile(original, diary); },
                [&] { save(middleName); });
        measure("delete one entry", [&] { copyFile(original, diary); }, [&] {
            TArchiveWriter writer;
            writer.SetZipName(diary);
            writer.SetPassword(password);
            writer.OpenArchive();
            writer.ClearSelection();
            for (int i = 0; i < writer.EntryCount(); ++i) {
                if (writer.EntryNameBytes(i) == middleName)
                    writer.SelectEntry(i, true);
            }
            writer.DeleteSelected();
        });
        measure("change the comment (a new password token)", [&] { copyFile(original, diary); }, [&] {
            TArchiveWriter writer;
            writer.SetZipName(diary);
            writer.OpenArchive();
            writer.SetArchiveComment(QStringLiteral("qbXYZ12345678"));
            writer.SetPassword(password);
            writer.WriteArchive();
        });
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
