#include "doc_inspect.h"
#include "samples.h"

#include "platform/gbk.h"
#include "richtext/rich_text.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <gtest/gtest.h>

using richtext::RecordSummary;

namespace {

// What the list page would get by the long way: a document, two lines taken out, the rest.
RecordSummary summaryThroughDocument(const QByteArray &bytes)
{
    QTextDocument doc;
    richtext::LoadRecord(bytes, doc);
    RecordSummary s;
    s.line1 = richtext::takeFirstLine(doc);
    s.line2 = richtext::takeFirstLine(doc);
    s.body = richtext::plainBody(doc);
    return s;
}

void expectSameSummary(const QByteArray &bytes, const char *what)
{
    const RecordSummary fast = richtext::summarizeRecord(bytes);
    const RecordSummary slow = summaryThroughDocument(bytes);
    EXPECT_EQ(fast.line1, slow.line1) << what;
    EXPECT_EQ(fast.line2, slow.line2) << what;
    EXPECT_EQ(fast.body, slow.body) << what;
}

QTextCharFormat bodyStartFormat()
{
    QTextCharFormat f;
    f.setFontFamilies({QStringLiteral("黑体")});
    f.setFontPointSize(16);
    f.setFontWeight(QFont::Bold);
    f.setForeground(QColor(0, 128, 0));
    return f;
}

} // namespace

TEST(DiaryRecord, PlainTextRecordsSplitAtEveryKindOfLineBreak)
{
    const QByteArray bytes = gbk::encode(QStringLiteral("2\r\n4\r\n今天 line\rsecond\nthird\r\n"));
    QTextDocument doc;
    richtext::LoadRecord(bytes, doc);
    EXPECT_EQ(inspect::texts(doc),
              QStringList({QStringLiteral("2"), QStringLiteral("4"), QStringLiteral("今天 line"),
                           QStringLiteral("second"), QStringLiteral("third")}));
    // An empty line in the middle stays; trailing zero bytes of a C string are not text.
    richtext::LoadRecord(QByteArray("1\n\n3\n\0\0", 8), doc);
    EXPECT_EQ(inspect::texts(doc), QStringList({QStringLiteral("1"), QString(), QStringLiteral("3")}));
}

TEST(DiaryRecord, BytesThatAreNeitherRtfNorTextFailToLoad)
{
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("old content"));
    try {
        richtext::LoadRecord(QByteArray("PK\x03\x04\0\0binary", 12), doc);
        FAIL() << "binary data was loaded";
    } catch (const richtext::ELoadStreamError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Failed to Load Stream"));
    }
    EXPECT_TRUE(doc.isEmpty());
    EXPECT_THROW(richtext::summarizeRecord(QByteArray("a\0b", 3)), richtext::ELoadStreamError);
    EXPECT_THROW(richtext::readRtf(QByteArrayLiteral("just text"), doc), richtext::ELoadStreamError);
}

TEST(DiaryRecord, TakeFirstLineLeavesTheNextParagraphItsFormats)
{
    QTextDocument doc;
    richtext::LoadRecord(samples::richEdit2(), doc);
    // Lines 1 and 2 are "1" and "3"; the body begins with a centred bold line, later a list.
    EXPECT_EQ(richtext::takeFirstLine(doc), QStringLiteral("1"));
    EXPECT_EQ(richtext::takeFirstLine(doc), QStringLiteral("3"));
    EXPECT_FALSE(doc.isUndoAvailable());   // Undo cannot bring an index line back
    EXPECT_TRUE(doc.isUndoRedoEnabled());
    auto body = inspect::describe(doc);
    ASSERT_EQ(body.size(), 7);
    EXPECT_EQ(body[0].text, QStringLiteral("中文"));
    EXPECT_EQ(body[0].alignment, Qt::AlignHCenter);
    EXPECT_TRUE(body[0].runs[0].bold);

    // Taking out a list item leaves the next item in the list.
    QTextDocument listDoc;
    QTextCursor c(&listDoc);
    inspect::startList(c, QTextListFormat::ListDisc);
    c.insertText(QStringLiteral("first"));
    c.insertBlock();
    c.insertText(QStringLiteral("second"));
    EXPECT_EQ(richtext::takeFirstLine(listDoc), QStringLiteral("first"));
    ASSERT_EQ(listDoc.blockCount(), 1);
    ASSERT_NE(listDoc.begin().textList(), nullptr);
    EXPECT_EQ(listDoc.begin().text(), QStringLiteral("second"));

    // The last paragraph is emptied, never removed: a document always has one.
    EXPECT_EQ(richtext::takeFirstLine(listDoc), QStringLiteral("second"));
    EXPECT_EQ(listDoc.blockCount(), 1);
    EXPECT_EQ(richtext::takeFirstLine(listDoc), QString());
}

TEST(DiaryRecord, SaveRecordPutsTheIndicesInFrontFormattedLikeTheBodyAndLeavesTheDocument)
{
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    c.setBlockFormat(centred);
    c.insertText(QStringLiteral("今天很好"), bodyStartFormat());
    c.insertBlock(QTextBlockFormat());
    inspect::startList(c, QTextListFormat::ListDisc);
    c.insertText(QStringLiteral("bullet"));
    const auto before = inspect::describe(doc);
    const int undoSteps = doc.availableUndoSteps();

    const QByteArray record = richtext::SaveRecord(doc, 2, 4);
    EXPECT_EQ(inspect::describe(doc), before);
    EXPECT_EQ(doc.availableUndoSteps(), undoSteps);

    QTextDocument loaded;
    richtext::LoadRecord(record, loaded);
    const auto lines = inspect::describe(loaded);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0].text, QStringLiteral("2"));
    EXPECT_EQ(lines[1].text, QStringLiteral("4"));
    for (int i : {0, 1}) {
        ASSERT_EQ(lines[i].runs.size(), 1);
        EXPECT_TRUE(lines[i].runs[0].sameFormat(before[0].runs[0])) << i;
        EXPECT_EQ(lines[i].alignment, Qt::AlignHCenter);
        EXPECT_EQ(lines[i].listStyle, 0);
    }
    EXPECT_EQ(lines[2], before[0]);
    EXPECT_EQ(lines[3], before[1]);

    const RecordSummary summary = richtext::summarizeRecord(record);
    EXPECT_EQ(summary.line1, QStringLiteral("2"));
    EXPECT_EQ(summary.line2, QStringLiteral("4"));
    EXPECT_EQ(summary.body, QStringLiteral("今天很好\r\nbullet"));
}

TEST(DiaryRecord, AnEntryThatIsOneLineBreakKeepsItsEmptyParagraphs)
{
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("\n"));
    const QByteArray record = richtext::SaveRecord(doc, -1, 7);
    const RecordSummary s = richtext::summarizeRecord(record);
    EXPECT_EQ(s.line1, QStringLiteral("-1"));
    EXPECT_EQ(s.line2, QStringLiteral("7"));
    EXPECT_EQ(s.body, QStringLiteral("\r\n"));
}

TEST(DiaryRecord, PlainBodyJoinsParagraphsAndLineBreaksWithCrLf)
{
    QTextDocument doc;
    richtext::readRtf("{\\rtf1 a\\line b\\par\\par c\\tab d}", doc);
    EXPECT_EQ(richtext::plainBody(doc), QStringLiteral("a\r\nb\r\n\r\nc\td"));
}

TEST(DiaryRecord, SummaryIsWhatTheDocumentGives)
{
    for (const auto &s : samples::all())
        expectSameSummary(s.bytes, s.name);
    expectSameSummary(QByteArray(), "empty");
    expectSameSummary(QByteArray("5"), "one line");
    expectSameSummary(QByteArray("5\r\n"), "one line ended");
    expectSameSummary(QByteArray("1\r\n2"), "two lines");
    expectSameSummary(QByteArray("1\r\n2\r\n\r\n\r\n"), "two empty body lines");
    expectSameSummary(QByteArray("{\\rtf1 1\\par 2\\par}"), "rtf without body");
    expectSameSummary(QByteArray("{\\rtf1 1\\par 2\\par x\\line y\\par\\par}"), "line break");
    expectSameSummary("{\\rtf1" + QByteArray(5000, '{') + "x", "too deep: read as text");
}

TEST(DiaryRecord, BothSinksGiveTheSameTextForEverySample)
{
    for (const auto &s : samples::all()) {
        QTextDocument doc;
        richtext::readRtf(s.bytes, doc);
        QStringList fast = richtext::rtfParagraphs(s.bytes);
        if (fast.isEmpty())
            fast.append(QString());
        EXPECT_EQ(inspect::texts(doc), fast) << s.name;
    }
}

TEST(DiaryRecord, ALimitedSummaryIsTheStartOfTheWholeOne)
{
    const QByteArray longBody =
        "0\r\n7\r\n" + gbk::encode(QString(300, QChar(u'长'))) + "\r\nsecond\r\n";
    QByteArray longRtf = "{\\rtf1\\ansi 3\\par 1\\par ";
    for (int i = 0; i < 100; ++i)
        longRtf += "paragraph " + QByteArray::number(i) + "\\line x\\par ";
    longRtf += '}';
    QList<std::pair<const char *, QByteArray>> records = {
        {"long plain text", longBody},
        {"long rtf", longRtf},
        {"many empty rtf paragraphs",
         "{\\rtf1 1\\par 2\\par " + QByteArray(5000, ' ').replace(" ", "\\par ") + "}"},
    };
    for (const auto &s : samples::all())
        records.append({s.name, s.bytes});
    for (const auto &[what, bytes] : records) {
        const RecordSummary whole = richtext::summarizeRecord(bytes);
        for (qsizetype limit : {5, 64, 100000}) {
            const std::optional<RecordSummary> part = richtext::summarizeRecordIfReadable(bytes, limit);
            ASSERT_TRUE(part.has_value()) << what;
            EXPECT_EQ(part->line1, whole.line1.left(limit)) << what << " " << limit;
            EXPECT_EQ(part->line2, whole.line2.left(limit)) << what << " " << limit;
            EXPECT_EQ(part->body, whole.body.left(limit)) << what << " " << limit;
        }
    }
    EXPECT_FALSE(richtext::summarizeRecordIfReadable(QByteArray(100, 'a') + '\0' + "b", 4))
        << "a NUL byte far beyond the part decoded still makes the bytes no record";
}
