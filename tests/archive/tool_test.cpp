// quillbook-tool's archive commands and the diary generator, as scripts drive them.

#include "archive_fixture.h"

#include <QProcess>
#include <QRegularExpression>

using namespace archive_testing;
using testing_support::RunResult;

namespace {

QString toolProgram()
{
    return testing_support::binDir() + QStringLiteral("/quillbook-tool");
}

RunResult tool(const QStringList &args, const QByteArray &input = {})
{
    return testing_support::run(toolProgram(), args, input);
}

QString text(const QByteArray &utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

class Tool : public ArchiveTest
{
};

TEST_F(Tool, CreatesListsExtractsAndDeletes)
{
    const QString archive = path();
    ASSERT_EQ(tool({QStringLiteral("comment"), archive, QStringLiteral("qbb5Pj88M3Z5E")}).exitCode, 0);
    EXPECT_EQ(testing_support::readFile(archive).size(), 22 + 13);
    EXPECT_EQ(text(tool({QStringLiteral("comment"), archive}).out), QStringLiteral("qbb5Pj88M3Z5E\n"));

    testing_support::writeFile(path(QStringLiteral("record.rtf")), "{\\rtf1 from a file}");
    EXPECT_EQ(tool({QStringLiteral("add"), archive, QStringLiteral("2003年9月26日"), path(QStringLiteral("record.rtf"))}).exitCode, 0);
    EXPECT_EQ(tool({QStringLiteral("add"), archive, QStringLiteral("2003年9月27日")}, "{\\rtf1 from a pipe}").exitCode, 0);
    EXPECT_EQ(names(archive), (QList<QByteArray>{g("2003年9月26日"), g("2003年9月27日")})) << "GBK inside";
    EXPECT_EQ(text(tool({QStringLiteral("list"), archive}).out), QStringLiteral("2003年9月26日\n2003年9月27日\n"));

    const RunResult got = tool({QStringLiteral("extract"), archive, QStringLiteral("2003年9月27日")});
    EXPECT_EQ(got.exitCode, 0);
    EXPECT_EQ(got.out, QByteArray("{\\rtf1 from a pipe}"));
    EXPECT_EQ(tool({QStringLiteral("extract"), archive, QStringLiteral("2003年9月28日")}).exitCode, 1);
    EXPECT_EQ(tool({QStringLiteral("--password"), QStringLiteral("wrong"), QStringLiteral("extract"), archive,
                    QStringLiteral("2003年9月26日")}).exitCode, 1);
    EXPECT_EQ(tool({QStringLiteral("verify"), archive}).exitCode, 0);

    EXPECT_EQ(tool({QStringLiteral("delete"), archive, QStringLiteral("2003年9月26日")}).exitCode, 0);
    EXPECT_EQ(text(tool({QStringLiteral("list"), archive}).out), QStringLiteral("2003年9月27日\n"));
    EXPECT_EQ(tool({QStringLiteral("delete"), archive, QStringLiteral("2003年9月26日")}).exitCode, 1);
    EXPECT_EQ(text(tool({QStringLiteral("comment"), archive}).out), QStringLiteral("qbb5Pj88M3Z5E\n"));
    ASSERT_EQ(tool({QStringLiteral("comment"), archive, QString()}).exitCode, 0);
    EXPECT_EQ(text(tool({QStringLiteral("comment"), archive}).out), QStringLiteral("\n"));
}

TEST_F(Tool, ReportsEntriesThatFailTheirChecks)
{
    auto w = writer();
    add(*w, "good", "fine text");
    add(*w, "bad", "stored");
    w->SetPassword(QStringLiteral("other"));
    add(*w, "foreign", "another password");
    QByteArray a = testing_support::readFile(path());
    const qsizetype data = a.indexOf("bad") + 3 + 12 + 2;
    a[data] = char(a[data] ^ 0x40);
    testing_support::writeFile(path(), a);

    const RunResult r = tool({QStringLiteral("verify"), path()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(text(r.out), QStringLiteral("bad: CRC error\nforeign: wrong password\n"));
}

TEST_F(Tool, ErrorsCarryTheContainersTextAndAStatus)
{
    testing_support::writeFile(path(), "just some text");
    RunResult r = tool({QStringLiteral("list"), path()});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("Incomplete Zip File")) << r.err.constData();
    r = tool({QStringLiteral("add"), path(), QStringLiteral("x")}, "data");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("Incomplete Zip File"));
    EXPECT_EQ(testing_support::readFile(path()), QByteArray("just some text"));
    r = tool({QStringLiteral("verify"), path(QStringLiteral("nobody"))});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("Cannot open file")) << r.err.constData();
}

TEST_F(Tool, TwoProgramsSavingAtOnceKeepBothEntries)
{
    ASSERT_EQ(tool({QStringLiteral("comment"), path(), QStringLiteral("token")}).exitCode, 0);
    // A large entry makes each save long enough for the two to overlap.
    QByteArray bulk(4 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < bulk.size(); ++i)
        bulk[i] = char((i * 7919) >> 5);
    auto w = writer();
    w->SetPackLevel(0);
    add(*w, "bulk", bulk);
    testing_support::writeFile(path(QStringLiteral("entry")), "entry text");
    constexpr int kRounds = 8;
    for (int round = 0; round < kRounds; ++round) {
        QProcess first, second;
        for (QProcess *p : {&first, &second}) {
            const QString name = QStringLiteral("%1-%2").arg(p == &first ? QStringLiteral("a") : QStringLiteral("b")).arg(round);
            p->start(toolProgram(), {QStringLiteral("add"), path(), name, path(QStringLiteral("entry"))});
        }
        for (QProcess *p : {&first, &second}) {
            ASSERT_TRUE(p->waitForFinished(60000));
            ASSERT_EQ(p->exitCode(), 0) << p->readAllStandardError().constData();
        }
    }
    EXPECT_EQ(names(path()).size(), 2 * kRounds + 1);
    EXPECT_EQ(text(tool({QStringLiteral("comment"), path()}).out), QStringLiteral("token\n"));
}

TEST_F(Tool, TheDiaryGeneratorIsReproducibleAndReadable)
{
    const QString program = testing_support::binDir() + QStringLiteral("/make-diary");
    ASSERT_EQ(testing_support::run(program, {QStringLiteral("40"), path(QStringLiteral("one"))}).exitCode, 0);
    ASSERT_EQ(testing_support::run(program, {QStringLiteral("40"), path(QStringLiteral("two"))}).exitCode, 0);
    const QByteArray first = testing_support::readFile(path(QStringLiteral("one")));
    EXPECT_EQ(first, testing_support::readFile(path(QStringLiteral("two"))));

    const QList<QByteArray> list = names(path(QStringLiteral("one")));
    ASSERT_EQ(list.size(), 40);
    EXPECT_EQ(list.first(), g("2003年9月26日"));
    EXPECT_EQ(list[5], g("2003年10月1日"));
    const QByteArray record = extract(path(QStringLiteral("one")), list[7]);
    EXPECT_TRUE(record.startsWith("{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}"));
    // The first paragraph is the weather index, the second the mood index.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("\\\\fs18 [0-3]\\\\par\r\n[0-7]\\\\par\r\n"))
                    .match(QString::fromLatin1(record))
                    .hasMatch());
    EXPECT_GE(record.count("\\'"), 1000) << "mostly Chinese, every GBK byte escaped";

    const RunResult test = testing_support::run(testing_support::unzipProgram(),
                                                {QStringLiteral("-tq"), QStringLiteral("-P"), fixedPassword(), path(QStringLiteral("one"))});
    EXPECT_EQ(test.exitCode, 0) << test.out.constData();
    EXPECT_EQ(tool({QStringLiteral("verify"), path(QStringLiteral("one"))}).exitCode, 0);
}

TEST_F(Tool, ADiaryWhoseEndRecordCountsTooFewIsListedWholeFailsVerifyAndIsNotRewritten)
{
    // The ten-year diary's fault, on a smaller diary: one 16-bit count edited, 60 -> 45.
    const QString archive = path(QStringLiteral("diary"));
    ASSERT_EQ(testing_support::run(testing_support::binDir() + QStringLiteral("/make-diary"),
                                   {QStringLiteral("60"), archive}).exitCode, 0);
    QByteArray a = testing_support::readFile(archive);
    put16(a, endRecordAt(a) + 8, 45);
    put16(a, endRecordAt(a) + 10, 45);
    testing_support::writeFile(archive, a);

    const RunResult list = tool({QStringLiteral("list"), archive});
    EXPECT_EQ(text(list.out).count(QLatin1Char('\n')), 60);
    EXPECT_EQ(text(list.err),
              QStringLiteral("warning: ") + archive + QStringLiteral(": the end record counts 45 entries, the directory holds 60\n"));
    const RunResult verify = tool({QStringLiteral("verify"), archive});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_EQ(text(verify.out), archive + QStringLiteral(": the end record counts 45 entries, the directory holds 60\n"));
    const RunResult added = tool({QStringLiteral("add"), archive, QStringLiteral("2013年9月1日")}, "{\\rtf1 new}");
    EXPECT_NE(added.exitCode, 0);
    EXPECT_TRUE(text(added.err).contains(QStringLiteral("the end record counts 45 entries, the directory holds 60")))
        << added.err.constData();
    EXPECT_NE(tool({QStringLiteral("delete"), archive, QStringLiteral("2003年9月26日")}).exitCode, 0);
    EXPECT_EQ(testing_support::readFile(archive), a);
}

TEST_F(Tool, NamesOfOtherProgramsArePrintedAndFoundAsTheyAreShown)
{
    // UTF-8 names (flag bit 11) from Python, names equal but for case, and an entry marked as
    // WinZip AES the way 7-Zip writes it (method 99).
    const QString archive = path(QStringLiteral("other.zip"));
    const RunResult made = testing_support::run(testing_support::python3Program(), {QStringLiteral("-c"), QStringLiteral(
        "import sys, zipfile, struct\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    z.writestr('2003年9月27日', 'dated')\n"
        "    z.writestr('目录/smile\\U0001F600.txt', 'beyond gbk')\n"
        "    z.writestr('x', 'lower')\n"
        "    z.writestr('X', 'upper')\n"
        "    z.writestr('aes.bin', 'sealed')\n"
        "d = bytearray(open(sys.argv[1], 'rb').read())\n"
        "for sig, at in ((b'PK\\x03\\x04', 6), (b'PK\\x01\\x02', 8)):\n"
        "    struct.pack_into('<HH', d, d.rindex(sig) + at, 1, 99)\n"
        "open(sys.argv[1], 'wb').write(d)\n"), archive});
    ASSERT_EQ(made.exitCode, 0) << made.err.constData();
    const QString smile = QStringLiteral("目录/smile") + QString::fromUcs4(U"\U0001F600") + QStringLiteral(".txt");

    EXPECT_EQ(text(tool({QStringLiteral("list"), archive}).out),
              QStringLiteral("2003年9月27日\n") + smile + QStringLiteral("\nx\nX\naes.bin\n"));
    EXPECT_EQ(tool({QStringLiteral("extract"), archive, QStringLiteral("2003年9月27日")}).out, QByteArray("dated"));
    EXPECT_EQ(tool({QStringLiteral("extract"), archive, smile}).out, QByteArray("beyond gbk"));
    EXPECT_EQ(tool({QStringLiteral("extract"), archive, QStringLiteral("X")}).out, QByteArray("upper"));
    const RunResult sealed = tool({QStringLiteral("extract"), archive, QStringLiteral("aes.bin")});
    EXPECT_EQ(sealed.exitCode, 1);
    EXPECT_EQ(text(sealed.err), QStringLiteral("aes.bin: unsupported encryption\n"));
    const RunResult verify = tool({QStringLiteral("verify"), archive});
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_EQ(text(verify.out), QStringLiteral("aes.bin: unsupported encryption\n"));
    EXPECT_EQ(tool({QStringLiteral("delete"), archive, QStringLiteral("x")}).exitCode, 0);
    EXPECT_EQ(text(tool({QStringLiteral("list"), archive}).out),
              QStringLiteral("2003年9月27日\n") + smile + QStringLiteral("\nX\naes.bin\n"));
}
