#include "versions/kept_versions.h"

#include "platform/files.h"
#include "platform/host.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimeZone>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace versions {
namespace {

const QString kFolderName = QStringLiteral(".versions");
const QString kStampFormat = QStringLiteral("yyyyMMdd-HHmmss-zzz");
const QString kRestoreSuffix = QStringLiteral(".restore");
constexpr qsizetype kStampLength = 19;
constexpr qint64 kDaySeconds = 24 * 60 * 60;

std::function<QDateTime()> &clock()
{
    static std::function<QDateTime()> instance;
    return instance;
}

QByteArray native(const QString &path) { return QFile::encodeName(path); }

QString text(const char *format, const QString &path, int error)
{
    return QString::fromLatin1(format).arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

// The computer's part of a version name: "~" and its host tag.
constexpr QChar kHostMark = u'~';

// A version name: the stamp, optionally "-n" after it, optionally ".restore" after that, then
// the computer's part. *othersVersion tells whether that part is another computer's; a name
// without one (as versions were first named) is this computer's.
std::optional<Version> versionOf(const QString &folder, const QString &fileName, bool *othersVersion = nullptr)
{
    QString name = fileName;
    const qsizetype mark = name.lastIndexOf(kHostMark);
    if (othersVersion)
        *othersVersion = mark >= 0 && name.mid(mark + 1) != host::tag();
    if (mark >= 0)
        name.truncate(mark);
    const bool beforeRestore = name.endsWith(kRestoreSuffix);
    if (beforeRestore)
        name.chop(kRestoreSuffix.size());
    if (name.size() < kStampLength)
        return std::nullopt;
    if (name.size() > kStampLength) {
        bool ok = false;
        if (name[kStampLength] != u'-' || name.mid(kStampLength + 1).toInt(&ok) < 2 || !ok)
            return std::nullopt;
    }
    QDateTime taken = QDateTime::fromString(name.left(kStampLength), kStampFormat);
    if (!taken.isValid())
        return std::nullopt;
    taken.setTimeZone(QTimeZone::utc());
    return Version{folder + u'/' + fileName, taken, beforeRestore};
}

// A free name in the folder for a version made at moment: the stamp, "-n" on a clash, the
// suffix, the computer's part.
QString freeName(const files::Folder &folder, const QDateTime &moment, const QString &suffix)
{
    const QString stamp = moment.toString(kStampFormat);
    const QString mine = suffix + kHostMark + host::tag();
    QString target = stamp + mine;
    for (int n = 2; folder.contains(target); ++n)
        target = stamp + u'-' + QString::number(n) + mine;
    return target;
}

// Leftovers of a copy that stopped half-way.
void removeUnfinished(const files::Folder &folder)
{
    for (const QString &name : folder.names()) {
        if (name.startsWith(u'.'))
            folder.remove(name);
    }
}

using Diary = files::FilePlace;

Diary diaryOf(const QString &archivePath) { return files::FilePlace::of(archivePath); }

// ".versions/<name>" of the diary; *why (when given) says why it could not be used, empty for
// a folder that is simply not there.
files::Folder versionsFolder(const Diary &diary, bool create, QString *why = nullptr)
{
    files::Folder folder = diary.keptFolder(kFolderName, create);
    if (!folder.isOpen() && why && (folder.refusal() != files::Folder::Refusal::None || folder.error() != ENOENT))
        *why = folder.errorString();
    return folder;
}

files::Folder versionsFolderOrThrow(const Diary &diary)
{
    QString why;
    files::Folder folder = versionsFolder(diary, true, &why);
    if (!folder.isOpen()) {
        throw EVersionError(QStringLiteral("The folder %1 for earlier versions cannot be used: %2")
                                .arg(folderOf(diary.folder.filePath(diary.name)), why));
    }
    return folder;
}

QList<Version> versionsIn(const files::Folder &folder)
{
    QList<Version> found;
    for (const QString &name : folder.names()) {
        bool others = false;
        // Another computer's versions (a sync program brought them) are its own: neither
        // listed, offered nor rotated here.
        const std::optional<Version> version = versionOf(folder.path(), name, &others);
        if (version && !others) {
            struct stat st;
            if (::fstatat(folder.fd(), native(name).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
                found.append(*version);
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const Version &a, const Version &b) {
        return a.taken != b.taken ? a.taken > b.taken : a.path.size() != b.path.size() ? a.path.size() > b.path.size() : a.path > b.path;
    });
    return found;
}

// A copy of the diary file, whole under the target's name or not at all.
void copyInto(const Diary &diary, const files::Folder &folder, const QString &target)
{
    const int fd = ::openat(diary.folder.fd(), native(diary.name).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        throw EVersionError(text("The file %1 cannot be read: %2", diary.folder.filePath(diary.name), errno));
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat st = {};
    ::fstat(fd, &st);
    files::AtomicWriter out(folder, target);
    const bool ok = out.isOpen() && out.copyFrom(fd, 0, st.st_size) == st.st_size && out.commit();
    if (!ok)
        throw EVersionError(text("The file %1 cannot be written: %2", folder.filePath(target), out.error()));
}

} // namespace

void setClock(std::function<QDateTime()> c) { clock() = std::move(c); }

QDateTime now() { return clock() ? clock()() : QDateTime::currentDateTimeUtc(); }

QString folderOf(const QString &archivePath)
{
    const QFileInfo archive(archivePath);
    return QDir(archive.absolutePath()).filePath(kFolderName) + u'/' + archive.fileName();
}

QList<Version> list(const QString &archivePath)
{
    const Diary diary = diaryOf(archivePath);
    const files::Folder folder = versionsFolder(diary, false);
    return folder.isOpen() ? versionsIn(folder) : QList<Version>();
}

QList<int> rotationRemoves(const QList<QDateTime> &takenNewestFirst)
{
    // Walking from the newest: the day of the newest version keeps its newest
    // kVersionsOfLatestDay; every other day is kept by its first version when it is among the
    // first kDailyVersions days, or else when its week is among the first kWeeklyVersions weeks
    // that remain. Versions taken at the very same moment were kept by one operation (a merge
    // keeps the diary and each copy it merged) and stay or go together.
    QList<int> removes;
    QList<QDate> days;
    QList<QDate> weeks;   // the Monday of each week kept
    int ofLatestDay = 0;
    for (int i = 0; i < takenNewestFirst.size(); ++i) {
        const QDate day = takenNewestFirst[i].toLocalTime().date();
        const QDate monday = day.addDays(1 - day.dayOfWeek());
        if (i > 0 && takenNewestFirst[i] == takenNewestFirst[i - 1]) {
            if (!removes.isEmpty() && removes.last() == i - 1)
                removes.append(i);
            continue;
        }
        if (i == 0 || day == days.first()) {
            if (i == 0)
                days.append(day);
            if (++ofLatestDay > kVersionsOfLatestDay)
                removes.append(i);
            continue;
        }
        if (!days.contains(day) && days.size() < kDailyVersions) {
            days.append(day);
            continue;
        }
        if (days.contains(day)) {
            removes.append(i);
            continue;
        }
        if (!weeks.contains(monday) && weeks.size() < kWeeklyVersions) {
            weeks.append(monday);
            continue;
        }
        removes.append(i);
    }
    return removes;
}

QString keepBeforeReplace(const QString &archivePath, Keep keep)
{
    const Diary diary = diaryOf(archivePath);
    if (!diary.exists)
        return {};
    const QDateTime moment = now().toUTC();
    if (keep == Keep::IfDue) {
        const files::Folder existing = versionsFolder(diary, false);
        const QList<Version> kept = existing.isOpen() ? versionsIn(existing) : QList<Version>();
        if (!kept.isEmpty() && kept.first().taken.secsTo(moment) < kDaySeconds)
            return {};
    }

    const files::Folder folder = versionsFolderOrThrow(diary);
    removeUnfinished(folder);
    const QString target = freeName(folder, moment, keep == Keep::BeforeRestore ? kRestoreSuffix : QString());

    files::FileFaults::beforeStep(files::FileFaults::Step::Link);
    if (::linkat(diary.folder.fd(), native(diary.name).constData(), folder.fd(), native(target).constData(), 0) != 0) {
        if (errno != EXDEV && errno != EPERM && errno != EMLINK && errno != ENOTSUP)
            throw EVersionError(text("The version %1 cannot be kept: %2", folder.filePath(target), errno));
        copyInto(diary, folder, target);
    }
    return folder.filePath(target);
}

QString keepFile(const QString &archivePath, const QString &filePath, const QDateTime &taken)
{
    const Diary diary = diaryOf(archivePath);
    const QDateTime moment = (taken.isValid() ? taken : now()).toUTC();
    const files::Folder folder = versionsFolderOrThrow(diary);
    removeUnfinished(folder);
    const QString target = freeName(folder, moment, QString());
    if (::renameat(AT_FDCWD, native(filePath).constData(), folder.fd(), native(target).constData()) != 0)
        throw EVersionError(text("The file %1 cannot be kept as a version: %2", filePath, errno));
    rotate(archivePath);
    return folder.filePath(target);
}

void rotate(const QString &archivePath, const QStringList &spare)
{
    const Diary diary = diaryOf(archivePath);
    const files::Folder folder = versionsFolder(diary, false);
    if (!folder.isOpen())
        return;
    const QList<Version> all = versionsIn(folder);
    QList<QDateTime> taken;
    for (const Version &v : all)
        taken.append(v.taken);
    QStringList spared;
    for (const QString &path : spare)
        spared.append(QFileInfo(path).fileName());
    for (int position : rotationRemoves(taken)) {
        const QString name = QFileInfo(all[position].path).fileName();
        if (!spared.contains(name))
            folder.remove(name);
    }
}

QString findVersion(const QString &archivePath, const QString &nameOrPath)
{
    const QString wanted = QFileInfo(nameOrPath).fileName();
    for (const Version &v : list(archivePath)) {
        if (QFileInfo(v.path).fileName() == wanted)
            return v.path;
    }
    return {};
}

int removeAll(const QString &archivePath)
{
    const Diary diary = diaryOf(archivePath);
    const files::Folder folder = versionsFolder(diary, false);
    int removed = 0;
    for (const QString &name : folder.names()) {
        if (folder.remove(name) && versionOf(folder.path(), name))
            ++removed;
    }
    return removed;
}

} // namespace versions
