#include "platform/exception.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "settings/backup_folder.h"
#include "settings/errors.h"
#include "settings/ini.h"
#include "support/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

using namespace testing_support;

namespace {

QByteArray g(const char *utf8) { return gbk::encode(QString::fromUtf8(utf8)); }

class Settings : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("main.ini"));
        ini::setSettingsPath(m_path);
    }
    void TearDown() override { files::FileFaults::disarm(); }

    void store(const QByteArray &bytes) { writeFile(m_path, bytes); }
    QByteArray stored() const { return readFile(m_path); }
    QStringList folder() const { return entriesIn(m_dir.path(), QDir::Files | QDir::Hidden); }

    QTemporaryDir m_dir;
    QString m_path;
};

} // namespace

TEST_F(Settings, ReadingWithoutAFileCreatesItEmpty)
{
    EXPECT_EQ(ini::ReadSetting(g("界面设置"), "skin"), QByteArray());
    EXPECT_TRUE(QFileInfo::exists(m_path));
    EXPECT_EQ(stored(), QByteArray());
}

TEST_F(Settings, LinesMatchUpperCasedWithoutSpacesButValuesKeepTheirSpelling)
{
    store("\r\n" + g("[ 界面 设置 ]") + "\r\nSkin = 5\r\n");
    EXPECT_EQ(ini::ReadSetting(g("界面设置"), "skin"), QByteArray(" 5"));

    store("[abc]\r\nskin=a=b\r\n");
    EXPECT_EQ(ini::ReadSetting("ABC", "SKIN"), QByteArray("b")) << "the last \"=\" decides";

    store("[s]\r\nskinny=7\r\n");
    EXPECT_EQ(ini::ReadSetting("s", "skin"), QByteArray("7")) << "a longer key name matches too";

    store(g("[界面 设置]") + "\r\nskin=1\r\n");
    EXPECT_EQ(ini::ReadSetting(g("界面 设置"), "skin"), QByteArray())
        << "the caller's names keep their spaces and so never match";
    EXPECT_EQ(ini::FindSettingLine(g("界面 设置"), "skin"), 0);

    store("[s]\r\n\tskin=1\r\n");
    EXPECT_EQ(ini::ReadSetting("s", "skin"), QByteArray()) << "tabs are not spaces";
}

TEST_F(Settings, UpperCasingLeavesTheTrailBytesOfGbkCharactersAlone)
{
    // 碼 is B4 61 and 碅 is B4 41: upper-casing bytes blindly would make them one name.
    store(g("[碅]") + "\r\nskin=1\r\n" + g("[碼]") + "\r\nskin=2\r\n");
    EXPECT_EQ(ini::ReadSetting(g("碼"), "skin"), QByteArray("2"));
    EXPECT_EQ(ini::ReadSetting(g("碅"), "skin"), QByteArray("1"));
    EXPECT_EQ(ini::FindSettingLine(g("碼"), "skin"), 4);
}

TEST_F(Settings, AnEmptyValueCountsAsNotFoundAndTheSearchGoesOn)
{
    store("[s]\r\nskin=\r\n   \r\n\r\nskin=4\r\n");
    EXPECT_EQ(ini::ReadSetting("s", "skin"), QByteArray("4")) << "blank lines do not end a section";
    EXPECT_EQ(ini::FindSettingLine("s", "skin"), 2) << "the line is found whatever its value";

    store("[s]\r\nskin=\r\n [t]\r\nskin=4\r\n");
    EXPECT_EQ(ini::ReadSetting("s", "skin"), QByteArray()) << "a header ends the section";
}

TEST_F(Settings, ASecondSectionOfTheSameNameIsSearchedUnlessItFollowsDirectly)
{
    store("[a]\r\nx=1\r\n[b]\r\n[a]\r\nskin=5\r\n");
    EXPECT_EQ(ini::ReadSetting("a", "skin"), QByteArray("5"));
    EXPECT_EQ(ini::FindSettingLine("a", "skin"), 5);

    store("[a]\r\nx=1\r\n[a]\r\nskin=5\r\n");
    EXPECT_EQ(ini::ReadSetting("a", "skin"), QByteArray())
        << "the line that ends a section is not looked at again as a header";
    EXPECT_EQ(ini::FindSettingLine("a", "skin"), 0);
}

TEST_F(Settings, AKeyWithoutEqualsSignIsNotReadButIsReplaced)
{
    store("; note\n[s]\nskin\nother=1\n");
    EXPECT_EQ(ini::ReadSetting("s", "skin"), QByteArray());
    EXPECT_EQ(ini::FindSettingLine("s", "skin"), 3);
    ini::WriteSetting("s", "SKIN", "9");
    EXPECT_EQ(stored(), QByteArray("; note\r\n[s]\r\nSKIN=9\r\nother=1\r\n"))
        << "the caller's spelling, and every line ends in CR LF afterwards";
}

TEST_F(Settings, WritingIntoAnEmptyFileGivesTheThreeLines)
{
    ini::EnsureSettingsFile(true);
    ini::WriteSetting(g("界面设置"), "skin", "6");
    EXPECT_EQ(stored(), "\r\n" + g("[界面设置]") + "\r\nskin=6\r\n");
    EXPECT_EQ(ini::ReadSetting(g("界面设置"), "skin"), QByteArray("6"));
}

TEST_F(Settings, AMissingKeyIsInsertedDirectlyBelowTheHeader)
{
    store("[a]\r\nx=1\r\n[s]\r\ny=2\r\n");
    ini::WriteSetting("s", "skin", "3");
    EXPECT_EQ(stored(), QByteArray("[a]\r\nx=1\r\n[s]\r\nskin=3\r\ny=2\r\n"));

    store("[a]\r\nx=1\r\n[s]");
    ini::WriteSetting("s", "skin", "3");
    EXPECT_EQ(stored(), QByteArray("[a]\r\nx=1\r\n[s]\r\nskin=3\r\n"))
        << "also when the header is the last line";
}

TEST_F(Settings, AMissingSectionIsAppendedAsThreeLines)
{
    store("[a]\r\nx=1");
    ini::WriteSetting("s", "skin", "3");
    EXPECT_EQ(stored(), QByteArray("[a]\r\nx=1\r\n\r\n[s]\r\nskin=3\r\n"));
}

TEST_F(Settings, ARewriteKeepsPermissionsAndLeavesNoTemporaryCopy)
{
    store("[s]\r\nskin=1\r\n");
    ::chmod(QFile::encodeName(m_path).constData(), 0640);
    writeFile(m_path + QLatin1String(".tmp"), "left over by an earlier run");
    ini::WriteSetting("s", "skin", "2");
    EXPECT_EQ(stored(), QByteArray("[s]\r\nskin=2\r\n"));
    EXPECT_EQ(folder(), QStringList{QStringLiteral("main.ini")});
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(m_path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(Settings, AFullDiskDuringARewriteLeavesTheFileAsItWas)
{
    store("[s]\r\nskin=1\r\nother=1\r\n");
    files::FileFaults::arm(files::FileFaults::NoSpaceAt, 1);
    try {
        ini::WriteSetting("s", "skin", "2");
        FAIL() << "no error raised";
    } catch (const EInOutError &e) {
        EXPECT_EQ(e.message(), ini::text::onFile(QStringLiteral("磁盘已满"), m_path));
    }
    EXPECT_EQ(stored(), QByteArray("[s]\r\nskin=1\r\nother=1\r\n"));
    EXPECT_EQ(folder(), QStringList{QStringLiteral("main.ini")});
}

TEST_F(Settings, FilesThatCannotBeUsedRaiseInputOutputErrorsNamingTheFile)
{
    // A folder in the file's place cannot be opened as a file, even by root.
    QDir(m_dir.path()).mkdir(QStringLiteral("main.ini"));
    try {
        ini::EnsureSettingsFile(true);
        FAIL() << "no error raised";
    } catch (const EInOutError &e) {
        EXPECT_EQ(e.message(), ini::text::onFile(QStringLiteral("没有权限读写文件"), m_path));
    }
    EXPECT_THROW(ini::ReadSetting("s", "skin"), EInOutError);

    const QString lost = m_dir.filePath(QStringLiteral("gone/main.ini"));
    ini::setSettingsPath(lost);
    try {
        ini::ReadSetting("s", "skin");
        FAIL() << "no error raised";
    } catch (const EInOutError &e) {
        EXPECT_EQ(e.message(), ini::text::onFile(QStringLiteral("找不到文件所在的文件夹"), lost));
    }
}

TEST(SettingsLocation, BesideTheProgramOrInTheUsersConfigurationFolder)
{
    const QString dir = ini::ProgramDirectory();
    ASSERT_TRUE(dir.endsWith(QLatin1Char('/')));
    EXPECT_TRUE(QFileInfo::exists(dir + QLatin1String("settings_tests")));
    EXPECT_EQ(ini::settingsPathFor(dir, true), dir + QLatin1String("main.ini"));

    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/srv/conf");
    EXPECT_EQ(ini::settingsPathFor(dir, false), QStringLiteral("/srv/conf/quillbook/main.ini"));
    qputenv("XDG_CONFIG_HOME", "relative/conf");
    EXPECT_EQ(ini::settingsPathFor(dir, false),
              QDir::homePath() + QLatin1String("/.config/quillbook/main.ini"));
    qputenv("XDG_CONFIG_HOME", savedConfig);
}

// main.ini replaced by a link (by whoever could write the program's folder): the program reads
// through it, but never writes through it, never creates what it points to, and never truncates it.
TEST_F(Settings, ALinkInTheFilesPlaceIsReadButNeverWrittenThrough)
{
    QDir(m_dir.path()).mkdir(QStringLiteral("elsewhere"));
    const QString victim = m_dir.filePath(QStringLiteral("elsewhere/victim"));
    const QByteArray victimBytes("[s]\r\nskin=4\r\nsomeone's data");
    writeFile(victim, victimBytes);
    const QString missing = m_dir.filePath(QStringLiteral("elsewhere/missing"));
    const QString refused = ini::text::onFile(QStringLiteral("文件是符号链接，不经它写入"), m_path);

    for (const QString &target : {victim, missing}) {
        SCOPED_TRACE(target.toStdString());
        QFile::remove(m_path);
        ASSERT_TRUE(QFile::link(target, m_path));
        EXPECT_EQ(ini::ReadSetting("s", "skin"), target == victim ? QByteArray("4") : QByteArray());
        EXPECT_EQ(ini::FindSettingLine("s", "skin"), target == victim ? 2 : 0);
        ini::EnsureSettingsFile(false);
        for (const auto &write : std::initializer_list<std::function<void()>>{
                 [] { ini::WriteSetting("s", "skin", "7"); }, [] { ini::EnsureSettingsFile(true); }}) {
            try {
                write();
                ADD_FAILURE() << "no error raised";
            } catch (const EInOutError &e) {
                EXPECT_EQ(e.message(), refused);
            }
        }
        EXPECT_TRUE(QFileInfo(m_path).isSymLink());
        EXPECT_EQ(readFile(victim), victimBytes);
        EXPECT_FALSE(QFileInfo::exists(missing));
    }
}

TEST_F(Settings, AFileAnotherProgramIsChangingIsReportedAndLeftAlone)
{
    store("[s]\r\nskin=1\r\n");
    files::FolderLock::setWaitForTesting(200);
    {
        const auto holder = holdWithFlock(m_dir.filePath(files::kLockFileName), "-x");
        ASSERT_EQ(holder->firstLine(), QByteArray("held"));
        try {
            ini::WriteSetting("s", "skin", "2");
            ADD_FAILURE() << "no error raised";
        } catch (const EInOutError &e) {
            EXPECT_EQ(e.message(),
                      ini::text::onFile(QStringLiteral("文件正被另一个程序使用，请稍后再试"), m_path));
        }
    }
    files::FolderLock::setWaitForTesting(-1);
    EXPECT_EQ(stored(), QByteArray("[s]\r\nskin=1\r\n"));
}

// Saved by an editor in UTF-8, with or without a byte order mark, the file reads as the same
// text in GBK would; a change writes the whole file back in GBK, as the program always has.
TEST_F(Settings, AFileSavedInUtf8ReadsAsTheSameTextAndIsWrittenBackInGbk)
{
    for (const QByteArray &mark : {QByteArray(), QByteArray("\xEF\xBB\xBF")}) {
        store(mark + QByteArray("\r\n[界面设置]\r\nskin=3\r\nautolock=5\r\n"));
        EXPECT_EQ(ini::ReadSetting(g("界面设置"), "autolock"), QByteArray("5"));
        EXPECT_EQ(ini::FindSettingLine(g("界面设置"), "skin"), 3);
        ini::WriteSetting(g("界面设置"), "skin", "4");
        EXPECT_EQ(stored(), "\r\n" + g("[界面设置]") + "\r\nskin=4\r\nautolock=5\r\n");
    }
    // Plain ASCII and GBK stay as they are.
    store("[a]\r\nskin=1\r\n");
    EXPECT_EQ(ini::ReadSetting("a", "skin"), QByteArray("1"));
    store(g("[界面设置]") + "\r\nskin=" + g("七") + "\r\n");
    EXPECT_EQ(ini::ReadSetting(g("界面设置"), "skin"), g("七"));
}

// A user whose name begins another's, or holds a space or "=", keeps a folder of its own, and a
// folder's path comes back whole whatever it holds.
TEST_F(Settings, EachUserKeepsABackupFolderOfItsOwn)
{
    const QList<std::pair<QString, QString>> users = {
        {QStringLiteral("ann"), QStringLiteral("/media/ann/U盘")},
        {QStringLiteral("anne"), QStringLiteral("/mnt/a=b c/%20")},
        {QStringLiteral("张 三"), QStringLiteral("/备份")},
    };
    for (const auto &[name, folder] : users)
        settings::setBackupFolder(name, folder);
    for (const auto &[name, folder] : users)
        EXPECT_EQ(settings::backupFolder(name), folder) << name.toStdString();
    EXPECT_EQ(settings::backupFolder(QStringLiteral("an")), QString());
    settings::setBackupFolder(QStringLiteral("ann"), {});
    EXPECT_EQ(settings::backupFolder(QStringLiteral("ann")), QString());
    EXPECT_EQ(settings::backupFolder(QStringLiteral("anne")), QStringLiteral("/mnt/a=b c/%20"));
}
