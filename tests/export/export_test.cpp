#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "export/diary_export.h"
#include "export/export_errors.h"
#include "platform/gbk.h"
#include "richtext/pictures.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QImage>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using diary_export::Format;

namespace {

// The diary every test exports: three readable entries stored out of date order, one entry under
// another password and one whose name is no date.
struct Day {
    QDate date;
    int weather;
    int mood;
    QString html;
    QStringList lines;   // the body's plain text lines
};

const QList<Day> kDays = {
    {QDate(2004, 1, 1), 2, 1, u"<p>新年第三篇。</p>"_s, {u"新年第三篇。"_s}},
    {QDate(2003, 9, 26), 0, 0,
     u"<p><b>粗体开头</b>，<span style=\"color:#ff0000\">红色的字</span>，<i>斜体</i>。</p>"
     u"<p><span style=\"font-family:'Noto Sans CJK SC'\">九月二十六日，月亮长高了。</span></p>"
     u"<p>笑脸😀和𠀀字</p>"_s,
     {u"粗体开头，红色的字，斜体。"_s, u"九月二十六日，月亮长高了。"_s, u"笑脸😀和𠀀字"_s}},
    {QDate(2003, 10, 5), 1, 7, u"<p>第二篇</p><p># 不是标题</p><p>=====</p>"_s,
     {u"第二篇"_s, u"# 不是标题"_s, u"====="_s}},
};
const QString kUnreadable = u"2003年12月1日"_s;
const QString kNotADate = u"读书笔记"_s;
const QString kNoRecord = u"2003年12月2日"_s;   // extracts, but holds no diary record

QByteArray recordOf(const Day &day)
{
    QTextDocument doc;
    doc.setHtml(day.html);
    return diary::makeRecord(doc, day.weather, day.mood);
}

void store(const QString &path, const QString &name, const QByteArray &record, const QString &password)
{
    TArchiveWriter writer;
    writer.SetZipName(path);
    writer.SetPassword(password);
    QByteArray bytes = record;
    QBuffer stream(&bytes);
    stream.open(QIODevice::ReadOnly);
    writer.AddFromStream(gbk::encode(name), stream);
}

QJsonObject readWithPeer(const QString &kind, const QString &file)
{
    const auto r = testing_support::run(QStringLiteral(QB_SYSTEM_PYTHON3),
                                        {QStringLiteral(QB_READ_EXPORT), kind, file});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out).object();
}

QString pdfText(const QString &file)
{
    const auto r = testing_support::run(testing_support::pdftotextProgram(), {file, u"-"_s});
    EXPECT_EQ(r.exitCode, 0);
    // pdftotext breaks lines where the page does; the checks look for whole lines of the body.
    return QString::fromUtf8(r.out).remove(QLatin1Char('\n'));
}

// The positions of each readable entry's lines in text, each searched after the one before in
// date order; -1 where one is missing or out of order.
QList<qsizetype> positionsIn(const QString &text)
{
    QList<Day> days = kDays;
    std::sort(days.begin(), days.end(), [](const Day &a, const Day &b) { return a.date < b.date; });
    QList<qsizetype> positions;
    for (const Day &day : days) {
        for (const QString &line : day.lines) {
            QString wanted = line;
            const qsizetype from = positions.isEmpty() ? 0 : qMax<qsizetype>(0, positions.back());
            positions.append(text.indexOf(wanted.remove(QLatin1Char('#')).trimmed(), from));
        }
    }
    return positions;
}

class ExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_archive = m_dir.filePath(u"张三"_s);
        for (const Day &day : kDays)
            store(m_archive, diary::entryName(day.date), recordOf(day), diary::kArchivePassword);
        store(m_archive, kUnreadable, recordOf(kDays[0]), u"另一个密码"_s);
        store(m_archive, kNotADate, recordOf(kDays[0]), diary::kArchivePassword);
        store(m_archive, kNoRecord, "no record, only bytes", diary::kArchivePassword);
    }

    diary_export::ExportReport run(Format format, const QString &out, bool perEntry = false,
                                   const diary_export::Progress &progress = {})
    {
        TArchiveReader reader;
        reader.SetZipName(m_archive);
        diary_export::Options options;
        options.format = format;
        options.perEntry = perEntry;
        return diary_export::exportDiary(reader, nullptr, {}, options, out, progress);
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_archive;
};

// Every format shows every readable entry's text, characters outside GBK included, in date
// order, as the program that reads it sees it; the unreadable entries are reported, not dropped
// silently.
TEST_F(ExportTest, EveryFormatGivesEveryEntryInDateOrderToItsReader)
{
    const struct {
        Format format;
        const char *file;
    } rows[] = {{Format::Text, "a.txt"}, {Format::Markdown, "a.md"}, {Format::Html, "a.html"},
                {Format::Pdf, "a.pdf"}, {Format::Odf, "a.odt"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.file);
        const QString out = path(QString::fromLatin1(row.file));
        const diary_export::ExportReport report = run(row.format, out);
        EXPECT_EQ(report.exported, 3);
        ASSERT_EQ(report.skipped.size(), 3);
        QStringList skipped;
        for (const auto &s : report.skipped)
            skipped << s.name + u"："_s + s.reason;
        skipped.sort();
        EXPECT_EQ(skipped, QStringList({kUnreadable + u"：密码不同"_s, kNoRecord + u"：不是日记"_s,
                                        kNotADate + u"：名字不是日期"_s}));

        QString text;
        switch (row.format) {
        case Format::Text:
            text = QString::fromUtf8(testing_support::readFile(out));
            break;
        case Format::Markdown:
            text = readWithPeer(u"md"_s, out).value(u"text"_s).toString();
            break;
        case Format::Html: {
            const QJsonArray articles = readWithPeer(u"html"_s, out).value(u"articles"_s).toArray();
            for (const QJsonValue &a : articles)
                text += a.toObject().value(u"text"_s).toString();
            break;
        }
        case Format::Pdf:
            text = pdfText(out);
            EXPECT_FALSE(text.contains(QChar(0x2F49)) || text.contains(QChar(0x2F47))) << text.toStdString();
            break;
        case Format::Odf:
            text = readWithPeer(u"odt"_s, out).value(u"text"_s).toString();
            break;
        }
        const QList<qsizetype> positions = positionsIn(text);
        EXPECT_FALSE(positions.contains(-1)) << text.toStdString();
        EXPECT_FALSE(text.contains(u"新年第三篇。新年第三篇。"_s));   // the two left out
    }
}

TEST_F(ExportTest, TextHasTitleHeadingMetaLineRuleAndBodyLinesAsTheyAre)
{
    const QString out = path(u"a.txt"_s);
    run(Format::Text, out);
    const QString text = QString::fromUtf8(testing_support::readFile(out));
    EXPECT_TRUE(text.startsWith(u"羽书手札 · 张三 的日记\n\n2003-09-26（星期五）\n天气：晴　心情：高兴\n"_s
                                + QString(40, QLatin1Char('=')) + u"\n粗体开头，红色的字，斜体。\n"_s))
        << text.toStdString();
    EXPECT_TRUE(text.contains(u"2003-10-05（星期日）\n天气：阴　心情：爱心\n"_s + QString(40, QLatin1Char('='))
                              + u"\n第二篇\n# 不是标题\n=====\n\n"_s))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QLatin1Char('\r')));
}

// A body line that reads as a heading in Markdown stays text: the only headings are the title
// and one per entry.
TEST_F(ExportTest, MarkdownBodyNeverMakesHeadings)
{
    const QString out = path(u"a.md"_s);
    run(Format::Markdown, out);
    const QJsonObject seen = readWithPeer(u"md"_s, out);
    EXPECT_EQ(seen.value(u"h1"_s).toInt(), 1);
    EXPECT_EQ(seen.value(u"h2"_s).toInt(), 3) << seen.value(u"html"_s).toString().toStdString();
    const QString md = QString::fromUtf8(testing_support::readFile(out));
    EXPECT_TRUE(md.contains(u"## 2003-09-26（星期五）\n\n*天气：晴　心情：高兴*\n\n"_s)) << md.toStdString();
    EXPECT_TRUE(md.contains(u"**粗体开头**"_s));
}

TEST_F(ExportTest, MarkdownPerEntryFilesGoInYearFolders)
{
    const QString out = path(u"md"_s);
    const auto report = run(Format::Markdown, out, true);
    EXPECT_EQ(report.files.size(), 3);
    const QString first = QString::fromUtf8(testing_support::readFile(out + u"/2003/2003-09-26.md"_s));
    EXPECT_TRUE(first.startsWith(u"# 2003-09-26（星期五）\n\n*天气：晴　心情：高兴*\n\n"_s)) << first.toStdString();
    EXPECT_TRUE(QFileInfo::exists(out + u"/2004/2004-01-01.md"_s));
}

// The HTML's articles carry their date, weather and mood; its contents link to every one; the
// formats are kept as inline styles.
TEST_F(ExportTest, HtmlArticlesCarryDatesWordsAndFormatsAndContentsLinkThem)
{
    const QString out = path(u"a.html"_s);
    run(Format::Html, out);
    const QJsonObject seen = readWithPeer(u"html"_s, out);
    const QJsonArray articles = seen.value(u"articles"_s).toArray();
    ASSERT_EQ(articles.size(), 3);
    const QJsonObject first = articles[0].toObject();
    EXPECT_EQ(first.value(u"date"_s).toString(), u"2003-09-26"_s);
    EXPECT_EQ(first.value(u"weather"_s).toString(), u"晴"_s);
    EXPECT_EQ(first.value(u"mood"_s).toString(), u"高兴"_s);
    EXPECT_TRUE(first.value(u"bold"_s).toBool());
    EXPECT_TRUE(first.value(u"red"_s).toBool());
    EXPECT_EQ(seen.value(u"links"_s).toArray().size(), 3);
    const QVariantList ids = seen.value(u"ids"_s).toArray().toVariantList();
    for (const QJsonValue &link : seen.value(u"links"_s).toArray())
        EXPECT_TRUE(ids.contains(link.toString())) << link.toString().toStdString();
    const QString html = QString::fromUtf8(testing_support::readFile(out));
    EXPECT_FALSE(html.contains(u"src=\"http"_s) || html.contains(u"href=\"http"_s));
}

// LibreOffice shows the entries' own bold and colours (beside the red and bold headings).
TEST_F(ExportTest, OdfKeepsBoldAndColours)
{
    const QString out = path(u"a.odt"_s);
    run(Format::Odf, out);
    const QJsonObject seen = readWithPeer(u"odt"_s, out);
    const QString bold = seen.value(u"bold"_s).toString();
    const QString red = seen.value(u"red"_s).toString();
    EXPECT_TRUE(bold.contains(u"粗体开头"_s)) << bold.toStdString();
    EXPECT_FALSE(bold.contains(u"红色的字"_s)) << bold.toStdString();
    EXPECT_TRUE(red.contains(u"红色的字"_s)) << red.toStdString();
    EXPECT_FALSE(red.contains(u"粗体开头"_s)) << red.toStdString();
}

// A cancelled export leaves no file under the output's name, whichever format.
TEST_F(ExportTest, CancellingWritesNothing)
{
    for (Format format : {Format::Text, Format::Html, Format::Pdf}) {
        const QString out = path(u"cancelled."_s + diary_export::suffixOf(format));
        const auto report = run(format, out, false, [](int done, int) { return done < 1; });
        EXPECT_TRUE(report.cancelled);
        EXPECT_FALSE(QFileInfo::exists(out));
        EXPECT_TRUE(testing_support::entriesIn(m_dir.path(), QDir::Files).filter(u".tmp"_s).isEmpty());
    }
}

TEST_F(ExportTest, ToolExportsADateRangeAndReportsWhatItLeftOut)
{
    const QString out = path(u"range.txt"_s);
    const auto r = testing_support::run(QDir(testing_support::binDir()).filePath(u"quillbook-tool"_s),
                                        {u"export"_s, m_archive, u"--format"_s, u"txt"_s, u"--from"_s,
                                         u"2003-10-01"_s, u"--to"_s, u"2003-12-31"_s, out});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("1 entries exported")) << r.out.toStdString();
    EXPECT_TRUE(QString::fromUtf8(r.err).contains(kUnreadable));
    const QString text = QString::fromUtf8(testing_support::readFile(out));
    EXPECT_TRUE(text.contains(u"2003-10-05"_s));
    EXPECT_FALSE(text.contains(u"2003-09-26"_s) || text.contains(u"2004-01-01"_s));

    const auto bad = testing_support::run(QDir(testing_support::binDir()).filePath(u"quillbook-tool"_s),
                                          {u"export"_s, m_archive, u"--format"_s, u"doc"_s, out});
    EXPECT_EQ(bad.exitCode, 2);
}

// Standard error says what the user needs and nothing else: the entries left out, not the
// toolkit's remarks (a PDF of characters beyond U+FFFF, a session without XDG_RUNTIME_DIR).
TEST_F(ExportTest, ToolSaysOnStandardErrorOnlyWhatWasLeftOut)
{
    for (const QString &format : {u"pdf"_s, u"odt"_s, u"html"_s}) {
        const auto r = testing_support::run(QDir(testing_support::binDir()).filePath(u"quillbook-tool"_s),
                                            {u"export"_s, m_archive, u"--format"_s, format, path(u"all."_s + format)});
        EXPECT_EQ(r.exitCode, 1);
        for (const QByteArray &line : r.err.split('\n')) {
            EXPECT_TRUE(line.isEmpty() || line.startsWith("skipped ")) << format.toStdString() << ": " << line.constData();
        }
    }
}

} // namespace

namespace {

// A run of a peer program's output, which must succeed.
QString peerOutput(const QString &program, const QStringList &arguments)
{
    const auto r = testing_support::run(program, arguments);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QString::fromUtf8(r.out);
}

} // namespace

// An entry's picture goes along: into the HTML as data, beside the Markdown as a file it links,
// into the ODF package, onto the PDF page.
TEST_F(ExportTest, PicturesGoIntoEveryFormatButText)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(QColor(0x20, 0x80, 0xC0));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    richtext::Picture picture;
    picture.kind = richtext::PictureKind::Png;
    picture.data = png;
    picture.width = 40;
    picture.height = 30;
    QTextDocument doc;
    QTextCursor cursor(&doc);
    cursor.insertText(u"看图："_s);
    cursor.insertImage(richtext::addPicture(doc, picture));
    store(m_archive, diary::entryName(QDate(2005, 5, 5)), diary::makeRecord(doc, 0, 0), diary::kArchivePassword);

    run(Format::Html, path(u"p.html"_s));
    EXPECT_TRUE(testing_support::readFile(path(u"p.html"_s)).contains("src=\"data:image/png;base64,"));
    const diary_export::ExportReport md = run(Format::Markdown, path(u"p.md"_s));
    EXPECT_EQ(md.pictures, 1);
    EXPECT_EQ(md.picturesFolder, path(u"p.assets"_s));
    EXPECT_TRUE(testing_support::readFile(path(u"p.md"_s)).contains("![图片](p.assets/2005-05-05-1.png)"));
    EXPECT_EQ(testing_support::readFile(path(u"p.assets/2005-05-05-1.png"_s)), png);
    EXPECT_EQ(run(Format::Markdown, path(u"entries"_s), true).pictures, 1);
    EXPECT_TRUE(testing_support::readFile(path(u"entries/2005/2005-05-05.md"_s)).contains("![图片](2005-05-05-1.png)"));
    EXPECT_EQ(testing_support::readFile(path(u"entries/2005/2005-05-05-1.png"_s)), png);
    run(Format::Odf, path(u"p.odt"_s));
    const QString listed = peerOutput(u"unzip"_s, {u"-t"_s, path(u"p.odt"_s)});
    EXPECT_TRUE(listed.contains(u"Pictures/"_s) && listed.contains(u"No errors detected"_s)) << listed.toStdString();
    run(Format::Pdf, path(u"p.pdf"_s));
    const QString pdfimages = QFileInfo(testing_support::pdftotextProgram()).dir().filePath(u"pdfimages"_s);
    // The listing's two heading lines, then one line per image.
    EXPECT_GE(peerOutput(pdfimages, {u"-list"_s, path(u"p.pdf"_s)}).trimmed().split(u'\n').size(), 3);
}

namespace {

mode_t modeOf(const QString &path)
{
    struct stat st = {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

// Runs a command as the account nobody (setpriv), as another local user would.
testing_support::RunResult asNobody(const QStringList &command)
{
    return testing_support::run(u"/usr/bin/setpriv"_s,
                                QStringList{u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, u"--"_s} + command);
}

} // namespace

// Every file an export writes is 0600 and every folder it makes 0700, whatever the umask, in
// every form of the export (one file, a file per entry in year folders, pictures beside them).
TEST_F(ExportTest, EveryFileAndFolderAnExportMakesIsTheUsersAlone)
{
    const mode_t umask = ::umask(0);
    store(m_archive, diary::entryName(QDate(2005, 5, 5)), recordOf(kDays[0]), diary::kArchivePassword);
    run(Format::Html, path(u"one.html"_s));
    run(Format::Markdown, path(u"entries"_s), true);
    ::umask(umask);
    EXPECT_EQ(modeOf(path(u"one.html"_s)), 0600u);
    EXPECT_EQ(modeOf(path(u"entries"_s)), 0700u);
    EXPECT_EQ(modeOf(path(u"entries/2003"_s)), 0700u);
    EXPECT_EQ(modeOf(path(u"entries/2003/2003-09-26.md"_s)), 0600u);
}

// A private diary's text goes only into the file the user named: the HTML export holds its
// articles in memory, so it works with no usable temporary folder at all.
TEST_F(ExportTest, HtmlIsWrittenWithoutATemporaryFolder)
{
    const QByteArray before = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(path(u"no such folder"_s)));
    const auto report = run(Format::Html, path(u"diary.html"_s));
    qputenv("TMPDIR", before);
    EXPECT_EQ(report.exported, 3);
    EXPECT_TRUE(testing_support::readFile(path(u"diary.html"_s)).contains("月亮长高了"));
}

// In a folder others may write (sticky, like /tmp), another user plants the output's name, or a
// year folder of a per-entry export, as a link to the user's own files. The export refuses to
// write through it, says why, and the files it leads to stay as they were.
TEST_F(ExportTest, ALinkAnotherUserPlantedIsNotWrittenThrough)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to plant links as another account (nobody) with setpriv";
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0711);
    const QString shared = path(u"tmp"_s);
    QDir().mkdir(shared);
    ::chmod(QFile::encodeName(shared).constData(), 01777);
    const QString victim = path(u"victim.txt"_s);
    testing_support::writeFile(victim, "the user's own file");
    const QString victimFolder = path(u"papers"_s);
    QDir().mkdir(victimFolder);
    const QString perEntry = shared + u"/entries"_s;
    ASSERT_EQ(asNobody({u"mkdir"_s, u"-m"_s, u"0777"_s, perEntry}).exitCode, 0);
    for (const auto &[target, link] : {std::pair{victim, shared + u"/diary.html"_s},
                                       std::pair{victimFolder, perEntry + u"/2003"_s}}) {
        const auto planted = asNobody({u"ln"_s, u"-s"_s, target, link});
        ASSERT_EQ(planted.exitCode, 0) << planted.err.constData();
    }

    try {
        run(Format::Html, shared + u"/diary.html"_s);
        ADD_FAILURE() << "written through the link";
    } catch (const EExportWrite &e) {
        EXPECT_EQ(e.message(), export_text::linkRefused(shared + u"/diary.html"_s));
    }
    EXPECT_THROW(run(Format::Markdown, perEntry, true), EExportWrite);
    EXPECT_EQ(testing_support::readFile(victim), QByteArray("the user's own file"));
    EXPECT_EQ(testing_support::entriesIn(victimFolder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
    EXPECT_EQ(modeOf(victimFolder), 0755u);
}

// An export stopped halfway leaves its temporary files beside their places; the next export to
// the same place clears them, and nothing else.
TEST_F(ExportTest, TheNextExportClearsWhatAStoppedOneLeft)
{
    QDir().mkpath(path(u"entries/2003"_s));
    const QStringList left = {u".one.html.AbC123.tmp"_s, u"entries/2003/.2003-09-26.md.AbC123.tmp"_s,
                              u"entries/2003/.2003-10-05-1.png.Zz9Zz9.tmp"_s};
    const QStringList kept = {u".one.html.notes"_s, u"entries/2003/.hidden.txt"_s};
    for (const QString &name : left + kept)
        testing_support::writeFile(path(name), "x");
    run(Format::Html, path(u"one.html"_s));
    run(Format::Markdown, path(u"entries"_s), true);
    for (const QString &name : left)
        EXPECT_FALSE(QFileInfo::exists(path(name))) << name.toStdString();
    for (const QString &name : kept)
        EXPECT_TRUE(QFileInfo::exists(path(name))) << name.toStdString();
}

// A long PDF: every line is drawn on exactly one page, so the text extracted from the whole
// file holds each entry's body verbatim, once, wherever its paragraphs break across pages.
TEST_F(ExportTest, APdfOfManyPagesHoldsEveryLineOnceForExtraction)
{
    const QString words = u"春天的河边下雨了，我们一起散步聊天。Walking home in the rain, "_s;
    QStringList bodies;
    for (int day = 0; day < 120; ++day) {
        QStringList paragraphs;
        for (int p = 0; p < 1 + day % 4; ++p) {
            QString text;
            for (int w = 0; w < 3 + (day * 7 + p * 3) % 11; ++w)
                text += words.mid((day + w) % 10, 12 + w % 9) + QString::number(day * 100 + p * 10 + w);
            paragraphs << text;
        }
        QTextDocument doc;
        doc.setPlainText(paragraphs.join(u'\n'));
        store(m_archive, diary::entryName(QDate(2006, 1, 1).addDays(day)), diary::makeRecord(doc, 0, 0),
              diary::kArchivePassword);
        // Compared without blanks: where a line wraps at a blank, extraction drops it.
        bodies << paragraphs.join(QString()).remove(u' ');
    }
    const QString out = path(u"long.pdf"_s);
    run(Format::Pdf, out);
    const auto r = testing_support::run(testing_support::pdftotextProgram(), {out, u"-"_s});
    ASSERT_EQ(r.exitCode, 0);
    // Each page's text without its number at the foot, the line breaks of the layout taken out.
    QString text;
    const QStringList pages = QString::fromUtf8(r.out).split(u'\f');
    for (QString page : pages) {
        QStringList lines = page.split(u'\n', Qt::SkipEmptyParts);
        if (!lines.isEmpty() && lines.last().trimmed().toInt() > 0)
            lines.removeLast();
        text += lines.join(QString()).remove(u' ');
    }
    ASSERT_GE(pages.size(), 20);
    int missing = 0;
    for (const QString &body : std::as_const(bodies)) {
        if (text.count(body) != 1)
            ++missing;
    }
    EXPECT_EQ(missing, 0) << "of " << bodies.size() << " entries";
}
