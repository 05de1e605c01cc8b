// The input is a whole archive file. The reader opens it, lists it, reads its comment and
// extracts every entry, by index and by name (once as the program reads, once rebuilding a
// missing directory from the local headers); then the writer rewrites it without its first
// entry, and the file it wrote must read back with exactly the entries it says it kept.
#include "fuzz_support.h"

#include "archive/archive_errors.h"
#include "archive/archive_writer.h"
#include "platform/notice.h"

#include <QList>

namespace {

const QByteArray kPassword("qmt90315526hzrp");

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

void rewriteWithoutFirst()
{
    TArchiveWriter writer;
    writer.SetZipName(archivePath());
    writer.SetPasswordBytes(kPassword);
    writer.OpenArchive();
    if (writer.EntryCount() > 0)
        writer.SelectEntry(0, true);
    writer.DeleteSelected();
    const QList<QByteArray> kept = entryNames(writer);

    TArchiveReader check;
    check.SetZipName(archivePath());
    check.SetPasswordBytes(kPassword);
    check.OpenArchive();
    if (!check.HasDirectory() || entryNames(check) != kept)
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
        rewriteWithoutFirst();
    } catch (const Exception &) {
    }
    return 0;
}
