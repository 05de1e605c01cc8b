#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <functional>
#include <memory>

class QPainter;
class QPrinter;
class QTextDocument;
class QTextEdit;

// Printing the open entry: a red heading of date, weather and mood above a line of stars, then
// the entry's body with its own formatting, page after page over the printer's printable area.
namespace printing {

// The heading's size in points.
constexpr int kHeadingPoints = 12;

// The line of stars under the heading.
inline const QString kStarLine = QString(39, QLatin1Char('*'));

// The heading's parts: the date label's text and the weather and mood items' texts (empty for a
// box without a selected item).
struct Heading {
    QString date;
    QString weather;
    QString mood;

    // Date, weather item, two spaces, mood item.
    QString line() const { return date + weather + QStringLiteral("  ") + mood; }
};

// The heading's character format: the font at kHeadingPoints, red.
QTextCharFormat headingFormat(const QFont &font);

// What is printed for an entry: a copy of the body with the heading line, the star line and an
// empty line ahead of it, in the heading format and left-aligned; the body keeps its own
// formatting (a centred first paragraph stays centred). The body's document is not touched.
std::unique_ptr<QTextDocument> headedCopy(const QTextDocument &body, const QString &heading,
                                          const QTextCharFormat &format);

// A copy of a document laid out in pages of a given size. Sizes are in pixels of a device of
// the given resolution; the text is laid out as on a 96 dpi screen and scaled to the device,
// so sizes given in pixels print at the size they have on such a screen. Each page starts at
// its top-left corner, without added margins; a line never straddles two pages.
class PagedDocument
{
public:
    // textColour is the colour of text that has none of its own (the editor's text colour).
    PagedDocument(const QTextDocument &source, const QColor &textColour, const QSizeF &pageSize,
                  qreal dpiX, qreal dpiY);
    ~PagedDocument();

    int pageCount() const;
    // Paints page index (from 0) with its top-left corner at the painter's origin.
    void paintPage(QPainter &painter, int index) const;
    // The copy, laid out.
    const QTextDocument &document() const { return *m_document; }

private:
    QImage m_screen;   // the 96 dpi device the copy is laid out for
    std::unique_ptr<QTextDocument> m_document;
    QColor m_textColour;
    QSizeF m_layoutPage;
    qreal m_scaleX;
    qreal m_scaleY;
};

// Prints the whole document on printer as a job titled title: every page over the printable
// area. Throws EPrinter when the printer is not valid or cannot be opened (no printer
// installed, an output file that cannot be written) and when the job breaks off.
void printDocument(const QTextDocument &document, const QColor &textColour, QPrinter &printer,
                   const QString &title);

// Prints the editor's content under the heading: asks confirm (the print dialog; no function
// means yes), then prints headedCopy() of the editor's document (heading format made of
// headingFont) on printer with the date as the job's title. The editor, its text, caret and
// undo history stay exactly as they were, during the dialog too, so nothing that stores the
// entry meanwhile can take the heading with it. Throws as printDocument does.
void printEntry(const QTextEdit *editor, const Heading &heading, const QFont &headingFont,
                QPrinter &printer, const std::function<bool(QPrinter &)> &confirm = {});

} // namespace printing
