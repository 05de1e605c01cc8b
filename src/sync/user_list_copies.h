#pragma once

#include "sync/diary_copies.h"

#include <QString>
#include <QStringList>

// Conflict copies of the user list "Diary.dat" (accounts/user_list.h): each computer may have
// added its own users between two synchronisations.
namespace syncing {

// True when the file reads as a user list: at most kMaxUserListSize bytes, no zero byte, every
// line valid GBK.
bool isUserList(const QString &path);
constexpr qint64 kMaxUserListSize = qint64(1) << 20;

// findCopies with isUserList.
QList<ConflictCopy> findUserListCopies(const QString &listPath, QList<LeftAlone> *leftAlone = nullptr);

struct UserListMerge {
    QStringList added;      // names only a copy held, appended in the copies' order
    QStringList copyVersions;   // where the copies went
};

// Merges every copy into the list under the exclusive lock of its folder: the list keeps its
// names and their order, and each name that only a copy holds is appended, so that no user of
// either computer is dropped. The list is written atomically (writeUserList); then each copy is
// moved into the list's versions (versions::keepFile), never deleted. A missing list is made
// from the copies. Throws what writeUserList and readUserList throw, EFileInUse when another
// program holds the lock, versions::EVersionError when a copy cannot be moved (the list is then
// merged already, and the copy merges again to the same list).
UserListMerge mergeUserListCopies(const QString &listPath);

} // namespace syncing
