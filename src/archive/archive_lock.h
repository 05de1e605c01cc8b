#pragma once

#include "archive/archive_errors.h"
#include "platform/files.h"

// The folder lock of one container operation (files::FolderLock for the archive, links
// followed), or the container's error before anything is read or written:
//   EFileInUse     another program holds the lock longer than the lock waits;
//   EFCreateError  a writer cannot take it (its lock file cannot be created or opened).
// A reader that cannot open the lock file (another user's folder, read-only media) goes on
// without it, as files::FolderLock describes.
//
//     ArchiveLock lock(m_zipName, ArchiveLock::Exclusive);   // released by the destructor
class ArchiveLock : public files::FolderLock
{
public:
    ArchiveLock(const QString &zipName, Mode mode) : files::FolderLock(zipName, mode)
    {
        if (busy())
            throw EFileInUse(archive_text::kInUse);
        if (!ok())
            throw EFCreateError(QString(archive_text::kCannotLock).arg(lockFilePath(), errorString()));
    }
};
