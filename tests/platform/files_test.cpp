#include "platform/files.h"
#include "support/test_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
