// Restores from kept versions: each keeps the diary as it was first, reads the version it
// restores from in one rewrite, keeps the diary's password, and never mixes the two formats.

#include "diary_fixture.h"

#include "crypto/private_format.h"
#include "diary/entry_restore.h"
#include "diary/messages.h"
#include "versions/kept_versions.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace diary_testing;

namespace {

const QString kDay = QStringLiteral("2003年9月26日");

class Restore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeDiary(path(), {{kDay, ownRecord(0, 0, QStringLiteral("原来的"))}});
        m_writer.SetZipName(path());
        m_writer.SetKeepVersionAlways(true);
    }
    QString path() const { return m_dir.filePath(QStringLiteral("张三")); }
    QString text(const QString &day = kDay)
    {
        TArchiveReader reader;
        reader.SetZipName(path());
        return diary::listRowOf(g(day), diary::readEntry(reader, g(day))).summary;
    }
    QString commentOf(const QString &file)
    {
        TArchiveReader reader;
        reader.SetZipName(file);
        reader.OpenArchive();
        return reader.ArchiveComment();
    }

    QTemporaryDir m_dir;
    TArchiveWriter m_writer;
};

} // namespace

// Several entries come back in one rewrite, so the one version it keeps (marked as taken before a
// restore) holds everything they replaced; an entry the version lacks is named, not an error.
TEST_F(Restore, EntriesComeBackInOneRewriteThatKeepsTheDiaryAsItWas)
{
    diary::storeEntry(m_writer, g(QStringLiteral("2003年9月27日")), ownRecord(1, 1, QStringLiteral("二")));
    const QString version = versions::list(path()).first().path;
    diary::storeEntry(m_writer, g(kDay), ownRecord(0, 0, QStringLiteral("改坏了")));
    diary::storeEntry(m_writer, g(QStringLiteral("2003年9月27日")), ownRecord(1, 1, QStringLiteral("也改坏了")));
    const QByteArray before = testing_support::readFile(path());
    const int kept = int(versions::list(path()).size());

    const diary::RestoreOutcome outcome = diary::restoreEntries(
        version, m_writer, {g(kDay), g(QStringLiteral("2003年9月27日")), g(QStringLiteral("2003年9月28日"))});
    EXPECT_EQ(outcome.restored, (QList<QByteArray>{g(kDay)}));
    ASSERT_EQ(outcome.refused.size(), 2);
    EXPECT_EQ(outcome.refused[1], (QPair<QByteArray, diary::EntryProblem>{g(QStringLiteral("2003年9月28日")), diary::EntryProblem::Missing}));
    EXPECT_EQ(text(), QStringLiteral("原来的"));
    const QList<versions::Version> now = versions::list(path());
    ASSERT_EQ(now.size(), kept + 1);
    EXPECT_TRUE(now.first().beforeRestore);
    EXPECT_EQ(testing_support::readFile(now.first().path), before);

    // Undone by putting that version back whole.
    diary::restoreWhole(now.first().path, m_writer);
    EXPECT_EQ(text(), QStringLiteral("改坏了"));
    EXPECT_EQ(text(QStringLiteral("2003年9月27日")), QStringLiteral("也改坏了"));
}

// A whole restore puts the version's entries back byte for byte, but the diary's login stays
// the one it has now: an earlier password never comes back with an earlier version.
TEST_F(Restore, AWholeRestoreKeepsTheCurrentPassword)
{
    diary::storeEntry(m_writer, g(kDay), ownRecord(0, 0, QStringLiteral("改过")));
    const QString version = versions::list(path()).first().path;
    m_writer.OpenArchive();
    m_writer.SetArchiveComment(QStringLiteral("53newpassword"));
    m_writer.WriteArchive();

    diary::restoreWhole(version, m_writer);
    EXPECT_EQ(text(), QStringLiteral("原来的"));
    EXPECT_EQ(commentOf(path()), QStringLiteral("53newpassword"));
    QByteArray expected = testing_support::readFile(version);
    expected.replace("53abcdefghijk", "53newpassword");
    EXPECT_EQ(testing_support::readFile(path()), expected) << "the version's bytes, the comment apart";
}

// A diary too damaged to read is what a whole restore is for: it becomes the version, login and
// all.
TEST_F(Restore, ADamagedDiaryIsRestoredWholeFromAVersion)
{
    diary::storeEntry(m_writer, g(kDay), ownRecord(0, 0, QStringLiteral("改过")));
    const QString version = versions::list(path()).first().path;
    testing_support::writeFile(path(), QByteArray("PK\x05\x06 broken beyond reading").repeated(3));
    TArchiveWriter fresh;
    fresh.SetZipName(path());
    diary::restoreWhole(version, fresh);
    EXPECT_EQ(testing_support::readFile(path()), testing_support::readFile(version));
    EXPECT_EQ(text(), QStringLiteral("原来的"));
}

// A version of the other format is never put back: it would store a private diary's entries
// unprotected, or leave a private diary's entries without their header.
TEST_F(Restore, AVersionOfTheOtherFormatIsRefusedAndNothingChanges)
{
    const QString oldFormat = m_dir.filePath(QStringLiteral("old-format copy"));
    QFile::copy(path(), oldFormat);
    const DiaryKey key = DiaryKey::generate();
    diary::protectDiary(m_writer, PrivateHeader::create(key, QStringLiteral("pw"),
                                                        QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89PQ"),
                                                        private_format::kMinimumKdf),
                        key);
    QDir().mkpath(versions::folderOf(path()));
    const QString version = versions::folderOf(path()) + QStringLiteral("/20030926-120000-000");
    QFile::copy(oldFormat, version);
    const QByteArray sealed = testing_support::readFile(path());

    try {
        diary::restoreWhole(version, m_writer, &key);
        ADD_FAILURE() << "restored";
    } catch (const EDiaryFormat &e) {
        EXPECT_EQ(e.message(), diary_text::versionOfOtherFormat());
    }
    EXPECT_EQ(testing_support::readFile(path()), sealed);
}
