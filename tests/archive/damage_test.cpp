// Damaged and hostile files: each gives one of the container's errors or an entry left out, never
// a crash, a hang or a runaway allocation, and a failed save leaves the file as it was.

#include "archive_fixture.h"
#include "archive/zip_layout.h"

#include "platform/notice.h"

#include <QRandomGenerator>

#include <set>

using namespace archive_testing;

namespace {

const QString kIncomplete = QStringLiteral("Incomplete Zip File");
const QString kBad = QStringLiteral("Not a valid zip file!");
const QString kPremature = QStringLiteral("Premature end of file reached");

// The errors a reader may answer damaged input with.
bool isContainerError(const QString &message)
{
    static const std::set<QString> known = {kIncomplete, kBad, kPremature, QStringLiteral("Duplicate Object index")};
    return message.isEmpty() || known.count(message) || message.startsWith(QStringLiteral("The entry \""));
}

} // namespace

class Damage : public ArchiveTest
{
protected:
    void SetUp() override
    {
        notice::setHandler([this](notice::Kind, const QString &caption, const QString &text) {
            notices.append(caption + QLatin1Char('|') + text);
        });
    }
    void TearDown() override { notice::setHandler({}); }

    // A small archive: a deflated entry, a stored one, a comment. Returns its bytes.
    QByteArray sample(bool encrypted = true)
    {
        QFile::remove(path());
        auto w = writer();
        if (!encrypted)
            w->SetPassword(QString());
        w->SetArchiveComment(QStringLiteral("token"));
        add(*w, "deflated", QByteArray("some text to compress, some text to compress. ").repeated(20));
        add(*w, "stored", "abc");
        return testing_support::readFile(path());
    }

    // What reading the file gives: the error text of the first failing step, or "".
    QString readAll(const QByteArray &bytes)
    {
        testing_support::writeFile(path(QStringLiteral("damaged")), bytes);
        return errorOf([&] {
            TArchiveReader reader;
            reader.SetZipName(path(QStringLiteral("damaged")));
            reader.SetPassword(fixedPassword());
            reader.OpenArchive();
            reader.ArchiveCommentBytes();
            for (int i = 0; i < reader.EntryCount(); ++i) {
                QByteArray data;
                reader.ExtractToBytes(reader.EntryPathBytes(i), data);
            }
            QByteArray data;
            reader.ExtractToBytes(QByteArray("*"), data);
        });
    }

    QStringList notices;
};

TEST_F(Damage, FilesWithoutAnEndRecordOpenEmptyAndRefuseTheRest)
{
    const QList<QPair<const char *, QByteArray>> rows = {
        {"ten bytes", QByteArray("0123456789")},
        {"a text file", QByteArray("Dear diary,\nthis is not an archive at all.\n").repeated(5)},
        {"an archive cut before its end record", sample().left(sample().size() - 30)},
        {"an end record naming disk 1000", [this] { QByteArray a = sample(); put16(a, endRecordAt(a) + 4, 1000); return a; }()},
        {"a directory at a negative offset", [this] { QByteArray a = sample(); put32(a, endRecordAt(a) + 16, 0x80000000u); return a; }()},
        {"a directory on an earlier disk than the record", [this] { QByteArray a = sample(); put16(a, endRecordAt(a) + 6, 1); return a; }()},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.first);
        testing_support::writeFile(path(), row.second);
        TArchiveReader reader;
        reader.SetZipName(path());
        reader.SetPassword(fixedPassword());
        reader.OpenArchive();
        EXPECT_EQ(reader.EntryCount(), 0);
        EXPECT_FALSE(reader.HasDirectory());
        QBuffer stream;
        stream.open(QIODevice::ReadWrite);
        EXPECT_EQ(errorOf([&] { reader.ExtractToStream(QStringLiteral("stored"), stream); }), kIncomplete);
        auto w = writer();
        EXPECT_EQ(errorOf([&] { add(*w, "new", "entry"); }), kIncomplete);
        EXPECT_EQ(errorOf([&] { w->WriteArchive(); }), kIncomplete);
        EXPECT_EQ(testing_support::readFile(path()), row.second) << "untouched";
        EXPECT_EQ(folderFiles().size(), 1);
    }
}

TEST_F(Damage, AnEmptyFileIsAnArchiveWithoutEntries)
{
    testing_support::writeFile(path(), {});
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.OpenArchive();
    EXPECT_TRUE(reader.HasDirectory());
    EXPECT_EQ(reader.EntryCount(), 0);
    EXPECT_EQ(reader.ArchiveComment(), QString());
    auto w = writer();
    add(*w, "first", "entry");
    EXPECT_EQ(extract(path(), "first"), QByteArray("entry"));
}

TEST_F(Damage, AMissingFileIsACannotOpenError)
{
    TArchiveReader reader;
    reader.SetZipName(path(QStringLiteral("nobody")));
    const QString expected = QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(path(QStringLiteral("nobody")));
    EXPECT_EQ(errorOf([&] { reader.OpenArchive(); }), expected);
    EXPECT_EQ(reader.ZipName(), path(QStringLiteral("nobody"))) << "the path stays for the next try";
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    EXPECT_EQ(errorOf([&] { reader.ExtractToStream(QStringLiteral("x"), stream); }), expected);
}

TEST_F(Damage, AnUnreadableDirectoryWithoutLocalHeadersIsNotAValidZipFile)
{
    QByteArray a = sample();
    // Break every local header and the directory's first header.
    a.replace(QByteArray("PK\x03\x04", 4), QByteArray("XX\x03\x04", 4));
    put32(a, centralDirectoryAt(a), 0x12345678);
    testing_support::writeFile(path(), a);
    TArchiveReader reader;
    reader.SetZipName(path());
    EXPECT_EQ(errorOf([&] { reader.OpenArchive(); }), kBad);
    EXPECT_EQ(reader.EntryCount(), 0);
    auto w = writer();
    EXPECT_EQ(errorOf([&] { add(*w, "new", "entry"); }), kBad);
    EXPECT_EQ(testing_support::readFile(path()), a);
}

TEST_F(Damage, ABrokenDirectoryIsRecoveredFromTheLocalHeaders)
{
    for (quint32 offset : {0x7FFFFFF0u, 5u}) {
        QByteArray a = sample();
        put32(a, endRecordAt(a) + 16, offset);
        testing_support::writeFile(path(), a);
        EXPECT_EQ(names(path()), (QList<QByteArray>{"deflated", "stored"}));
        EXPECT_EQ(extract(path(), "stored"), QByteArray("abc"));
    }
    // A count beyond the headers present: the directory ends where the headers do.
    QByteArray a = sample();
    put16(a, endRecordAt(a) + 10, 0xFFFF);
    testing_support::writeFile(path(), a);
    EXPECT_EQ(names(path()).size(), 2);
}

TEST_F(Damage, HostileSizesNeverReachMemory)
{
    const QByteArray good = sample(false);
    const qsizetype central = centralDirectoryAt(good);
    const qsizetype second = central + 46 + 8;   // the stored entry's central header

    QByteArray huge = good;
    put32(huge, central + 24, 300u << 20);
    testing_support::writeFile(path(), huge);
    EXPECT_EQ(errorOf([&] { extract(path(), "deflated"); }),
              QStringLiteral("The entry \"deflated\" is too large: 314572800 bytes, more than the 268435456 bytes one entry may hold"));

    // A stored entry running past the end of the file cannot be completed.
    QByteArray longStored = good;
    put32(longStored, second + 20, 0xFFFFFFF0u);
    testing_support::writeFile(path(), longStored);
    EXPECT_EQ(errorOf([&] { extract(path(), "stored"); }), kPremature);
    auto w = writer();
    EXPECT_EQ(errorOf([&] { add(*w, "new", "x"); }),
              QStringLiteral("The archive's directory does not agree with the file (the entry \"stored\" "
                             "lies outside the file); it is left as it is, so that no entry is lost"))
        << "nothing to carry over";
    EXPECT_EQ(testing_support::readFile(path()), longStored);

    // A deflated one ends where its stream ends; reading past the file's end is never tried.
    QByteArray longDeflated = good;
    put32(longDeflated, central + 20, 0xFFFFFFF0u);
    testing_support::writeFile(path(), longDeflated);
    int count = -1;
    EXPECT_EQ(extract(path(), "deflated", &count),
              QByteArray("some text to compress, some text to compress. ").repeated(20));
    EXPECT_EQ(count, 1);

    // Data that inflates beyond its recorded size stops at that size.
    QByteArray bomb = good;
    put32(bomb, central + 24, 10);
    testing_support::writeFile(path(), bomb);
    TArchiveReader reader;
    reader.SetZipName(path());
    QByteArray data;
    QList<EntryFailure> failures;
    EXPECT_EQ(reader.ExtractToBytes(QByteArray("deflated"), data, &failures), 0);
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures[0].reason, ExtractFailure::LargerThanRecorded);
    EXPECT_TRUE(data.isEmpty());

    // A local header beyond the end of the file.
    QByteArray far = good;
    put32(far, central + 42, 0x40000000);
    testing_support::writeFile(path(), far);
    EXPECT_EQ(extract(path(), "deflated", &count), QByteArray());
    EXPECT_EQ(count, 0);
}

TEST_F(Damage, AnUnknownMethodShowsItsBoxAndExtractsNothing)
{
    QByteArray a = sample();
    put16(a, centralDirectoryAt(a) + 10, 12);
    testing_support::writeFile(path(), a);
    int count = -1;
    EXPECT_EQ(extract(path(), "deflated", &count), QByteArray());
    EXPECT_EQ(count, 0);
    EXPECT_EQ(notices, QStringList{QStringLiteral("Zip Error|Unknown Compression Method")});
}

TEST_F(Damage, AFlippedDataBitFailsTheCrcQuietly)
{
    QByteArray a = sample(false);
    a[40] = char(a[40] ^ 0x10);
    testing_support::writeFile(path(), a);
    TArchiveReader reader;
    reader.SetZipName(path());
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    EXPECT_EQ(reader.ExtractToStream(QStringLiteral("deflated"), stream), 0);
    EXPECT_TRUE(stream.data().isEmpty()) << "nothing of a failed entry reaches the caller";
    EXPECT_TRUE(notices.isEmpty());
}

// Entries too large to hold whole are read piece by piece: the same bytes, the same quiet
// failure for a flipped bit.
TEST_F(Damage, ALargeEntryIsReadPieceByPieceAlike)
{
    QByteArray large;
    for (int i = 0; large.size() <= qsizetype(zip::kWholeEntryLimit); ++i)
        large += QByteArray::number(qint64(i) * 7919) + ' ';
    QFile::remove(path());
    add(*writer(), "large", large);
    EXPECT_EQ(extract(path(), "large"), large);

    QByteArray a = testing_support::readFile(path());
    a[a.size() / 2] = char(a[a.size() / 2] ^ 0x10);
    testing_support::writeFile(path(), a);
    int count = -1;
    EXPECT_TRUE(extract(path(), "large", &count).isEmpty());
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(notices.isEmpty());
}

TEST_F(Damage, EveryTruncationAndEveryFlippedByteIsHandled)
{
    const QByteArray good = sample();
    for (qsizetype cut = 0; cut < good.size(); ++cut) {
        const QString error = readAll(good.left(cut));
        EXPECT_TRUE(isContainerError(error)) << "cut at " << cut << ": " << error.toStdString();
    }
    QRandomGenerator random(11);
    for (qsizetype at = 0; at < good.size(); ++at) {
        QByteArray bad = good;
        bad[at] = char(bad[at] ^ (1 << random.bounded(8)));
        const QString error = readAll(bad);
        EXPECT_TRUE(isContainerError(error)) << "flip at " << at << ": " << error.toStdString();
    }
    // Random garbage around a real archive.
    for (int round = 0; round < 50; ++round) {
        QByteArray noise(random.bounded(2000), Qt::Uninitialized);
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char(random.bounded(256));
        const QString error = readAll(noise + good + noise.left(round));
        EXPECT_TRUE(isContainerError(error)) << error.toStdString();
    }
}
