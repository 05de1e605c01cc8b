// The reader and the writer as the diary uses them: saving, replacing, deleting, the comment, the
// selection, noticing another component's rewrite, and failures that must lose nothing.

#include "archive_fixture.h"

#include "platform/files.h"
#include "platform/notice.h"

#include <QFile>

using namespace archive_testing;

namespace {

// Hands out its bytes one at a time, so every buffer boundary of a reader is crossed.
class OneByteDevice : public QIODevice
{
public:
    explicit OneByteDevice(QByteArray data) : m_data(std::move(data)) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_data.size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (pos() >= m_data.size() || maxSize <= 0)
            return 0;
        *data = m_data[pos()];
        return 1;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
};

// Accepts only the first few bytes written to it.
class FullDevice : public QIODevice
{
public:
    FullDevice() { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 maxSize) override { return qMin<qint64>(maxSize, 3); }
};

// Claims one byte more than an entry may hold.
class HugeDevice : public QIODevice
{
public:
    HugeDevice() { open(QIODevice::ReadOnly); }
    qint64 size() const override { return zip::kMaxEntrySize + 1; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        std::fill(data, data + maxSize, '\0');
        return maxSize;
    }
    qint64 writeData(const char *, qint64) override { return -1; }
};


} // namespace

class Container : public ArchiveTest
{
};

TEST_F(Container, ReplacesAnEntryInItsPlaceAndAppendsNewOnes)
{
    auto w = writer();
    w->SetArchiveComment(QStringLiteral("token"));
    add(*w, "Alpha", "first");
    add(*w, "Beta", "second");
    add(*w, "Gamma", "third");
    add(*w, "beta", "second, rewritten");
    EXPECT_EQ(names(path()), (QList<QByteArray>{"Alpha", "beta", "Gamma"}));
    EXPECT_EQ(extract(path(), "BETA"), QByteArray("second, rewritten"));
    add(*w, "Delta", "fourth");
    EXPECT_EQ(names(path()).last(), QByteArray("Delta"));
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.OpenArchive();
    EXPECT_EQ(reader.ArchiveComment(), QStringLiteral("token"));
}

TEST_F(Container, ExtractsByNameIgnoringAsciiCaseOnly)
{
    auto w = writer();
    add(*w, g("2003年9月26日"), "entry");
    add(*w, "Notes.RTF", "notes");
    int count = -1;
    EXPECT_EQ(extract(path(), g("2003年9月26日"), &count), QByteArray("entry"));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(extract(path(), "notes.rtf"), QByteArray("notes"));
    EXPECT_EQ(extract(path(), g("2003年9月27日"), &count), QByteArray());
    EXPECT_EQ(count, 0);

    TArchiveReader reader;
    reader.SetZipName(path());
    reader.SetPassword(fixedPassword());
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    EXPECT_EQ(reader.ExtractToStream(QStringLiteral("2003年9月26日"), stream), 5);
    EXPECT_EQ(stream.data(), QByteArray("entry"));
    // A blank name does not even open the file.
    reader.SetZipName(path(QStringLiteral("missing")));
    EXPECT_EQ(reader.ExtractToStream(QStringLiteral(" \t"), stream), 0);
}

TEST_F(Container, AWrongPasswordExtractsNothingAndSaysNothing)
{
    auto w = writer();
    add(*w, "entry", "secret words");
    int notices = 0;
    notice::setHandler([&](notice::Kind, const QString &, const QString &) { ++notices; });
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.SetPassword(QStringLiteral("not the password"));
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    EXPECT_EQ(reader.ExtractToStream(QStringLiteral("entry"), stream), 0);
    EXPECT_TRUE(stream.data().isEmpty());
    QByteArray data;
    QList<EntryFailure> failures;
    EXPECT_EQ(reader.ExtractToBytes(QByteArray("entry"), data, &failures), 0);
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures[0].reason, ExtractFailure::WrongPassword);
    EXPECT_EQ(notices, 0);
    notice::setHandler({});
}

TEST_F(Container, IndexesOutsideTheDirectoryAreRefused)
{
    auto w = writer();
    add(*w, "a", "1");
    add(*w, "b", "2");
    TArchiveReader reader;
    reader.SetZipName(path());
    EXPECT_EQ(errorOf([&] { reader.EntryName(0); }), QStringLiteral("Index 0 is out of range"))
        << "no directory before OpenArchive";
    reader.OpenArchive();
    EXPECT_EQ(reader.EntryName(1), QStringLiteral("b"));
    EXPECT_EQ(errorOf([&] { reader.EntryName(2); }), QStringLiteral("Index 2 is out of range"));
    EXPECT_EQ(errorOf([&] { reader.SelectEntry(-1, true); }), QStringLiteral("Index -1 is out of range"));
    reader.SelectEntry(1, true);
    reader.SelectEntry(1, true);
    EXPECT_EQ(reader.SelectedCount(), 1);
    reader.ClearSelection();
    EXPECT_EQ(reader.SelectedCount(), 0);
}

TEST_F(Container, DeletesTheSelectedEntriesOnly)
{
    auto w = writer();
    for (const char *n : {"one", "two", "three", "four"})
        add(*w, n, n);
    w->OpenArchive();
    w->SelectEntry(1, true);
    w->SelectEntry(3, true);
    w->DeleteSelected();
    EXPECT_EQ(w->LastWriteCount(), 2);
    EXPECT_EQ(names(path()), (QList<QByteArray>{"one", "three"}));
    EXPECT_EQ(extract(path(), "three"), QByteArray("three"));
    EXPECT_EQ(w->EntryCount(), 2) << "the writer describes the new file";
}

TEST_F(Container, ASelectedEntryChangedByAnotherProgramIsNotDeleted)
{
    auto w = writer();
    add(*w, "kept", "old text");
    add(*w, "other", "x");
    w->OpenArchive();
    w->SelectEntry(0, true);
    auto second = writer();
    add(*second, "kept", "text saved meanwhile");
    w->DeleteSelected();
    EXPECT_EQ(extract(path(), "kept"), QByteArray("text saved meanwhile"));
}

TEST_F(Container, AReaderNoticesEveryRewriteEvenWithinTheSameTwoSeconds)
{
    auto w = writer();
    w->SetArchiveComment(QStringLiteral("old token"));
    add(*w, "a", "1");
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.SetPassword(fixedPassword());
    reader.OpenArchive();
    EXPECT_EQ(reader.ArchiveComment(), QStringLiteral("old token"));
    EXPECT_EQ(reader.EntryCount(), 1);

    add(*w, "b", "2");
    w->SetArchiveComment(QStringLiteral("new token"));
    w->WriteArchive();
    reader.OpenArchive();
    EXPECT_EQ(reader.EntryCount(), 2);
    EXPECT_EQ(reader.ArchiveComment(), QStringLiteral("new token"));
    EXPECT_EQ(extract(path(), "b"), QByteArray("2"));
}

TEST_F(Container, TheHeldCommentFollowsTheArchiveName)
{
    auto w = writer();
    w->SetArchiveComment(QStringLiteral("mine"));
    w->WriteArchive();
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.OpenArchive();
    EXPECT_EQ(reader.ArchiveComment(), QStringLiteral("mine"));
    reader.SetZipName(path());
    EXPECT_EQ(reader.ArchiveComment(), QStringLiteral("mine")) << "the same path changes nothing";
    reader.SetZipName(path(QStringLiteral("其他")));
    EXPECT_EQ(reader.ArchiveComment(), QString());
    // On this system a name in other letter case is another file.
    reader.SetZipName(path().toUpper());
    EXPECT_EQ(reader.ZipName(), path().toUpper());
}

TEST_F(Container, CommentsThatWouldBreakTheArchiveAreRefused)
{
    auto w = writer();
    EXPECT_EQ(errorOf([&] { w->SetArchiveCommentBytes(QByteArray("a\0b", 3)); }),
              QString(archive_text::kCommentInvalid));
    EXPECT_EQ(errorOf([&] { w->SetArchiveCommentBytes(QByteArray("xPK\x05\x06y", 6)); }),
              QString(archive_text::kCommentInvalid));
    EXPECT_EQ(errorOf([&] { w->SetArchiveCommentBytes(QByteArray(0x10000, 'c')); }),
              QString(archive_text::kCommentTooLong));
    w->SetArchiveCommentBytes(QByteArray(0xFFFF, 'c'));
    w->WriteArchive();
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.OpenArchive();
    EXPECT_EQ(reader.ArchiveCommentBytes(), QByteArray(0xFFFF, 'c'));
}

TEST_F(Container, ReadsItsStreamOneByteAtATime)
{
    const QByteArray data = randomBytes(70000, 3) + QByteArray(70000, 'a');
    auto w = writer();
    OneByteDevice device(data);
    w->AddFromStream(QByteArray("slow"), device);
    EXPECT_EQ(extract(path(), "slow"), data);
}

TEST_F(Container, AStreamThatTakesTooFewBytesIsAnError)
{
    auto w = writer();
    add(*w, "entry", "more than three bytes");
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.SetPassword(fixedPassword());
    FullDevice full;
    EXPECT_EQ(errorOf([&] { reader.ExtractToStream(QStringLiteral("entry"), full); }),
              QStringLiteral("Cant write uncompressed file"));
}

TEST_F(Container, SavingAfterTheArchiveVanishedCreatesItAnew)
{
    auto w = writer();
    w->SetArchiveComment(QStringLiteral("token"));
    add(*w, "old", "1");
    w->OpenArchive();
    QFile::remove(path());
    add(*w, "new", "2");
    EXPECT_EQ(names(path()), QList<QByteArray>{"new"});
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.OpenArchive();
    EXPECT_EQ(reader.ArchiveComment(), QString()) << "the held comment was not changed, so not written";
}

TEST_F(Container, TwoSavesInOneSecondBothLand)
{
    auto w = writer();
    add(*w, "today", "first");
    add(*w, "today", "second");
    EXPECT_EQ(names(path()), QList<QByteArray>{"today"});
    EXPECT_EQ(extract(path(), "today"), QByteArray("second"));
}

TEST_F(Container, SeveralEntriesGoInOneRewrite)
{
    QByteArray a("first"), b("second"), c("again");
    QBuffer sa(&a), sb(&b), sc(&c);
    for (QBuffer *s : {&sa, &sb, &sc})
        s->open(QIODevice::ReadOnly);
    auto w = writer();
    w->AddFromStreams({{"one", &sa}, {"two", &sb}, {"ONE", &sc}});
    EXPECT_EQ(w->LastWriteCount(), 2) << "a second entry of the same name is not written";
    EXPECT_EQ(names(path()), (QList<QByteArray>{"one", "two"}));
}

TEST_F(Container, AFullDiskLeavesTheArchiveAsItWasAndNoTemporaryFile)
{
    // Large enough for several pieces on the way to disk.
    auto w = writer();
    w->SetArchiveComment(QStringLiteral("token"));
    add(*w, "a", randomBytes(700000, 1));
    add(*w, "b", randomBytes(700000, 2));
    const QByteArray before = testing_support::readFile(path());
    const QStringList filesBefore = folderFiles();

    files::FileFaults::arm(files::FileFaults::Off, 0);
    {
        auto probe = writer(path(QStringLiteral("probe")));
        QFile::copy(path(), path(QStringLiteral("probe")));
        add(*probe, "c", "new entry");
    }
    const int steps = files::FileFaults::stepsTaken();
    QFile::remove(path(QStringLiteral("probe")));
    ASSERT_GE(steps, 4);

    int refused = 0;
    for (int step = 1; step <= steps; ++step) {
        files::FileFaults::arm(files::FileFaults::NoSpaceAt, step);
        auto save = writer();
        const QString error = errorOf([&] { add(*save, "c", "new entry"); });
        files::FileFaults::disarm();
        if (error.isEmpty()) {
            // Only writes can fail for want of room; the other steps went through.
            ASSERT_EQ(names(path()).size(), 3);
            testing_support::writeFile(path(), before);
            continue;
        }
        ++refused;
        EXPECT_EQ(error, QStringLiteral("Not enough room to write archive"));
        EXPECT_EQ(testing_support::readFile(path()), before) << "step " << step;
        EXPECT_EQ(folderFiles(), filesBefore) << "step " << step;
        EXPECT_EQ(save->EntryCount(), 2) << "the writer still describes the archive";
        // ... exactly: its held records still find the entries in the file it describes.
        QByteArray data;
        EXPECT_EQ(save->ExtractToBytes(QByteArray("b"), data), 1) << "step " << step;
        EXPECT_EQ(data, randomBytes(700000, 2)) << "step " << step;
    }
    EXPECT_GE(refused, 2);
}

TEST_F(Container, AfterASaveTheWriterDescribesTheNewFileExactly)
{
    // The writer keeps the directory it wrote and reads entries through it without reading the
    // file's directory again: every record must hold its place in the new file.
    auto w = writer();
    auto entry = [&](const char *name) {
        QByteArray data;   // ExtractToBytes appends
        EXPECT_EQ(w->ExtractToBytes(QByteArray(name), data), 1) << name;
        return data;
    };
    for (const char *name : {"a", "b", "c", "d"})
        add(*w, name, QByteArray(name).repeated(5000));
    add(*w, "b", "short now");          // replaced in place: the entries behind it move
    for (const char *name : {"a", "c", "d"})
        EXPECT_EQ(entry(name), QByteArray(name).repeated(5000)) << name;
    EXPECT_EQ(entry("b"), QByteArray("short now"));
    w->ClearSelection();
    w->SelectEntry(0, true);
    w->DeleteSelected();
    EXPECT_EQ(names(path()), (QList<QByteArray>{"b", "c", "d"}));
    EXPECT_EQ(entry("d"), QByteArray("d").repeated(5000));
}

TEST_F(Container, LeftoversOfAnInterruptedSaveAreRemoved)
{
    auto w = writer();
    add(*w, "a", "1");
    const QString leftover = folder() + QStringLiteral("/.张三.Ab12Cd.tmp");
    testing_support::writeFile(leftover, "half an archive");
    add(*w, "b", "2");
    EXPECT_FALSE(QFile::exists(leftover));
    EXPECT_EQ(names(path()).size(), 2);
}

TEST_F(Container, EntriesLargerThanOneEntryMayHoldAreRefused)
{
    auto w = writer();
    HugeDevice huge;
    EXPECT_EQ(errorOf([&] { w->AddFromStream(QByteArray("huge"), huge); }),
              QStringLiteral("The entry \"huge\" is too large: 268435457 bytes, more than the 268435456 bytes "
                             "one entry may hold"));
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(Container, NamesGbkCannotSpellAreRefusedOnSaveAndFindNothing)
{
    auto w = writer();
    QByteArray data("x");
    QBuffer stream(&data);
    stream.open(QIODevice::ReadOnly);
    EXPECT_FALSE(errorOf([&] { w->AddFromStream(QStringLiteral("emoji \U0001F600"), stream); }).isEmpty());
    add(*w, "?", "question");
    TArchiveReader reader;
    reader.SetZipName(path());
    EXPECT_EQ(reader.ExtractToStream(QStringLiteral("\U0001F600"), stream), 0);
}

TEST_F(Container, AHeldFileServesEveryExtractionFromTheFileOpenedOnce)
{
    auto w = writer();
    add(*w, "Alpha", "first");
    add(*w, "Beta", randomBytes(20000, 7));
    add(*w, "Gamma", "third");
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.SetPassword(fixedPassword());
    reader.OpenArchive();
    QList<QByteArray> apart;
    for (int i = 0; i < reader.EntryCount(); ++i) {
        QByteArray data;
        ASSERT_TRUE(reader.ExtractEntry(i, data));
        apart.append(data);
    }
    {
        TArchiveReader::HeldFile held(reader);
        // Replaced by another archive meanwhile: the held file is still the one read.
        const QString other = path(QStringLiteral("other"));
        auto o = writer(other);
        add(*o, "Alpha", "changed");
        ASSERT_TRUE(QFile::remove(path()));
        ASSERT_TRUE(QFile::rename(other, path()));
        for (int i = 0; i < reader.EntryCount(); ++i) {
            QByteArray data;
            ExtractFailure why = ExtractFailure::CrcMismatch;
            EXPECT_TRUE(reader.ExtractEntry(i, data, &why)) << i;
            EXPECT_EQ(data, apart[i]) << i;
        }
    }
    // Without it each extraction opens the archive again, and sees that it changed.
    QByteArray data;
    EXPECT_EQ(errorOf([&] { reader.ExtractEntry(2, data); }), QStringLiteral("Index 2 is out of range"));
    EXPECT_TRUE(reader.ExtractEntry(0, data));
    EXPECT_EQ(data, QByteArray("changed"));
}
