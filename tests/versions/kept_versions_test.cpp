// Earlier versions of an archive, kept by the writer's real rewrites under a simulated clock:
// how often a version is kept, what it holds, how the rotation thins them out over weeks.

#include "archive/archive_fixture.h"
#include "archive/crash_operations.h"
#include "drafts/drafts.h"
#include "platform/host.h"
#include "versions/kept_versions.h"

#include <QDir>

#include <iostream>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>

using namespace archive_testing;

namespace {

class KeptVersions : public ArchiveTest
{
protected:
    void SetUp() override
    {
        m_now = QDateTime(QDate(2003, 9, 1), QTime(12, 0)).toUTC();
        versions::setClock([this] { return m_now; });
        crash_ops::run(QStringLiteral("create"), path());
    }
    void TearDown() override { versions::setClock({}); }

    // One save of the diary, as the window makes it, at the simulated moment.
    void save(const char *entry)
    {
        auto w = crash_ops::writer(path());
        w->SetKeepVersions(true);
        crash_ops::add(*w, QByteArray(entry), "0\r\n0\r\ntext");
    }

    QList<QDate> keptDays() const
    {
        QList<QDate> days;
        for (const versions::Version &v : versions::list(path()))
            days.append(v.taken.toLocalTime().date());
        return days;
    }

    QDateTime m_now;
};

} // namespace

TEST_F(KeptVersions, ADayOfSavesKeepsOneVersionTheArchiveAsItWasBeforeTheFirst)
{
    const QByteArray morning = testing_support::readFile(path());
    struct stat before = {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &before), 0);
    for (int hour = 0; hour < 12; ++hour) {
        save("a");
        m_now = m_now.addSecs(3600);
    }
    const QList<versions::Version> kept = versions::list(path());
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(testing_support::readFile(kept[0].path), morning);
    // Not copied: the very file the first save replaced.
    struct stat version = {};
    ASSERT_EQ(::stat(QFile::encodeName(kept[0].path).constData(), &version), 0);
    EXPECT_EQ(version.st_ino, before.st_ino);
    const QFileInfo folder(versions::folderOf(path()));
    EXPECT_EQ(folder.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                       | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
              QFile::Permissions());

    // A day after the version was kept, the next save keeps another.
    m_now = kept[0].taken.addDays(1);
    save("b");
    EXPECT_EQ(versions::list(path()).size(), 2);
}

TEST_F(KeptVersions, ADeleteAlwaysKeepsTheArchiveBeforeIt)
{
    save("a");
    save("b");
    ASSERT_EQ(versions::list(path()).size(), 1);
    const QByteArray beforeDelete = testing_support::readFile(path());
    m_now = m_now.addSecs(60);
    auto w = crash_ops::writer(path());
    w->SetKeepVersions(true);
    w->OpenArchive();
    w->SelectEntry(0, true);
    w->DeleteSelected();
    // Within the day of the last version, which stays: each version of the day may hold words
    // no later one does.
    const QList<versions::Version> kept = versions::list(path());
    ASSERT_EQ(kept.size(), 2);
    EXPECT_EQ(testing_support::readFile(kept[0].path), beforeDelete);
}

TEST_F(KeptVersions, SixtyDaysOfSavesKeepSevenDailyAndEightWeeklyVersions)
{
    const QDate first = m_now.toLocalTime().date();
    for (int day = 0; day < 60; ++day) {
        m_now = QDateTime(first.addDays(day), QTime(12, 0)).toUTC();
        save("a");
    }
    // The newest of each of the last seven days, then of each of the eight weeks before.
    QList<QDate> expected;
    const QDate last = first.addDays(59);
    for (int d = 0; d < versions::kDailyVersions; ++d)
        expected.append(last.addDays(-d));
    for (QDate day = last.addDays(-versions::kDailyVersions); expected.size() < 15; day = day.addDays(-1)) {
        const QDate monday = day.addDays(1 - day.dayOfWeek());
        bool weekHasOne = false;
        for (qsizetype i = versions::kDailyVersions; i < expected.size(); ++i)
            weekHasOne = weekHasOne || expected[i].addDays(1 - expected[i].dayOfWeek()) == monday;
        if (!weekHasOne)
            expected.append(day);
    }
    EXPECT_EQ(keptDays(), expected);
    EXPECT_EQ(QDir(versions::folderOf(path())).entryList(QDir::Files | QDir::Hidden).size(), 15);
}

TEST_F(KeptVersions, AFileMovedInIsAVersionOfThatMoment)
{
    save("a");
    const QString copy = folder() + QStringLiteral("/张三.sync-conflict-20030901-120000-ABCDEFG");
    testing_support::writeFile(copy, "the other computer's diary");
    const QDateTime taken = versions::list(path()).first().taken;
    const QString kept = versions::keepFile(path(), copy, taken);
    EXPECT_FALSE(QFile::exists(copy));
    EXPECT_EQ(testing_support::readFile(kept), QByteArray("the other computer's diary"));
    const QList<versions::Version> all = versions::list(path());
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[0].taken, all[1].taken);
    // A name taken is never replaced; a file that cannot move stays where it was.
    testing_support::writeFile(copy, "again");
    EXPECT_THROW(versions::keepFile(path(), copy + QStringLiteral("-gone"), taken), versions::EVersionError);
    EXPECT_TRUE(QFile::exists(copy));
}

// In a diary folder a sync program shares, another computer's versions arrive too: this one
// neither lists nor rotates them. Versions named as they were first named are this computer's.
TEST_F(KeptVersions, AnotherComputersVersionsAreItsOwn)
{
    host::setTagForTesting(QStringLiteral("0therpc0"));
    save("a");
    const QString theirs = versions::list(path()).first().path;
    host::setTagForTesting({});
    EXPECT_TRUE(versions::list(path()).isEmpty());
    const QString firstNamed = versions::folderOf(path()) + QStringLiteral("/20030106-120000-000");
    testing_support::writeFile(firstNamed, "an earlier version");
    // Past the seven days and eight weeks that rotation keeps.
    for (int day = 0; day < 70; ++day) {
        m_now = m_now.addDays(1);
        save("b");
    }
    const QList<versions::Version> mine = versions::list(path());
    EXPECT_TRUE(QFileInfo(mine.first().path).fileName().endsWith(u'~' + host::tag()));
    EXPECT_TRUE(QFile::exists(theirs)) << "rotation here never removes another computer's version";
    EXPECT_FALSE(QFile::exists(firstNamed)) << "an old version named the first way is rotated as this computer's";
}

TEST(KeptVersionsRotation, TheLatestDayKeepsItsNewestSixteenAndEveryOtherDayItsNewest)
{
    const QDateTime noon(QDate(2003, 9, 26), QTime(12, 0));
    struct Row {
        const char *what;
        QList<QDateTime> taken;
        QList<int> removes;
    };
    QList<QDateTime> eighteen;
    for (int i = 0; i < 18; ++i)
        eighteen.append(noon.addSecs(-60 * i));
    const Row rows[] = {
        {"none", {}, {}},
        {"one", {noon}, {}},
        {"three on the latest day", {noon.addSecs(60), noon.addSecs(30), noon}, {}},
        {"eighteen on the latest day", eighteen, {16, 17}},
        {"three on the day before", {noon, noon.addDays(-1), noon.addDays(-1).addSecs(-30), noon.addDays(-1).addSecs(-60)}, {2, 3}},
        // One operation's versions (a merge: the diary and its copies) stay or go together.
        {"a merge's three the day before", {noon, noon.addDays(-1), noon.addDays(-1).addSecs(-30), noon.addDays(-1).addSecs(-30)}, {2, 3}},
        {"a merge's two the day before", {noon, noon.addDays(-1), noon.addDays(-1)}, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(versions::rotationRemoves(row.taken), row.removes);
    }
    // Nine consecutive days: seven daily, and of the two older days only the week's newest.
    QList<QDateTime> nine;
    for (int d = 0; d < 9; ++d)
        nine.append(noon.addDays(-d));
    const QList<int> removed = versions::rotationRemoves(nine);
    const QDate day7 = nine[7].date(), day8 = nine[8].date();
    const bool sameWeek = day7.addDays(1 - day7.dayOfWeek()) == day8.addDays(1 - day8.dayOfWeek());
    EXPECT_EQ(removed, sameWeek ? QList<int>{8} : QList<int>{});
}

// Whoever may write the diary's folder may plant ".versions" or ".drafts" (or the diary's folder
// inside) as a link to a folder of someone else's, or make it another user's folder. A save that
// keeps a version, and a draft, then refuse with a clear error; the folder the link leads to keeps
// its permissions, gains no folder and loses none of its dot-files.
TEST_F(KeptVersions, APlantedLinkOrAnotherUsersFolderIsRefusedAndLeftAlone)
{
    const QString victim = folder() + QStringLiteral("/victim");
    const auto plantVictim = [&] {
        QDir(victim).removeRecursively();
        QDir().mkpath(victim);
        ::chmod(QFile::encodeName(victim).constData(), 0755);
        testing_support::writeFile(victim + QStringLiteral("/.profile"), "keep me");
    };
    const QString diaryName = QFileInfo(path()).fileName();
    struct Case {
        const char *what;
        QString kind;       // ".versions" or ".drafts"
        bool inner;         // the link is the diary's own folder inside
        bool foreign;       // another user's folder instead of a link
    };
    const Case cases[] = {
        {".versions is a link", QStringLiteral(".versions"), false, false},
        {".versions/<diary> is a link", QStringLiteral(".versions"), true, false},
        {".versions is another user's", QStringLiteral(".versions"), false, true},
        {".drafts is a link", QStringLiteral(".drafts"), false, false},
        {".drafts/<diary> is a link", QStringLiteral(".drafts"), true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.foreign && ::geteuid() != 0) {
            std::cerr << "[ SKIPPED  ] " << c.what << ": giving a folder to another account needs root\n";
            continue;
        }
        plantVictim();
        const QString top = folder() + u'/' + c.kind;
        QDir(top).removeRecursively();
        QFile::remove(top);
        const QString planted = c.inner ? top + u'/' + diaryName : top;
        if (c.inner)
            QDir().mkdir(top);
        if (c.foreign) {
            QDir().mkdir(planted);
            ASSERT_EQ(::chown(QFile::encodeName(planted).constData(), 65534, 65534), 0);
        } else {
            ASSERT_TRUE(QFile::link(victim, planted));
        }
        const QByteArray diary = testing_support::readFile(path());
        QString error;
        if (c.kind == QLatin1String(".versions")) {
            error = errorOf([&] { save("a"); });
            EXPECT_EQ(testing_support::readFile(path()), diary) << "nothing saved without its version";
        } else {
            error = errorOf([&] { drafts::write(path(), "a", "0\r\n0\r\ndraft", nullptr); });
        }
        const QString refused = c.kind == QLatin1String(".versions") ? QStringLiteral("cannot be used")
                                                                     : QStringLiteral("无法使用");
        EXPECT_TRUE(error.contains(refused)) << error.toStdString();
        struct stat st = {};
        ::stat(QFile::encodeName(victim).constData(), &st);
        EXPECT_EQ(st.st_mode & 0777, 0755u);
        EXPECT_EQ(testing_support::entriesIn(victim, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral(".profile")});
        EXPECT_TRUE(versions::list(path()).isEmpty());
        EXPECT_TRUE(drafts::pending(path(), nullptr).isEmpty());
        QDir(top).removeRecursively();
        QFile::remove(top);
    }
}
