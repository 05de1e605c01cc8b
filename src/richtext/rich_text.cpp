#include "rich_text.h"

#include "code_pages.h"
#include "document_sink.h"
#include "rtf_reader.h"
#include "rtf_writer.h"
#include "tables.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <optional>

namespace richtext {

namespace {

// For edits the user cannot undo (loading, taking out an index line): the undo history is
// cleared, the document's undo setting is kept.
class UndoPause
{
public:
    explicit UndoPause(QTextDocument &doc) : m_doc(doc), m_wasEnabled(doc.isUndoRedoEnabled())
    {
        m_doc.setUndoRedoEnabled(false);
    }
    ~UndoPause() { m_doc.setUndoRedoEnabled(m_wasEnabled); }

private:
    QTextDocument &m_doc;
    bool m_wasEnabled;
};

// About how many bytes what the sink receives takes in a record: two bytes a character (GBK,
// and escapes are rarer than single-byte letters), a few for each paragraph mark, two a
// picture's byte (hex). Near enough to stop a reader long before a document beyond the limit
// is built.
qint64 recordBytesOf(const QString &text) { return 2 * qint64(text.size()); }
constexpr qint64 kParagraphBytes = 6;

qint64 recordBytesOf(const Table &table)
{
    qint64 bytes = 0;
    for (const TableRow &row : table.rows) {
        for (const TableCell &cell : row.cells) {
            for (const TableItem &item : cell.content) {
                bytes += kParagraphBytes + recordBytesOf(item.text) + 2 * qint64(item.picture.data.size());
                if (item.table)
                    bytes += recordBytesOf(*item.table);
            }
        }
    }
    return bytes;
}

// A document sink that stops the reader once what it has received would make a record larger
// than the budget.
class BoundedSink : public DocumentSink
{
public:
    BoundedSink(QTextDocument &doc, qint64 budget) : DocumentSink(doc), m_budget(budget) {}
    void text(const QString &text, const RunFormat &format) override
    {
        m_bytes += recordBytesOf(text);
        if (!stopped())
            DocumentSink::text(text, format);
    }
    void endParagraph(const ParaFormat &format, const RunFormat &mark) override
    {
        m_bytes += kParagraphBytes;
        if (!stopped())
            DocumentSink::endParagraph(format, mark);
    }
    void picture(const Picture &picture, const RunFormat &format) override
    {
        m_bytes += 2 * qint64(picture.data.size());
        if (!stopped())
            DocumentSink::picture(picture, format);
    }
    void table(const Table &table) override
    {
        m_bytes += recordBytesOf(table);
        if (!stopped())
            DocumentSink::table(table);
    }
    bool stopped() const override { return m_budget >= 0 && m_bytes > m_budget; }

private:
    qint64 m_budget;
    qint64 m_bytes = 0;
};

bool loadRtf(const QByteArray &bytes, QTextDocument &doc)
{
    UndoPause pause(doc);
    doc.clear();
    bool ok = false;
    {
        DocumentSink sink(doc);
        ok = parseRtf(bytes, sink);
    }
    if (!ok)
        doc.clear();
    return ok;
}

// The paragraphs of a record read as plain text, or nothing when the bytes are not text. With
// a limit, only the first bytes are decoded (see summarizeRecordIfReadable).
std::optional<QStringList> plainTextParagraphs(const QByteArray &bytes, qsizetype limit = -1)
{
    QByteArrayView view(bytes);
    while (view.endsWith('\0'))
        view.chop(1);
    if (view.contains('\0'))
        return std::nullopt;
    const qsizetype decoded = limit < 0 ? view.size() : qMin(view.size(), 8 * limit);
    TextDecoder decoder;
    QString text = decoder.decode(view.first(decoded), kGbkCodePage);
    // A cut may split the last character's bytes: it is left out.
    if (decoded < view.size() && !text.isEmpty())
        text.chop(text.back().isLowSurrogate() && text.size() > 1 ? 2 : 1);
    QStringList paragraphs;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        paragraphs.append(paragraphText(text.mid(start, i - start)));
        if (text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        paragraphs.append(paragraphText(text.mid(start)));
    return paragraphs;
}

void fillPlain(const QStringList &paragraphs, QTextDocument &doc)
{
    UndoPause pause(doc);
    doc.clear();
    QTextCursor cursor(&doc);
    cursor.beginEditBlock();
    for (qsizetype i = 0; i < paragraphs.size(); ++i) {
        if (i > 0)
            cursor.insertBlock();
        cursor.insertText(paragraphs[i]);
    }
    cursor.endEditBlock();
}

// A picture stands in the paragraph's text as an object replacement character; plain text has
// none of it.
QString plainParagraph(QString text)
{
    text.remove(QChar(QChar::ObjectReplacementCharacter));
    return text.replace(QChar(QChar::LineSeparator), QLatin1String("\r\n"));
}

struct RtfText {
    QStringList paragraphs;
    ParagraphShape shape;
};

std::optional<RtfText> rtfParagraphsIfReadable(const QByteArray &bytes)
{
    PlainTextSink sink;
    if (!parseRtf(bytes, sink))
        return std::nullopt;
    return RtfText{sink.paragraphs(), sink.shape()};
}

// The first paragraphs of RTF, as many characters as a summary of that limit needs: line 1,
// line 2 and the body's first paragraphs, each part cut after limit characters. The reader
// still reads every byte, so the bytes are judged as RTF exactly as readRtf judges them.
class SummarySink : public RtfSink
{
public:
    explicit SummarySink(qsizetype limit) : m_limit(limit) {}

    bool wantsFormats() const override { return false; }
    void text(const QString &text, const RunFormat &) override
    {
        if (m_full)
            return;
        m_current += QStringView(text).first(qMin(text.size(), m_limit - m_current.size()));
    }
    void endParagraph(const ParaFormat &, const RunFormat &) override
    {
        if (m_full)
            return;
        m_paragraphs.append(m_current);
        m_current.clear();
        // Past the index lines, the body's paragraphs and the breaks between them count
        // together: enough once the body joined so far reaches the limit.
        if (m_paragraphs.size() > 2) {
            m_body += (m_paragraphs.size() > 3 ? 2 : 0) + m_paragraphs.last().size();
            m_full = m_body >= m_limit;
        }
    }

    void picture(const Picture &, const RunFormat &) override
    {
        m_shape.picture(m_paragraphs.size());
    }

    void table(const Table &table) override
    {
        m_shape.table(m_paragraphs.size());
        if (!m_full)
            RtfSink::table(table);
    }

    const QStringList &paragraphs() const { return m_paragraphs; }
    const ParagraphShape &shape() const { return m_shape; }

private:
    qsizetype m_limit;
    ParagraphShape m_shape;
    qsizetype m_body = 0;
    bool m_full = false;
    QStringList m_paragraphs;
    QString m_current;
};

std::optional<RtfText> rtfSummaryIfReadable(const QByteArray &bytes, qsizetype limit)
{
    if (limit < 0)
        return rtfParagraphsIfReadable(bytes);
    SummarySink sink(limit);
    if (!parseRtf(bytes, sink))
        return std::nullopt;
    return RtfText{sink.paragraphs(), sink.shape()};
}

// Takes the index lines off the paragraphs the way takeFirstLine takes them off a document. A
// document keeps a paragraph in front of a table: an index line directly followed by a table
// leaves an empty paragraph there, which the next line is taken from, and which is no text of
// the body (tables.h).
struct IndexLines {
    QString line1;
    QString line2;
    qsizetype bodyStart = 0;
};

IndexLines takeIndexLines(const QStringList &paragraphs, const ParagraphShape &shape)
{
    IndexLines out;
    qsizetype pos = 0;
    bool emptyInFront = false;   // the document's first paragraph is the one kept before a table
    const auto take = [&]() -> QString {
        if (emptyInFront)
            return QString();
        if (shape.tableStartsAt(pos) || pos >= paragraphs.size()) {
            emptyInFront = shape.tableStartsAt(pos);
            return QString();
        }
        const QString line = paragraphs[pos++];
        emptyInFront = shape.tableStartsAt(pos);
        return line;
    };
    out.line1 = take();
    out.line2 = take();
    if (!emptyInFront && pos < paragraphs.size() && paragraphs[pos].isEmpty()
        && !shape.hasPicture(pos) && !shape.tableStartsAt(pos) && shape.tableStartsAt(pos + 1))
        ++pos;
    out.bodyStart = pos;
    return out;
}

} // namespace

void readRtf(const QByteArray &bytes, QTextDocument &doc)
{
    if (!loadRtf(bytes, doc))
        throw ELoadStreamError(kFailedToLoadStream);
}

ReadOutcome readRtfWithin(const QByteArray &bytes, QTextDocument &doc, qint64 budget)
{
    UndoPause pause(doc);
    doc.clear();
    bool read = false;
    bool tooLarge = false;
    {
        BoundedSink sink(doc, budget);
        read = parseRtf(bytes, sink);
        tooLarge = sink.stopped();
    }
    if (read && !tooLarge)
        return ReadOutcome::Read;
    doc.clear();
    return tooLarge ? ReadOutcome::TooLarge : ReadOutcome::NotRtf;
}

void LoadRecord(const QByteArray &bytes, QTextDocument &doc)
{
    if (loadRtf(bytes, doc))
        return;
    const std::optional<QStringList> paragraphs = plainTextParagraphs(bytes);
    if (!paragraphs)
        throw ELoadStreamError(kFailedToLoadStream);
    fillPlain(*paragraphs, doc);
}

QByteArray writeRtf(const QTextDocument &doc)
{
    return writeRtfDocument(doc);
}

QString takeFirstLine(QTextDocument &doc)
{
    // Not an edit the user can undo: an index line brought back by Undo would be saved as text.
    UndoPause pause(doc);
    const QTextBlock first = doc.begin();
    const QString text = first.text().remove(QChar(QChar::ObjectReplacementCharacter));
    QTextCursor cursor(&doc);
    const QTextBlock second = first.next();
    if (second.isValid() && QTextCursor(second).currentFrame() != doc.rootFrame()) {
        // A table follows: the document keeps a paragraph in front of it, emptied.
        cursor.setPosition(first.position());
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    } else if (second.isValid()) {
        // Removing the first paragraph with the break that ends it leaves the block that
        // follows, with its own formats and list membership.
        cursor.setPosition(first.position());
        cursor.setPosition(second.position(), QTextCursor::KeepAnchor);
    } else {
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
    return text;
}

QByteArray SaveRecord(const QTextDocument &doc, int weather, int mood)
{
    return writeRtfDocument(doc, {QString::number(weather), QString::number(mood)});
}

QString plainBody(const QTextDocument &doc)
{
    QStringList paragraphs = documentLines(doc);
    for (QString &p : paragraphs)
        p = plainParagraph(std::move(p));
    return paragraphs.join(QLatin1String("\r\n"));
}

RecordSummary summarizeRecord(const QByteArray &bytes)
{
    std::optional<RecordSummary> summary = summarizeRecordIfReadable(bytes);
    if (!summary)
        throw ELoadStreamError(kFailedToLoadStream);
    return std::move(*summary);
}

std::optional<RecordSummary> summarizeRecordIfReadable(const QByteArray &bytes, qsizetype limit)
{
    std::optional<QStringList> paragraphs;
    ParagraphShape shape;
    if (std::optional<RtfText> rtf = rtfSummaryIfReadable(bytes, limit)) {
        paragraphs = std::move(rtf->paragraphs);
        shape = rtf->shape;
    } else {
        paragraphs = plainTextParagraphs(bytes, limit);
    }
    if (!paragraphs)
        return std::nullopt;
    RecordSummary summary;
    const IndexLines lines = takeIndexLines(*paragraphs, shape);
    summary.line1 = lines.line1;
    summary.line2 = lines.line2;
    // Past the two index lines.
    const bool bodyPictures = shape.lastPictureParagraph() >= lines.bodyStart
                              && shape.lastPictureParagraph() >= 0;
    paragraphs->remove(0, lines.bodyStart);
    for (QString &p : *paragraphs)
        p = plainParagraph(std::move(p));
    summary.body = paragraphs->join(QLatin1String("\r\n"));
    if (bodyPictures && summary.body.trimmed().isEmpty())
        summary.body = kPictureSummary;
    if (limit >= 0) {
        for (QString *part : {&summary.line1, &summary.line2, &summary.body}) {
            if (part->size() > limit)
                *part = QStringView(*part).first(limit).toString();
        }
    }
    return summary;
}

QStringList rtfParagraphs(const QByteArray &bytes)
{
    std::optional<RtfText> rtf = rtfParagraphsIfReadable(bytes);
    if (!rtf)
        throw ELoadStreamError(kFailedToLoadStream);
    return rtf->paragraphs;
}

} // namespace richtext
