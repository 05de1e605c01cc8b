// Merging conflict copies into a diary: two computers write on one diary between two
// synchronisations (each in a folder of its own, as a sync program sees them), then the other
// computer's file arrives beside this one's as its conflict copy.

#include "sync/diary_copies.h"
#include "sync/sync_texts.h"
#include "sync_fixture.h"

#include <QDirIterator>

using namespace sync_testing;

namespace {

const QDateTime kMorning(QDate(2026, 12, 1), QTime(9, 0));
const QString kCopyName = QStringLiteral("alice.sync-conflict-20261207-093000-ABCDEFG");

class Merge : public ::testing::Test
{
protected:
    void TearDown() override { versions::setClock({}); }

    QString diary() const { return m_here.filePath(QStringLiteral("alice")); }
    QString copyPath() const { return m_here.filePath(kCopyName); }
    QString otherDiary() const { return m_there.filePath(QStringLiteral("alice")); }

    // The diary both computers had: three days written on the first of December, the one that
    // no test changes last (a diary goes on after the days one computer deletes).
    void writeCommonPast(const DiaryKey *key = nullptr)
    {
        createDiary(diary(), key);
        Computer both(diary(), kMorning, key);
        both.save("2026年12月2日", "二");
        both.save("2026年12月3日", "三");
        both.save("2026年12月1日", "一");
        syncCopy(diary(), otherDiary());
    }
    // The other computer's file arrives as the conflict copy.
    void arrive() { syncCopy(otherDiary(), copyPath()); }

    // On the eighth, after all the writing.
    syncing::MergeReport merge(const DiaryKey *key = nullptr, const QByteArray &comment = {})
    {
        versions::setClock([] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0)).toUTC(); });
        return syncing::mergeCopies({diary(), syncing::findDiaryCopies(diary()), key, comment});
    }

    QTemporaryDir m_here;
    QTemporaryDir m_there;
};

TEST_F(Merge, TheNoticeCountsTheDaysOnlyInTheCopyAndThoseThatDiffer)
{
    writeCommonPast();
    Computer there(otherDiary(), kMorning.addDays(1));
    there.save("2026年12月4日", "四");
    there.save("2026年12月5日", "五");
    there.save("2026年12月6日", "六");
    there.save("2026年12月2日", "二，改过");
    Computer(diary(), kMorning.addDays(1)).save("2026年12月7日", "七");
    arrive();
    const QList<syncing::ConflictCopy> copies = syncing::findDiaryCopies(diary());
    ASSERT_EQ(copies.size(), 1);
    const syncing::CopySummary summary = syncing::summarizeCopy(diary(), copies[0]);
    EXPECT_EQ(names(summary.onlyInCopy), (QList<QString>{QStringLiteral("2026年12月4日"), QStringLiteral("2026年12月5日"), QStringLiteral("2026年12月6日")}));
    EXPECT_EQ(names(summary.differing), QList<QString>{QStringLiteral("2026年12月2日")});
    EXPECT_EQ(names(summary.onlyInDiary), QList<QString>{QStringLiteral("2026年12月7日")});
    EXPECT_EQ(sync_text::copyNotice(summary),
              QStringLiteral("发现这本日记在另一台电脑上的副本（2026年12月7日 09:30）：3 篇只在副本里，1 篇两边不同。"));
}

TEST_F(Merge, OneSidedDaysAreTakenAndOfADayChangedOnBothTheLaterStaysTheOtherInAVersion)
{
    writeCommonPast();
    Computer here(diary(), kMorning.addDays(1));
    Computer there(otherDiary(), kMorning.addDays(2));
    here.save("2026年12月2日", "二，这里改的");
    here.save("2026年12月4日", "四");
    there.save("2026年12月2日", "二，那边后改的");
    there.save("2026年12月3日", "三，那边改的");
    there.save("2026年12月5日", "五");
    arrive();
    const QByteArray copyBytes = testing_support::readFile(copyPath());

    const syncing::MergeReport report = merge();
    EXPECT_TRUE(report.commonAncestor);
    EXPECT_EQ(names(report.taken), (QList<QString>{QStringLiteral("2026年12月3日"), QStringLiteral("2026年12月5日")}));
    ASSERT_EQ(report.bothChanged.size(), 1);
    EXPECT_EQ(gbk::decode(report.bothChanged[0].name), QStringLiteral("2026年12月2日"));
    EXPECT_EQ(report.bothChanged[0].keptIn, report.diaryVersion);

    const QMap<QString, QByteArray> merged = daysOf(diary());
    EXPECT_EQ(merged, (QMap<QString, QByteArray>{{QStringLiteral("2026年12月1日"), record("一")},
                                                 {QStringLiteral("2026年12月2日"), record("二，那边后改的")},
                                                 {QStringLiteral("2026年12月3日"), record("三，那边改的")},
                                                 {QStringLiteral("2026年12月4日"), record("四")},
                                                 {QStringLiteral("2026年12月5日"), record("五")}}));
    // The text set aside is in the version of the diary before the merge, which restore reads.
    EXPECT_EQ(daysOf(report.diaryVersion).value(QStringLiteral("2026年12月2日")), record("二，这里改的"));
    // The copy is a version now, byte for byte; nothing is left beside the diary.
    EXPECT_FALSE(QFile::exists(copyPath()));
    ASSERT_EQ(report.copyVersions.size(), 1);
    EXPECT_EQ(testing_support::readFile(report.copyVersions[0]), copyBytes);
    QStringList kept;
    for (const versions::Version &v : versions::list(diary()))
        kept.append(v.path);
    EXPECT_TRUE(kept.contains(report.diaryVersion) && kept.contains(report.copyVersions[0]));
    // A day taken keeps the moment it was written on the other computer.
    TArchiveReader mine, theirs;
    mine.SetZipName(diary());
    theirs.SetZipName(report.copyVersions[0]);
    mine.OpenArchive();
    theirs.OpenArchive();
    const auto stampOf = [](TArchiveReader &r, const char *day) {
        for (int i = 0; i < r.EntryCount(); ++i) {
            if (r.EntryNameBytes(i) == g(day))
                return r.Entry(i).stamp;
        }
        return quint32(0);
    };
    EXPECT_EQ(stampOf(mine, "2026年12月5日"), stampOf(theirs, "2026年12月5日"));

    const QString text = sync_text::mergeReportText(report);
    EXPECT_TRUE(text.contains(QStringLiteral("从副本取回了2篇日记：2026年12月3日、2026年12月5日。"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("1篇两边都改过，保留了后写的那份，另一份留在历史版本里：2026年12月2日。")));
}

TEST_F(Merge, ADayDeletedOnOneComputerAndUnchangedOnTheOtherStaysDeleted)
{
    writeCommonPast();
    Computer here(diary(), kMorning.addDays(1));
    Computer there(otherDiary(), kMorning.addDays(2));
    here.remove("2026年12月2日");
    there.remove("2026年12月3日");
    there.save("2026年12月4日", "四");
    arrive();
    const syncing::MergeReport report = merge();
    EXPECT_TRUE(report.commonAncestor);
    EXPECT_EQ(names(report.deletedThere), (QList<QString>{QStringLiteral("2026年12月2日"), QStringLiteral("2026年12月3日")}));
    EXPECT_EQ(daysOf(diary()).keys(), (QList<QString>{QStringLiteral("2026年12月1日"), QStringLiteral("2026年12月4日")}));
}

TEST_F(Merge, WithoutACommonPastADaysThatMayHaveBeenDeletedIsKeptAndNamed)
{
    writeCommonPast();
    Computer here(diary(), kMorning.addDays(1));
    Computer there(otherDiary(), kMorning.addDays(2));
    here.remove("2026年12月2日");
    there.remove("2026年12月3日");
    there.save("2026年12月4日", "四");
    arrive();
    // No versions kept here (as when they are not synchronised and were pruned).
    for (const versions::Version &v : versions::list(diary()))
        QFile::remove(v.path);
    const syncing::MergeReport report = merge();
    EXPECT_FALSE(report.commonAncestor);
    EXPECT_TRUE(report.deletedThere.isEmpty());
    EXPECT_EQ(names(report.keptUndecided), (QList<QString>{QStringLiteral("2026年12月2日"), QStringLiteral("2026年12月3日")}));
    EXPECT_EQ(names(report.taken), QList<QString>{QStringLiteral("2026年12月4日")});
    EXPECT_EQ(daysOf(diary()).size(), 4);
}

TEST_F(Merge, ADayChangedOnOneComputerAndDeletedOnTheOtherKeepsTheChange)
{
    writeCommonPast();
    Computer here(diary(), kMorning.addDays(1));
    Computer there(otherDiary(), kMorning.addDays(2));
    here.save("2026年12月2日", "二，改过");
    here.save("2026年12月4日", "四");
    there.remove("2026年12月2日");
    there.save("2026年12月5日", "五");
    arrive();
    const syncing::MergeReport report = merge();
    EXPECT_EQ(names(report.keptChanged), QList<QString>{QStringLiteral("2026年12月2日")});
    EXPECT_EQ(daysOf(diary()).value(QStringLiteral("2026年12月2日")), record("二，改过"));
}

TEST_F(Merge, TheLaterOfTwoComputersWritingAfterTheOtherDoesNotMakeItsVersionsACommonPast)
{
    // This computer writes on two days, keeping a version after the split on the second; the
    // other writes only later. That version holds this computer's new day, which the other
    // never had: it must not read as deleted there.
    writeCommonPast();
    Computer here(diary(), kMorning.addDays(1));
    here.save("2026年12月4日", "四");
    here.wait(24 * 3600);
    here.save("2026年12月5日", "五");
    Computer there(otherDiary(), kMorning.addDays(5));
    there.save("2026年12月6日", "六");
    arrive();
    const syncing::MergeReport report = merge();
    EXPECT_TRUE(report.deletedThere.isEmpty());
    EXPECT_EQ(daysOf(diary()).size(), 6);
}

TEST_F(Merge, TheSameCopyMergedAgainChangesNothing)
{
    writeCommonPast();
    Computer here(diary(), kMorning.addDays(1));
    Computer there(otherDiary(), kMorning.addDays(2));
    here.save("2026年12月2日", "二，后改的");
    here.remove("2026年12月1日");
    there.save("2026年12月2日", "二，先改的");
    there.save("2026年12月4日", "四");
    // Written first, yet in the copy: it loses to this computer's later change.
    Computer(otherDiary(), kMorning.addDays(1).addSecs(-3600)).save("2026年12月3日", "三，那边改的");
    arrive();
    const syncing::MergeReport first = merge();
    const QMap<QString, QByteArray> merged = daysOf(diary());
    // As if the merge had been stopped after the diary was replaced, before the copy moved.
    ASSERT_TRUE(QFile::copy(first.copyVersions[0], copyPath()));
    const syncing::MergeReport again = merge();
    EXPECT_EQ(daysOf(diary()), merged);
    EXPECT_TRUE(again.taken.isEmpty());
    EXPECT_TRUE(again.keptUndecided.isEmpty());
}

// ---- private diaries ----

// Every file under the folder, versions and drafts included, read for the text.
bool textOnDisk(const QString &folder, const QByteArray &text)
{
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (testing_support::readFile(it.next()).contains(text))
            return true;
    }
    return false;
}

TEST_F(Merge, APrivateCopyUnderAnotherPasswordMergesSealedAndKeepsTheHeaderLoggedInWith)
{
    const DiaryKey key = keyNumber(7);
    writeCommonPast(&key);
    Computer here(diary(), kMorning.addDays(1), &key);
    here.save("2026年12月4日", "四");
    Computer there(otherDiary(), kMorning.addDays(2), &key);
    there.save("2026年12月5日", "五，那边的秘密");
    {
        TArchiveWriter w;
        w.SetZipName(otherDiary());
        const PrivateHeader header = PrivateHeader::parse(commentOf(otherDiary()));
        diary::setPrivateHeader(w, header.withPassword(key, QStringLiteral("新密码"), private_format::kMinimumKdf));
    }
    arrive();
    const QByteArray diaryHeader = commentOf(diary());
    const QByteArray copyHeader = commentOf(copyPath());
    ASSERT_NE(diaryHeader, copyHeader);

    // The window logs in to the diary: its header stays, the copy's password is named.
    const syncing::MergeReport report = merge(&key);
    EXPECT_EQ(commentOf(diary()), diaryHeader);
    EXPECT_EQ(report.commentDropped, QStringList{copyPath()});
    EXPECT_TRUE(sync_text::mergeReportText(report).contains(
        QStringLiteral("“%1”所用的密码已经打不开合并后的日记了").arg(kCopyName)));
    const QMap<QString, QByteArray> merged = daysOf(diary(), &key);
    EXPECT_EQ(merged.size(), 5);
    EXPECT_EQ(merged.value(QStringLiteral("2026年12月5日")), record("五，那边的秘密"));
    // Carried as stored: the sealed bytes are the copy's.
    const auto stored = [](const QString &path, const char *day) {
        TArchiveReader r;
        r.SetZipName(path);
        r.OpenArchive();
        QByteArray data;
        for (int i = 0; i < r.EntryCount(); ++i) {
            if (r.EntryNameBytes(i) == g(day))
                r.ExtractStoredData(i, data);
        }
        return data;
    };
    EXPECT_EQ(stored(diary(), "2026年12月5日"), stored(report.copyVersions[0], "2026年12月5日"));
    EXPECT_FALSE(textOnDisk(m_here.path(), g("那边的秘密")));
}

TEST_F(Merge, ACopyInTheOldFormatOfADiaryMadePrivateHereIsSealedAsItMerges)
{
    writeCommonPast();
    const DiaryKey key = keyNumber(7);
    {
        TArchiveWriter w;
        w.SetZipName(diary());
        diary::protectDiary(w, PrivateHeader::create(key, kPassword, kRecoveryCode, private_format::kMinimumKdf), key);
    }
    Computer(otherDiary(), kMorning.addDays(1)).save("2026年12月4日", "四，那边没加密");
    arrive();
    merge(&key);
    EXPECT_EQ(daysOf(diary(), &key).value(QStringLiteral("2026年12月4日")), record("四，那边没加密"));
    TArchiveReader reader;
    reader.SetZipName(diary());
    reader.OpenArchive();
    for (int i = 0; i < reader.EntryCount(); ++i)
        EXPECT_EQ(reader.Entry(i).method, private_format::kPrivateMethod);
}

TEST_F(Merge, TheToolsPasswordChoosesTheHeaderItOpens)
{
    const DiaryKey key = keyNumber(7);
    writeCommonPast(&key);
    {
        TArchiveWriter w;
        w.SetZipName(otherDiary());
        const PrivateHeader header = PrivateHeader::parse(commentOf(otherDiary()));
        diary::setPrivateHeader(w, header.withPassword(key, QStringLiteral("新密码"), private_format::kMinimumKdf));
    }
    arrive();
    const QList<syncing::ConflictCopy> copies = syncing::findDiaryCopies(diary());
    const std::optional<syncing::Unlocked> unlocked = syncing::unlockAny(diary(), copies, QStringLiteral("新密码"));
    ASSERT_TRUE(unlocked);
    EXPECT_EQ(unlocked->from, copyPath());
    EXPECT_TRUE(unlocked->key.sameAs(key));
    const QByteArray copyHeader = commentOf(copyPath());
    const syncing::MergeReport report = merge(&unlocked->key, unlocked->comment);
    EXPECT_EQ(commentOf(diary()), copyHeader);
    EXPECT_EQ(report.commentDropped, QStringList{diary()});
    EXPECT_FALSE(syncing::unlockAny(diary(), {}, QStringLiteral("wrong")));
}

TEST_F(Merge, ACopyThatCannotBeMergedWithoutLosingItsPrivacyIsRefusedAndLeftAsItIs)
{
    struct Case {
        const char *what;
        bool diaryPrivate;
        bool copyPrivate;
    };
    const DiaryKey key = keyNumber(7);
    const DiaryKey otherKey = keyNumber(9);
    for (const Case &c : {Case{"made private separately, another key", true, true},
                          Case{"private there, not here", false, true}}) {
        SCOPED_TRACE(c.what);
        QFile::remove(diary());
        QFile::remove(otherDiary());
        createDiary(diary(), c.diaryPrivate ? &key : nullptr);
        createDiary(otherDiary(), c.copyPrivate ? &otherKey : nullptr);
        Computer(otherDiary(), kMorning, c.copyPrivate ? &otherKey : nullptr).save("2026年12月5日", "五");
        arrive();
        const QByteArray before = testing_support::readFile(diary());
        try {
            merge(c.diaryPrivate ? &key : nullptr);
            ADD_FAILURE() << "merged";
        } catch (const syncing::EMergeRefused &e) {
            EXPECT_TRUE(e.message().contains(diary()) && e.message().contains(copyPath())) << e.what();
        }
        EXPECT_EQ(testing_support::readFile(diary()), before);
        EXPECT_TRUE(QFile::exists(copyPath()));
    }
}

} // namespace

namespace {

// A sync program puts the other computer's file in place of the diary (a new file renamed over
// it, with that computer's modification time) while the window holds the diary's directory.
TEST_F(Merge, ASaveAfterTheDiaryArrivedFromTheOtherComputerKeepsWhatArrived)
{
    writeCommonPast();
    TArchiveWriter window;
    window.SetZipName(diary());
    window.SetPassword(diary::kArchivePassword);
    window.OpenArchive();
    ASSERT_EQ(window.EntryCount(), 3);
    Computer(otherDiary(), kMorning.addDays(1)).save("2026年12月4日", "四，那边写的");
    const QString arriving = m_here.filePath(QStringLiteral(".syncthing.alice.tmp"));
    syncCopy(otherDiary(), arriving);
    ASSERT_EQ(::rename(QFile::encodeName(arriving).constData(), QFile::encodeName(diary()).constData()), 0);

    ASSERT_EQ(diary::storeEntry(window, g("2026年12月5日"), record("五，这里写的")), diary::EntryProblem::None);
    EXPECT_EQ(daysOf(diary()).keys(), (QList<QString>{QStringLiteral("2026年12月1日"), QStringLiteral("2026年12月2日"),
                                                      QStringLiteral("2026年12月3日"), QStringLiteral("2026年12月4日"),
                                                      QStringLiteral("2026年12月5日")}));
}

} // namespace

namespace {

TEST_F(Merge, TheWindowCanTellThatTheDiaryChangedOnDiskSinceItLastReadOrWroteIt)
{
    writeCommonPast();
    TArchiveWriter window;
    window.SetZipName(diary());
    EXPECT_FALSE(syncing::changedOnDisk(window)) << "nothing read yet";
    window.OpenArchive();
    EXPECT_FALSE(syncing::changedOnDisk(window));
    ASSERT_EQ(diary::storeEntry(window, g("2026年12月5日"), record("五")), diary::EntryProblem::None);
    EXPECT_FALSE(syncing::changedOnDisk(window)) << "its own save";
    syncCopy(otherDiary(), m_here.filePath(QStringLiteral(".arriving")));
    ASSERT_EQ(::rename(QFile::encodeName(m_here.filePath(QStringLiteral(".arriving"))).constData(),
                       QFile::encodeName(diary()).constData()),
              0);
    EXPECT_TRUE(syncing::changedOnDisk(window));
    EXPECT_FALSE(syncing::identityOnDisk(diary()) == window.HeldIdentity());
    window.OpenArchive();
    EXPECT_FALSE(syncing::changedOnDisk(window));
    EXPECT_TRUE(syncing::identityOnDisk(diary()) == window.HeldIdentity());
    EXPECT_TRUE(syncing::identityOnDisk(m_here.filePath(QStringLiteral("none"))) == FileIdentity{});
}

} // namespace
