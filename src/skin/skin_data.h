#pragma once

#include "skin/skin_package.h"

#include <QObject>
#include <QString>

class QWidget;
class TSkinStore;

// The skin engine of the program: one per program, on the main window. The current skin applies
// to every window of the program (the application's palette and style sheet), so windows made
// later are drawn in it too.
class TSkinData : public QObject
{
    Q_OBJECT

public:
    explicit TSkinData(QObject *parent = nullptr);

    // Makes the store's item index the current skin and redraws every window in it. An index at
    // or above the store's count does nothing. Throws EListError "List index out of bounds (n)"
    // for a negative index and ESkinPackageError for a package that does not decode; the
    // current skin then stays. A package of another format version is reported as a notice
    // ("This is Older Skin File…") and the current skin stays.
    void LoadSkinFromStore(const TSkinStore *store, int index);

    // Draws the form and all its controls again in the current skin.
    void ReskinForm(QWidget *form);

    // The store name of the current skin ("SkinItem3"); empty before the first one.
    QString currentName() const { return m_currentName; }
    const skin::SkinPackage &current() const { return m_current; }

private:
    void apply();

    QString m_styleTemplate;
    QString m_currentName;
    skin::SkinPackage m_current;
};
