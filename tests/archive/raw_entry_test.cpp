// Entries stored as given (raw entries): written in the one rewrite with ordinary entries and the
// comment, handed back untouched, listed and refused cleanly by Info-ZIP and Python.

#include "archive_fixture.h"

#include "archive/archive_errors.h"

#include <QFile>

using namespace archive_testing;
using testing_support::run;
using testing_support::RunResult;

namespace {

constexpr quint16 kRawMethod = 0x5142;

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

class RawEntries : public ArchiveTest
{
protected:
    // One ordinary entry and two raw ones, with a comment, in one rewrite.
    void writeMixed()
    {
        auto w = writer();
        QByteArray plain = "plain text of an ordinary entry";
        QBuffer stream(&plain);
        stream.open(QIODevice::ReadOnly);
        w->SetArchiveCommentBytes("raw comment");
        w->AddFromStreams({
            {g("2003年9月26日"), nullptr, kRawMethod, m_first},
            {"ordinary", &stream, std::nullopt, {}},
            {g("2003年9月27日"), nullptr, kRawMethod, m_second},
        });
        EXPECT_EQ(w->LastWriteCount(), 3);
    }

    QByteArray m_first = randomBytes(3000, 1);
    QByteArray m_second = QByteArray("sealed\0bytes", 12);
};

} // namespace

TEST_F(RawEntries, StoredAsGivenAndHandedBackUntouched)
{
    writeMixed();
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.SetPassword(fixedPassword());
    reader.OpenArchive();
    ASSERT_EQ(reader.EntryCount(), 3);
    EXPECT_EQ(reader.ArchiveCommentBytes(), QByteArray("raw comment"));
    const QList<QPair<int, QByteArray>> raw = {{0, m_first}, {2, m_second}};
    for (const auto &[index, bytes] : raw) {
        const TZipHeaderInfo entry = reader.Entry(index);
        EXPECT_EQ(entry.method, kRawMethod);
        EXPECT_FALSE(entry.isEncrypted());
        EXPECT_EQ(entry.compressedSize, quint32(bytes.size()));
        EXPECT_EQ(entry.uncompressedSize, quint32(bytes.size()));
        QByteArray data;
        EXPECT_TRUE(reader.ExtractStoredData(index, data));
        EXPECT_EQ(data, bytes);
        // The decoding reader never mistakes it for an entry of its own.
        ExtractFailure why = ExtractFailure::CrcMismatch;
        EXPECT_FALSE(reader.ExtractEntry(index, data, &why));
        EXPECT_EQ(why, ExtractFailure::UnknownMethod);
    }
    QByteArray data;
    EXPECT_EQ(extract(path(), "ordinary"), QByteArray("plain text of an ordinary entry"));
    // The ordinary entry is encrypted and deflated: its stored bytes fail the stored-data check.
    ExtractFailure why = ExtractFailure::CrcMismatch;
    EXPECT_FALSE(reader.ExtractStoredData(1, data, &why));
    EXPECT_EQ(why, ExtractFailure::UnsupportedEncryption);
    EXPECT_TRUE(data.isEmpty());
    // The raw bytes sit in the file exactly as given.
    EXPECT_TRUE(fileBytes(path()).contains(m_first));
}

TEST_F(RawEntries, OtherToolsListTheArchiveAndRefuseRawEntriesAsUnsupported)
{
    writeMixed();
    const RunResult list = run(testing_support::unzipProgram(), {QStringLiteral("-l"), path()});
    EXPECT_EQ(list.exitCode, 0) << list.err.constData();
    EXPECT_TRUE(list.out.contains("3 files")) << list.out.constData();
    const RunResult test =
        run(testing_support::unzipProgram(), {QStringLiteral("-t"), QStringLiteral("-P"), fixedPassword(), path()});
    EXPECT_NE(test.exitCode, 0);
    EXPECT_TRUE((test.out + test.err).contains("unsupported compression method 20802"))
        << test.out.constData() << test.err.constData();

    const RunResult py = run(testing_support::python3Program(),
                             {QStringLiteral("-c"), QStringLiteral(
                                  "import sys, zipfile\n"
                                  "with zipfile.ZipFile(sys.argv[1]) as z:\n"
                                  "    for i in z.infolist():\n"
                                  "        try:\n"
                                  "            z.read(i, pwd=sys.argv[2].encode())\n"
                                  "            print(i.compress_type, 'read')\n"
                                  "        except NotImplementedError:\n"
                                  "            print(i.compress_type, 'unsupported')\n"),
                              path(), fixedPassword()});
    EXPECT_EQ(py.exitCode, 0) << py.err.constData();
    EXPECT_EQ(py.out, QByteArray("20802 unsupported\n0 read\n20802 unsupported\n"));
}

TEST_F(RawEntries, DamageAndRefusals)
{
    writeMixed();
    const QByteArray good = fileBytes(path());
    const qsizetype at = good.indexOf(m_first);
    ASSERT_GT(at, 0);

    // Each damaged copy: the stored-data check fails for the first entry, nothing throws.
    const QList<std::function<void(QByteArray &)>> damages = {
        [&](QByteArray &b) { b[at + 100] = char(b[at + 100] ^ 1); },               // a flipped byte
        [&](QByteArray &b) { put32(b, at - g("2003年9月26日").size() - 30 + 14, 0); },  // local CRC: unused
        [&](QByteArray &b) { put32(b, centralDirectoryAt(b) + 16, 0x12345678); },  // recorded CRC
        [&](QByteArray &b) { put32(b, centralDirectoryAt(b) + 24, 10); },          // uncompressed size
    };
    for (int i = 0; i < damages.size(); ++i) {
        QByteArray bytes = good;
        damages[i](bytes);
        writeBytes(path(), bytes);
        TArchiveReader reader;
        reader.SetZipName(path());
        reader.OpenArchive();
        QByteArray data;
        ExtractFailure why = ExtractFailure::WrongPassword;
        const bool ok = reader.ExtractStoredData(0, data, &why);
        // The local header's CRC is not what the directory records; it does not count.
        if (i == 1) {
            EXPECT_TRUE(ok);
            continue;
        }
        EXPECT_FALSE(ok) << "damage " << i;
        EXPECT_EQ(why, ExtractFailure::CrcMismatch) << "damage " << i;
        EXPECT_TRUE(data.isEmpty());
    }

    // A raw entry of a method the reader would decode is refused before anything is written.
    writeBytes(path(), good);
    for (const quint16 method : {quint16(0), quint16(8)}) {
        auto w = writer();
        EXPECT_THROW(w->AddFromStreams({{"x", nullptr, method, "data"}}), ERawMethod);
        EXPECT_EQ(fileBytes(path()), good);
    }
}

TEST_F(RawEntries, ReplacedEitherWayInOneRewrite)
{
    writeMixed();
    // The ordinary entry becomes raw and the raw ones ordinary, with a new comment.
    QByteArray a = "first as text", b = "second as text";
    QBuffer sa(&a), sb(&b);
    sa.open(QIODevice::ReadOnly);
    sb.open(QIODevice::ReadOnly);
    auto w = writer();
    w->SetArchiveCommentBytes("converted");
    w->AddFromStreams({{g("2003年9月26日"), &sa, std::nullopt, {}},
                       {"ordinary", nullptr, kRawMethod, "now raw"},
                       {g("2003年9月27日"), &sb, std::nullopt, {}}});
    EXPECT_EQ(names(path()), (QList<QByteArray>{g("2003年9月26日"), "ordinary", g("2003年9月27日")}));
    EXPECT_EQ(extract(path(), g("2003年9月26日")), a);
    EXPECT_EQ(extract(path(), g("2003年9月27日")), b);
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.OpenArchive();
    EXPECT_EQ(reader.ArchiveCommentBytes(), QByteArray("converted"));
    QByteArray data;
    EXPECT_TRUE(reader.ExtractStoredData(1, data));
    EXPECT_EQ(data, QByteArray("now raw"));
}

TEST_F(RawEntries, OneRewriteAddsReplacesAndDeletesAndKeepsTheStampsGiven)
{
    writeMixed();
    auto w = writer();
    w->SetKeepVersions(true);
    w->OpenArchive();
    w->SelectEntry(1, true);   // "ordinary"
    QByteArray replaced = "replaced";
    QBuffer stream(&replaced);
    stream.open(QIODevice::ReadOnly);
    const quint32 written = zip::dosStamp(2026, 12, 7, 9, 30, 0);
    w->UpdateEntries({{g("2003年9月26日"), &stream, std::nullopt, {}, written},
                      {g("2003年9月28日"), nullptr, kRawMethod, m_second, written}});
    EXPECT_FALSE(w->LastKeptVersion().isEmpty());
    EXPECT_EQ(names(path()), (QList<QByteArray>{g("2003年9月26日"), g("2003年9月27日"), g("2003年9月28日")}));
    EXPECT_EQ(extract(path(), g("2003年9月26日")), replaced);
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.OpenArchive();
    EXPECT_EQ(reader.Entry(0).stamp, written);
    EXPECT_EQ(reader.Entry(2).stamp, written);
    EXPECT_NE(reader.Entry(1).stamp, written);
}
