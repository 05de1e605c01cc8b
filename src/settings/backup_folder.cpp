#include "settings/backup_folder.h"

#include "platform/gbk.h"
#include "settings/ini.h"

#include <QUrl>

namespace settings {
namespace {

QByteArray section() { return gbk::encode(QStringLiteral("备份设置")); }

QByteArray keyOf(const QString &userName)
{
    return "folder." + userName.toUtf8().toHex() + '.';
}

} // namespace

QString backupFolder(const QString &userName)
{
    if (userName.isEmpty())
        return {};
    const QByteArray value = ini::ReadSetting(section(), keyOf(userName)).trimmed();
    return QUrl::fromPercentEncoding(value);
}

void setBackupFolder(const QString &userName, const QString &folder)
{
    ini::WriteSetting(section(), keyOf(userName), QUrl::toPercentEncoding(folder, "/"));
}

} // namespace settings
