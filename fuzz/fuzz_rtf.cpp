// The input is an RTF record, read the list page's way: the reader runs into its light sinks (the
// summary, the paragraphs) and no document is built, so that many inputs run each second. A
// summary of limited length must be the start of the whole one and judge readability alike.
// The editor's way, through a document, is fuzz_rtf_document.
#include "fuzz_support.h"

#include "platform/exception.h"
#include "richtext/rich_text.h"

#include <QCoreApplication>

#include <optional>

namespace {

std::optional<richtext::RecordSummary> summaryOf(const QByteArray &bytes)
{
    try {
        return richtext::summarizeRecord(bytes);
    } catch (const Exception &) {
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzing::bytesOf(data, size);
    const auto whole = summaryOf(bytes);
    for (qsizetype limit : {qsizetype(3), qsizetype(64)}) {
        const auto part = richtext::summarizeRecordIfReadable(bytes, limit);
        if (part.has_value() != whole.has_value())
            fuzzing::fail("a limited summary disagrees on whether the record is readable");
        // Exactly the start when the plain text it decodes covers the whole record.
        if (part && bytes.size() <= 8 * limit
            && (part->line1 != whole->line1.left(limit) || part->line2 != whole->line2.left(limit)
                || part->body != whole->body.left(limit)))
            fuzzing::fail("a limited summary is not the start of the whole one");
    }
    try {
        richtext::rtfParagraphs(bytes);
    } catch (const Exception &) {
    }
    return 0;
}
