// Conflict copies of the user list: every user of either computer kept, the list written
// whole, the copies moved into the list's versions.

#include "accounts/user_list.h"
#include "sync/user_list_copies.h"
#include "sync_fixture.h"

using namespace sync_testing;

namespace {

TEST(UserListCopies, EveryUserOfEitherListIsKeptInTheListsOrder)
{
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("Diary.dat"));
    const QString syncthing = dir.filePath(QStringLiteral("Diary.sync-conflict-20261207-093000-ABCDEFG.dat"));
    const QString dropbox = dir.filePath(QStringLiteral("Diary (PC's conflicted copy 2026-12-08).dat"));
    testing_support::writeFile(list, g("alice\r\nbob\r\n"));
    testing_support::writeFile(syncthing, g("alice\r\n张三\r\n"));
    testing_support::writeFile(dropbox, g("alice\r\nbob\r\ncarol\r\n张三\r\n"));
    const QByteArray dropboxBytes = testing_support::readFile(dropbox);

    const syncing::UserListMerge merged = syncing::mergeUserListCopies(list);
    EXPECT_EQ(merged.added, (QStringList{QStringLiteral("张三"), QStringLiteral("carol")}));
    EXPECT_EQ(testing_support::readFile(list), g("alice\r\nbob\r\n张三\r\ncarol\r\n"));
    EXPECT_FALSE(QFile::exists(syncthing) || QFile::exists(dropbox));
    ASSERT_EQ(merged.copyVersions.size(), 2);
    EXPECT_EQ(testing_support::readFile(merged.copyVersions[1]), dropboxBytes);

    // Nothing left to merge: nothing changes.
    EXPECT_TRUE(syncing::mergeUserListCopies(list).added.isEmpty());
    EXPECT_EQ(testing_support::readFile(list), g("alice\r\nbob\r\n张三\r\ncarol\r\n"));
}

TEST(UserListCopies, AMissingListIsMadeFromItsCopies)
{
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("Diary.dat"));
    testing_support::writeFile(dir.filePath(QStringLiteral("Diary_conflict-20261207-093000.dat")), g("bob\r\n"));
    EXPECT_EQ(syncing::mergeUserListCopies(list).added, QStringList{QStringLiteral("bob")});
    EXPECT_EQ(readUserList(list), QStringList{QStringLiteral("bob")});
}

} // namespace
