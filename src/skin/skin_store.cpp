#include "skin_store.h"
#include "errors.h"

#include <QFile>

TSkinStore::TSkinStore(QObject *parent) : QObject(parent) {}

void TSkinStore::Add(const QString &name, const QByteArray &dataStream)
{
    if (IndexOf(name) >= 0)
        throw EDuplicateName(skin::text::nameAlreadyUsed(name));
    m_items.append(TSkinItem{name, dataStream});
}

const TSkinStore::TSkinItem &TSkinStore::Item(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(skin::text::listIndexOutOfBounds(index));
    return m_items.at(index);
}

int TSkinStore::IndexOf(const QString &name) const
{
    for (int i = 0; i < Count(); ++i) {
        if (m_items.at(i).Name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void AddStoredSkins(TSkinStore &store)
{
    for (int i = 0; i < 10; ++i) {
        QFile file(QStringLiteral(":/skins/skin%1.ini").arg(i));
        if (!file.open(QIODevice::ReadOnly))
            throw ESkinPackageError(skin::text::missingPackage(file.fileName()));
        store.Add(QStringLiteral("SkinItem%1").arg(i), file.readAll());
    }
}
