#pragma once

#include "richtext/messages.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class QTextDocument;

// Rich text: diary entry records and other RTF, between GBK RTF bytes and the editor's
// QTextDocument. Paragraphs of the document are the editor's lines. Needs a QGuiApplication
// (fonts); never touches widgets.
//
// Errors: ELoadStreamError "Failed to Load Stream" (messages.h) for bytes that cannot be read.
// Damaged RTF never crashes or hangs the reader: unbalanced braces, cut escapes, huge numbers,
// huge \bin lengths and invalid GBK pairs (shown as U+FFFD) still give a document; only nesting
// deeper than the reader's cap makes RTF unreadable.
namespace richtext {

// Other writers' RTF: pictures (\pict) become images of the document (richtext/pictures.h),
// table rows (nested ones too) become document tables (richtext/tables.h), a footnote's text
// and pictures follow the body as a numbered paragraph with its number left in place, a field
// shows its result. Tables are written back as RTF rows.
// Replaces the document's content with the RTF bytes (the undo history is cleared). Throws
// ELoadStreamError when the bytes are not readable as RTF; the document is then empty.
void readRtf(const QByteArray &bytes, QTextDocument &doc);

// The same for RTF from outside (an imported file), with a budget: the reader stops as soon as
// what it has read would take more than about budget bytes as a record (rich_text.cpp,
// recordBytesOf), instead of building the whole document first; the document is then empty.
// Never throws for the bytes.
enum class ReadOutcome { Read, NotRtf, TooLarge };
ReadOutcome readRtfWithin(const QByteArray &bytes, QTextDocument &doc, qint64 budget);

// Replaces the document's content with a diary entry record: RTF, or when the bytes are not
// readable as RTF, plain GBK text whose lone CR, lone LF and CR LF end paragraphs (a final line
// break adds no empty paragraph; NUL bytes at the very end are ignored). Bytes that are neither
// (binary data holding NUL bytes) throw ELoadStreamError and leave the document empty.
void LoadRecord(const QByteArray &bytes, QTextDocument &doc);

// The document as RTF bytes, as the rich edit control streams them out on a GBK system.
QByteArray writeRtf(const QTextDocument &doc);

// The text of the first paragraph (pictures have none), which is removed from the document; the paragraph that
// follows keeps its own formats. When a table follows, the paragraph stays, emptied: the
// document keeps one in front of a table. A document of one paragraph is left with one empty paragraph.
// The removal cannot be undone (the undo history is cleared), so Undo never brings an index line
// back into the body.
QString takeFirstLine(QTextDocument &doc);

// The diary entry record of the document: the weather index and the mood index as decimal text
// in two paragraphs of their own in front of the body (weather on line 1, mood on line 2), in the
// character and paragraph format of the start of the body (never as list items). The document
// itself is not changed, so nothing needs taking out again, also when writing fails.
QByteArray SaveRecord(const QTextDocument &doc, int weather, int mood);

// The plain text of the document: paragraphs joined by CR LF, and a line break inside a
// paragraph also written as CR LF. Pictures have no text. A table row is one line, its cells
// separated by TAB (richtext/tables.h).
QString plainBody(const QTextDocument &doc);

// What the list page shows of a record. Exactly what LoadRecord, takeFirstLine twice and
// plainBody give, without building a document (pictures are walked past, never decoded), except
// that a body of pictures and no text reads kPictureSummary; throws the same error.
struct RecordSummary {
    QString line1;
    QString line2;
    QString body;
};
RecordSummary summarizeRecord(const QByteArray &bytes);
// The same, with nothing for bytes that are no record instead of the error. With a limit (not
// negative), each of line1, line2 and body holds at most limit characters, the first ones, and
// the text beyond what they need is not kept: a huge record costs a scan of its bytes, not
// their text. Whether the bytes are a record is decided on all of them. Plain text is decoded
// only as far as its first 8 × limit bytes, so a line longer than that (or a body made mostly of
// dropped control characters) comes out shorter than the exact prefix.
std::optional<RecordSummary> summarizeRecordIfReadable(const QByteArray &bytes,
                                                       qsizetype limit = -1);

// The plain text of each paragraph of RTF bytes, as readRtf would fill a document (pictures
// left out), without building one. Throws ELoadStreamError like readRtf.
QStringList rtfParagraphs(const QByteArray &bytes);

} // namespace richtext
