#include "reminders/diary_today.h"

#include "archive/archive_lock.h"
#include "archive/archive_reader.h"
#include "diary/entry.h"
#include "platform/files.h"
#include "platform/gbk.h"

namespace reminders {

bool hasEntryFor(const QString &archivePath, const QDate &day)
{
    if (!files::exists(archivePath))
        return false;
    const QByteArray name = gbk::encode(diary::entryName(day));
    try {
        TArchiveReader reader;
        reader.SetZipName(archivePath);
        ArchiveLock lock(archivePath, ArchiveLock::Shared);
        reader.OpenArchive();
        for (int i = 0; i < reader.EntryCount(); ++i) {
            if (reader.EntryNameBytes(i) == name)
                return true;
        }
    } catch (const Exception &) {
        // A diary that cannot be read now has no entry of today to show for it.
    }
    return false;
}

} // namespace reminders
