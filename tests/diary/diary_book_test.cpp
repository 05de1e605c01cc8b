#include "diary_fixture.h"

#include "archive/archive_reader.h"
#include "archive/zip_layout.h"
#include "diary/diary_book.h"
#include "diary/messages.h"
#include "diary/record_limit.h"
#include "platform/exception.h"
#include "platform/files.h"

#include <QFile>
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
    for (const auto &[name, record] : entries)
        expected.rows.append(diary::listRowOf(g(name), record));
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
                    && a.mood == b.mood && a.summary == b.summary && a.problem == b.problem)
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

// An entry holds at most diary_limits::kMaxRecordSize: a save beyond it is refused with its
// message and writes nothing; a batch leaves that day out with EntryProblem::TooLarge.
TEST_F(DiaryBook, ARecordLargerThanAnEntryMayHoldIsNeverStored)
{
    writeDiary(path(), {{dayName(0), ownRecord(0, 0, u"a"_s)}});
    const QByteArray before = testing_support::readFile(path());
    const QByteArray huge(qsizetype(diary_limits::kMaxRecordSize) + 1, 'x');
    try {
        diary::storeEntry(writer(), g(dayName(1)), huge);
        ADD_FAILURE() << "stored";
    } catch (const EEntryTooLarge &e) {
        EXPECT_EQ(e.message(), diary_limits::recordTooLarge(dayName(1)));
    }
    EXPECT_EQ(testing_support::readFile(path()), before);
    const diary::BatchOutcome outcome =
        diary::storeEntries(writer(), {{g(dayName(1)), huge}, {g(dayName(2)), ownRecord(0, 0, u"b"_s)}}, {});
    EXPECT_EQ(outcome.refused, (QList<QPair<QByteArray, diary::EntryProblem>>{{g(dayName(1)), diary::EntryProblem::TooLarge}}));
    EXPECT_EQ(names(), (QStringList{dayName(0), dayName(2)}));
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

// Many entries in one pass give what reading them one by one gives, in the order asked for.
TEST_F(DiaryBook, ExtractingManyEntriesGivesWhatReadingEachGives)
{
    writeDiary(path(), {{dayName(0), ownRecord(0, 0, u"a"_s)},
                        {dayName(1), "not a record at all"},
                        {dayName(2), ownRecord(2, 3, u"c"_s)}});
    const QList<QByteArray> asked{g(dayName(2)), g(dayName(9)), g(dayName(0)), g(dayName(1)), g(dayName(2))};
    qsizetype taken = 0;
    diary::extractEntries(reader(), asked, nullptr, [&](qsizetype i, QByteArray record, diary::EntryProblem problem) {
        ASSERT_EQ(i, taken++);
        diary::EntryProblem one = diary::EntryProblem::None;
        const QByteArray alone = diary::readEntry(reader(), asked[i], &one);
        // Decoding is left to the caller: the entry that is no record comes as it extracted.
        if (one == diary::EntryProblem::NotADiary) {
            EXPECT_EQ(problem, diary::EntryProblem::None);
            EXPECT_EQ(record, "not a record at all");
        } else {
            EXPECT_EQ(problem, one) << i;
            EXPECT_EQ(record, alone) << i;
        }
    });
    EXPECT_EQ(taken, asked.size());
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

TEST_F(DiaryBook, EveryEntryIsListedAndOneWhoseRecordCannotBeDecodedSaysWhy)
{
    const Entries good = mixedDiary(120);
    const struct {
        const char *what;
        QByteArray record;
        diary::EntryProblem problem;
    } faults[] = {
        {"weather not a number", richEditRecord({u"雨"_s, u"4"_s, u"x"_s}),
         diary::EntryProblem::NotADiary},
        {"a text file", QByteArray("Read me first.\r\nThis folder holds diaries.\r\n"),
         diary::EntryProblem::NotADiary},
        {"an empty record", QByteArray(), diary::EntryProblem::NotADiary},
        {"not a record", QByteArray("\0\1\2\0garbage", 11), diary::EntryProblem::NotADiary},
        {"mood with a trailing blank", richEditRecord({u"2"_s, u"4 "_s, u"x"_s}),
         diary::EntryProblem::Damaged},
    };
    for (const auto &fault : faults) {
        for (int k : {0, 1, 57, 119}) {
            Entries entries = good;
            entries[k].second = fault.record;
            writeDiary(path(), entries);
            const Rows got = listed(reader());
            ASSERT_EQ(got.rows.size(), 120) << fault.what;
            const diary::ListRow &row = got.rows[k];
            EXPECT_EQ(row.problem, fault.problem) << fault.what;
            EXPECT_EQ(row.name, entries[k].first) << fault.what;
            EXPECT_TRUE(row.weather.isEmpty() && row.mood.isEmpty()) << fault.what;
            EXPECT_EQ(row.summary, diary::problemText(fault.problem)) << fault.what;
            expectSameRows(got, serially(entries), fault.what);
        }
    }
}

TEST_F(DiaryBook, EachProblemHasItsReasonAndEachFailureOfTheContainerItsProblem)
{
    const struct {
        ExtractFailure failure;
        diary::EntryProblem problem;
        QString summary;
    } cases[] = {
        {ExtractFailure::WrongPassword, diary::EntryProblem::WrongPassword, u"无法读取：密码不同"_s},
        {ExtractFailure::CrcMismatch, diary::EntryProblem::Damaged, u"无法读取：数据损坏"_s},
        {ExtractFailure::LargerThanRecorded, diary::EntryProblem::Damaged, u"无法读取：数据损坏"_s},
        {ExtractFailure::UnknownMethod, diary::EntryProblem::UnknownMethod,
         u"无法读取：不支持的压缩方式"_s},
        {ExtractFailure::UnsupportedEncryption, diary::EntryProblem::UnsupportedEncryption,
         u"无法读取：不支持的加密方式"_s},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(diary::problemOf(c.failure), c.problem) << int(c.failure);
        EXPECT_EQ(diary::problemText(c.problem), c.summary) << int(c.failure);
    }
    EXPECT_EQ(diary::problemText(diary::EntryProblem::NotADiary), u"无法读取：不是日记"_s);
    EXPECT_EQ(diary::problemText(diary::EntryProblem::None), QString());
}

TEST_F(DiaryBook, OneFlippedBitHidesNoOtherEntry)
{
    const Entries entries = mixedDiary(40);
    writeDiary(path(), entries);
    QByteArray bytes = testing_support::readFile(path());
    TArchiveReader directory;
    directory.SetZipName(path());
    directory.OpenArchive();
    const TZipHeaderInfo entry = directory.Entry(10);
    // Past the local header, its name and the encryption header, into the deflated data.
    const qint64 data = qint64(entry.localHeaderOffset) + 30 + entry.fullName().size() + 12;
    bytes[data + (entry.compressedSize - 12) / 2] ^= 0x10;
    testing_support::writeFile(path(), bytes);

    const Rows got = listed(reader());
    ASSERT_EQ(got.rows.size(), 40);
    EXPECT_TRUE(got.error.isEmpty()) << got.error.toStdString();
    Rows expected = serially(entries);
    expected.rows[10] = diary::unreadableRow(g(entries[10].first), diary::EntryProblem::Damaged);
    expectSameRows(got, expected, "flipped bit");
}

TEST_F(DiaryBook, EntriesAddedByInfoZipAreListedAsNoDiaryAndUnderAnotherPassword)
{
    const Entries entries = mixedDiary(12);
    writeDiary(path(), entries);
    const QString readme = m_dir.filePath(u"readme.txt"_s);
    testing_support::writeFile(readme, "This folder holds Quillbook diaries.\n");
    const QString other = m_dir.filePath(u"2003-9-30"_s);
    testing_support::writeFile(other, ownRecord(1, 1, u"secret"_s));
    // Info-ZIP adds ".zip" to an archive name without an extension.
    const QString zipped = path() + u".zip"_s;
    ASSERT_TRUE(QFile::rename(path(), zipped));
    const QString zip = testing_support::zipProgram();
    ASSERT_EQ(run(zip, {u"-q"_s, u"-j"_s, zipped, readme}).exitCode, 0);
    ASSERT_EQ(run(zip, {u"-q"_s, u"-j"_s, u"-P"_s, u"other"_s, zipped, other}).exitCode, 0);
    ASSERT_TRUE(QFile::rename(zipped, path()));
    const QByteArray before = testing_support::readFile(path());

    const Rows got = listed(reader());
    ASSERT_EQ(got.rows.size(), 14);
    EXPECT_TRUE(got.error.isEmpty()) << got.error.toStdString();
    Rows expected = serially(entries);
    expected.rows.append(diary::unreadableRow("readme.txt", diary::EntryProblem::NotADiary));
    expected.rows.append(diary::unreadableRow("2003-9-30", diary::EntryProblem::WrongPassword));
    expectSameRows(got, expected, "entries of Info-ZIP");
    EXPECT_EQ(diary::listEntries(reader()).unreadableCount(), 2);
    EXPECT_EQ(testing_support::readFile(path()), before);
}

TEST_F(DiaryBook, OpeningOrStoringOverAnEntryThatCannotBeReadSaysWhyAndWritesNothing)
{
    writeDiary(path(), {{dayName(0), ownRecord(0, 0, u"a"_s)},
                        {dayName(1), g(u"readme"_s)},
                        {dayName(2), ownRecord(0, 0, u"c"_s)}});
    storeUnderAnotherPassword(path(), dayName(2), ownRecord(0, 0, u"x"_s));
    const QByteArray before = testing_support::readFile(path());

    const struct {
        QString name;
        diary::EntryProblem problem;
    } cases[] = {
        {dayName(0), diary::EntryProblem::None},
        {dayName(1), diary::EntryProblem::NotADiary},
        {dayName(2), diary::EntryProblem::WrongPassword},
        {dayName(3), diary::EntryProblem::Missing},
    };
    for (const auto &c : cases) {
        diary::EntryProblem problem = diary::EntryProblem::Damaged;
        diary::readEntry(reader(), g(c.name), &problem);
        EXPECT_EQ(problem, c.problem) << c.name.toStdString();
        problem = diary::EntryProblem::Damaged;
        const std::optional<QByteArray> found = diary::findEntry(reader(), g(c.name), &problem);
        EXPECT_EQ(found.has_value(), c.problem != diary::EntryProblem::Missing);
        EXPECT_EQ(problem, found ? c.problem : diary::EntryProblem::None) << c.name.toStdString();
    }
    for (int day : {1, 2}) {
        EXPECT_EQ(diary::storeEntry(writer(), g(dayName(day)), ownRecord(1, 1, u"over"_s)),
                  cases[day].problem);
        EXPECT_EQ(testing_support::readFile(path()), before) << day;
    }
    EXPECT_EQ(diary::storeEntry(writer(), g(dayName(0)), ownRecord(1, 1, u"new"_s)),
              diary::EntryProblem::None);
    EXPECT_EQ(diary::readEntry(reader(), g(dayName(0))), ownRecord(1, 1, u"new"_s));
}

TEST_F(DiaryBook, AListingStopsClearlyWhereItsEntriesWouldInflateBeyondItsLimit)
{
    // Distinct entries of 256 MiB of zeros each, a quarter of a megabyte apiece in the archive:
    // one deflated block of zeros repeated, closed by an empty final block.
    const int entries = int(diary::kMaxListingBytes / zip::kMaxEntrySize) + 1;
    const QString script = uR"(
import struct, sys, zlib
size, count = int(sys.argv[2]), int(sys.argv[3])
chunk = 1 << 20
c = zlib.compressobj(9, zlib.DEFLATED, -15)
piece = c.compress(bytes(chunk)) + c.flush(zlib.Z_FULL_FLUSH)
data = piece * (size // chunk) + b'\x03\x00'
crc = 0
zeros = bytes(chunk)
for _ in range(size // chunk):
    crc = zlib.crc32(zeros, crc)
out, central = bytearray(), bytearray()
for i in range(count):
    name = b'2003-9-%d' % (i + 1)
    offset = len(out)
    out += struct.pack('<IHHHHHIIIHH', 0x04034b50, 20, 0, 8, 0, 0x2F21, crc, len(data), size, len(name), 0) + name + data
    central += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 20, 20, 0, 8, 0, 0x2F21, crc, len(data), size, len(name), 0, 0, 0, 0, 0, offset) + name
end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, count, count, len(central), len(out), 0)
open(sys.argv[1], 'wb').write(bytes(out + central + end))
)"_s;
    const auto made = run(testing_support::python3Program(),
                          {u"-c"_s, script, path(), QString::number(zip::kMaxEntrySize),
                           QString::number(entries)});
    ASSERT_EQ(made.exitCode, 0) << made.err.constData();

    const diary::Listing listing = diary::listEntries(reader());
    // The entries within the limit are listed (zeros are no record); the next one is not
    // inflated at all.
    ASSERT_EQ(listing.rows.size(), entries - 1);
    for (const diary::ListRow &row : listing.rows)
        EXPECT_EQ(row.problem, diary::EntryProblem::NotADiary);
    ASSERT_TRUE(listing.error);
    try {
        listing.rethrowError();
    } catch (const EListingTooLarge &e) {
        EXPECT_EQ(e.message(), diary_text::listingTooLarge(
                                   qint64(entries - 1) * zip::kMaxEntrySize,
                                   u"2003-9-%1"_s.arg(entries), zip::kMaxEntrySize,
                                   diary::kMaxListingBytes));
    }
}

TEST_F(DiaryBook, ARowKeepsABoundedPartOfAHugeBody)
{
    const QString body(diary::kMaxSummaryLength + 1000, u'长');
    writeDiary(path(), {{dayName(0), g(u"1\r\n2\r\n"_s + body)}});
    const Rows got = listed(reader());
    ASSERT_EQ(got.rows.size(), 1);
    EXPECT_EQ(got.rows[0].summary, body.left(diary::kMaxSummaryLength));
    EXPECT_EQ(got.rows[0].weather, u"阴"_s);
}

// Tags are read from the whole body, also where the row keeps only the first part of it: in
// RTF, and in plain text beyond what the summary decodes.
TEST_F(DiaryBook, ARowHasTheTagsOfTheWholeBody)
{
    const QString head(diary::kMaxSummaryLength - 3, u'长');
    const QString pad(9 * diary::kMaxSummaryLength, u' ');
    writeDiary(path(), {
        {dayName(0), ownRecord(1, 2, u"#开头 "_s + head + u" #结尾，#旅行"_s)},
        {dayName(1), g(u"1\r\n2\r\n#开头"_s + pad + u"#结尾"_s)},
        {dayName(2), ownRecord(1, 2, u"短的 ＃旅行。"_s)},
    });
    const Rows got = listed(reader());
    ASSERT_EQ(got.rows.size(), 3);
    EXPECT_EQ(got.rows[0].tags, (QStringList{u"开头"_s, u"结尾"_s, u"旅行"_s}));
    EXPECT_FALSE(got.rows[0].summary.contains(u"旅行"_s));
    EXPECT_EQ(got.rows[1].tags, (QStringList{u"开头"_s, u"结尾"_s}));
    EXPECT_EQ(got.rows[2].tags, QStringList{u"旅行"_s});
}
