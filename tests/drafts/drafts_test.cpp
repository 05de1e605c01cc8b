#include "drafts/drafts.h"

#include "platform/files.h"
#include "platform/gbk.h"
#include "platform/host.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kWords = "\xbd\xf1\xcc\xec\xcf\xc2\xd3\xea";            // 今天下雨 in GBK
const QString kWordsText = u"今天下雨"_s;
const QByteArray kRecord = QByteArray("{\\rtf1\\ansi 0\\par 3\\par ") + kWords + " secret-word\\par}";
const QByteArray kName = gbk::encode(u"2003年9月26日"_s);
const QDateTime kWritten = QDateTime(QDate(2003, 9, 26), QTime(21, 30), Qt::UTC);

mode_t modeOf(const QString &path)
{
    struct stat st = {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

class Drafts : public ::testing::TestWithParam<bool>
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_archive = m_dir.filePath(u"张三"_s);
        m_key = DiaryKey::fromBytes(QByteArray(32, '\x5a'));
        m_otherKey = DiaryKey::fromBytes(QByteArray(32, '\x3c'));
    }
    // The parameter: a private diary (sealed drafts) or one of the old format.
    const DiaryKey *key() const { return GetParam() ? &m_key : nullptr; }
    QString draftFile() const { return drafts::pathOf(m_archive, kName); }

    QTemporaryDir m_dir;
    QString m_archive;
    DiaryKey m_key;
    DiaryKey m_otherKey;
};

} // namespace

TEST_P(Drafts, AWrittenDraftComesBackExactlyFromAPrivateFileInAPrivateFolder)
{
    drafts::write(m_archive, kName, kRecord, key(), kWritten);
    const QList<drafts::Draft> found = drafts::pending(m_archive, key());
    ASSERT_EQ(found.size(), 1);
    EXPECT_TRUE(found[0].readable);
    EXPECT_EQ(found[0].name, kName);
    EXPECT_EQ(found[0].record, kRecord);
    EXPECT_EQ(found[0].written, kWritten);
    EXPECT_EQ(found[0].path, draftFile());
    EXPECT_EQ(modeOf(draftFile()), 0600u);
    EXPECT_EQ(modeOf(drafts::folderOf(m_archive)), 0700u);
    EXPECT_EQ(modeOf(QFileInfo(drafts::folderOf(m_archive)).path()), 0700u);
    EXPECT_EQ(QDir(drafts::folderOf(m_archive)).entryList(QDir::Files).size(), 1);

    // Written again: one draft, the newer text.
    drafts::write(m_archive, kName, kRecord + "more", key(), kWritten.addSecs(5));
    const QList<drafts::Draft> again = drafts::pending(m_archive, key());
    ASSERT_EQ(again.size(), 1);
    EXPECT_EQ(again[0].record, kRecord + "more");

    EXPECT_TRUE(drafts::remove(m_archive, kName));
    EXPECT_TRUE(drafts::pending(m_archive, key()).isEmpty());
    EXPECT_TRUE(drafts::remove(m_archive, kName));   // nothing there is no failure
}

// Neither format leaves a typed word readable in the file.
TEST_P(Drafts, TheFileHoldsNoTypedWord)
{
    drafts::write(m_archive, kName, kRecord, key(), kWritten);
    const QByteArray bytes = testing_support::readFile(draftFile());
    EXPECT_FALSE(bytes.contains(kWords));
    EXPECT_FALSE(bytes.contains(kWordsText.toUtf8()));
    EXPECT_FALSE(bytes.contains("secret-word"));
    EXPECT_FALSE(bytes.contains("rtf1"));
}

// A draft that does not open is listed as unreadable, never as text, and never crashes the reader.
TEST_P(Drafts, ADamagedOrForeignDraftIsUnreadable)
{
    const struct {
        const char *what;
        std::function<void(Drafts &)> spoil;
    } cases[] = {
        {"cut short", [](Drafts &t) {
             QByteArray b = testing_support::readFile(t.draftFile());
             testing_support::writeFile(t.draftFile(), b.left(b.size() - 3));
         }},
        {"a byte of the text changed", [](Drafts &t) {
             QByteArray b = testing_support::readFile(t.draftFile());
             b[b.size() - 2] = char(b[b.size() - 2] ^ 0x01);
             testing_support::writeFile(t.draftFile(), b);
         }},
        {"the name's length changed", [](Drafts &t) {
             QByteArray b = testing_support::readFile(t.draftFile());
             b[17] = char(b[17] ^ 0x01);
             testing_support::writeFile(t.draftFile(), b);
         }},
        {"another entry's file name", [](Drafts &t) {
             const QString other = drafts::pathOf(t.m_archive, gbk::encode(u"2003年9月27日"_s));
             ASSERT_TRUE(QFile::rename(t.draftFile(), other));
         }},
        {"not a draft at all", [](Drafts &t) { testing_support::writeFile(t.draftFile(), "PK\x03\x04"); }},
        {"empty", [](Drafts &t) { testing_support::writeFile(t.draftFile(), {}); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        drafts::removeAll(m_archive);
        drafts::write(m_archive, kName, kRecord, key(), kWritten);
        c.spoil(*this);
        const QList<drafts::Draft> found = drafts::pending(m_archive, key());
        ASSERT_EQ(found.size(), 1);
        EXPECT_FALSE(found[0].readable);
        EXPECT_TRUE(found[0].record.isEmpty());
    }
}

// Only the right key opens a sealed draft; a draft of the old format does not open as a private
// diary's, nor a sealed one without a key.
TEST_P(Drafts, OnlyTheDiarysOwnFormatAndKeyOpenADraft)
{
    drafts::write(m_archive, kName, kRecord, key(), kWritten);
    const QList<const DiaryKey *> wrong =
        GetParam() ? QList<const DiaryKey *>{nullptr, &m_otherKey} : QList<const DiaryKey *>{&m_key};
    for (const DiaryKey *k : wrong) {
        const QList<drafts::Draft> found = drafts::pending(m_archive, k);
        ASSERT_EQ(found.size(), 1);
        EXPECT_FALSE(found[0].readable);
    }
    EXPECT_TRUE(drafts::pending(m_archive, key())[0].readable);
}

// Kept aside, an unreadable draft stays on disk byte for byte, where the next login does not
// meet it again; removing all drafts leaves it too.
TEST_P(Drafts, AnUnreadableDraftKeptAsideIsNeverLost)
{
    drafts::write(m_archive, kName, kRecord, key(), kWritten);
    testing_support::writeFile(draftFile(), "QBDRAFT1broken");
    const QString aside = drafts::keepAside(draftFile());
    EXPECT_EQ(testing_support::readFile(aside), QByteArray("QBDRAFT1broken"));
    drafts::write(m_archive, kName, "x", key(), kWritten);
    testing_support::writeFile(draftFile(), "again broken");
    const QString second = drafts::keepAside(draftFile());
    EXPECT_NE(second, aside);
    EXPECT_TRUE(drafts::pending(m_archive, key()).isEmpty());
    drafts::write(m_archive, kName, kRecord, key(), kWritten);
    EXPECT_EQ(drafts::removeAll(m_archive), 1);
    EXPECT_TRUE(QFile::exists(aside));
    EXPECT_TRUE(QFile::exists(second));
}

// A program stopped at any step of writing a draft leaves the earlier draft or the new one,
// never a part; the next write clears what the stopped one left.
TEST_P(Drafts, AKillAtEveryStepOfAWriteLeavesTheOldOrTheNewDraft)
{
    const QByteArray newer = kRecord + " and more";
    drafts::write(m_archive, kName, kRecord, key(), kWritten);
    files::FileFaults::arm(files::FileFaults::KillAt, 1000);
    drafts::write(m_archive, kName, kRecord, key(), kWritten);
    const int steps = files::FileFaults::stepsTaken();
    files::FileFaults::disarm();
    ASSERT_GT(steps, 2);
    bool sawNew = false;
    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE(step);
        drafts::write(m_archive, kName, kRecord, key(), kWritten);
        EXPECT_EXIT(
            {
                files::FileFaults::arm(files::FileFaults::KillAt, step);
                drafts::write(m_archive, kName, newer, key(), kWritten.addSecs(1));
                std::_Exit(0);
            },
            ::testing::ExitedWithCode(86), "");
        const QList<drafts::Draft> found = drafts::pending(m_archive, key());
        ASSERT_EQ(found.size(), 1);
        ASSERT_TRUE(found[0].readable);
        EXPECT_TRUE(found[0].record == kRecord || found[0].record == newer);
        sawNew = sawNew || found[0].record == newer;
    }
    EXPECT_TRUE(sawNew);   // the last step (the folder's sync) comes after the rename
    drafts::write(m_archive, kName, newer, key(), kWritten);
    EXPECT_EQ(QDir(drafts::folderOf(m_archive)).entryList(QDir::Files | QDir::Hidden),
              QStringList({u".quillbook.lock"_s, QFileInfo(draftFile()).fileName()}));
}

// In a diary folder a sync program shares, another computer's drafts arrive too: they are not
// this computer's to offer. A draft named as drafts were first named is.
TEST_P(Drafts, AnotherComputersDraftIsLeftAloneAndAFirstNamedOneIsStillThisOnes)
{
    host::setTagForTesting(u"0therpc0"_s);
    drafts::write(m_archive, kName, "there", key(), kWritten);
    const QString theirs = draftFile();
    host::setTagForTesting({});
    ASSERT_NE(draftFile(), theirs);
    EXPECT_TRUE(drafts::pending(m_archive, key()).isEmpty());

    const QString firstNamed = drafts::folderOf(m_archive) + u"/"_s + QString::fromLatin1(kName.toHex()) + u".draft"_s;
    ASSERT_TRUE(QFile::copy(theirs, firstNamed));
    ASSERT_EQ(drafts::pending(m_archive, key()).size(), 1);
    EXPECT_EQ(drafts::pending(m_archive, key())[0].record, QByteArray("there"));
    // Saving the entry removes this computer's draft under either name, and no other.
    drafts::write(m_archive, kName, kRecord, key(), kWritten);
    EXPECT_TRUE(drafts::remove(m_archive, kName));
    EXPECT_FALSE(QFile::exists(firstNamed) || QFile::exists(draftFile()));
    EXPECT_TRUE(QFile::exists(theirs));
}

INSTANTIATE_TEST_SUITE_P(BothFormats, Drafts, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Sealed" : "OldFormat"; });
