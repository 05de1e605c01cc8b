// The input is an RTF record, taken the editor's way: it is read into a document and written out
// again, and what was written must read back to the same text; the list page's summary of the
// record must be exactly what the editor's way (load, take two lines, plain body) gives. Slower
// than fuzz_rtf, which runs the reader into its light sinks alone.
#include "fuzz_support.h"

#include "platform/exception.h"
#include "richtext/rich_text.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <optional>

namespace {

std::optional<richtext::RecordSummary> summaryThroughDocument(const QByteArray &bytes)
{
    QTextDocument doc;
    try {
        richtext::LoadRecord(bytes, doc);
    } catch (const Exception &) {
        return std::nullopt;
    }
    richtext::RecordSummary summary;
    summary.line1 = richtext::takeFirstLine(doc);
    summary.line2 = richtext::takeFirstLine(doc);
    summary.body = richtext::plainBody(doc);
    // A body of pictures and no text is summarised as a picture.
    if (summary.body.trimmed().isEmpty()
        && doc.toRawText().contains(QChar(QChar::ObjectReplacementCharacter)))
        summary.body = richtext::kPictureSummary;
    return summary;
}

std::optional<richtext::RecordSummary> summaryWithoutDocument(const QByteArray &bytes)
{
    try {
        return richtext::summarizeRecord(bytes);
    } catch (const Exception &) {
        return std::nullopt;
    }
}

void roundTrip(const QByteArray &bytes)
{
    QTextDocument doc;
    try {
        richtext::readRtf(bytes, doc);
    } catch (const Exception &) {
        return;
    }
    const QByteArray written = richtext::writeRtf(doc);
    QTextDocument again;
    try {
        richtext::readRtf(written, again);
    } catch (const Exception &) {
        fuzzing::fail("the written RTF cannot be read");
    }
    if (richtext::plainBody(again) != richtext::plainBody(doc))
        fuzzing::fail("the written RTF reads back to another text");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Fonts and text layout need the application object; it lives as long as the process.
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzing::bytesOf(data, size);
    roundTrip(bytes);

    const auto viaDocument = summaryThroughDocument(bytes);
    const auto direct = summaryWithoutDocument(bytes);
    if (viaDocument.has_value() != direct.has_value())
        fuzzing::fail("the summary and the editor disagree on whether the record is readable");
    if (viaDocument
        && (viaDocument->line1 != direct->line1 || viaDocument->line2 != direct->line2
            || viaDocument->body != direct->body))
        fuzzing::fail("the summary differs from what the editor shows");
    return 0;
}
