// The archive's bytes: records, stamps, names, the encryption and the exact layouts the writer
// produces.

#include "archive_fixture.h"

#include "archive/name_pattern.h"
#include "archive/read_stream.h"
#include "archive/zip_crypto.h"
#include "archive/zip_records.h"

#include <QFile>
#include <QRandomGenerator>
#include <sys/stat.h>
#include <zlib.h>

using namespace archive_testing;

namespace {

// Raw deflate of the data as zlib makes it at level 9: its zlib stream less the 2-byte header
// and the 4-byte checksum.
qsizetype deflatedSize(const QByteArray &data)
{
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    compress2(reinterpret_cast<Bytef *>(out.data()), &size,
              reinterpret_cast<const Bytef *>(data.constData()), uLong(data.size()), 9);
    return qsizetype(size) - 6;
}

QByteArray rtfRecord()
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n"
                     "\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18 1\\par\r\n3\\par\r\n";
    for (int i = 0; i < 60; ++i)
        rtf += "\\'bd\\'f1\\'cc\\'ec\\'cc\\'ec\\'c6\\'f8\\'ba\\'dc\\'ba\\'c3 " + QByteArray::number(i) + "\\par\r\n";
    return rtf + "}\r\n";
}

} // namespace

TEST(Stamp, RepairsEachImpossibleFieldAndKeepsValidOnes)
{
    // month 13, hour 25, seconds field 31, day 0 -> December, 23 h, 58 s, day 1
    const quint32 broken = (quint32(23) << 25) | (13u << 21) | (0u << 16) | (25u << 11) | (59u << 5) | 31u;
    const QDateTime repaired = zip::dateTimeOfStamp(zip::repairStamp(broken));
    EXPECT_EQ(repaired, QDateTime(QDate(2003, 12, 1), QTime(23, 59, 58)));
    EXPECT_EQ(zip::dateTimeOfStamp(zip::repairStamp(125u << 25 | 1u << 21 | 1u << 16)).date().year(), 2099);
    const quint32 valid = zip::dosStamp(2003, 9, 26, 21, 30, 14);
    EXPECT_EQ(zip::repairStamp(valid), valid);
    EXPECT_EQ(zip::dateTimeOfStamp(valid), QDateTime(QDate(2003, 9, 26), QTime(21, 30, 14)));
    EXPECT_EQ(zip::dosStamp(1970, 1, 1, 0, 0, 0), zip::dosStamp(1980, 1, 1, 0, 0, 0));
}

TEST(Names, SplitAtTheLastSeparatorAndFoldOnlyAsciiLetters)
{
    TZipHeaderInfo e;
    e.setName(zip::toMemoryName("a/b.txt"));
    EXPECT_EQ(e.directory(), QByteArray("a\\"));
    EXPECT_EQ(e.fileName(), QByteArray("b.txt"));
    EXPECT_EQ(zip::toDiskName(e.fullName()), QByteArray("a/b.txt"));

    // "\x95\x5C" is one double-byte character whose second byte looks like a separator.
    const QByteArray tricky("x\x95\x5C" "y", 4);
    e.setName(tricky);
    EXPECT_EQ(e.directory(), QByteArray()) << "a second byte is not a separator";
    EXPECT_EQ(zip::toDiskName(tricky), tricky);
    // Second bytes in the range of ASCII capitals stay as they are.
    EXPECT_EQ(zip::foldCase(QByteArray("AB\x81\x41", 4)), QByteArray("ab\x81\x41", 4));
    EXPECT_NE(zip::compareFolded(QByteArray("\x81\x41", 2), QByteArray("\x81\x61", 2)), 0);
    EXPECT_EQ(zip::compareFolded(QByteArray("Diary.RTF"), QByteArray("diary.rtf")), 0);
    EXPECT_LT(zip::compareFolded(QByteArray("a"), QByteArray("B")), 0);
}

TEST(Names, PatternsMatchWholeNamesWithoutRegardToAsciiCase)
{
    EXPECT_TRUE(zip::matchesPattern("*", "anything\\at all"));
    EXPECT_TRUE(zip::matchesPattern("2003*26*", g("2003年9月26日")));
    EXPECT_TRUE(zip::matchesPattern(g("2003年?月26日"), g("2003年9月26日"))) << "? is one GBK character";
    EXPECT_FALSE(zip::matchesPattern(g("2003年?月26日"), g("2003年10月26日")));
    EXPECT_TRUE(zip::matchesPattern("DIARY<0-9>.txt", "diary7.TXT"));
    EXPECT_FALSE(zip::matchesPattern("diary<!0-9>.txt", "diary7.txt"));
    EXPECT_TRUE(zip::matchesPattern("a<b", "A<B")) << "an unclosed set is an ordinary character";
    EXPECT_FALSE(zip::matchesPattern("abc", "abcd"));
    EXPECT_FALSE(zip::matchesPattern(g("2003年9月26日"), g("2003年9月27日")));
    EXPECT_TRUE(zip::isPlainName(g("2003年9月26日")));
    EXPECT_FALSE(zip::isPlainName("a*"));
}

TEST(SortedZip, KeepsNameOrderAndAppliesTheDuplicatePolicy)
{
    auto record = [](const char *name) {
        auto *r = new TZipHeaderInfo;
        r->setName(QByteArray(name));
        return r;
    };
    TSortedZip byName(TDuplicates::dupError, TZipSortMode::ByName, true);
    byName.add(record("b"));
    byName.add(record("C"));
    byName.add(record("a"));
    EXPECT_EQ(byName.at(0)->fileName(), QByteArray("a"));
    EXPECT_EQ(byName.at(2)->fileName(), QByteArray("C"));
    EXPECT_EQ(errorOf([&] { byName.add(record("B")); }), QStringLiteral("Duplicate Object index"));
    EXPECT_EQ(byName.count(), 3);

    TSortedZip ignore(TDuplicates::dupIgnore, TZipSortMode::ByName, true);
    EXPECT_TRUE(ignore.add(record("x")));
    EXPECT_FALSE(ignore.add(record("X")));
    TSortedZip accept(TDuplicates::dupAccept, TZipSortMode::ByName, true);
    accept.add(record("x"));
    accept.add(record("X"));
    EXPECT_EQ(accept.count(), 2);

    TSortedZip none(TDuplicates::dupError, TZipSortMode::ByNone, true);
    none.add(record("z"));
    none.add(record("a"));
    none.add(record("z"));
    EXPECT_EQ(none.at(0)->fileName(), QByteArray("z")) << "insertion order";
    int at;
    EXPECT_FALSE(none.find(*none.at(0), &at)) << "a list without order finds nothing";
}

// The writer's index of names: equal as the ByName order compares them, and only then.
TEST(NameIndex, FindsNamesEqualButForAsciiCaseAndNothingElse)
{
    std::vector<std::unique_ptr<TZipHeaderInfo>> records;
    auto record = [&](const QByteArray &memoryName) {
        records.push_back(std::make_unique<TZipHeaderInfo>());
        records.back()->setName(memoryName);
        return records.back().get();
    };
    TNameIndex index;
    for (int day = 1; day <= 5000; ++day)
        index.add(record(g("2003年1月") + QByteArray::number(day) + g("日")));
    index.add(record("Notes\\Day.RTF"));
    // A double-byte character whose second byte is an ASCII letter ("\x81A") does not fold.
    index.add(record("\x81" "A"));

    EXPECT_TRUE(index.contains(*record(g("2003年1月4999日"))));
    EXPECT_FALSE(index.contains(*record(g("2003年1月5001日"))));
    EXPECT_TRUE(index.contains(*record("notes\\day.rtf"))) << "directory and file name, case ignored";
    EXPECT_FALSE(index.contains(*record("notes\\day.rtf2")));
    EXPECT_FALSE(index.contains(*record("\x81" "a")));
    EXPECT_EQ(errorOf([&] { index.add(record("NOTES\\DAY.rtf")); }), QStringLiteral("Duplicate Object index"));
}

TEST(Records, CentralHeaderRoundTripAndShortReads)
{
    QTemporaryDir dir;
    TZipHeaderInfo e;
    e.setName("a\\b.txt");
    e.flags = 3;
    e.stamp = zip::dosStamp(2003, 9, 26, 21, 30, 0);
    e.crc = 0x11223344;
    e.compressedSize = 77;
    e.uncompressedSize = 99;
    e.localHeaderOffset = 1234;
    QByteArray bytes(5, 'x');
    e.writeCentralHeader(bytes, {});
    const QString file = dir.filePath(QStringLiteral("h"));
    testing_support::writeFile(file, bytes);

    ReadStream in;
    ASSERT_TRUE(in.open(file));
    in.seek(5);
    TZipHeaderInfo back;
    ASSERT_TRUE(back.readCentralHeader(in));
    EXPECT_EQ(in.pos(), bytes.size());
    EXPECT_EQ(back.fullName(), e.fullName());
    EXPECT_EQ(back.crc, e.crc);
    EXPECT_EQ(back.flags, e.flags);
    EXPECT_EQ(back.compressedSize, e.compressedSize);
    EXPECT_EQ(back.localHeaderOffset, e.localHeaderOffset);
    EXPECT_EQ(back.centralHeaderOffset, 5u) << "where it was read";

    // Cut inside the name: the read fails and leaves the stream at the header's start.
    testing_support::writeFile(file, bytes.left(bytes.size() - 2));
    ASSERT_TRUE(in.open(file));
    in.seek(5);
    EXPECT_FALSE(back.readCentralHeader(in));
    EXPECT_EQ(in.pos(), 5);
}

TEST(Records, EndRecordIsFoundBehindTheLargestComment)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("e"));
    TEndCentral end;
    end.setComment(QByteArray(0xFFFF, 'c'));
    QByteArray bytes("leading junk");
    end.write(bytes);
    testing_support::writeFile(file, bytes);
    ReadStream in;
    ASSERT_TRUE(in.open(file));
    TEndCentral found;
    ASSERT_TRUE(found.find(in));
    EXPECT_EQ(found.commentLength, 0xFFFF);
    EXPECT_EQ(found.commentOffset, 12 + 22);

    testing_support::writeFile(file, bytes.left(21));
    ASSERT_TRUE(in.open(file));
    EXPECT_FALSE(found.find(in));
}

TEST(Encryption, KeysHeaderAndDataMatchKnownBytes)
{
    zip::ZipKeys keys(QByteArray("qmt90315526hzrp"));
    EXPECT_EQ(keys.key0(), 0x6e0b4493u);
    EXPECT_EQ(keys.key1(), 0x4fea9955u);
    EXPECT_EQ(keys.key2(), 0xb8c1b700u);

    // Seed 12345 gives the ten bytes 62 4a 14 8d a2 57 70 14 08 ec; then the CRC of "abc".
    QByteArray data("abc");
    QByteArray header = zip::makeEncryptionHeader(keys, 12345, 0x352441c2);
    keys.encrypt(data.data(), data.size());
    EXPECT_EQ((header + data).toHex(), QByteArray("f1f0bc0f063bd4455214b928582b6b"));

    zip::ZipKeys reader(QByteArray("qmt90315526hzrp"));
    EXPECT_TRUE(zip::checkEncryptionHeader(reader, header.data(), 0x35));
    EXPECT_EQ(header.toHex(), QByteArray("624a148da25770140 8ec2435").replace(' ', ""));
    zip::ZipKeys wrong(QByteArray("another"));
    QByteArray again = zip::makeEncryptionHeader(keys, 12345, 0x352441c2);
    EXPECT_FALSE(zip::checkEncryptionHeader(wrong, again.data(), 0x35));
}

TEST(Encryption, DecryptingPiecesTogetherGivesWhatOneAfterAnotherGives)
{
    QRandomGenerator random(4242);
    for (int round = 0; round < 200; ++round) {
        const int count = random.bounded(1, 10);
        std::vector<QByteArray> together, alone;
        std::vector<zip::ZipKeys> keys, aloneKeys;
        for (int i = 0; i < count; ++i) {
            QByteArray password(random.bounded(0, 20), Qt::Uninitialized);
            for (char &c : password)
                c = char(random.bounded(256));
            keys.emplace_back(password);
            aloneKeys.emplace_back(password);
            // Empty pieces, short ones and longer ones, so that lanes end at different times and
            // later pieces take their place.
            QByteArray bytes(random.bounded(4) == 0 ? 0 : random.bounded(1, 3000), Qt::Uninitialized);
            for (char &c : bytes)
                c = char(random.bounded(256));
            together.push_back(bytes);
            alone.push_back(bytes);
            aloneKeys.back().decrypt(alone.back().data(), alone.back().size());
        }
        std::vector<zip::ZipKeys *> keyPointers;
        std::vector<char *> data;
        std::vector<qsizetype> sizes;
        for (int i = 0; i < count; ++i) {
            keyPointers.push_back(&keys[size_t(i)]);
            data.push_back(together[size_t(i)].data());
            sizes.push_back(together[size_t(i)].size());
        }
        zip::ZipKeys::decryptTogether(keyPointers.data(), data.data(), sizes.data(), count);
        EXPECT_EQ(together, alone) << "round " << round;
        for (int i = 0; i < count; ++i) {
            const zip::ZipKeys &k = keys[size_t(i)], &expected = aloneKeys[size_t(i)];
            EXPECT_EQ(std::tuple(k.key0(), k.key1(), k.key2()),
                      std::tuple(expected.key0(), expected.key1(), expected.key2()));
        }
    }
}

class Layout : public ArchiveTest
{
};

TEST_F(Layout, ANewArchiveWithOnlyACommentIsTheEndRecordAndTheComment)
{
    auto w = writer();
    w->SetArchiveComment(QStringLiteral("qbb5Pj88M3Z5E"));
    w->WriteArchive();
    const QByteArray expected = QByteArray("PK\x05\x06", 4) + QByteArray(16, '\0')
                                + QByteArray("\x0d\x00", 2) + "qbb5Pj88M3Z5E";
    EXPECT_EQ(testing_support::readFile(path()), expected);
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    auto bare = writer(path(QStringLiteral("李四")));
    bare->WriteArchive();
    EXPECT_EQ(testing_support::readFile(path(QStringLiteral("李四"))),
              QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    EXPECT_EQ(folderFiles().size(), 2) << "no temporary file left behind";
}

TEST_F(Layout, ASavedEntryCarriesTheSystemsHeaderValues)
{
    const QByteArray record = rtfRecord();
    const QByteArray name = g("2003年9月26日");
    auto w = writer();
    const QDateTime before = QDateTime::currentDateTime();
    add(*w, name, record);
    const QByteArray a = testing_support::readFile(path());

    const quint32 crc = quint32(crc32(0, reinterpret_cast<const Bytef *>(record.constData()), uInt(record.size())));
    const qsizetype central = centralDirectoryAt(a);
    ASSERT_EQ(u32At(a, 0), 0x04034B50u);
    EXPECT_EQ(u16At(a, 4), 20) << "version needed";
    EXPECT_EQ(u16At(a, 6), 3) << "flags: encrypted, maximum effort";
    EXPECT_EQ(u16At(a, 8), 8) << "deflated";
    EXPECT_EQ(u32At(a, 14), crc);
    EXPECT_EQ(qsizetype(u32At(a, 18)), deflatedSize(record) + 12);
    EXPECT_EQ(qsizetype(u32At(a, 22)), record.size());
    EXPECT_EQ(u16At(a, 26), name.size());
    EXPECT_EQ(u16At(a, 28), 0);
    EXPECT_EQ(a.mid(30, name.size()), name);
    EXPECT_EQ(central, 30 + name.size() + deflatedSize(record) + 12);

    ASSERT_EQ(u32At(a, central), 0x02014B50u);
    EXPECT_EQ(u16At(a, central + 4), 20) << "made by MS-DOS, 2.0";
    EXPECT_EQ(a.mid(central + 6, 24), a.mid(4, 24)) << "the same values as the local header";
    EXPECT_EQ(u16At(a, central + 30), 0);
    EXPECT_EQ(u16At(a, central + 32), 0);
    EXPECT_EQ(u16At(a, central + 36), 1) << "judged to be text";
    EXPECT_EQ(u32At(a, central + 38), 0x20u);
    EXPECT_EQ(u32At(a, central + 42), 0u);
    const QDateTime stamp = zip::dateTimeOfStamp(u32At(a, 10));
    EXPECT_LE(qAbs(stamp.secsTo(before)), 2);

    const qsizetype end = endRecordAt(a);
    EXPECT_EQ(end, central + 46 + name.size());
    EXPECT_EQ(u16At(a, end + 8), 1);
    EXPECT_EQ(u32At(a, end + 12), quint32(46 + name.size()));
    EXPECT_EQ(a.size(), end + 22);
}

TEST_F(Layout, AStreamThatDoesNotShrinkIsStoredAndStillEncrypted)
{
    auto w = writer();
    add(*w, "three", "abc");
    add(*w, "empty", "");
    const QByteArray a = testing_support::readFile(path());
    EXPECT_EQ(u16At(a, 6), 3);
    EXPECT_EQ(u16At(a, 8), 0) << "stored";
    EXPECT_EQ(u32At(a, 18), 15u) << "3 bytes and the encryption header";
    EXPECT_EQ(a.mid(35, 15).toHex(), QByteArray("f1f0bc0f063bd4455214b928582b6b"));

    const qsizetype second = 35 + 15;
    EXPECT_EQ(u32At(a, second + 14), 0u) << "the CRC of nothing";
    EXPECT_EQ(u32At(a, second + 18), 12u);
    QByteArray header = a.mid(second + 30 + 5, 12);
    zip::ZipKeys keys(QByteArray("qmt90315526hzrp"));
    EXPECT_TRUE(zip::checkEncryptionHeader(keys, header.data(), 0));
    EXPECT_EQ(header.right(2), QByteArray(2, '\0'));
    EXPECT_EQ(extract(path(), "empty"), QByteArray());
}

TEST_F(Layout, ANewCommentLeavesEveryEntryByteForByte)
{
    auto w = writer();
    w->SetArchiveComment(QStringLiteral("qbOLDOLDOLD00"));
    w->WriteArchive();
    add(*w, g("2003年9月26日"), rtfRecord());
    add(*w, g("2003年9月27日"), "short");
    add(*w, g("2003年9月28日"), QByteArray(5000, 'x'));
    const QByteArray before = testing_support::readFile(path());

    TArchiveWriter other;
    other.SetZipName(path());
    other.OpenArchive();
    EXPECT_EQ(other.ArchiveComment(), QStringLiteral("qbOLDOLDOLD00"));
    other.SetArchiveComment(QStringLiteral("qbNEWNEWNEW11"));
    other.SetPassword(fixedPassword());
    other.WriteArchive();
    const QByteArray after = testing_support::readFile(path());
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.left(after.size() - 13), before.left(before.size() - 13));
    EXPECT_EQ(after.right(13), QByteArray("qbNEWNEWNEW11"));

    // A rewrite with nothing to change gives the same file again.
    other.ClearSelection();
    other.DeleteSelected();
    EXPECT_EQ(testing_support::readFile(path()), after);
}

TEST_F(Layout, DeletingTheOnlyEntryLeavesTheEndRecordAndTheComment)
{
    auto w = writer();
    w->SetArchiveComment(QStringLiteral("token"));
    add(*w, "only", "data");
    w->OpenArchive();
    w->SelectEntry(0, true);
    w->DeleteSelected();
    EXPECT_EQ(w->LastWriteCount(), 1);
    EXPECT_EQ(testing_support::readFile(path()),
              QByteArray("PK\x05\x06", 4) + QByteArray(16, '\0') + QByteArray("\x05\x00", 2) + "token");
}

TEST_F(Layout, LargeEntriesAreDeflatedInSeveralBlocksAndReadBack)
{
    QByteArray data(300000, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char(random.bounded(i % 1000 < 500 ? 4 : 256));
    auto w = writer();
    add(*w, "big.bin", data);
    const QByteArray a = testing_support::readFile(path());
    EXPECT_EQ(u16At(a, 8), 8);
    EXPECT_EQ(u16At(a, centralDirectoryAt(a) + 36), 0) << "judged to be binary";
    EXPECT_EQ(extract(path(), "BIG.BIN"), data);
}
