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
//   readFiles, Day One export      the same days as one Day One export (a ZIP of Journal.json, the
//                                  texts as its entries at noon in Asia/Shanghai, a photo in
//                                  every 38th entry), against the text files above
//   quillbook-tool import Day One  that export into an empty diary, as a process
//                                  (KEEP_DAYONE=PATH writes the export there, to try it by hand)
//
// Then the rewrites the import made (the versions kept: one per apply) and the peak memory.

#include "diary_generator.h"

#include "archive/archive_writer.h"
#include "archive/zip_codec.h"
#include "archive/zip_records.h"
#include "diary/diary_book.h"
#include "import/importer.h"
#include "richtext/rich_text.h"
#include "versions/kept_versions.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
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

// A ZIP of the files, deflated, as an export writes it.
QByteArray zipOf(const QList<std::pair<QByteArray, QByteArray>> &files)
{
    QByteArray out;
    QByteArray central;
    auto u16 = [](QByteArray &b, quint16 v) { b.append(char(v & 0xFF)).append(char(v >> 8)); };
    auto u32 = [&](QByteArray &b, quint32 v) { u16(b, quint16(v & 0xFFFF)); u16(b, quint16(v >> 16)); };
    for (const auto &[name, data] : files) {
        const QByteArray packed = zip::deflateRaw(data, 6);
        const quint32 crc = zip::crc32(0, data);
        const quint32 offset = quint32(out.size());
        for (QByteArray *header : {&out, &central}) {
            const bool local = header == &out;
            u32(*header, local ? 0x04034B50 : 0x02014B50);
            if (!local)
                u16(*header, 20);
            u16(*header, 20);
            u16(*header, 0x0800);   // UTF-8 name
            u16(*header, 8);
            u32(*header, zip::dosStamp(2024, 1, 1, 0, 0, 0));
            u32(*header, crc);
            u32(*header, quint32(packed.size()));
            u32(*header, quint32(data.size()));
            u16(*header, quint16(name.size()));
            u16(*header, 0);
            if (!local) {
                u16(*header, 0);
                u16(*header, 0);
                u16(*header, 0);
                u32(*header, 0);
                u32(*header, offset);
            }
            header->append(name);
            if (local)
                header->append(packed);
        }
    }
    QByteArray end;
    u32(end, 0x06054B50);
    u16(end, 0);
    u16(end, 0);
    u16(end, quint16(files.size()));
    u16(end, quint16(files.size()));
    u32(end, quint32(central.size()));
    u32(end, quint32(out.size()));
    u16(end, 0);
    return out + central + end;
}

// The days' texts as a Day One export: each entry at noon of its day in Asia/Shanghai, a photo
// in every 38th.
QByteArray dayOneExport(const QList<std::pair<QDate, QString>> &days, int *photos)
{
    QImage image(320, 240, QImage::Format_RGB32);
    image.fill(QColor(0x30, 0x90, 0xC0));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    QJsonArray entries;
    QList<std::pair<QByteArray, QByteArray>> files;
    *photos = 0;
    for (qsizetype i = 0; i < days.size(); ++i) {
        QJsonObject entry;
        entry.insert(QStringLiteral("uuid"), QStringLiteral("E%1").arg(i));
        entry.insert(QStringLiteral("creationDate"),
                     QDateTime(days[i].first, QTime(4, 0), QTimeZone::utc()).toString(Qt::ISODate));
        entry.insert(QStringLiteral("timeZone"), QStringLiteral("Asia/Shanghai"));
        QString text = days[i].second;
        if (i % 38 == 0) {
            const QString id = QStringLiteral("P%1").arg(i);
            const QString md5 = QStringLiteral("%1").arg(i, 32, 16, QLatin1Char('0'));
            text += QStringLiteral("\n![](dayone-moment://%1)").arg(id);
            QJsonObject photo;
            photo.insert(QStringLiteral("identifier"), id);
            photo.insert(QStringLiteral("md5"), md5);
            photo.insert(QStringLiteral("type"), QStringLiteral("jpeg"));
            entry.insert(QStringLiteral("photos"), QJsonArray{photo});
            files.append({QStringLiteral("photos/%1.jpeg").arg(md5).toUtf8(), jpeg});
            ++*photos;
        }
        entry.insert(QStringLiteral("text"), text);
        entry.insert(QStringLiteral("tags"), QJsonArray{QStringLiteral("日记")});
        entries.append(entry);
    }
    QJsonObject root;
    root.insert(QStringLiteral("metadata"), QJsonObject{{QStringLiteral("version"), QStringLiteral("1.0")}});
    root.insert(QStringLiteral("entries"), entries);
    files.prepend({QByteArray("Journal.json"), QJsonDocument(root).toJson(QJsonDocument::Indented)});
    return zipOf(files);
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
    QList<std::pair<QDate, QString>> texts;
    for (int i = 0; i < days; ++i) {
        QTextDocument doc;
        diary::loadRecord(bench::diaryRecord(i), doc);
        const QByteArray text = richtext::plainBody(doc).replace(QLatin1String("\r\n"), QLatin1String("\n")).toUtf8();
        texts.append({bench::firstDay().addDays(i), QString::fromUtf8(text)});
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
    int photos = 0;
    const QString dayOne = qEnvironmentVariableIsSet("KEEP_DAYONE") ? qEnvironmentVariable("KEEP_DAYONE") : dir.filePath(QStringLiteral("Export-Journal.zip"));
    {
        QFile f(dayOne);
        f.open(QIODevice::WriteOnly);
        f.write(dayOneExport(texts, &photos));
    }
    std::printf("Day One export: %d entries, %d photos, %lld bytes\n", days, photos, qint64(QFileInfo(dayOne).size()));
    std::optional<diary_import::Plan> dayOnePlan;
    report("readFiles, the text files", [] {}, [&] { plan = diary_import::readFiles(files, diary_import::Encoding::Auto); }, runs);
    report("readFiles, Day One export", [] {},
           [&] { dayOnePlan = diary_import::readFiles({dayOne}, diary_import::Encoding::Auto); }, runs);
    if (dayOnePlan->entries.size() != days || dayOnePlan->sources.value(0).pictures != photos)
        std::printf("!! %lld days, %d pictures read from the Day One export\n", qint64(dayOnePlan->entries.size()),
                    dayOnePlan->sources.value(0).pictures);
    if (QFile::exists(tool)) {
        report("quillbook-tool import Day One (empty diary)", [&] { emptyDiary(path); },
               [&] {
                   QProcess process;
                   process.setStandardOutputFile(QProcess::nullDevice());
                   process.start(tool, QStringList{QStringLiteral("import"), path, dayOne});
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
