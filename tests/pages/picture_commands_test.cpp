#include "diary/record_limit.h"
#include "pages/picture_commands.h"
#include "platform/message_box.h"
#include "pages/printing.h"
#include "richtext/pictures.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

using picture_commands::PictureSize;
using richtext::PictureKind;

namespace {

QByteArray encoded(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

// A drawing: few colours, flat areas.
QImage drawing(int w, int h, QColor colour = Qt::darkGreen)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.fillRect(QRect(w / 4, h / 4, w / 2, h / 2), colour);
    return image;
}

// A photo: a smooth field of many colours with grain.
QImage photo(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 255 / w + (x * y) % 7) & 255, (y * 255 / h) & 255,
                                      ((x + y) * 97) & 255));
    return image;
}

// The image formats of the editor's pictures, in order.
QList<QTextImageFormat> imagesOf(const QTextDocument &doc)
{
    QList<QTextImageFormat> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                out.append(it.fragment().charFormat().toImageFormat());
    return out;
}

struct Editor {
    picture_commands::PictureTextEdit edit;
    Editor() { edit.resize(400, 300); }
};

} // namespace

class PictureCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void picturesAreMadeFitForAnEntry_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("keptAsIs");
        QTest::newRow("a large drawing stays PNG, scaled down")
            << encoded(drawing(3200, 800), "PNG") << int(PictureKind::Png) << QSize(1600, 400) << false;
        QTest::newRow("a large photo stays JPEG, scaled down")
            << encoded(photo(2000, 1500), "JPEG", 90) << int(PictureKind::Jpeg) << QSize(1600, 1200) << false;
        QTest::newRow("a photo saved as PNG becomes JPEG")
            << encoded(photo(300, 200), "PNG") << int(PictureKind::Jpeg) << QSize(300, 200) << false;
        QTest::newRow("a BMP drawing becomes PNG")
            << encoded(drawing(100, 50), "BMP") << int(PictureKind::Png) << QSize(100, 50) << false;
        QTest::newRow("a small photo is kept as it is")
            << encoded(photo(200, 150), "JPEG", 60) << int(PictureKind::Jpeg) << QSize(200, 150) << true;
    }
    void picturesAreMadeFitForAnEntry()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, kind);
        QFETCH(QSize, size);
        QFETCH(bool, keptAsIs);
        const std::optional<richtext::Picture> p = picture_commands::pictureFromFile(file);
        QVERIFY(p);
        QCOMPARE(int(p->kind), kind);
        QCOMPARE(QSize(p->width, p->height), size);
        QCOMPARE(QImage::fromData(p->data).size(), size);
        QCOMPARE(p->data == file, keptAsIs);
        QVERIFY(p->data.size() <= file.size() || !keptAsIs);
    }

    void bytesThatAreNoImageAreRefused()
    {
        QVERIFY(!picture_commands::pictureFromFile("not a picture"));
        Editor e;
        QVERIFY(!picture_commands::insertPictureFile(&e.edit, QStringLiteral("/nonexistent.png")));
        QVERIFY(imagesOf(*e.edit.document()).isEmpty());
    }

    void insertedPicturesAreNoWiderThanTheEditorAndResizeByCommand()
    {
        Editor e;
        e.edit.show();
        picture_commands::insertPicture(&e.edit, *picture_commands::pictureFromFile(
                                                     encoded(drawing(1200, 600), "PNG")));
        QList<QTextImageFormat> images = imagesOf(*e.edit.document());
        QCOMPARE(images.size(), 1);
        QVERIFY(images[0].width() <= e.edit.viewport()->width());
        QCOMPARE(images[0].height(), images[0].width() / 2);

        QVERIFY(picture_commands::hasPictureAtCursor(&e.edit));
        QVERIFY(picture_commands::resizePicture(&e.edit, PictureSize::Quarter));
        QCOMPARE(imagesOf(*e.edit.document())[0].width(), 300.0);
        QVERIFY(picture_commands::resizePicture(&e.edit, PictureSize::Half));
        QCOMPARE(imagesOf(*e.edit.document())[0].height(), 300.0);
        QVERIFY(picture_commands::resizePicture(&e.edit, PictureSize::Full));
        QCOMPARE(imagesOf(*e.edit.document())[0].width(), 1200.0);
        QVERIFY(picture_commands::resizePicture(&e.edit, PictureSize::FitWidth));
        QVERIFY(imagesOf(*e.edit.document())[0].width() <= e.edit.viewport()->width());

        // Text typed after a picture is text.
        e.edit.insertPlainText(QStringLiteral("字"));
        QVERIFY(!picture_commands::hasPictureAtCursor(&e.edit));
        QCOMPARE(imagesOf(*e.edit.document()).size(), 1);
        QVERIFY(e.edit.toPlainText().endsWith(QStringLiteral("字")));
        QVERIFY(!picture_commands::resizePicture(&e.edit, PictureSize::Half));
        e.edit.moveCursor(QTextCursor::Start);
        QVERIFY(!picture_commands::hasPictureAtCursor(&e.edit));
    }

    void pastedImagesAndDroppedFilesBecomePictures()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("照片.png"));
        QVERIFY(drawing(80, 40).save(path));
        Editor e;
        QMimeData pasted;
        pasted.setImageData(drawing(30, 30, Qt::red));
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(path)});
        QMimeData text;
        text.setText(QStringLiteral("文字"));

        picture_commands::PictureTextEdit *edit = &e.edit;
        QVERIFY(edit->canInsertFromMimeData(&pasted));
        edit->insertFromMimeData(&pasted);
        edit->insertFromMimeData(&dropped);
        edit->insertFromMimeData(&text);
        const QList<QTextImageFormat> images = imagesOf(*e.edit.document());
        QCOMPARE(images.size(), 2);
        QCOMPARE(images[0].width(), 30.0);
        QCOMPARE(images[1].width(), 80.0);
        QVERIFY(e.edit.toPlainText().endsWith(QStringLiteral("文字")));
        // What is saved is the picture's bytes.
        const auto saved = richtext::pictureOf(*e.edit.document(), images[1]);
        QVERIFY(saved);
        QCOMPARE(QImage::fromData(saved->data).size(), QSize(80, 40));
    }

    // A paste larger on its own than an entry may hold is refused with a box, before the editor
    // builds a document of it; a device dropped on the editor is never read.
    void whatNoEntryCouldHoldIsNotPastedAndNoDeviceIsRead()
    {
        Editor e;
        e.edit.setPlainText(QStringLiteral("原有的字"));
        QList<msgbox::Shown> boxes;
        msgbox::setInterceptor([&](const msgbox::Shown &box) {
            boxes.append(box);
            return QMessageBox::Ok;
        });
        QMimeData huge;
        huge.setText(QString(int(diary_limits::kMaxRecordSize / 2) + 1, u'字'));
        e.edit.insertFromMimeData(&huge);
        QVERIFY(!picture_commands::insertPictureFile(&e.edit, QStringLiteral("/dev/zero")));
        msgbox::setInterceptor({});
        QCOMPARE(e.edit.toPlainText(), QStringLiteral("原有的字"));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, diary_limits::pasteTooLarge());
        QCOMPARE(boxes[0].icon, QMessageBox::Warning);
    }

    // The page as it goes to paper holds the picture's pixels.
    void printedPagesShowPictures()
    {
        Editor e;
        e.edit.setPlainText(QStringLiteral("上面是图片"));
        QTextCursor c(e.edit.document());
        c.insertImage(richtext::addPicture(*e.edit.document(),
                                           {PictureKind::Png, encoded(drawing(120, 120, Qt::green), "PNG")}));
        const QSizeF a4(794, 1123);
        printing::PagedDocument pages(*e.edit.document(), Qt::blue, a4, 96, 96);
        QImage page(a4.toSize(), QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        pages.paintPage(painter, 0);
        painter.end();
        int green = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 300; ++x)
                green += page.pixel(x, y) == qRgb(0, 255, 0);
        QVERIFY2(green >= 50 * 50, qPrintable(QString::number(green)));
    }

    // Printed to a PDF and rendered by poppler, the page shows the picture.
    void printedPdfShowsPictures()
    {
        QTemporaryDir dir;
        Editor e;
        e.edit.setPlainText(QStringLiteral("图片在下面"));
        QTextCursor c(e.edit.document());
        c.movePosition(QTextCursor::End);
        c.insertImage(richtext::addPicture(*e.edit.document(),
                                           {PictureKind::Png, encoded(drawing(200, 200, Qt::green), "PNG")}));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("entry.pdf")));
        printing::printDocument(*e.edit.document(), Qt::blue, printer, QStringLiteral("entry"));
        const QString pdftoppm =
            QFileInfo(testing_support::pdftotextProgram()).dir().filePath(QStringLiteral("pdftoppm"));
        const auto result = testing_support::run(
            pdftoppm, {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("48"),
                       QStringLiteral("-singlefile"), dir.filePath(QStringLiteral("entry.pdf")),
                       dir.filePath(QStringLiteral("page"))});
        QCOMPARE(result.exitCode, 0);
        const QImage page(dir.filePath(QStringLiteral("page.png")));
        QVERIFY(!page.isNull());
        int green = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x) {
                const QColor p = page.pixelColor(x, y);
                green += p.green() > 200 && p.red() < 60 && p.blue() < 60;
            }
        // 100 × 100 document pixels at 48 dpi: about 50 × 50 page pixels.
        QVERIFY2(green >= 40 * 40, qPrintable(QString::number(green)));
    }
};

QTEST_MAIN(PictureCommandsTest)
#include "picture_commands_test.moc"
