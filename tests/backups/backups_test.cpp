#include "backups/backups.h"
#include "diary/entry_restore.h"
#include "platform/files.h"
#include "../sync/sync_fixture.h"

#include <QDir>

#include <sys/stat.h>

using namespace sync_testing;

namespace {

class Backups : public ::testing::Test
{
protected:
    void SetUp() override
    {
        createDiary(diary());
        Computer writing(diary(), QDateTime(QDate(2026, 12, 1), QTime(9, 0)));
        writing.save("2026年12月1日", "一");
        writing.save("2026年12月2日", "二");
        backups::setClock([this] { return m_today; });
    }
    void TearDown() override
    {
        backups::setClock({});
        versions::setClock({});
        files::FileFaults::disarm();
    }
    QString diary() const { return m_home.filePath(QStringLiteral("alice")); }
    QString drive() const { return m_drive.path(); }
    QStringList driveFiles() const
    {
        return testing_support::entriesIn(drive(), QDir::Files | QDir::Hidden | QDir::System);
    }

    QTemporaryDir m_home;
    QTemporaryDir m_drive;
    QDate m_today{2026, 12, 7};
};

TEST_F(Backups, ABackupIsTheDiaryByteForByteNamedByTheDay)
{
    for (const bool isPrivate : {false, true}) {
        SCOPED_TRACE(isPrivate ? "private" : "old format");
        const DiaryKey key = keyNumber(3);
        if (isPrivate) {
            QFile::remove(diary());
            createDiary(diary(), &key);
            Computer(diary(), QDateTime(QDate(2026, 12, 1), QTime(9, 0)), &key).save("2026年12月1日", "秘密");
        }
        const QByteArray before = testing_support::readFile(diary());
        struct stat st = {};
        ::stat(QFile::encodeName(diary()).constData(), &st);
        const backups::Outcome outcome = backups::backUp(diary(), drive());
        ASSERT_TRUE(outcome.ok()) << backups::outcomeText(outcome).toStdString();
        EXPECT_EQ(outcome.path, m_drive.filePath(QStringLiteral("alice-2026-12-07")));
        EXPECT_EQ(testing_support::readFile(outcome.path), before);
        EXPECT_TRUE(outcome.detail.isEmpty());
        EXPECT_EQ(driveFiles(), QStringList{QStringLiteral("alice-2026-12-07")});
        EXPECT_FALSE(backups::dueToday(diary(), drive()));
        // The diary is only read.
        struct stat after = {};
        ::stat(QFile::encodeName(diary()).constData(), &after);
        EXPECT_EQ(after.st_ino, st.st_ino);
        EXPECT_EQ(after.st_mtim.tv_nsec, st.st_mtim.tv_nsec);
        if (isPrivate) {
            EXPECT_FALSE(testing_support::readFile(outcome.path).contains(g("秘密")));
        }
    }
}

TEST_F(Backups, ReadingBackFindsWhatIsNotIntact)
{
    ASSERT_TRUE(backups::backUp(diary(), drive()).ok());
    const QString copy = m_drive.filePath(QStringLiteral("alice-2026-12-07"));
    EXPECT_EQ(backups::verify(copy), QString());
    QByteArray bytes = testing_support::readFile(copy);
    bytes[60] = char(bytes[60] ^ 0x40);   // inside the first entry's data
    testing_support::writeFile(copy, bytes);
    EXPECT_TRUE(backups::verify(copy).startsWith(QStringLiteral("entry 0")));
    testing_support::writeFile(copy, bytes.left(bytes.size() - 30));
    EXPECT_TRUE(backups::verify(copy).startsWith(QStringLiteral("not a readable diary archive")));
}

TEST_F(Backups, FourHundredDaysKeepThirtyDailyAndTwelveMonthlyBackups)
{
    testing_support::writeFile(m_drive.filePath(QStringLiteral("notes.txt")), "mine");
    const QDate first(2025, 11, 3);
    for (int d = 0; d < 400; ++d) {
        m_today = first.addDays(d);
        ASSERT_TRUE(backups::backUp(diary(), drive()).ok());
    }
    QList<QDate> expected;
    const QDate last = first.addDays(399);
    for (int d = 0; d < backups::kDailyBackups; ++d)
        expected.append(last.addDays(-d));
    // Then the newest of each month before them: the last day of the month, or the day before
    // the daily ones began in the month they began in.
    QDate month(expected.last().year(), expected.last().month(), 1);
    expected.append(expected.last().addDays(-1));
    while (expected.size() < backups::kDailyBackups + backups::kMonthlyBackups) {
        month = month.addMonths(-1);
        expected.append(QDate(month.year(), month.month(), month.daysInMonth()));
    }
    QList<QDate> kept;
    for (const backups::Backup &b : backups::list(drive()))
        kept.append(b.day);
    EXPECT_EQ(kept, expected);
    EXPECT_TRUE(QFile::exists(m_drive.filePath(QStringLiteral("notes.txt"))));
}

TEST_F(Backups, AFullOrVanishedDriveIsAFailureThatLeavesTheDiaryAndTheDriveAsTheyWere)
{
    const QByteArray before = testing_support::readFile(diary());
    ASSERT_TRUE(backups::backUp(diary(), drive()).ok());
    const QByteArray yesterday = testing_support::readFile(m_drive.filePath(QStringLiteral("alice-2026-12-07")));
    Computer(diary(), QDateTime(QDate(2026, 12, 7), QTime(20, 0))).save("2026年12月7日", "七");

    // Full at the first write of the copy.
    files::FileFaults::arm(files::FileFaults::NoSpaceAt, 1);
    const backups::Outcome full = backups::backUp(diary(), drive());
    files::FileFaults::disarm();
    EXPECT_EQ(full.failure, backups::Failure::Full);
    EXPECT_EQ(backups::outcomeText(full), QStringLiteral("备份失败：备份所在的磁盘已满，稍后会再试。"));
    EXPECT_EQ(driveFiles(), QStringList{QStringLiteral("alice-2026-12-07")});
    EXPECT_EQ(testing_support::readFile(m_drive.filePath(QStringLiteral("alice-2026-12-07"))), yesterday);

    // The drive gone: nothing is made where it was.
    const QString gone = m_drive.filePath(QStringLiteral("usb"));
    const backups::Outcome missing = backups::backUp(diary(), gone);
    EXPECT_EQ(missing.failure, backups::Failure::FolderMissing);
    EXPECT_FALSE(QFile::exists(gone));
    EXPECT_NE(testing_support::readFile(diary()), before);   // the save went through
}

TEST_F(Backups, ABackupOpensLikeAVersion)
{
    ASSERT_TRUE(backups::backUp(diary(), drive()).ok());
    const QString backup = backups::list(drive(), QStringLiteral("alice")).first().path;
    Computer later(diary(), QDateTime(QDate(2026, 12, 8), QTime(9, 0)));
    later.remove("2026年12月1日");
    later.save("2026年12月2日", "二，改了");
    // One day back.
    TArchiveWriter writer;
    writer.SetZipName(diary());
    EXPECT_EQ(diary::restoreEntry(backup, writer, g("2026年12月1日")), diary::EntryProblem::None);
    EXPECT_EQ(daysOf(diary()).value(QStringLiteral("2026年12月1日")), record("一"));
    // The whole diary back; the diary as it was is kept as a version first.
    diary::restoreWhole(backup, writer);
    EXPECT_EQ(daysOf(diary()), daysOf(backup));
    EXPECT_EQ(daysOf(versions::list(diary()).first().path).value(QStringLiteral("2026年12月2日")), record("二，改了"));
}

} // namespace
