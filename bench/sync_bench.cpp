// Merging a conflict copy into a ten-year diary, against a plain save of one entry into the same
// diary, as the window makes it (a version kept when due). The copy and the diary went apart
// with five days changed on each side: ten entries differ. Median of several rounds, each from
// the same files.
//
//   build/bin/sync-bench [DAYS] [ROUNDS]
#include "diary_generator.h"

#include "archive/archive_writer.h"
#include "crypto/private_format.h"
#include "crypto/private_header.h"
#include "diary/diary_book.h"
#include "sync/diary_copies.h"
#include "versions/kept_versions.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
}

void save(const QString &path, int day, const QByteArray &text, const QDateTime &when, const DiaryKey *key)
{
    TArchiveWriter w;
    w.SetZipName(path);
    w.SetKeepVersions(true);
    w.SetClock([when] { return when; });
    diary::storeEntry(w, bench::entryName(bench::firstDay().addDays(day)), "0\r\n1\r\n" + text, key);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void run(const char *what, int days, int rounds, const DiaryKey *key)
{
    QTemporaryDir dir;
    const QString diary = dir.filePath(QStringLiteral("alice"));
    const QString copy = dir.filePath(QStringLiteral("alice.sync-conflict-20261207-093000-ABCDEFG"));
    bench::writeDiary(diary, days);
    if (key) {
        TArchiveWriter w;
        w.SetZipName(diary);
        diary::protectDiary(w, PrivateHeader::create(*key, QStringLiteral("pw"), QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89PQ"),
                                                     private_format::kMinimumKdf),
                            *key);
    }
    QFile::copy(diary, copy);
    const QDateTime here = QDateTime::currentDateTime().addSecs(60);
    for (int i = 0; i < 5; ++i) {
        save(diary, days - 1 - i * 7, "这里改的", here.addSecs(i * 60), key);
        save(copy, days - 3 - i * 7, "那边改的", here.addSecs(3600 + i * 60), key);
    }
    // The diary's kept versions hold its past from before the two went apart, as the window
    // keeps it: the merge finds the common ancestor there.
    const QByteArray diaryBytes = readAll(diary);
    const QByteArray copyBytes = readAll(copy);
    QList<QPair<QString, QByteArray>> kept;
    for (const versions::Version &v : versions::list(diary))
        kept.append({v.path, readAll(v.path)});
    const auto reset = [&] {
        QDir(versions::folderOf(diary)).removeRecursively();
        QDir().mkpath(versions::folderOf(diary));
        for (const auto &[path, bytes] : kept)
            writeAll(path, bytes);
        writeAll(diary, diaryBytes);
        writeAll(copy, copyBytes);
    };

    std::vector<double> saves, merges;
    for (int r = 0; r < rounds; ++r) {
        reset();
        QElapsedTimer timer;
        timer.start();
        save(diary, days - 2, "保存一篇", here.addSecs(7200), key);
        saves.push_back(timer.nsecsElapsed() / 1e6);

        reset();
        timer.restart();
        const syncing::MergeReport report = syncing::mergeCopies({diary, syncing::findDiaryCopies(diary), key, {}});
        merges.push_back(timer.nsecsElapsed() / 1e6);
        if (report.taken.size() != 5 || !report.commonAncestor)
            std::fprintf(stderr, "unexpected merge: %lld taken\n", static_cast<long long>(report.taken.size()));
    }
    const double s = median(saves), m = median(merges);
    std::printf("%-12s %5d days, %lld bytes: save %7.1f ms, merge of 10 differing %7.1f ms (%.2fx)\n", what, days,
                static_cast<long long>(diaryBytes.size()), s, m, m / s);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int days = argc > 1 ? QByteArray(argv[1]).toInt() : 3650;
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 9;
    run("old format", days, rounds, nullptr);
    const DiaryKey key = DiaryKey::fromBytes(QByteArray(private_format::kKeySize, 7));
    run("private", days, rounds, &key);
    return 0;
}
