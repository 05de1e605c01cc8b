// Crash safety of the archive writer. Each change the diary makes (save a new day, save over a
// day, delete a day, change the password token, create a new diary) is stopped at every step of
// its file work in a child program; a full disk fails each of its writes in turn; two programs
// add entries to one archive at the same moment. None of it may lose or half-write a diary.

#include "archive_fixture.h"
#include "crash_operations.h"

#include "platform/files.h"
#include "versions/kept_versions.h"

#include <QDir>
#include <QFileInfo>

#include <QFile>
#include <QProcess>

#include <optional>

using namespace archive_testing;

namespace {

const QStringList kOperations = {QStringLiteral("save"), QStringLiteral("replace"),
                                 QStringLiteral("delete"), QStringLiteral("comment"),
                                 QStringLiteral("create")};

QString childProgram() { return QStringLiteral(QB_ARCHIVE_CHILD); }

// The archive's bytes, or nothing when there is no file.
using State = std::optional<QByteArray>;

class CrashSafety : public ArchiveTest
{
protected:
    // The diary every operation starts from: a token and three days, one of them large and
    // incompressible, so that a rewrite goes to disk in several pieces.
    static void SetUpTestSuite()
    {
        QTemporaryDir dir;
        const QString archive = dir.filePath(QStringLiteral("old"));
        crash_ops::run(QStringLiteral("create"), archive);
        crash_ops::add(*crash_ops::writer(archive), crash_ops::largeEntry(), randomBytes(3300000, 9));
        crash_ops::add(*crash_ops::writer(archive), crash_ops::deletedEntry(), "1\r\n3\r\nrain");
        crash_ops::add(*crash_ops::writer(archive), crash_ops::changedEntry(), "0\r\n0\r\nsun");
        s_old = new QByteArray(testing_support::readFile(archive));
    }
    static void TearDownTestSuite()
    {
        delete s_old;
        s_old = nullptr;
    }
    void TearDown() override { files::FileFaults::disarm(); }

    // What the operation starts from: the diary above, or no file for "create".
    State before(const QString &operation) const
    {
        return operation == QLatin1String("create") ? State() : State(*s_old);
    }
    void restore(const State &state)
    {
        QFile::remove(path());
        if (state)
            testing_support::writeFile(path(), *state);
    }
    State state() const
    {
        return QFile::exists(path()) ? State(testing_support::readFile(path())) : State();
    }
    QStringList leftovers() const
    {
        QStringList files = folderFiles();
        files.removeAll(QFileInfo(path()).fileName());
        return files;
    }

    // Runs the operation in the child; the number of file steps it took, or -1 when it did not
    // complete.
    int runChild(const QString &operation, const QString &fault = QStringLiteral("none"))
    {
        const testing_support::RunResult r = testing_support::run(childProgram(), {operation, path(), fault});
        if (r.exitCode != 0 || !r.out.startsWith("done "))
            return -1;
        return r.out.mid(5).trimmed().toInt();
    }

    // The archive opens, and every entry extracts with the right password and CRC.
    void expectReadable()
    {
        TArchiveReader reader;
        reader.SetZipName(path());
        reader.SetPassword(fixedPassword());
        ASSERT_NO_THROW(reader.OpenArchive());
        ASSERT_TRUE(reader.HasDirectory());
        for (int i = 0; i < reader.EntryCount(); ++i) {
            QByteArray data;
            EXPECT_TRUE(reader.ExtractEntry(i, data)) << "entry " << i;
        }
    }

    static QByteArray *s_old;
};

QByteArray *CrashSafety::s_old = nullptr;

} // namespace

TEST_F(CrashSafety, AStopAtAnyStepLeavesTheOldOrTheNewArchiveAndTheNextChangeClearsUp)
{
    for (const QString &operation : kOperations) {
        SCOPED_TRACE(operation.toStdString());
        const State old = before(operation);
        restore(old);
        const int steps = runChild(operation);
        ASSERT_GE(steps, 4) << "every rewrite writes, syncs, renames and syncs the folder";
        const State changed = state();
        ASSERT_TRUE(changed && changed != old);

        for (int k = 1; k <= steps; ++k) {
            SCOPED_TRACE(k);
            restore(old);
            EXPECT_EQ(runChild(operation, QStringLiteral("kill:%1").arg(k)), -1) << "the child was stopped";

            // Only the last step, the folder sync, comes after the rename.
            const bool renamed = k == steps;
            EXPECT_EQ(state(), renamed ? changed : old);
            EXPECT_EQ(leftovers().isEmpty(), renamed) << "a stopped rewrite leaves its temporary file";
            if (state())
                expectReadable();

            // The next change of that archive, by any program, removes the leftover.
            crash_ops::run(QStringLiteral("add"), path(), "next");
            EXPECT_EQ(leftovers(), QStringList());
            expectReadable();
        }
    }
}

// With versions kept, the replaced archive is linked into the versions folder just before the
// rename. A stop at any step leaves the old or the new archive, and in the versions folder
// nothing or one whole version, the old archive byte for byte; the next change clears up.
TEST_F(CrashSafety, AStopAtAnyStepOfASaveWithVersionsLeavesWholeVersionsOnly)
{
    const QString versionsFolder = versions::folderOf(path());
    const auto keptVersions = [&] {
        QList<QByteArray> kept;
        for (const versions::Version &v : versions::list(path()))
            kept.append(testing_support::readFile(v.path));
        return kept;
    };
    for (const QString &operation : {QStringLiteral("save"), QStringLiteral("replace"), QStringLiteral("delete"),
                                     QStringLiteral("batch")}) {
        SCOPED_TRACE(operation.toStdString());
        const QString withVersions = QStringLiteral("versions:") + operation;
        const State old = before(operation);
        restore(old);
        QDir(versionsFolder).removeRecursively();
        const int steps = runChild(withVersions);
        ASSERT_GE(steps, 5) << "the link is a step of its own";
        const State changed = state();
        ASSERT_EQ(keptVersions(), QList<QByteArray>{*old});
        EXPECT_EQ(QFileInfo(versionsFolder).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);

        bool linked = false;
        for (int k = 1; k <= steps; ++k) {
            SCOPED_TRACE(k);
            restore(old);
            QDir(versionsFolder).removeRecursively();
            EXPECT_EQ(runChild(withVersions, QStringLiteral("kill:%1").arg(k)), -1);
            const bool renamed = k == steps;
            EXPECT_EQ(state(), renamed ? changed : old);
            const QList<QByteArray> kept = keptVersions();
            // Once the link was made it stays; before, there is none.
            ASSERT_LE(kept.size(), 1);
            EXPECT_TRUE(kept.isEmpty() || kept[0] == *old);
            EXPECT_TRUE(!linked || kept.size() == 1);
            linked = linked || kept.size() == 1;
            EXPECT_EQ(testing_support::entriesIn(versionsFolder, QDir::Files | QDir::Hidden | QDir::System).size(),
                      kept.size());

            crash_ops::run(QStringLiteral("versions:add"), path(), "next");
            EXPECT_EQ(leftovers(), QStringList());
            expectReadable();
        }
        EXPECT_TRUE(linked);
    }
}

// A diary kept in another folder and reached through a link: the replacement happens beside the
// real file, so a stop at any step leaves the link in place, pointing at the old or the new diary,
// and the temporary file (to be cleared by the next change) in the real file's folder.
TEST_F(CrashSafety, AStopAtAnyStepOfASaveThroughALinkKeepsTheLink)
{
    const QString synced = folder() + QLatin1String("/synced");
    QDir().mkdir(synced);
    const QString real = synced + QLatin1String("/diary");
    const QString link = folder() + QLatin1String("/linked");
    ASSERT_TRUE(QFile::link(QStringLiteral("synced/diary"), link));
    auto leftoversBeside = [&] {
        QStringList files = testing_support::entriesIn(synced, QDir::Files | QDir::Hidden | QDir::System);
        files.removeAll(QStringLiteral("diary"));
        return files;
    };
    auto runOnLink = [&](const QString &fault) {
        return testing_support::run(childProgram(), {QStringLiteral("save"), link, fault}).exitCode;
    };

    testing_support::writeFile(real, *s_old);
    ASSERT_EQ(runOnLink(QStringLiteral("none")), 0);
    const QByteArray changed = testing_support::readFile(real);
    ASSERT_NE(changed, *s_old);
    for (int k = 1;; ++k) {
        SCOPED_TRACE(k);
        testing_support::writeFile(real, *s_old);
        if (runOnLink(QStringLiteral("kill:%1").arg(k)) == 0)
            break;   // past the last step: the save completed
        EXPECT_TRUE(QFileInfo(link).isSymLink());
        const QByteArray now = testing_support::readFile(real);
        EXPECT_TRUE(now == *s_old || now == changed);
        EXPECT_EQ(leftoversBeside().isEmpty(), now == changed);
        EXPECT_EQ(testing_support::entriesIn(folder(), QDir::Files | QDir::Hidden | QDir::System),
                  QStringList{QStringLiteral("linked")});
        crash_ops::run(QStringLiteral("add"), link, "next");
        EXPECT_EQ(leftoversBeside(), QStringList());
        EXPECT_TRUE(QFileInfo(link).isSymLink());
    }
}

TEST_F(CrashSafety, AFullDiskAtAnyWriteLeavesTheArchiveAsItWasAndNoTemporaryFile)
{
    for (const QString &operation : kOperations) {
        SCOPED_TRACE(operation.toStdString());
        const State old = before(operation);
        restore(old);
        files::FileFaults::arm(files::FileFaults::Off, 0);
        crash_ops::run(operation, path());
        const int steps = files::FileFaults::stepsTaken();
        const State changed = state();

        int refused = 0;
        for (int k = 1; k <= steps; ++k) {
            SCOPED_TRACE(k);
            restore(old);
            files::FileFaults::arm(files::FileFaults::NoSpaceAt, k);
            const QString error = errorOf([&] { crash_ops::run(operation, path()); });
            files::FileFaults::disarm();
            if (error.isEmpty()) {
                // Syncs and renames cannot run out of room.
                EXPECT_EQ(state(), changed);
                continue;
            }
            ++refused;
            EXPECT_EQ(error, QStringLiteral("Not enough room to write archive"));
            EXPECT_EQ(state(), old);
            EXPECT_EQ(leftovers(), QStringList());
        }
        // The large day alone takes several writes.
        EXPECT_GE(refused, operation == QLatin1String("create") ? 1 : 3);
    }
}

TEST_F(CrashSafety, TwoProgramsAddingAtTheSameMomentLoseNoEntry)
{
    restore(*s_old);
    constexpr int kRounds = 50;
    QList<QByteArray> expected = names(path());
    for (int round = 0; round < kRounds; ++round) {
        QProcess first, second;
        const QString a = QStringLiteral("first %1").arg(round);
        const QString b = QStringLiteral("second %1").arg(round);
        first.start(childProgram(), {QStringLiteral("add"), path(), QStringLiteral("none"), a});
        second.start(childProgram(), {QStringLiteral("add"), path(), QStringLiteral("none"), b});
        ASSERT_TRUE(first.waitForFinished(120000) && second.waitForFinished(120000));
        ASSERT_EQ(first.exitCode(), 0) << first.readAllStandardOutput().constData();
        ASSERT_EQ(second.exitCode(), 0) << second.readAllStandardOutput().constData();
        expected << a.toLatin1() << b.toLatin1();
    }

    QList<QByteArray> got = names(path());
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.OpenArchive();
    EXPECT_EQ(reader.ArchiveCommentBytes(), crash_ops::kToken);
    expectReadable();
    EXPECT_EQ(leftovers(), QStringList());
}
