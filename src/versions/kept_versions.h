#pragma once

#include "platform/exception.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

// Earlier versions of a diary archive, kept so that an entry changed or deleted by mistake can
// be brought back.
//
// Layout: beside the archive (its links followed) a folder ".versions", mode 0700, holds one
// folder per diary, named as the archive, mode 0700; in it each version is a complete archive
// file named by the moment it was replaced, in UTC:
//
//     .versions/<archive name>/yyyyMMdd-HHmmss-zzz~<computer>          (a suffix "-2", "-3" …
//     .versions/<archive name>/yyyyMMdd-HHmmss-zzz.restore~<computer>   after the stamp on a clash)
//
// The second form is the diary as it was just before a restore replaced it (Keep::BeforeRestore),
// so that the restore can be undone. <computer> is this computer's host::tag(): in a diary folder
// that a sync program copies to other computers, each computer's versions are its own. Another
// computer's are not listed, not rotated and not restored here; a name without the part (as
// versions were first named) is this computer's.
//
// Both folders are opened from the diary folder's descriptor without following a link (openat
// with O_NOFOLLOW | O_DIRECTORY), must belong to the archive's owner and are set to 0700; a link,
// a file, or a folder of another user under either name is refused (EVersionError) and nothing
// in it is touched. Every file made, renamed or removed there goes through those descriptors.
//
// A version is the very file the archive was before a rewrite renamed a new one over it: a hard
// link taken to it just before the rename, so keeping it costs no copying; where the file system
// refuses the link, a copy, written aside and renamed into place. Either way a version appears
// whole under its name or not at all; names starting with "." are unfinished copies, removed the
// next time a version is kept. A version of a private diary is that diary's archive, its entries
// sealed as they were, so it is as private as the diary.
//
// Rotation: a version is kept when the newest kept one is a day old or older (or there is none),
// and always before a delete, an import or a restore. Once the new archive is in place (never
// before: a stop in between must not lose a version) the folder keeps, of the day of the newest
// version (local time), its newest kVersionsOfLatestDay versions (so that every delete and
// restore of the day can still be undone: each of them may hold words no later one does); of the
// kDailyVersions - 1 days before that have versions, the newest version of each; and of what is
// older, the newest version of each of the last kWeeklyVersions weeks (Monday to Sunday, local
// time). The rest are removed, except the versions the operation itself read from (a restore's).
// The newest version is never removed.
// Versions taken at the very same moment (one operation kept them together: a merge keeps the
// diary and the copies it merged) are kept or removed together.
//
// Every function here expects the caller to hold the archive's exclusive lock (ArchiveLock).
namespace versions {

class EVersionError : public EInOutError { using EInOutError::EInOutError; };

constexpr int kDailyVersions = 7;
constexpr int kVersionsOfLatestDay = 16;
constexpr int kWeeklyVersions = 8;

// The clock versions are stamped and rotated by (the current moment when unset). Tests only.
void setClock(std::function<QDateTime()> clock);
QDateTime now();

struct Version {
    QString path;
    QDateTime taken;        // when the archive it was got replaced, UTC
    bool beforeRestore = false;   // the diary as it was just before a restore
};

// The folder of the archive's versions (which need not exist).
QString folderOf(const QString &archivePath);

// The archive's versions, newest first. Files whose names are not version names are ignored; a
// versions folder that is refused (see above) lists none.
QList<Version> list(const QString &archivePath);

enum class Keep { IfDue, Always, BeforeRestore };

// Keeps the file at archivePath (links followed; it must exist) as a version, when due or
// always (BeforeRestore: always, under a name that says so). Call just before the rename that
// replaces it, and rotate() once that rename is done. Returns the new version's path, or an
// empty string when none was due. Throws EVersionError when a version cannot be made.
QString keepBeforeReplace(const QString &archivePath, Keep keep);

// Thins the versions out as the rotation above says, sparing the versions named in spare (their
// paths) besides. Call after the rename that replaced the archive. A removal that fails is left
// for the next time; nothing is thrown.
void rotate(const QString &archivePath, const QStringList &spare = {});

// Of versions taken at these moments (newest first), the positions that rotation removes.
QList<int> rotationRemoves(const QList<QDateTime> &takenNewestFirst);

// Moves another file into the archive's versions, where it is kept and rotated like a version
// taken at that moment (the current one when taken is invalid): a conflict copy of the diary
// that has been merged into it. The file must be on the archive's file system; the move is one
// rename, so the file is either still where it was or a version. Returns the version's path.
// Throws EVersionError when it cannot be moved (the file then stays where it was).
QString keepFile(const QString &archivePath, const QString &filePath, const QDateTime &taken = {});

// The version a command line names: its name as list() shows it (the file name), or its path.
// Empty when the archive has no such version.
QString findVersion(const QString &archivePath, const QString &nameOrPath);

// Removes every version of the archive (all of them, as when their contents must not outlive a
// change of the diary's format). Returns how many were removed.
int removeAll(const QString &archivePath);

} // namespace versions
