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

// A version name without its computer's part, and whether that part is another computer's. A
// name without one (as versions were named before) is this computer's.
QString ownName(const QString &name, bool *othersVersion)
{
    const qsizetype mark = name.indexOf(kHostMark);
    *othersVersion = mark >= 0 && name.mid(mark + 1) != host::tag();
    return mark < 0 ? name : name.left(mark);
}

// A version's file name, made at moment: the stamp, "-n" on a clash, the computer's part.
QString freeName(const QString &folder, const QDateTime &moment)
{
    const QString stamp = moment.toString(kStampFormat);
    const QString mine = kHostMark + host::tag();
    QString target = folder + u'/' + stamp + mine;
    for (int n = 2; files::exists(target); ++n)
        target = folder + u'/' + stamp + u'-' + QString::number(n) + mine;
    return target;
}

// A version name (without its computer's part): the stamp, optionally "-n" after it.
std::optional<QDateTime> takenOf(const QString &name)
{
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
    return taken;
}

// The folder is the diary's, so nobody else reads the versions in it.
QString makeFolder(const QString &archivePath)
{
    const QString folder = folderOf(archivePath);
    if (!files::makePrivateFolders(folder))
        throw EVersionError(text("The folder %1 for earlier versions cannot be created: %2", folder, errno));
    ::chmod(native(QFileInfo(folder).path()).constData(), 0700);
    ::chmod(native(folder).constData(), 0700);
    return folder;
}

void removeUnfinished(const QString &folder)
{
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (name.startsWith(u'.'))
            ::unlink(native(folder + u'/' + name).constData());
    }
}

// The file opened for reading; the descriptor keeps its bytes even when rotation removes its name.
int openOrThrow(const QString &source)
{
    const int fd = ::open(native(source).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EVersionError(text("The file %1 cannot be read: %2", source, errno));
    return fd;
}

// A copy of the open file, whole under the target's name or not at all.
void copyInto(int fd, const QString &target)
{
    struct stat st = {};
    ::fstat(fd, &st);
    files::AtomicWriter out(target, files::AtomicWriter::RefuseLinks);
    const bool ok = out.isOpen() && out.copyFrom(fd, 0, st.st_size) == st.st_size && out.commit();
    if (!ok)
        throw EVersionError(text("The file %1 cannot be written: %2", target, out.error()));
}

void copyInto(const QString &source, const QString &target)
{
    const int fd = openOrThrow(source);
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    copyInto(fd, target);
}

void rotate(const QString &archivePath)
{
    const QList<Version> all = list(archivePath);
    QList<QDateTime> taken;
    for (const Version &v : all)
        taken.append(v.taken);
    for (int position : rotationRemoves(taken))
        ::unlink(native(all[position].path).constData());
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
    const QString folder = folderOf(archivePath);
    QList<Version> found;
    const QStringList names = QDir(folder).entryList(QDir::Files);
    for (const QString &name : names) {
        bool others = false;
        // Another computer's versions (a sync program brought them) are its own: not listed,
        // so neither offered nor rotated here.
        const std::optional<QDateTime> taken = takenOf(ownName(name, &others));
        if (taken && !others)
            found.append({folder + u'/' + name, *taken});
    }
    std::stable_sort(found.begin(), found.end(), [](const Version &a, const Version &b) {
        return a.taken != b.taken ? a.taken > b.taken : a.path.size() != b.path.size() ? a.path.size() > b.path.size() : a.path > b.path;
    });
    return found;
}

QList<int> rotationRemoves(const QList<QDateTime> &takenNewestFirst)
{
    // Walking from the newest, a version is kept when it is the first of its day among the
    // first kDailyVersions days, or else the first of its week among the first kWeeklyVersions
    // weeks that remain.
    // Versions taken at the very same moment were kept by one operation (a merge keeps the
    // diary and each copy it merged) and stay or go together.
    QList<int> removes;
    QList<QDate> days;
    QList<QDate> weeks;   // the Monday of each week kept
    for (int i = 0; i < takenNewestFirst.size(); ++i) {
        const QDate day = takenNewestFirst[i].toLocalTime().date();
        const QDate monday = day.addDays(1 - day.dayOfWeek());
        if (i > 0 && takenNewestFirst[i] == takenNewestFirst[i - 1]) {
            if (!removes.isEmpty() && removes.last() == i - 1)
                removes.append(i);
            continue;
        }
        if (i == 0 || (!days.contains(day) && days.size() < kDailyVersions)) {
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
    const QString source = files::followLinks(archivePath);
    if (source.isEmpty() || !files::exists(source))
        return {};
    const QDateTime moment = now().toUTC();
    const QList<Version> kept = list(source);
    if (keep == Keep::IfDue && !kept.isEmpty() && kept.first().taken.secsTo(moment) < kDaySeconds)
        return {};

    const QString folder = makeFolder(source);
    removeUnfinished(folder);
    const QString target = freeName(folder, moment);

    files::FileFaults::beforeStep(files::FileFaults::Step::Link);
    if (::link(native(source).constData(), native(target).constData()) != 0) {
        if (errno != EXDEV && errno != EPERM && errno != EMLINK && errno != ENOTSUP)
            throw EVersionError(text("The version %1 cannot be kept: %2", target, errno));
        copyInto(source, target);
    }
    rotate(source);
    return target;
}

QString keepFile(const QString &archivePath, const QString &filePath, const QDateTime &taken)
{
    const QString source = files::followLinks(archivePath);
    const QDateTime moment = (taken.isValid() ? taken : now()).toUTC();
    const QString folder = makeFolder(source);
    removeUnfinished(folder);
    const QString target = freeName(folder, moment);
    if (!files::moveWithin(filePath, target))
        throw EVersionError(text("The file %1 cannot be kept as a version: %2", filePath, errno));
    rotate(source);
    return target;
}

void restoreWhole(const QString &archivePath, const QString &versionPath)
{
    files::FolderLock lock(archivePath, files::FolderLock::Exclusive);
    if (lock.outcome() != files::FolderLock::Outcome::Held)
        throw EVersionError(QStringLiteral("The diary %1 is in use or cannot be locked").arg(archivePath));
    // Opened first: keeping the diary as it is now may rotate the version's name away.
    const int fd = openOrThrow(versionPath);
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    if (files::exists(archivePath))
        keepBeforeReplace(archivePath, Keep::Always);
    copyInto(fd, files::followLinks(archivePath));
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
    const QString folder = folderOf(files::followLinks(archivePath));
    int removed = 0;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        bool others = false;
        if (::unlink(native(folder + u'/' + name).constData()) == 0 && takenOf(ownName(name, &others)))
            ++removed;
    }
    return removed;
}

} // namespace versions
