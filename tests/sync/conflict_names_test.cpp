// The conflict copies' names of Syncthing, Nextcloud and Dropbox, found beside a diary and
// beside the user list; files that only look like them left where they are.

#include "sync/diary_copies.h"
#include "sync/user_list_copies.h"
#include "sync_fixture.h"

#include <QDir>

#include <unistd.h>

using namespace sync_testing;
using syncing::ConflictName;
using syncing::SyncProgram;

namespace {

struct NameCase {
    const char *fileName;
    const char *original;
    SyncProgram program;
    QDateTime stamp;
    bool hasTime;
    const char *origin;
};

const QDateTime kStamp(QDate(2026, 12, 7), QTime(9, 30, 0));
const QDateTime kDay(QDate(2026, 12, 7), QTime(0, 0));

TEST(ConflictNames, EachProgramsNamesGiveTheOriginalAndTheStamp)
{
    const NameCase cases[] = {
        {"alice.sync-conflict-20261207-093000-ABCDEFG", "alice", SyncProgram::Syncthing, kStamp, true, "ABCDEFG"},
        {"Diary.sync-conflict-20261207-093000-ABCDEFG.dat", "Diary.dat", SyncProgram::Syncthing, kStamp, true, "ABCDEFG"},
        {"张三.sync-conflict-20261207-093000-Z2Z3Z4Z", "张三", SyncProgram::Syncthing, kStamp, true, "Z2Z3Z4Z"},
        {"john.sync-conflict-20261207-093000-ABCDEFG.smith", "john.smith", SyncProgram::Syncthing, kStamp, true, "ABCDEFG"},
        {"alice (conflicted copy 2026-12-07 093000)", "alice", SyncProgram::Nextcloud, kStamp, true, ""},
        {"alice (conflicted copy bob 2026-12-07 093000)", "alice", SyncProgram::Nextcloud, kStamp, true, "bob"},
        {"Diary (conflicted copy 2026-12-07 093000).dat", "Diary.dat", SyncProgram::Nextcloud, kStamp, true, ""},
        {"alice_conflict-20261207-093000", "alice", SyncProgram::Nextcloud, kStamp, true, ""},
        {"Diary_conflict-20261207-093000.dat", "Diary.dat", SyncProgram::Nextcloud, kStamp, true, ""},
        {"alice (LAPTOP's conflicted copy 2026-12-07)", "alice", SyncProgram::Dropbox, kDay, false, "LAPTOP"},
        {"alice (LAPTOP's conflicted copy 2026-12-07) (1)", "alice", SyncProgram::Dropbox, kDay, false, "LAPTOP"},
        {"Diary (Bob's PC's conflicted copy 2026-12-07) (2).dat", "Diary.dat", SyncProgram::Dropbox, kDay, false, "Bob's PC"},
        // Nested: the outer part is the newest copy; the original is without any part.
        {"alice (A's conflicted copy 2026-11-30) (B's conflicted copy 2026-12-07)", "alice", SyncProgram::Dropbox, kDay, false, "B"},
        {"alice.sync-conflict-20261130-080000-AAAAAAA.sync-conflict-20261207-093000-ABCDEFG", "alice", SyncProgram::Syncthing, kStamp, true, "ABCDEFG"},
    };
    for (const NameCase &c : cases) {
        SCOPED_TRACE(c.fileName);
        const std::optional<ConflictName> name = syncing::parseConflictName(QString::fromUtf8(c.fileName));
        ASSERT_TRUE(name);
        EXPECT_EQ(name->original, QString::fromUtf8(c.original));
        EXPECT_EQ(name->program, c.program);
        EXPECT_EQ(name->stamp, c.stamp);
        EXPECT_EQ(name->hasTime, c.hasTime);
        EXPECT_EQ(name->origin, QString::fromUtf8(c.origin));
    }
}

TEST(ConflictNames, OtherNamesAreNoCopies)
{
    for (const char *other : {"alice", "Diary.dat", "alice.sync-conflict-20261307-093000-ABCDEFG",
                              "alice.sync-conflict-20261207-256000-ABCDEFG", "alice.sync-conflict-20261207-093000-abc",
                              "alice (conflicted copy 2026-12-07)", "alice (conflicted 2026-12-07 093000)",
                              "alice_conflict-2026127-093000", "alice (LAPTOP's copy 2026-12-07)",
                              ".sync-conflict-20261207-093000-ABCDEFG", "alice.sync-conflict-20261207-093000-ABCDEFG~"}) {
        SCOPED_TRACE(other);
        EXPECT_FALSE(syncing::parseConflictName(QString::fromUtf8(other)));
    }
}

class CopiesBeside : public ::testing::Test
{
protected:
    QString path(const char *name) const { return m_dir.filePath(QString::fromUtf8(name)); }
    QTemporaryDir m_dir;
};

TEST_F(CopiesBeside, DiaryCopiesAreFoundOldestFirstAndLookAlikesLeftAlone)
{
    createDiary(path("alice"));
    syncCopy(path("alice"), path("alice.sync-conflict-20261207-093000-ABCDEFG"));
    syncCopy(path("alice"), path("alice (LAPTOP's conflicted copy 2026-12-06)"));
    // Another diary's copy, which this one's list does not show.
    syncCopy(path("alice"), path("bob.sync-conflict-20261207-093000-ABCDEFG"));
    // Look-alikes: no archive, a link, a folder, another account's diary.
    testing_support::writeFile(path("alice (conflicted copy 2026-12-07 100000)"), "not an archive");
    testing_support::writeFile(path("alice_conflict-20261207-100000"), QByteArray(200, 'P'));
    ASSERT_TRUE(QFile::link(path("alice"), path("alice.sync-conflict-20261207-100000-LINKXXX")));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("alice.sync-conflict-20261207-100001-FOLDERX")));
    syncCopy(path("alice"), path("alice.sync-conflict-20261207-100002-NOBODYX"));
    // Needs root: the file is given to another account.
    ASSERT_EQ(::chown(QFile::encodeName(path("alice.sync-conflict-20261207-100002-NOBODYX")).constData(), 65534, 65534), 0);

    QList<syncing::LeftAlone> leftAlone;
    const QList<syncing::ConflictCopy> copies = syncing::findDiaryCopies(path("alice"), &leftAlone);
    ASSERT_EQ(copies.size(), 2);
    EXPECT_EQ(copies[0].path, path("alice (LAPTOP's conflicted copy 2026-12-06)"));
    EXPECT_EQ(copies[1].path, path("alice.sync-conflict-20261207-093000-ABCDEFG"));

    QMap<QString, syncing::LookAlike> why;
    for (const syncing::LeftAlone &l : leftAlone)
        why.insert(QFileInfo(l.path).fileName(), l.why);
    const QMap<QString, syncing::LookAlike> expected{
        {QStringLiteral("alice (conflicted copy 2026-12-07 100000)"), syncing::LookAlike::NotADiary},
        {QStringLiteral("alice_conflict-20261207-100000"), syncing::LookAlike::NotADiary},
        {QStringLiteral("alice.sync-conflict-20261207-100000-LINKXXX"), syncing::LookAlike::NotAFile},
        {QStringLiteral("alice.sync-conflict-20261207-100001-FOLDERX"), syncing::LookAlike::NotAFile},
        {QStringLiteral("alice.sync-conflict-20261207-100002-NOBODYX"), syncing::LookAlike::OtherOwner},
    };
    EXPECT_EQ(why, expected);

    // A diary reached through a link: its copies are where the file itself is.
    QTemporaryDir elsewhere;
    const QString link = elsewhere.filePath(QStringLiteral("alice"));
    ASSERT_TRUE(QFile::link(path("alice"), link));
    EXPECT_EQ(syncing::findDiaryCopies(link).size(), 2);
}

TEST_F(CopiesBeside, UserListCopiesAreTextListsOfNames)
{
    testing_support::writeFile(path("Diary.dat"), g("alice\r\n"));
    testing_support::writeFile(path("Diary.sync-conflict-20261207-093000-ABCDEFG.dat"), g("alice\r\n张三\r\n"));
    testing_support::writeFile(path("Diary (conflicted copy 2026-12-07 100000).dat"), QByteArray("PK\x03\x04\x00\x00", 6));
    testing_support::writeFile(path("Diary_conflict-20261207-100000.dat"), QByteArray("\x81\x30", 2));
    QList<syncing::LeftAlone> leftAlone;
    const QList<syncing::ConflictCopy> copies = syncing::findUserListCopies(path("Diary.dat"), &leftAlone);
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(QFileInfo(copies[0].path).fileName(), QStringLiteral("Diary.sync-conflict-20261207-093000-ABCDEFG.dat"));
    EXPECT_EQ(leftAlone.size(), 2);
}

} // namespace
