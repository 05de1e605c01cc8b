#include "doc_inspect.h"
#include "samples.h"

#include "richtext/rich_text.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextListFormat>

#include <gtest/gtest.h>

using inspect::describe;
using inspect::runWith;

namespace {

QList<inspect::Paragraph> read(const QByteArray &bytes)
{
    QTextDocument doc;
    richtext::readRtf(bytes, doc);
    return describe(doc);
}

QStringList textsOf(const QList<inspect::Paragraph> &paragraphs)
{
    QStringList out;
    for (const auto &p : paragraphs)
        out.append(p.text);
    return out;
}

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

} // namespace

TEST(RichTextReader, ReadsVersionOneRichEditRecordsAsGbkWithTheirColourTable)
{
    const auto doc = read(samples::richEdit1());
    ASSERT_EQ(textsOf(doc), QStringList({QStringLiteral("2"), QStringLiteral("4"),
                                         QStringLiteral("今天 raw 你好中文"), QStringLiteral("item"),
                                         QStringLiteral("二")}));
    const inspect::Run today = runWith(doc[2], QStringLiteral("今天"));
    EXPECT_EQ(today.text, QStringLiteral("今天"));
    EXPECT_EQ(today.family, QStringLiteral("宋体"));
    EXPECT_EQ(today.points, 9.0);
    EXPECT_EQ(today.color, kRed);   // \cf1: the second colour listed
    // A font without a charset decodes with the document's code page, which is GBK.
    EXPECT_EQ(runWith(doc[2], QStringLiteral("中文")).family, QStringLiteral("MS Sans Serif"));
    EXPECT_FALSE(runWith(doc[2], QStringLiteral("raw")).color.isValid());
    EXPECT_EQ(doc[3].listStyle, QTextListFormat::ListDisc);
    EXPECT_EQ(doc[4].listStyle, QTextListFormat::ListDisc);
    EXPECT_EQ(doc[0].listStyle, 0);
}

TEST(RichTextReader, ReadsRichEditTwoRecordsWithFormatsBulletsAndSplitPairs)
{
    const auto doc = read(samples::richEdit2());
    ASSERT_EQ(textsOf(doc),
              QStringList({QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("中文"),
                           QStringLiteral("English"), QStringLiteral("red underline, strike, blue"),
                           QStringLiteral("一"), QStringLiteral("二"), QString(),
                           QStringLiteral("說這 嘰")}));
    EXPECT_EQ(doc[2].alignment, Qt::AlignHCenter);
    EXPECT_TRUE(doc[2].runs[0].bold);
    EXPECT_EQ(doc[3].alignment, Qt::AlignRight);
    EXPECT_TRUE(doc[3].runs[0].italic);
    EXPECT_EQ(doc[3].runs[0].family, QStringLiteral("Arial"));
    EXPECT_EQ(doc[3].runs[0].points, 12.0);

    const inspect::Run red = runWith(doc[4], QStringLiteral("red underline"));
    EXPECT_EQ(red.color, kRed);
    EXPECT_EQ(red.underline, QTextCharFormat::SingleUnderline);
    const inspect::Run strike = runWith(doc[4], QStringLiteral("strike"));
    EXPECT_TRUE(strike.strike);
    EXPECT_FALSE(strike.color.isValid());
    EXPECT_EQ(strike.underline, QTextCharFormat::NoUnderline);
    const inspect::Run blue = runWith(doc[4], QStringLiteral("blue"));
    EXPECT_EQ(blue.color, kBlue);
    EXPECT_EQ(blue.background, kRed);

    EXPECT_EQ(doc[5].listStyle, QTextListFormat::ListDisc);
    EXPECT_EQ(doc[6].listStyle, QTextListFormat::ListDisc);
    EXPECT_EQ(doc[7].listStyle, 0);
    EXPECT_EQ(doc[4].alignment, Qt::AlignLeft);
}

TEST(RichTextReader, BulletItemsOfOneRunShareOneList)
{
    QTextDocument doc;
    richtext::readRtf(samples::richEdit2(), doc);
    EXPECT_EQ(doc.findBlockByNumber(5).textList(), doc.findBlockByNumber(6).textList());
}

// The bullet is drawn in the block's character format: a reopened item's bullet is as large as
// its text, as a bullet typed in the editor is.
TEST(RichTextReader, BulletItemsTakeTheSizeOfTheirText)
{
    QTextDocument doc;
    richtext::readRtf(samples::richEdit2(), doc);
    const QTextBlock item = doc.findBlockByNumber(5);
    ASSERT_TRUE(item.textList());
    EXPECT_EQ(item.charFormat().fontPointSize(), 9);
    EXPECT_EQ(item.charFormat().fontPointSize(), item.begin().fragment().charFormat().fontPointSize());
}

TEST(RichTextReader, ReadsWordWithUnicodeFallbacksListsFieldsAndSkippedDestinations)
{
    QTextDocument document;
    richtext::readRtf(samples::word(), document);
    const auto doc = describe(document);
    ASSERT_EQ(textsOf(doc),
              QStringList({QStringLiteral("Hello 你好"), QStringLiteral("link 链接"),
                           QStringLiteral("\uFFFCafter picture"), QStringLiteral("first bullet"),
                           QStringLiteral("sub item"), QStringLiteral("second bullet"),
                           QStringLiteral("numbered"), QStringLiteral("visible\u2014 end"),
                           QStringLiteral("1 footnote text")}));
    EXPECT_EQ(doc[0].alignment, Qt::AlignJustify);
    const inspect::Run hello = runWith(doc[0], QStringLiteral("Hello"));
    EXPECT_EQ(hello.family, QStringLiteral("Times New Roman"));
    EXPECT_EQ(hello.points, 10.5);
    const inspect::Run nihao = runWith(doc[0], QStringLiteral("你好"));
    EXPECT_TRUE(nihao.bold);
    EXPECT_EQ(nihao.family, QStringLiteral("宋体"));   // the first definition of \f13 stands

    EXPECT_EQ(doc[1].alignment, Qt::AlignHCenter);
    const inspect::Run link = runWith(doc[1], QStringLiteral("link"));
    EXPECT_EQ(link.color, kRed);
    EXPECT_EQ(link.underline, QTextCharFormat::SingleUnderline);

    EXPECT_EQ(doc[3].listStyle, QTextListFormat::ListDisc);
    EXPECT_EQ(doc[4].listStyle, QTextListFormat::ListLowerAlpha);
    EXPECT_EQ(doc[4].listIndent, 2);
    EXPECT_EQ(doc[5].listStyle, QTextListFormat::ListDisc);
    EXPECT_EQ(doc[6].listStyle, QTextListFormat::ListDecimal);
    EXPECT_EQ(doc[7].listStyle, 0);
    // A list interrupted by a deeper level goes on afterwards.
    EXPECT_EQ(document.findBlockByNumber(3).textList(), document.findBlockByNumber(5).textList());
}

TEST(RichTextReader, ReadsLibreOfficeUnicodeSwitchesSurrogatesAndUpr)
{
    const auto doc = read(samples::libreOffice());
    ASSERT_EQ(textsOf(doc), QStringList({QStringLiteral("Plain 下划 text"),
                                         QStringLiteral("宋体 日 named"),
                                         QStringLiteral("emoji \U0001F600 end")}));
    EXPECT_EQ(runWith(doc[0], QStringLiteral("Plain")).family, QStringLiteral("Liberation Serif"));
    EXPECT_TRUE(runWith(doc[0], QStringLiteral("下划")).bold);
    EXPECT_FALSE(runWith(doc[0], QStringLiteral("text")).bold);
    EXPECT_EQ(doc[1].alignment, Qt::AlignHCenter);
    const inspect::Run songti = runWith(doc[1], QStringLiteral("宋体"));
    EXPECT_TRUE(songti.italic);
    EXPECT_EQ(songti.color, kBlue);
    // A font name written with \u.
    EXPECT_EQ(runWith(doc[1], QStringLiteral("named")).family, QStringLiteral("宋体"));
}

TEST(RichTextReader, ReadsPandocAndTextEdit)
{
    const auto pandoc = read(samples::pandoc());
    ASSERT_EQ(textsOf(pandoc), QStringList({QStringLiteral("你好 \U0001F600"),
                                            QStringLiteral("bold and code")}));
    EXPECT_TRUE(runWith(pandoc[1], QStringLiteral("bold")).bold);
    EXPECT_EQ(runWith(pandoc[1], QStringLiteral("code")).family, QStringLiteral("Courier"));

    const auto textEdit = read(samples::textEdit());
    ASSERT_EQ(textsOf(textEdit), QStringList({QStringLiteral("你好abc"), QStringLiteral("你")}));
    EXPECT_EQ(runWith(textEdit[0], QStringLiteral("你好")).family,
              QStringLiteral("STSongti-SC-Regular"));
    EXPECT_EQ(runWith(textEdit[0], QStringLiteral("abc")).family, QStringLiteral("Helvetica"));
}

TEST(RichTextReader, KeepsTextOfUnknownGroupsAndSkipsIgnorableOnes)
{
    const QByteArray rtf("{\\rtf1 {\\zzword shown}{\\*\\zzother hidden} x\\~y\\-z\\_w"
                         "\\emdash\\endash\\lquote\\rquote\\ldblquote\\rdblquote\\bullet\\line"
                         " tab\\tab\tend}");
    EXPECT_EQ(richtext::rtfParagraphs(rtf),
              QStringList({QStringLiteral("shown x\u00A0y\u00ADz\u2011w\u2014\u2013\u2018\u2019"
                                          "\u201C\u201D\u2022\u2028tab\t\tend")}));
}

TEST(RichTextReader, AppliesParagraphFormatInForceAtParAndAddsNoParagraphForAFinalPar)
{
    const auto doc = read("{\\rtf1 A\\qc\\par B\\par}");
    ASSERT_EQ(textsOf(doc), QStringList({QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_EQ(doc[0].alignment, Qt::AlignHCenter);
    EXPECT_EQ(doc[1].alignment, Qt::AlignHCenter);   // \pard was not given
    EXPECT_EQ(textsOf(read("{\\rtf1 A\\par\\par}")), QStringList({QStringLiteral("A"), QString()}));
    EXPECT_EQ(textsOf(read("{\\rtf1 A\\par B}")), QStringList({QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_EQ(textsOf(read("{\\rtf1 }")), QStringList({QString()}));
}

TEST(RichTextReader, DecodesBytesWithTheFontsCodePage)
{
    // \'e9 is é in a Western font, and the lead byte of a pair in a Chinese one.
    const QByteArray rtf("{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f1\\fcharset134 SimSun;}"
                         "{\\f2\\fcharset136 MingLiU;}{\\f3\\cpg1251 Cyr;}}"
                         "\\f0 caf\\'e9 \\f1\\'c4\\'e3 \\f2\\'a4\\'a4 \\f3\\'c4}");
    EXPECT_EQ(richtext::rtfParagraphs(rtf),
              QStringList({QStringLiteral("café 你 中 Д")}));
    // Text before any \f is in the \deff font, whose charset beats the document's code page.
    EXPECT_EQ(richtext::rtfParagraphs("{\\rtf1\\ansi\\ansicpg1252\\deff1{\\fonttbl{\\f0\\fcharset0 Arial;}"
                                      "{\\f1\\fcharset134 SimSun;}}\\'c4\\'e3}"),
              QStringList({QStringLiteral("你")}));
}

TEST(RichTextReader, FlushesAPendingByteWithTheOldFontOnAFontChange)
{
    // A lead byte left alone by a font change decodes to U+FFFD, and does not pair up with the
    // next font's bytes.
    const QByteArray rtf("{\\rtf1\\ansicpg936{\\fonttbl{\\f0\\fcharset134 A;}{\\f1\\fcharset0 B;}}"
                         "\\f0\\'c4\\f1\\'e3}");
    EXPECT_EQ(richtext::rtfParagraphs(rtf), QStringList({QStringLiteral("\uFFFD\u00E3")}));
}

// With a budget, the reader stops as soon as what it has read would make a record larger than
// that (a paragraph mark, text, a picture each counted): it never builds the rest of the document.
TEST(RichTextReader, ReadingWithinABudgetStopsWhereTheRecordWouldGrowBeyondIt)
{
    const QByteArray many = "{\\rtf1\\ansi " + QByteArray("a\\par ").repeated(200000) + "}";
    const QByteArray few = "{\\rtf1\\ansi " + QByteArray("a\\par ").repeated(100) + "}";
    const struct {
        const char *what;
        QByteArray bytes;
        richtext::ReadOutcome outcome;
        int blocks;
    } rows[] = {
        {"within", few, richtext::ReadOutcome::Read, 100},
        {"far beyond", many, richtext::ReadOutcome::TooLarge, 1},
        {"not RTF", "plain text", richtext::ReadOutcome::NotRtf, 1},
    };
    for (const auto &row : rows) {
        QTextDocument doc;
        int blocksSeen = 0;
        QObject::connect(&doc, &QTextDocument::blockCountChanged, [&](int count) { blocksSeen = qMax(blocksSeen, count); });
        EXPECT_EQ(richtext::readRtfWithin(row.bytes, doc, 10000), row.outcome) << row.what;
        EXPECT_EQ(doc.blockCount(), row.blocks) << row.what;
        EXPECT_LT(blocksSeen, 10000 / 6 + 10) << row.what << ": read no further than the budget";
    }
}
