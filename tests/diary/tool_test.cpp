#include "diary_fixture.h"

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "drafts/drafts.h"
#include "platform/gbk.h"
#include "support/test_support.h"
#include "versions/kept_versions.h"
#include "templates/templates.h"
#include "richtext/rich_text.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace diary_testing;
using testing_support::run;

namespace {

testing_support::RunResult diaryTool(const QString &archive)
{
    return run(QDir(testing_support::binDir()).filePath(u"quillbook-tool"_s),
               {u"diary"_s, archive});
}

} // namespace

TEST(DiaryTool, PrintsTheRowsInTheListOrderOneLineEach)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"李四"_s);
    writeDiary(path, {
        {u"2003年9月3日"_s, ownRecord(0, 7, u"一\n二"_s)},
        {u"2003年10月5日"_s, richEditRecord({u"3"_s, u"0"_s,
                                                          u"a\tb\\c"_s})},
        {u"2003年9月26日"_s, ownRecord(9, 4, QString())},
    });
    const auto result = diaryTool(path);
    EXPECT_EQ(result.exitCode, 0) << result.err.constData();
    EXPECT_EQ(QString::fromUtf8(result.out),
              QStringLiteral("2003年10月5日\t雪\t高兴\ta\\tb\\\\c\n"
                             "2003年9月26日\t\t想法\t\n"
                             "2003年9月3日\t晴\t爱心\t一\\n二\n"));
}

TEST(DiaryTool, ListsEveryEntryAndWarnsOfEachThatCannotBeRead)
{
    QTemporaryDir dir;
    // Info-ZIP adds ".zip" to an archive name without an extension.
    const QString path = dir.filePath(u"diary.zip"_s);
    writeDiary(path, {
        {u"2003年9月3日"_s, ownRecord(1, 1, u"first"_s)},
        {u"2003年9月4日"_s, richEditRecord({u"one"_s, u"1"_s})},
        {u"2003年9月5日"_s, ownRecord(1, 1, u"listed too"_s)},
    });
    const QString other = dir.filePath(u"2003-9-6"_s);
    testing_support::writeFile(other, ownRecord(0, 0, u"x"_s));
    // One header in 256 that zip makes passes the check under the diary's password by chance
    // (the entry then reads as damaged): zip adds it again until it is refused outright.
    const QByteArray before = testing_support::readFile(path);
    for (int attempt = 0;; ++attempt) {
        ASSERT_LT(attempt, 64);
        ASSERT_EQ(run(testing_support::zipProgram(), {u"-q"_s, u"-j"_s, u"-P"_s, u"other"_s, path, other})
                      .exitCode,
                  0);
        TArchiveReader reader;
        reader.SetZipName(path);
        diary::EntryProblem problem = diary::EntryProblem::None;
        diary::readEntry(reader, g(u"2003-9-6"_s), &problem);
        if (problem == diary::EntryProblem::WrongPassword)
            break;
        testing_support::writeFile(path, before);
    }
    const auto result = diaryTool(path);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(QString::fromUtf8(result.out),
              u"2003-9-6\t\t\t无法读取：密码不同\n"
              "2003年9月3日\t阴\t烦恼\tfirst\n"
              "2003年9月4日\t\t\t无法读取：不是日记\n"
              "2003年9月5日\t阴\t烦恼\tlisted too\n"_s);
    EXPECT_EQ(QString::fromUtf8(result.err),
              u"warning: the entry \"2003-9-6\" cannot be read: encrypted under another password\n"
              "warning: the entry \"2003年9月4日\" cannot be read: not a diary entry\n"_s);

    const auto missing = diaryTool(dir.filePath(u"nobody"_s));
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_EQ(missing.out, QByteArray());
}

TEST(DiaryTool, ProtectAndUnprotectKeepTheListingAndTheOldLogin)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"王五"_s);
    writeDiary(path, {
        {u"2003年9月3日"_s, ownRecord(0, 7, u"秘密的话"_s)},
        {u"2003年9月4日"_s, ownRecord(2, 1, u"second"_s)},
    });
    const QString tool = QDir(testing_support::binDir()).filePath(u"quillbook-tool"_s);
    const QString passwordFile = dir.filePath(u"pw"_s);
    testing_support::writeFile(passwordFile, QByteArray("口令 one\n"));
    const QStringList withPassword{u"--password-file"_s, passwordFile};
    const auto plain = diaryTool(path);
    ASSERT_EQ(plain.exitCode, 0) << plain.err.constData();

    const auto protect = run(tool, withPassword + QStringList{u"protect"_s, path});
    ASSERT_EQ(protect.exitCode, 0) << protect.err.constData();
    EXPECT_FALSE(testing_support::readFile(path).contains("second")) << "no entry text stays readable";
    const auto sealed = run(tool, withPassword + QStringList{u"diary"_s, path});
    EXPECT_EQ(sealed.exitCode, 0) << sealed.err.constData();
    EXPECT_EQ(sealed.out, plain.out);
    EXPECT_EQ(run(tool, {u"diary"_s, path}, QByteArray("wrong\n")).exitCode, 2);

    const auto unprotect = run(tool, withPassword + QStringList{u"unprotect"_s, path});
    ASSERT_EQ(unprotect.exitCode, 0) << unprotect.err.constData();
    EXPECT_EQ(diaryTool(path).out, plain.out);
    // The old format's login compares the comment with the token of the password.
    const auto token = run(tool, {u"token"_s, u"口令 one"_s});
    const auto comment = run(tool, {u"comment"_s, path});
    EXPECT_EQ(comment.out.trimmed(), token.out.trimmed());
}

TEST(DiaryTool, ExtractOpensPrivateEntriesWithThePasswordOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"赵六"_s);
    writeDiary(path, {
        {u"2003年9月3日"_s, ownRecord(0, 7, u"秘密的话"_s)},
        {u"2003年9月4日"_s, ownRecord(2, 1, u"second"_s)},
    });
    const QString tool = QDir(testing_support::binDir()).filePath(u"quillbook-tool"_s);
    const auto one = run(tool, {u"extract"_s, path, u"2003年9月3日"_s});
    const auto all = run(tool, {u"extract"_s, path, u"2003年9月*"_s});
    ASSERT_EQ(one.exitCode, 0) << one.err.constData();
    ASSERT_EQ(all.exitCode, 0) << all.err.constData();
    const QString passwordFile = dir.filePath(u"pw"_s);
    testing_support::writeFile(passwordFile, QByteArray("口令\n"));
    const QStringList withPassword{u"--password-file"_s, passwordFile};
    ASSERT_EQ(run(tool, withPassword + QStringList{u"protect"_s, path}).exitCode, 0);

    const auto privateOne = run(tool, withPassword + QStringList{u"extract"_s, path, u"2003年9月3日"_s});
    EXPECT_EQ(privateOne.exitCode, 0) << privateOne.err.constData();
    EXPECT_EQ(privateOne.out, one.out);
    const auto privateAll = run(tool, withPassword + QStringList{u"extract"_s, path, u"2003年9月*"_s});
    EXPECT_EQ(privateAll.exitCode, 0) << privateAll.err.constData();
    EXPECT_EQ(privateAll.out, all.out);

    const auto wrong = run(tool, {u"extract"_s, path, u"2003年9月3日"_s}, QByteArray("wrong\n"));
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_EQ(wrong.out, QByteArray());
    const auto missing = run(tool, withPassword + QStringList{u"extract"_s, path, u"2004*"_s});
    EXPECT_EQ(missing.exitCode, 1);
}

TEST(DiaryTool, ByDateAndSearchPrintTheRowsTheListShowsAndFinds)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"赵六"_s);
    writeDiary(path, {
        {u"2003年9月3日"_s, ownRecord(2, 4, u"今天下雨了, Rain all day"_s)},
        {u"2003年10月5日"_s, ownRecord(0, 0, u"晴天 no RAIN"_s)},
        {u"notes"_s, ownRecord(2, 0, u"下雨的笔记"_s)},
        {u"2004年2月29日"_s, ownRecord(2, 0, u"闰日又下雨"_s)},
        {u"2003年9月26日"_s, ownRecord(1, 1, u"阴天"_s)},
    });
    const QString tool = QDir(testing_support::binDir()).filePath(u"quillbook-tool"_s);
    const auto names = [](const QByteArray &out) {
        QStringList found;
        for (const QByteArray &line : out.split('\n')) {
            if (!line.isEmpty())
                found << QString::fromUtf8(line.left(line.indexOf('\t')));
        }
        return found;
    };
    const struct {
        QStringList args;
        QStringList expected;
    } cases[] = {
        {{u"diary"_s, path},
         {u"2003年10月5日"_s, u"2003年9月26日"_s, u"2003年9月3日"_s, u"2004年2月29日"_s, u"notes"_s}},
        {{u"diary"_s, u"--by-date"_s, path},
         {u"2004年2月29日"_s, u"2003年10月5日"_s, u"2003年9月26日"_s, u"2003年9月3日"_s, u"notes"_s}},
        {{u"search"_s, path, u"下雨"_s}, {u"2003年9月3日"_s, u"2004年2月29日"_s, u"notes"_s}},
        {{u"search"_s, u"--by-date"_s, path, u"下雨"_s},
         {u"2004年2月29日"_s, u"2003年9月3日"_s, u"notes"_s}},
        {{u"search"_s, path, u"rain"_s}, {u"2003年10月5日"_s, u"2003年9月3日"_s}},
        {{u"search"_s, path, u"ｒａｉｎ"_s, u"--weather"_s, u"雨"_s}, {u"2003年9月3日"_s}},
        {{u"search"_s, path, u""_s, u"--mood"_s, u"0"_s},
         {u"2003年10月5日"_s, u"2004年2月29日"_s, u"notes"_s}},
        {{u"search"_s, path, u"下雨"_s, u"--from"_s, u"2003-09-04"_s}, {u"2004年2月29日"_s}},
        {{u"search"_s, path, u""_s, u"--from"_s, u"2003年9月3日"_s, u"--to"_s, u"2003-09-26"_s},
         {u"2003年9月26日"_s, u"2003年9月3日"_s}},
    };
    for (const auto &c : cases) {
        const auto result = run(tool, c.args);
        EXPECT_EQ(result.exitCode, 0) << c.args.join(u' ').toStdString() << result.err.constData();
        EXPECT_EQ(names(result.out), c.expected) << c.args.join(u' ').toStdString();
    }
    const auto line = run(tool, {u"search"_s, path, u"阴天"_s});
    EXPECT_EQ(QString::fromUtf8(line.out), u"2003年9月26日\t阴\t烦恼\t阴天\n"_s);
    for (const QStringList &bad : {QStringList{u"search"_s, path},
                                   QStringList{u"search"_s, path, u"x"_s, u"--weather"_s, u"雷"_s},
                                   QStringList{u"search"_s, path, u"x"_s, u"--from"_s, u"yesterday"_s},
                                   QStringList{u"search"_s, path, u"x"_s, u"--to"_s}}) {
        EXPECT_EQ(run(tool, bad).exitCode, 2) << bad.join(u' ').toStdString();
    }
}

// Versions kept by the window's saves, listed and put back from a shell: one entry, then the
// whole diary (which keeps the diary it replaces as a version first).
TEST(DiaryTool, ListsVersionsAndRestoresOneEntryOrTheWholeDiary)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"王五"_s);
    const QByteArray first = ownRecord(1, 1, u"第一稿"_s);
    writeDiary(path, {{u"2003年9月3日"_s, first}, {u"2003年9月4日"_s, ownRecord(0, 0, u"四"_s)}});
    const QByteArray original = testing_support::readFile(path);
    TArchiveWriter writer;
    writer.SetZipName(path);
    writer.SetKeepVersions(true);
    diary::storeEntry(writer, gbk::encode(u"2003年9月3日"_s), ownRecord(2, 2, u"改坏了"_s));
    diary::storeEntry(writer, gbk::encode(u"2003年9月5日"_s), ownRecord(2, 2, u"五"_s));

    const QString tool = QDir(testing_support::binDir()).filePath(u"quillbook-tool"_s);
    const auto listed = run(tool, {u"versions"_s, path});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.constData();
    const QStringList lines = QString::fromUtf8(listed.out).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1);
    const QString version = lines[0].section(u'\t', 0, 0);

    const auto one = run(tool, {u"restore"_s, path, version, u"2003年9月3日"_s});
    ASSERT_EQ(one.exitCode, 0) << one.err.constData();
    TArchiveReader reader;
    reader.SetZipName(path);
    EXPECT_EQ(diary::readEntry(reader, gbk::encode(u"2003年9月3日"_s)), first);
    EXPECT_TRUE(diary::findEntry(reader, gbk::encode(u"2003年9月5日"_s)).has_value());

    const QByteArray beforeWhole = testing_support::readFile(path);
    const auto whole = run(tool, {u"restore"_s, path, version});
    ASSERT_EQ(whole.exitCode, 0) << whole.err.constData();
    EXPECT_EQ(testing_support::readFile(path), original);
    const QList<versions::Version> kept = versions::list(path);
    ASSERT_FALSE(kept.isEmpty());
    EXPECT_EQ(testing_support::readFile(kept.first().path), beforeWhole);

    const auto missing = run(tool, {u"restore"_s, path, u"20990101-000000-000"_s});
    EXPECT_EQ(missing.exitCode, 2);
}

TEST(DiaryTool, TagsAndTheTagFilterAndTheLunarColumn)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"孙七"_s);
    writeDiary(path, {
        {u"2024年2月10日"_s, ownRecord(0, 0, u"春节 #家人 #旅行"_s)},
        {u"2024年2月11日"_s, ownRecord(2, 3, u"下雨，#旅行。"_s)},
        {u"2023年5月1日"_s, ownRecord(0, 0, u"＃旅行 和 C#"_s)},
        {u"notes"_s, ownRecord(0, 0, u"#家人"_s)},
    });
    const QString tool = QDir(testing_support::binDir()).filePath(u"quillbook-tool"_s);
    const auto tags = run(tool, {u"tags"_s, path});
    EXPECT_EQ(tags.exitCode, 0) << tags.err.constData();
    EXPECT_EQ(QString::fromUtf8(tags.out), u"旅行\t3\t2023-05-01\t2024-02-11\n"
                                           u"家人\t2\t2024-02-10\t2024-02-10\n"_s);
    const auto found = run(tool, {u"search"_s, u"--by-date"_s, path, u""_s, u"--tag"_s, u"#旅行"_s,
                                  u"--tag"_s, u"家人"_s});
    EXPECT_EQ(found.exitCode, 0) << found.err.constData();
    EXPECT_EQ(QString::fromUtf8(found.out), u"2024年2月10日\t晴\t高兴\t春节 #家人 #旅行\n"_s);
    const auto lunar = run(tool, {u"diary"_s, u"--by-date"_s, u"--lunar"_s, path});
    EXPECT_EQ(lunar.exitCode, 0) << lunar.err.constData();
    const QStringList lines = QString::fromUtf8(lunar.out).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith(u"2024年2月11日\t农历甲辰年正月初二\t雨\t伤感\t"_s)) << qPrintable(lines[0]);
    EXPECT_TRUE(lines[1].startsWith(u"2024年2月10日\t农历甲辰年正月初一\t"_s)) << qPrintable(lines[1]);
    EXPECT_TRUE(lines[3].startsWith(u"notes\t\t晴"_s)) << qPrintable(lines[3]);
    EXPECT_EQ(run(tool, {u"search"_s, path, u""_s, u"--tag"_s, u"#"_s}).exitCode, 2);
}

// The tool's conversion takes the diary's templates with it, as the window's does.
TEST(DiaryTool, ProtectAndUnprotectSealTheTemplatesAndOpenThemAgain)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"吴九"_s);
    writeDiary(path, {{u"2024年2月10日"_s, ownRecord(0, 0, u"春节"_s)}});
    QTextDocument body;
    body.setPlainText(u"{日期} 模板的字"_s);
    templates::Templates set;
    set.everyDay = richtext::writeRtf(body);
    templates::write(path, set, nullptr);
    const QString tool = QDir(testing_support::binDir()).filePath(u"quillbook-tool"_s);
    const QStringList password{u"--password"_s, u"口令"_s};
    ASSERT_EQ(run(tool, password + QStringList{u"protect"_s, path}).exitCode, 0);
    EXPECT_THROW(templates::read(path, nullptr), templates::ETemplateError);
    EXPECT_FALSE(testing_support::readFile(templates::pathOf(path)).contains("rtf1"));
    ASSERT_EQ(run(tool, password + QStringList{u"unprotect"_s, path}).exitCode, 0);
    EXPECT_EQ(templates::read(path, nullptr), set);
}

namespace {

struct ToolDiary {
    QTemporaryDir dir;
    QString path = dir.filePath(u"赵六"_s);
    QString tool = QDir(testing_support::binDir()).filePath(u"quillbook-tool"_s);
    QStringList withPassword;
    QStringList withWrongPassword;

    ToolDiary()
    {
        writeDiary(path, {{u"2003年9月3日"_s, ownRecord(0, 7, u"秘密的话"_s)}});
        const QString right = dir.filePath(u"pw"_s);
        const QString wrong = dir.filePath(u"wrong"_s);
        // A file written on Windows: the CR before the line feed is no part of the password.
        testing_support::writeFile(right, QByteArray("口令\r\n"));
        testing_support::writeFile(wrong, QByteArray("不对\n"));
        withPassword = {u"--password-file"_s, right};
        withWrongPassword = {u"--password-file"_s, wrong};
    }
    testing_support::RunResult tool_(const QStringList &args, const QByteArray &input = {}) const
    {
        return run(tool, args, input);
    }
};

} // namespace

// Every command that writes a private diary goes through its key: comment never touches the
// header, add seals the entry with the diary key, and without the right password (from the
// password file, since standard input may hold the entry) nothing is written at all.
TEST(DiaryTool, WritingCommandsOnAPrivateDiaryNeedItsPasswordAndSealWhatTheyWrite)
{
    ToolDiary d;
    ASSERT_EQ(d.tool_(d.withPassword + QStringList{u"protect"_s, d.path}).exitCode, 0);
    const QString entryFile = d.dir.filePath(u"entry.rtf"_s);
    const QByteArray record = ownRecord(1, 2, u"新写的秘密"_s);
    testing_support::writeFile(entryFile, record);

    const QByteArray sealed = testing_support::readFile(d.path);
    const struct {
        const char *what;
        QStringList args;
        QByteArray input;
    } refused[] = {
        {"comment on a private diary", {u"comment"_s, d.path, u"53abcdefghijk"_s}, {}},
        {"comment making a private header", {u"comment"_s, d.path, u"QUILLBOOK-PRIVATE 1\n"_s}, {}},
        {"add without a password, the entry on standard input", {u"add"_s, d.path, u"2003年9月5日"_s}, record},
        {"add with a wrong password", d.withWrongPassword + QStringList{u"add"_s, d.path, u"2003年9月5日"_s, entryFile}, {}},
        {"delete with a wrong password", d.withWrongPassword + QStringList{u"delete"_s, d.path, u"2003年9月3日"_s}, {}},
    };
    for (const auto &c : refused) {
        const auto result = d.tool_(c.args, c.input);
        EXPECT_EQ(result.exitCode, 2) << c.what << result.err.constData();
        EXPECT_EQ(testing_support::readFile(d.path), sealed) << c.what;
    }

    const auto added = d.tool_(d.withPassword + QStringList{u"add"_s, d.path, u"2003年9月5日"_s, entryFile});
    ASSERT_EQ(added.exitCode, 0) << added.err.constData();
    EXPECT_FALSE(testing_support::readFile(d.path).contains(g(u"新写的秘密"_s))) << "stored sealed";
    const auto listed = d.tool_(d.withPassword + QStringList{u"diary"_s, d.path});
    EXPECT_EQ(listed.exitCode, 0) << listed.err.constData();
    EXPECT_EQ(QString::fromUtf8(listed.out), u"2003年9月3日\t晴\t爱心\t秘密的话\n2003年9月5日\t阴\t愤怒\t新写的秘密\n"_s);
    const auto extracted = d.tool_(d.withPassword + QStringList{u"extract"_s, d.path, u"2003年9月5日"_s});
    EXPECT_EQ(extracted.out, record);
    // The entry came from standard input: the password from its file.
    EXPECT_EQ(d.tool_(d.withPassword + QStringList{u"add"_s, d.path, u"2003年9月6日"_s}, record).exitCode, 0);
    EXPECT_EQ(d.tool_(d.withPassword + QStringList{u"delete"_s, d.path, u"2003年9月6日"_s}).exitCode, 0);
    EXPECT_EQ(d.tool_(d.withPassword + QStringList{u"diary"_s, d.path}).out, listed.out);
}

// The tool's protect is the window's: the earlier versions and drafts, in the old format, go
// with the conversion.
TEST(DiaryTool, ProtectLeavesNoCopyOfTheDiaryInTheOldFormat)
{
    ToolDiary d;
    {
        TArchiveWriter writer;
        writer.SetZipName(d.path);
        writer.SetKeepVersions(true);
        diary::storeEntry(writer, g(u"2003年9月4日"_s), ownRecord(0, 0, u"旧格式的版本"_s));
    }
    drafts::write(d.path, g(u"2003年9月4日"_s), ownRecord(0, 0, u"旧格式的草稿"_s), nullptr);
    ASSERT_EQ(versions::list(d.path).size(), 1);
    ASSERT_EQ(drafts::pending(d.path, nullptr).size(), 1);

    const auto protect = d.tool_(d.withPassword + QStringList{u"protect"_s, d.path});
    ASSERT_EQ(protect.exitCode, 0) << protect.err.constData();
    EXPECT_TRUE(versions::list(d.path).isEmpty());
    EXPECT_TRUE(drafts::pending(d.path, nullptr).isEmpty());
    EXPECT_TRUE(QString::fromUtf8(protect.out).contains(u"2 older copies"_s)) << protect.out.constData();
}

// From a shell as from the window, nothing a command replaces is lost: add and delete keep the
// diary as it was, every restore keeps it as a version "before restore", and restoring that
// version undoes the restore.
TEST(DiaryTool, AddDeleteAndRestoreKeepTheDiaryAsItWasAsAVersion)
{
    ToolDiary d;
    const auto tool = [&](const QStringList &args) {
        const auto result = d.tool_(args);
        EXPECT_EQ(result.exitCode, 0) << args.join(u' ').toStdString() << result.err.constData();
        return result;
    };
    const QString day = u"2003年9月3日"_s;
    const auto textOf = [&] {
        TArchiveReader reader;
        reader.SetZipName(d.path);
        return diary::listRowOf(g(day), diary::readEntry(reader, g(day))).summary;
    };
    const auto newest = [&] { return versions::list(d.path).value(0); };
    const QString first = d.dir.filePath(u"first"_s), second = d.dir.filePath(u"second"_s);
    testing_support::writeFile(first, ownRecord(0, 0, u"第一次改"_s));
    testing_support::writeFile(second, ownRecord(0, 0, u"第二次改"_s));

    const QByteArray original = testing_support::readFile(d.path);
    tool({u"add"_s, d.path, day, first});
    EXPECT_EQ(testing_support::readFile(newest().path), original);
    const QByteArray afterFirst = testing_support::readFile(d.path);
    tool({u"add"_s, d.path, day, second});
    EXPECT_EQ(testing_support::readFile(newest().path), afterFirst);
    const QByteArray beforeDelete = testing_support::readFile(d.path);
    tool({u"delete"_s, d.path, day});
    EXPECT_EQ(testing_support::readFile(newest().path), beforeDelete);
    const QString deleteVersion = QFileInfo(newest().path).fileName();

    // The delete undone from the version it kept; the diary before the restore kept too.
    tool({u"restore"_s, d.path, deleteVersion, day});
    EXPECT_EQ(textOf(), u"第二次改"_s);
    EXPECT_TRUE(newest().beforeRestore);
    const auto listed = tool({u"versions"_s, d.path});
    EXPECT_TRUE(listed.out.split('\n').first().endsWith("\tbefore restore")) << listed.out.constData();

    // The first version back whole, then undone by the version the restore kept.
    const QString firstVersion = QFileInfo(versions::list(d.path).last().path).fileName();
    tool({u"restore"_s, d.path, firstVersion});
    EXPECT_EQ(textOf(), u"秘密的话"_s);
    tool({u"restore"_s, d.path, QFileInfo(newest().path).fileName()});
    EXPECT_EQ(textOf(), u"第二次改"_s);
}
