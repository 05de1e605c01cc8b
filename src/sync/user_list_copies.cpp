#include "sync/user_list_copies.h"

#include "accounts/messages.h"
#include "accounts/user_list.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "versions/kept_versions.h"

#include <QFile>

namespace syncing {

bool isUserList(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxUserListSize)
        return false;
    const QByteArray bytes = file.read(kMaxUserListSize + 1);
    if (bytes.size() > kMaxUserListSize || bytes.contains('\0'))
        return false;
    // Every line must read back as the bytes it was read from: GBK text, not some other file.
    QByteArray lines = bytes;
    lines.replace('\r', '\n');
    for (const QByteArray &line : lines.split('\n')) {
        if (gbk::encode(gbk::decode(line)) != line)
            return false;
    }
    return true;
}

QList<ConflictCopy> findUserListCopies(const QString &listPath, QList<LeftAlone> *leftAlone)
{
    return findCopies(listPath, isUserList, leftAlone);
}

UserListMerge mergeUserListCopies(const QString &listPath)
{
    UserListMerge result;
    files::FolderLock lock(listPath, files::FolderLock::Exclusive);
    if (lock.busy())
        throw EFileInUse(accounts_text::kUserListInUse.arg(listPath));
    if (!lock.ok())
        throw EInOutError(accounts_text::kUserListWrite.arg(listPath, lock.errorString()));
    const QList<ConflictCopy> copies = findUserListCopies(listPath);
    if (copies.isEmpty())
        return result;
    QStringList names = files::exists(listPath) ? readUserList(listPath) : QStringList();
    for (const ConflictCopy &copy : copies) {
        for (const QString &name : readUserList(copy.path)) {
            if (!names.contains(name)) {
                names.append(name);
                result.added.append(name);
            }
        }
    }
    writeUserList(names, listPath);
    for (const ConflictCopy &copy : copies)
        result.copyVersions.append(versions::keepFile(listPath, copy.path));
    return result;
}

} // namespace syncing
