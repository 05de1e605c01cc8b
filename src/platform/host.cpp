#include "platform/host.h"

#include <QCryptographicHash>
#include <QMutex>
#include <QSysInfo>

namespace host {
namespace {

QMutex g_mutex;
QString g_testTag;

QString computed()
{
    QByteArray id = QSysInfo::machineUniqueId();
    if (id.isEmpty())
        id = QSysInfo::machineHostName().toUtf8();
    return QString::fromLatin1(
        QCryptographicHash::hash("quillbook computer\n" + id, QCryptographicHash::Sha256).toHex().left(8));
}

} // namespace

QString tag()
{
    static const QString mine = computed();
    QMutexLocker lock(&g_mutex);
    return g_testTag.isEmpty() ? mine : g_testTag;
}

void setTagForTesting(const QString &tag)
{
    QMutexLocker lock(&g_mutex);
    g_testTag = tag;
}

} // namespace host
