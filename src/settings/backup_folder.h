#pragma once

#include <QString>

// Each user's backup folder (backups/backups.h), kept in the settings file's section "备份设置".
//
// The key names the user by the hex of the name's UTF-8 bytes between "folder." and ".", so that
// no name is a prefix of another's key (the settings file matches keys by their beginning) and
// names with spaces or "=" fit; the value is the folder's path percent-encoded, since a value
// is everything after the line's last "=".
namespace settings {

// The folder chosen for the user's backups; empty when none is.
QString backupFolder(const QString &userName);
// Keeps the folder for the user (empty: no more backups).
void setBackupFolder(const QString &userName, const QString &folder);

} // namespace settings
