// quillbook-tool conflicts, merge, backup and backups, run as a user runs them.

#include "sync_fixture.h"

using namespace sync_testing;
using testing_support::run;
using testing_support::RunResult;

namespace {

QString tool() { return testing_support::binDir() + QStringLiteral("/quillbook-tool"); }

class SyncTool : public ::testing::Test
{
protected:
    QString path(const char *name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    RunResult runTool(const QStringList &args, const QByteArray &input = {})
    {
        return run(tool(), args, input, m_dir.path());
    }
    // A diary and the other computer's file, each with a day of its own.
    void diverge(const DiaryKey *key = nullptr)
    {
        createDiary(path("alice"), key);
        Computer(path("alice"), QDateTime(QDate(2026, 12, 1), QTime(9, 0)), key).save("2026年12月1日", "一");
        syncCopy(path("alice"), path("alice.sync-conflict-20261207-093000-ABCDEFG"));
        Computer(path("alice"), QDateTime(QDate(2026, 12, 2), QTime(9, 0)), key).save("2026年12月2日", "二");
        Computer(path("alice.sync-conflict-20261207-093000-ABCDEFG"), QDateTime(QDate(2026, 12, 3), QTime(9, 0)), key)
            .save("2026年12月3日", "三");
    }
    QTemporaryDir m_dir;
};

TEST_F(SyncTool, ConflictsListsTheCopiesAndMergeTakesThemIn)
{
    diverge();
    testing_support::writeFile(path("alice_conflict-20261207-100000"), "look-alike");
    const RunResult listed = runTool({QStringLiteral("conflicts"), QStringLiteral("alice")});
    ASSERT_EQ(listed.exitCode, 0) << listed.err.constData();
    EXPECT_EQ(QString::fromUtf8(listed.out),
              QStringLiteral("alice.sync-conflict-20261207-093000-ABCDEFG\n"
                             "  发现这本日记在另一台电脑上的副本（2026年12月7日 09:30）：1 篇只在副本里。\n"
                             "  只在副本里：2026年12月3日\n"
                             "  只在这本日记里：2026年12月2日\n"
                             "alice_conflict-20261207-100000: left alone, not what it is named a copy of\n"));
    const RunResult merged = runTool({QStringLiteral("merge"), QStringLiteral("alice")});
    ASSERT_EQ(merged.exitCode, 0) << merged.err.constData();
    EXPECT_TRUE(QString::fromUtf8(merged.out).startsWith(QStringLiteral("从副本取回了1篇日记：2026年12月3日。")));
    EXPECT_EQ(daysOf(path("alice")).size(), 3);
    EXPECT_FALSE(QFile::exists(path("alice.sync-conflict-20261207-093000-ABCDEFG")));
    EXPECT_TRUE(QFile::exists(path("alice_conflict-20261207-100000")));
    EXPECT_EQ(runTool({QStringLiteral("merge"), QStringLiteral("alice"), QStringLiteral("alice_conflict-20261207-100000")}).exitCode, 2);
}

TEST_F(SyncTool, APrivateDiaryMergesWithItsPassword)
{
    const DiaryKey key = keyNumber(5);
    diverge(&key);
    const QByteArray before = testing_support::readFile(path("alice"));
    testing_support::writeFile(path("password"), kPassword.toUtf8() + '\n');
    testing_support::writeFile(path("wrong"), "wrong\n");
    const RunResult refused = runTool({QStringLiteral("--password-file"), QStringLiteral("wrong"), QStringLiteral("merge"), QStringLiteral("alice")});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(testing_support::readFile(path("alice")), before);
    const RunResult merged = runTool({QStringLiteral("--password-file"), QStringLiteral("password"), QStringLiteral("merge"), QStringLiteral("alice")});
    ASSERT_EQ(merged.exitCode, 0) << merged.err.constData();
    EXPECT_EQ(daysOf(path("alice"), &key).value(QStringLiteral("2026年12月3日")), record("三"));
}

TEST_F(SyncTool, TheUserListsCopiesMergeByName)
{
    testing_support::writeFile(path("Diary.dat"), g("alice\r\n"));
    testing_support::writeFile(path("Diary.sync-conflict-20261207-093000-ABCDEFG.dat"), g("alice\r\n张三\r\n"));
    const RunResult listed = runTool({QStringLiteral("conflicts"), QStringLiteral("Diary.dat")});
    EXPECT_EQ(QString::fromUtf8(listed.out),
              QStringLiteral("Diary.sync-conflict-20261207-093000-ABCDEFG.dat\n  只在副本里的用户：张三\n"));
    ASSERT_EQ(runTool({QStringLiteral("merge"), QStringLiteral("Diary.dat")}).exitCode, 0);
    EXPECT_EQ(testing_support::readFile(path("Diary.dat")), g("alice\r\n张三\r\n"));
}

TEST_F(SyncTool, BackupAndBackups)
{
    diverge();
    QDir(m_dir.path()).mkdir(QStringLiteral("usb"));
    const RunResult made = runTool({QStringLiteral("backup"), QStringLiteral("alice"), QStringLiteral("usb")});
    ASSERT_EQ(made.exitCode, 0) << made.err.constData();
    const QString name = QStringLiteral("alice-") + QDate::currentDate().toString(Qt::ISODate);
    EXPECT_EQ(testing_support::readFile(m_dir.filePath(QStringLiteral("usb/") + name)), testing_support::readFile(path("alice")));
    const RunResult listed = runTool({QStringLiteral("backups"), QStringLiteral("usb")});
    EXPECT_EQ(QString::fromUtf8(listed.out),
              QStringLiteral("%1\t%2\t%3\n").arg(name, QDate::currentDate().toString(Qt::ISODate)).arg(QFileInfo(path("alice")).size()));
    // A backup opens like a version: one day back, then the whole diary.
    const QByteArray backedUp = testing_support::readFile(path("alice"));
    Computer(path("alice"), QDateTime(QDate(2026, 12, 9), QTime(9, 0))).remove("2026年12月1日");
    const QString backup = QStringLiteral("usb/") + name;
    EXPECT_EQ(runTool({QStringLiteral("restore"), QStringLiteral("alice"), backup, QStringLiteral("2026年12月1日")}).exitCode, 0);
    EXPECT_EQ(daysOf(path("alice")).value(QStringLiteral("2026年12月1日")), record("一"));
    EXPECT_EQ(runTool({QStringLiteral("restore"), QStringLiteral("alice"), backup}).exitCode, 0);
    EXPECT_EQ(testing_support::readFile(path("alice")), backedUp);
    testing_support::writeFile(m_dir.filePath(QStringLiteral("usb/bob-2026-12-01")), backedUp);
    EXPECT_EQ(runTool({QStringLiteral("restore"), QStringLiteral("alice"), QStringLiteral("usb/bob-2026-12-01")}).exitCode, 2);

    const RunResult missing = runTool({QStringLiteral("backup"), QStringLiteral("alice"), QStringLiteral("gone")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(QString::fromUtf8(missing.err), QStringLiteral("备份失败：找不到备份文件夹（驱动器没有接上？），稍后会再试。\n"));
}

} // namespace
