// Other diary programs' exports and office documents, one test per format, each from a small
// fixture written here (ZIPs made by Python's zipfile, documents by LibreOffice): the days
// (time zones included), the text, a title in bold, tags as #tag, pictures byte for byte, two
// entries on one day made one, and what is refused or skipped with its place and reason.

#include "diary_fixture.h"

#include "diary/entry.h"
#include "import/entry_assembly.h"
#include "import/importer.h"
#include "import/package.h"
#include "import/messages.h"
#include "richtext/pictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace diary_testing;
using diary_import::Encoding;

namespace {

// A day as the list shows it: weather, mood, text (paragraphs joined by CR LF).
struct Day {
    QDate date;
    QString weather;
    QString mood;
    QString text;
};

QList<Day> daysOf(const diary_import::Plan &plan)
{
    QList<Day> days;
    for (const diary_import::Entry &entry : plan.entries) {
        const diary::ListRow row = diary::listRowOf(QByteArray("x"), entry.record);
        days.append({entry.date, row.weather, row.mood, row.summary});
    }
    return days;
}

void expectDays(const diary_import::Plan &plan, const QList<Day> &expected)
{
    const QList<Day> days = daysOf(plan);
    ASSERT_EQ(days.size(), expected.size());
    for (qsizetype i = 0; i < days.size(); ++i) {
        SCOPED_TRACE(expected[i].date.toString(Qt::ISODate).toStdString());
        EXPECT_EQ(days[i].date, expected[i].date);
        EXPECT_EQ(days[i].weather, expected[i].weather);
        EXPECT_EQ(days[i].mood, expected[i].mood);
        EXPECT_EQ(days[i].text, expected[i].text);
    }
}

QString crlf(const QString &text)
{
    return QString(text).replace(u'\n', QLatin1String("\r\n"));
}

// The paragraphs of a record whose text is all bold.
QStringList boldParagraphs(const QByteArray &record)
{
    QTextDocument doc;
    diary::loadRecord(record, doc);
    QStringList bold;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        bool all = !block.text().isEmpty();
        for (auto it = block.begin(); !it.atEnd(); ++it)
            all = all && it.fragment().charFormat().fontWeight() >= QFont::Bold;
        if (all)
            bold.append(block.text());
    }
    return bold;
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

QByteArray imageBytes(const char *format, QColor colour, QSize size = QSize(12, 8))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

class ImportFormats : public ::testing::Test
{
protected:
    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        testing_support::writeFile(path, bytes);
        return path;
    }

    // A ZIP of the files, as Python's zipfile writes it (deflated, UTF-8 names flagged).
    QString zip(const QString &name, const QList<std::pair<QString, QByteArray>> &files)
    {
        const QString staging = m_dir.filePath(name + QStringLiteral(".files"));
        QStringList args{QStringLiteral("-c"),
                         QStringLiteral("import sys, os, zipfile\n"
                                        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                                        "    for n in sys.argv[3:]:\n"
                                        "        z.write(os.path.join(sys.argv[2], n), n)\n"),
                         m_dir.filePath(name), staging};
        for (const auto &[file, bytes] : files) {
            write(name + QStringLiteral(".files/") + file, bytes);
            args.append(file);
        }
        const auto r = testing_support::run(testing_support::python3Program(), args);
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        return m_dir.filePath(name);
    }

    diary_import::Plan plan(const QStringList &paths)
    {
        const std::optional<diary_import::Plan> p = diary_import::readFiles(paths, Encoding::Auto);
        EXPECT_TRUE(p.has_value());
        return p.value_or(diary_import::Plan());
    }

    static QStringList skipped(const diary_import::Plan &plan)
    {
        QStringList lines;
        for (const diary_import::Refused &s : plan.skipped)
            lines.append(s.reason);
        return lines;
    }

    QTemporaryDir m_dir;
};

TEST_F(ImportFormats, JrnlPlainTextInItsUsualTimeFormats)
{
    const QString twelveHour = write(QStringLiteral("journal.txt"),
        "[2013-06-09 03:15:00 PM] 第一篇. Body with @work and a@b.c address.\n"
        "second line\n"
        "\n"
        "[2013-06-09 09:00:00 AM] Morning! *\n"
        "早上好 @家人\n"
        "\n"
        "[2013-02-30 10:00:00 AM] Bad date.\n"
        "lost\n");
    const QString twentyFour = write(QStringLiteral("jrnl"),
        "\n[2013-06-10 23:30] Title only line *\n[10.06.2013 07:05] 欧洲写法\n正文\n");
    const diary_import::Plan p = plan({twelveHour, twentyFour});
    expectDays(p, {
        {QDate(2013, 6, 9), {}, {}, crlf(QStringLiteral("09:00 Morning!\n早上好 @家人\n\n15:15 第一篇.\n"
                                                        "Body with @work and a@b.c address.\nsecond line\n"
                                                        "#家人 #星标 #work"))},
        {QDate(2013, 6, 10), {}, {}, crlf(QStringLiteral("07:05 欧洲写法\n正文\n\n23:30 Title only line\n#星标"))},
    });
    EXPECT_EQ(boldParagraphs(p.entries[0].record),
              (QStringList{QStringLiteral("09:00 Morning!"), QStringLiteral("15:15 第一篇.")}));
    EXPECT_EQ(skipped(p), QStringList{QStringLiteral("第 3 篇：日期“[2013-02-30 10:00:00 AM]”无效")});
    ASSERT_EQ(p.sources.size(), 2);
    EXPECT_EQ(p.sources[0].format, import_text::jrnlText());
    EXPECT_EQ(p.sources[0].items, 2);
    EXPECT_EQ(p.sources[0].multiDays, 1);
}

TEST_F(ImportFormats, JrnlJsonExport)
{
    const QString file = write(QStringLiteral("export.json"), R"j({"tags": {"@work": 1},
      "entries": [
        {"title": "晚上", "body": "加班 @work", "date": "2020-02-29", "time": "21:05", "tags": ["@work"], "starred": false},
        {"title": "午饭", "body": "面条\n很好吃", "date": "2020-02-29", "time": "12:00", "tags": [], "starred": true},
        {"title": "坏的", "body": "", "date": "2019-02-29", "time": "12:00", "tags": [], "starred": false}]})j");
    const diary_import::Plan p = plan({file});
    expectDays(p, {{QDate(2020, 2, 29), {}, {},
                    crlf(QStringLiteral("12:00 午饭\n面条\n很好吃\n\n21:05 晚上\n加班 @work\n#星标 #work"))}});
    EXPECT_EQ(boldParagraphs(p.entries[0].record),
              (QStringList{QStringLiteral("12:00 午饭"), QStringLiteral("21:05 晚上")}));
    EXPECT_EQ(skipped(p), QStringList{QStringLiteral("第 3 篇：日期“2019-02-29 12:00”无效")});
    EXPECT_EQ(p.sources.value(0).format, import_text::jrnlJson());
}

// Day One's JSON export: the day of an entry is its creation time in its own time zone.
TEST_F(ImportFormats, DayOneZipWithPhotosTagsWeatherAndTimeZones)
{
    const QByteArray jpeg = imageBytes("JPEG", QColor(0x20, 0x80, 0xC0), QSize(640, 320));
    const QByteArray journal = R"j({"metadata": {"version": "1.0"}, "entries": [
      {"uuid": "A", "creationDate": "2017-06-28T15:38:37Z", "timeZone": "Asia/Shanghai",
       "text": "# 西湖\n第一行\n![](dayone-moment://P1)\n最后", "tags": ["旅行", "two words"], "starred": true,
       "weather": {"conditionsDescription": "Light Rain", "temperatureCelsius": 21.5},
       "location": {"placeName": "断桥", "localityName": "杭州", "latitude": 30.26, "longitude": 120.15},
       "photos": [{"identifier": "P1", "md5": "abc123", "type": "jpeg", "orderInEntry": 0}]},
      {"uuid": "B", "creationDate": "2017-06-28T17:30:00Z", "timeZone": "Asia/Shanghai", "text": "过了午夜"},
      {"uuid": "C", "creationDate": "2017-06-28T01:00:00Z", "timeZone": "Asia/Shanghai", "text": "早上",
       "weather": {"conditionsDescription": "Partly Cloudy"}},
      {"uuid": "D", "creationDate": "2017-06-30T03:00:00Z", "timeZone": "America/New_York", "text": "纽约前一天"},
      {"uuid": "E", "creationDate": "2017-07-01T00:00:00Z", "text": "没有图片 ![](dayone-moment://GONE)",
       "photos": [{"identifier": "GONE", "md5": "missing", "type": "jpeg"}]}]})j";
    const QString export_ = zip(QStringLiteral("Export-Journal.zip"),
                                {{QStringLiteral("Journal.json"), journal}, {QStringLiteral("photos/abc123.jpeg"), jpeg}});
    const diary_import::Plan p = plan({export_});
    expectDays(p, {
        {QDate(2017, 6, 28), QStringLiteral("雨"), {},
         crlf(QStringLiteral("09:00\n早上\n天气：Partly Cloudy\n\n23:38\n西湖\n第一行\n\n最后\n天气：21.5°C\n"
                             "地点：断桥，杭州\n#旅行 #two_words #星标"))},
        {QDate(2017, 6, 29), {}, {}, crlf(QStringLiteral("01:30\n过了午夜\n\n23:00\n纽约前一天"))},
    });
    EXPECT_EQ(picturesOf(p.entries[0].record), QList<QByteArray>{jpeg});
    EXPECT_EQ(skipped(p), QStringList{QStringLiteral("第 5 篇：图片 photos/missing.jpeg 不在导出里")});
    ASSERT_EQ(p.sources.size(), 1);
    EXPECT_EQ(p.sources[0].format, import_text::dayOneJson());
    EXPECT_EQ(import_text::sourceSummary(p.sources[0].format, p.sources[0].items, p.sources[0].days,
                                         p.sources[0].multiDays, p.sources[0].pictures),
              QStringLiteral("Day One 导出：4 篇，跨 2 天，其中 2 天有多篇；图片 1 张"));
}

TEST_F(ImportFormats, DayOneTextExport)
{
    const QString file = write(QStringLiteral("Journal.txt"),
        "\tDate:\t28 June 2017 at 23:38:37 GMT+8\n"
        "\tTags:\t旅行, 美食\n"
        "\tWeather:\t23° Mostly Cloudy\n"
        "\tLocation:\t杭州\n"
        "\n"
        "# 晚饭\n"
        "第一段\n"
        "第二段\n"
        "\n"
        "\n"
        "\tDate:\tJune 28, 2017 at 9:05:00 AM GMT+8\n"
        "\n"
        "早上 ![](dayone-moment://X)\n"
        "\n"
        "\tDate:\t2017年6月29日 下午1:00:00 GMT+8\n"
        "\n"
        "中文日期\n"
        "\tDate:\t31 June 2017 at 10:00:00 GMT+8\n"
        "\n"
        "没有这一天\n");
    const diary_import::Plan p = plan({file});
    expectDays(p, {
        {QDate(2017, 6, 28), QStringLiteral("阴"), {},
         crlf(QStringLiteral("09:05\n早上 \n（文本导出里没有图片，1 张图片没有导入）\n\n23:38\n晚饭\n第一段\n第二段\n"
                             "天气：23° Mostly Cloudy\n地点：杭州\n#旅行 #美食"))},
        {QDate(2017, 6, 29), {}, {}, QStringLiteral("中文日期")},
    });
    EXPECT_EQ(skipped(p), QStringList{QStringLiteral("第 4 篇：日期“31 June 2017 at 10:00:00 GMT+8”无效")});
    EXPECT_EQ(p.sources.value(0).format, import_text::dayOneText());
}

// RedNotebook: the data folder, or any month file in it (the folder is then read once).
TEST_F(ImportFormats, RedNotebookDataFolderInTxt2tags)
{
    const QByteArray png = imageBytes("PNG", QColor(0x20, 0x80, 0xC0));
    const QString picture = write(QStringLiteral("pictures/pic.png"), png);
    const QString month = write(QStringLiteral("data/2019-01.txt"),
        "5:\n"
        "  text: |-\n"
        "    = 标题 =\n"
        "    **粗体** 和 //斜体// 与 __下划线__ --删除-- 见 [网站 http://example.com/a//b//]\n"
        "    - 一\n"
        "    - 二\n"
        "    #旅行 图 [\"\"" + picture.chopped(4).toUtf8() + "\"\".png]\n"
        "  Cooking: {Noodles: null, Rice: null}\n"
        "  Tags: {家人: null}\n"
        "31: {text: 'single ''quoted'' line'}\n");
    write(QStringLiteral("data/2019-02.txt"), "30: {text: 没有这一天}\n1:\n  text: \"转义\\n第二行\"\n");
    write(QStringLiteral("data/2019-03.txt"), "2:\n  text: \"图不在 [\\\"\\\"/nowhere/gone\\\"\\\".jpg]\"\n");
    write(QStringLiteral("data/notes.txt"), "not a month file\n");
    for (const QStringList &given : {QStringList{m_dir.filePath(QStringLiteral("data"))},
                                     QStringList{month, m_dir.filePath(QStringLiteral("data/2019-02.txt"))}}) {
        const diary_import::Plan p = plan(given);
        expectDays(p, {
            {QDate(2019, 1, 5), {}, {},
             crlf(QStringLiteral("标题\n粗体 和 斜体 与 下划线 删除 见 网站\n一\n二\n#旅行 图 \n"
                                 "Cooking：Noodles、Rice\n#家人"))},
            {QDate(2019, 1, 31), {}, {}, QStringLiteral("single 'quoted' line")},
            {QDate(2019, 2, 1), {}, {}, crlf(QStringLiteral("转义\n第二行"))},
        });
        ASSERT_EQ(p.entries.size(), 3);
        EXPECT_EQ(picturesOf(p.entries[0].record), QList<QByteArray>{png});
        QTextDocument doc;
        diary::loadRecord(p.entries[0].record, doc);
        const QTextBlock line = doc.findBlockByNumber(1);
        QStringList runs;
        for (auto it = line.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            runs << QStringLiteral("%1:%2%3%4%5").arg(it.fragment().text().trimmed())
                        .arg(f.fontWeight() >= QFont::Bold ? u"b" : u"").arg(f.fontItalic() ? u"i" : u"")
                        .arg(f.fontUnderline() ? u"u" : u"").arg(f.fontStrikeOut() ? u"s" : u"");
        }
        EXPECT_TRUE(runs.contains(QStringLiteral("粗体:b")) && runs.contains(QStringLiteral("斜体:i"))
                    && runs.contains(QStringLiteral("下划线:u")) && runs.contains(QStringLiteral("删除:s")))
            << runs.join(u' ').toStdString();
        EXPECT_TRUE(doc.findBlockByNumber(2).textList());
        EXPECT_EQ(skipped(p), (QStringList{QStringLiteral("2019-02.txt 的 30 日：日期“2019-02-30”无效"),
                                           QStringLiteral("2019-03.txt 的 2 日：图片 /nowhere/gone.jpg 不在导出里")}));
        ASSERT_EQ(p.sources.size(), 1);
        EXPECT_EQ(p.sources[0].format, import_text::redNotebook());
        // The folder read, whichever of its files was given, is what the summary names.
        EXPECT_EQ(p.sources[0].path, QDir(m_dir.filePath(QStringLiteral("data"))).absolutePath());
        EXPECT_EQ(p.skipped.value(0).path, p.sources[0].path);
        EXPECT_TRUE(p.refused.isEmpty());
    }
}

TEST_F(ImportFormats, MiniDiaryAndMiniDiarium)
{
    const QByteArray png = imageBytes("PNG", QColor(0xC0, 0x20, 0x20));
    const QString miniDiary = write(QStringLiteral("mini-diary.json"), R"j({"metadata": {"application": "Mini Diary", "version": "3.3.0"},
      "entries": {"2019-01-01": {"dateUpdated": "x", "title": "新年", "text": "**粗** 的\n第二行"},
                  "2019-02-30": {"title": "无", "text": ""}}})j");
    const QString miniDiarium = write(QStringLiteral("mini-diarium.json"),
        QByteArray(R"j({"metadata": {"application": "Mini Diarium", "version": "0.2"}, "entries": [
          {"id": 1, "date": "2019-01-02", "title": "上午", "text": "<p>第一篇 <b>粗</b></p>", "dateUpdated": "x"},
          {"id": 2, "date": "2019-01-02", "title": "下午", "text": "<p>图 <img src=\"data:image/png;base64,)j")
        + png.toBase64() + R"j(\"></p>"}]})j");
    const diary_import::Plan p = plan({miniDiary, miniDiarium});
    expectDays(p, {
        {QDate(2019, 1, 1), {}, {}, crlf(QStringLiteral("新年\n粗 的\n第二行"))},
        {QDate(2019, 1, 2), {}, {}, crlf(QStringLiteral("上午\n第一篇 粗\n\n下午\n图 "))},
    });
    EXPECT_EQ(boldParagraphs(p.entries[0].record), QStringList{QStringLiteral("新年")});
    EXPECT_EQ(picturesOf(p.entries[1].record), QList<QByteArray>{png});
    EXPECT_EQ(skipped(p), QStringList{QStringLiteral("第 2 篇：日期“2019-02-30”无效")});
    ASSERT_EQ(p.sources.size(), 2);
    EXPECT_EQ(p.sources[0].format, import_text::miniDiary());
    EXPECT_EQ(p.sources[1].format, import_text::miniDiarium());
    EXPECT_EQ(p.sources[1].pictures, 1);
}

TEST_F(ImportFormats, DiariumExportInLocalTime)
{
    const QString file = write(QStringLiteral("diarium.json"), R"j([
      {"date": "2010-10-26T15:47:53.48828", "heading": "下午", "html": "<p>有 <i>斜体</i></p>", "tags": ["读书"],
       "location": [31.2304, 121.4737]},
      {"date": "2010-10-26T08:05:00.1", "heading": "", "html": "<p>早上</p>", "tags": []},
      {"date": "2010-10-27T00:00:00", "heading": "午夜", "html": "", "tags": ["家人", "读书"]},
      {"date": "2010-13-01T00:00:00", "heading": "坏", "html": ""}])j");
    const diary_import::Plan p = plan({file});
    expectDays(p, {
        {QDate(2010, 10, 26), {}, {}, crlf(QStringLiteral("08:05\n早上\n\n15:47 下午\n有 斜体\n地点：31.2304, 121.474\n#读书"))},
        {QDate(2010, 10, 27), {}, {}, crlf(QStringLiteral("午夜\n#家人 #读书"))},
    });
    EXPECT_EQ(skipped(p), QStringList{QStringLiteral("第 4 篇：日期“2010-13-01T00:00:00”无效")});
}

TEST_F(ImportFormats, JourneyZipOfEntriesWithMoodWeatherAndPhotos)
{
    const QByteArray jpeg = imageBytes("JPEG", QColor(0x40, 0xA0, 0x40));
    const QString a = QStringLiteral("1498664317000-abcdefghij012345");
    const QString b = QStringLiteral("1498671000000-MgdL0i6fNq7wNsLw");
    const QString export_ = zip(QStringLiteral("journey-multiple.zip"), {
        {a + QStringLiteral(".json"),
         R"j({"id": "1498664317000-abcdefghij012345", "date_journal": 1498664317000, "date_modified": 1498664317000,
             "timezone": "Asia/Shanghai", "text": "<p dir=\"auto\">晚上 <b>好</b></p>", "type": "html", "mood": 5,
             "tags": ["旅行"], "weather": {"degree_c": 100, "description": "Sunny"},
             "photos": ["1498664317000-abcdefghij012345-photo1234567890ab.jpeg"], "favourite": true, "address": "杭州"})j"},
        {a + QStringLiteral("-photo1234567890ab.jpeg"), jpeg},
        {b + QStringLiteral(".json"),
         R"j({"id": "x", "date_journal": 1498671000000, "timezone": "Asia/Shanghai", "text": "过了 **午夜**",
             "mood": 3, "tags": [], "weather": {"degree_c": 18.5, "description": "Partly Cloudy"}, "photos": []})j"},
        {QStringLiteral("1498671000001-0000000000000000.json"), "{\"date_journal\": "},
    });
    const diary_import::Plan p = plan({export_});
    expectDays(p, {
        {QDate(2017, 6, 28), QStringLiteral("晴"), QStringLiteral("高兴"),
         crlf(QStringLiteral("晚上 好\n\n地点：杭州\n#旅行 #星标"))},
        {QDate(2017, 6, 29), {}, {}, crlf(QStringLiteral("过了 午夜\n天气：Partly Cloudy，18.5°C\n心情：一般"))},
    });
    EXPECT_EQ(picturesOf(p.entries[0].record), QList<QByteArray>{jpeg});
    ASSERT_EQ(p.skipped.size(), 1);
    EXPECT_TRUE(p.skipped[0].reason.startsWith(
        QStringLiteral("1498671000001-0000000000000000.json：1498671000001-0000000000000000.json 第 1 行第 17 列：JSON格式错误")))
        << p.skipped[0].reason.toStdString();
    EXPECT_EQ(p.sources.value(0).format, import_text::journey());
}

// Whole files that cannot be read are refused, naming the place; nothing of them is imported.
TEST_F(ImportFormats, MalformedExportsAreRefusedWithTheirPlace)
{
    const QString journal = zip(QStringLiteral("broken.zip"), {{QStringLiteral("Journal.json"),
                                                                "{\"entries\": [\n  {\"creationDate\": \"2017-01-01T00:00:00Z\",\n  \"text\" \"x\"}]}"}});
    QByteArray damaged = testing_support::readFile(journal);
    damaged[50] = char(damaged[50] ^ 0x55);   // inside the deflated JSON
    const struct {
        QString name;
        QByteArray bytes;
        QString reason;
    } rows[] = {
        {QStringLiteral("broken.json"), "{\"metadata\": {\"application\": \"Mini Diary\"},\n \"entries\": {\"2019-01-01\": }}",
         QStringLiteral("broken.json 第 2 行第 28 列：JSON格式错误（缺少值）")},
        {QStringLiteral("other.json"), "{\"hello\": 1}", import_text::unknownJson()},
        {QStringLiteral("cut.zip"), testing_support::readFile(journal).left(60), import_text::notAZip()},
        {QStringLiteral("damaged.zip"), damaged, QStringLiteral("Journal.json 无法读取：数据已损坏")},
        {QStringLiteral("old.doc"), QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8), import_text::oldWordDocument()},
        {QStringLiteral("nothing.zip"), testing_support::readFile(zip(QStringLiteral("n.zip"), {{QStringLiteral("a.txt"), "x"}})),
         import_text::unknownPackage()},
        {QStringLiteral("2019-05.txt"), "1:\n  text: \"unterminated\n2: x\n", QString()},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        const QString path = write(QStringLiteral("malformed/") + row.name, row.bytes);
        const diary_import::Plan p = plan({path});
        EXPECT_TRUE(p.entries.isEmpty());
        ASSERT_EQ(p.refused.size(), 1);
        if (row.reason.isEmpty())
            EXPECT_TRUE(p.refused[0].reason.startsWith(QStringLiteral("2019-05.txt 第 4 行第 1 列：YAML格式错误")))
                << p.refused[0].reason.toStdString();
        else
            EXPECT_EQ(p.refused[0].reason, row.reason);
        QFile::remove(path);
    }
    const diary_import::Plan p = plan({journal});
    ASSERT_EQ(p.refused.size(), 1);
    EXPECT_EQ(p.refused[0].reason, QStringLiteral("Journal.json 第 3 行第 10 列：JSON格式错误（缺少冒号）"));
}

// Documents LibreOffice writes from HTML (its own profile in the test's folder): a document
// named by a day is one entry of it; one with dated headings gives an entry under each.
TEST_F(ImportFormats, OdtAndDocxWrittenByLibreOffice)
{
    const QByteArray png = imageBytes("PNG", QColor(0x20, 0x80, 0xC0));
    const QByteArray formatted =
        "<html><head><meta charset=\"utf-8\"></head><body>"
        "<p><b>粗体</b> <i>斜体</i> <u>下划线</u> <span style=\"color:#cc0000\">红色</span> "
        "<span style=\"font-size:20pt\">大字</span></p>"
        "<p align=\"center\">居中</p>"
        "<ul><li>要点一</li><li>要点二</li></ul>"
        "<table border=\"1\"><tr><td>甲</td><td>乙</td></tr><tr><td>丙</td><td>丁</td></tr></table>"
        "<p>图 <img src=\"data:image/png;base64," + png.toBase64() + "\" width=\"12\" height=\"8\"></p>"
        "</body></html>";
    const QByteArray dated = "<html><head><meta charset=\"utf-8\"></head><body><p>我的日记</p>"
                             "<p>2003-09-27 秋游</p><p>爬山</p><p>2003-09-28</p><p>下雨</p></body></html>";
    const QString html = write(QStringLiteral("office/2003-09-26.html"), formatted);
    const QString journal = write(QStringLiteral("office/journal.html"), dated);
    const QString out = m_dir.filePath(QStringLiteral("office"));
    for (const char *format : {"odt", "docx:MS Word 2007 XML"}) {
        const auto r = testing_support::run(
            QStringLiteral(QB_SOFFICE),
            {QStringLiteral("-env:UserInstallation=file://") + m_dir.filePath(QStringLiteral("profile")),
             QStringLiteral("--headless"), QStringLiteral("--convert-to"), QLatin1String(format),
             QStringLiteral("--outdir"), out, html, journal});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    }
    QDir(m_dir.filePath(QStringLiteral("profile"))).removeRecursively();

    for (const QString &suffix : {QStringLiteral("odt"), QStringLiteral("docx")}) {
        SCOPED_TRACE(suffix.toStdString());
        const diary_import::Plan p = plan({out + QStringLiteral("/2003-09-26.") + suffix,
                                           out + QStringLiteral("/journal.") + suffix});
        EXPECT_TRUE(p.refused.isEmpty()) << (p.refused.isEmpty() ? std::string() : p.refused[0].reason.toStdString());
        expectDays(p, {
            {QDate(2003, 9, 26), {}, {}, crlf(QStringLiteral("粗体 斜体 下划线 红色 大字\n居中\n要点一\n要点二\n甲\t乙\n丙\t丁\n\n图 "))},
            {QDate(2003, 9, 27), {}, {}, crlf(QStringLiteral("秋游\n爬山"))},
            {QDate(2003, 9, 28), {}, {}, QStringLiteral("下雨")},
        });
        ASSERT_EQ(p.entries.size(), 3);
        EXPECT_EQ(picturesOf(p.entries[0].record), QList<QByteArray>{png});
        EXPECT_EQ(boldParagraphs(p.entries[1].record), QStringList{QStringLiteral("秋游")});
        QTextDocument doc;
        diary::loadRecord(p.entries[0].record, doc);
        QStringList runs;
        for (auto it = doc.firstBlock().begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (!it.fragment().text().trimmed().isEmpty())
                runs << QStringLiteral("%1 b=%2 i=%3 u=%4 c=%5 pt=%6").arg(it.fragment().text().trimmed())
                            .arg(f.fontWeight() >= QFont::Bold).arg(f.fontItalic()).arg(f.fontUnderline())
                            .arg(f.foreground().color().name()).arg(f.fontPointSize() >= 19);
        }
        EXPECT_EQ(runs, (QStringList{QStringLiteral("粗体 b=1 i=0 u=0 c=#000000 pt=0"), QStringLiteral("斜体 b=0 i=1 u=0 c=#000000 pt=0"),
                                     QStringLiteral("下划线 b=0 i=0 u=1 c=#000000 pt=0"), QStringLiteral("红色 b=0 i=0 u=0 c=#cc0000 pt=0"),
                                     QStringLiteral("大字 b=0 i=0 u=0 c=#000000 pt=1")}));
        EXPECT_EQ(doc.findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        EXPECT_TRUE(doc.findBlockByNumber(2).textList());
        EXPECT_EQ(p.sources.value(0).format, suffix == u"odt" ? import_text::odfDocument() : import_text::wordDocument());
    }
}

// Exports unpacked into a folder: Day One's journal with its photos/ beside it, a folder of
// Journey's entries, and one of Journey's entries alone with its photo beside it. A name in a
// journal that climbs out of the folder is never read.
TEST_F(ImportFormats, UnpackedExportsReadTheirPicturesBesideThem)
{
    const QByteArray png = imageBytes("PNG", QColor(0x10, 0x60, 0x10));
    write(QStringLiteral("outside.png"), png);
    write(QStringLiteral("dayone/photos/abc.png"), png);
    write(QStringLiteral("dayone/Journal.json"), R"j({"metadata": {"version": "1.0"}, "entries": [
        {"creationDate": "2020-01-01T04:00:00Z", "timeZone": "Asia/Shanghai", "text": "图 ![](dayone-moment://A)",
         "photos": [{"identifier": "A", "md5": "abc", "type": "png"}]},
        {"creationDate": "2020-01-02T04:00:00Z", "timeZone": "Asia/Shanghai", "text": "外面 ![](dayone-moment://B)",
         "photos": [{"identifier": "B", "md5": "../../outside", "type": "png"}]}]})j");
    const QString journey = write(QStringLiteral("journey/1577851200000-abcdefghij012345.json"),
        R"j({"date_journal": 1577851200000, "timezone": "Asia/Shanghai", "text": "旅途",
            "photos": ["1577851200000-abcdefghij012345-p.png"]})j");
    write(QStringLiteral("journey/1577851200000-abcdefghij012345-p.png"), png);
    for (const QStringList &given : {QStringList{m_dir.filePath(QStringLiteral("dayone"))},
                                     QStringList{m_dir.filePath(QStringLiteral("dayone/Journal.json"))}}) {
        const diary_import::Plan p = plan(given);
        expectDays(p, {{QDate(2020, 1, 1), {}, {}, QStringLiteral("图 ")}});
        EXPECT_EQ(picturesOf(p.entries.value(0).record), QList<QByteArray>{png});
        EXPECT_EQ(skipped(p), QStringList{QStringLiteral("第 2 篇：图片 photos/../../outside.png 不在导出里")});
    }
    for (const QString &given : {m_dir.filePath(QStringLiteral("journey")), journey}) {
        const diary_import::Plan p = plan({given});
        expectDays(p, {{QDate(2020, 1, 1), {}, {}, crlf(QStringLiteral("旅途\n"))}});
        EXPECT_EQ(picturesOf(p.entries.value(0).record), QList<QByteArray>{png});
        EXPECT_EQ(p.sources.value(0).format, import_text::journey());
    }
}

// A ZIP whose UTF-8 names carry no flag (as Info-ZIP and macOS write them) still names its
// files as they were meant.
TEST_F(ImportFormats, ZipNamesInUtf8WithoutTheirFlag)
{
    const QString folder = m_dir.filePath(QStringLiteral("infozip"));
    write(QStringLiteral("infozip/日记.json"), "{}");
    const QString archive = m_dir.filePath(QStringLiteral("infozip.zip"));
    const auto r = testing_support::run(testing_support::zipProgram(), {QStringLiteral("-q"), QStringLiteral("-r"), archive,
                                                                       QStringLiteral("日记.json")}, {}, folder);
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    QString refusal;
    const std::optional<diary_import::Package> package =
        diary_import::Package::fromZip(testing_support::readFile(archive), QStringLiteral("infozip.zip"), &refusal);
    ASSERT_TRUE(package) << refusal.toStdString();
    EXPECT_EQ(package->names(), QStringList{QStringLiteral("日记.json")});
    QString why;
    EXPECT_EQ(package->read(QStringLiteral("日记.json"), &why, 100).value_or(QByteArray()), QByteArray("{}"));
    EXPECT_FALSE(package->read(QStringLiteral("日记.json"), &why, 1));
    EXPECT_EQ(why, QStringLiteral("日记.json 无法读取：文件太大"));
}

TEST(ImportWords, WeatherWordsAndTagsAsTheDiaryHoldsThem)
{
    const struct {
        const char *words;
        int weather;
    } rows[] = {{"Clear", 0},          {"Mostly Sunny", 0}, {"23° Mostly Cloudy", 1}, {"Light Rain", 2},
                {"Heavy Snow", 3},     {"小雨", 2},         {"晴", 0},                {"Partly Cloudy", -1},
                {"雨夹雪", -1},        {"Fog", -1},         {"", -1}};
    for (const auto &row : rows)
        EXPECT_EQ(diary_import::weatherOfWords(QString::fromUtf8(row.words)), row.weather) << row.words;
    EXPECT_EQ(diary_import::tagLine({QStringLiteral("@work"), QStringLiteral("two  words"), QStringLiteral("＃旅行"),
                                     QStringLiteral("work"), QStringLiteral("  "), QStringLiteral("#家人")}),
              QStringLiteral("#work #two_words #旅行 #家人"));
    EXPECT_EQ(diary_import::tagLine({}), QString());
}

} // namespace
