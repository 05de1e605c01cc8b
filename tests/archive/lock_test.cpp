// The archive's folder lock and the files a save must not take: another program holding the
// lock, a lock anybody could take on the folder itself, read-only archives and diaries reached
// through a symbolic link.

#include "archive_fixture.h"

#include "archive/archive_lock.h"
#include "platform/files.h"

#include <sys/stat.h>

using namespace archive_testing;
using testing_support::holdWithFlock;
using testing_support::readFile;

namespace {

QByteArray native(const QString &path) { return QFile::encodeName(path); }

struct stat statusOf(const QString &path)
{
    struct stat st = {};
    ::lstat(native(path).constData(), &st);
    return st;
}

QString toolProgram() { return testing_support::binDir() + QLatin1String("/quillbook-tool"); }

class ArchiveLocks : public ArchiveTest
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(testing_support::flockProgram().isEmpty()) << "util-linux's flock is needed";
        files::FolderLock::setWaitForTesting(200);
    }
    void TearDown() override { files::FolderLock::setWaitForTesting(-1); }

    // An archive of two days at the path.
    void makeDiary(const QString &archive)
    {
        auto w = writer(archive);
        add(*w, g("2003年9月1日"), "0\r\n0\r\none");
        add(*w, g("2003年9月2日"), "1\r\n1\r\ntwo");
    }

    // Runs the operation, and gives the error's class and text ("" when it ran to its end).
    template <typename Op>
    static std::pair<QString, QString> failureOf(Op op)
    {
        try {
            op();
        } catch (const EFileInUse &e) {
            return {QStringLiteral("EFileInUse"), e.message()};
        } catch (const EFCreateError &e) {
            return {QStringLiteral("EFCreateError"), e.message()};
        } catch (const Exception &e) {
            return {QStringLiteral("Exception"), e.message()};
        }
        return {};
    }
};

const QString kInUse = QStringLiteral("The diary is in use by another program; try again later");

} // namespace

TEST_F(ArchiveLocks, AnotherProgramHoldingTheLockMakesOperationsFailAndWritesNothing)
{
    makeDiary(path());
    const QByteArray before = readFile(path());
    const QString lockFile = folder() + QLatin1Char('/') + files::kLockFileName;
    const std::pair<QString, QString> busy{QStringLiteral("EFileInUse"), kInUse};
    auto save = [this] { add(*writer(), g("2003年9月3日"), "2\r\n2\r\nthree"); };
    auto remove = [this] {
        auto w = writer();
        w->OpenArchive();
        w->SelectEntry(0, true);
        w->DeleteSelected();
    };
    auto read = [this] { EXPECT_EQ(names(path()).size(), 2); };
    {
        const auto writerElsewhere = holdWithFlock(lockFile, "-x");
        ASSERT_EQ(writerElsewhere->firstLine(), QByteArray("held"));
        EXPECT_EQ(failureOf(read), busy);
        EXPECT_EQ(failureOf(save), busy);
    }
    {
        const auto readerElsewhere = holdWithFlock(lockFile, "-s");
        ASSERT_EQ(readerElsewhere->firstLine(), QByteArray("held"));
        EXPECT_EQ(failureOf(read), (std::pair<QString, QString>{}));
        EXPECT_EQ(failureOf(save), busy);
        EXPECT_EQ(failureOf(remove), busy);
    }
    EXPECT_EQ(readFile(path()), before);
    EXPECT_EQ(folderFiles(), QStringList{QFileInfo(path()).fileName()});
    // Let go, the save goes through.
    save();
    EXPECT_EQ(names(path()).size(), 3);
}

TEST_F(ArchiveLocks, ALockOnTheFolderItselfNoLongerStopsReadersOrWriters)
{
    makeDiary(path());
    const auto anybody = holdWithFlock(folder(), "-x");
    ASSERT_EQ(anybody->firstLine(), QByteArray("held"));
    add(*writer(), g("2003年9月3日"), "2\r\n2\r\nthree");
    EXPECT_EQ(names(path()).size(), 3);
    const testing_support::RunResult listed = testing_support::run(toolProgram(), {QStringLiteral("list"), path()});
    EXPECT_EQ(listed.exitCode, 0) << listed.err.constData();
    EXPECT_EQ(listed.out.count('\n'), 3);
}

TEST_F(ArchiveLocks, TheToolReportsABusyDiaryInWordsAfterTheWait)
{
    makeDiary(path());
    const auto holder = holdWithFlock(folder() + QLatin1Char('/') + files::kLockFileName, "-x");
    ASSERT_EQ(holder->firstLine(), QByteArray("held"));
    const QByteArray before = readFile(path());
    const testing_support::RunResult r =
        testing_support::run(toolProgram(), {QStringLiteral("delete"), path(), QStringLiteral("2003年9月1日")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, kInUse.toUtf8() + '\n');
    EXPECT_EQ(readFile(path()), before);
}

TEST_F(ArchiveLocks, AReadOnlyArchiveIsReadButNeverRewritten)
{
    makeDiary(path());
    ::chmod(native(path()).constData(), 0444);
    const QByteArray before = readFile(path());
    const std::pair<QString, QString> refused{
        QStringLiteral("EFCreateError"),
        QStringLiteral("Cannot write file \"%1\". The file is read-only").arg(path())};
    EXPECT_EQ(failureOf([this] { add(*writer(), g("2003年9月3日"), "x"); }), refused);
    EXPECT_EQ(failureOf([this] {
                  auto w = writer();
                  w->OpenArchive();
                  w->SetArchiveCommentBytes("53AbCdEfGhIjK");
                  w->WriteArchive();
              }),
              refused);
    EXPECT_EQ(readFile(path()), before);
    EXPECT_EQ(statusOf(path()).st_mode & 0777, 0444u);
    EXPECT_EQ(extract(path(), g("2003年9月2日")), QByteArray("1\r\n1\r\ntwo"));
}

// A diary kept in a synced folder and linked into the diary folder stays one diary.
TEST_F(ArchiveLocks, ASaveThroughALinkUpdatesTheDiaryItPointsTo)
{
    QDir(folder()).mkdir(QStringLiteral("synced"));
    const QString real = folder() + QLatin1String("/synced/diary");
    makeDiary(real);
    ASSERT_TRUE(QFile::link(QStringLiteral("synced/diary"), path()));

    add(*writer(), g("2003年9月3日"), "2\r\n2\r\nthree");
    EXPECT_TRUE(S_ISLNK(statusOf(path()).st_mode));
    EXPECT_EQ(names(real), (QList<QByteArray>{g("2003年9月1日"), g("2003年9月2日"), g("2003年9月3日")}));
    const testing_support::RunResult unzip =
        testing_support::run(testing_support::unzipProgram(), {QStringLiteral("-tqq"), QStringLiteral("-P"),
                                                               fixedPassword(), real});
    EXPECT_EQ(unzip.exitCode, 0) << unzip.out.constData();

    // The lock is the one of the folder the save writes in.
    EXPECT_FALSE(QFile::exists(folder() + QLatin1Char('/') + files::kLockFileName));
    const auto holder = holdWithFlock(folder() + QLatin1String("/synced/") + files::kLockFileName, "-x");
    ASSERT_EQ(holder->firstLine(), QByteArray("held"));
    EXPECT_EQ(failureOf([this] { add(*writer(), g("2003年9月4日"), "x"); }).first, QStringLiteral("EFileInUse"));
}

TEST_F(ArchiveLocks, ALinkToNothingIsRefusedAndNothingIsCreatedWhereItPoints)
{
    QDir(folder()).mkdir(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QFile::link(QStringLiteral("elsewhere/diary"), path()));
    EXPECT_EQ(failureOf([this] { add(*writer(), g("2003年9月3日"), "x"); }),
              (std::pair<QString, QString>{
                  QStringLiteral("EFCreateError"),
                  QStringLiteral("Cannot write file \"%1\". It is a symbolic link to \"%2\", which does not exist")
                      .arg(path(), folder() + QLatin1String("/elsewhere/diary"))}));
    EXPECT_EQ(QDir(folder() + QLatin1String("/elsewhere")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList()) << "not even a lock file";
    EXPECT_TRUE(S_ISLNK(statusOf(path()).st_mode));
}
