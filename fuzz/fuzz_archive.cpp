// The input is a whole archive file. The reader opens it, lists it, reads its comment and
// extracts every entry, by index and by name (once as the program reads, once rebuilding a
// missing directory from the local headers); then the writer rewrites it without its first
// entry, and the file it wrote must read back with exactly the entries it says it kept. A rewrite
// that succeeds must also have kept every entry the input's directory holds, counted here by a
// parser of its own that shares nothing with the reader: an entry the reader failed to place
// and the writer dropped is caught even when the reader and the writer agree.
#include "fuzz_support.h"

#include "archive/archive_errors.h"
#include "archive/archive_writer.h"
#include "platform/notice.h"

#include <QFile>
#include <QList>

namespace {

const QByteArray kPassword("qmt90315526hzrp");

quint32 le(const QByteArray &b, qsizetype at, int size)
{
    quint32 v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | uchar(b[at + i]);
    return v;
}

// The number of central headers of a whole archive, or -1 when the bytes hold none: from the end,
// the first end record whose comment ends the file, whose count and size describe exactly the
// chain of central headers at its offset, and behind whose last header it stands. An empty file
// is an archive without entries.
int independentCount(const QByteArray &file)
{
    if (file.isEmpty())
        return 0;
    for (qsizetype end = file.size() - 22; end >= 0 && end >= file.size() - 22 - 0xFFFF; --end) {
        if (le(file, end, 4) != 0x06054B50 || end + 22 + qsizetype(le(file, end + 20, 2)) != file.size())
            continue;
        const qsizetype count = le(file, end + 10, 2);
        const qsizetype size = le(file, end + 12, 4);
        const qsizetype offset = le(file, end + 16, 4);
        qsizetype at = offset;
        qsizetype found = 0;
        while (at >= 0 && at + 46 <= end && le(file, at, 4) == 0x02014B50) {
            at += 46 + qsizetype(le(file, at + 28, 2)) + le(file, at + 30, 2) + le(file, at + 32, 2);
            ++found;
        }
        if (found == count && at == end && end - offset == size && offset <= end)
            return int(found);
    }
    return -1;
}

QString archivePath()
{
    static const QString path = fuzzing::scratchFolder() + QLatin1String("/diary");
    return path;
}

void readEverything(TArchiveReader &reader)
{
    reader.OpenArchive();
    reader.ArchiveCommentBytes();
    for (int i = 0; i < reader.EntryCount(); ++i) {
        try {
            QByteArray data;
            reader.ExtractEntry(i, data);
            data.clear();
            reader.ExtractToBytes(reader.EntryPathBytes(i), data);
        } catch (const Exception &) {
            // An entry beyond a limit, or cut off: the next one is read all the same.
        }
    }
}

QList<QByteArray> entryNames(TArchiveReader &reader)
{
    QList<QByteArray> names;
    for (int i = 0; i < reader.EntryCount(); ++i)
        names.append(reader.EntryPathBytes(i));
    return names;
}

void rewriteWithoutFirst(const QByteArray &input)
{
    TArchiveWriter writer;
    writer.SetZipName(archivePath());
    writer.SetPasswordBytes(kPassword);
    writer.OpenArchive();
    if (writer.EntryCount() > 0)
        writer.SelectEntry(0, true);
    writer.DeleteSelected();
    const QList<QByteArray> kept = entryNames(writer);

    const int before = independentCount(input);
    if (before < 0)
        fuzzing::fail("an archive without a whole directory was rewritten");
    if (kept.size() != before - (before > 0 ? 1 : 0))
        fuzzing::fail("the rewrite dropped entries of the directory");
    QFile written(archivePath());
    if (!written.open(QIODevice::ReadOnly) || independentCount(written.readAll()) != kept.size())
        fuzzing::fail("the rewritten archive's directory does not count the entries kept");

    TArchiveReader check;
    check.SetZipName(archivePath());
    check.SetPasswordBytes(kPassword);
    check.OpenArchive();
    if (!check.HasDirectory() || entryNames(check) != kept || !check.DirectoryProblem().isEmpty())
        fuzzing::fail("the rewritten archive does not read back as written");
    readEverything(check);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The unknown-method box would otherwise go to standard error on every such input.
    notice::setHandler([](notice::Kind, const QString &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzing::writeFile(archivePath(), data, size);
    // As the program reads, and as a reader told to rebuild a missing directory from the local
    // headers.
    for (TIncompleteZipMode mode : {TIncompleteZipMode::izAssumeMulti, TIncompleteZipMode::izAssumeBad}) {
        try {
            TArchiveReader reader;
            reader.SetZipName(archivePath());
            reader.SetPasswordBytes(kPassword);
            reader.SetIncompleteZipMode(mode);
            readEverything(reader);
        } catch (const Exception &) {
        }
    }
    try {
        rewriteWithoutFirst(fuzzing::bytesOf(data, size));
    } catch (const Exception &) {
    }
    return 0;
}
