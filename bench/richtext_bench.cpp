// richtext-bench [DAYS]: how fast diary entry records decode, for the list page. Takes the
// records of the generated ten-year diary (DAYS days, default 3650; rich edit style, 1 to 2 KiB
// of Chinese text each) and times, in one run: extracting them all from the archive, decoding
// them all with summarizeRecord (the list page's way, no document), and decoding them the long
// way (LoadRecord into a document, both index lines taken out, plainBody of the rest). The same
// records written again by SaveRecord with formats (bold, colour, alignment, bullets) are timed
// too. Every figure is the median of several runs, in milliseconds.

#include "diary_generator.h"

#include "archive/archive_reader.h"
#include "platform/exception.h"
#include "richtext/rich_text.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kRuns = 5;

void measure(const char *what, const std::function<void()> &body)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        body();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("%-62s %9.1f ms\n", what, times[times.size() / 2]);
    std::fflush(stdout);
}

// The record again as the program writes it after the user formatted the body.
QByteArray formatted(const QByteArray &record, int day)
{
    QTextDocument doc;
    richtext::LoadRecord(record, doc);
    const QString weather = richtext::takeFirstLine(doc);
    const QString mood = richtext::takeFirstLine(doc);
    QTextCursor c(&doc);
    int n = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next(), ++n) {
        c.setPosition(b.position());
        c.setPosition(b.position() + b.length() - 1, QTextCursor::KeepAnchor);
        QTextCharFormat f;
        if ((n + day) % 3 == 0)
            f.setFontWeight(QFont::Bold);
        if ((n + day) % 4 == 1)
            f.setForeground(QColor(200, 0, 0));
        if (n % 5 == 2)
            f.setFontFamilies({QStringLiteral("黑体")});
        c.mergeCharFormat(f);
        if (n % 6 == 1) {
            QTextBlockFormat centred;
            centred.setAlignment(Qt::AlignHCenter);
            c.mergeBlockFormat(centred);
        }
    }
    if (doc.blockCount() > 2) {
        QTextCursor last(doc.lastBlock());
        last.createList(QTextListFormat::ListDisc);
    }
    return richtext::SaveRecord(doc, weather.toInt(), mood.toInt());
}

void timeDecoding(const char *set, const QList<QByteArray> &records)
{
    qint64 bytes = 0;
    for (const QByteArray &r : records)
        bytes += r.size();
    std::printf("%s: %lld records, %lld bytes of RTF\n", set, qint64(records.size()), bytes);
    qint64 check = 0;
    measure("  summarizeRecord (list page, no document)", [&] {
        check = 0;
        for (const QByteArray &r : records)
            check += richtext::summarizeRecord(r).body.size();
    });
    qint64 slow = 0;
    measure("  LoadRecord + takeFirstLine x2 + plainBody", [&] {
        slow = 0;
        QTextDocument doc;
        for (const QByteArray &r : records) {
            richtext::LoadRecord(r, doc);
            richtext::takeFirstLine(doc);
            richtext::takeFirstLine(doc);
            slow += richtext::plainBody(doc).size();
        }
    });
    if (check != slow)
        std::printf("  MISMATCH: %lld characters of body text against %lld\n", check, slow);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int days = args.size() > 1 ? args[1].toInt() : 3650;

    try {
        QTemporaryDir scratch;
        const QString diary = scratch.filePath(QStringLiteral("diary"));
        bench::writeDiary(diary, days);
        const QString password = QString::fromLatin1(bench::kArchivePassword);

        QList<QByteArray> records;
        measure("extract every entry from the archive (open + by name)", [&] {
            records.clear();
            TArchiveReader reader;
            reader.SetZipName(diary);
            reader.SetPassword(password);
            reader.OpenArchive();
            for (int i = 0; i < reader.EntryCount(); ++i) {
                QBuffer stream;
                stream.open(QIODevice::ReadWrite);
                reader.ExtractToStream(reader.EntryName(i), stream);
                records.append(stream.data());
            }
        });
        timeDecoding("the generated diary's records", records);

        QList<QByteArray> ours;
        for (int i = 0; i < records.size(); ++i)
            ours.append(formatted(records[i], i));
        timeDecoding("the same records with formats, as SaveRecord writes them", ours);
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
