#pragma once

#include "diary/diary_book.h"

#include <QByteArray>
#include <QString>

// Bringing entries back from an earlier version of a diary (versions/kept_versions.h).
namespace diary {

// Reads the entry of that name from the version file and stores it in the diary the writer
// names, as a save stores it (replacing an entry of that name, else after all others), opened
// and sealed again with the key for a private diary. Returns EntryProblem::Missing when the
// version holds no such entry, the version's problem when its entry cannot be read (nothing is
// written then), otherwise what storeEntry returns. Throws the container's errors.
EntryProblem restoreEntry(const QString &versionPath, TArchiveWriter &writer,
                          const QByteArray &nameBytes, const DiaryKey *key = nullptr);

} // namespace diary
