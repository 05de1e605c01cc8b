#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// The names that synchronisation programs give a file's conflict copy: when one file was changed
// on two computers between two synchronisations, the program keeps one side under the file's
// name and renames the other. For a file NAME (a part ".EXT" after the last dot, when there is
// one, stays at the end: "Diary.dat"):
//
//   Syncthing   NAME.sync-conflict-YYYYMMDD-HHMMSS-DEVICE.EXT      DEVICE: 7 characters of a
//                                                                  device ID (A–Z, 2–7)
//   Nextcloud   NAME (conflicted copy YYYY-MM-DD HHMMSS).EXT
//               NAME (conflicted copy USER YYYY-MM-DD HHMMSS).EXT
//               NAME_conflict-YYYYMMDD-HHMMSS.EXT                  (the older clients)
//   Dropbox     NAME (COMPUTER's conflicted copy YYYY-MM-DD).EXT
//               … with " (2)", " (3)" … before .EXT when that name was taken, and nested: a
//               copy of a copy adds its part after the first.
//
// The stamp is the local time of the computer that renamed the file (Dropbox gives the day only).
namespace syncing {

enum class SyncProgram { Syncthing, Nextcloud, Dropbox };

struct ConflictName {
    QString original;        // the file name the copy is a copy of: "alice", "Diary.dat"
    SyncProgram program = SyncProgram::Syncthing;
    QDateTime stamp;         // local time; for Dropbox, the day at 00:00
    bool hasTime = false;    // false for Dropbox, whose names give the day only
    QString origin;          // the Syncthing device, the Nextcloud user, the Dropbox computer;
                             // empty when the name gives none
};

// What the file name says, when it is a conflict copy's name of any of the programs above; the
// outermost part of a nested name (the newest copy), with original the name without any of them.
// nullopt for every other name, also one whose date or time is not a real one.
std::optional<ConflictName> parseConflictName(const QString &fileName);

} // namespace syncing
