#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

// The text side of importing: which day a file's name stands for, how its bytes decode, and how
// a text, Markdown or HTML file divides into dated entries. No documents are built here and
// nothing touches the diary. Every function takes untrusted input and never throws for what it holds.
namespace diary_import {

// How the bytes of a text or Markdown file are decoded.
enum class Encoding {
    Auto,   // a byte-order mark (UTF-8, UTF-16) decides; else UTF-8 when the bytes are valid
            // UTF-8, else GBK (Windows code page 936)
    Utf8,   // UTF-8 whatever the bytes are (invalid sequences become U+FFFD); a UTF-8 BOM is dropped
    Gbk,    // GBK whatever the bytes are (invalid pairs become U+FFFD)
};

// The text of the bytes; *used (when given) is the encoding taken (Utf8 for UTF-16 too).
QString decodeText(const QByteArray &bytes, Encoding encoding, Encoding *used = nullptr);

// The day a file name (the name alone, without folders) stands for, or an invalid date. The
// name must begin with a date in one of these forms, with an optional extension or, after a
// space, "_", "-" or "(", any words:
//   2003-09-26   2003-9-26   2003.09.26   2003_09_26   20030926   2003年9月26日   2003年09月26日
// Years 1000 to 9999, a real calendar day. "2003-09-26.txt", "2003年9月26日.md",
// "20030926 游记.txt" and "2003.09.26" are named by a date; "2003-09.md", "200309261.txt" and
// "日记 2003-09-26.txt" are not.
QDate dateOfFileName(const QString &fileName);

enum class SourceKind { Text, Markdown, Rtf, Html, Unknown };

// What a file holds: by its extension (.txt/.text, .md/.markdown, .rtf, .htm/.html), bytes that
// begin with "{\rtf" being RTF whatever the extension; a file without an extension (or whose last
// dot is part of its date, "2003.09.26") as its bytes look: RTF, HTML, else text. Any other
// extension is Unknown.
SourceKind kindOf(const QString &fileName, const QByteArray &bytes);

// The two ways the exported formats write an entry's weather and mood, parsed: the meta line
// "天气：晴　心情：高兴" (either part may be missing; in Markdown wrapped in "*…*"). False when the
// line is no meta line or names a word the word tables do not hold; the indices are then -1.
bool parseMetaLine(const QString &line, int &weather, int &mood);

// One entry found in a source, before its body becomes a document.
struct SourceEntry {
    QDate date;
    int weather = -1;   // -1: none given
    int mood = -1;
    QString body;       // plain text, Markdown or HTML, as the source
};

// The entries of a source; refusal says why the source gives none (then entries is empty).
struct Split {
    QList<SourceEntry> entries;
    QString refusal;
};

// Divides a text (kind Text) or Markdown (kind Markdown) into entries. Line ends CR LF and CR
// count as LF.
//
// A source whose name gives a day (namedDay valid) is one entry of that day: the whole text is
// its body, except that a heading of that same day on its first non-blank line (a Markdown file
// exported one per entry) is taken off, with the meta line after it.
//
// Otherwise entries start at headings, in file order:
//   - Text as this program exports it: a line "2003-09-26" or "2003-09-26（星期五）", then
//     optionally the meta line, then a rule of exactly 40 "=". When a text holds such headings,
//     only they start entries; the body is every line up to the next heading, less the one blank
//     line that separates entries, each line as it is.
//   - Other text: a line that begins with "YYYY-MM-DD", alone or followed by a space and a time
//     or a title (or by "（星期X）"): the rest goes into the body as its first line.
//   - Markdown: "# YYYY-MM-DD…" or "## YYYY-MM-DD…" outside fenced code, the same rest into the
//     body's first paragraph; a meta line in "*…*" right after it (blank lines apart) gives
//     weather and mood.
// Blank lines around a body are dropped (for the exported text, only that one separating line).
// Before the first heading one line may stand (the title of an export), never more: such text
// belongs to no day, and the source is refused rather than losing it. A source with no heading
// and no day in its name is refused too.
Split splitText(const QString &text, SourceKind kind, const QDate &namedDay);

// Whether a line is a dated heading as splitText finds them in other text: "YYYY-MM-DD" alone,
// with a weekday "（星期五）", or followed by a blank and a title (*title, else empty).
bool datedHeading(QStringView line, QDate *date, QString *title);

// Divides HTML as this program exports it: each <article class="entry" data-date="YYYY-MM-DD"
// data-weather="…" data-mood="…"> is an entry, its body the HTML between "<!--entry-body-->"
// and "<!--/entry-body-->" (the article's inner HTML when they are missing); attribute values
// are unescaped. HTML without such articles is one entry of namedDay when that is valid, else
// refused. A data-date that is no real day refuses the whole source.
Split splitHtml(const QString &html, const QDate &namedDay);

// Every "&amp;", "&lt;", "&gt;", "&quot;", "&apos;" and "&#N;"/"&#xH;" reference replaced by its
// character; anything else left as it is.
QString unescapeHtml(const QString &text);

} // namespace diary_import
