#include "diary_fixture.h"

#include "archive/archive_reader.h"
#include "diary/diary_book.h"
#include "platform/exception.h"
#include "platform/files.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace diary_testing;
using testing_support::run;

namespace {

using Entries = QList<std::pair<QString, QByteArray>>;

QString dayName(int day)
{
    return diary::entryName(QDate(2003, 9, 1).addDays(day));
}

// Entries of every kind the list meets: this program's records, the rich edit control's, plain
// text, indices outside the tables, empty bodies, long bodies.
Entries mixedDiary(int count)
{
    Entries entries;
    for (int i = 0; i < count; ++i) {
        QByteArray record;
        switch (i % 4) {
        case 0:
            record = ownRecord(i % 5, i % 9, u"第%1天\n%2"_s.arg(i).arg(QString(i % 50, u'字')));
            break;
        case 1:
            record = richEditRecord({QString::number(i % 4), QString::number(i % 8),
                                     u"别的程序 %1"_s.arg(i)});
            break;
        case 2:
            record = g(u"%1\r\n%2\r\n纯文本 %3\r\n"_s.arg(i % 4).arg(i % 8).arg(i));
            break;
        default:
            record = ownRecord(1, 1, QString());
            break;
        }
        entries.append({dayName(i), record});
    }
    return entries;
}

struct Rows {
    QList<diary::ListRow> rows;
    QString error;
};

// What reading and decoding one entry after the other gives.
Rows serially(const Entries &entries)
{
    Rows expected;
    for (const auto &[name, record] : entries) {
        try {
            expected.rows.append(diary::listRow(g(name), record));
        } catch (const Exception &e) {
            expected.error = e.message();
            break;
        }
    }
    return expected;
}

Rows listed(TArchiveReader &reader)
{
    const diary::Listing listing = diary::listEntries(reader);
    Rows got{listing.rows, {}};
    try {
        listing.rethrowError();
    } catch (const Exception &e) {
        got.error = e.message();
    }
    return got;
}

void expectSameRows(const Rows &got, const Rows &expected, const char *what)
{
    ASSERT_EQ(got.rows.size(), expected.rows.size()) << what;
    for (qsizetype i = 0; i < got.rows.size(); ++i) {
        const diary::ListRow &a = got.rows[i];
        const diary::ListRow &b = expected.rows[i];
        ASSERT_TRUE(a.nameBytes == b.nameBytes && a.name == b.name && a.weather == b.weather
                    && a.mood == b.mood && a.summary == b.summary)
            << what << ": row " << i;
    }
    EXPECT_EQ(got.error, expected.error) << what;
}

class DiaryBook : public ::testing::Test
{
protected:
    QString path() const { return m_dir.filePath(u"张三"_s); }

    TArchiveReader &reader()
    {
        m_reader.SetZipName(path());
        return m_reader;
    }
    TArchiveWriter &writer()
    {
        m_writer.SetZipName(path());
        return m_writer;
    }
    QStringList names()
    {
        TArchiveReader r;
        r.SetZipName(path());
        r.OpenArchive();
        QStringList all;
        for (int i = 0; i < r.EntryCount(); ++i)
            all << r.EntryName(i);
        return all;
    }
    QString comment()
    {
        TArchiveReader r;
        r.SetZipName(path());
        r.OpenArchive();
        return r.ArchiveComment();
    }

    QTemporaryDir m_dir;
    TArchiveReader m_reader;
    TArchiveWriter m_writer;
};

} // namespace

TEST_F(DiaryBook, StoresAnEntryThatInfoZipExtracts)
{
    const QByteArray record = ownRecord(2, 4, u"今天"_s);
    diary::storeEntry(writer(), g(dayName(0)), record);
    EXPECT_EQ(names(), QStringList{dayName(0)});

    const auto unzip = run(testing_support::unzipProgram(),
                           {u"-p"_s, u"-P"_s, diary::kArchivePassword, path()});
    ASSERT_EQ(unzip.exitCode, 0) << unzip.err.constData();
    EXPECT_EQ(unzip.out, record);
}

TEST_F(DiaryBook, StoringAgainReplacesTheEntryWhereItStands)
{
    writeDiary(path(), {{dayName(0), ownRecord(0, 0, u"a"_s)},
                        {dayName(1), ownRecord(0, 0, u"b"_s)},
                        {dayName(2), ownRecord(0, 0, u"c"_s)}});
    const QByteArray changed = ownRecord(3, 7, u"新的"_s);
    diary::storeEntry(writer(), g(dayName(1)), changed);
    EXPECT_EQ(names(), (QStringList{dayName(0), dayName(1), dayName(2)}));
    EXPECT_EQ(diary::readEntry(reader(), g(dayName(1))), changed);
    EXPECT_EQ(comment(), u"53abcdefghijk"_s);
}

TEST_F(DiaryBook, FindsAnEntryOnlyByItsExactName)
{
    EXPECT_FALSE(diary::findEntry(reader(), g(dayName(0))).has_value()) << "no archive yet";
    const QByteArray record = richEditRecord({u"1"_s, u"2"_s, u"x"_s});
    writeDiary(path(), {{dayName(0) + QLatin1Char(' '), ownRecord(0, 0, u"no"_s)},
                        {dayName(0), record}});
    EXPECT_FALSE(diary::findEntry(reader(), g(dayName(1))).has_value());
    const std::optional<QByteArray> found = diary::findEntry(reader(), g(dayName(0)));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, record);
    EXPECT_EQ(diary::readEntry(reader(), g(dayName(5))), QByteArray()) << "no such entry";
}

TEST_F(DiaryBook, DeletingKeepsTheOtherEntriesAndTheComment)
{
    writeDiary(path(), {{dayName(0), ownRecord(0, 0, u"a"_s)},
                        {dayName(1), ownRecord(0, 0, u"b"_s)}});
    diary::deleteEntry(reader(), writer(), g(dayName(0)));
    EXPECT_EQ(names(), QStringList{dayName(1)});
    diary::deleteEntry(reader(), writer(), g(dayName(1)));
    EXPECT_EQ(names(), QStringList());
    EXPECT_EQ(comment(), u"53abcdefghijk"_s);
    EXPECT_TRUE(files::exists(path()));
}

TEST_F(DiaryBook, ListingWithoutAnArchiveGivesNoRows)
{
    const diary::Listing listing = diary::listEntries(reader());
    EXPECT_TRUE(listing.rows.isEmpty());
    EXPECT_FALSE(listing.error);
}

TEST_F(DiaryBook, ListingGivesTheRowsOfTheSerialReadingInArchiveOrder)
{
    const Entries entries = mixedDiary(401);
    writeDiary(path(), entries);
    const Rows expected = serially(entries);
    ASSERT_EQ(expected.rows.size(), 401);
    ASSERT_TRUE(expected.error.isEmpty());
    for (int run = 0; run < 5; ++run)
        expectSameRows(listed(reader()), expected, "whole diary");
}

TEST_F(DiaryBook, AnEntryThatCannotBeReadEndsTheListingAfterTheRowsBeforeIt)
{
    const Entries good = mixedDiary(120);
    const QList<std::pair<const char *, QByteArray>> faults = {
        {"weather not a number", richEditRecord({u"雨"_s, u"4"_s, u"x"_s})},
        {"mood with a trailing blank", richEditRecord({u"2"_s, u"4 "_s, u"x"_s})},
        {"not a record", QByteArray("\0\1\2\0garbage", 11)},
    };
    for (const auto &[what, bad] : faults) {
        for (int k : {0, 1, 57, 119}) {
            Entries entries = good;
            entries[k].second = bad;
            writeDiary(path(), entries);
            const Rows expected = serially(entries);
            ASSERT_EQ(expected.rows.size(), k) << what;
            ASSERT_FALSE(expected.error.isEmpty()) << what;
            expectSameRows(listed(reader()), expected, what);
        }
    }
}

TEST_F(DiaryBook, AnEntryUnderAnotherPasswordListsAsAnEmptyRecord)
{
    const Entries entries = mixedDiary(10);
    writeDiary(path(), entries);
    TArchiveWriter other;
    other.SetZipName(path());
    other.SetPassword(u"another"_s);
    QByteArray record = ownRecord(0, 0, u"x"_s);
    QBuffer stream(&record);
    stream.open(QIODevice::ReadOnly);
    other.AddFromStream(g(dayName(4)), stream);

    const Rows got = listed(reader());
    EXPECT_EQ(got.rows.size(), 4);
    EXPECT_EQ(got.error, u"'' is not a valid integer value"_s);
}

