#include "platform/files.h"
#include "support/test_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

using namespace testing_support;

namespace {
QStringList folderNames(const QString &path)
{
    QStringList names = QDir(path).entryList(QDir::Files | QDir::Hidden);
    names.removeAll(files::kLockFileName);
    return names;
}

QByteArray native(const QString &path) { return QFile::encodeName(path); }

struct stat statusOf(const QString &path)
{
    struct stat st = {};
    ::lstat(native(path).constData(), &st);
    return st;
}

QString childProgram() { return QStringLiteral(QB_FILES_CHILD); }

// The unprivileged account the tests become in a child process.
uid_t nobody()
{
    const passwd *user = ::getpwnam("nobody");
    return user ? user->pw_uid : uid_t(65534);
}
gid_t nobodysGroup()
{
    const passwd *user = ::getpwnam("nobody");
    return user ? user->pw_gid : gid_t(65534);
}

// A scratch folder another account can reach: the temporary folder's own is root's and 0700.
class SharedDir
{
public:
    SharedDir() { ::chmod(native(m_dir.path()).constData(), 0711); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // A folder inside, owned by owner, with the given mode.
    QString folder(const QString &name, uid_t owner, gid_t group, mode_t mode) const
    {
        const QString path = m_dir.filePath(name);
        QDir().mkdir(path);
        (void)::chown(native(path).constData(), owner, group);
        ::chmod(native(path).constData(), mode);
        return path;
    }

private:
    QTemporaryDir m_dir;
};

// The file layer's waits are shortened for the tests that let a lock run out.
class ShortWait : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "these tests become another account, which takes root";
        ASSERT_FALSE(flockProgram().isEmpty()) << "util-linux's flock is needed";
        files::FolderLock::setWaitForTesting(200);
    }
    void TearDown() override
    {
        files::FolderLock::setWaitForTesting(-1);
        files::FileFaults::disarm();
    }
};

} // namespace

TEST(AtomicWriter, ReplacesTheFileWholeAndLeavesNothingBehind)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("张三"));
    writeFile(target, "old");
    ::chmod(QFile::encodeName(target).constData(), 0640);
    {
        files::AtomicWriter out(target);
        ASSERT_TRUE(out.isOpen());
        ASSERT_TRUE(out.write(QByteArray("new ")));
        EXPECT_EQ(readFile(target), QByteArray("old")) << "untouched until the commit";
        ASSERT_TRUE(out.write(QByteArray("contents")));
        ASSERT_TRUE(out.commit());
    }
    EXPECT_EQ(readFile(target), QByteArray("new contents"));
    EXPECT_EQ(folderNames(dir.path()), QStringList{QStringLiteral("张三")});
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "a rewrite keeps the permissions";
}

TEST(AtomicWriter, CreatesNewFilesPrivate)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("new"));
    files::AtomicWriter out(target);
    ASSERT_TRUE(out.write(QByteArray("x")) && out.commit());
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(AtomicWriter, AFullDiskLeavesTheOldFileAndNoTemporary)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("diary"));
    writeFile(target, "precious");
    for (int step = 1; step <= 2; ++step) {
        files::FileFaults::arm(files::FileFaults::NoSpaceAt, step);
        {
            files::AtomicWriter out(target);
            bool ok = out.write(QByteArray("first")) && out.write(QByteArray("second")) && out.commit();
            EXPECT_FALSE(ok);
            EXPECT_EQ(out.error(), ENOSPC);
        }
        files::FileFaults::disarm();
        EXPECT_EQ(readFile(target), QByteArray("precious"));
        EXPECT_EQ(folderNames(dir.path()), QStringList{QStringLiteral("diary")});
    }
}

TEST(AtomicWriter, CountsEveryStepOfAReplacement)
{
    QTemporaryDir dir;
    files::FileFaults::arm(files::FileFaults::Off, 0);
    files::AtomicWriter out(dir.filePath(QStringLiteral("f")));
    ASSERT_TRUE(out.write(QByteArray("a")) && out.write(QByteArray("b")) && out.commit());
    // two writes, the file's sync, the rename, the folder's sync
    EXPECT_EQ(files::FileFaults::stepsTaken(), 5);
}

// Ranges of another file, large (several write-back pieces) and small, between written bytes;
// once from a file on the same file system (copied in the kernel) and once from one in memory
// (/dev/shm: across file systems the kernel refuses, and the copy goes through a buffer).
TEST(AtomicWriter, CopiesRangesOfAnotherFileInOrder)
{
    QTemporaryDir dir;
    QByteArray source(3 * (1 << 20) + 12345, Qt::Uninitialized);
    for (qsizetype i = 0; i < source.size(); ++i)
        source[i] = char((i * 7919) >> 3);
    QStringList sources{dir.filePath(QStringLiteral("source"))};
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        sources << QStringLiteral("/dev/shm/quillbook-copy-test-%1").arg(::getpid());
    for (const QString &path : sources) {
        SCOPED_TRACE(path.toStdString());
        writeFile(path, source);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const QString target = dir.filePath(QStringLiteral("copy"));
        files::AtomicWriter out(target);
        ASSERT_TRUE(out.write(QByteArray("head")));
        EXPECT_EQ(out.copyFrom(fd, 5, source.size() - 10), source.size() - 10);
        EXPECT_EQ(out.copyFrom(fd, 1, 3), 3);
        ASSERT_TRUE(out.write(QByteArray("tail")));
        EXPECT_EQ(out.copyFrom(fd, source.size() - 4, 100), 4) << "fewer bytes where the source ends";
        ASSERT_TRUE(out.commit());
        ::close(fd);
        if (path.startsWith(QLatin1String("/dev/shm/")))
            QFile::remove(path);
        EXPECT_EQ(readFile(target),
                  "head" + source.mid(5, source.size() - 10) + source.mid(1, 3) + "tail" + source.right(4));
    }
}

TEST(AtomicWriter, AFullDiskDuringACopyLeavesTheOldFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("diary"));
    writeFile(target, "precious");
    const QString source = dir.filePath(QStringLiteral("source"));
    writeFile(source, QByteArray(3 << 20, 'x'));
    const int fd = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int step = 1; step <= 3; ++step) {
        files::FileFaults::arm(files::FileFaults::NoSpaceAt, step);
        {
            files::AtomicWriter out(target);
            EXPECT_EQ(out.copyFrom(fd, 0, 3 << 20), -1);
            EXPECT_EQ(out.error(), ENOSPC);
        }
        files::FileFaults::disarm();
        EXPECT_EQ(readFile(target), QByteArray("precious"));
    }
    ::close(fd);
}

TEST(AtomicWriter, RemovesLeftoversOfInterruptedReplacementsOnly)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("diary")), "d");
    writeFile(dir.filePath(QStringLiteral(".diary.a1B2c3.tmp")), "left over");
    writeFile(dir.filePath(QStringLiteral(".diary.notes.tmp.keep")), "someone else's");
    writeFile(dir.filePath(QStringLiteral(".other.a1B2c3.tmp")), "another file's");
    files::AtomicWriter::removeLeftovers(dir.filePath(QStringLiteral("diary")));
    QStringList names = folderNames(dir.path());
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral(".diary.notes.tmp.keep"),
                                  QStringLiteral(".other.a1B2c3.tmp"), QStringLiteral("diary")}));
}

TEST(FolderLock, IsReentrantWithinOneProcess)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("diary"));
    files::FolderLock outer(path, files::FolderLock::Shared);
    ASSERT_TRUE(outer.ok());
    files::FolderLock inner(path, files::FolderLock::Exclusive);
    EXPECT_TRUE(inner.ok()) << "a nested exclusive lock must not wait for our own shared one";
    files::FolderLock again(path, files::FolderLock::Shared);
    EXPECT_TRUE(again.ok());
}

TEST_F(ShortWait, AnotherProgramHoldingTheLockFileMakesTheLockBusyAfterTheWait)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("diary"));
    const QString lockFile = dir.filePath(files::kLockFileName);
    writeFile(lockFile, {});
    struct Case {
        const char *theirs;
        files::FolderLock::Mode ours;
        files::FolderLock::Outcome expected;
    };
    const Case cases[] = {
        {"-x", files::FolderLock::Shared, files::FolderLock::Outcome::Busy},
        {"-x", files::FolderLock::Exclusive, files::FolderLock::Outcome::Busy},
        {"-s", files::FolderLock::Shared, files::FolderLock::Outcome::Held},
        {"-s", files::FolderLock::Exclusive, files::FolderLock::Outcome::Busy},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.theirs) + (c.ours == files::FolderLock::Shared ? " shared" : " exclusive"));
        const auto holder = holdWithFlock(lockFile, c.theirs);
        ASSERT_EQ(holder->firstLine(), QByteArray("held"));
        files::FolderLock lock(path, c.ours);
        EXPECT_EQ(lock.outcome(), c.expected);
        EXPECT_EQ(lock.ok(), c.expected == files::FolderLock::Outcome::Held);
    }
    // Let go, the lock is there again.
    files::FolderLock lock(path, files::FolderLock::Exclusive);
    EXPECT_EQ(lock.outcome(), files::FolderLock::Outcome::Held);
    EXPECT_FALSE(othersCouldLock(lockFile));
}

TEST_F(ShortWait, ARaiseThatIsNotGrantedKeepsTheSharedLock)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("diary"));
    const QString lockFile = dir.filePath(files::kLockFileName);
    files::FolderLock outer(path, files::FolderLock::Shared);
    ASSERT_EQ(outer.outcome(), files::FolderLock::Outcome::Held);
    {
        const auto reader = holdWithFlock(lockFile, "-s");
        ASSERT_EQ(reader->firstLine(), QByteArray("held"));
        files::FolderLock inner(path, files::FolderLock::Exclusive);
        EXPECT_EQ(inner.outcome(), files::FolderLock::Outcome::Busy);
    }
    EXPECT_FALSE(othersCouldLock(lockFile)) << "the outer shared lock is still held";
}

// A sync program brings the other computer's lock file: a new file under the name. A program
// that opened the old one and then gets its lock must not take that for the folder's lock.
TEST_F(ShortWait, ALockFileReplacedUnderItsNameIsLetGoForTheNewOne)
{
    files::FolderLock::setWaitForTesting(10000);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("diary"));
    const QString lockFile = dir.filePath(files::kLockFileName);
    writeFile(lockFile, {});
    auto first = holdWithFlock(lockFile, "-x");
    ASSERT_EQ(first->firstLine(), QByteArray("held"));
    std::promise<bool> held;
    std::promise<void> release;
    std::thread waiter([&] {
        files::FolderLock lock(path, files::FolderLock::Exclusive);
        held.set_value(lock.ok());
        release.get_future().wait();
    });
    // Until the waiter has the old file open.
    const auto opened = [&] {
        for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files)) {
            if (fd.symLinkTarget() == lockFile)
                return true;
        }
        return false;
    };
    for (int i = 0; i < 5000 && !opened(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    writeFile(lockFile + QStringLiteral(".synced"), {});
    ASSERT_EQ(::rename(native(lockFile + QStringLiteral(".synced")).constData(), native(lockFile).constData()), 0);
    first.reset();
    EXPECT_TRUE(held.get_future().get());
    EXPECT_FALSE(othersCouldLock(lockFile)) << "the lock must be on the file the name leads to";
    release.set_value();
    waiter.join();
}

// Folders as a second account sees them. The lock file is only ever the folder owner's: another
// user can neither hold it nor keep the owner from it.
TEST_F(ShortWait, OnlyWhoCanWriteTheFolderHoldsItsLock)
{
    SharedDir shared;
    const QString wait = QStringLiteral("200");
    const QString uid = QString::number(nobody());

    // Writable but not readable: the lock is taken all the same, and is the owner's alone.
    const QString own = shared.folder(QStringLiteral("own"), nobody(), nobodysGroup(), 0300);
    const QString ownLock = own + QLatin1Char('/') + files::kLockFileName;
    {
        OtherProgram owner(childProgram(), {uid, QStringLiteral("lock"), own + QLatin1String("/diary"),
                                            QStringLiteral("exclusive"), wait});
        EXPECT_EQ(owner.firstLine(), QByteArray("held"));
        EXPECT_FALSE(othersCouldLock(ownLock));
        const struct stat st = statusOf(ownLock);
        EXPECT_EQ(st.st_uid, nobody());
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }

    // Another user's folder, readable by all (as ~/Quillbook once was): that user's lock file
    // cannot be opened, so a reader reads without it and a writer does not write.
    const QString others = shared.folder(QStringLiteral("others"), 0, 0, 0755);
    const QString othersLock = others + QLatin1Char('/') + files::kLockFileName;
    files::FolderLock mine(others + QLatin1String("/diary"), files::FolderLock::Exclusive);
    ASSERT_EQ(mine.outcome(), files::FolderLock::Outcome::Held);
    for (const auto &[mode, expected] : {std::pair{"shared", "unlocked"}, std::pair{"exclusive", "failed"}}) {
        OtherProgram stranger(childProgram(), {uid, QStringLiteral("lock"), others + QLatin1String("/diary"),
                                               QLatin1String(mode), wait});
        EXPECT_EQ(stranger.firstLine(), QByteArray(expected)) << mode;
    }
    EXPECT_EQ(statusOf(othersLock).st_mode & 0777, 0600u);
}

TEST(FolderLock, FollowsALinkToTheFolderOfTheFileItNames)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("real"));
    QDir(dir.path()).mkdir(QStringLiteral("links"));
    const QString link = dir.filePath(QStringLiteral("links/diary"));
    ASSERT_TRUE(QFile::link(QStringLiteral("../real/diary"), link));
    {
        // Until the diary is there, the link leads nowhere, and is locked where it stands.
        files::FolderLock toNothing(link, files::FolderLock::Exclusive);
        EXPECT_EQ(toNothing.lockFilePath(), dir.filePath(QStringLiteral("links/")) + files::kLockFileName);
    }
    QFile::remove(dir.filePath(QStringLiteral("links/")) + files::kLockFileName);
    writeFile(dir.filePath(QStringLiteral("real/diary")), "d");
    files::FolderLock viaLink(link, files::FolderLock::Exclusive);
    ASSERT_TRUE(viaLink.ok());
    EXPECT_EQ(viaLink.lockFilePath(), dir.filePath(QStringLiteral("links/../real/")) + files::kLockFileName);
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("real/")) + files::kLockFileName));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("links/")) + files::kLockFileName));
    // The same folder by its own name is the same lock within the process.
    files::FolderLock direct(dir.filePath(QStringLiteral("real/diary")), files::FolderLock::Exclusive);
    EXPECT_EQ(direct.outcome(), files::FolderLock::Outcome::Held);
}

TEST(MakePrivateFolders, CreatesEachMissingFolder0700AndLeavesExistingOnes)
{
    QTemporaryDir dir;
    ::chmod(native(dir.path()).constData(), 0755);
    ASSERT_TRUE(files::makePrivateFolders(dir.filePath(QStringLiteral("a/b/c"))));
    for (const char *name : {"a", "a/b", "a/b/c"})
        EXPECT_EQ(statusOf(dir.filePath(QLatin1String(name))).st_mode & 0777, 0700u) << name;
    EXPECT_EQ(statusOf(dir.path()).st_mode & 0777, 0755u);
    writeFile(dir.filePath(QStringLiteral("file")), "x");
    EXPECT_FALSE(files::makePrivateFolders(dir.filePath(QStringLiteral("file"))));
}

// A diary kept in another folder (a backup or synced folder) and linked into the diary folder.
TEST(AtomicWriter, ASaveThroughALinkReplacesTheFileItPointsToInItsFolder)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("synced"));
    QDir(dir.path()).mkdir(QStringLiteral("diaries"));
    const QString real = dir.filePath(QStringLiteral("synced/diary"));
    const QString hop = dir.filePath(QStringLiteral("synced/latest"));
    const QString link = dir.filePath(QStringLiteral("diaries/张三"));
    writeFile(real, "old");
    ::chmod(native(real).constData(), 0640);
    ASSERT_TRUE(QFile::link(QStringLiteral("diary"), hop));                // relative, in its folder
    ASSERT_TRUE(QFile::link(QStringLiteral("../synced/latest"), link));    // a chain of two

    // A full disk at each write first: both links stay, the file stays, nothing is left anywhere.
    for (int step = 1; step <= 2; ++step) {
        files::FileFaults::arm(files::FileFaults::NoSpaceAt, step);
        {
            files::AtomicWriter out(link);
            EXPECT_FALSE(out.write(QByteArray("first")) && out.write(QByteArray("second")) && out.commit());
        }
        files::FileFaults::disarm();
        EXPECT_EQ(readFile(real), QByteArray("old"));
        EXPECT_EQ(folderNames(dir.filePath(QStringLiteral("synced"))),
                  (QStringList{QStringLiteral("diary"), QStringLiteral("latest")}));
    }

    files::AtomicWriter out(link);
    EXPECT_EQ(out.targetPath(), dir.filePath(QStringLiteral("diaries/../synced/diary")));
    ASSERT_TRUE(out.write(QByteArray("new")) && out.commit());
    EXPECT_EQ(readFile(real), QByteArray("new"));
    EXPECT_TRUE(S_ISLNK(statusOf(link).st_mode));
    EXPECT_TRUE(S_ISLNK(statusOf(hop).st_mode));
    EXPECT_EQ(statusOf(real).st_mode & 0777, 0640u);
    EXPECT_EQ(folderNames(dir.filePath(QStringLiteral("diaries"))), QStringList{QStringLiteral("张三")});
}

TEST(AtomicWriter, RefusesWhatItMustNotWriteAndLeavesEverythingAsItWas)
{
    QTemporaryDir dir;
    const QString victim = dir.filePath(QStringLiteral("victim"));
    writeFile(victim, "someone else's file");
    const QString readOnly = dir.filePath(QStringLiteral("read-only"));
    writeFile(readOnly, "kept");
    ::chmod(native(readOnly).constData(), 0444);
    const QString toVictim = dir.filePath(QStringLiteral("main.ini"));
    ASSERT_TRUE(QFile::link(QStringLiteral("victim"), toVictim));
    const QString dangling = dir.filePath(QStringLiteral("dangling"));
    ASSERT_TRUE(QFile::link(QStringLiteral("nowhere/created"), dangling));
    QDir(dir.path()).mkdir(QStringLiteral("nowhere"));

    struct Case {
        QString path;
        files::AtomicWriter::Links links;
        files::AtomicWriter::Refusal refusal;
        QString reason;
    };
    const Case cases[] = {
        {readOnly, files::AtomicWriter::FollowLinks, files::AtomicWriter::Refusal::ReadOnly,
         QStringLiteral("The file is read-only")},
        {toVictim, files::AtomicWriter::RefuseLinks, files::AtomicWriter::Refusal::Link,
         QStringLiteral("It is a symbolic link, which is not written through")},
        {dangling, files::AtomicWriter::FollowLinks, files::AtomicWriter::Refusal::DanglingLink,
         QStringLiteral("It is a symbolic link to \"%1\", which does not exist")
             .arg(dir.filePath(QStringLiteral("nowhere/created")))},
        {dangling, files::AtomicWriter::RefuseLinks, files::AtomicWriter::Refusal::Link,
         QStringLiteral("It is a symbolic link, which is not written through")},
    };
    const QStringList before = folderNames(dir.path());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        files::AtomicWriter out(c.path, c.links);
        EXPECT_FALSE(out.isOpen());
        EXPECT_EQ(out.refusal(), c.refusal);
        EXPECT_EQ(out.errorString(), c.reason);
        EXPECT_FALSE(out.write(QByteArray("x")) || out.commit());
    }
    EXPECT_EQ(folderNames(dir.path()), before);
    EXPECT_EQ(readFile(victim), QByteArray("someone else's file"));
    EXPECT_EQ(readFile(readOnly), QByteArray("kept"));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("nowhere"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
}

TEST_F(ShortWait, AReplacementKeepsTheOwnerOrIsRefused)
{
    SharedDir shared;
    // Root saving a user's file: the new version is still the user's.
    const QString users = shared.folder(QStringLiteral("users"), nobody(), nobodysGroup(), 0700);
    const QString diary = users + QLatin1String("/diary");
    writeFile(diary, "old");
    ASSERT_EQ(::chown(native(diary).constData(), nobody(), nobodysGroup()), 0);
    ::chmod(native(diary).constData(), 0640);
    {
        files::AtomicWriter out(diary);
        ASSERT_TRUE(out.write(QByteArray("new")) && out.commit());
    }
    EXPECT_EQ(readFile(diary), QByteArray("new"));
    EXPECT_EQ(statusOf(diary).st_uid, nobody());
    EXPECT_EQ(statusOf(diary).st_gid, nobodysGroup());
    EXPECT_EQ(statusOf(diary).st_mode & 0777, 0640u);

    // Another account saving into a folder it shares: it cannot give the file back, so it does
    // not take it.
    const QString common = shared.folder(QStringLiteral("common"), 0, 0, 0777);
    const QString rootsDiary = common + QLatin1String("/diary");
    writeFile(rootsDiary, "root's");
    ::chmod(native(rootsDiary).constData(), 0666);
    OtherProgram other(childProgram(), {QString::number(nobody()), QStringLiteral("replace"), rootsDiary,
                                        QStringLiteral("taken")});
    EXPECT_EQ(other.firstLine(), QByteArray("refused: ") + QByteArray(files::text::kForeignOwner.data()));
    EXPECT_EQ(readFile(rootsDiary), QByteArray("root's"));
    EXPECT_EQ(statusOf(rootsDiary).st_uid, 0u);
    EXPECT_EQ(folderNames(common), QStringList{QStringLiteral("diary")});
}

namespace {

// Runs a command as the account nobody (setpriv), as another local user would.
RunResult asNobody(const QStringList &command)
{
    return run(QStringLiteral("/usr/bin/setpriv"),
               QStringList{QStringLiteral("--reuid=%1").arg(nobody()), QStringLiteral("--regid=%1").arg(nobodysGroup()),
                           QStringLiteral("--clear-groups"), QStringLiteral("--")}
                   + command);
}

} // namespace

// The folders a diary keeps beside it (versions, drafts) and an export's folders are opened by
// descriptor, without following a link: a link, a file or another user's folder under the name
// is refused and left as it is; the user's own folder is made 0700 (or tightened to it).
TEST(Folder, AChildIsTheOwnersRealFolderOrRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to give a folder to another account (nobody)";
    QTemporaryDir dir;
    const files::Folder top = files::Folder::open(dir.path());
    ASSERT_TRUE(top.isOpen());
    const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
    QDir().mkdir(elsewhere);
    ::chmod(native(elsewhere).constData(), 0755);
    ASSERT_TRUE(QFile::link(elsewhere, dir.filePath(QStringLiteral("link"))));
    writeFile(dir.filePath(QStringLiteral("file")), "f");
    QDir().mkdir(dir.filePath(QStringLiteral("theirs")));
    ASSERT_EQ(::chown(native(dir.filePath(QStringLiteral("theirs"))).constData(), nobody(), nobodysGroup()), 0);
    QDir().mkdir(dir.filePath(QStringLiteral("loose")));
    ::chmod(native(dir.filePath(QStringLiteral("loose"))).constData(), 0755);

    const struct {
        const char *name;
        files::Folder::Refusal refusal;
    } cases[] = {
        {"link", files::Folder::Refusal::Link},
        {"file", files::Folder::Refusal::NotAFolder},
        {"theirs", files::Folder::Refusal::ForeignOwner},
        {"new", files::Folder::Refusal::None},
        {"loose", files::Folder::Refusal::None},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const files::Folder child = top.child(QString::fromLatin1(c.name), ::geteuid(), ::getegid());
        EXPECT_EQ(child.isOpen(), c.refusal == files::Folder::Refusal::None) << child.errorString().toStdString();
        EXPECT_EQ(child.refusal(), c.refusal);
        if (child.isOpen()) {
            EXPECT_EQ(statusOf(child.path()).st_mode & 07777, 0700u);
        }
    }
    EXPECT_EQ(statusOf(elsewhere).st_mode & 0777, 0755u) << "nothing changed through the link";
    EXPECT_EQ(statusOf(dir.filePath(QStringLiteral("theirs"))).st_uid, nobody());
}

// Files the user names for reading (imports and the pictures they link) are read only when they
// are regular files, and never beyond the size the open file has: a device, a FIFO, a folder or
// a link is refused at once, without blocking and without a byte read.
TEST(ReadRegularFile, ReadsRegularFilesOnlyAndNoFurtherThanTheirSize)
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("entry.txt")), "2003-09-26 text");
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(native(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("entry.txt")), dir.filePath(QStringLiteral("link"))));
    using Refusal = files::ReadFile::Refusal;
    const struct {
        QString path;
        qint64 limit;
        Refusal refusal;
        QByteArray bytes;
    } cases[] = {
        {dir.filePath(QStringLiteral("entry.txt")), 100, Refusal::None, "2003-09-26 text"},
        {dir.filePath(QStringLiteral("entry.txt")), 10, Refusal::TooLarge, {}},
        {QStringLiteral("/dev/zero"), 100, Refusal::NotARegularFile, {}},
        {QStringLiteral("/dev/urandom"), 100, Refusal::NotARegularFile, {}},
        {fifo, 100, Refusal::NotARegularFile, {}},
        {dir.filePath(QStringLiteral("link")), 100, Refusal::NotARegularFile, {}},
        {dir.path(), 100, Refusal::NotARegularFile, {}},
        {dir.filePath(QStringLiteral("missing")), 100, Refusal::CannotOpen, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const files::ReadFile file = files::readRegularFile(c.path, c.limit);
        EXPECT_EQ(file.refusal, c.refusal);
        EXPECT_EQ(file.bytes, c.bytes);
    }
}

// An export into a folder anyone may write (sticky, like /tmp): another user has planted the
// output's name as a link to a file of the user's. The link is not written through, and the
// file it points at stays as it was; a link the user made to their own folder is followed. A
// new file, and one replacing another user's, is the user's own and 0600.
TEST(AtomicWriter, FollowsOnlyTheUsersOwnLinksAndMakesPrivateFilesTheUsersOwn)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to become another account (nobody) with setpriv";
    SharedDir shared;
    const QString sticky = shared.folder(QStringLiteral("tmp"), 0, 0, 01777);
    const QString victim = shared.filePath(QStringLiteral("victim"));
    writeFile(victim, "the user's own file");
    ::chmod(native(victim).constData(), 0644);
    const QString planted = sticky + QLatin1String("/export.html");
    const RunResult plant = asNobody({QStringLiteral("ln"), QStringLiteral("-s"), victim, planted});
    ASSERT_EQ(plant.exitCode, 0) << plant.err.constData();
    ASSERT_EQ(statusOf(planted).st_uid, nobody());
    const QString own = sticky + QLatin1String("/own-link");
    writeFile(shared.filePath(QStringLiteral("target")), "old export");
    ASSERT_TRUE(QFile::link(shared.filePath(QStringLiteral("target")), own));
    const QString theirs = sticky + QLatin1String("/theirs.txt");
    ASSERT_EQ(asNobody({QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("umask 0; echo x > ") + theirs}).exitCode, 0);

    {
        files::AtomicWriter out(planted, files::AtomicWriter::FollowOwnLinks, files::AtomicWriter::Permissions::Private);
        EXPECT_FALSE(out.isOpen());
        EXPECT_EQ(out.refusal(), files::AtomicWriter::Refusal::ForeignLink);
        EXPECT_EQ(out.errorString(), QString(files::text::kForeignLink));
    }
    EXPECT_EQ(readFile(victim), QByteArray("the user's own file"));
    EXPECT_TRUE(S_ISLNK(statusOf(planted).st_mode));

    // The user's own file keeps the permissions the user gave it.
    ::chmod(native(shared.filePath(QStringLiteral("target"))).constData(), 0640);
    const std::pair<QString, mode_t> written[] = {{own, 0640}, {theirs, 0600}, {sticky + QLatin1String("/new.txt"), 0600}};
    for (const auto &[path, mode] : written) {
        SCOPED_TRACE(path.toStdString());
        files::AtomicWriter out(path, files::AtomicWriter::FollowOwnLinks, files::AtomicWriter::Permissions::Private);
        ASSERT_TRUE(out.isOpen()) << out.errorString().toStdString();
        ASSERT_TRUE(out.write(QByteArray("diary")) && out.commit());
        const struct stat st = statusOf(out.targetPath());
        EXPECT_EQ(st.st_uid, ::geteuid());
        EXPECT_EQ(st.st_mode & 0777, mode);
    }
    EXPECT_EQ(readFile(shared.filePath(QStringLiteral("target"))), QByteArray("diary"));
    EXPECT_TRUE(S_ISLNK(statusOf(own).st_mode));
}
