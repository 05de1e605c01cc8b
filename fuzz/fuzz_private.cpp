// The input is a whole private diary archive, opened with the fixed test key as the window opens
// a private diary: its header parsed (never unlocked: that would derive with whatever memory the
// header asks for, which the header's limits bound but a fuzzer cannot afford), every entry
// listed and every entry read by name. Properties: the listing has a row for every entry the
// directory holds (unless it stopped at an error, which it reports), an entry that reads by name
// is readable in the listing too, and a record that opens seals and opens again to itself.
#include "fuzz_support.h"
#include "fuzz_private.h"

#include "archive/archive_reader.h"
#include "crypto/entry_seal.h"
#include "crypto/private_header.h"
#include "diary/diary_book.h"
#include "platform/exception.h"

#include <QGuiApplication>

namespace {

QString archivePath()
{
    static const QString path = fuzzing::scratchFolder() + QLatin1String("/private");
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The records are decoded into text documents, which need a Gui application.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const DiaryKey key = fuzzing::privateTestKey();
    fuzzing::writeFile(archivePath(), data, size);
    TArchiveReader reader;
    reader.SetZipName(archivePath());
    try {
        if (const std::optional<PrivateHeader> header = diary::privateHeaderOf(reader)) {
            if (PrivateHeader::parse(header->text()).text() != header->text())
                fuzzing::fail("a parsed header prints back to other text");
        }
    } catch (const Exception &) {
        // A damaged or later header: the diary is refused as a whole, which is all there is to it.
    }

    diary::Listing listing;
    try {
        listing = diary::listEntries(reader, &key);
    } catch (const Exception &) {
        return 0;   // not a private archive, or no archive at all: refused before any entry
    }
    if (!listing.error && listing.rows.size() != reader.EntryCount())
        fuzzing::fail("a complete listing lacks rows");
    for (const diary::ListRow &row : std::as_const(listing.rows)) {
        diary::EntryProblem problem = diary::EntryProblem::None;
        QByteArray record;
        try {
            record = diary::readEntry(reader, row.nameBytes, &problem, &key);
        } catch (const Exception &) {
            continue;
        }
        if (problem != diary::EntryProblem::None)
            continue;
        const QByteArray payload = entry_seal::seal(key, row.nameBytes, record);
        const entry_seal::OpenResult again = entry_seal::open(key, row.nameBytes, payload);
        if (again.status != entry_seal::OpenStatus::Opened || again.record != record)
            fuzzing::fail("a record that opened does not seal and open again to itself");
    }
    return 0;
}
