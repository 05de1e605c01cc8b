#pragma once

#include <QDate>
#include <QString>

namespace reminders {

// Whether the diary at archivePath holds an entry named for day (diary::entryName): its
// directory alone is read, under the diary folder's shared lock, so a private diary needs no key.
// False when the archive is missing or cannot be read (the reminder then says so once more
// rather than never).
bool hasEntryFor(const QString &archivePath, const QDate &day);

} // namespace reminders
