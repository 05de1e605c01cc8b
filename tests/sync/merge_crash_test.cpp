// A merge stopped at every step of its file work: the diary is as it was or merged, never half,
// and the copy is beside it or among its versions, never gone; merging again finishes the work.

#include "sync/diary_copies.h"
#include "sync_fixture.h"

#include <QDir>
#include <QDirIterator>

using namespace sync_testing;

namespace {

const QString kCopyName = QStringLiteral("alice.sync-conflict-20261207-093000-ABCDEFG");

class MergeCrash : public ::testing::Test
{
protected:
    // The diary and the other computer's copy, each with days of its own and one changed on both.
    static void SetUpTestSuite()
    {
        s_template = new QTemporaryDir;
        const QString diary = s_template->filePath(QStringLiteral("alice"));
        const QString copy = s_template->filePath(kCopyName);
        createDiary(diary);
        Computer both(diary, QDateTime(QDate(2026, 12, 1), QTime(9, 0)));
        both.save("2026年12月2日", "二");
        both.save("2026年12月1日", "一");
        syncCopy(diary, copy);
        Computer here(diary, QDateTime(QDate(2026, 12, 2), QTime(9, 0)));
        Computer there(copy, QDateTime(QDate(2026, 12, 3), QTime(9, 0)));
        here.save("2026年12月4日", "四");
        here.save("2026年12月2日", "二，这里");
        there.save("2026年12月5日", "五");
        there.save("2026年12月2日", "二，那边");
    }
    static void TearDownTestSuite()
    {
        delete s_template;
        s_template = nullptr;
    }

    // A fresh folder as the template has it, versions included.
    void reset()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QDirIterator it(s_template->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString from = it.next();
            const QString to = m_dir->filePath(QDir(s_template->path()).relativeFilePath(from));
            QDir().mkpath(QFileInfo(to).path());
            ASSERT_TRUE(QFile::copy(from, to));
        }
    }
    QString diary() const { return m_dir->filePath(QStringLiteral("alice")); }
    QString copy() const { return m_dir->filePath(kCopyName); }

    int runChild(const QString &fault)
    {
        const testing_support::RunResult r =
            testing_support::run(QStringLiteral(QB_MERGE_CHILD), {diary(), fault});
        if (r.exitCode != 0 || !r.out.startsWith("done "))
            return -1;
        return r.out.mid(5).trimmed().toInt();
    }

    // Files anywhere in the folder holding exactly these bytes.
    int filesHolding(const QByteArray &bytes) const
    {
        int count = 0;
        QDirIterator it(m_dir->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            count += testing_support::readFile(it.next()) == bytes ? 1 : 0;
        return count;
    }

    static QTemporaryDir *s_template;
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTemporaryDir *MergeCrash::s_template = nullptr;

TEST_F(MergeCrash, AStopAtAnyStepLeavesTheDiaryAsItWasOrMergedAndTheCopyKept)
{
    reset();
    const QMap<QString, QByteArray> before = daysOf(diary());
    const QByteArray copyBytes = testing_support::readFile(copy());
    const int steps = runChild(QStringLiteral("none"));
    ASSERT_GE(steps, 6) << "a rewrite of the diary, a version, and the copy's move";
    const QMap<QString, QByteArray> merged = daysOf(diary());
    ASSERT_EQ(merged.size(), 4);
    ASSERT_NE(merged, before);

    for (int k = 1; k <= steps; ++k) {
        SCOPED_TRACE(k);
        reset();
        EXPECT_EQ(runChild(QStringLiteral("kill:%1").arg(k)), -1);
        const QMap<QString, QByteArray> now = daysOf(diary());
        EXPECT_TRUE(now == before || now == merged);
        // The copy, byte for byte, beside the diary or among its versions.
        EXPECT_GE(filesHolding(copyBytes), 1);
        if (now == before) {
            EXPECT_TRUE(QFile::exists(copy()));
        }
        // Merging again finishes what the stopped merge began.
        EXPECT_EQ(runChild(QStringLiteral("none")) >= 0, true);
        EXPECT_EQ(daysOf(diary()), merged);
        EXPECT_FALSE(QFile::exists(copy()));
        EXPECT_EQ(testing_support::entriesIn(m_dir->path(), QDir::Files | QDir::Hidden), QStringList{QStringLiteral("alice")});
    }
}

} // namespace
