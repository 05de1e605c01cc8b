// The directory is checked against its end record before a write trusts it; archives written by
// other programs (Zip64, UTF-8 names, AES entries, an end-record signature in the comment,
// overlapping entries) are read as far as they can be and never rewritten with entries lost.

#include "archive_fixture.h"

#include "platform/notice.h"

#include <QDir>
#include <QFile>

using namespace archive_testing;
using testing_support::run;
using testing_support::RunResult;

namespace {

RunResult python(const QString &script, const QStringList &args = {})
{
    return run(testing_support::python3Program(), QStringList{QStringLiteral("-c"), script} + args);
}

QString inconsistent(const QString &problem)
{
    return QStringLiteral("The archive's directory does not agree with the file (%1); it is left as "
                          "it is, so that no entry is lost")
        .arg(problem);
}

const QString kZip64NotWritable =
    QStringLiteral("The archive is in the Zip64 format, which can be read here but not rewritten");

// The 70 000-entry Zip64 archive Python writes, made once for the whole program.
QString zip64Archive()
{
    static QTemporaryDir folder;
    static const QString archive = [] {
        const QString file = folder.filePath(QStringLiteral("many.zip"));
        const RunResult r = python(QStringLiteral(
            "import sys, zipfile\n"
            "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
            "    for i in range(70000):\n"
            "        z.writestr('e%05d' % i, str(i))\n"),
            {file});
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        return file;
    }();
    return archive;
}

} // namespace

class Directory : public ArchiveTest
{
protected:
    void SetUp() override
    {
        notice::setHandler([this](notice::Kind, const QString &caption, const QString &text) {
            notices.append(caption + QLatin1Char('|') + text);
        });
    }
    void TearDown() override { notice::setHandler({}); }

    // An archive of the program's own, with the given number of small diary-like entries.
    QByteArray diary(int entries, bool comment)
    {
        QFile::remove(path());
        auto w = writer();
        if (comment)
            w->SetArchiveComment(QStringLiteral("qbb5Pj88M3Z5E"));
        std::vector<QByteArray> data;
        std::vector<std::unique_ptr<QBuffer>> streams;
        QList<TArchiveWriter::NewEntry> batch;
        data.reserve(size_t(entries));   // the buffers point into it
        for (int i = 0; i < entries; ++i) {
            data.push_back(QByteArray("{\\rtf1 entry ") + QByteArray::number(i) + "}");
            streams.push_back(std::make_unique<QBuffer>(&data.back()));
            streams.back()->open(QIODevice::ReadOnly);
            batch.append({g("2003年1月") + QByteArray::number(i).rightJustified(3, '0') + g("日"),
                          streams.back().get()});
        }
        w->AddFromStreams(batch);
        return testing_support::readFile(path());
    }

    // Every kind of write refuses the archive with that message and leaves it byte for byte.
    void expectNoWrite(const QString &archive, const QString &message)
    {
        const QByteArray before = testing_support::readFile(archive);
        auto w = writer(archive);
        EXPECT_EQ(errorOf([&] { add(*w, "2099年1月1日", "new"); }), message);
        EXPECT_EQ(errorOf([&] {
                      w->OpenArchive();
                      w->SelectEntry(0, true);
                      w->DeleteSelected();
                  }),
                  message);
        EXPECT_EQ(errorOf([&] { w->WriteArchive(); }), message);
        EXPECT_EQ(testing_support::readFile(archive), before);
        const QString folder = QFileInfo(archive).path();
        EXPECT_EQ(testing_support::entriesIn(folder, QDir::Files | QDir::Hidden),
                  testing_support::entriesIn(folder, QDir::Files))
            << "no temporary file left behind";
    }

    QStringList notices;
};

TEST_F(Directory, AnEndRecordThatDisagreesWithTheDirectoryListsAllAndRefusesEveryWrite)
{
    struct Row
    {
        const char *damage;
        std::function<void(QByteArray &, qsizetype end)> edit;
        QString problem;
    };
    // 300 entries; the directory is 300 central headers of 46 + 14 bytes.
    const qint64 central = 300 * (46 + 14);
    const QList<Row> rows = {
        {"the count edited down, as 3650 -> 3000",
         [](QByteArray &a, qsizetype end) { put16(a, end + 8, 200), put16(a, end + 10, 200); },
         QStringLiteral("the end record counts 200 entries, the directory holds 300")},
        {"the count edited up: the directory is rebuilt from the local headers",
         [](QByteArray &a, qsizetype end) { put16(a, end + 8, 301), put16(a, end + 10, 301); },
         QStringLiteral("the directory could not be read and was rebuilt from the entries")},
        {"the directory's size edited down",
         [](QByteArray &a, qsizetype end) { put32(a, end + 12, u32At(a, end + 12) - 60); },
         QStringLiteral("the end record gives the directory %1 bytes, it has %2").arg(central - 60).arg(central)},
        {"bytes appended after the comment",
         [](QByteArray &a, qsizetype) { a.append("trailing"); },
         QStringLiteral("the archive comment does not reach the end of the file")},
        {"an entry whose size runs into the next one",
         [](QByteArray &a, qsizetype end) {
             const qsizetype first = qsizetype(u32At(a, end + 16));
             put32(a, first + 20, u32At(a, first + 20) + 1);
         },
         QStringLiteral("the entries \"2003年1月000日\" and \"2003年1月001日\" overlap")},
        {"two entries at the same place",
         [](QByteArray &a, qsizetype end) {
             const qsizetype second = qsizetype(u32At(a, end + 16)) + 46 + 14;
             put32(a, second + 42, 0);
         },
         QStringLiteral("the entries \"2003年1月000日\" and \"2003年1月001日\" overlap")},
        {"an entry beyond the end of the file",
         [](QByteArray &a, qsizetype end) {
             const qsizetype last = qsizetype(u32At(a, end + 16)) + central - 60;
             put32(a, last + 42, 0x7FFF0000);
         },
         QStringLiteral("the entry \"2003年1月299日\" lies outside the file")},
    };
    for (bool comment : {false, true}) {
        for (const Row &row : rows) {
            SCOPED_TRACE(std::string(row.damage) + (comment ? ", with a comment" : ", without a comment"));
            QByteArray a = diary(300, comment);
            row.edit(a, endRecordAt(a));
            testing_support::writeFile(path(), a);
            TArchiveReader reader;
            reader.SetZipName(path());
            reader.OpenArchive();
            EXPECT_EQ(reader.EntryCount(), 300) << "every entry found is listed";
            EXPECT_EQ(reader.DirectoryProblem(), row.problem);
            expectNoWrite(path(), inconsistent(row.problem));
        }
    }
    // The untouched archive has no problem, and takes a new entry.
    diary(300, true);
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.OpenArchive();
    EXPECT_EQ(reader.DirectoryProblem(), QString());
    auto w = writer();
    add(*w, "2099年1月1日", "new");
    EXPECT_EQ(names(path()).size(), 301);
}

TEST_F(Directory, AnEntryWithoutItsLocalHeaderIsNotCarriedOver)
{
    // The directory agrees with its end record, but where it puts the second entry's local header
    // there is none: a save would copy whatever lies there as that entry.
    QByteArray a = diary(3, false);
    const qsizetype second = qsizetype(u32At(a, centralDirectoryAt(a) + 60 + 42));
    put32(a, second, 0x12345678);
    testing_support::writeFile(path(), a);
    expectNoWrite(path(), inconsistent(QStringLiteral("the entry \"2003年1月001日\" has no local header where "
                                                      "the directory says")));
}

TEST_F(Directory, AZip64ArchiveFromPythonIsReadWholeAndNeverRewritten)
{
    const QString archive = zip64Archive();
    TArchiveReader reader;
    reader.SetZipName(archive);
    reader.OpenArchive();
    ASSERT_EQ(reader.EntryCount(), 70000);
    EXPECT_TRUE(reader.IsZip64());
    EXPECT_EQ(reader.DirectoryProblem(), QString());
    EXPECT_EQ(reader.EntryNameBytes(69999), QByteArray("e69999"));
    QByteArray data;
    EXPECT_EQ(reader.ExtractToBytes(QByteArray("e69999"), data), 1);
    EXPECT_EQ(data, QByteArray("69999"));
    data.clear();
    EXPECT_TRUE(reader.ExtractEntry(65536, data));
    EXPECT_EQ(data, QByteArray("65536"));
    expectNoWrite(archive, kZip64NotWritable);

    // A Zip64 end record whose count disagrees with the directory is named as any other.
    QByteArray edited = testing_support::readFile(archive);
    const qsizetype locator = endRecordAt(edited) - 20;
    const qsizetype record = qsizetype(u32At(edited, locator + 8));
    put32(edited, record + 32, 69000);
    const QString copy = path(QStringLiteral("edited.zip"));
    testing_support::writeFile(copy, edited);
    TArchiveReader check;
    check.SetZipName(copy);
    check.OpenArchive();
    EXPECT_EQ(check.EntryCount(), 70000);
    EXPECT_EQ(check.DirectoryProblem(), QStringLiteral("the end record counts 69000 entries, the directory holds 70000"));
}

TEST_F(Directory, InfoZipForcedZip64FieldsAreRead)
{
    testing_support::writeFile(path(QStringLiteral("a.txt")), "first file\n");
    testing_support::writeFile(path(QStringLiteral("b.txt")), QByteArray("second file, deflated. ").repeated(50));
    const QString archive = path(QStringLiteral("fz.zip"));
    const RunResult r = run(testing_support::zipProgram(),
                            {QStringLiteral("-q"), QStringLiteral("-fz"), archive, QStringLiteral("a.txt"),
                             QStringLiteral("b.txt")},
                            {}, folder());
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    TArchiveReader reader;
    reader.SetZipName(archive);
    reader.OpenArchive();
    EXPECT_TRUE(reader.IsZip64());
    EXPECT_EQ(reader.DirectoryProblem(), QString());
    ASSERT_EQ(reader.EntryCount(), 2);
    QByteArray data;
    EXPECT_TRUE(reader.ExtractEntry(1, data));
    EXPECT_EQ(data, QByteArray("second file, deflated. ").repeated(50));
    expectNoWrite(archive, kZip64NotWritable);
}

TEST_F(Directory, AnEndRecordSignatureInTheCommentDoesNotHideTheRealOne)
{
    // Comments another program may write: a bare signature, one followed by zeros that read as
    // an empty archive at the very end of the file, one followed by noise.
    const QList<QByteArray> comments = {
        QByteArray("note PK\x05\x06 here", 14),
        QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'),
        QByteArray("token PK\x05\x06", 10) + randomBytes(40, 3),
    };
    // ... and one that describes itself: an empty directory ending right where it stands.
    const auto selfDescribing = [](qsizetype commentAt) {
        QByteArray fake("PK\x05\x06", 4);
        fake += QByteArray(8, '\0');
        fake += QByteArray(4, '\0');   // directory size 0
        QByteArray offset(4, '\0');
        put32(offset, 0, quint32(commentAt));
        return fake + offset + QByteArray(2, '\0');
    };
    // The two-entry archive below puts its comment at this offset.
    const qsizetype commentAt = (30 + 3 + 5) + (30 + 3 + 6) + 2 * (46 + 3) + 22;
    for (const QByteArray &comment : comments + QList<QByteArray>{selfDescribing(commentAt)}) {
        SCOPED_TRACE(comment.toHex().toStdString());
        const QString archive = path(QStringLiteral("comment.zip"));
        QFile::remove(archive);
        const RunResult r = python(QStringLiteral(
            "import sys, zipfile\n"
            "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
            "    z.writestr('one', 'first')\n"
            "    z.writestr('two', 'second')\n"
            "    z.comment = bytes.fromhex(sys.argv[2])\n"),
            {archive, QString::fromLatin1(comment.toHex())});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        TArchiveReader reader;
        reader.SetZipName(archive);
        reader.OpenArchive();
        EXPECT_EQ(reader.EntryCount(), 2);
        EXPECT_EQ(reader.DirectoryProblem(), QString());
        EXPECT_EQ(reader.ArchiveCommentBytes(), comment);
        auto w = writer(archive);
        add(*w, "three", "third");
        EXPECT_EQ(names(archive), (QList<QByteArray>{"one", "two", "three"}));
        TArchiveReader again;
        again.SetZipName(archive);
        again.OpenArchive();
        EXPECT_EQ(again.ArchiveCommentBytes(), comment);
    }
}

TEST_F(Directory, Utf8NamesAreTheirGbkSelvesAndKeepTheirBytesWhenCarriedOver)
{
    const QString archive = path(QStringLiteral("utf8.zip"));
    const RunResult r = python(QStringLiteral(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    z.writestr('2003年9月27日', 'python entry')\n"
        "    z.writestr('目录/子/x.txt', 'nested')\n"
        "    z.writestr('smile\\U0001F600.txt', 'beyond gbk')\n"
        "    z.writestr('plain.txt', 'ascii')\n"),
        {archive});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QString smile = QStringLiteral("smile") + QString::fromUcs4(U"\U0001F600") + QStringLiteral(".txt");

    TArchiveReader reader;
    reader.SetZipName(archive);
    reader.OpenArchive();
    ASSERT_EQ(reader.EntryCount(), 4);
    EXPECT_EQ(reader.EntryName(0), QStringLiteral("2003年9月27日"));
    EXPECT_EQ(reader.EntryNameBytes(0), g("2003年9月27日")) << "as the diary looks dates up";
    EXPECT_EQ(reader.EntryPathBytes(1), g("目录\\子\\x.txt"));
    EXPECT_EQ(reader.EntryPathText(1), QStringLiteral("目录\\子\\x.txt"));
    EXPECT_EQ(reader.EntryName(2), smile);
    EXPECT_EQ(reader.EntryName(3), QStringLiteral("plain.txt"));
    QByteArray data;
    EXPECT_EQ(reader.ExtractToBytes(QStringLiteral("2003年9月27日"), data), 1);
    EXPECT_EQ(data, QByteArray("python entry"));
    data.clear();
    EXPECT_EQ(reader.ExtractToBytes(QStringLiteral("目录/子/X.TXT"), data), 1);
    EXPECT_EQ(data, QByteArray("nested"));
    data.clear();
    EXPECT_EQ(reader.ExtractToBytes(smile, data), 1);
    EXPECT_EQ(data, QByteArray("beyond gbk"));

    // Another entry added: Python still reads every name as it wrote it.
    auto w = writer(archive);
    w->SetPassword(QString());
    add(*w, g("2003年9月28日"), "ours");
    const RunResult seen = python(QStringLiteral(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1]) as z:\n"
        "    print('|'.join(i.filename for i in z.infolist()[:4]))\n"),
        {archive});
    EXPECT_EQ(QString::fromUtf8(seen.out).trimmed(),
              QStringLiteral("2003年9月27日|目录/子/x.txt|") + smile + QStringLiteral("|plain.txt"));

    // Saving the date replaces that entry where it stands.
    add(*w, g("2003年9月27日"), "saved here");
    EXPECT_EQ(names(archive).size(), 5);
    EXPECT_EQ(names(archive)[0], g("2003年9月27日"));
    EXPECT_EQ(extract(archive, g("2003年9月27日"), nullptr, QString()), QByteArray("saved here"));
}

TEST_F(Directory, EntriesUnderAnEncryptionThisReaderDoesNotKnowAreSaidToBeSo)
{
    // Stored entries whose headers are then marked as 7-Zip marks WinZip AES (method 99) and as
    // PKWARE strong encryption does (flag bit 6), each with flag bit 0.
    const QString archive = path(QStringLiteral("aes.zip"));
    const RunResult r = python(QStringLiteral(
        "import sys, zipfile, struct\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    z.writestr('aes.txt', 'ciphertext')\n"
        "    z.writestr('strong.txt', 'ciphertext')\n"
        "    z.writestr('plain.txt', 'readable')\n"
        "d = bytearray(open(sys.argv[1], 'rb').read())\n"
        "def mark(sig, flags_at, method_at):\n"
        "    at = 0\n"
        "    for n in range(2):\n"
        "        at = d.index(sig, at)\n"
        "        if n == 0:\n"
        "            struct.pack_into('<HH', d, at + flags_at, 1, 99)\n"
        "        else:\n"
        "            struct.pack_into('<H', d, at + flags_at, 0x41)\n"
        "        at += 4\n"
        "mark(b'PK\\x03\\x04', 6, 8)\n"
        "mark(b'PK\\x01\\x02', 8, 10)\n"
        "open(sys.argv[1], 'wb').write(d)\n"),
        {archive});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    TArchiveReader reader;
    reader.SetZipName(archive);
    reader.SetPassword(fixedPassword());
    reader.OpenArchive();
    ASSERT_EQ(reader.EntryCount(), 3);
    for (int i : {0, 1}) {
        QByteArray data;
        ExtractFailure why = ExtractFailure::CrcMismatch;
        EXPECT_FALSE(reader.ExtractEntry(i, data, &why));
        EXPECT_EQ(why, ExtractFailure::UnsupportedEncryption) << i;
    }
    QByteArray data;
    QList<EntryFailure> failures;
    EXPECT_EQ(reader.ExtractToBytes(QByteArray("aes.txt"), data, &failures), 0);
    ASSERT_EQ(failures.size(), 1);
    EXPECT_EQ(failures[0].reason, ExtractFailure::UnsupportedEncryption);
    EXPECT_TRUE(notices.isEmpty()) << "no box about an unknown method";
    // Carried over untouched by a save.
    auto w = writer(archive);
    add(*w, "new", "x");
    EXPECT_EQ(names(archive).size(), 4);
}

TEST_F(Directory, OverlappingEntriesAreNamedAndNeverDecoded)
{
    // A small hostile archive: one deflated piece of 1 MiB of zeros, and 200 entries that each
    // declare 256 MiB and take it, all at the same place or nested one inside the next.
    for (const char *layout : {"same", "nested"}) {
        SCOPED_TRACE(layout);
        const QString archive = path(QStringLiteral("overlap.zip"));
        const RunResult r = python(QStringLiteral(
            "import sys, zlib, struct\n"
            "plain = bytes(1 << 20)\n"
            "c = zlib.compressobj(9, zlib.DEFLATED, -15)\n"
            "kernel = c.compress(plain) + c.flush()\n"
            "crc = zlib.crc32(plain)\n"
            "n = 200\n"
            "nested = sys.argv[2] == 'nested'\n"
            "out = bytearray()\n"
            "offsets = []\n"
            "for i in range(n if nested else 1):\n"
            "    offsets.append(len(out))\n"
            "    out += struct.pack('<IHHHIIIIHH', 0x04034b50, 20, 0, 8, 0, crc, 0, 256 << 20, 4, 0) + b'e%03d' % i\n"
            "headers = len(out)\n"
            "out += kernel\n"
            "central = len(out)\n"
            "for i in range(n):\n"
            "    at = offsets[i] if nested else 0\n"
            "    size = central - (at + 34)\n"
            "    struct.pack_into('<I', out, at + 18, size)\n"
            "    out += struct.pack('<IHHHHIIIIHHHHHII', 0x02014b50, 20, 20, 0, 8, 0, crc, size, 256 << 20, 4, 0, 0, 0, 0, 0, at) + b'e%03d' % i\n"
            "out += struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, n, n, len(out) - central, central, 0)\n"
            "open(sys.argv[1], 'wb').write(out)\n"),
            {archive, QString::fromLatin1(layout)});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        TArchiveReader reader;
        reader.SetZipName(archive);
        reader.OpenArchive();
        ASSERT_EQ(reader.EntryCount(), 200);
        EXPECT_EQ(reader.DirectoryProblem(), QStringLiteral("the entries \"e000\" and \"e001\" overlap"));
        int extracted = 0;
        for (int i = 0; i < reader.EntryCount(); ++i) {
            QByteArray data;
            ExtractFailure why = ExtractFailure::WrongPassword;
            if (reader.ExtractEntry(i, data, &why))
                ++extracted;
            else
                EXPECT_EQ(why, ExtractFailure::CrcMismatch);
        }
        EXPECT_LE(extracted, 1) << "only the innermost entry is whole";
        expectNoWrite(archive, inconsistent(reader.DirectoryProblem()));
    }
}

// Another program's package read whole into memory: stored and deflated entries, a data
// descriptor after each (as a stream writes them), UTF-8 names; nothing is locked or created
// beside the file it came from.
TEST_F(Directory, AnArchiveImageReadsAsItsFileWithoutLockingItsFolder)
{
    const QString folder = path(QStringLiteral("images"));
    QDir().mkpath(folder);
    const QString archive = folder + QStringLiteral("/package.zip");
    const RunResult r = python(QStringLiteral(
        "import sys, zipfile\n"
        "class Stream:\n"   // not seekable: every entry gets a data descriptor
        "    def __init__(self, f): self.f = f\n"
        "    def write(self, b): return self.f.write(b)\n"
        "    def flush(self): self.f.flush()\n"
        "with open(sys.argv[1], 'wb') as f, zipfile.ZipFile(Stream(f), 'w') as z:\n"
        "    z.writestr('Journal.json', '{\"entries\": []}' * 40, zipfile.ZIP_DEFLATED)\n"
        "    z.writestr('photos/相片.jpeg', b'\\xff\\xd8\\xff stored', zipfile.ZIP_STORED)\n"),
        {archive});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QByteArray bytes = testing_support::readFile(archive);
    QFile::remove(archive);

    TArchiveReader reader;
    reader.SetZipImage(bytes, QStringLiteral("package.zip"));
    reader.OpenArchive();
    ASSERT_EQ(reader.EntryCount(), 2);
    EXPECT_TRUE(reader.DirectoryProblem().isEmpty()) << reader.DirectoryProblem().toStdString();
    EXPECT_TRUE(reader.Entry(0).hasDataDescriptor());
    EXPECT_EQ(reader.EntryPathText(1), QStringLiteral("photos\\相片.jpeg"));
    QByteArray data;
    ASSERT_TRUE(reader.ExtractEntry(0, data));
    EXPECT_EQ(data, QByteArray("{\"entries\": []}").repeated(40));
    ASSERT_TRUE(reader.ExtractEntry(1, data));
    EXPECT_EQ(data, QByteArray("\xff\xd8\xff stored"));
    EXPECT_TRUE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());

    // A cut image has no directory, as a cut file has none.
    reader.SetZipImage(bytes.left(bytes.size() - 30), QStringLiteral("cut.zip"));
    reader.OpenArchive();
    EXPECT_FALSE(reader.HasDirectory());
    EXPECT_EQ(reader.ZipName(), QStringLiteral("cut.zip"));
}
