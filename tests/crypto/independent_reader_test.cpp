#include "crypto_fixture.h"

#include "crypto/entry_seal.h"
#include "crypto/private_header.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace crypto_fixture;
namespace ts = testing_support;

// The document is the contract: a reader written from docs/private-format.md alone, in Python,
// must read what this code writes, and this code must read what that reader writes. Any
// difference between the document and the code fails here.
namespace {

struct Sample {
    QByteArray name;
    QByteArray record;
};

QList<Sample> samples()
{
    QByteArray noise(300 * 1024, Qt::Uninitialized);
    QRandomGenerator g(16);
    for (char &c : noise)
        c = char(g.bounded(256));
    return {
        {QByteArrayLiteral("2003\xC4\xEA" "10\xD4\xC2" "5\xC8\xD5"),
         QByteArrayLiteral("{\\rtf1\\ansi\\ansicpg936 \\'c7\\'e7\\'cc\\'ec today\\par }")},
        {QByteArrayLiteral("2003\xC4\xEA" "9\xD4\xC2" "26\xC8\xD5"), QByteArray()},
        {QByteArrayLiteral("Diary.dat"), noise},
        {QByteArrayLiteral("2024\xC4\xEA" "2\xD4\xC2" "29\xC8\xD5"),
         QByteArray("a long day, ").repeated(100000)},
    };
}

const QString kTypedCode = QStringLiteral("oIab cd23-efgh-4567-jkmn-89pq");

ts::RunResult runReader(const char *mode, const QString &folder)
{
    return ts::run(QStringLiteral(QB_SYSTEM_PYTHON3),
                   {QStringLiteral(QB_PRIVATE_READER), QString::fromLatin1(mode), folder});
}

} // namespace

TEST(IndependentReader, OpensWhatTheProgramWrites)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString entries = dir.filePath(QStringLiteral("entries"));
    QDir().mkpath(entries);

    const DiaryKey key = DiaryKey::generate();
    // Memory above the least, so KiB and bytes cannot be confused.
    const PrivateHeader header =
        PrivateHeader::create(key, password(), recoveryCode(), private_format::KdfParams{32, 2});
    ts::writeFile(dir.filePath(QStringLiteral("header.txt")), header.text());
    ts::writeFile(dir.filePath(QStringLiteral("password.txt")), password().toUtf8());
    ts::writeFile(dir.filePath(QStringLiteral("recovery.txt")), kTypedCode.toUtf8());
    const QList<Sample> all = samples();
    for (int i = 0; i < all.size(); ++i) {
        ts::writeFile(entries + QStringLiteral("/%1.name").arg(i), all[i].name);
        ts::writeFile(entries + QStringLiteral("/%1.payload").arg(i),
                      entry_seal::seal(key, all[i].name, all[i].record));
    }

    const ts::RunResult r = runReader("read", dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (int i = 0; i < all.size(); ++i)
        EXPECT_EQ(ts::readFile(entries + QStringLiteral("/%1.record").arg(i)), all[i].record) << i;
}

TEST(IndependentReader, WritesWhatTheProgramOpens)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    ts::writeFile(dir.filePath(QStringLiteral("password.txt")), password().toUtf8());
    ts::writeFile(dir.filePath(QStringLiteral("recovery.txt")), kTypedCode.toUtf8());
    const QList<Sample> all = samples();
    for (int i = 0; i < all.size(); ++i) {
        ts::writeFile(out + QStringLiteral("/%1.name").arg(i), all[i].name);
        ts::writeFile(out + QStringLiteral("/%1.record").arg(i), all[i].record);
    }

    const ts::RunResult r = runReader("write", dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    const PrivateHeader header = PrivateHeader::parse(ts::readFile(out + QStringLiteral("/header.txt")));
    EXPECT_EQ(header.passwordParams(), (private_format::KdfParams{16, 2}));
    const std::optional<DiaryKey> key = header.unlock(password());
    ASSERT_TRUE(key);
    const std::optional<DiaryKey> byCode = header.unlockWithRecoveryCode(recoveryCode());
    ASSERT_TRUE(byCode);
    EXPECT_TRUE(byCode->sameAs(*key));
    for (int i = 0; i < all.size(); ++i) {
        const entry_seal::OpenResult opened = entry_seal::open(
            *key, all[i].name, ts::readFile(out + QStringLiteral("/%1.payload").arg(i)));
        EXPECT_EQ(opened.status, entry_seal::OpenStatus::Opened) << i;
        EXPECT_EQ(opened.record, all[i].record) << i;
    }
}
