#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <functional>

// Backups of a diary to another drive: a folder the user chose (a USB drive, a second disk, a
// mounted share), which may be absent, full or read-only at any moment.
//
// Layout: in that folder each backup is a complete copy of the diary archive, named by the
// diary and the day it was made (local time):
//
//     <folder>/<diary name>-YYYY-MM-DD
//
// A backup of a private diary is the private archive itself: its entries stay sealed, its
// header holds the key under the password and the recovery code only; no key and no text leave
// the diary. A backup is made whole or not at all: written beside its place under a hidden name
// (".<name>.unverified"), synced, read back from the drive (the directory and every entry's
// CRC, or for a private diary the stored bytes of every sealed entry against their CRC, which
// needs no key), and only then renamed to its name; a day's second backup replaces its first.
// The diary is only read, under its folder's shared lock: a backup never changes it and never
// keeps a writer waiting for long.
//
// Rotation after each backup: the backups of that diary in the folder keep the newest of each of
// the last kDailyBackups days that have backups and, of what is older, the newest of each of the
// last kMonthlyBackups months; the rest are removed. Only regular files whose names are that
// diary's backup names are ever removed; nothing else in the folder is touched.
namespace backups {

constexpr int kDailyBackups = 30;
constexpr int kMonthlyBackups = 12;

// The day backups are named by (today, local time, unless a test sets another clock).
void setClock(std::function<QDate()> clock);
QDate today();

struct Backup {
    QString path;
    QString diaryName;
    QDate day;
    qint64 size = 0;
};

// The backups in the folder, of every diary or of the one named, newest day first (then by
// diary name). Files with other names, links and folders are not backups.
QList<Backup> list(const QString &folder, const QString &diaryName = {});

// Of backups made on these days (newest first), the positions that rotation removes.
QList<int> rotationRemoves(const QList<QDate> &daysNewestFirst);

enum class Failure {
    None,
    FolderMissing,   // the folder is not there (the drive is not plugged in): nothing is created
    ReadOnly,        // the folder or its drive cannot be written
    Full,            // the drive is full (or the account's quota)
    DiaryMissing,    // the diary has no file to copy
    DiaryInUse,      // another program held the diary past the lock's wait
    NotVerified,     // the copy read back is not the diary: not kept
    Other,           // any other error of the drive, in detail
};

// What a backup did. A failure is a value, never an exception: the window shows it quietly and
// tries again later.
struct Outcome {
    Failure failure = Failure::None;
    QString path;      // the backup made
    QString detail;    // the system's words for an error, or what the read-back found (for a
                       // backup that counts: damage in the diary itself, when any)
    int removed = 0;   // older backups the rotation removed

    bool ok() const { return failure == Failure::None; }
};

// Backs the diary up into the folder as today's backup (replacing an earlier one of the same
// day), then rotates that diary's backups.
Outcome backUp(const QString &diaryPath, const QString &folder);

// True when the folder holds no backup of the diary made today: the window backs up after the
// first save of a day.
bool dueToday(const QString &diaryPath, const QString &folder);

// Reads the file as a backup is read back: a diary archive whose directory agrees with its end
// record, every entry intact (extracted under the archive password with its CRC, or a sealed
// entry's stored bytes against theirs). Empty when it is, else what is wrong.
QString verify(const QString &path);

// What happened, in words for the status bar and the tool: 「已备份到“…”。」, or the failure:
// 「备份失败：找不到备份文件夹“…”（驱动器没有接上？），稍后会再试。」 and so on.
QString outcomeText(const Outcome &outcome);

} // namespace backups
