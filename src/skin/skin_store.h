#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

// The stored skins, in order: item i is skin i. Each item has a name unique within the store
// (compared ignoring case) and one skin package (DataStream, see skin_package.h).
class TSkinStore : public QObject
{
    Q_OBJECT

public:
    struct TSkinItem {
        QString Name;
        QByteArray DataStream;
    };

    explicit TSkinStore(QObject *parent = nullptr);

    // Appends an item. Throws EDuplicateName "The name <name> is already used." when another
    // item has that name.
    void Add(const QString &name, const QByteArray &dataStream);

    int Count() const { return int(m_items.size()); }

    // Throws EListError "List index out of bounds (<index>)" outside 0 .. Count() - 1.
    const TSkinItem &Item(int index) const;

    // The index of the item with that name, or -1.
    int IndexOf(const QString &name) const;

private:
    QList<TSkinItem> m_items;
};

// Adds the program's ten skins to the store, as "SkinItem0" … "SkinItem9".
void AddStoredSkins(TSkinStore &store);
