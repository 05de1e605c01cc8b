#include "doc_inspect.h"
#include "samples.h"

#include "richtext/rich_text.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include <gtest/gtest.h>

#include <random>

namespace {

struct Damage {
    const char *what;
    QByteArray bytes;
    QStringList paragraphs;   // what readRtf gives
};

QStringList paragraphsOf(const QByteArray &bytes)
{
    QTextDocument doc;
    richtext::readRtf(bytes, doc);
    return inspect::texts(doc);
}

} // namespace

TEST(DamagedRtf, GivesADocumentForEveryKindOfDamage)
{
    const QList<Damage> rows = {
        {"missing closing braces", "{\\rtf1 abc{\\b def", {QStringLiteral("abcdef")}},
        {"extra closing braces end the document", "{\\rtf1 abc}}}def", {QStringLiteral("abc")}},
        {"a hex escape cut by the end", "{\\rtf1 ab\\'4", {QStringLiteral("ab4")}},
        {"a backslash at the end", "{\\rtf1 ab\\", {QStringLiteral("ab")}},
        {"a hex escape with non-hex digits", "{\\rtf1 ab\\'zz}", {QStringLiteral("abzz")}},
        {"an enormous \\bin length", "{\\rtf1 a\\bin99999999999999999999 {}}}xyz", {QStringLiteral("a")}},
        {"a negative \\bin length", "{\\rtf1 a\\bin-5 b}", {QStringLiteral("ab")}},
        {"\\bin data holding braces", "{\\rtf1 a\\bin3 }{\\b}", {QStringLiteral("ab")}},
        {"an invalid GBK pair", "{\\rtf1\\ansicpg936 \\'c4\\'20x}", {QStringLiteral("\uFFFD x")}},
        {"a lead byte alone before \\par", "{\\rtf1 \\'c4\\par}", {QStringLiteral("\uFFFD")}},
        {"a lone low surrogate", "{\\rtf1 \\u-8704?x}", {QStringLiteral("\uFFFDx")}},
        {"a lone high surrogate", "{\\rtf1 \\u-10179?x\\par}", {QStringLiteral("\uFFFDx")}},
        {"a \\u beyond 16 bits", "{\\rtf1 \\u99999999999999 ?x}", {QStringLiteral("\uFFFDx")}},
        {"control characters from escapes", "{\\rtf1 a\\'00\\'07b\\'0d\\'0ac}",
         {QStringLiteral("ab\u2028c")}},
        {"a control word of a hundred letters",
         "{\\rtf1 a\\" + QByteArray(100, 'q') + " b}", {QStringLiteral("ab")}},
        {"fallback longer than the group", "{\\rtf1\\uc9999 {\\u20320 ab}cd}", {QStringLiteral("你cd")}},
        {"unknown fonts and colours", "{\\rtf1\\f99999\\cf77777\\highlight5 \\'c4\\'e3}", {QStringLiteral("你")}},
    };
    for (const Damage &row : rows)
        EXPECT_EQ(paragraphsOf(row.bytes), row.paragraphs) << row.what;
}

TEST(DamagedRtf, HugeNumbersAreClamped)
{
    QTextDocument doc;
    richtext::readRtf("{\\rtf1\\fs99999999999999999999\\li-99999999999\\fi99999999999 big}", doc);
    const auto p = inspect::describe(doc);
    ASSERT_EQ(p.size(), 1);
    EXPECT_EQ(p[0].runs[0].points, 1638.0);
    EXPECT_LE(doc.begin().blockFormat().textIndent(), 22 * 96);
    EXPECT_GE(doc.begin().blockFormat().leftMargin(), -22 * 96);
}

TEST(DamagedRtf, NestingBeyondTheCapIsNotRtfButStillARecord)
{
    QByteArray deep = "{\\rtf1 " + QByteArray(20000, '{') + "x" + QByteArray(20000, '}');
    QTextDocument doc;
    try {
        richtext::readRtf(deep, doc);
        FAIL() << "nesting beyond the cap was read";
    } catch (const richtext::ELoadStreamError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Failed to Load Stream"));
    }
    // As a record it is plain text, like any other bytes the rich text reader refuses.
    richtext::LoadRecord(deep, doc);
    EXPECT_EQ(doc.blockCount(), 1);
    EXPECT_TRUE(doc.begin().text().startsWith(QStringLiteral("{\\rtf1 {{{")));

    // Nesting within the cap is read.
    const QByteArray fine = "{\\rtf1 " + QByteArray(900, '{') + "x" + QByteArray(900, '}') + "}";
    EXPECT_EQ(paragraphsOf(fine), QStringList({QStringLiteral("x")}));
}

// Damaged copies of every sample: cut, doubled, overwritten and spliced bytes. Each must give a
// document or the error, and both sinks must agree on the text.
TEST(DamagedRtf, MutatedSamplesNeverBreakTheReaderAndBothSinksAgree)
{
    std::mt19937 random(20030926);
    static const char kAlphabet[] = "{}\\'*;0123456789-abcdefuclpr\xC4\xE3\x87 \r\n";
    const auto samples = samples::all();
    int readable = 0;
    for (int round = 0; round < 1500; ++round) {
        QByteArray bytes = samples[round % samples.size()].bytes;
        const int edits = 1 + int(random() % 8);
        for (int e = 0; e < edits && !bytes.isEmpty(); ++e) {
            const qsizetype at = qsizetype(random() % bytes.size());
            switch (random() % 4) {
            case 0:
                bytes.truncate(at == 0 ? 1 : at);
                break;
            case 1:
                bytes.insert(at, bytes.mid(at, qsizetype(random() % 64)));
                break;
            case 2:
                bytes[at] = kAlphabet[random() % (sizeof kAlphabet - 1)];
                break;
            default:
                bytes.remove(at, qsizetype(random() % 16));
                break;
            }
        }
        QTextDocument doc;
        try {
            richtext::readRtf(bytes, doc);
        } catch (const richtext::ELoadStreamError &) {
            EXPECT_THROW(richtext::rtfParagraphs(bytes), richtext::ELoadStreamError);
            continue;
        }
        ++readable;
        QStringList fast = richtext::rtfParagraphs(bytes);
        if (fast.isEmpty())
            fast.append(QString());
        ASSERT_EQ(inspect::texts(doc), fast) << "round " << round;
        // What was read can be written and read again to the same text.
        QTextDocument again;
        richtext::readRtf(richtext::writeRtf(doc), again);
        ASSERT_EQ(inspect::texts(again), fast) << "round " << round;
    }
    EXPECT_GT(readable, 1000);
}

TEST(DamagedRtf, AVeryLongBulletListIsReadWhole)
{
    QByteArray rtf = "{\\rtf1{\\fonttbl{\\f0 A;}{\\f1\\fcharset2 Symbol;}}\\pard{\\*\\pn\\pnlvlblt\\pnf1}";
    for (int i = 0; i < 3000; ++i)
        rtf += "{\\pntext\\f1\\'b7\\tab}item " + QByteArray::number(i) + "\\par\n";
    rtf += "}";
    QTextDocument doc;
    richtext::readRtf(rtf, doc);
    ASSERT_EQ(doc.blockCount(), 3000);
    int i = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next(), ++i) {
        ASSERT_EQ(b.text(), QStringLiteral("item %1").arg(i));
        ASSERT_NE(b.textList(), nullptr);
        ASSERT_EQ(b.textList()->format().style(), QTextListFormat::ListDisc);
    }
}
