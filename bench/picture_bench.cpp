// picture-bench [DAYS]: what pictures in entries cost. Times opening (LoadRecord), saving
// (SaveRecord) and summarising (the list page's way) one entry that holds a 5 MB photo, then
// summarising every record of the generated ten-year diary (DAYS days, default 3650) as the list
// page does, once as generated and once with a 300 KB picture in every tenth entry. Every figure
// is the median of several runs, in milliseconds.
// picture-bench --sample FILE: writes an entry with a PNG drawing and a JPEG photo as the program
// saves it, for opening in other word processors.

#include "diary_generator.h"

#include "diary/entry.h"
#include "richtext/pictures.h"
#include "richtext/rich_text.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTextCursor>
#include <QTextDocument>

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

// A real photo-like JPEG of about the given size.
QByteArray realJpeg(int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            image.setPixel(x, y, qRgb((x + random.bounded(64)) % 256, (y * 3) % 256, random.bounded(256)));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    return bytes;
}

QByteArray withPicture(const QByteArray &record, const QByteArray &picture)
{
    QTextDocument doc;
    richtext::LoadRecord(record, doc);
    const QString weather = richtext::takeFirstLine(doc);
    const QString mood = richtext::takeFirstLine(doc);
    QTextCursor cursor(&doc);
    cursor.insertImage(richtext::addPicture(doc, {richtext::PictureKind::Jpeg, picture}));
    cursor.insertBlock();
    return richtext::SaveRecord(doc, weather.toInt(), mood.toInt());
}

qsizetype summariseAll(const QList<QByteArray> &records)
{
    qsizetype check = 0;
    for (const QByteArray &r : records)
        check += richtext::summarizeRecordIfReadable(r, diary::kMaxSummaryLength)->body.size();
    return check;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 3 && QByteArrayView(argv[1]) == "--sample") {
        QTextDocument doc;
        QTextCursor cursor(&doc);
        cursor.insertText(QStringLiteral("今天去了公园，拍了一张照片。"));
        cursor.insertBlock();
        QImage drawing(160, 90, QImage::Format_RGB32);
        drawing.fill(Qt::white);
        drawing.fill(QColor(0, 160, 0));
        QByteArray png;
        QBuffer pngBuffer(&png);
        pngBuffer.open(QIODevice::WriteOnly);
        drawing.save(&pngBuffer, "PNG");
        cursor.insertImage(richtext::addPicture(doc, {richtext::PictureKind::Png, png}));
        cursor.insertBlock();
        cursor.insertImage(richtext::addPicture(doc, {richtext::PictureKind::Jpeg, realJpeg(200)}));
        cursor.insertText(QStringLiteral(" 完"));
        QFile out(QString::fromLocal8Bit(argv[2]));
        if (!out.open(QIODevice::WriteOnly) || out.write(richtext::SaveRecord(doc, 1, 2)) < 0)
            return 1;
        return 0;
    }
    const int days = argc > 1 ? std::max(1, atoi(argv[1])) : 3650;

    const QByteArray jpeg = realJpeg(1600);
    std::printf("a real 1600 px JPEG of %lld KB\n", qlonglong(jpeg.size() / 1024));
    const QByteArray realEntry = withPicture(bench::diaryRecord(0), jpeg);
    measure("  open (LoadRecord, picture decoded)", [&] {
        QTextDocument doc;
        richtext::LoadRecord(realEntry, doc);
    });

    const QByteArray photo = realJpeg(2530);
    const QByteArray big = withPicture(bench::diaryRecord(1), photo);
    std::printf("an entry with a %lld KB photo: record of %lld KB\n", qlonglong(photo.size() / 1024),
                qlonglong(big.size() / 1024));
    QTextDocument opened;
    measure("  open (LoadRecord, picture decoded)", [&] { richtext::LoadRecord(big, opened); });
    measure("  save (SaveRecord)", [&] { (void)richtext::SaveRecord(opened, 1, 2); });
    measure("  list (summarizeRecordIfReadable)", [&] {
        (void)richtext::summarizeRecordIfReadable(big, diary::kMaxSummaryLength);
    });

    const QByteArray small = realJpeg(620);
    std::printf("a %lld KB picture in every tenth entry\n", qlonglong(small.size() / 1024));
    QList<QByteArray> plain;
    QList<QByteArray> pictured;
    qsizetype plainBytes = 0, picturedBytes = 0;
    for (int day = 0; day < days; ++day) {
        plain.append(bench::diaryRecord(day));
        pictured.append(day % 10 == 0 ? withPicture(plain.back(), small) : plain.back());
        plainBytes += plain.back().size();
        picturedBytes += pictured.back().size();
    }
    std::printf("listing %d days: %lld MB of records without pictures, %lld MB with\n", days,
                qlonglong(plainBytes >> 20), qlonglong(picturedBytes >> 20));
    qsizetype check = 0;
    measure("  summaries, no pictures", [&] { check += summariseAll(plain); });
    measure("  summaries, a 300 KB picture in every tenth entry", [&] { check += summariseAll(pictured); });
    return check > 0 ? 0 : 1;
}
