// Inputs the fuzzer found faults with, kept so that the faults stay mended: every file in
// regressions/ is read, extracted and rewritten as the fuzz target does it, and the faults that
// have a visible effect are checked by that effect as well.

#include "archive_fixture.h"

#include "archive/zip_codec.h"
#include "platform/notice.h"

#include <QDir>

using namespace archive_testing;

namespace {

void append16(QByteArray &b, quint16 v)
{
    b.append(char(v & 0xFF)).append(char(v >> 8));
}

void append32(QByteArray &b, quint32 v)
{
    append16(b, quint16(v & 0xFFFF));
    append16(b, quint16(v >> 16));
}

struct RawEntry
{
    QByteArray name;
    QByteArray plain;
    QByteArray stored;   // the entry's data as it is in the file
};

// An archive of deflated, unencrypted entries written byte by byte, so that an entry's data can
// be anything at all.
QByteArray archiveOf(const QList<RawEntry> &entries)
{
    QByteArray file, central;
    for (const RawEntry &e : entries) {
        const quint32 offset = quint32(file.size());
        const quint32 crc = zip::crc32(0, e.plain);
        auto common = [&](QByteArray &b) {
            append16(b, 20);                      // version needed
            append16(b, 0);                       // flags
            append16(b, 8);                       // deflated
            append32(b, 0x2F452F45);              // stamp
            append32(b, crc);
            append32(b, quint32(e.stored.size()));
            append32(b, quint32(e.plain.size()));
            append16(b, quint16(e.name.size()));
            append16(b, 0);                       // extra field
        };
        append32(file, 0x04034B50);
        common(file);
        file += e.name + e.stored;

        append32(central, 0x02014B50);
        append16(central, 20);                    // version made by
        common(central);
        append16(central, 0);                     // comment
        append16(central, 0);                     // disk
        append16(central, 0);                     // internal attributes
        append32(central, 0x20);
        append32(central, offset);
        central += e.name;
    }
    const quint32 centralOffset = quint32(file.size());
    file += central;
    append32(file, 0x06054B50);
    append32(file, 0);
    append16(file, quint16(entries.size()));
    append16(file, quint16(entries.size()));
    append32(file, quint32(central.size()));
    append32(file, centralOffset);
    append16(file, 0);
    return file;
}

class Regressions : public ArchiveTest
{
protected:
    void SetUp() override { notice::setHandler([](notice::Kind, const QString &, const QString &) {}); }
    void TearDown() override { notice::setHandler({}); }
};

} // namespace

TEST_F(Regressions, BytesAfterAnEntrysDeflateStreamDoNotSpoilTheNextEntry)
{
    // The first entry's deflate stream ends before its recorded data does. What the inflater had
    // not consumed must not be taken for the start of the next entry's data.
    const QByteArray first("the first entry, the first entry, the first entry");
    const QByteArray second("the second entry");
    testing_support::writeFile(path(), archiveOf({{"first", first, zip::deflateRaw(first, 9) + "\xFF\xFF\xFF\xFF"},
                                                  {"second", second, zip::deflateRaw(second, 9)}}));

    TArchiveReader reader;
    reader.SetZipName(path());
    reader.OpenArchive();
    QByteArray data;
    ASSERT_TRUE(reader.ExtractEntry(0, data));
    EXPECT_EQ(data, first);
    ASSERT_TRUE(reader.ExtractEntry(1, data));
    EXPECT_EQ(data, second);
    data.clear();
    EXPECT_EQ(reader.ExtractToBytes(QByteArray("*"), data), 2);
    EXPECT_EQ(data, first + second);
}

TEST_F(Regressions, EveryKeptInputExtractsTheSameTwiceAndRewritesCleanly)
{
    const QDir kept(testing_support::sourceDir() + QStringLiteral("/tests/archive/regressions"));
    const QStringList inputs = kept.entryList(QDir::Files);
    ASSERT_FALSE(inputs.isEmpty());
    for (const QString &input : inputs) {
        SCOPED_TRACE(input.toStdString());
        testing_support::writeFile(path(), testing_support::readFile(kept.filePath(input)));

        for (TIncompleteZipMode mode : {TIncompleteZipMode::izAssumeMulti, TIncompleteZipMode::izAssumeBad}) {
            TArchiveReader reader;
            reader.SetZipName(path());
            reader.SetPassword(fixedPassword());
            reader.SetIncompleteZipMode(mode);
            errorOf([&] { reader.OpenArchive(); });
            // Each entry twice, with other extractions between: no state of one extraction
            // may change the next one's result.
            for (int i = 0; i < reader.EntryCount(); ++i) {
                // "1" or "0" for extracted or left out, or the error.
                auto extract = [&](QByteArray &data) {
                    bool extracted = false;
                    const QString error = errorOf([&] { extracted = reader.ExtractEntry(i, data); });
                    return error.isEmpty() ? QString::number(extracted) : error;
                };
                QByteArray once, again, byName;
                const QString first = extract(once);
                errorOf([&] { reader.ExtractToBytes(reader.EntryPathBytes(i), byName); });
                EXPECT_EQ(extract(again), first);
                EXPECT_EQ(again, once);
            }
        }

        auto w = writer();
        const QString error = errorOf([&] {
            w->OpenArchive();
            if (w->EntryCount() > 0)
                w->SelectEntry(0, true);
            w->DeleteSelected();
        });
        if (error.isEmpty()) {
            EXPECT_EQ(names(path()).size(), w->EntryCount());
        }
    }
}
