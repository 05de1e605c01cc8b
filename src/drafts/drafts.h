#pragma once

#include "crypto/secret.h"
#include "platform/exception.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// Drafts: the record of the entry being written, as it stood a moment after the typing paused,
// kept until the entry is saved, so that a crash, a power cut or a killed session between two
// saves loses nothing. They are offered back at the next login; they are never merged into the
// diary on their own.
//
// Place: beside the archive, in a folder ".drafts" (mode 0700) holding one folder per diary,
// named as the archive (0700), as the kept versions are. Beside the diary because a draft must
// be exactly as private as the diary (same owner, same disk, same backups), and its atomic
// replacement needs a rename within one file system; in a folder per diary because drafts
// belong to one user's diary and go with it. One file per entry, mode 0600, named by the hex
// of the entry's name as stored and this computer's host::tag()
// (".drafts/<diary>/<hex>~<computer>.draft"), so that any name makes a harmless file name, and
// another computer's drafts that a sync program brings into the folder are never offered here as
// this one's (they are left alone); a draft named without the computer's part, as drafts were
// first named, is this computer's. Both folders are opened from the diary folder's descriptor
// without following a link and must be the diary owner's (files::FilePlace::keptFolder): a link
// or another user's folder planted there is refused, and nothing in it is written or removed.
// Every write is a files::AtomicWriter replacement under the drafts
// folder's lock: a draft is there whole, the previous one or the new one, or not at all.
//
// File layout (integers little-endian):
//   offset size field
//        0    8 magic "QBDRAFT1"
//        8    1 kind: 'Z' the diary's old format, 'S' sealed with the diary key
//        9    8 when it was written, milliseconds since 1970 UTC
//       17    2 n, the length of the entry name
//       19    n the entry name as stored (GBK)
//   kind 'Z' then: 4 CRC-32 of the record, 4 the record's size, 12 the traditional ZIP
//            encryption header, the record raw-deflated and encrypted under the archive
//            password (as every entry of such a diary is);
//   kind 'S' then: the record sealed with the diary key (entry_seal), the 19 + n bytes before
//            it bound in as the name: a sealed draft opens only under its own name and time, and
//            only with the key. No byte of a private diary's text is ever on disk unsealed.
//
// A draft that cannot be read (damaged, of another kind than the diary's format, or sealed
// under another key) is never removed by the program: keepAside() renames it out of the way.
namespace drafts {

class EDraftError : public EInOutError { using EInOutError::EInOutError; };

// The folder of the archive's drafts (which need not exist).
QString folderOf(const QString &archivePath);
// The draft file of one entry.
QString pathOf(const QString &archivePath, const QByteArray &entryName);

// Writes the entry's draft, replacing an earlier one of that entry. key: the diary key of a
// private diary, null for the old format. Throws EDraftError when the folder or the file cannot
// be written (an earlier draft then stays as it was).
void write(const QString &archivePath, const QByteArray &entryName, const QByteArray &record,
           const DiaryKey *key, const QDateTime &written = QDateTime::currentDateTimeUtc());

// The second half of write(), for a caller that encodes on one thread and writes on another:
// bytes (from encode()) put in place of the entry's draft, atomically, without the folder's
// lock and without clearing leftovers (clearLeftovers() does that). Throws as write() does.
void store(const QString &archivePath, const QByteArray &entryName, const QByteArray &bytes);

// Removes the temporary files that draft writes stopped halfway left in the archive's drafts
// folder, under the folder's lock (nothing when the lock cannot be had).
void clearLeftovers(const QString &archivePath);

// Removes the entry's draft, if there is one. False when one is there and could not be removed.
bool remove(const QString &archivePath, const QByteArray &entryName);

struct Draft {
    QString path;
    QByteArray name;        // the entry name as stored
    QByteArray record;      // the record, when readable
    QDateTime written;      // UTC, when readable
    bool readable = false;
};

// The archive's drafts, newest first, unreadable ones (readable false, name empty when even the
// header is broken) last. key as for write(): a sealed draft without a key, or a draft of the
// old format with one, is unreadable.
QList<Draft> pending(const QString &archivePath, const DiaryKey *key);

// Renames an unreadable draft to "<file>.unreadable" (a suffix "-2", "-3" … on a clash), where
// pending() no longer finds it and nothing removes it. Returns the new path; throws EDraftError
// when the rename fails (the draft is then where it was).
QString keepAside(const QString &draftPath);

// Removes every draft of the archive (as when its format changes and a draft would keep text in
// the old one). Unreadable drafts kept aside stay. Returns how many were removed.
int removeAll(const QString &archivePath);

// Decodes the bytes of a draft file (exposed for the fuzz target and tests).
Draft decode(const QByteArray &bytes, const DiaryKey *key);
// The bytes of a draft file.
QByteArray encode(const QByteArray &entryName, const QByteArray &record, const DiaryKey *key,
                  const QDateTime &written, quint32 seed);

} // namespace drafts
