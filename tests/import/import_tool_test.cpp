// quillbook-tool import: what it prints for each day and each refused file, the choice for
// existing days, the encoding override, and a private diary opened with its password.

#include "diary_fixture.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace diary_testing;
using testing_support::run;

namespace {

testing_support::RunResult tool(const QStringList &args)
{
    return run(QDir(testing_support::binDir()).filePath(QStringLiteral("quillbook-tool")), args);
}

QString summaryOf(const QString &archive, const QString &name)
{
    TArchiveReader reader;
    reader.SetZipName(archive);
    const diary::Listing listing = diary::listEntries(reader);
    for (const diary::ListRow &row : listing.rows) {
        if (row.name == name)
            return row.summary;
    }
    return QStringLiteral("<none>");
}

TEST(ImportTool, PrintsEachDayAndEachRefusedFile)
{
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("张三"));
    writeDiary(archive, {{QStringLiteral("2003年9月26日"), ownRecord(1, 1, QStringLiteral("旧的"))}});
    const QString a = dir.filePath(QStringLiteral("2003-09-26.txt"));
    const QString b = dir.filePath(QStringLiteral("20030927.txt"));
    const QString c = dir.filePath(QStringLiteral("notes.txt"));
    testing_support::writeFile(a, QStringLiteral("新的").toUtf8());
    testing_support::writeFile(b, g(QStringLiteral("小")));   // valid UTF-8 too: only the override reads it right
    testing_support::writeFile(c, "undated\n");

    const auto skipped = tool({QStringLiteral("import"), archive, a, b, c});
    EXPECT_EQ(skipped.exitCode, 1) << skipped.err.constData();
    EXPECT_EQ(QString::fromUtf8(skipped.out), QStringLiteral("skipped\t2003-09-26\nadded\t2003-09-27\n"));
    const QString err = QString::fromUtf8(skipped.err);
    EXPECT_TRUE(err.contains(QStringLiteral("refused: %1: 文件名和内容里都没有日期\n").arg(c))) << skipped.err.constData();
    EXPECT_EQ(err.count(QStringLiteral("refused:")), 1);
    EXPECT_EQ(summaryOf(archive, QStringLiteral("2003年9月26日")), QStringLiteral("旧的"));
    EXPECT_NE(summaryOf(archive, QStringLiteral("2003年9月27日")), QStringLiteral("小"));

    const auto replaced = tool({QStringLiteral("import"), archive, QStringLiteral("--existing"),
                                QStringLiteral("replace"), QStringLiteral("--encoding"), QStringLiteral("gbk"), a, b});
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err.constData();
    EXPECT_EQ(QString::fromUtf8(replaced.out), QStringLiteral("replaced\t2003-09-26\nreplaced\t2003-09-27\n"));
    EXPECT_EQ(summaryOf(archive, QStringLiteral("2003年9月27日")), QStringLiteral("小"));

    const auto bad = tool({QStringLiteral("import"), archive, QStringLiteral("--existing"), QStringLiteral("merge"), a});
    EXPECT_EQ(bad.exitCode, 2);
    const auto missing = tool({QStringLiteral("import"), dir.filePath(QStringLiteral("nobody")), a});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("nobody"))));
}

TEST(ImportTool, APrivateDiaryAsksForItsPassword)
{
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("李四"));
    writeDiary(archive, {});
    const QString pw = dir.filePath(QStringLiteral("pw"));
    testing_support::writeFile(pw, QByteArray("口令 one\n"));
    const QStringList withPassword{QStringLiteral("--password-file"), pw};
    ASSERT_EQ(tool(withPassword + QStringList{QStringLiteral("protect"), archive}).exitCode, 0);
    const QString a = dir.filePath(QStringLiteral("2003-09-26.md"));
    testing_support::writeFile(a, "**secretword**\n");

    testing_support::writeFile(pw, QByteArray("wrong\n"));
    const QByteArray before = testing_support::readFile(archive);
    EXPECT_EQ(tool(withPassword + QStringList{QStringLiteral("import"), archive, a}).exitCode, 2);
    EXPECT_EQ(testing_support::readFile(archive), before);

    testing_support::writeFile(pw, QByteArray("口令 one\n"));
    const auto result = tool(withPassword + QStringList{QStringLiteral("import"), archive, a});
    EXPECT_EQ(result.exitCode, 0) << result.err.constData();
    EXPECT_EQ(result.out, QByteArray("added\t2003-09-26\n"));
    EXPECT_FALSE(testing_support::readFile(archive).contains("secretword"));
    const auto listed = tool(withPassword + QStringList{QStringLiteral("diary"), archive});
    EXPECT_EQ(QString::fromUtf8(listed.out), QStringLiteral("2003年9月26日\t\t\tsecretword\n"));
}

// Other diary programs' exports, a folder among them, into an old-format and a private diary:
// the same days, the entry that cannot be read named, nothing of it written.
TEST(ImportTool, TakesOtherProgramsExportsAndFolders)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("data")));
    testing_support::writeFile(dir.filePath(QStringLiteral("data/2019-01.txt")), "5:\n  text: '**secretbold** 梧桐'\n");
    const QString json = dir.filePath(QStringLiteral("jrnl.json"));
    testing_support::writeFile(json, "{\"tags\": {}, \"entries\": [{\"title\": \"T\", \"body\": \"secretword\", "
                                     "\"date\": \"2020-02-29\", \"time\": \"08:00\", \"tags\": [], \"starred\": false},"
                                     "{\"title\": \"x\", \"body\": \"\", \"date\": \"2019-02-29\", \"time\": \"\"}]}");
    const QString pw = dir.filePath(QStringLiteral("pw"));
    testing_support::writeFile(pw, QByteArray("口令\n"));
    const QStringList withPassword{QStringLiteral("--password-file"), pw};
    for (const bool isPrivate : {false, true}) {
        SCOPED_TRACE(isPrivate);
        const QString archive = dir.filePath(isPrivate ? QStringLiteral("李四") : QStringLiteral("张三"));
        writeDiary(archive, {});
        if (isPrivate) {
            ASSERT_EQ(tool(withPassword + QStringList{QStringLiteral("protect"), archive}).exitCode, 0);
        }
        const auto result = tool(withPassword + QStringList{QStringLiteral("import"), archive,
                                                            dir.filePath(QStringLiteral("data")), json});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, QByteArray("added\t2019-01-05\nadded\t2020-02-29\n"));
        const QString err = QString::fromUtf8(result.err);
        EXPECT_TRUE(err.contains(QStringLiteral("skipped: %1: 第 2 篇：日期“2019-02-29”无效\n").arg(json))) << result.err.constData();
        EXPECT_EQ(err.count(QStringLiteral("skipped:")), 1);
        const QString listed = QString::fromUtf8(tool(withPassword + QStringList{QStringLiteral("diary"), archive}).out);
        EXPECT_TRUE(listed.contains(QStringLiteral("2020年2月29日\t\t\tT\\nsecretword\n"))) << listed.toStdString();
        EXPECT_TRUE(listed.contains(QStringLiteral("2019年1月5日\t\t\tsecretbold 梧桐\n"))) << listed.toStdString();
    }
}

} // namespace
