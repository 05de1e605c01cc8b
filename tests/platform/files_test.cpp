#include "platform/files.h"
#include "support/test_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing_support;

namespace {
QStringList folderNames(const QString &path)
{
    return QDir(path).entryList(QDir::Files | QDir::Hidden);
}
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
