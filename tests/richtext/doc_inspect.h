#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextCharFormat>
#include <QTextListFormat>

#include <ostream>

class QTextCursor;
class QTextDocument;

// What a test compares of a document: per paragraph its text, alignment, list membership and
// its runs of equal character format (adjacent fragments of equal format merged).
namespace inspect {

struct Run {
    QString text;
    QString family;
    double points = 0;
    bool bold = false;
    bool italic = false;
    bool strike = false;
    QTextCharFormat::UnderlineStyle underline = QTextCharFormat::NoUnderline;
    QColor color;        // invalid: automatic
    QColor background;   // invalid: none

    bool sameFormat(const Run &o) const;
    bool operator==(const Run &o) const { return text == o.text && sameFormat(o); }
};

struct Paragraph {
    QString text;
    Qt::Alignment alignment = Qt::AlignLeft;
    int listStyle = 0;   // QTextListFormat::Style, 0 outside a list
    int listIndent = 0;
    QList<Run> runs;

    bool operator==(const Paragraph &o) const = default;
};

QList<Paragraph> describe(const QTextDocument &doc);
// The document's plain text line by line (a table row is a line, its cells TAB-separated).
QStringList texts(const QTextDocument &doc);

// Paragraphs as "text", tables as [cell, cell; cell, cell] with a cell's content inside and
// its span as {rows x columns} when it spans: every block the document holds, in order.
QString structure(const QTextDocument &doc);

// The run of a paragraph holding the given text, or a run with empty text.
Run runWith(const Paragraph &p, const QString &text);

// Makes the cursor's paragraph the first item of a new list of that style, one level deep.
void startList(QTextCursor &cursor, QTextListFormat::Style style);

void PrintTo(const Run &r, std::ostream *os);
void PrintTo(const Paragraph &p, std::ostream *os);

} // namespace inspect

// Readable failures for Qt strings.
void PrintTo(const QString &s, std::ostream *os);
void PrintTo(const QStringList &l, std::ostream *os);
