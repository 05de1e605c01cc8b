#include "doc_inspect.h"

#include "richtext/tables.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

namespace inspect {

bool Run::sameFormat(const Run &o) const
{
    return family == o.family && qFuzzyCompare(points, o.points) && bold == o.bold
        && italic == o.italic && strike == o.strike && underline == o.underline
        && color == o.color && background == o.background;
}

static Run runOf(const QString &text, const QTextCharFormat &f, const QFont &base)
{
    const QFont font = f.font().resolve(base);
    Run r;
    r.text = text;
    r.family = font.family();
    r.points = font.pointSizeF();
    r.bold = font.bold();
    r.italic = font.italic();
    r.strike = font.strikeOut();
    r.underline = f.hasProperty(QTextFormat::TextUnderlineStyle) ? f.underlineStyle()
                  : font.underline() ? QTextCharFormat::SingleUnderline
                                     : QTextCharFormat::NoUnderline;
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
        r.color = f.foreground().color();
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
        r.background = f.background().color();
    return r;
}

QList<Paragraph> describe(const QTextDocument &doc)
{
    QList<Paragraph> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        Paragraph p;
        p.text = b.text();
        const Qt::Alignment a = b.blockFormat().alignment();
        p.alignment = (a & Qt::AlignJustify) ? Qt::AlignJustify
                      : (a & Qt::AlignHCenter) ? Qt::AlignHCenter
                      : (a & Qt::AlignRight)   ? Qt::AlignRight
                                               : Qt::AlignLeft;
        if (const QTextList *list = b.textList()) {
            p.listStyle = list->format().style();
            p.listIndent = list->format().indent();
        }
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (!f.isValid())
                continue;
            Run r = runOf(f.text(), f.charFormat(), doc.defaultFont());
            if (!p.runs.isEmpty() && p.runs.back().sameFormat(r))
                p.runs.back().text += r.text;
            else
                p.runs.append(r);
        }
        out.append(p);
    }
    return out;
}

QStringList texts(const QTextDocument &doc)
{
    QStringList out = richtext::documentLines(doc);
    for (QString &line : out)
        line.remove(QChar(QChar::ObjectReplacementCharacter));
    return out;
}

static QString frameStructure(QTextFrame::iterator it)
{
    QStringList items;
    for (; !it.atEnd(); ++it) {
        if (auto *t = qobject_cast<QTextTable *>(it.currentFrame())) {
            QStringList rows;
            for (int r = 0; r < t->rows(); ++r) {
                QStringList cells;
                for (int c = 0; c < t->columns(); ++c) {
                    const QTextTableCell cell = t->cellAt(r, c);
                    if (cell.row() != r || cell.column() != c)
                        continue;
                    QString text = frameStructure(cell.begin());
                    if (cell.rowSpan() > 1 || cell.columnSpan() > 1)
                        text += QStringLiteral("{%1x%2}").arg(cell.rowSpan()).arg(cell.columnSpan());
                    cells.append(text);
                }
                rows.append(cells.join(QLatin1String(", ")));
            }
            items.append(u'[' + rows.join(QLatin1String("; ")) + u']');
        } else if (!it.currentFrame()) {
            items.append(u'"' + it.currentBlock().text() + u'"');
        }
    }
    return items.join(u' ');
}

QString structure(const QTextDocument &doc)
{
    return frameStructure(doc.rootFrame()->begin());
}

Run runWith(const Paragraph &p, const QString &text)
{
    for (const Run &r : p.runs)
        if (r.text.contains(text))
            return r;
    return {};
}

void startList(QTextCursor &cursor, QTextListFormat::Style style)
{
    QTextListFormat format;
    format.setStyle(style);
    format.setIndent(1);
    cursor.createList(format);
}

void PrintTo(const Run &r, std::ostream *os)
{
    *os << "\"" << r.text.toStdString() << "\" " << r.family.toStdString() << " " << r.points
        << "pt" << (r.bold ? " bold" : "") << (r.italic ? " italic" : "")
        << (r.strike ? " strike" : "") << " ul" << int(r.underline)
        << " fg" << (r.color.isValid() ? r.color.name().toStdString() : "auto")
        << " bg" << (r.background.isValid() ? r.background.name().toStdString() : "none");
}

void PrintTo(const Paragraph &p, std::ostream *os)
{
    *os << "[" << p.text.toStdString() << "] align " << int(p.alignment) << " list "
        << p.listStyle << "/" << p.listIndent << " runs:";
    for (const Run &r : p.runs) {
        *os << "\n    ";
        PrintTo(r, os);
    }
}

} // namespace inspect

void PrintTo(const QString &s, std::ostream *os)
{
    *os << "\"" << s.toStdString() << "\"";
}

void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << "{";
    for (const QString &s : l)
        *os << "\"" << s.toStdString() << "\", ";
    *os << "}";
}
