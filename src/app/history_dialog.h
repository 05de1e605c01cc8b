#pragma once

#include "crypto/secret.h"
#include "versions/kept_versions.h"

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;
class TArchiveWriter;

// 「历史版本」: the kept versions of the logged-in user's diary (versions::list), newest first by
// the moment each was replaced; the chosen version's entries listed read-only (its rows, as the
// list page shows them, read with the diary key for a private diary); 「恢复所选日记」 brings the
// selected entries back into the diary as saves store them (diary::restoreEntry), and
// 「恢复整本日记」 puts the whole version back (diary::restoreWhole). Every restore keeps the diary
// as it was as a version first, listed as 「…（恢复之前）」; 「撤销恢复」, enabled while the newest
// version is such a one, puts it back whole, which undoes the restore (and is itself undone the
// same way). Each asks first; every outcome is reported in a box. changed() tells whether the
// diary was changed, so that the list page can be filled again.
//
// Every handler runs under guarded(): an error is shown in the standard box, the dialog stays.
class THistoryDialog : public QDialog
{
    Q_OBJECT

public:
    // writer names the diary (ZipName) and keeps versions as the window's saves do; key is the
    // diary key of a private diary, null for the old format; both outlive the dialog.
    THistoryDialog(TArchiveWriter &writer, const DiaryKey *key, QWidget *parent = nullptr);

    bool changed() const { return m_changed; }

    // Shows a backup (backups/backups.h) in place of the versions, the only one listed by its
    // file name: its entries seen, one or all of them brought back as from a version (the diary
    // kept as a version first). The undo of a restore is then in 历史版本.
    void openBackup(const QString &path);

    QListWidget *Versions() const { return m_versions; }
    QTreeWidget *Entries() const { return m_entries; }
    QPushButton *RestoreEntries() const { return m_restoreEntries; }
    QPushButton *RestoreWhole() const { return m_restoreWhole; }
    QPushButton *UndoRestore() const { return m_undoRestore; }

    // The handlers, public for tests: the version chosen (its listing shown), the two restores
    // and the undo.
    void showVersion(int row);
    void restoreSelectedEntries();
    void restoreWholeDiary();
    void undoRestore();

private:
    // The versions listed again (after a restore has kept another one).
    void fillVersions();
    QString chosenWhen() const;

    TArchiveWriter &m_writer;
    const DiaryKey *m_key;
    QList<versions::Version> m_list;
    QLabel *m_empty;
    QListWidget *m_versions;
    QTreeWidget *m_entries;
    QPushButton *m_restoreEntries;
    QPushButton *m_restoreWhole;
    QPushButton *m_undoRestore;
    bool m_changed = false;
    QString m_backup;
};
