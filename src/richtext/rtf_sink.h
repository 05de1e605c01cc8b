#pragma once

#include "rtf_formats.h"

#include <QString>
#include <QStringList>

// Where the RTF reader puts what it reads. The reader decides everything about the text (which
// bytes are body text, how they decode, where paragraphs end), so every sink receives the same
// text for the same input; a sink only decides what to keep.
//
// Calls arrive as: text()* endParagraph() ... and the document's last paragraph, when it has
// content after the last \par, is ended by one more endParagraph(). A final \par therefore adds
// no empty paragraph, and a document without any paragraph is a single empty one.
namespace richtext {

class RtfSink
{
public:
    virtual ~RtfSink() = default;

    // Whether the sink looks at formats at all; when false the reader passes default formats
    // and spares itself resolving fonts and colours.
    virtual bool wantsFormats() const { return true; }

    // Text of the current paragraph. It never holds a paragraph break: a line break inside the
    // paragraph is U+2028, and other control characters apart from TAB have been removed.
    virtual void text(const QString &text, const RunFormat &format) = 0;

    // Ends the current paragraph with the paragraph format in force at its end; mark is the
    // character format in force there (what an empty paragraph is typed in).
    virtual void endParagraph(const ParaFormat &format, const RunFormat &mark) = 0;

    // Whether the sink wants the bytes of pictures; when false the reader walks past their data
    // without collecting it and picture() receives a picture without data.
    virtual bool wantsPictures() const { return wantsFormats(); }

    // A picture in the current paragraph, at the place it appears in the text.
    virtual void picture(const Picture &, const RunFormat &) {}

    // A table, whole, between two paragraphs: the paragraph before it has ended, and what
    // follows starts a new paragraph. Two tables always have a paragraph between them. By
    // default the table arrives as its plain text (tables.h: tableLines), each line a
    // paragraph, a line with a picture holding one picture without data.
    virtual void table(const Table &table);

    // True once the sink wants nothing more (it has reached a limit of its own): the reader then
    // ends as at the end of the bytes. Asked at control words and group ends.
    virtual bool stopped() const { return false; }
};

// Where pictures and tables stand among the paragraphs of plain text, as far as the index
// lines of a record need it.
class ParagraphShape
{
public:
    void picture(qsizetype paragraph)
    {
        m_lastPicture = paragraph;
        if (paragraph < kTracked)
            m_pictures |= 1u << paragraph;
    }
    void table(qsizetype firstLine)
    {
        if (firstLine < kTracked)
            m_tables |= 1u << firstLine;
    }

    // The number of the last paragraph holding a picture (0 = the first); -1 without pictures.
    qsizetype lastPictureParagraph() const { return m_lastPicture; }
    // Whether the paragraph holds a picture; known for the first few paragraphs only.
    bool hasPicture(qsizetype paragraph) const
    {
        return paragraph >= 0 && paragraph < kTracked && (m_pictures >> paragraph) & 1u;
    }
    // Whether a table's first line is this paragraph; known for the first few only.
    bool tableStartsAt(qsizetype paragraph) const
    {
        return paragraph >= 0 && paragraph < kTracked && (m_tables >> paragraph) & 1u;
    }

private:
    static constexpr qsizetype kTracked = 32;
    qsizetype m_lastPicture = -1;
    quint32 m_pictures = 0;
    quint32 m_tables = 0;
};

// Collects the plain text of each paragraph, nothing else: the fast way to the text of a
// record without building a document.
class PlainTextSink : public RtfSink
{
public:
    bool wantsFormats() const override { return false; }
    void text(const QString &text, const RunFormat &) override { m_current += text; }
    void endParagraph(const ParaFormat &, const RunFormat &) override
    {
        m_paragraphs.append(m_current);
        m_current.clear();
    }

    void picture(const Picture &, const RunFormat &) override
    {
        m_shape.picture(m_paragraphs.size());
    }

    void table(const Table &table) override
    {
        m_shape.table(m_paragraphs.size());
        RtfSink::table(table);
    }

    const QStringList &paragraphs() const { return m_paragraphs; }
    const ParagraphShape &shape() const { return m_shape; }

private:
    ParagraphShape m_shape;
    QStringList m_paragraphs;
    QString m_current;
};

} // namespace richtext
