// import-bench [DAYS]: importing DAYS text files (3650 by default: ten years, one file a day,
// named 2000-01-01.txt …, each 1 to 2 KiB of mostly Chinese text in UTF-8) into a diary, in
// milliseconds, the median of IMPORT_BENCH_RUNS runs (3 by default):
//
//   readFiles                      every file read, decoded and made into a record
//   apply into an empty diary      one rewrite adding DAYS entries (a version kept first)
//   apply into make-diary DAYS     the same days already written: replace, and append (each
//                                  stored entry read, joined, written), one rewrite each
//   apply after make-diary DAYS    DAYS new days added to a diary of DAYS entries
//   quillbook-tool import          the whole command into an empty diary, as a process
//
// Then the rewrites the import made (the versions kept: one per apply) and the peak memory.

#include "diary_generator.h"

#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "import/importer.h"
#include "richtext/rich_text.h"
#include "versions/kept_versions.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextDocument>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double timeOnce(const std::function<void()> &prepare, const std::function<void()> &body)
{
    prepare();
    QElapsedTimer timer;
    timer.start();
    body();
    return double(timer.nsecsElapsed()) / 1e6;
}

void report(const char *what, const std::function<void()> &prepare, const std::function<void()> &body, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(timeOnce(prepare, body));
    std::sort(times.begin(), times.end());
    std::printf("%-44s %9.1f ms\n", what, times[times.size() / 2]);
    std::fflush(stdout);
}

void emptyDiary(const QString &path)
{
    QFile::remove(path);
    QDir(versions::folderOf(path)).removeRecursively();
    // A new user's diary: the password token alone.
    TArchiveWriter writer;
    writer.SetZipName(path);
    writer.SetArchiveComment(QStringLiteral("53abcdefghijk"));
    writer.WriteArchive();
}

void fullDiary(const QString &path, int days)
{
    QFile::remove(path);
    QDir(versions::folderOf(path)).removeRecursively();
    bench::writeDiary(path, days);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int days = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 3650;
    const int runs = qEnvironmentVariableIsSet("IMPORT_BENCH_RUNS")
                         ? std::max(1, qEnvironmentVariableIntValue("IMPORT_BENCH_RUNS"))
                         : 3;
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    QDir().mkpath(in);

    // The files: the generated diary's bodies as text, so the figures compare with its listing.
    QStringList files;
    QStringList later;   // the same texts on the days after the generated diary
    for (int i = 0; i < days; ++i) {
        QTextDocument doc;
        diary::loadRecord(bench::diaryRecord(i), doc);
        const QByteArray text = richtext::plainBody(doc).replace(QLatin1String("\r\n"), QLatin1String("\n")).toUtf8();
        for (const auto &[list, day] : {std::pair{&files, bench::firstDay().addDays(i)},
                                        std::pair{&later, bench::firstDay().addDays(days + i)}}) {
            const QString path = QDir(in).filePath(day.toString(Qt::ISODate) + QStringLiteral(".txt"));
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write(text);
            list->append(path);
        }
    }
    std::printf("%d files, first %s\n", days, qPrintable(QFileInfo(files.front()).fileName()));

    std::optional<diary_import::Plan> plan;
    report("readFiles", [] {}, [&] { plan = diary_import::readFiles(files, diary_import::Encoding::Auto); }, runs);
    const diary_import::Plan laterPlan = *diary_import::readFiles(later, diary_import::Encoding::Auto);

    const QString path = dir.filePath(QStringLiteral("bench"));
    TArchiveWriter writer;
    writer.SetZipName(path);
    const auto apply = [&](const diary_import::Plan &p, diary_import::Existing existing, qsizetype expected) {
        const diary_import::Outcome out = diary_import::apply(p, writer, existing);
        const qsizetype written = out.added.size() + out.appended.size() + out.replaced.size();
        if (written != expected)
            std::printf("!! %lld written, %lld expected\n", qint64(written), qint64(expected));
        if (versions::list(path).size() != 1)
            std::printf("!! %lld versions kept, 1 expected\n", qint64(versions::list(path).size()));
    };
    report("apply into an empty diary", [&] { emptyDiary(path); },
           [&] { apply(*plan, diary_import::Existing::Skip, days); }, runs);
    report("apply into make-diary, replace", [&] { fullDiary(path, days); },
           [&] { apply(*plan, diary_import::Existing::Replace, days); }, runs);
    report("apply into make-diary, append", [&] { fullDiary(path, days); },
           [&] { apply(*plan, diary_import::Existing::Append, days); }, runs);
    report("apply after make-diary (new days)", [&] { fullDiary(path, days); },
           [&] { apply(laterPlan, diary_import::Existing::Skip, days); }, runs);
    std::printf("archive after: %lld bytes\n", qint64(QFileInfo(path).size()));

    const QString tool = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quillbook-tool"));
    if (QFile::exists(tool)) {
        report("quillbook-tool import (empty diary)", [&] { emptyDiary(path); },
               [&] {
                   QProcess process;
                   process.setStandardOutputFile(QProcess::nullDevice());
                   process.start(tool, QStringList{QStringLiteral("import"), path} + files);
                   process.waitForFinished(-1);
                   if (process.exitCode() != 0)
                       std::printf("!! quillbook-tool import: status %d\n", process.exitCode());
               },
               runs);
    }
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory (this process): %ld MiB\n", usage.ru_maxrss / 1024);
    return 0;
}
