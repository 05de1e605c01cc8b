// The diary book on private diaries: stored sealed, listed and read with the key, unreadable
// rows for every kind of tampering with nothing written over them, a password change that
// touches the comment alone, and conversion both ways keeping every entry.

#include "diary_fixture.h"

#include "crypto/crypto_errors.h"
#include "crypto/private_format.h"
#include "crypto/recovery_code.h"
#include "diary/messages.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>

using namespace diary_testing;

namespace {

constexpr private_format::KdfParams kFast = private_format::kMinimumKdf;
const QString kPassword = QStringLiteral("门前 flowers");
const QString kCode = QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89PQ");

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Every occurrence of from (a name, in the local and the central header) becomes to.
QByteArray renamed(QByteArray bytes, const QByteArray &from, const QByteArray &to)
{
    return bytes.replace(from, to);
}

// Entries of a small generated diary: each with its own weather, mood and words.
QList<std::pair<QString, QByteArray>> generated(int count)
{
    QList<std::pair<QString, QByteArray>> entries;
    const QDate first(2003, 9, 1);
    for (int i = 0; i < count; ++i) {
        const QString body = QStringLiteral("第%1天，记下窗外的梧桐 paragraph%1\n第二段 secretword%1").arg(i);
        entries.append({diary::entryName(first.addDays(i)),
                        i % 3 == 0 ? richEditRecord(QStringList{QString::number(i % 4), QString::number(i % 8)} + body.split(u'\n')) : ownRecord(i % 4, i % 8, body)});
    }
    return entries;
}

class PrivateDiary : public ::testing::Test
{
protected:
    PrivateDiary() : m_key(DiaryKey::generate()), m_header(PrivateHeader::create(m_key, kPassword, kCode, kFast))
    {
        m_writer.SetZipName(path());
        m_reader.SetZipName(path());
    }

    QString path() const { return m_dir.filePath(QStringLiteral("张三")); }

    // A private diary holding the entries, made by converting an old one.
    void makePrivate(const QList<std::pair<QString, QByteArray>> &entries)
    {
        writeDiary(path(), entries);
        const diary::Conversion c = diary::protectDiary(m_writer, m_header, m_key);
        ASSERT_EQ(c.converted.size(), entries.size());
        ASSERT_TRUE(c.carried.isEmpty());
    }

    diary::Listing list(const DiaryKey *key)
    {
        TArchiveReader reader;
        reader.SetZipName(path());
        return diary::listEntries(reader, key);
    }

    QTemporaryDir m_dir;
    DiaryKey m_key;
    PrivateHeader m_header;
    TArchiveWriter m_writer;
    TArchiveReader m_reader;
};

} // namespace

TEST_F(PrivateDiary, StoresListsAndReadsSealedEntriesOnly)
{
    const auto entries = generated(5);
    makePrivate({});
    for (const auto &[name, record] : entries)
        ASSERT_EQ(diary::storeEntry(m_writer, g(name), record, &m_key), diary::EntryProblem::None);
    // Replaced where it stands.
    const QByteArray changed = ownRecord(2, 5, QStringLiteral("改过的 secretwordX #梧桐"));
    ASSERT_EQ(diary::storeEntry(m_writer, g(entries[1].first), changed, &m_key), diary::EntryProblem::None);

    const diary::Listing listing = list(&m_key);
    listing.rethrowError();
    ASSERT_EQ(listing.rows.size(), entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        const QByteArray record = i == 1 ? changed : entries[i].second;
        const diary::ListRow expected = diary::listRowOf(g(entries[i].first), record);
        EXPECT_EQ(listing.rows[i].summary, expected.summary);
        EXPECT_EQ(listing.rows[i].weather, expected.weather);
        EXPECT_EQ(listing.rows[i].mood, expected.mood);
        EXPECT_EQ(listing.rows[i].tags, i == 1 ? QStringList{QStringLiteral("梧桐")} : QStringList{});
        diary::EntryProblem problem = diary::EntryProblem::Missing;
        EXPECT_EQ(diary::readEntry(m_reader, g(entries[i].first), &problem, &m_key), record);
        EXPECT_EQ(problem, diary::EntryProblem::None);
    }

    // No word of the diary is in the file, in any encoding the records use.
    const QByteArray file = fileBytes(path());
    for (const QByteArray &word : {QByteArray("secretword"), QByteArray("paragraph"), g(QStringLiteral("梧桐")),
                                   QStringLiteral("梧桐").toUtf8(), QByteArray("\\'ce\\'e0"), QByteArray("rtf1")})
        EXPECT_FALSE(file.contains(word)) << word.constData();

    // The key and the archive must agree: without the key nothing reads, an old diary takes none.
    EXPECT_THROW(diary::readEntry(m_reader, g(entries[0].first)), EDiaryFormat);
    EXPECT_THROW(list(nullptr).rethrowError(), EDiaryFormat);
    EXPECT_THROW(diary::storeEntry(m_writer, g(entries[0].first), changed), EDiaryFormat);
    EXPECT_EQ(fileBytes(path()), file);
    writeDiary(path(), entries);
    EXPECT_THROW(diary::storeEntry(m_writer, g(entries[0].first), changed, &m_key), EDiaryFormat);
}

TEST_F(PrivateDiary, TamperedEntriesAreUnreadableAndNeverWrittenOver)
{
    const auto entries = generated(4);
    makePrivate(entries);
    const QByteArray good = fileBytes(path());
    const QByteArray n0 = g(entries[0].first), n1 = g(entries[1].first), n2 = g(entries[2].first);
    ASSERT_EQ(n0.size(), n1.size());
    const QByteArray other = g(QStringLiteral("2004年9月1日"));
    ASSERT_EQ(other.size(), n0.size());
    const qsizetype payloadAt = good.indexOf(n0) + n0.size() + 40;

    struct Case {
        const char *what;
        std::function<QByteArray(QByteArray)> tamper;
        QList<int> unreadable;        // entry indices in archive order
        diary::EntryProblem problem;
    };
    const QList<Case> cases = {
        {"flipped byte", [&](QByteArray b) { b[payloadAt] = char(b[payloadAt] ^ 0x20); return b; }, {0},
         diary::EntryProblem::Damaged},
        {"renamed to another date", [&](QByteArray b) { return renamed(b, n0, other); }, {0},
         diary::EntryProblem::Damaged},
        {"two entries swapped",
         [&](QByteArray b) { return renamed(renamed(renamed(b, n0, other), n1, n0), other, n1); }, {0, 1},
         diary::EntryProblem::Damaged},
        {"sealed under another key", [&](QByteArray b) { return b; }, {0, 1, 2, 3}, diary::EntryProblem::Damaged},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray tampered = c.tamper(good);
        writeBytes(path(), tampered);
        const DiaryKey other = DiaryKey::generate();
        const DiaryKey &key = QByteArray(c.what) == "sealed under another key" ? other : m_key;
        const diary::Listing listing = list(&key);
        listing.rethrowError();
        ASSERT_EQ(listing.rows.size(), entries.size());
        for (int i = 0; i < entries.size(); ++i) {
            const bool bad = c.unreadable.contains(i);
            EXPECT_EQ(listing.rows[i].problem, bad ? c.problem : diary::EntryProblem::None) << i;
            if (bad) {
                EXPECT_TRUE(listing.rows[i].summary.startsWith(QStringLiteral("无法读取："))) << i;
                // Saving over it is refused and writes nothing.
                const QByteArray name = listing.rows[i].nameBytes;
                EXPECT_EQ(diary::storeEntry(m_writer, name, ownRecord(0, 0, QStringLiteral("x")), &key), c.problem);
                EXPECT_EQ(fileBytes(path()), tampered);
            }
        }
    }

    // A changed header: it no longer parses, or no longer unlocks; the archive stays as it is.
    QByteArray header = m_header.text();
    header[header.indexOf("key=") + 6] = header[header.indexOf("key=") + 6] == 'A' ? 'B' : 'A';
    EXPECT_FALSE(PrivateHeader::parse(header).unlock(kPassword).has_value());
    header[header.indexOf("m=") + 2] = 'x';
    EXPECT_THROW(PrivateHeader::parse(header), EPrivateHeaderDamaged);
    // An entry stored the old way inside a private diary is not shown as the user's.
    writeBytes(path(), good);
    TArchiveWriter plain;
    plain.SetZipName(path());
    plain.SetPassword(diary::kArchivePassword);
    QByteArray forged = ownRecord(0, 0, QStringLiteral("forged"));
    QBuffer stream(&forged);
    stream.open(QIODevice::ReadOnly);
    plain.AddFromStream(n2, stream);
    const diary::Listing listing = list(&m_key);
    EXPECT_EQ(listing.rows[2].problem, diary::EntryProblem::NotSealed);
}

TEST_F(PrivateDiary, PasswordChangeRewritesTheCommentAlone)
{
    makePrivate(generated(6));
    const QByteArray before = fileBytes(path());
    const std::optional<DiaryKey> key = PrivateHeader::parse(m_header.text()).unlock(kPassword);
    ASSERT_TRUE(key);
    const PrivateHeader changed = m_header.withPassword(*key, QStringLiteral("新密码"), kFast);
    diary::setPrivateHeader(m_writer, changed);
    const QByteArray after = fileBytes(path());

    const QByteArray oldComment = m_header.text(), newComment = changed.text();
    ASSERT_TRUE(before.endsWith(oldComment));
    ASSERT_TRUE(after.endsWith(newComment));
    EXPECT_NE(oldComment, newComment);
    // Everything up to the end record's comment length is the same, byte for byte.
    EXPECT_EQ(before.chopped(oldComment.size() + 2), after.chopped(newComment.size() + 2));

    TArchiveReader reader;
    reader.SetZipName(path());
    const std::optional<PrivateHeader> stored = diary::privateHeaderOf(reader);
    ASSERT_TRUE(stored);
    EXPECT_FALSE(stored->unlock(kPassword).has_value());
    const std::optional<DiaryKey> again = stored->unlock(QStringLiteral("新密码"));
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->sameAs(m_key));
    EXPECT_TRUE(stored->unlockWithRecoveryCode(kCode).has_value());
}

TEST_F(PrivateDiary, ConversionBothWaysKeepsEveryEntry)
{
    const auto entries = generated(30);
    writeDiary(path(), entries);
    // One entry under another password: carried over untouched both ways, and reported.
    {
        TArchiveWriter other;
        other.SetZipName(path());
        other.SetPassword(QStringLiteral("another"));
        QByteArray bytes = ownRecord(1, 1, QStringLiteral("someone else's"));
        QBuffer stream(&bytes);
        stream.open(QIODevice::ReadOnly);
        other.AddFromStream(g(QStringLiteral("2010年1月1日")), stream);
    }
    const QByteArray original = fileBytes(path());
    const diary::Listing before = list(nullptr);
    ASSERT_EQ(before.unreadableCount(), 1);

    const diary::Conversion there = diary::protectDiary(m_writer, m_header, m_key);
    EXPECT_EQ(there.converted.size(), entries.size());
    ASSERT_EQ(there.carried.size(), 1);
    EXPECT_EQ(there.carried[0].second, diary::EntryProblem::WrongPassword);
    EXPECT_THROW(diary::protectDiary(m_writer, m_header, m_key), EDiaryFormat);
    const diary::Listing sealed = list(&m_key);
    ASSERT_EQ(sealed.rows.size(), before.rows.size());
    for (int i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(sealed.rows[i].summary, before.rows[i].summary);
        EXPECT_EQ(sealed.rows[i].weather, before.rows[i].weather);
        EXPECT_EQ(sealed.rows[i].mood, before.rows[i].mood);
        EXPECT_EQ(diary::readEntry(m_reader, g(entries[i].first), nullptr, &m_key), entries[i].second);
    }
    EXPECT_EQ(sealed.rows.last().problem, diary::EntryProblem::NotSealed);
    EXPECT_FALSE(fileBytes(path()).contains("secretword"));

    const QByteArray token = "53abcdefghijk";
    const diary::Conversion back = diary::unprotectDiary(m_writer, m_key, token);
    EXPECT_EQ(back.converted.size(), entries.size());
    EXPECT_EQ(back.carried.size(), 1);
    EXPECT_THROW(diary::unprotectDiary(m_writer, m_key, token), EDiaryFormat);
    const diary::Listing after = list(nullptr);
    ASSERT_EQ(after.rows.size(), before.rows.size());
    for (int i = 0; i < before.rows.size(); ++i) {
        EXPECT_EQ(after.rows[i].summary, before.rows[i].summary);
        EXPECT_EQ(after.rows[i].problem, before.rows[i].problem);
    }
    for (const auto &[name, record] : entries)
        EXPECT_EQ(diary::readEntry(m_reader, g(name)), record);
    const QByteArray last = fileBytes(path());
    EXPECT_TRUE(last.endsWith(token));
    // The entry that could not be read crossed both ways byte for byte.
    const QByteArray otherName = g(QStringLiteral("2010年1月1日"));
    const qsizetype a = original.indexOf(otherName), b = last.indexOf(otherName);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(original.mid(a, 60), last.mid(b, 60));
}

TEST_F(PrivateDiary, IndependentReaderOpensTheWholeArchive)
{
    const auto entries = generated(8);
    makePrivate(entries);
    QTemporaryDir out;
    {
        QFile f(out.filePath(QStringLiteral("password.txt")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kPassword.toUtf8());
    }
    const testing_support::RunResult r = testing_support::run(
        QStringLiteral(QB_SYSTEM_PYTHON3),
        {QStringLiteral(QB_PRIVATE_READER), QStringLiteral("archive"), path(), out.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    for (int i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(fileBytes(out.filePath(QStringLiteral("%1.name").arg(i))), g(entries[i].first));
        EXPECT_EQ(fileBytes(out.filePath(QStringLiteral("%1.record").arg(i))), entries[i].second);
    }
}
