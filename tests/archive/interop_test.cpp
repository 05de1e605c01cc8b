// Archives written here open in Info-ZIP and Python; archives they write open here.

#include "archive_fixture.h"


using namespace archive_testing;
using testing_support::run;
using testing_support::RunResult;

namespace {


RunResult python(const QString &script, const QStringList &args = {}, const QByteArray &input = {})
{
    return run(testing_support::python3Program(), QStringList{QStringLiteral("-c"), script} + args, input);
}

// Every entry of the archive as Python's zipfile reads it: raw name bytes and data, hex.
QList<QPair<QByteArray, QByteArray>> pythonEntries(const QString &archive, const QString &password)
{
    const RunResult r = python(QStringLiteral(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1]) as z:\n"
        "    for i in z.infolist():\n"
        "        print(i.filename.encode('cp437').hex(), z.read(i, pwd=sys.argv[2].encode()).hex())\n"),
        {archive, password});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    QList<QPair<QByteArray, QByteArray>> entries;
    for (const QByteArray &line : r.out.split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            entries.append({QByteArray::fromHex(parts[0]), QByteArray::fromHex(parts[1])});
    }
    return entries;
}

// The extra field of the named entry's central header.
QByteArray centralExtra(const QByteArray &archive, const QByteArray &name)
{
    qsizetype at = centralDirectoryAt(archive);
    while (u32At(archive, at) == 0x02014B50u) {
        const quint16 n = u16At(archive, at + 28), m = u16At(archive, at + 30), c = u16At(archive, at + 32);
        if (archive.mid(at + 46, n) == name)
            return archive.mid(at + 46 + n, m);
        at += 46 + n + m + c;
    }
    return {};
}

} // namespace

class Interop : public ArchiveTest
{
};

TEST_F(Interop, OurArchivesExtractWithInfoZipAndPython)
{
    const QList<QPair<QByteArray, QByteArray>> entries = {
        {g("2003年9月26日"), QByteArray("{\\rtf1\\ansi\\ansicpg936 \\'bd\\'f1\\par}\r\n").repeated(40)},
        {"binary.bin", randomBytes(100000, 5)},
        {"three", "abc"},
        {"empty", ""},
    };
    auto w = writer();
    w->SetSeedSource(zip::counterSeed);
    w->SetArchiveComment(QStringLiteral("qbb5Pj88M3Z5E"));
    QByteArray all;
    for (const auto &e : entries) {
        add(*w, e.first, e.second);
        all += e.second;
    }

    const RunResult test = run(testing_support::unzipProgram(), {QStringLiteral("-t"), QStringLiteral("-P"), fixedPassword(), path()});
    EXPECT_EQ(test.exitCode, 0) << test.out.constData();
    const RunResult pipe = run(testing_support::unzipProgram(), {QStringLiteral("-p"), QStringLiteral("-P"), fixedPassword(), path()});
    EXPECT_EQ(pipe.exitCode, 0);
    EXPECT_EQ(pipe.out, all);
    EXPECT_EQ(pythonEntries(path(), fixedPassword()), entries);
}

TEST_F(Interop, InfoZipArchivesAreReadHereStoredAndDeflated)
{
    const QByteArray text = QByteArray("A line of diary text.\n").repeated(300);
    const QByteArray binary = randomBytes(40000, 9);
    testing_support::writeFile(path(QStringLiteral("a.txt")), text);
    testing_support::writeFile(path(QStringLiteral("b.bin")), binary);
    for (const QString &level : {QStringLiteral("-6"), QStringLiteral("-0")}) {
        const QString archive = path(QStringLiteral("zip") + level + QStringLiteral(".zip"));
        const RunResult r = run(testing_support::zipProgram(),
                                {QStringLiteral("-q"), level, QStringLiteral("-e"), QStringLiteral("-P"), fixedPassword(),
                                 archive, QStringLiteral("a.txt"), QStringLiteral("b.bin")},
                                {}, folder());
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_EQ(names(archive), (QList<QByteArray>{"a.txt", "b.bin"}));
        EXPECT_TRUE(u16At(testing_support::readFile(archive), 6) & 0x0008) << "with a data descriptor";
        EXPECT_EQ(extract(archive, "a.txt"), text) << level.toStdString();
        EXPECT_EQ(extract(archive, "b.bin"), binary) << level.toStdString();
    }

    // Saving into their archive keeps their entries, extra fields included.
    const QString archive = path(QStringLiteral("zip-6.zip"));
    const QByteArray extraBefore = centralExtra(testing_support::readFile(archive), "a.txt");
    EXPECT_FALSE(extraBefore.isEmpty());
    auto w = writer(archive);
    add(*w, "c.rtf", "ours");
    EXPECT_EQ(centralExtra(testing_support::readFile(archive), "a.txt"), extraBefore);
    const RunResult test = run(testing_support::unzipProgram(), {QStringLiteral("-t"), QStringLiteral("-P"), fixedPassword(), archive});
    EXPECT_EQ(test.exitCode, 0) << test.out.constData();
    EXPECT_EQ(extract(archive, "b.bin"), binary);
}

TEST_F(Interop, EntriesWithDataDescriptorsAreReadAndKeptReadable)
{
    // Fed from a pipe, zip cannot seek back, so it sets flag bit 3 and writes a data descriptor;
    // the password check byte is then the top byte of the entry's time. (zip -e marks its
    // entries so even from files, and stores from a pipe only deflated.)
    const QByteArray data = QByteArray("piped diary text ").repeated(500);
    for (const QString &level : {QStringLiteral("-6"), QStringLiteral("-1")}) {
        const RunResult r = run(testing_support::zipProgram(),
                                {QStringLiteral("-q"), level, QStringLiteral("-e"), QStringLiteral("-P"), fixedPassword(),
                                 QStringLiteral("-"), QStringLiteral("-")},
                                data);
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        const QString archive = path(QStringLiteral("piped") + level);
        testing_support::writeFile(archive, r.out);
        ASSERT_TRUE(u16At(r.out, centralDirectoryAt(r.out) + 8) & 0x0008) << "a data descriptor is present";
        EXPECT_EQ(extract(archive, "-"), data) << level.toStdString();

        auto w = writer(archive);
        add(*w, "ours", "added after");
        EXPECT_EQ(extract(archive, "-"), data);
        EXPECT_EQ(extract(archive, "ours"), QByteArray("added after"));
        const RunResult test = run(testing_support::unzipProgram(), {QStringLiteral("-t"), QStringLiteral("-P"), fixedPassword(), archive});
        EXPECT_EQ(test.exitCode, 0) << test.out.constData();
    }
}

TEST_F(Interop, EntriesUnderAnotherPasswordAreSkippedSilently)
{
    testing_support::writeFile(path(QStringLiteral("a.txt")), "someone else's");
    const QString archive = path(QStringLiteral("other.zip"));
    ASSERT_EQ(run(testing_support::zipProgram(),
                  {QStringLiteral("-q"), QStringLiteral("-e"), QStringLiteral("-P"), QStringLiteral("other"), archive, QStringLiteral("a.txt")},
                  {}, folder()).exitCode, 0);
    int count = -1;
    EXPECT_EQ(extract(archive, "a.txt", &count), QByteArray());
    EXPECT_EQ(count, 0);
    EXPECT_EQ(extract(archive, "a.txt", &count, QStringLiteral("other")), QByteArray("someone else's"));
    EXPECT_EQ(count, 1);
}

TEST_F(Interop, PythonArchivesAreReadHereWithAndWithoutDescriptors)
{
    // To a file zipfile writes sizes in the local headers; to a pipe it adds data descriptors.
    const QString script = QStringLiteral(
        "import sys, zipfile\n"
        "out = open(sys.argv[1], 'wb') if len(sys.argv) > 1 else sys.stdout.buffer\n"
        "with zipfile.ZipFile(out, 'w') as z:\n"
        "    z.writestr(zipfile.ZipInfo('a/b.txt'), b'in a folder ' * 50, zipfile.ZIP_DEFLATED)\n"
        "    z.writestr(zipfile.ZipInfo('stored.txt'), b'stored bytes', zipfile.ZIP_STORED)\n"
        "    z.writestr(zipfile.ZipInfo('Deflated.TXT'), bytes(range(256)) * 300, zipfile.ZIP_DEFLATED)\n");
    const QString toFile = path(QStringLiteral("py-file.zip"));
    ASSERT_EQ(python(script, {toFile}).exitCode, 0);
    const RunResult piped = python(script);
    ASSERT_EQ(piped.exitCode, 0) << piped.err.constData();
    const QString toPipe = path(QStringLiteral("py-pipe.zip"));
    testing_support::writeFile(toPipe, piped.out);
    ASSERT_TRUE(u16At(piped.out, 6) & 0x0008);

    for (const QString &archive : {toFile, toPipe}) {
        EXPECT_EQ(names(archive), (QList<QByteArray>{"a\\b.txt", "stored.txt", "Deflated.TXT"}));
        TArchiveReader reader;
        reader.SetZipName(archive);
        reader.SetPassword(fixedPassword());
        reader.OpenArchive();
        EXPECT_EQ(reader.EntryName(0), QStringLiteral("b.txt"));
        QByteArray data;
        EXPECT_EQ(reader.ExtractToBytes(QByteArray("a\\b.txt"), data), 1);
        EXPECT_EQ(data, QByteArray("in a folder ").repeated(50));
        data.clear();
        EXPECT_EQ(reader.ExtractToBytes(QByteArray("b.txt"), data), 0) << "the folder is part of the name";
        EXPECT_EQ(reader.ExtractToBytes(QByteArray("a/b.txt"), data), 1);
        EXPECT_EQ(extract(archive, "stored.txt"), QByteArray("stored bytes"));
        QByteArray expected;
        for (int i = 0; i < 300; ++i)
            for (int c = 0; c < 256; ++c)
                expected += char(c);
        EXPECT_EQ(extract(archive, "deflated.txt"), expected);
    }
}

TEST_F(Interop, NamesThatDifferOnlyInCaseAreAllCarriedOverAndOnlyTheSharedNameIsRefused)
{
    // Python keeps "Notes.txt" and "notes.txt" apart; this container compares names without
    // regard to ASCII case. Both stay, every other name can still change, and a change by the
    // shared name fails and changes nothing.
    const QString archive = path(QStringLiteral("two-cases.zip"));
    const RunResult r = python(QStringLiteral(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    z.writestr('Notes.txt', 'upper')\n"
        "    z.writestr('diary.rtf', 'between')\n"
        "    z.writestr('notes.txt', 'lower')\n"),
        {archive});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    auto w = writer(archive);
    w->SetPassword(QString());
    EXPECT_EQ(errorOf([&] { add(*w, "new.rtf", "x"); }), QString());
    EXPECT_EQ(errorOf([&] { add(*w, "DIARY.rtf", "changed"); }), QString());
    EXPECT_EQ(names(archive), (QList<QByteArray>{"Notes.txt", "DIARY.rtf", "notes.txt", "new.rtf"}));
    EXPECT_EQ(extract(archive, "Notes.txt", nullptr, QString()), QByteArray("upperlower"))
        << "a name chooses every entry it matches, as always";

    const QByteArray before = testing_support::readFile(archive);
    EXPECT_EQ(errorOf([&] { add(*w, "NOTES.TXT", "which one?"); }),
              QStringLiteral("More than one entry of the archive is named \"NOTES.TXT\" (letter case aside); "
                             "it cannot be changed by that name"));
    EXPECT_EQ(testing_support::readFile(archive), before);
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".tmp")), QStringList());

    // Deleting chooses by place, so one of the two can go.
    w->OpenArchive();
    w->SelectEntry(2, true);
    w->DeleteSelected();
    EXPECT_EQ(names(archive), (QList<QByteArray>{"Notes.txt", "DIARY.rtf", "new.rtf"}));
    const QList<QPair<QByteArray, QByteArray>> seen = pythonEntries(archive, QString());
    ASSERT_EQ(seen.size(), 3);
    EXPECT_EQ(seen[0].second, QByteArray("upper"));
}

TEST_F(Interop, AWriterNoticesAnotherProgramChangingTheArchiveInPlace)
{
    // Between two saves of one writer, Python changes the archive without replacing the file
    // (same inode): first the comment at the same length, then a new entry appended. The writer's
    // next save keeps both changes and adds its own entry.
    const QString archive = path(QStringLiteral("shared.zip"));
    auto w = writer(archive);
    w->SetArchiveCommentBytes("ours");
    w->WriteArchive();
    add(*w, "first.rtf", "one");
    add(*w, "second.rtf", "two");

    RunResult r = python(QStringLiteral(
        "import sys\n"
        "with open(sys.argv[1], 'r+b') as f:\n"
        "    f.seek(-4, 2)\n"
        "    f.write(b'them')\n"),
        {archive});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    add(*w, "third.rtf", "three");
    EXPECT_EQ(w->ArchiveCommentBytes(), QByteArray("them"));
    EXPECT_EQ(testing_support::readFile(archive).right(4), QByteArray("them"));

    r = python(QStringLiteral(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'a') as z:\n"
        "    z.writestr('foreign.txt', 'appended in place')\n"),
        {archive});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    add(*w, "fourth.rtf", "four");
    EXPECT_EQ(names(archive), (QList<QByteArray>{"first.rtf", "second.rtf", "third.rtf", "foreign.txt",
                                                 "fourth.rtf"}));
    EXPECT_EQ(extract(archive, "foreign.txt"), QByteArray("appended in place"));
    EXPECT_EQ(extract(archive, "second.rtf"), QByteArray("two"));
    EXPECT_EQ(extract(archive, "fourth.rtf"), QByteArray("four"));
}

TEST_F(Interop, ASaveThroughTheHeldDirectoryWritesWhatAFreshReadWould)
{
    // After a save the writer trusts the directory it wrote, including the extra fields and
    // comments of entries it carried over. Its next save must give the very bytes that a writer
    // reading the file afresh gives.
    const QString archive = path(QStringLiteral("held.zip"));
    const RunResult r = python(QStringLiteral(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    i = zipfile.ZipInfo('with-extra.txt'); i.extra = b'\\x99\\x99\\x04\\x00abcd'; i.comment = b'a note'\n"
        "    z.writestr(i, 'first ' * 100)\n"
        "    z.writestr('plain.txt', 'second')\n"),
        {archive});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QDateTime fixed(QDate(2024, 2, 29), QTime(21, 30, 10));
    auto held = writer(archive);
    held->SetClock([=] { return fixed; });
    add(*held, "ours.rtf", "carried the first time");
    add(*held, "plain.txt", "replaced where it stands");

    const QString copy = path(QStringLiteral("copy.zip"));
    ASSERT_TRUE(QFile::copy(archive, copy));
    auto fresh = writer(copy);
    fresh->SetClock([=] { return fixed; });
    add(*held, "new.rtf", "the save compared");
    add(*fresh, "new.rtf", "the save compared");
    EXPECT_EQ(testing_support::readFile(archive), testing_support::readFile(copy));
    EXPECT_EQ(centralExtra(testing_support::readFile(archive), "with-extra.txt"), QByteArray("\x99\x99\x04\x00" "abcd", 8));
    EXPECT_EQ(pythonEntries(archive, fixedPassword()).size(), 4);
}

// Names in UTF-8 with extra fields after them, as 7-Zip and Python write them: a rewrite here
// keeps each entry's name and extra field as they were, byte for byte, so that both programs
// still read every entry of the archive after one rewrite and after several.
TEST_F(Interop, ArchivesOfSevenZipAndPythonWithUtf8NamesStayReadableByThemAfterRewrites)
{
    ASSERT_FALSE(testing_support::sevenZipProgram().isEmpty()) << "7-Zip (7zz) is needed";
    const QString files = folder() + QStringLiteral("/files");
    QDir().mkdir(files);
    const QStringList names = {QStringLiteral("2003年9月27日"), QStringLiteral("日记.txt"), QStringLiteral("plain.txt")};
    for (const QString &name : names)
        testing_support::writeFile(files + u'/' + name, name.toUtf8().repeated(20));
    const QString sevenZip = path(QStringLiteral("seven.zip"));
    const QString pythons = path(QStringLiteral("python.zip"));
    const RunResult made7 = run(testing_support::sevenZipProgram(),
                                QStringList{QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mcu=on"),
                                            QStringLiteral("-mtc=on"), sevenZip} + names, {}, files);
    ASSERT_EQ(made7.exitCode, 0) << made7.out.constData();
    // Python with an extra field of its own kind on each entry (a UNIX time field).
    const RunResult madePy = python(QStringLiteral(
        "import sys, zipfile, struct\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    for n in sys.argv[2:]:\n"
        "        i = zipfile.ZipInfo(n, (2003, 9, 27, 12, 0, 0))\n"
        "        i.extra = struct.pack('<HHBI', 0x5455, 5, 1, 1064664000)\n"
        "        i.compress_type = zipfile.ZIP_DEFLATED\n"
        "        z.writestr(i, n.encode() * 20)\n"), QStringList{pythons} + names);
    ASSERT_EQ(madePy.exitCode, 0) << madePy.err.constData();

    for (const QString &archive : {sevenZip, pythons}) {
        SCOPED_TRACE(archive.toStdString());
        for (int round = 0; round < 3; ++round) {
            auto w = writer();
            w->SetZipName(archive);
            add(*w, QByteArray("added ") + QByteArray::number(round), "x");
        }
        const RunResult py = python(QStringLiteral(
            "import sys, zipfile\n"
            "with zipfile.ZipFile(sys.argv[1]) as z:\n"
            "    for i in z.infolist():\n"
            "        data = z.read(i, pwd=sys.argv[2].encode())\n"
            "        print(i.filename, len(data))\n"), {archive, fixedPassword()});
        EXPECT_EQ(py.exitCode, 0) << py.err.constData();
        EXPECT_EQ(QString::fromUtf8(py.out).split(u'\n', Qt::SkipEmptyParts).size(), 6) << py.out.constData();
        for (const QString &name : names)
            EXPECT_TRUE(QString::fromUtf8(py.out).contains(name + u' ' + QString::number(name.toUtf8().size() * 20)));
        const RunResult seven = run(testing_support::sevenZipProgram(),
                                    {QStringLiteral("t"), QStringLiteral("-p") + fixedPassword(), archive});
        EXPECT_EQ(seven.exitCode, 0) << seven.out.constData();
        EXPECT_FALSE(seven.out.contains("Headers Error")) << seven.out.constData();
    }
}

// Info-ZIP on Linux stores UTF-8 names without the UTF-8 flag or a Unicode path field. Such a
// name is read as UTF-8 (found as the day it names), while the old program's GBK names, which
// are no valid UTF-8, stay GBK.
TEST_F(Interop, InfoZipsUnflaggedUtf8NamesAreReadAsUtf8AndGbkNamesStayGbk)
{
    const QString files = folder() + QStringLiteral("/files");
    QDir().mkdir(files);
    const QStringList names = {QStringLiteral("2003年9月27日"), QStringLiteral("日记.txt")};
    for (const QString &name : names)
        testing_support::writeFile(files + u'/' + name, "x");
    // Info-ZIP adds ".zip" to a name without an extension.
    const QString archive = path(QStringLiteral("info.zip"));
    const RunResult zipped = run(testing_support::zipProgram(), QStringList{QStringLiteral("-q"), archive} + names, {}, files);
    ASSERT_EQ(zipped.exitCode, 0) << zipped.err.constData();
    auto w = writer();
    w->SetZipName(archive);
    add(*w, g("2003年9月28日"), "gbk");

    TArchiveReader reader;
    reader.SetZipName(archive);
    reader.OpenArchive();
    ASSERT_EQ(reader.EntryCount(), 3);
    EXPECT_EQ(reader.Entry(0).flags & zip::kFlagUtf8Name, 0) << "Info-ZIP sets no flag";
    EXPECT_EQ(reader.EntryPathText(0), names[0]);
    EXPECT_EQ(reader.EntryNameBytes(0), g("2003年9月27日"));
    EXPECT_EQ(reader.EntryPathText(1), names[1]);
    EXPECT_EQ(reader.EntryPathText(2), QStringLiteral("2003年9月28日"));
    EXPECT_EQ(reader.EntryNameBytes(2), g("2003年9月28日"));
}
