#include "pages/printing.h"
#include "export/pdf_text.h"
#include "pages/page_errors.h"
#include "pages/rich_format.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

namespace printing {

namespace {

constexpr int kInsertedLines = 3;   // heading, stars, empty line

// The resolution the printed text is laid out at: that of the screen the editor was designed
// for, so that a font given in pixels keeps its size on paper.
constexpr qreal kLayoutDpi = 96;
constexpr int kLayoutDotsPerMeter = 3780;   // 96 dpi

[[noreturn]] void fail(QPrinter &printer, const QString &message)
{
    printer.abort();
    throw EPrinter(message);
}

void setParagraphFormats(QTextCursor &cursor, const QTextBlockFormat &block,
                         const QTextCharFormat &chars)
{
    cursor.setBlockFormat(block);
    cursor.setBlockCharFormat(chars);
}

} // namespace

QTextCharFormat headingFormat(const QFont &font)
{
    QFont sized = font;
    sized.setPointSize(kHeadingPoints);
    return rich_format::fontFormat(sized, Qt::red);
}

std::unique_ptr<QTextDocument> headedCopy(const QTextDocument &body, const QString &heading,
                                          const QTextCharFormat &format)
{
    std::unique_ptr<QTextDocument> document(body.clone());
    document->setUndoRedoEnabled(false);
    QTextCursor cursor(document.get());
    const QTextBlockFormat bodyFormat = cursor.blockFormat();
    const QTextCharFormat bodyCharFormat = cursor.blockCharFormat();
    QTextBlockFormat left;
    left.setAlignment(Qt::AlignLeft);
    for (int i = 0; i < kInsertedLines; ++i)
        cursor.insertBlock();
    // A new paragraph takes over the format of the one it was split from; which of the two
    // keeps the body's text is the document's business, so every format is set here.
    cursor.movePosition(QTextCursor::Start);
    for (int i = 0; i < kInsertedLines; ++i) {
        setParagraphFormats(cursor, left, format);
        cursor.movePosition(QTextCursor::NextBlock);
    }
    setParagraphFormats(cursor, bodyFormat, bodyCharFormat);
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(heading, format);
    cursor.movePosition(QTextCursor::NextBlock);
    cursor.insertText(kStarLine, format);
    return document;
}

PagedDocument::PagedDocument(const QTextDocument &source, const QColor &textColour,
                             const QSizeF &pageSize, qreal dpiX, qreal dpiY)
    : m_screen(1, 1, QImage::Format_ARGB32_Premultiplied),
      m_document(source.clone()),
      m_textColour(textColour),
      m_scaleX(dpiX / kLayoutDpi),
      m_scaleY(dpiY / kLayoutDpi)
{
    m_screen.setDotsPerMeterX(kLayoutDotsPerMeter);
    m_screen.setDotsPerMeterY(kLayoutDotsPerMeter);
    m_layoutPage = QSizeF(pageSize.width() / m_scaleX, pageSize.height() / m_scaleY);
    m_document->documentLayout()->setPaintDevice(&m_screen);
    m_document->setDocumentMargin(0);
    m_document->setPageSize(m_layoutPage);
}

PagedDocument::~PagedDocument() = default;

int PagedDocument::pageCount() const
{
    return m_document->pageCount();
}

void PagedDocument::paintPage(QPainter &painter, int index) const
{
    const QRectF view(QPointF(0, index * m_layoutPage.height()), m_layoutPage);
    painter.save();
    painter.scale(m_scaleX, m_scaleY);
    painter.translate(0, -view.top());
    painter.setClipRect(view, Qt::IntersectClip);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = view;
    context.palette.setColor(QPalette::Text, m_textColour);
    m_document->documentLayout()->draw(&painter, context);
    painter.restore();
}

void printDocument(const QTextDocument &document, const QColor &textColour, QPrinter &printer,
                   const QString &title)
{
    if (!printer.isValid())
        throw EPrinter(page_texts::kNoDefaultPrinter);
    printer.setDocName(title);
    QPainter painter;
    if (!painter.begin(&printer)) {
        const QString file = printer.outputFileName();
        throw EPrinter(file.isEmpty() ? page_texts::kNoDefaultPrinter
                                      : page_texts::kCannotCreateFile.arg(file));
    }

    const QRectF area = printer.pageLayout().paintRectPixels(printer.resolution());
    const PagedDocument pages(document, textColour, area.size(), printer.logicalDpiX(),
                              printer.logicalDpiY());
    // A printer that cannot make copies itself gets the pages again, copy after copy.
    const int copies = printer.supportsMultipleCopies() ? 1 : qMax(1, printer.copyCount());
    bool first = true;
    for (int copy = 0; copy < copies; ++copy) {
        for (int page = 0; page < pages.pageCount(); ++page) {
            if (!first && !printer.newPage())
                fail(printer, page_texts::kPrintingFailed);
            first = false;
            painter.save();
            if (printer.fullPage())
                painter.translate(area.topLeft());
            pages.paintPage(painter, page);
            painter.restore();
        }
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        throw EPrinter(page_texts::kPrintingFailed);
    // Qt's PDF engine names some CJK glyphs by their radicals (⽉ for 月) and those of characters
    // beyond U+FFFF (😀, 𠀀) not at all: the file is mended so that its text reads back as printed.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()
        && !diary_export::mendToUnicodeFile(printer.outputFileName(), diary_export::drawnBeyondBmp(pages.document())))
        throw EPrinter(page_texts::kCannotCreateFile.arg(printer.outputFileName()));
}

void printEntry(const QTextEdit *editor, const Heading &heading, const QFont &headingFont,
                QPrinter &printer, const std::function<bool(QPrinter &)> &confirm)
{
    if (confirm && !confirm(printer))
        return;
    const std::unique_ptr<QTextDocument> page =
        headedCopy(*editor->document(), heading.line(), headingFormat(headingFont));
    printDocument(*page, editor->palette().color(QPalette::Active, QPalette::Text), printer, heading.date);
}

} // namespace printing
