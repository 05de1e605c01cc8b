#include "export/diary_export.h"

#include "archive/archive_lock.h"
#include "archive/archive_reader.h"
#include "diary/diary_book.h"
#include "export/body_files.h"
#include "export/export_errors.h"
#include "export/odf_package.h"
#include "export/pdf_text.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "richtext/tables.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextFrame>
#include <QTextTable>
#include <QTextLayout>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextDocumentWriter>
#include <QTextList>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>
#include <optional>
#include <vector>

namespace diary_export {

namespace {

const QString kRule = QString(40, QLatin1Char('='));
const QChar kObject(0xFFFC);   // where a picture stands in a paragraph's text

// Book margins in millimetres: more room inside (binding) and at the foot (the page number).
constexpr qreal kMarginInner = 25;
constexpr qreal kMarginOuter = 20;
constexpr qreal kMarginTop = 20;
constexpr qreal kMarginBottom = 25;
// The page number's band at the foot of the text area, in layout pixels.
constexpr qreal kFooterHeight = 28;
// Text is laid out as on a 96 dpi screen and scaled to the PDF's resolution (as printing does),
// so sizes given in pixels keep their size on paper.
constexpr qreal kLayoutDpi = 96;
constexpr int kLayoutDotsPerMeter = 3780;
constexpr int kHeadingPoints = 14;
// How far inside a page's edges the lines to draw on it are looked for, in layout pixels: less
// than any line is high.
constexpr qreal kPageEdge = 1;
constexpr int kMetaPoints = 11;

// ---- output files ----

// Why an output file or folder was not written, in words.
QString refusalOf(const QString &path, const files::AtomicWriter &out)
{
    if (out.refusal() == files::AtomicWriter::Refusal::ForeignLink)
        return export_text::linkRefused(path);
    return export_text::cannotWrite(path);
}

// An export's output file: made as the user's own, 0600 (or as loosened by the user, when it
// replaces the user's file), without following a link anyone else made
// (files::AtomicWriter::FollowOwnLinks), whole under its name or not at all.
class OutputFile
{
public:
    explicit OutputFile(const QString &path)
        : m_path(path), m_out(path, files::AtomicWriter::FollowOwnLinks, files::AtomicWriter::Permissions::Private)
    {
        if (!m_out.isOpen())
            throw EExportWrite(refusalOf(path, m_out));
        // What an export of the same file stopped halfway left beside it.
        m_out.removeOtherLeftovers();
    }
    void write(const QString &text) { write(text.toUtf8()); }
    void write(const QByteArray &bytes)
    {
        if (!m_out.write(bytes))
            throw EExportWrite(export_text::cannotWrite(m_path));
    }
    void commit()
    {
        if (!m_out.commit())
            throw EExportWrite(export_text::cannotWrite(m_path));
    }

private:
    QString m_path;
    files::AtomicWriter m_out;
};

// A folder of the export inside one held open (a year, the pictures beside a Markdown file): made
// 0700 when missing, opened without following a link, the user's own.
files::Folder exportFolder(const files::Folder &parent, const QString &name)
{
    files::Folder folder = parent.child(name, ::geteuid(), ::getegid(), true, 0700, false);
    if (!folder.isOpen())
        throw EExportWrite(export_text::cannotMakeFolder(parent.filePath(name)));
    return folder;
}

// The folder the user named for a file per entry: made 0700 (with any missing parents) when
// missing; a link there is followed only when the user made it and it leads into the user's own
// folder, as for an output file.
files::Folder outputFolder(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    struct stat st;
    QString target = absolute;
    if (::lstat(QFile::encodeName(absolute).constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        target = files::followLinks(absolute, nullptr, ::geteuid());
        struct stat folder;
        if (target.isEmpty() || ::stat(QFile::encodeName(target).constData(), &folder) != 0
            || folder.st_uid != ::geteuid())
            throw EExportWrite(export_text::linkRefused(path));
    } else if (!files::makePrivateFolders(absolute)) {
        throw EExportWrite(export_text::cannotMakeFolder(path));
    }
    files::Folder folder = files::Folder::open(target);
    if (!folder.isOpen())
        throw EExportWrite(export_text::cannotMakeFolder(path));
    return folder;
}

QString htmlEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString entryId(const QDate &date)
{
    return QStringLiteral("d") + date.toString(Qt::ISODate);
}

// A picture of an entry's Markdown, to be written as a file beside it.
struct PictureOut {
    QString path;   // from the Markdown's folder, as the Markdown links it
    QByteArray data;
};

// One entry's part of the output, in UTF-8, with the pictures it links.
struct Part {
    QByteArray text;
    QList<PictureOut> pictures;
};

// One entry as the writers get it.
struct Entry {
    QDate date;
    QString weather;
    QString mood;
    const QTextDocument *body;
};

// ---- the writers ----

// Text, Markdown and HTML make each entry's part of the output from that entry alone (render),
// which the export does on helper threads, and write the parts in order (put). PDF and ODF
// gather every entry into one document (add).
class Writer
{
public:
    virtual ~Writer() = default;
    virtual bool rendersAlone() const { return true; }
    // The entry's part of the output. Called on any thread.
    virtual Part render(const Entry &) const { return {}; }
    virtual void put(const QDate &, const Part &) {}
    virtual void add(const Entry &entry) { put(entry.date, render(entry)); }
    // Everything written; the output put in place.
    virtual void finish(ExportReport &report) = 0;
};

// Plain text:
//     羽书手札 · NAME 的日记
//     <blank>
//     2003-09-26（星期五）
//     天气：晴　心情：高兴
//     ========================================
//     <body lines as they are>
//     <blank>
class TextWriter : public Writer
{
public:
    TextWriter(const QString &path, const QString &title) : m_path(path), m_out(path)
    {
        m_out.write(title + QStringLiteral("\n\n"));
    }
    Part render(const Entry &entry) const override
    {
        QString text = headingOf(entry.date) + QLatin1Char('\n');
        const QString meta = metaLineOf(entry.weather, entry.mood);
        if (!meta.isEmpty())
            text += meta + QLatin1Char('\n');
        return {(text + kRule + QLatin1Char('\n') + plainTextOf(*entry.body) + QStringLiteral("\n\n")).toUtf8(), {}};
    }
    void put(const QDate &, const Part &part) override { m_out.write(part.text); }
    void finish(ExportReport &report) override
    {
        m_out.commit();
        report.files.append(m_path);
    }

private:
    QString m_path;
    OutputFile m_out;
};

// A link target as Markdown takes it: the characters that would end or break the link escaped
// as in a URL; the rest (letters of any script) as they are.
QString linkTarget(const QString &path)
{
    QString out;
    for (const QChar c : path) {
        if (c.unicode() <= 0x20 || QStringView(u"()<>[]%\\").contains(c))
            out += QString::fromLatin1(QByteArray(1, char(c.unicode())).toPercentEncoding());
        else
            out += c;
    }
    return out;
}

// The entry under a heading of headingMarks, its pictures as files named from picturePrefix
// ("2003/2003-09-26" gives "2003/2003-09-26-1.png", …).
Part markdownEntry(const QString &headingMarks, const Entry &entry, const QString &picturePrefix)
{
    QString text = headingMarks + QLatin1Char(' ') + headingOf(entry.date) + QStringLiteral("\n\n");
    const QString meta = metaLineOf(entry.weather, entry.mood);
    if (!meta.isEmpty())
        text += QLatin1Char('*') + meta + QStringLiteral("*\n\n");
    Part part;
    QHash<QString, QString> linked;   // by image name: one file for a picture shown twice
    QString body = markdownOf(*entry.body, [&](const QTextImageFormat &image) {
        QString &path = linked[image.name()];
        if (path.isEmpty()) {
            const PictureFile file = pictureFileOf(*entry.body, image);
            path = picturePrefix + u'-' + QString::number(part.pictures.size() + 1) + u'.' + file.suffix;
            part.pictures.append({path, file.data});
        }
        return linkTarget(path);
    });
    while (body.endsWith(QLatin1Char('\n')))
        body.chop(1);
    part.text = (text + body + QStringLiteral("\n\n")).toUtf8();
    return part;
}

// Puts what was written into folder on disk: one syncfs for its file system, since a sync of
// every one of ten years' files would cost a minute.
void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::syncfs(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
        throw EExportWrite(export_text::cannotWrite(folder));
}

// Writes the file `name` in the folder: beside its place, renamed into it once whole, as every
// output file; it reaches the disk with its folder's syncFolder.
void writeIntoPlace(const files::Folder &folder, const QString &name, const QByteArray &bytes)
{
    files::AtomicWriter out(folder, name, files::AtomicWriter::Permissions::Private);
    if (!out.isOpen())
        throw EExportWrite(refusalOf(folder.filePath(name), out));
    // Synced with the whole folder at the end, in one go: not one by one.
    if (!out.write(bytes) || !out.commitUnsynced())
        throw EExportWrite(export_text::cannotWrite(folder.filePath(name)));
}

// Removes from a year folder the temporary files of an earlier export stopped halfway: the names
// AtomicWriter gives them, for files named by a date (".2003-09-26.md.a1B2c3.tmp").
void removeLeftovers(const files::Folder &year)
{
    static const QRegularExpression leftover(QStringLiteral("^\\.\\d{4}-\\d{2}-\\d{2}.*\\.[A-Za-z0-9]{6}\\.tmp$"));
    for (const QString &name : year.names()) {
        if (leftover.match(name).hasMatch())
            year.remove(name);
    }
}

// Writes a picture of the Markdown into its folder (the path's last part its name).
void writePicture(const files::Folder &folder, const PictureOut &picture)
{
    writeIntoPlace(folder, picture.path.section(u'/', -1), picture.data);
}

// Markdown in one file: "# TITLE", then each entry as "## 2003-09-26（星期五）", the meta line
// in *…*, and the body. Pictures go to the folder NAME.assets beside NAME.md, as Markdown
// editors keep them: NAME.assets/2003-09-26-1.png.
class MarkdownWriter : public Writer
{
public:
    MarkdownWriter(const QString &path, const QString &title)
        : m_path(path), m_out(path), m_assets(QFileInfo(path).completeBaseName() + QStringLiteral(".assets"))
    {
        m_out.write(QStringLiteral("# ") + title + QStringLiteral("\n\n"));
    }
    Part render(const Entry &entry) const override
    {
        return markdownEntry(QStringLiteral("##"), entry, m_assets + u'/' + entry.date.toString(Qt::ISODate));
    }
    void put(const QDate &, const Part &part) override
    {
        if (!part.pictures.isEmpty() && !m_assetsFolder.isOpen())
            m_assetsFolder = exportFolder(files::Folder::open(QFileInfo(m_path).path()), m_assets);
        for (const PictureOut &picture : part.pictures)
            writePicture(m_assetsFolder, picture);
        m_pictures += int(part.pictures.size());
        m_out.write(part.text);
    }
    void finish(ExportReport &report) override
    {
        if (m_pictures > 0) {
            syncFolder(QFileInfo(m_path).path());   // the pictures on disk before the file that links them
            report.pictures = m_pictures;
            report.picturesFolder = QFileInfo(m_path).dir().filePath(m_assets);
        }
        m_out.commit();
        report.files.append(m_path);
    }

private:
    QString m_path;
    OutputFile m_out;
    QString m_assets;
    files::Folder m_assetsFolder;
    int m_pictures = 0;
};

// Markdown, a file per entry: FOLDER/2003/2003-09-26.md with "# 2003-09-26（星期五）", its
// pictures beside it (FOLDER/2003/2003-09-26-1.png).
// Each file is written beside its place and renamed into it; the files go to disk together at
// the end.
class MarkdownFilesWriter : public Writer
{
public:
    explicit MarkdownFilesWriter(const QString &folder) : m_folder(outputFolder(folder)) {}
    Part render(const Entry &entry) const override
    {
        return markdownEntry(QStringLiteral("#"), entry, entry.date.toString(Qt::ISODate));
    }
    void put(const QDate &date, const Part &entry) override
    {
        const QString yearName = QString::number(date.year());
        if (m_yearNumber != date.year()) {
            m_year = exportFolder(m_folder, yearName);
            m_yearNumber = date.year();
            removeLeftovers(m_year);
        }
        for (const PictureOut &picture : entry.pictures)
            writePicture(m_year, picture);
        m_pictures += int(entry.pictures.size());
        const QString name = date.toString(Qt::ISODate) + QStringLiteral(".md");
        writeIntoPlace(m_year, name, entry.text);
        m_files.append(m_folder.path() + u'/' + yearName + u'/' + name);
    }
    void finish(ExportReport &report) override
    {
        syncFolder(m_folder.path());
        report.files += m_files;
        report.pictures = m_pictures;
    }

private:
    files::Folder m_folder;
    files::Folder m_year;
    int m_yearNumber = 0;
    QStringList m_files;
    int m_pictures = 0;
};

// HTML, one self-contained file: the title, a table of contents by year and month, and each
// entry as
//     <article class="entry" id="d2003-09-26" data-date="2003-09-26" data-weather="晴" data-mood="高兴">
//     <h2>2003-09-26（星期五）</h2>
//     <p class="meta">天气：晴　心情：高兴</p>
//     <!--entry-body-->…<!--/entry-body-->
//     </article>
// The articles are kept in memory while the contents are gathered, and follow the contents in
// the output: never in a scratch file elsewhere (a private diary's text goes nowhere but into
// the file the user asked for).
class HtmlWriter : public Writer
{
public:
    HtmlWriter(const QString &path, const QString &title) : m_path(path), m_title(title) {}
    Part render(const Entry &entry) const override
    {
        const QString date = entry.date.toString(Qt::ISODate);
        QString html = QStringLiteral("<article class=\"entry\" id=\"%1\" data-date=\"%2\" data-weather=\"%3\" "
                                      "data-mood=\"%4\">\n<h2>%5</h2>\n")
                           .arg(entryId(entry.date), date, htmlEscaped(entry.weather),
                                htmlEscaped(entry.mood), htmlEscaped(headingOf(entry.date)));
        const QString meta = metaLineOf(entry.weather, entry.mood);
        if (!meta.isEmpty())
            html += QStringLiteral("<p class=\"meta\">") + htmlEscaped(meta) + QStringLiteral("</p>\n");
        return {(html + QStringLiteral("<!--entry-body-->") + htmlBodyOf(*entry.body)
                 + QStringLiteral("<!--/entry-body-->\n</article>\n")).toUtf8(), {}};
    }
    void put(const QDate &date, const Part &part) override
    {
        m_articles.append(part.text);
        m_dates.append(date);
    }
    void finish(ExportReport &report) override
    {
        OutputFile out(m_path);
        out.write(QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
                                 "<title>%1</title>\n<style>\n"
                                 "body { max-width: 46em; margin: 2em auto; padding: 0 1em; line-height: 1.6; }\n"
                                 "article.entry { border-top: 1px solid #ccc; margin-top: 2em; }\n"
                                 "article.entry h2 { color: #c00000; font-size: 1.2em; }\n"
                                 "p.meta { color: #c00000; }\n"
                                 "nav li { margin: 0.2em 0; }\n"
                                 "article.entry p, article.entry li { white-space: pre-wrap; }\n"
                                 "</style>\n</head>\n<body>\n<h1>%1</h1>\n")
                      .arg(htmlEscaped(m_title)));
        out.write(contents());
        out.write(m_articles);
        out.write(QStringLiteral("</body>\n</html>\n"));
        out.commit();
        report.files.append(m_path);
    }

private:
    QString contents() const
    {
        QString html = QStringLiteral("<nav id=\"contents\">\n<h2>%1</h2>\n").arg(export_text::contents());
        int year = 0;
        int month = 0;
        for (const QDate &date : m_dates) {
            if (date.year() != year) {
                if (year != 0)
                    html += QStringLiteral("</li>\n</ul>\n");
                year = date.year();
                month = 0;
                html += QStringLiteral("<h3>%1</h3>\n<ul>\n").arg(export_text::yearHeading(year));
            }
            if (date.month() != month) {
                if (month != 0)
                    html += QStringLiteral("</li>\n");
                month = date.month();
                html += QStringLiteral("<li>%1：").arg(export_text::monthHeading(month));
            }
            html += QStringLiteral(" <a href=\"#%1\">%2</a>").arg(entryId(date)).arg(date.day());
        }
        if (year != 0)
            html += QStringLiteral("</li>\n</ul>\n");
        return html + QStringLiteral("</nav>\n");
    }

    QString m_path;
    QString m_title;
    QByteArray m_articles;
    QList<QDate> m_dates;
};

// PDF and ODF: one document of every entry, each under its red heading (the date) and meta line.
class BookWriter : public Writer
{
public:
    BookWriter(const QString &path, const QString &title, const Options &options)
        : m_path(path), m_title(title), m_options(options)
    {
        QTextCursor cursor(&m_book);
        QTextCharFormat format;
        format.setFontPointSize(18);
        format.setFontWeight(QFont::Bold);
        QTextBlockFormat block;
        block.setAlignment(Qt::AlignHCenter);
        block.setBottomMargin(12);
        cursor.setBlockFormat(block);
        cursor.insertText(title, format);
    }
    bool rendersAlone() const override { return false; }
    void add(const Entry &entry) override
    {
        QTextCursor cursor(&m_book);
        cursor.movePosition(QTextCursor::End);
        QTextCharFormat heading;
        heading.setForeground(QColor(Qt::red));
        heading.setFontPointSize(kHeadingPoints);
        heading.setFontWeight(QFont::Bold);
        QTextBlockFormat headingBlock;
        headingBlock.setHeadingLevel(2);
        headingBlock.setTopMargin(18);
        headingBlock.setBottomMargin(4);
        headingBlock.setAlignment(Qt::AlignLeft);
        cursor.insertBlock(headingBlock, heading);
        cursor.insertText(headingOf(entry.date), heading);
        const QString meta = metaLineOf(entry.weather, entry.mood);
        if (!meta.isEmpty()) {
            QTextCharFormat metaFormat;
            metaFormat.setForeground(QColor(Qt::red));
            metaFormat.setFontPointSize(kMetaPoints);
            QTextBlockFormat metaBlock;
            metaBlock.setBottomMargin(6);
            metaBlock.setAlignment(Qt::AlignLeft);
            cursor.insertBlock(metaBlock, metaFormat);
            cursor.insertText(meta, metaFormat);
        }
        // The pictures' images live in the entry's document as resources: the book needs them too.
        for (QTextBlock block = entry.body->begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                if (!format.isImageFormat())
                    continue;
                const QUrl name(format.toImageFormat().name());
                const QVariant image = entry.body->resource(QTextDocument::ImageResource, name);
                if (image.isValid())
                    m_book.addResource(QTextDocument::ImageResource, name, image);
            }
        }
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        cursor.insertFragment(QTextDocumentFragment(entry.body));
    }
    void finish(ExportReport &report) override
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        if (m_options.format == Format::Odf) {
            QTextDocumentWriter writer(&buffer, "odf");
            if (!writer.write(&m_book))
                throw EExportWrite(export_text::cannotWrite(m_path));
        } else {
            writePdf(buffer);
        }
        buffer.close();
        OutputFile out(m_path);
        out.write(m_options.format == Format::Pdf ? mendToUnicode(buffer.data(), drawnBeyondBmp(m_book))
                                                  : withAsianTextProperties(buffer.data()));
        out.commit();
        report.files.append(m_path);
    }

private:
    void writePdf(QIODevice &device)
    {
        QPdfWriter writer(&device);
        writer.setTitle(m_title);
        writer.setCreator(QStringLiteral("Quillbook"));
        writer.setPageLayout(QPageLayout(m_options.pageSize, QPageLayout::Portrait,
                                         QMarginsF(kMarginInner, kMarginTop, kMarginOuter, kMarginBottom),
                                         QPageLayout::Millimeter));
        QPainter painter;
        if (!painter.begin(&writer))
            throw EExportWrite(export_text::cannotWrite(m_path));

        const QRectF area = writer.pageLayout().paintRectPixels(writer.resolution());
        const qreal scale = writer.resolution() / kLayoutDpi;
        const QSizeF page(area.width() / scale, area.height() / scale - kFooterHeight);
        m_screen.setDotsPerMeterX(kLayoutDotsPerMeter);
        m_screen.setDotsPerMeterY(kLayoutDotsPerMeter);
        m_book.documentLayout()->setPaintDevice(&m_screen);
        m_book.setDocumentMargin(0);
        m_book.setPageSize(page);

        QFont numberFont = m_book.defaultFont();
        numberFont.setPointSizeF(9);
        const int pages = m_book.pageCount();
        const QList<Carried> carried = carriedParagraphs(page.height(), pages);
        for (int index = 0; index < pages; ++index) {
            if (index > 0 && !writer.newPage())
                throw EExportWrite(export_text::cannotWrite(m_path));
            const QRectF view(QPointF(0, index * page.height()), page);
            painter.save();
            painter.scale(scale, scale);
            painter.save();
            painter.translate(0, -view.top());
            painter.setClipRect(view);
            // The layout draws every line of a paragraph that touches the clip rectangle, and of
            // a paragraph begun on the page before also the last line that lies wholly above it:
            // drawn clipped and invisible, yet their text is then in the PDF twice, for copying,
            // search and extraction. So each line is drawn on its own page only: a paragraph
            // carried over from the page before draws its lines of this page itself, the layout
            // draws from below that paragraph on, and the clip stays a pixel inside the page at
            // both edges, where a paragraph ending right at the head is the page before's and a
            // line starting right at the foot the next page's.
            QRectF clip = view.adjusted(0, kPageEdge, 0, -kPageEdge);
            if (const Carried &over = carried[index]; over.block.isValid()) {
                const QTextLayout *layout = over.block.layout();
                for (int i = 0; i < layout->lineCount(); ++i) {
                    const QTextLine line = layout->lineAt(i);
                    const qreal top = layout->position().y() + line.y();
                    if (top >= view.top() - kPageEdge && top < clip.bottom())
                        line.draw(&painter, layout->position());
                }
                clip.setTop(qMax(clip.top(), over.bottom + kPageEdge));
            }
            QAbstractTextDocumentLayout::PaintContext context;
            context.clip = clip;
            context.palette.setColor(QPalette::Text, Qt::black);
            if (clip.height() > 0)
                m_book.documentLayout()->draw(&painter, context);
            painter.restore();
            painter.setFont(numberFont);
            painter.setPen(Qt::black);
            painter.drawText(QRectF(0, page.height(), page.width(), kFooterHeight),
                             Qt::AlignHCenter | Qt::AlignBottom, QString::number(index + 1));
            painter.restore();
        }
        if (!painter.end())
            throw EExportWrite(export_text::cannotWrite(m_path));
    }

    // A paragraph of the book's main flow that begins on an earlier page and reaches onto a page
    // (with lines, or only with the room below it): the block, and where its box ends.
    struct Carried {
        QTextBlock block;
        qreal bottom = 0;
    };

    // For each page, the paragraph carried over onto it, if any (an invalid block otherwise).
    QList<Carried> carriedParagraphs(qreal pageHeight, int pages) const
    {
        QList<Carried> carried(pages);
        QAbstractTextDocumentLayout *layout = m_book.documentLayout();
        const auto pageOf = [pageHeight](qreal y) { return int(y / pageHeight); };
        for (auto it = m_book.rootFrame()->begin(); !it.atEnd(); ++it) {
            const QTextBlock block = it.currentBlock();
            if (!block.isValid() || !block.layout() || block.layout()->lineCount() == 0)
                continue;
            const QTextLayout *lines = block.layout();
            const QRectF box = layout->blockBoundingRect(block);
            const int first = pageOf(lines->position().y() + lines->lineAt(0).y() + kPageEdge);
            const int last = qMax(pageOf(box.bottom() - kPageEdge), pageOf(lines->position().y() + lines->lineAt(lines->lineCount() - 1).y() + kPageEdge));
            for (int page = first + 1; page <= last && page < pages; ++page)
                carried[page] = {block, box.bottom()};
        }
        return carried;
    }

    QString m_path;
    QString m_title;
    Options m_options;
    // The device the book is laid out for, as long as the book lives: the lines are shaped again
    // after the drawing (drawnBeyondBmp), and a device gone by then gives wrong metrics.
    QImage m_screen{1, 1, QImage::Format_ARGB32_Premultiplied};
    QTextDocument m_book;
};

std::unique_ptr<Writer> makeWriter(const Options &options, const QString &out, const QString &title)
{
    switch (options.format) {
    case Format::Text:
        return std::make_unique<TextWriter>(out, title);
    case Format::Markdown:
        if (options.perEntry)
            return std::make_unique<MarkdownFilesWriter>(out);
        return std::make_unique<MarkdownWriter>(out, title);
    case Format::Html:
        return std::make_unique<HtmlWriter>(out, title);
    case Format::Pdf:
    case Format::Odf:
        break;
    }
    return std::make_unique<BookWriter>(out, title, options);
}

struct FormatName {
    const char *word;
    Format format;
};
constexpr FormatName kFormatNames[] = {
    {"txt", Format::Text}, {"md", Format::Markdown}, {"html", Format::Html},
    {"pdf", Format::Pdf},  {"odt", Format::Odf},
};

} // namespace

bool formatOf(const QString &word, Format &format)
{
    for (const FormatName &name : kFormatNames) {
        if (word.compare(QLatin1String(name.word), Qt::CaseInsensitive) == 0) {
            format = name.format;
            return true;
        }
    }
    return false;
}

QString suffixOf(Format format)
{
    for (const FormatName &name : kFormatNames) {
        if (name.format == format)
            return QLatin1String(name.word);
    }
    return QString();
}

QString headingOf(const QDate &date)
{
    return date.toString(Qt::ISODate) + export_text::weekday(date.dayOfWeek());
}

QString metaLineOf(const QString &weather, const QString &mood)
{
    QStringList parts;
    if (!weather.isEmpty())
        parts.append(export_text::weatherPart(weather));
    if (!mood.isEmpty())
        parts.append(export_text::moodPart(mood));
    return parts.join(QChar(0x3000));
}

QString plainTextOf(const QTextDocument &body)
{
    // As the document's plain text has them: a table row one line, its cells separated by tabs.
    QStringList lines = richtext::documentLines(body);
    for (QString &text : lines) {
        text.remove(kObject);
        text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    }
    return lines.join(QLatin1Char('\n'));
}

namespace {

// Characters Markdown may read as marks anywhere in a line; a backslash keeps each one text.
bool marksAnywhere(QChar c)
{
    return QStringView(u"\\`*_[]<>|~&!").contains(c);
}

// Text that Markdown gives back as it is: its marks escaped, and at the start of a paragraph
// what would begin a heading, a list, a quote or a code block.
QString markdownText(const QString &text, bool paragraphStart)
{
    QString out;
    out.reserve(text.size() + 8);
    qsizetype i = 0;
    if (paragraphStart) {
        // Leading blanks would be dropped, or read as code from four on.
        for (; i < text.size() && (text[i] == u' ' || text[i] == u'\t'); ++i)
            out += text[i] == u' ' ? QStringLiteral("&#32;") : QStringLiteral("&#9;");
        if (i < text.size() && QStringView(u"#=-+").contains(text[i])) {
            out += u'\\';
        } else {
            qsizetype digits = i;
            while (digits < text.size() && text[digits].isDigit() && text[digits].unicode() < 128)
                ++digits;
            if (digits > i && digits < text.size() && (text[digits] == u'.' || text[digits] == u')')) {
                out += text.mid(i, digits - i) + u'\\';
                i = digits;
            }
        }
    }
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QChar::LineSeparator || c == u'\n') {
            out += QStringLiteral("\\\n");
            continue;
        }
        if (c == QChar::ObjectReplacementCharacter)
            continue;   // a picture left out
        if (marksAnywhere(c))
            out += u'\\';
        out += c;
    }
    return out;
}

// Where emphasis marks may stand next to the text they mark: Markdown ignores a mark with a
// blank or (between letters) a punctuation mark on its inner side, so those stay outside.
bool staysOutsideMarks(QChar c)
{
    return c.isSpace() || c.isPunct() || c.isSymbol() || c == QChar::LineSeparator
        || c == QChar::ObjectReplacementCharacter;
}

struct Styled {
    QString text;
    bool bold = false;
    bool italic = false;
    bool struck = false;
    QString picture;   // a picture's Markdown, for each character of text
};

// One paragraph's runs as Markdown: bold, italic and strike-out marked, pictures linked, the
// rest as text.
QString markdownParagraph(const QTextBlock &block, const PictureLink &link)
{
    QList<Styled> runs;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextCharFormat f = it.fragment().charFormat();
        if (f.isImageFormat()) {
            const QString target = link ? link(f.toImageFormat()) : QString();
            if (!target.isEmpty())
                runs.append({it.fragment().text(), false, false, false, QStringLiteral("![图片](") + target + u')'});
            continue;
        }
        const Styled run{it.fragment().text(), f.fontWeight() >= QFont::Bold, f.fontItalic(), f.fontStrikeOut(), {}};
        if (!runs.isEmpty() && runs.last().picture.isEmpty() && runs.last().bold == run.bold
            && runs.last().italic == run.italic && runs.last().struck == run.struck)
            runs.last().text += run.text;
        else
            runs.append(run);
    }
    QString out;
    bool start = true;
    for (const Styled &run : runs) {
        if (!run.picture.isEmpty()) {
            for (qsizetype i = 0; i < run.text.size(); ++i)
                out += run.picture;
            start = false;
            continue;
        }
        const QString open = QString(run.bold ? QStringLiteral("**") : QString())
                             + (run.italic ? QStringLiteral("*") : QString())
                             + (run.struck ? QStringLiteral("~~") : QString());
        QString close = open;
        std::reverse(close.begin(), close.end());
        qsizetype first = 0;
        qsizetype end = run.text.size();
        if (!open.isEmpty()) {
            while (first < end && staysOutsideMarks(run.text[first]))
                ++first;
            while (end > first && staysOutsideMarks(run.text[end - 1]))
                --end;
        }
        if (first == end) {
            out += markdownText(run.text, start);
        } else {
            out += markdownText(run.text.left(first), start);
            out += open + markdownText(run.text.mid(first, end - first), start && first == 0) + close;
            out += markdownText(run.text.mid(end), false);
        }
        if (!run.text.isEmpty())
            start = false;
    }
    return out;
}

} // namespace

namespace {

// The blocks of a frame and of the frames inside it, in reading order.
void blocksOf(QTextFrame *frame, QList<QTextBlock> &blocks)
{
    for (auto it = frame->begin(); !it.atEnd(); ++it) {
        if (QTextFrame *child = it.currentFrame())
            blocksOf(child, blocks);
        else if (it.currentBlock().isValid())
            blocks.append(it.currentBlock());
    }
}

// A table as a GitHub pipe table, its first row the heading row. A cell's paragraphs (and those
// of a table inside it, which a pipe table cannot hold) are joined by <br>, and so are its line
// breaks; a cell covered by a span is empty.
QString markdownTable(const QTextTable &table, const PictureLink &link)
{
    QString out;
    for (int row = 0; row < table.rows(); ++row) {
        out += u'|';
        for (int column = 0; column < table.columns(); ++column) {
            const QTextTableCell cell = table.cellAt(row, column);
            QStringList paragraphs;
            if (cell.row() == row && cell.column() == column) {
                QList<QTextBlock> blocks;
                for (auto it = cell.begin(); !it.atEnd(); ++it) {
                    if (QTextFrame *child = it.currentFrame())
                        blocksOf(child, blocks);
                    else
                        blocks.append(it.currentBlock());
                }
                for (const QTextBlock &block : std::as_const(blocks)) {
                    const QString text = markdownParagraph(block, link);
                    if (!text.trimmed().isEmpty())
                        paragraphs.append(QString(text).replace(QStringLiteral("\\\n"), QStringLiteral("<br>")));
                }
            }
            out += u' ' + paragraphs.join(QStringLiteral("<br>")) + QStringLiteral(" |");
        }
        out += u'\n';
        if (row == 0)
            out += QStringLiteral("|") + QStringLiteral(" --- |").repeated(table.columns()) + u'\n';
    }
    return out;
}

} // namespace

QString markdownOf(const QTextDocument &body, const PictureLink &link)
{
    // Written here rather than by QTextDocument::toMarkdown, which escapes nothing (a body line
    // "# …" became a heading, "<a>" vanished) and puts marks beside blanks, where Markdown no
    // longer reads them ("**B***_ C*_").
    QString out;
    bool inList = false;
    for (auto it = body.rootFrame()->begin(); !it.atEnd(); ++it) {
        if (const auto *table = qobject_cast<QTextTable *>(it.currentFrame())) {
            if (!out.isEmpty())
                out += u'\n';
            out += markdownTable(*table, link);
            inList = false;
            continue;
        }
        QList<QTextBlock> blocks;
        if (QTextFrame *frame = it.currentFrame())
            blocksOf(frame, blocks);
        else
            blocks.append(it.currentBlock());
        for (const QTextBlock &block : std::as_const(blocks)) {
            const QString text = markdownParagraph(block, link);
            if (QTextList *list = block.textList()) {
                const int depth = std::max(1, list->format().indent()) - 1;
                const QString bullet = list->format().style() == QTextListFormat::ListDecimal
                                           ? QString::number(list->itemNumber(block) + 1) + QStringLiteral(". ")
                                           : QStringLiteral("- ");
                if (!inList && !out.isEmpty())
                    out += u'\n';
                out += QString(depth * 2, u' ') + bullet + text + u'\n';
                inList = true;
                continue;
            }
            if (text.trimmed().isEmpty())
                continue;
            if (!out.isEmpty())
                out += u'\n';
            out += text + u'\n';
            inList = false;
        }
    }
    return out;
}

QList<Chosen> chooseEntries(TArchiveReader &reader, const Selection &selection, QList<Skipped> *skipped)
{
    QList<QByteArray> names;
    {
        ArchiveLock lock(reader.ZipName(), ArchiveLock::Shared);
        reader.SetPassword(diary::kArchivePassword);
        reader.OpenArchive();
        const int count = reader.EntryCount();
        for (int i = 0; i < count; ++i)
            names.append(reader.EntryNameBytes(i));
    }
    const QSet<QByteArray> wanted(selection.names.begin(), selection.names.end());
    QSet<QByteArray> seen;
    QList<Chosen> chosen;
    for (const QByteArray &name : names) {
        if (seen.contains(name))
            continue;
        seen.insert(name);
        if (selection.kind == Selection::Kind::Names && !wanted.contains(name))
            continue;
        const QString shown = gbk::decode(name);
        const QDate date = diary::dateOfName(shown);
        if (!date.isValid()) {
            if (skipped)
                skipped->append({shown, export_text::notADate()});
            continue;
        }
        if (selection.kind == Selection::Kind::DateRange
            && ((selection.from.isValid() && date < selection.from) || (selection.to.isValid() && date > selection.to)))
            continue;
        chosen.append({name, date});
    }
    std::stable_sort(chosen.begin(), chosen.end(), [](const Chosen &a, const Chosen &b) { return a.date < b.date; });
    return chosen;
}

namespace {

// One chosen entry on its way out: extracted on the calling thread, decoded and (for the
// writers that render alone) rendered on a helper thread, written on the calling thread.
struct Job {
    QDate date;
    QByteArray record;
    diary::EntryProblem problem = diary::EntryProblem::None;
    Part part;   // rendered
    std::exception_ptr error;
};

// Entries extracted at a time: while the helpers render one batch, the calling thread extracts
// the next. Memory holds two batches of records and parts.
constexpr int kBatch = 256;

// The job's record decoded into body; false, with the record's problem, when it does not decode.
bool loadBody(Job &job, QTextDocument &body, diary::EntryIndices &indices)
{
    try {
        indices = diary::loadRecord(job.record, body);
        return true;
    } catch (const Exception &) {
        job.problem = diary::recordProblem(job.record);
        if (job.problem == diary::EntryProblem::None)
            job.problem = diary::EntryProblem::Damaged;
        return false;
    }
}

Entry entryOf(const Job &job, const diary::EntryIndices &indices, const QTextDocument &body)
{
    return {job.date, diary::weatherWord(indices.weather), diary::moodWord(indices.mood), &body};
}

// Renders the jobs of a batch, each claimed by one thread: the helpers and, once it has
// extracted the next batch, the calling thread.
class Rendering
{
public:
    Rendering(std::vector<Job> &jobs, const Writer &writer) : m_jobs(jobs), m_writer(writer) {}

    void work()
    {
        for (size_t i = m_next++; i < m_jobs.size(); i = m_next++) {
            Job &job = m_jobs[i];
            // An exception may not leave a helper: it is raised by the calling thread, in order.
            try {
                QTextDocument body;
                diary::EntryIndices indices;
                if (job.problem == diary::EntryProblem::None && loadBody(job, body, indices))
                    job.part = m_writer.render(entryOf(job, indices, body));
            } catch (...) {
                job.error = std::current_exception();
            }
            job.record = QByteArray();
        }
    }

private:
    std::vector<Job> &m_jobs;
    const Writer &m_writer;
    std::atomic<size_t> m_next{0};
};

} // namespace

ExportReport exportDiary(TArchiveReader &reader, const DiaryKey *key, const Selection &selection,
                         const Options &options, const QString &out, const Progress &progress)
{
    ExportReport report;
    const QList<Chosen> chosen = chooseEntries(reader, selection, &report.skipped);
    const QString diaryName = options.diaryName.isEmpty() ? QFileInfo(reader.ZipName()).fileName() : options.diaryName;
    std::unique_ptr<Writer> writer = makeWriter(options, out, export_text::title(diaryName));
    const int total = int(chosen.size());
    // One pass over the archive per batch, each under its own lock, so that a save waits for
    // one batch at most.
    const auto extractBatch = [&](int from) {
        std::vector<Job> jobs;
        QList<QByteArray> names;
        for (int i = from; i < std::min(total, from + kBatch); ++i) {
            names.append(chosen[i].nameBytes);
            jobs.push_back({chosen[i].date, {}, {}, {}, {}});
        }
        diary::extractEntries(reader, names, key, [&jobs](qsizetype n, QByteArray record, diary::EntryProblem problem) {
            jobs[size_t(n)].record = std::move(record);
            jobs[size_t(n)].problem = problem;
        });
        return jobs;
    };

    std::vector<Job> batch;
    // Declared after the batch, so that whatever leaves early waits for the helpers (the pool's
    // end waits for them) before the batch they work on goes.
    QThreadPool helpers;
    helpers.setMaxThreadCount(QThread::idealThreadCount());
    int done = 0;
    if (total > 0)
        batch = extractBatch(0);
    int extracted = int(batch.size());
    while (!batch.empty()) {
        std::optional<Rendering> rendering;
        if (writer->rendersAlone()) {
            rendering.emplace(batch, *writer);
            for (int h = 0; h < helpers.maxThreadCount(); ++h)
                helpers.start([&rendering] { rendering->work(); });
        }
        std::vector<Job> following;
        try {
            if (extracted < total)
                following = extractBatch(extracted);
        } catch (...) {
            helpers.waitForDone();   // they work on this batch
            throw;
        }
        extracted += int(following.size());
        if (rendering)
            rendering->work();
        helpers.waitForDone();
        for (Job &job : batch) {
            if (progress && !progress(done, total)) {
                report.cancelled = true;
                if (options.perEntry && options.format == Format::Markdown)
                    writer->finish(report);
                return report;
            }
            ++done;
            if (job.error)
                std::rethrow_exception(job.error);
            if (!writer->rendersAlone() && job.problem == diary::EntryProblem::None) {
                QTextDocument body;
                diary::EntryIndices indices;
                if (loadBody(job, body, indices))
                    writer->add(entryOf(job, indices, body));
            } else if (job.problem == diary::EntryProblem::None) {
                writer->put(job.date, job.part);
            }
            if (job.problem != diary::EntryProblem::None) {
                report.skipped.append({diary::entryName(job.date), diary::problemReason(job.problem)});
                continue;
            }
            ++report.exported;
        }
        batch = std::move(following);
    }
    writer->finish(report);
    if (progress)
        progress(total, total);
    return report;
}

} // namespace diary_export
