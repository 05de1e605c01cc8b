// diary-bench [FILE]: how long the list page takes to list a diary, and to save one entry and
// list again, on the ten-year diary of make-diary (3650 entries), against Info-ZIP merely
// extracting the same archive (unzip -p -P … FILE > /dev/null). FILE is a diary made by
// make-diary; without it the same diary is generated in a scratch folder. Every figure is the
// median of several runs, in milliseconds.
//
//   ListEntries, click to filled table   "看日记" in an offscreen main window: the rows
//                                         cleared, every entry extracted and decoded, the
//                                         table filled and sorted, the page painted
//   save + ListEntries                   the same from the write page with an entry open and
//                                         changed: the page change saves it (the archive is
//                                         rewritten), then lists
//   ListEntries after one entry was stored  the return to the list beyond the save: one entry
//                                         stored (untimed), then 看日记 on the list page: the
//                                         directory read, the changed entry decoded, the table
//                                         filled and painted
//   keystroke / first keystroke          the search field's filter of every row, and the
//                                         first one after a listing
//   SearchIndex::find 下雨 / #旅行 alone   the index's text search, and its tag filter as the
//                                         search box's #旅行 asks for it (SearchQuery::setSearchText)
//   tag drop-down / 那年今日               the list page's 标签 pick of 旅行, and 那年今日 with the
//                                         same lunar date of 120 earlier years
//   listEntries alone / serially          the diary logic without the window, with decoding on
//                                         the other cores and on one thread only
//
//   autosave, the window's thread only   an entry in the middle changed, the autosave fired:
//                                         the record made and the rewrite handed to its worker
//   autosave and its rewrite waited for  the same and the wait for the rewrite: the time the
//                                         window's thread was blocked when it rewrote itself
//
// The longest gap between two turns of the window's event loop (a 1 ms timer's ticks) during the
// autosave, the save command, the first listing and 写日记 while another program holds the lock.
// DIARY_BENCH_RUNS=N runs every case N times; DIARY_BENCH_GAPS_ONLY=1 measures only the gaps.
//
// Then the same diary made private (diary::protectDiary, the default key derivation), against
// the old format:
//   login                                 the header read and the key unwrapped from the
//                                         password: one Argon2id derivation
//   listEntries private / old             every entry opened (or decrypted) and decoded
//   storeEntry private / old              one entry in the middle saved (the archive rewritten)
//   storeEntry with versions              the old-format save keeping a version (hard link and
//                                         rotation), and with versions on but none due

#include "diary_generator.h"

#include "app/auto_save.h"
#include "app/main_form.h"
#include "versions/kept_versions.h"
#include "archive/archive_writer.h"
#include "crypto/private_header.h"
#include "crypto/recovery_code.h"
#include "diary/diary_book.h"
#include "diary/search.h"
#include "pages/diary_calendar.h"
#include "pages/list_page.h"
#include "pages/tag_filter.h"
#include "pages/write_page.h"
#include "platform/exception.h"
#include "platform/message_box.h"
#include "settings/ini.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 7;
const QString kUser = QStringLiteral("bench");

// One thing to time: prepare (untimed) then body (timed).
struct Case {
    const char *what;
    std::function<void()> prepare;
    std::function<void()> body;
    std::vector<double> times;
};

// Once the times are sorted.
double median(const Case &c)
{
    return c.times[c.times.size() / 2];
}

// Runs every case once per round, kRuns rounds, so that a change in the machine's load falls on
// all of them alike; prints each median.
void measure(std::vector<Case> &cases)
{
    // DIARY_BENCH_RUNS=1 for a quick look at a large diary.
    const int runs = qEnvironmentVariableIsSet("DIARY_BENCH_RUNS") ? std::max(1, qEnvironmentVariableIntValue("DIARY_BENCH_RUNS")) : kRuns;
    for (int round = 0; round < runs; ++round) {
        for (Case &c : cases) {
            c.prepare();
            QElapsedTimer timer;
            timer.start();
            c.body();
            c.times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
    }
    for (Case &c : cases) {
        std::sort(c.times.begin(), c.times.end());
        std::printf("%-52s %9.1f ms\n", c.what, median(c));
    }
    std::fflush(stdout);
}

void unzipToNull(const QString &path)
{
    QProcess unzip;
    unzip.setStandardOutputFile(QProcess::nullDevice());
    unzip.start(QStringLiteral("unzip"),
                {QStringLiteral("-p"), QStringLiteral("-P"), diary::kArchivePassword, path});
    if (!unzip.waitForFinished(-1) || unzip.exitCode() != 0)
        throw Exception(QStringLiteral("unzip failed on %1").arg(path));
}

// The rows as one thread reading and decoding entry after entry would give them.
qsizetype listSerially(const QString &path)
{
    TArchiveReader reader;
    reader.SetZipName(path);
    reader.SetPassword(diary::kArchivePassword);
    reader.OpenArchive();
    QList<diary::ListRow> rows;
    for (int i = 0; i < reader.EntryCount(); ++i) {
        QByteArray record;
        reader.ExtractEntry(i, record);
        rows.append(diary::listRow(reader.EntryNameBytes(i), record));
    }
    return rows.size();
}

// The old-format diary at path against a private copy of it.
void comparePrivate(const QString &path)
{
    const QString sealedPath = path + QStringLiteral(".private");
    QFile::copy(path, sealedPath);
    const DiaryKey key = DiaryKey::generate();
    const QString password = QStringLiteral("口令 for the bench");
    {
        const PrivateHeader header = PrivateHeader::create(key, password, recovery_code::generate());
        TArchiveWriter writer;
        writer.SetZipName(sealedPath);
        const diary::Conversion made = diary::protectDiary(writer, header, key);
        std::printf("private copy: %lld bytes, %lld entries converted, %lld carried\n",
                    qint64(QFileInfo(sealedPath).size()), qint64(made.converted.size()),
                    qint64(made.carried.size()));
    }
    const QString oldCopy = path + QStringLiteral(".old");
    const QString oldOriginal = path;
    const QString sealedOriginal = sealedPath + QStringLiteral(".orig");
    QFile::copy(sealedPath, sealedOriginal);
    const auto fresh = [](const QString &from, const QString &to) {
        QFile::remove(to);
        QFile::copy(from, to);
    };
    TArchiveReader sealedReader;
    sealedReader.SetZipName(sealedPath);
    TArchiveReader oldReader;
    oldReader.SetZipName(oldCopy);
    fresh(oldOriginal, oldCopy);
    TArchiveWriter sealedWriter;
    sealedWriter.SetZipName(sealedPath);
    TArchiveWriter oldWriter;
    oldWriter.SetZipName(oldCopy);
    const QByteArray name = diary::listEntries(oldReader).rows.value(1800).nameBytes;
    const QByteArray record = diary::readEntry(oldReader, name) + "\r\n";
    const auto nothing = [] {};

    std::vector<Case> cases;
    cases.push_back({"login: header read, key unwrapped (Argon2id)", nothing, [&] {
                         TArchiveReader reader;
                         reader.SetZipName(sealedPath);
                         if (!diary::privateHeaderOf(reader)->unlock(password))
                             throw Exception(QStringLiteral("the password did not unlock"));
                     }, {}});
    cases.push_back({"unzip -p -P … (old format) > /dev/null", nothing, [&] { unzipToNull(oldCopy); }, {}});
    cases.push_back({"listEntries, old format", nothing, [&] { diary::listEntries(oldReader); }, {}});
    cases.push_back({"listEntries, private", nothing, [&] { diary::listEntries(sealedReader, &key); }, {}});
    cases.push_back({"storeEntry one entry, old format", [&] { fresh(oldOriginal, oldCopy); },
                     [&] { diary::storeEntry(oldWriter, name, record); }, {}});
    cases.push_back({"storeEntry one entry, private", [&] { fresh(sealedOriginal, sealedPath); },
                     [&] { diary::storeEntry(sealedWriter, name, record, &key); }, {}});
    // The same save with earlier versions kept: a version taken (the folder empty, so one is
    // due: a hard link and the rotation), and none due (a version of the last hour exists).
    TArchiveWriter keepingWriter;
    keepingWriter.SetZipName(oldCopy);
    keepingWriter.SetKeepVersions(true);
    const QString versionsFolder = versions::folderOf(oldCopy);
    cases.push_back({"storeEntry, old format, a version kept", [&] {
                         fresh(oldOriginal, oldCopy);
                         QDir(versionsFolder).removeRecursively();
                     },
                     [&] { diary::storeEntry(keepingWriter, name, record); }, {}});
    cases.push_back({"storeEntry, old format, versions on, none due", [&] { fresh(oldOriginal, oldCopy); },
                     [&] { diary::storeEntry(keepingWriter, name, record); }, {}});
    measure(cases);
    std::printf("private listing takes %.0f %% of the old format's; saving %.0f %%\n",
                100 * median(cases[3]) / median(cases[2]), 100 * median(cases[5]) / median(cases[4]));
    std::printf("a save that keeps a version takes %+.1f ms, one with none due %+.1f ms\n",
                median(cases[6]) - median(cases[4]), median(cases[7]) - median(cases[4]));
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
        QDir::setCurrent(scratch.path());
        ini::setSettingsPath(scratch.filePath(QStringLiteral("main.ini")));
        const QString diary = scratch.filePath(kUser);
        if (args.size() > 1) {
            if (!QFile::copy(args[1], diary))
                throw Exception(QStringLiteral("cannot copy %1").arg(args[1]));
        } else {
            bench::writeDiary(diary, 3650);
        }
        const QString original = diary + QStringLiteral(".original");
        QFile::copy(diary, original);
        const auto restore = [&] {
            QFile::remove(diary);
            QFile::copy(original, diary);
        };

        std::printf("diary: %s, %lld bytes, %d cores\n",
                    qPrintable(args.size() > 1 ? args[1] : diary), qint64(QFileInfo(diary).size()),
                    QThread::idealThreadCount());
        TArchiveReader reader;
        reader.SetZipName(diary);
        QList<TListPage::Row> rows;
        for (const diary::ListRow &row : diary::listEntries(reader).rows)
            rows.append({row.name, row.weather, row.mood, row.summary, row.nameBytes});
        std::printf("%lld rows\n", qint64(rows.size()));
        TListPage page;

        msgbox::setInterceptor([](const msgbox::Shown &box) {
            std::fprintf(stderr, "box: %s\n", qPrintable(box.text));
            return QMessageBox::Ok;
        });
        TForm1 form;
        form.show();
        form.setDiaryPath(kUser);
        form.ArchiveReader1()->SetZipName(kUser);
        form.ArchiveWriter1()->SetZipName(kUser);
        int edit = 0;
        const auto nothing = [] {};
        const auto clickList = [&] {
            form.NavBtn4Click();
            QCoreApplication::processEvents();
        };
        // An entry in the middle of the diary open on the write page, changed.
        const auto openAndChange = [&] {
            restore();
            clickList();
            form.ListPage()->selectRow(1000 + 7 * edit++);
            form.SeeExecute();
            QTextCursor end(form.WritePage()->RichEdit1->document());
            end.movePosition(QTextCursor::End);
            end.insertText(QStringLiteral("又写了一句。"));
            QCoreApplication::processEvents();
        };

        // The first listing after a login: the window's cache of rows is dropped by a listing of
        // another diary path, untimed.
        const auto dropCache = [&] {
            form.setDiaryPath(QStringLiteral("someone else"));
            clickList();
            form.setDiaryPath(kUser);
        };
        // Today's entry open on the write page, changed.
        const auto writeToday = [&] {
            form.NavBtn3Click();
            QTextCursor end(form.WritePage()->RichEdit1->document());
            end.movePosition(QTextCursor::End);
            end.insertText(QStringLiteral("又写了一句。"));
            QCoreApplication::processEvents();
        };
        TListPage *list = form.ListPage();
        const auto typeWord = [&] {
            list->SearchEdit->setText(QStringLiteral("下雨"));
            QCoreApplication::processEvents();
        };
        const auto clearSearch = [&] {
            list->clearSearch();
            QCoreApplication::processEvents();
        };
        diary::SearchIndex index;
        diary::SearchQuery rain;
        rain.text = QStringLiteral("下雨");

        std::vector<Case> cases;
        const auto unzip = [&] { unzipToNull(diary); };
        cases.push_back({"unzip -p -P … FILE > /dev/null", nothing, unzip, {}});
        cases.push_back({"first ListEntries (no rows kept), click to table", dropCache, clickList, {}});
        cases.push_back({"ListEntries again, nothing changed", nothing, clickList, {}});
        cases.push_back({"save today's entry + ListEntries", writeToday, clickList, {}});
        // What the return to the list costs beyond the save: one entry in the middle stored
        // (untimed, as the page switch would), then 看日记 on the list page.
        TArchiveWriter saver;
        saver.SetZipName(diary);
        int stored = 0;
        const auto storeOne = [&] {
            clickList();
            QTextDocument body;
            body.setPlainText(QStringLiteral("改过第%1次。").arg(++stored));
            diary::storeEntry(saver, rows[1000 + stored % 7].key, diary::makeRecord(body, 1, 2));
        };
        cases.push_back({"ListEntries after one entry was stored", storeOne, clickList, {}});
        cases.push_back({"save an entry in the middle + ListEntries", openAndChange, clickList, {}});
        // The autosave of a changed entry in the middle: what the window's thread spends on it
        // (the record made, the rewrite handed to the worker), and the whole save with the wait
        // for the rewrite, which is what the window's thread spent when it rewrote itself.
        const auto changedAfterSave = [&] {
            form.waitForAutoSave();
            openAndChange();
        };
        const auto autosave = [&] { form.autoSave()->fire(); };
        cases.push_back({"autosave, the window's thread only", changedAfterSave, autosave, {}});
        cases.push_back({"autosave and its rewrite waited for", changedAfterSave, [&] {
                             form.autoSave()->fire();
                             form.waitForAutoSave();
                         }, {}});
        cases.push_back({"listEntries alone (decoding on the other cores)", nothing,
                         [&] { diary::listEntries(reader); }, {}});
        const auto serially = [&] { listSerially(diary); };
        cases.push_back({"listEntries serially (one thread)", nothing, serially, {}});
        diary::ListingCache cache;
        cases.push_back({"listEntries, every row kept from before", [&] {
                             if (cache.size() == 0)
                                 diary::listEntries(reader, nullptr, &cache);
                         }, [&] { diary::listEntries(reader, nullptr, &cache); }, {}});
        QList<diary::ListRow> listed = diary::listEntries(reader).rows;
        cases.push_back({"the list page's setRows alone", nothing,
                         [&] { page.setRows(listed); }, {}});
        cases.push_back({"filling and sorting the table alone", [&] { page.clearRows(); },
                         [&] { page.addRows(rows); }, {}});
        cases.push_back({"keystroke: filter the table by 下雨", clearSearch, typeWord, {}});
        cases.push_back({"first keystroke after a listing", [&] {
                             clearSearch();
                             clickList();
                         }, typeWord, {}});
        cases.push_back({"SearchIndex::find 下雨 alone", [&] {
                             if (index.size() == 0)
                                 index = diary::SearchIndex(diary::listEntries(reader).rows);
                         }, [&] { index.find(rain); }, {}});
        cases.push_back({"SearchIndex::find #旅行 (tag filter) alone", [&] {
                             if (index.size() == 0)
                                 index = diary::SearchIndex(diary::listEntries(reader).rows);
                         }, [&] {
                             diary::SearchQuery trip;
                             trip.setSearchText(QStringLiteral("#旅行"));
                             if (index.find(trip).isEmpty())
                                 throw Exception(QStringLiteral("no entry carries #旅行"));
                         }, {}});
        cases.push_back({"keystroke: the tag drop-down picks 旅行", clearSearch, [&] {
                             if (!list->TagFilter->pickTag(QStringLiteral("旅行")))
                                 throw Exception(QStringLiteral("the drop-down has no 旅行"));
                         }, {}});
        cases.push_back({"那年今日 with the same lunar date", clearSearch,
                         [&] { list->OnThisDay->setChecked(true); }, {}});
        cases.push_back({"calendar: next month shown and painted",
                         [&] { list->CalendarButton->setChecked(true); },
                         [&] {
                             list->Calendar->Calendar1->showNextMonth();
                             list->Calendar->repaint();
                         }, {}});
        // DIARY_BENCH_GAPS_ONLY=1: only the longest gaps below, for a quick look at a large diary.
        if (!qEnvironmentVariableIsSet("DIARY_BENCH_GAPS_ONLY"))
            measure(cases);
        form.waitForAutoSave();

        // What the user feels: the longest gap between two ticks of a 1 ms timer on the window's
        // thread from the command's start until its outcome is shown (the window paints and
        // answers only between ticks), for the autosave, the save command, the first listing of
        // the diary, and 写日记 while another program holds the diary's lock for a second. Each
        // of them waits for the diary off the window's thread. Median and longest of the runs.
        const auto longestGap = [&](const std::function<void()> &save) {
            QElapsedTimer clock;
            clock.start();
            qint64 last = 0;
            qint64 longest = 0;
            QTimer tick;
            tick.setInterval(1);
            QObject::connect(&tick, &QTimer::timeout, [&] {
                const qint64 now = clock.nsecsElapsed();
                longest = std::max(longest, now - last);
                last = now;
            });
            tick.start();
            while (clock.elapsed() < 5)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            last = clock.nsecsElapsed();
            longest = 0;
            save();
            const qint64 saved = clock.elapsed();
            while (form.autoSaveRunning() || clock.elapsed() < saved + 5)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            return double(longest) / 1e6;
        };
        const auto printGaps = [](const char *what, std::vector<double> gaps) {
            std::sort(gaps.begin(), gaps.end());
            std::printf("longest tick gap, %-44s median %6.1f ms, longest %6.1f ms\n", what,
                        gaps[gaps.size() / 2], gaps.back());
            std::fflush(stdout);
        };
        for (const bool background : {true, false}) {
            std::vector<double> gaps;
            for (int i = 0; i < 7; ++i) {
                changedAfterSave();
                gaps.push_back(longestGap([&] {
                    if (background)
                        form.autoSave()->fire();
                    else
                        form.WritePage()->Action1->trigger();
                }));
            }
            printGaps(background ? "autosave" : "save command", gaps);
        }
        {
            std::vector<double> gaps;
            for (int i = 0; i < 7; ++i) {
                dropCache();
                gaps.push_back(longestGap(clickList));
            }
            printGaps("first ListEntries, click to painted table", gaps);
        }
        {
            // util-linux's flock holds the diary folder's lock for a second, as another copy of
            // the program saving a large diary would.
            std::vector<double> gaps;
            for (int i = 0; i < 3; ++i) {
                clickList();
                QProcess other;
                other.start(QStringLiteral("flock"),
                            {QStringLiteral("-x"), scratch.filePath(QStringLiteral(".quillbook.lock")),
                             QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("echo held; sleep 1")});
                if (!other.waitForReadyRead(10000))
                    throw Exception(QStringLiteral("flock did not take the lock"));
                QElapsedTimer waited;
                waited.start();
                gaps.push_back(longestGap([&] { form.NavBtn3Click(); }));
                if (waited.elapsed() < 500)
                    throw Exception(QStringLiteral("写日记 did not wait for the lock"));
                other.waitForFinished(10000);
            }
            printGaps("写日记 while another program holds the lock 1 s", gaps);
        }
        clearSearch();
        if (!cases[0].times.empty())
            std::printf("first ListEntries takes %.0f %% of unzip's time; ListEntries after one entry was stored %.1f ms\n",
                        100 * median(cases[1]) / median(cases[0]), median(cases[4]));
        qsizetype summaries = 0;
        for (const TListPage::Row &row : rows)
            summaries += row.summary.size();
        std::printf("plain text kept: summaries %.1f MiB, folded for search %.1f MiB (UTF-16)\n",
                    double(summaries) * 2 / (1 << 20), double(index.heldCharacters()) * 2 / (1 << 20));
        if (form.ListPage()->rowCount() != rows.size())
            throw Exception(
                QStringLiteral("the table shows %1 rows").arg(form.ListPage()->rowCount()));
        restore();
        if (!qEnvironmentVariableIsSet("DIARY_BENCH_GAPS_ONLY"))
            comparePrivate(original);
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
