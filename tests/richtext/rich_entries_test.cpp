#include "doc_inspect.h"

#include "richtext/pictures.h"
#include "richtext/rich_text.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include <gtest/gtest.h>

using inspect::describe;
using inspect::runWith;

namespace {

// A document the way the writers below start theirs: a Latin font and a GBK one.
QByteArray rtf(const char *body)
{
    return QByteArray(R"({\rtf1\ansi\ansicpg936\deff0{\fonttbl{\f0\froman\fcharset0 Liberation Serif;}{\f1\fnil\fcharset134 SimSun;}}
\pard\plain \f0\fs24 )") + body + "}";
}

struct ReadCase {
    const char *name;
    const char *body;
    QStringList paragraphs;
    const char16_t *probe = nullptr;   // a run to look at, if any
    bool bold = false;
    double points = 12;
};

// Each as the named writer makes it.
const ReadCase kReadCases[] = {
    {"LibreOffice states bold and size of Chinese only as associated properties",
     R"({\rtlch \ltrch\loch\f0\fs24 Plain }{\rtlch \ltrch\hich\af1\dbch\af1\dbch\ab\afs40\dbch \u31895\'b4\u20307\'cc}\par)",
     {QStringLiteral("Plain 粗体")}, u"粗体", true, 20},
    {"associated properties do not reach Latin text after the script changes back",
     R"({\dbch\ab\afs40\loch latin}\par)", {QStringLiteral("latin")}, u"latin", false, 12},
    {"associated properties stated for right-to-left text are not the Chinese run's (Word)",
     R"({\rtlch\fcs1 \ab\afs40 \ltrch\fcs0 \f1\hich\af1\dbch\af1 \'d6\'d0}\par)",
     {QStringLiteral("中")}, u"中", false, 12},
    {"a field's result marked ignorable is body text (AbiWord)",
     R"({\field{\*\fldinst HYPERLINK "http://example.com/"}{\*\fldrslt {\ul\f1 \'c1\'b4\'bd\'d3\f0  link}}} after\par)",
     {QStringLiteral("链接 link after")}},
    {"a column break is a paragraph break", R"(C\column D\par)",
     {QStringLiteral("C"), QStringLiteral("D")}},
    {"Word's footnote: numbered mark in place, its text at the end",
     R"(Before{\super\chftn}{\footnote \pard\plain {\super\chftn} Word note\par} after\par Last\par)",
     {QStringLiteral("Before1 after"), QStringLiteral("Last"), QStringLiteral("1 Word note")}},
    {"LibreOffice's footnotes, numbered in order",
     R"(A{\super\chftn}{\*\footnote\chftn\pard\plain\s5 first}B{\super\chftn}{\*\footnote\chftn\pard\plain second}\par)",
     {QStringLiteral("A1B2"), QStringLiteral("1first"), QStringLiteral("2second")}},
    {"a footnote without a mark is numbered at the end",
     R"(Text{\footnote \pard\plain plain note\par}\par)",
     {QStringLiteral("Text"), QStringLiteral("1 plain note")}},
    {"a double-byte character split by groups", R"(\f1 A{\'d6}{\'d0}B\par)",
     {QStringLiteral("A中B")}},
    {"a double-byte character split by a format word", R"(\f1\'d6\b\'d0\par)",
     {QStringLiteral("中")}, u"中", true, 12},
    {"a lone lead byte still shows as a broken character", R"(\f1 x\'d6\par y\par)",
     {QStringLiteral("x\uFFFD"), QStringLiteral("y")}},
};

TEST(OtherWriters, ReadAsTheyMeantIt)
{
    for (const ReadCase &c : kReadCases) {
        SCOPED_TRACE(c.name);
        QTextDocument doc;
        richtext::readRtf(rtf(c.body), doc);
        EXPECT_EQ(inspect::texts(doc), c.paragraphs);
        EXPECT_EQ(richtext::rtfParagraphs(rtf(c.body)), c.paragraphs);
        if (c.probe) {
            const auto paragraphs = describe(doc);
            const inspect::Run run = runWith(paragraphs[0], QString::fromUtf16(c.probe));
            ASSERT_FALSE(run.text.isEmpty());
            EXPECT_EQ(run.bold, c.bold);
            EXPECT_EQ(run.points, c.points);
        }
    }
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage drawing(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(QPen(Qt::blue, 3));
    p.drawEllipse(image.rect().adjusted(2, 2, -2, -2));
    return image;
}

// The pictures of a document in order, with their bytes.
std::vector<richtext::Picture> picturesOf(const QTextDocument &doc)
{
    std::vector<richtext::Picture> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                for (qsizetype i = 0; i < it.fragment().length(); ++i)
                    out.push_back(*richtext::pictureOf(doc, it.fragment().charFormat().toImageFormat()));
    return out;
}

QByteArray pictGroup(const char *words, const QByteArray &data)
{
    return QByteArray("{\\pict") + words + ' ' + data.toHex() + '}';
}

TEST(Pictures, OtherWritersPicturesAreShownWithTheirBytes)
{
    const QByteArray png = encoded(drawing(40, 20), "PNG");
    const QByteArray jpeg = encoded(drawing(30, 30), "JPEG");
    const QByteArray wmf = QByteArray::fromHex("010009000003");
    const QByteArray body = "A" + pictGroup("\\picscalex50\\picscaley50\\picw40\\pich20\\picwgoal600\\pichgoal300\\pngblip", png)
                            + "{\\*\\shppict" + pictGroup("\\jpegblip\\picw30\\pich30", jpeg) + "}"
                            + "{\\nonshppict" + pictGroup("\\wmetafile8", jpeg) + "}"
                            + pictGroup("\\wmetafile8\\picw2000\\pich1000\\picwgoal1440\\pichgoal720", wmf)
                            + "B\\par ";
    QTextDocument doc;
    richtext::readRtf(rtf(body.constData()), doc);
    EXPECT_EQ(doc.begin().text(), QStringLiteral("A\uFFFC\uFFFC\uFFFCB"));
    const auto pictures = picturesOf(doc);
    ASSERT_EQ(pictures.size(), 3u);
    EXPECT_EQ(pictures[0].data, png);
    EXPECT_EQ(pictures[0].kind, richtext::PictureKind::Png);
    EXPECT_EQ(pictures[0].goalWidth, 300);   // scaled to half of 600 twips
    EXPECT_EQ(pictures[1].data, jpeg);
    EXPECT_EQ(pictures[1].goalWidth, 30 * 15);
    EXPECT_EQ(pictures[2].data, wmf);
    EXPECT_EQ(pictures[2].kind, richtext::PictureKind::Wmf);

    // Shown: the PNG decoded, the metafile as a box of its goal size (1 inch by half an inch).
    QTextBlock::iterator it = doc.begin().begin();
    ++it;
    const QTextImageFormat first = it.fragment().charFormat().toImageFormat();
    const QImage shown = doc.resource(QTextDocument::ImageResource, QUrl(first.name())).value<QImage>();
    EXPECT_EQ(shown.size(), QSize(40, 20));
    EXPECT_EQ(first.width(), 20);
    EXPECT_EQ(pictures[2].goalWidth, 1440);
    ++it;
    ++it;
    const QTextImageFormat box = it.fragment().charFormat().toImageFormat();
    EXPECT_EQ(doc.resource(QTextDocument::ImageResource, QUrl(box.name())).value<QImage>().size(),
              QSize(96, 48));

    EXPECT_EQ(richtext::plainBody(doc), QStringLiteral("AB"));
    EXPECT_EQ(richtext::rtfParagraphs(rtf(body.constData())), QStringList{QStringLiteral("AB")});
}

TEST(Pictures, AnEntryWithAPngAndAJpegKeepsTheirBytesThroughSaveAndOpen)
{
    const QByteArray png = encoded(drawing(64, 48), "PNG");
    QImage photo(120, 80, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y, qRgb(x * 2, y * 3, (x * y) % 256));
    const QByteArray jpeg = encoded(photo, "JPEG");

    QTextDocument doc;
    QTextCursor cursor(&doc);
    cursor.insertText(QStringLiteral("今天的照片"));
    cursor.insertImage(richtext::addPicture(doc, {richtext::PictureKind::Png, png}));
    cursor.insertBlock();
    cursor.insertImage(richtext::addPicture(doc, {richtext::PictureKind::Jpeg, jpeg}));
    cursor.insertText(QStringLiteral(" 完"));

    const QByteArray record = richtext::SaveRecord(doc, 2, 5);
    EXPECT_TRUE(record.contains("{\\pict\\pngblip\\picw64\\pich48\\picwgoal960\\pichgoal720\r\n"));
    EXPECT_TRUE(record.contains("\\jpegblip\\picw120\\pich80"));

    QTextDocument reopened;
    richtext::LoadRecord(record, reopened);
    EXPECT_EQ(richtext::takeFirstLine(reopened), QStringLiteral("2"));
    EXPECT_EQ(richtext::takeFirstLine(reopened), QStringLiteral("5"));
    EXPECT_EQ(inspect::texts(reopened), QStringList({QStringLiteral("今天的照片"), QStringLiteral(" 完")}));
    const auto pictures = picturesOf(reopened);
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[0].data, png);
    EXPECT_EQ(pictures[1].data, jpeg);
    EXPECT_EQ(pictures[1].kind, richtext::PictureKind::Jpeg);
    // Saved again, the record is the same bytes.
    EXPECT_EQ(richtext::SaveRecord(reopened, 2, 5), record);

    // Opening another entry in the same document lets go of the pictures' bytes.
    QTextBlock::iterator it = reopened.begin().begin();
    ++it;
    const QTextImageFormat format = it.fragment().charFormat().toImageFormat();
    ASSERT_TRUE(richtext::pictureOf(reopened, format));
    richtext::LoadRecord(rtf("1\\par 2\\par text\\par"), reopened);
    EXPECT_FALSE(richtext::pictureOf(reopened, format));
}

TEST(Pictures, AnImageTheDocumentHoldsOnlyAsAnImageIsWrittenAsPng)
{
    QTextDocument doc;
    doc.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("pasted")), drawing(10, 8));
    QTextCursor cursor(&doc);
    cursor.insertImage(QStringLiteral("pasted"));
    QTextDocument reopened;
    richtext::readRtf(richtext::writeRtf(doc), reopened);
    const auto pictures = picturesOf(reopened);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(QImage::fromData(pictures[0].data, "PNG").size(), QSize(10, 8));
}

TEST(Pictures, SummariesIgnorePicturesAndAPictureOnlyEntryIsAPicture)
{
    const QByteArray png = encoded(drawing(16, 16), "PNG");
    const QByteArray pict = pictGroup("\\pngblip\\picw16\\pich16", png);
    const QByteArray only = rtf(("1\\par 3\\par " + pict + "\\par").constData());
    const QByteArray mixed = rtf(("1\\par 3\\par words" + pict + " more\\par").constData());
    for (qsizetype limit : {qsizetype(-1), qsizetype(40)}) {
        EXPECT_EQ(richtext::summarizeRecordIfReadable(only, limit)->body, QStringLiteral("[图片]"));
        EXPECT_EQ(richtext::summarizeRecordIfReadable(mixed, limit)->body, QStringLiteral("words more"));
    }
    EXPECT_EQ(richtext::summarizeRecord(mixed).line2, QStringLiteral("3"));

    // A picture in an index line is no part of its text, in the summary and in the editor.
    const QByteArray inLine = rtf(("1\\par " + pict + "3\\par body\\par").constData());
    QTextDocument doc;
    richtext::LoadRecord(inLine, doc);
    EXPECT_EQ(richtext::takeFirstLine(doc), QStringLiteral("1"));
    EXPECT_EQ(richtext::takeFirstLine(doc), QStringLiteral("3"));
    EXPECT_EQ(richtext::summarizeRecord(inLine).line2, QStringLiteral("3"));
    // Only pictures in the body make a body of pictures.
    const QByteArray onlyInLine = rtf(("1\\par " + pict + "3\\par").constData());
    EXPECT_EQ(richtext::summarizeRecord(onlyInLine).body, QString());
}

} // namespace
