// Importing: file names in every date form, UTF-8 and GBK text, our own exported text, Markdown
// and HTML read back to the same dates, weather, mood, text and formats, other programs' dated
// headings, files refused whole with their reasons, and applying a plan to a diary (existing
// days skipped, appended to or replaced; one rewrite with a version kept; a cancel that leaves
// the archive byte for byte; unreadable entries never replaced; private diaries sealed).

#include "diary_fixture.h"

#include "crypto/private_format.h"
#include "diary/messages.h"
#include "crypto/private_header.h"
#include "import/importer.h"
#include "import/messages.h"
#include "export/body_files.h"
#include "export/diary_export.h"
#include "versions/kept_versions.h"

#include "richtext/pictures.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace diary_testing;
using diary_import::Encoding;

namespace {

const QDate kDay(2003, 9, 26);

// What the list shows of an imported entry: weather, mood, body text (paragraphs by CR LF).
struct Shown {
    QString weather;
    QString mood;
    QString text;
};

Shown shown(const diary_import::Entry &entry)
{
    const diary::ListRow row = diary::listRowOf(QByteArray("x"), entry.record);
    EXPECT_TRUE(row.readable());
    return {row.weather, row.mood, row.summary};
}

QList<diary_import::Entry> read(const QString &name, const QByteArray &bytes,
                                Encoding encoding = Encoding::Auto, QString *refusal = nullptr)
{
    QString why;
    QList<diary_import::Entry> entries = diary_import::readSource(name, bytes, encoding, &why);
    if (refusal)
        *refusal = why;
    else
        EXPECT_TRUE(why.isEmpty()) << why.toStdString();
    return entries;
}

QString crlf(const QString &text)
{
    return QString(text).replace(u'\n', QLatin1String("\r\n"));
}

// ---- names ----

TEST(ImportNames, EveryDateFormGivesTheDay)
{
    for (const char *name : {"2003-09-26.txt", "2003-9-26.md", "2003.09.26", "2003.09.26.txt",
                             "2003_09_26.md", "20030926.txt", "2003年9月26日.md", "2003年09月26日.txt",
                             "20030926 游记.txt", "2003-09-26-晚上.md", "2003-09-26(2).rtf"})
        EXPECT_EQ(diary_import::dateOfFileName(QString::fromUtf8(name)), kDay) << name;
    for (const char *name : {"2003-09.md", "200309261.txt", "日记 2003-09-26.txt", "2003-02-30.txt",
                             "2003-09-26x.txt", "0999-01-01.txt", "2003-09_26.txt", "2003年9月26.txt", ""})
        EXPECT_FALSE(diary_import::dateOfFileName(QString::fromUtf8(name)).isValid()) << name;
}

// ---- encodings ----

TEST(ImportEncoding, Utf8AndGbkFilesGiveTheSameEntry)
{
    const QString text = QStringLiteral("秋高气爽，去了西湖。\n第二行 € 号");
    const auto fromUtf8 = read(QStringLiteral("2003-09-26.txt"), text.toUtf8());
    const auto fromBom = read(QStringLiteral("2003-09-26.txt"), "\xEF\xBB\xBF" + text.toUtf8());
    const auto fromGbk = read(QStringLiteral("2003年9月26日.txt"), g(text));
    ASSERT_EQ(fromUtf8.size(), 1);
    ASSERT_EQ(fromBom.size(), 1);
    ASSERT_EQ(fromGbk.size(), 1);
    EXPECT_EQ(shown(fromUtf8[0]).text, crlf(text));
    EXPECT_EQ(fromBom[0].record, fromUtf8[0].record);
    EXPECT_EQ(fromGbk[0].record, fromUtf8[0].record);
    EXPECT_EQ(fromUtf8[0].date, kDay);

    // The override: GBK bytes read as UTF-8 are not the text; UTF-8 bytes read as GBK neither.
    Encoding used = Encoding::Auto;
    EXPECT_EQ(diary_import::decodeText(g(text), Encoding::Auto, &used), text);
    EXPECT_EQ(used, Encoding::Gbk);
    EXPECT_NE(diary_import::decodeText(g(text), Encoding::Utf8), text);
    EXPECT_NE(diary_import::decodeText(text.toUtf8(), Encoding::Gbk), text);
    EXPECT_EQ(diary_import::decodeText(text.toUtf8(), Encoding::Auto, &used), text);
    EXPECT_EQ(used, Encoding::Utf8);
    // GBK forced on bytes that happen to be valid UTF-8 too.
    const QByteArray both = g(QStringLiteral("小"));
    EXPECT_EQ(diary_import::decodeText(both, Encoding::Gbk), QStringLiteral("小"));
}

// ---- our own formats ----

// Our plain text export, exactly as it is written.
const char kOwnText[] =
    "羽书手札 · 张三 的日记\n"
    "\n"
    "2003-09-26（星期五）\n"
    "天气：晴　心情：高兴\n"
    "========================================\n"
    "今天 😀 去了西湖。\n"
    "    缩进的一行\t制表\n"
    "2003-09-20\n"
    "\n"
    "2003-10-05（星期日）\n"
    "天气：雨\n"
    "========================================\n"
    "𠀀 second\n"
    "\n"
    "\n"
    "2003-10-06（星期一）\n"
    "========================================\n"
    "没有天气\n"
    "\n";

const char kOwnMarkdown[] =
    "# 羽书手札 · 张三 的日记\n"
    "\n"
    "## 2003-09-26（星期五）\n"
    "\n"
    "*天气：晴　心情：高兴*\n"
    "\n"
    "今天 **很好** 😀\n"
    "\n"
    "\\## 不是标题\n"
    "\n"
    "## 2003-10-05（星期日）\n"
    "\n"
    "*心情：想法*\n"
    "\n"
    "𠀀 second\n"
    "\n"
    "```\n"
    "## 2003-01-01 in code\n"
    "```\n"
    "\n";

TEST(ImportOwnFormats, TextAndMarkdownExportsGiveDatesWeatherMoodAndText)
{
    struct Expected {
        QDate date;
        Shown shown;
    };
    const QList<std::pair<QList<diary_import::Entry>, QList<Expected>>> cases = {
        {read(QStringLiteral("张三.txt"), kOwnText),
         {{kDay, {QStringLiteral("晴"), QStringLiteral("高兴"),
                  QStringLiteral("今天 😀 去了西湖。\r\n    缩进的一行\t制表\r\n2003-09-20")}},
          {QDate(2003, 10, 5), {QStringLiteral("雨"), QString(), QStringLiteral("𠀀 second\r\n")}},
          {QDate(2003, 10, 6), {QString(), QString(), QStringLiteral("没有天气")}}}},
        {read(QStringLiteral("张三.md"), kOwnMarkdown),
         {{kDay, {QStringLiteral("晴"), QStringLiteral("高兴"), QStringLiteral("今天 很好 😀\r\n## 不是标题")}},
          {QDate(2003, 10, 5), {QString(), QStringLiteral("想法"),
                                QStringLiteral("𠀀 second\r\n## 2003-01-01 in code")}}}},
        // One file per entry, its heading the day of its name.
        {read(QStringLiteral("2003/2003-09-26.md"),
              "# 2003-09-26（星期五）\n\n*天气：雨　心情：想法*\n\n正文 *斜体*\n"),
         {{kDay, {QStringLiteral("雨"), QStringLiteral("想法"), QStringLiteral("正文 斜体")}}}},
    };
    for (const auto &[entries, expected] : cases) {
        ASSERT_EQ(entries.size(), expected.size());
        for (qsizetype i = 0; i < entries.size(); ++i) {
            SCOPED_TRACE(expected[i].date.toString(Qt::ISODate).toStdString());
            EXPECT_EQ(entries[i].date, expected[i].date);
            const Shown s = shown(entries[i]);
            EXPECT_EQ(s.weather, expected[i].shown.weather);
            EXPECT_EQ(s.mood, expected[i].shown.mood);
            EXPECT_EQ(s.text, expected[i].shown.text);
        }
    }
}

// The runs of a document: text with its character formats, paragraph by paragraph.
QStringList formatsOf(const QByteArray &record)
{
    QTextDocument doc;
    diary::loadRecord(record, doc);
    QStringList runs;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        runs << QStringLiteral("¶ align=%1 list=%2").arg(int(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask))
                    .arg(block.textList() ? 1 : 0);
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            runs << QStringLiteral("%1 b=%2 i=%3 u=%4 s=%5 c=%6 pt=%7")
                        .arg(it.fragment().text())
                        .arg(f.fontWeight() >= QFont::Bold)
                        .arg(f.fontItalic())
                        .arg(f.fontUnderline())
                        .arg(f.fontStrikeOut())
                        .arg(f.foreground().color().name())
                        .arg(f.fontPointSize());
        }
    }
    return runs;
}

// The bytes of the pictures an entry shows, in order.
QList<QByteArray> picturesOf(const QByteArray &record)
{
    QTextDocument doc;
    diary::loadRecord(record, doc);
    QList<QByteArray> pictures;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                pictures.append(richtext::pictureOf(doc, it.fragment().charFormat().toImageFormat())->data);
    return pictures;
}

// A body with every format the exports carry, and characters outside GBK.
void writeFormatted(QTextDocument &doc)
{
    QTextCursor cursor(&doc);
    QTextCharFormat plain;
    plain.setFontPointSize(12);
    QTextCharFormat bold = plain;
    bold.setFontWeight(QFont::Bold);
    bold.setForeground(QColor(0xCC, 0x00, 0x00));
    QTextCharFormat italic = plain;
    italic.setFontItalic(true);
    italic.setFontUnderline(true);
    italic.setFontPointSize(18);
    QTextCharFormat struck = plain;
    struck.setFontStrikeOut(true);
    cursor.insertText(QStringLiteral("普通 "), plain);
    cursor.insertText(QStringLiteral("红色粗体"), bold);
    cursor.insertText(QStringLiteral(" 斜体下划线 😀"), italic);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    cursor.insertBlock(centred, plain);
    cursor.insertText(QStringLiteral("居中 "), plain);
    QImage image(12, 8, QImage::Format_RGB32);
    image.fill(QColor(0x20, 0x80, 0xC0));
    richtext::Picture picture;
    picture.kind = richtext::PictureKind::Png;
    QBuffer buffer(&picture.data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    picture.width = image.width();
    picture.height = image.height();
    cursor.insertImage(richtext::addPicture(doc, picture));
    cursor.insertText(QStringLiteral("删除线 𠀀"), struck);
    cursor.insertBlock(QTextBlockFormat(), plain);
    cursor.createList(QTextListFormat::ListDisc);
    cursor.insertText(QStringLiteral("要点 <a> & \"b\""), plain);

}

TEST(ImportOwnFormats, HtmlExportGivesTheSameFormats)
{
    QTextDocument doc;
    writeFormatted(doc);
    const QString body = diary_export::htmlBodyOf(doc);
    const QString page =
        QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>羽书手札</title></head><body>\n"
                       "<article class=\"entry\" id=\"d2003-09-26\" data-date=\"2003-09-26\" "
                       "data-weather=\"雪\" data-mood=\"&#x611F;慨\">\n<h2>2003-09-26（星期五）</h2>\n"
                       "<!--entry-body-->%1<!--/entry-body-->\n</article>\n"
                       "<article class=\"entry\" id=\"d2003-10-05\" data-date=\"2003-10-05\" data-weather=\"\" data-mood=\"\">\n"
                       "<h2>2003-10-05</h2>\n<!--entry-body--><p>第二篇</p><!--/entry-body-->\n</article>\n"
                       "</body></html>\n")
            .arg(body);
    const auto entries = read(QStringLiteral("diary.html"), page.toUtf8());
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].date, kDay);
    EXPECT_EQ(shown(entries[0]).weather, QStringLiteral("雪"));
    EXPECT_EQ(shown(entries[0]).mood, QStringLiteral("感慨"));
    EXPECT_EQ(formatsOf(entries[0].record), formatsOf(diary::makeRecord(doc, 3, 5)));
    EXPECT_EQ(shown(entries[0]).text, crlf(doc.toPlainText().remove(QChar::ObjectReplacementCharacter)));
    EXPECT_EQ(entries[1].date, QDate(2003, 10, 5));
    EXPECT_EQ(shown(entries[1]).weather, QString());
    EXPECT_EQ(shown(entries[1]).text, QStringLiteral("第二篇"));
}

// What the exporter writes, the importer reads back into a new diary: the same days, weather,
// mood and text from every format, and from HTML the same formats.
TEST(ImportOwnFormats, OurExportsComeBackAsTheyWent)
{
    QTemporaryDir dir;
    QTextDocument doc;
    writeFormatted(doc);
    const QString source = dir.filePath(QStringLiteral("source"));
    writeDiary(source, {{QStringLiteral("2003年9月26日"), diary::makeRecord(doc, 3, 5)},
                        {QStringLiteral("2003年10月5日"),
                         ownRecord(1, 0, QStringLiteral("# 不是标题\n") + QString(40, u'=')
                                             + QStringLiteral("\n2003-10-06\n*星号*  与\t_下划线_"))},
                        {QStringLiteral("2004年2月29日"), ownRecord(0, 2, QStringLiteral("闰日 😀"))}});
    TArchiveReader reader;
    reader.SetZipName(source);
    const QList<diary::ListRow> rows = diary::listEntries(reader).rows;

    using diary_export::Format;
    for (const auto &[format, perEntry] : {std::pair{Format::Text, false}, std::pair{Format::Markdown, false},
                                           std::pair{Format::Markdown, true}, std::pair{Format::Html, false},
                                           std::pair{Format::Odf, false}}) {
        const QString what = diary_export::suffixOf(format) + (perEntry ? QStringLiteral(" per entry") : QString());
        SCOPED_TRACE(what.toStdString());
        diary_export::Options options;
        options.format = format;
        options.perEntry = perEntry;
        const QString out = dir.filePath(perEntry ? QStringLiteral("entries") : QStringLiteral("我的 (日记).") + what);
        const diary_export::ExportReport report =
            diary_export::exportDiary(reader, nullptr, {}, options, out);
        ASSERT_EQ(report.exported, 3);
        const std::optional<diary_import::Plan> plan = diary_import::readFiles(report.files, Encoding::Auto);
        ASSERT_TRUE(plan);
        EXPECT_TRUE(plan->refused.isEmpty());
        ASSERT_EQ(plan->entries.size(), 3);

        const QString target = dir.filePath(what + QStringLiteral(".diary"));
        writeDiary(target, {});
        TArchiveWriter writer;
        writer.SetZipName(target);
        writer.SetPassword(diary::kArchivePassword);
        diary_import::apply(*plan, writer, diary_import::Existing::Skip);
        TArchiveReader back;
        back.SetZipName(target);
        const QList<diary::ListRow> imported = diary::listEntries(back).rows;
        ASSERT_EQ(imported.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const diary::ListRow &was = rows[i];
            const auto now = std::find_if(imported.begin(), imported.end(),
                                          [&](const diary::ListRow &row) { return row.name == was.name; });
            ASSERT_NE(now, imported.end()) << was.name.toStdString();
            EXPECT_EQ(now->weather, was.weather);
            EXPECT_EQ(now->mood, was.mood);
            EXPECT_EQ(now->summary, was.summary);
        }
        const QByteArray was = diary::readEntry(reader, g(QStringLiteral("2003年9月26日")));
        const QByteArray now = diary::readEntry(back, g(QStringLiteral("2003年9月26日")));
        if (format == Format::Html || format == Format::Odf) {
            EXPECT_EQ(formatsOf(now), formatsOf(was));
        }
        if (format != Format::Text) {
            EXPECT_EQ(picturesOf(now), picturesOf(was));
            EXPECT_EQ(picturesOf(was).size(), 1);
        }
    }
}

// ---- other programs' files ----

TEST(ImportOtherSources, DatedHeadingsRtfAndTitlesIntoTheBody)
{
    const auto text = read(QStringLiteral("journal.txt"),
                           "My journal\n\n2003-09-26 08:30 早起\n跑步\n\n\n2003-09-27\n\n下雨\n");
    ASSERT_EQ(text.size(), 2);
    EXPECT_EQ(shown(text[0]).text, QStringLiteral("08:30 早起\r\n跑步"));
    EXPECT_EQ(text[1].date, QDate(2003, 9, 27));
    EXPECT_EQ(shown(text[1]).text, QStringLiteral("下雨"));

    const auto md = read(QStringLiteral("journal.md"), "# 2003-09-26 旅行\n\n第一天\n\n# 2003-09-27\n第二天\n");
    ASSERT_EQ(md.size(), 2);
    EXPECT_EQ(shown(md[0]).text, QStringLiteral("旅行\r\n第一天"));
    EXPECT_EQ(shown(md[1]).text, QStringLiteral("第二天"));

    // RTF named by its day, as other writers write it in GBK, and in another code page.
    const auto rtf = read(QStringLiteral("2003-09-26.rtf"),
                          richEditRecord({QStringLiteral("第一段 😀"), QStringLiteral("第二段")}));
    ASSERT_EQ(rtf.size(), 1);
    EXPECT_EQ(shown(rtf[0]).text, QStringLiteral("第一段 ?\r\n第二段"));   // GBK RTF holds no emoji
    const auto latin = read(QStringLiteral("20030926.rtf"),
                            "{\\rtf1\\ansi\\ansicpg1252 Caf\\'e9 \\u55357?\\u56832?\\par}");
    ASSERT_EQ(latin.size(), 1);
    EXPECT_EQ(shown(latin[0]).text, QStringLiteral("Café 😀"));
}

TEST(ImportOtherSources, FilesWithoutDaysAreRefusedWhole)
{
    const struct {
        const char *name;
        QByteArray bytes;
        QString reason;
    } rows[] = {
        {"notes.txt", "no heading at all\n2003-09-26x\n", import_text::noDate()},
        {"notes.md", "# My diary\nintro line\n\n## 2003-09-26\nbody\n", import_text::textBeforeFirstDate()},
        {"notes.rtf", "{\\rtf1 hello\\par}", import_text::noDate()},
        {"2003-09-26.rtf", "not rtf at all", import_text::notRtf()},
        {"2003-09-26.jpg", "\xFF\xD8\xFF\xE0", import_text::unknownKind()},
        {"2003-09-26.txt", QByteArray("te\0xt", 5), import_text::notText()},
        {"diary.html", "<article class=\"entry\" data-date=\"2003-09-26\"><!--entry-body-->ok<!--/entry-body--></article>"
                       "<article class=\"entry\" data-date=\"2003-02-30\"></article>", import_text::badDateInHtml()},
        {"page.html", "<html><body><p>no articles</p></body></html>", import_text::noDate()},
    };
    for (const auto &row : rows) {
        QString reason;
        const auto entries = read(QString::fromUtf8(row.name), row.bytes, Encoding::Auto, &reason);
        EXPECT_TRUE(entries.isEmpty()) << row.name;
        EXPECT_EQ(reason, row.reason) << row.name;
    }
}

// ---- applying a plan ----

class ImportInto : public ::testing::Test
{
protected:
    ImportInto()
    {
        m_writer.SetZipName(path());
        m_reader.SetZipName(path());
    }

    QString path() const { return m_dir.filePath(QStringLiteral("张三")); }

    QString writeSource(const QString &name, const QByteArray &bytes)
    {
        const QString file = m_dir.filePath(QStringLiteral("in/") + name);
        QDir().mkpath(QFileInfo(file).absolutePath());
        testing_support::writeFile(file, bytes);
        return file;
    }

    diary_import::Plan plan(const QStringList &files)
    {
        std::optional<diary_import::Plan> p = diary_import::readFiles(files, Encoding::Auto);
        EXPECT_TRUE(p.has_value());
        return p ? *p : diary_import::Plan{};
    }

    // The diary's rows by entry name.
    QMap<QString, diary::ListRow> rows(const DiaryKey *key = nullptr)
    {
        const diary::Listing listing = diary::listEntries(m_reader, key);
        listing.rethrowError();
        QMap<QString, diary::ListRow> byName;
        for (const diary::ListRow &row : listing.rows)
            byName.insert(row.name, row);
        return byName;
    }

    QTemporaryDir m_dir;
    TArchiveWriter m_writer;
    TArchiveReader m_reader;
};

TEST_F(ImportInto, ExistingDaysAreSkippedAppendedOrReplacedInOneRewriteWithAVersion)
{
    const struct {
        diary_import::Existing existing;
        QString weather;
        QString text;
    } cases[] = {
        {diary_import::Existing::Skip, QStringLiteral("阴"), QStringLiteral("旧的一篇")},
        {diary_import::Existing::Append, QStringLiteral("阴"), QStringLiteral("旧的一篇\r\n新的 😀")},
        {diary_import::Existing::Replace, QStringLiteral("晴"), QStringLiteral("新的 😀")},
    };
    const QStringList files = {
        writeSource(QStringLiteral("2003-09-26.md"), "# 2003-09-26\n\n*天气：晴　心情：高兴*\n\n新的 😀\n"),
        writeSource(QStringLiteral("2003年9月27日.txt"), g(QStringLiteral("只有GBK的字"))),
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(int(row.existing));
        QDir(versions::folderOf(path())).removeRecursively();
        QFile::remove(path());
        writeDiary(path(), {{QStringLiteral("2003年9月26日"), ownRecord(1, 2, QStringLiteral("旧的一篇"))},
                            {QStringLiteral("2003年9月1日"), ownRecord(0, 0, QStringLiteral("别的"))}});
        const QByteArray before = testing_support::readFile(path());

        const diary_import::Plan p = plan(files);
        ASSERT_TRUE(p.refused.isEmpty());
        ASSERT_EQ(p.entries.size(), 2);
        const diary_import::Outcome out = diary_import::apply(p, m_writer, row.existing);
        EXPECT_EQ(out.added, QList<QDate>{QDate(2003, 9, 27)});
        const QList<QDate> merged = {kDay};
        EXPECT_EQ(out.skipped, row.existing == diary_import::Existing::Skip ? merged : QList<QDate>());
        EXPECT_EQ(out.appended, row.existing == diary_import::Existing::Append ? merged : QList<QDate>());
        EXPECT_EQ(out.replaced, row.existing == diary_import::Existing::Replace ? merged : QList<QDate>());

        const auto r = rows();
        ASSERT_EQ(r.size(), 3);
        EXPECT_EQ(r[QStringLiteral("2003年9月26日")].weather, row.weather);
        EXPECT_EQ(r[QStringLiteral("2003年9月26日")].summary, row.text);
        EXPECT_EQ(r[QStringLiteral("2003年9月1日")].summary, QStringLiteral("别的"));
        EXPECT_EQ(r[QStringLiteral("2003年9月27日")].summary, QStringLiteral("只有GBK的字"));
        EXPECT_EQ(r[QStringLiteral("2003年9月27日")].weather, QString());

        // One rewrite, and the diary as it was kept as a version, whether one was due or not.
        const QList<versions::Version> kept = versions::list(path());
        ASSERT_EQ(kept.size(), 1);
        EXPECT_EQ(testing_support::readFile(kept[0].path), before);
    }
}

TEST_F(ImportInto, CharactersOutsideGbkSurviveIntoTheDiary)
{
    const QStringList files = {writeSource(QStringLiteral("2003-09-26.txt"), QStringLiteral("表情 😀 与 𠀀 字").toUtf8())};
    diary_import::apply(plan(files), m_writer, diary_import::Existing::Skip);
    EXPECT_EQ(rows()[QStringLiteral("2003年9月26日")].summary, QStringLiteral("表情 😀 与 𠀀 字"));
}

TEST_F(ImportInto, ACancelledImportLeavesTheArchiveByteForByte)
{
    writeDiary(path(), {{QStringLiteral("2003年9月26日"), ownRecord(1, 2, QStringLiteral("旧的"))}});
    const QByteArray before = testing_support::readFile(path());
    QStringList files;
    for (int i = 0; i < 5; ++i)
        files << writeSource(QStringLiteral("2003-09-%1.txt").arg(25 + i), QByteArray("day ") + QByteArray::number(i));
    EXPECT_FALSE(diary_import::readFiles(files, Encoding::Auto, [](qsizetype done, qsizetype) { return done < 2; }));
    const diary_import::Plan p = plan(files);

    // Stopped at each point the progress is asked, up to the last one before the rewrite.
    int asked = 0;
    diary_import::apply(p, m_writer, diary_import::Existing::Replace, nullptr, [&](qsizetype, qsizetype) {
        ++asked;
        return true;
    });
    ASSERT_EQ(asked, p.entries.size() + 2);
    for (int stop = 0; stop < asked; ++stop) {
        SCOPED_TRACE(stop);
        testing_support::writeFile(path(), before);
        QDir(versions::folderOf(path())).removeRecursively();
        int call = 0;
        const diary_import::Outcome out = diary_import::apply(
            p, m_writer, diary_import::Existing::Replace, nullptr, [&](qsizetype, qsizetype) { return call++ < stop; });
        EXPECT_TRUE(out.cancelled);
        EXPECT_EQ(testing_support::readFile(path()), before);
        EXPECT_TRUE(versions::list(path()).isEmpty());
    }
}

TEST_F(ImportInto, AnUnreadableEntryIsNeverReplaced)
{
    const QStringList files = {writeSource(QStringLiteral("2003-09-26.txt"), "new"),
                               writeSource(QStringLiteral("2003-09-27.txt"), "other")};
    for (const auto existing : {diary_import::Existing::Replace, diary_import::Existing::Append}) {
        QFile::remove(path());
        writeDiary(path(), {{QStringLiteral("2003年9月1日"), ownRecord(0, 0, QStringLiteral("好的"))}});
        storeUnderAnotherPassword(path(), QStringLiteral("2003年9月26日"), ownRecord(0, 0, QStringLiteral("别人的")));
        const diary_import::Outcome out = diary_import::apply(plan(files), m_writer, existing);
        ASSERT_EQ(out.refused.size(), 1);
        EXPECT_EQ(out.refused[0].first, kDay);
        EXPECT_EQ(out.refused[0].second, diary::EntryProblem::WrongPassword);
        diary::EntryProblem problem = diary::EntryProblem::None;
        diary::readEntry(m_reader, g(QStringLiteral("2003年9月26日")), &problem);
        EXPECT_EQ(problem, diary::EntryProblem::WrongPassword);
        EXPECT_EQ(rows()[QStringLiteral("2003年9月27日")].summary, QStringLiteral("other"));
    }
}

TEST_F(ImportInto, APrivateDiaryGetsSealedEntriesOnly)
{
    const DiaryKey key = DiaryKey::generate();
    const PrivateHeader header = PrivateHeader::create(key, QStringLiteral("口令"), QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89PQ"),
                                                       private_format::kMinimumKdf);
    writeDiary(path(), {{QStringLiteral("2003年9月26日"), ownRecord(1, 2, QStringLiteral("旧的 oldsecret"))}});
    diary::protectDiary(m_writer, header, key);
    const QStringList files = {writeSource(QStringLiteral("2003-09-26.txt"), QStringLiteral("秘密 secretword 😀").toUtf8()),
                               writeSource(QStringLiteral("2003-09-27.md"), "**secretbold** 梧桐\n")};
    EXPECT_THROW(diary_import::apply(plan(files), m_writer, diary_import::Existing::Append), EDiaryFormat);
    const diary_import::Outcome out = diary_import::apply(plan(files), m_writer, diary_import::Existing::Append, &key);
    EXPECT_EQ(out.added.size(), 1);
    EXPECT_EQ(out.appended.size(), 1);

    const auto r = rows(&key);
    EXPECT_EQ(r[QStringLiteral("2003年9月26日")].summary, QStringLiteral("旧的 oldsecret\r\n秘密 secretword 😀"));
    EXPECT_EQ(r[QStringLiteral("2003年9月27日")].summary, QStringLiteral("secretbold 梧桐"));
    const QByteArray file = testing_support::readFile(path());
    for (const QByteArray &word : {QByteArray("secretword"), QByteArray("secretbold"), QByteArray("oldsecret"),
                                   g(QStringLiteral("梧桐")), QStringLiteral("梧桐").toUtf8(), QByteArray("rtf1")})
        EXPECT_FALSE(file.contains(word)) << word.constData();
    TArchiveReader reader;
    reader.SetZipName(path());
    reader.OpenArchive();
    for (int i = 0; i < reader.EntryCount(); ++i)
        EXPECT_EQ(reader.Entry(i).method, private_format::kPrivateMethod);
}

TEST_F(ImportInto, DaysGivenTwiceAreJoinedAndRefusedFilesNamed)
{
    const QStringList files = {
        writeSource(QStringLiteral("2003-09-26.txt"), "first"),
        writeSource(QStringLiteral("a.md"), "## 2003-09-26\n\n*天气：雪*\n\nsecond\n"),
        writeSource(QStringLiteral("b.txt"), "nothing dated\n"),
        m_dir.filePath(QStringLiteral("in/missing.txt")),
    };
    const diary_import::Plan p = plan(files);
    ASSERT_EQ(p.entries.size(), 1);
    EXPECT_EQ(p.entries[0].sources, (QStringList{files[0], files[1]}));
    EXPECT_EQ(shown(p.entries[0]).text, QStringLiteral("first\r\nsecond"));
    EXPECT_EQ(shown(p.entries[0]).weather, QStringLiteral("雪"));
    ASSERT_EQ(p.refused.size(), 2);
    EXPECT_EQ(p.refused[0].path, files[2]);
    EXPECT_EQ(p.refused[0].reason, import_text::noDate());
    EXPECT_EQ(p.refused[1].path, files[3]);
    EXPECT_TRUE(p.refused[1].reason.startsWith(import_text::cannotOpen(QString())));
}

} // namespace

// Only regular files are read, each no further than its size: a device, a FIFO (which would
// block for ever), a folder or a link named for import is refused unread, and so is a picture a
// Markdown file links to one of them (/dev/zero would be read until memory runs out); the rest
// of such a file still comes in.
TEST_F(ImportInto, OnlyRegularFilesAreReadAndLinkedPicturesAreNoException)
{
    const QString fifo = m_dir.filePath(QStringLiteral("in/fifo"));
    QDir().mkpath(m_dir.filePath(QStringLiteral("in")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString markdown = writeSource(QStringLiteral("2003-09-26.md"),
                                         "first ![a](/dev/zero) ![b](file:///dev/urandom) ![c](fifo) ![d](.)\n");
    const QString link = m_dir.filePath(QStringLiteral("in/2003-09-27.txt"));
    ASSERT_TRUE(QFile::link(markdown, link));

    const diary_import::Plan p = plan({markdown, QStringLiteral("/dev/zero"), fifo, link, m_dir.path()});
    ASSERT_EQ(p.entries.size(), 1);
    EXPECT_EQ(shown(p.entries[0]).text.trimmed(), QStringLiteral("first"));
    QStringList reasons;
    for (const diary_import::Refused &refused : p.refused)
        reasons << refused.reason;
    // The folder is looked at as another program's data folder, and holds none.
    EXPECT_EQ(reasons, (QStringList{import_text::notRegularFile(), import_text::notRegularFile(),
                                    import_text::notRegularFile(), import_text::unknownFolder()}));
}

// An entry has an upper size (diary/record_limit.h): a source that would give a larger one is
// refused with that reason, and the RTF reader stops at the limit rather than build the whole
// document first.
TEST(ImportOtherSources, ASourceBeyondTheEntryLimitIsRefused)
{
    const qint64 limit = diary_limits::kMaxRecordSize;
    const struct {
        const char *name;
        QByteArray bytes;
    } rows[] = {
        {"2003-09-26.txt", QByteArray(limit / 2 + 1, 'a')},
        {"2003-09-26.rtf", "{\\rtf1\\ansi " + QByteArray(limit / 2 + 1, 'a') + "}"},
    };
    for (const auto &row : rows) {
        QString reason;
        EXPECT_TRUE(read(QString::fromLatin1(row.name), row.bytes, Encoding::Auto, &reason).isEmpty()) << row.name;
        EXPECT_EQ(reason, import_text::entryTooLarge()) << row.name;
    }
}

// A table goes out as a pipe table in Markdown (a cell's paragraphs joined by <br>, a bar in it
// escaped) and as tab-separated rows in text, and Markdown comes back in as the same table.
TEST(ImportOwnFormats, ATableGoesOutAsRowsAndComesBackFromMarkdownAsATable)
{
    QTextDocument doc;
    QTextCursor cursor(&doc);
    cursor.insertText(QStringLiteral("表格前"));
    QTextTable *table = cursor.insertTable(2, 2);
    const QStringList cells = {QStringLiteral("日期"), QStringLiteral("事情|竖线"), QStringLiteral("第一段"),
                               QStringLiteral("晴")};
    for (int i = 0; i < 4; ++i)
        table->cellAt(i / 2, i % 2).firstCursorPosition().insertText(cells[i]);
    QTextCursor inCell = table->cellAt(1, 0).lastCursorPosition();
    inCell.insertBlock();
    inCell.insertText(QStringLiteral("第二段"));

    EXPECT_EQ(diary_export::plainTextOf(doc), QStringLiteral("表格前\n日期\t事情|竖线\n第一段\n第二段\t晴"));
    const QString markdown = diary_export::markdownOf(doc);
    EXPECT_TRUE(markdown.contains(QStringLiteral("| 日期 | 事情\\|竖线 |\n| --- | --- |\n| 第一段<br>第二段 | 晴 |")))
        << markdown.toStdString();

    const auto entries = read(QStringLiteral("2003-09-26.md"), markdown.toUtf8());
    ASSERT_EQ(entries.size(), 1);
    QTextDocument back;
    diary::loadRecord(entries[0].record, back);
    QTextTable *read = nullptr;
    for (auto it = back.rootFrame()->begin(); !it.atEnd() && !read; ++it)
        read = qobject_cast<QTextTable *>(it.currentFrame());
    ASSERT_TRUE(read);
    ASSERT_EQ(read->rows(), 2);
    ASSERT_EQ(read->columns(), 2);
    QStringList texts;
    for (int i = 0; i < 4; ++i) {
        QTextCursor c = read->cellAt(i / 2, i % 2).firstCursorPosition();
        c.setPosition(read->cellAt(i / 2, i % 2).lastCursorPosition().position(), QTextCursor::KeepAnchor);
        texts << c.selectedText().replace(QChar::ParagraphSeparator, u'/').replace(QChar::LineSeparator, u'/');
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("日期"), QStringLiteral("事情|竖线"), QStringLiteral("第一段/第二段"),
                                  QStringLiteral("晴")}));
}

namespace {

// An entry whose text begins with a list, appended to another, or as a part of a day: the list
// comes along (the list of the document it came from is no list of the one it joins).
TEST(ImportJoin, AnEntryThatBeginsWithAListJoinsWhole)
{
    QTextDocument list;
    list.setMarkdown(QStringLiteral("- 要点\n- 第二点\n"));
    const QByteArray incoming = diary::makeRecord(list, 0, 0);
    const QByteArray joined = diary_import::appendRecord(ownRecord(1, 2, QStringLiteral("旧的")), incoming);
    EXPECT_EQ(diary::listRowOf(QByteArray("x"), joined).summary, QStringLiteral("旧的\r\n要点\r\n第二点"));
    QTextDocument doc;
    diary::loadRecord(joined, doc);
    EXPECT_FALSE(doc.firstBlock().textList());
    EXPECT_TRUE(doc.lastBlock().textList());
}

} // namespace
