#pragma once

#include "diary/diary_book.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Bringing entries back from an earlier version of a diary (versions/kept_versions.h).
//
// Every restore first keeps the diary as it is now as a version marked as taken before a restore
// (versions::Keep::BeforeRestore): nothing a restore replaces is lost, and putting that version
// back whole (restoreWhole) undoes the restore. The version read from is spared by the rotation
// that follows, and the rotation runs only once the restored diary is in place, so a restore
// stopped at any moment loses neither the diary nor the version.
namespace diary {

// What a restore of entries did, by name as stored, in the order asked for.
struct RestoreOutcome {
    QList<QByteArray> restored;
    // Entries not restored: the version holds none of that name or cannot read it
    // (EntryProblem::Missing, or the version's problem), or the diary's entry of that name cannot
    // be read and so is never replaced.
    QList<QPair<QByteArray, EntryProblem>> refused;
};

// Reads the named entries from the version file and stores them in the diary the writer names
// in ONE atomic rewrite, each as a save stores it (replacing the entry of that name, else after
// all others), opened and sealed again with the key for a private diary. When nothing can be
// restored, nothing is written and no version is kept. Throws the container's errors and
// EDiaryFormat as every operation of the book.
RestoreOutcome restoreEntries(const QString &versionPath, TArchiveWriter &writer,
                              const QList<QByteArray> &names, const DiaryKey *key = nullptr);

// One entry: EntryProblem::None when it was restored, else why not.
EntryProblem restoreEntry(const QString &versionPath, TArchiveWriter &writer,
                          const QByteArray &nameBytes, const DiaryKey *key = nullptr);

// Puts the whole version back as the diary: its entries byte for byte, in their order, with the
// diary's comment as it is now (its login token, or its private header: a restore never brings
// back an earlier password). EDiaryFormat when the version is of the other format than the diary
// (or, as every operation, a private diary without its key); the container's errors otherwise.
void restoreWhole(const QString &versionPath, TArchiveWriter &writer, const DiaryKey *key = nullptr);

} // namespace diary
