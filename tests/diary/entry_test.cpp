#include "diary_fixture.h"

#include "diary/entry.h"
#include "platform/exception.h"
#include "richtext/messages.h"
#include "richtext/rich_text.h"

#include <QTextDocument>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace diary_testing;

namespace {

// What the long way gives: the record in a document, both index lines parsed and taken out.
diary::ListRow rowTheLongWay(const QByteArray &record)
{
    QTextDocument doc;
    const diary::EntryIndices indices = diary::loadRecord(record, doc);
    return {{}, {}, diary::weatherWord(indices.weather), diary::moodWord(indices.mood),
            richtext::plainBody(doc), {}};
}

template <typename E>
QString errorOf(const std::function<void()> &body)
{
    try {
        body();
    } catch (const E &e) {
        return e.message();
    }
    return u"(nothing thrown)"_s;
}

} // namespace

TEST(EntryName, IsTheDateWithoutLeadingZerosAndFollowsTheClock)
{
    EXPECT_EQ(diary::entryName(QDate(2003, 9, 26)), u"2003年9月26日"_s);
    EXPECT_EQ(diary::entryName(QDate(2003, 10, 5)), u"2003年10月5日"_s);
    EXPECT_EQ(diary::entryName(QDate(987, 1, 1)), u"0987年1月1日"_s);
    EXPECT_EQ(g(diary::entryName(QDate(2003, 9, 3))),
              QByteArray("2003\xC4\xEA" "9\xD4\xC2" "3\xC8\xD5"));

    diary::setClock([] { return QDate(2004, 2, 29); });
    EXPECT_EQ(diary::today(), QDate(2004, 2, 29));
    diary::setClock({});
    EXPECT_EQ(diary::today(), QDate::currentDate());
}

TEST(EntryRecord, RoundTripsIndicesAndBody)
{
    const QByteArray record = ownRecord(2, 4, u"今天\n下雨了"_s);
    EXPECT_EQ(richtext::rtfParagraphs(record),
              (QStringList{u"2"_s, u"4"_s, u"今天"_s,
                           u"下雨了"_s}));
    QTextDocument doc;
    const diary::EntryIndices indices = diary::loadRecord(record, doc);
    EXPECT_EQ(indices.weather, 2);
    EXPECT_EQ(indices.mood, 4);
    EXPECT_EQ(doc.toPlainText(), u"今天\n下雨了"_s);

    // A box without a selection saves -1, which reads back as an index outside the table.
    EXPECT_EQ(diary::loadRecord(ownRecord(-1, 7, u"x"_s), doc).weather, -1);
}

TEST(EntryRecord, ListRowIsWhatTheDocumentGives)
{
    const QList<QByteArray> records = {
        ownRecord(0, 0, u"一\n\n三"_s),
        ownRecord(7, 9, u"outside both tables"_s),
        ownRecord(3, 7, QString()),
        richEditRecord({u"1"_s, u"5"_s, u"别的程序写的"_s,
                        u"第二段"_s}),
        QByteArray("2\r\n4\r\n\xBD\xF1\xCC\xEC\r\nplain\n"),   // a plain-text record
    };
    for (const QByteArray &record : records) {
        const diary::ListRow row = diary::listRow(g(u"2003年9月26日"_s), record);
        const diary::ListRow expected = rowTheLongWay(record);
        EXPECT_EQ(row.name, u"2003年9月26日"_s);
        EXPECT_EQ(row.weather, expected.weather) << record.constData();
        EXPECT_EQ(row.mood, expected.mood) << record.constData();
        EXPECT_EQ(row.summary, expected.summary) << record.constData();
    }
    const diary::ListRow other = diary::listRow("x", records[3]);
    EXPECT_EQ(other.weather, u"阴"_s);
    EXPECT_EQ(other.mood, u"感慨"_s);
    EXPECT_EQ(other.summary, u"别的程序写的\r\n第二段"_s);
    EXPECT_EQ(diary::listRow("x", records[1]).weather, QString());
}

TEST(EntryRecord, BadRecordsRaiseTheirErrors)
{
    const struct {
        const char *what;
        QByteArray record;
        QString message;
    } cases[] = {
        {"weather line not a number", richEditRecord({u"x"_s, u"0"_s}),
         u"'x' is not a valid integer value"_s},
        {"mood line not a number", richEditRecord({u"1"_s, u"晴"_s}),
         u"'晴' is not a valid integer value"_s},
        {"one line only", richEditRecord({u"1"_s}),
         u"'' is not a valid integer value"_s},
        {"empty record", QByteArray(), u"'' is not a valid integer value"_s},
        {"neither RTF nor text", QByteArray("2\r\n4\0\0body", 11), richtext::kFailedToLoadStream},
    };
    for (const auto &c : cases) {
        QTextDocument doc;
        EXPECT_EQ(errorOf<Exception>([&] { diary::loadRecord(c.record, doc); }), c.message)
            << c.what;
        EXPECT_EQ(errorOf<Exception>([&] { diary::listRow("x", c.record); }), c.message) << c.what;
    }
}
