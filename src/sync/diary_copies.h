#pragma once

#include "archive/read_stream.h"
#include "crypto/secret.h"
#include "platform/exception.h"
#include "sync/conflict_names.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// A diary kept in a synchronisation folder: the conflict copies a sync program left beside it,
// what each holds against the diary, and merging them into it.
//
// Errors: the container's (archive_errors.h) while reading or writing an archive; EMergeRefused
// when a copy cannot be merged without losing what it protects (another diary key, a private
// copy of a diary in the old format); versions::EVersionError when the diary before the merge
// cannot be kept. Each is raised before the diary is replaced, which then stays as it was.
namespace syncing {

class EMergeRefused : public Exception { using Exception::Exception; };

} // namespace syncing

class TArchiveReader;

namespace syncing {

// A file beside another whose name is the name of one of its conflict copies.
struct ConflictCopy {
    QString path;
    ConflictName name;
};

// Why a file with a conflict copy's name is left alone.
enum class LookAlike {
    NotAFile,     // a symbolic link, a folder, a device: never read, never moved
    OtherOwner,   // another account's file (planted by another user of the computer)
    NotADiary,    // not an archive of the program's (no valid directory, no login token or
                  // private header as its comment); for the user list, not a list of names
};

struct LeftAlone {
    QString path;
    LookAlike why;
};

// The content test of a candidate: true when the file at that path is what it claims to be a
// copy of.
using CopyCheck = std::function<bool(const QString &path)>;

// The conflict copies of the file at path (its links followed: the copies are where the file
// itself is), oldest first by the stamps in their names. A candidate is a regular file (not a
// link), owned by this account, that passes check; the others are listed in *leftAlone.
QList<ConflictCopy> findCopies(const QString &path, const CopyCheck &check,
                               QList<LeftAlone> *leftAlone = nullptr);

// True when the file is a diary archive: its directory reads and agrees with its end record,
// and its comment is a login token or a private header.
bool isDiaryArchive(const QString &path);

// findCopies with isDiaryArchive.
QList<ConflictCopy> findDiaryCopies(const QString &diaryPath, QList<LeftAlone> *leftAlone = nullptr);

// ---- the diary changed on disk ----

// True when the diary file is no longer the one the component last read or wrote (it has read
// one): a sync program (or another program) put another file in its place since, and what the
// window shows of it is out of date. Follows links; a diary that is gone has changed too.
bool changedOnDisk(const TArchiveReader &component);

// The identity of the file at path now (links followed), as a component holds it once it has
// read or written that file (HeldIdentity); an empty identity when there is no file. A window
// that keeps the identity of the file it listed compares it with this one.
FileIdentity identityOnDisk(const QString &path);

// ---- what a copy holds ----

// Entry names are the GBK bytes they are stored under, in the copy's order.
struct CopySummary {
    ConflictCopy copy;
    QList<QByteArray> onlyInCopy;
    QList<QByteArray> differing;     // in both, with other contents
    QList<QByteArray> onlyInDiary;
};

// Compares the copy with the diary, entry by entry, under the diary folder's shared lock. Two
// entries are the same when their stored bytes are, or when their records are (opened with key
// for private entries; without a key, sealed entries of other bytes count as differing).
CopySummary summarizeCopy(const QString &diaryPath, const ConflictCopy &copy,
                          const DiaryKey *key = nullptr);

// ---- merging ----

struct MergeRequest {
    QString diaryPath;
    // The copies to merge into the diary, in this order (findDiaryCopies gives them oldest
    // first). Each must be one that findDiaryCopies finds.
    QList<ConflictCopy> copies;
    // The diary key, when the diary or a copy is private.
    const DiaryKey *key = nullptr;
    // The archive comment the merged diary keeps: the login token or private header of the
    // diary, or of a copy (the one the password given opens: see chooseComment). Empty: the
    // diary's own.
    QByteArray comment;
};

// A day named with the file that held the text the merge did not keep.
struct SetAside {
    QByteArray name;
    QString keptIn;   // the version that holds the other text
};

struct MergeReport {
    QList<QByteArray> taken;          // from a copy: only there, or changed there only
    QList<SetAside> bothChanged;      // changed on both sides: the newer kept, the other here
    QList<QByteArray> deletedThere;   // deleted on one computer, unchanged on the other: gone
    // Only on one side with nothing to tell whether the other computer deleted it or never had
    // it (no common ancestor among the kept versions): kept.
    QList<QByteArray> keptUndecided;
    // Changed on one computer and deleted on the other: the changed text kept.
    QList<QByteArray> keptChanged;
    // Entries that could not be read on one side: left as the diary has them.
    QList<QByteArray> unreadable;
    // The files whose login (token or private header) the merged diary does not keep: the
    // password of the computer that wrote them no longer opens the diary.
    QStringList commentDropped;
    QString diaryVersion;             // the diary before the merge, kept as a version
    QStringList copyVersions;         // where the copies went, in the order merged
    bool commonAncestor = false;      // a kept version served as the diaries' common past
};

// Merges the copies into the diary in ONE atomic rewrite under the diary's exclusive lock (see
// merge.cpp for the rules entry by entry), keeping the diary before the merge as a version, then
// moves each copy into the diary's versions, where it is kept and rotated like a version.
// A private diary's entries stay sealed: entries of a private copy are carried over as their
// stored bytes, entries of a copy in the old format are sealed with key in memory.
MergeReport mergeCopies(const MergeRequest &request);

// For a private diary and its copies: the diary key that the password unlocks, and the archive
// comment (the header) it unlocked, trying the diary's own header first. nullopt when it opens
// none of them. Throws what PrivateHeader throws for a damaged header.
struct Unlocked {
    DiaryKey key;
    QByteArray comment;
    QString from;   // the file whose header it was
};
std::optional<Unlocked> unlockAny(const QString &diaryPath, const QList<ConflictCopy> &copies,
                                  const QString &password);

} // namespace syncing
