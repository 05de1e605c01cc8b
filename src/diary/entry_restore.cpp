#include "diary/entry_restore.h"

#include "archive/archive_writer.h"

namespace diary {

EntryProblem restoreEntry(const QString &versionPath, TArchiveWriter &writer,
                          const QByteArray &nameBytes, const DiaryKey *key)
{
    TArchiveReader version;
    version.SetZipName(versionPath);
    EntryProblem problem = EntryProblem::None;
    const QByteArray record = readEntry(version, nameBytes, &problem, key);
    if (problem != EntryProblem::None)
        return problem;
    return storeEntry(writer, nameBytes, record, key);
}

} // namespace diary
