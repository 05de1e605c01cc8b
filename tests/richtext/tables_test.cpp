#include "doc_inspect.h"
#include "samples.h"

#include "richtext/pictures.h"
#include "richtext/rich_text.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <gtest/gtest.h>

namespace {

QByteArray rtf(const QByteArray &body)
{
    return "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}\r\n" + body
           + "}";
}

struct TableCase {
    const char *name;
    QByteArray bytes;
    const char16_t *structure;   // inspect::structure of the document; nullptr: not compared
    std::vector<const char *> lines;   // the plain text, line by line (UTF-8)
};

QStringList linesOf(const TableCase &c)
{
    QStringList out;
    for (const char *line : c.lines)
        out.append(QString::fromUtf8(line));
    return out;
}

QList<TableCase> tableCases()
{
    return {
        {"a simple two by two table between paragraphs",
         rtf("Before\\par\\trowd\\cellx1000\\cellx2000\\pard\\intbl A1\\cell B1\\cell\\row"
             "\\trowd\\cellx1000\\cellx2000\\pard\\intbl A2\\cell B2\\cell\\row\\pard After\\par"),
         uR"("Before" ["A1", "B1"; "A2", "B2"] "After")",
         {"Before", "A1\tB1", "A2\tB2", "After"}},
        {"Word's rows, row definitions after the cells, a nested table and a shaded cell",
         samples::wordTables(),
         uR"("Before" ["日期", "Weather"; "outer" ["in1", "in2"] "", "sunny"] "After")",
         {"Before", "日期\tWeather", "outer", "in1\tin2\tsunny", "After"}},
        {"LibreOffice's rows of different layouts, merges, and its nested table",
         samples::libreOfficeTables(),
         uR"("Before" ["A1", "B1"; "A2 中文", "B2"] "Middle" ["wide"{1x2}; "tall"{2x1}, "x"; "y"] "Nest" ["outer" ["in1", "in2"] "", "o2"] "After")",
         {"Before", "A1\tB1", "A2 中文\tB2", "Middle", "wide", "tall\tx", "y", "Nest", "outer",
          "in1\tin2\to2", "After"}},
        {"pandoc's cells whose paragraphs reset \\intbl", samples::pandocTables(),
         uR"("Before" ["A" "", "B" ""] "After")", {"Before", "A", "\tB", "", "After"}},
        {"horizontally merged cells are one cell",
         rtf("\\trowd\\clmgf\\cellx1000\\clmrg\\cellx2000\\cellx3000\\pard\\intbl AB\\cell\\cell C\\cell\\row"
             "\\trowd\\cellx1000\\cellx2000\\cellx3000\\pard\\intbl 1\\cell 2\\cell 3\\cell\\row\\pard x\\par"),
         uR"("" ["AB"{1x2}, "C"; "1", "2", "3"] "x")", {"AB\tC", "1\t2\t3", "x"}},
        {"a cell's own paragraphs and a picture-free empty cell",
         rtf("\\trowd\\cellx1000\\cellx2000\\pard\\intbl one\\par two\\cell\\cell\\row"),
         uR"("" ["one" "two", ""] "")", {"one", "two\t"}},
        {"a \\row without \\trowd or cells is no table", rtf("A\\row B\\par"), uR"("A" "B")",
         {"A", "B"}},
        {"a \\cell outside any table ends its paragraph and begins a table",
         rtf("a\\cell b\\cell\\row c\\par"), uR"("a" ["", "b"] "c")", {"a", "\tb", "c"}},
        {"more cells than boundaries keep their text",
         rtf("\\trowd\\cellx1000\\pard\\intbl a\\cell b\\cell\\cell\\row"), uR"("" ["a", "b"] "")",
         {"a\tb"}},
        {"a table left open at the end keeps its text",
         rtf("x\\par\\trowd\\cellx1000\\cellx2000\\pard\\intbl a\\cell b"), uR"("x" ["a", "b"] "")",
         {"x", "a\tb"}},
        {"rows of different layouts make one table with spans",
         rtf("\\trowd\\cellx1000\\pard\\intbl a\\cell\\row\\pard\\trowd\\cellx500\\cellx1000\\pard\\intbl b\\cell c\\cell\\row\\pard d\\par"),
         uR"("" ["a"{1x2}; "b", "c"] "d")", {"a", "b\tc", "d"}},
        {"nesting deeper than allowed stays in the deepest table",
         rtf("\\pard\\intbl\\itap30 deep\\nestcell\\nestrow\\pard end\\par"), nullptr,
         {"deep", "end"}},
        {"a vertically merged cell beginning with an empty paragraph keeps its span",
         rtf("\\trowd\\clvmgf\\cellx1000\\cellx2000\\pard\\intbl\\par top\\cell x\\cell\\row"
             "\\trowd\\clvmrg\\cellx1000\\cellx2000\\pard\\intbl\\cell y\\cell\\row"),
         uR"("" ["" "top"{2x1}, "x"; "y"] "")", {"", "top\tx", "y"}},
        {"a vertical merge without a cell above is a cell",
         rtf("\\trowd\\clvmrg\\cellx1000\\pard\\intbl v\\cell\\row"), uR"("" ["v"] "")", {"v"}},
        {"a nested table where an outer row begins",
         rtf("\\trowd\\cellx1000\\pard\\intbl a\\cell\\row\\pard\\intbl\\itap2 b\\nestcell\\nestrow\\pard\\itap0 z\\par"),
         nullptr, {"a", "b", "z"}},
    };
}

TEST(Tables, OtherWritersTablesAreReadAsTables)
{
    for (const TableCase &c : tableCases()) {
        SCOPED_TRACE(c.name);
        QTextDocument doc;
        richtext::readRtf(c.bytes, doc);
        if (c.structure) {
            EXPECT_EQ(inspect::structure(doc), QString::fromUtf16(c.structure));
        }
        EXPECT_EQ(inspect::texts(doc), linesOf(c));
        EXPECT_EQ(richtext::rtfParagraphs(c.bytes), linesOf(c));
    }
}

TEST(Tables, ShadingBordersAndWidthsReachTheDocument)
{
    QTextDocument doc;
    richtext::readRtf(samples::wordTables(), doc);
    QTextCursor cursor(&doc);
    cursor.setPosition(doc.begin().next().position());
    const QTextTable *table = cursor.currentTable();
    ASSERT_TRUE(table);
    EXPECT_GT(table->format().border(), 0);
    const QList<QTextLength> widths = table->format().columnWidthConstraints();
    ASSERT_EQ(widths.size(), 2);
    EXPECT_EQ(widths[1].rawValue(), (5572 - 2732) / 15.0);
    EXPECT_EQ(table->cellAt(0, 1).format().background().color(), QColor(255, 255, 0));
    EXPECT_FALSE(table->cellAt(0, 0).format().hasProperty(QTextFormat::BackgroundBrush));
}

// The list page's summary is what the editor shows after taking the two index lines, also
// where a table stands right after them.
TEST(Tables, SummariesAgreeWithTheEditorAroundTables)
{
    const QByteArray table = "\\trowd\\cellx1000\\cellx2000\\pard\\intbl a\\cell b\\cell\\row\\pard ";
    QList<std::pair<const char *, QByteArray>> records = {
        {"a table after the index lines", rtf("1\\par 3\\par " + table + "end\\par")},
        {"a table after the first line", rtf("1\\par " + table + "end\\par")},
        {"a table first", rtf(table + "end\\par")},
        {"an empty paragraph then a table", rtf("1\\par 3\\par \\par " + table)},
        {"a table at the end", rtf("1\\par 3\\par body\\par " + table)},
    };
    for (const TableCase &c : tableCases())
        records.append({c.name, "{\\rtf1 1\\par 3\\par " + c.bytes + "}"});
    for (const auto &[name, bytes] : records) {
        SCOPED_TRACE(name);
        QTextDocument doc;
        richtext::LoadRecord(bytes, doc);
        const richtext::RecordSummary summary = richtext::summarizeRecord(bytes);
        EXPECT_EQ(summary.line1, richtext::takeFirstLine(doc));
        EXPECT_EQ(summary.line2, richtext::takeFirstLine(doc));
        EXPECT_EQ(summary.body, richtext::plainBody(doc));
        EXPECT_EQ(richtext::summarizeRecordIfReadable(bytes, 3)->body, summary.body.left(3));
    }
    // The table itself survives taking the lines.
    QTextDocument doc;
    richtext::LoadRecord(rtf("1\\par 3\\par " + table + "end\\par"), doc);
    richtext::takeFirstLine(doc);
    EXPECT_EQ(richtext::takeFirstLine(doc), QStringLiteral("3"));
    EXPECT_EQ(richtext::plainBody(doc), QStringLiteral("a\tb\r\nend"));
}

TEST(Tables, WrittenTablesReadBackAsTheSameTables)
{
    for (const TableCase &c : tableCases()) {
        SCOPED_TRACE(c.name);
        QTextDocument doc;
        richtext::readRtf(c.bytes, doc);
        const QByteArray written = richtext::writeRtf(doc);
        QTextDocument again;
        richtext::readRtf(written, again);
        EXPECT_EQ(inspect::structure(again), inspect::structure(doc));
        EXPECT_EQ(richtext::plainBody(again), richtext::plainBody(doc));
        // Written again, the same bytes.
        EXPECT_EQ(richtext::writeRtf(again), written);
    }
    QTextDocument doc;
    richtext::readRtf(samples::wordTables(), doc);
    const QByteArray written = richtext::writeRtf(doc);
    EXPECT_TRUE(written.contains("\\trowd\\trgaph108\\trleft0\\clbrdrt\\brdrs\\brdrw10"));
    EXPECT_TRUE(written.contains("\\pard\\intbl\\itap2 in1\\nestcell"));
    EXPECT_TRUE(written.contains("{\\*\\nesttableprops\\trowd"));
    EXPECT_TRUE(written.contains("\\nestrow}{\\nonesttables\\par}"));
    EXPECT_TRUE(written.contains("\\clcbpat"));
}

TEST(Tables, ATableMadeInTheEditorIsSavedAndOpenedAsATable)
{
    QTextDocument doc;
    QTextCursor cursor(&doc);
    cursor.insertText(QStringLiteral("今天"));
    QTextTable *table = cursor.insertTable(3, 3);
    table->mergeCells(0, 0, 1, 2);
    table->mergeCells(1, 2, 2, 1);
    table->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("标题"));
    table->cellAt(1, 0).firstCursorPosition().insertText(QStringLiteral("x{y}\\"));
    table->cellAt(1, 2).firstCursorPosition().insertText(QStringLiteral("高"));
    table->cellAt(2, 1).firstCursorPosition().insertTable(1, 2)->cellAt(0, 1)
        .firstCursorPosition().insertText(QStringLiteral("内"));
    const QByteArray record = richtext::SaveRecord(doc, 1, 6);
    QTextDocument reopened;
    richtext::LoadRecord(record, reopened);
    EXPECT_EQ(richtext::takeFirstLine(reopened), QStringLiteral("1"));
    EXPECT_EQ(richtext::takeFirstLine(reopened), QStringLiteral("6"));
    EXPECT_EQ(inspect::structure(reopened), inspect::structure(doc));
    EXPECT_EQ(richtext::plainBody(reopened),
              QStringLiteral("今天\r\n标题\t\r\nx{y}\\\t\t高\r\n\t\t内"));
    EXPECT_EQ(richtext::summarizeRecord(record).body, richtext::plainBody(reopened));
}

TEST(Tables, APictureInAFootnoteIsKeptInTheNote)
{
    QImage image(12, 10, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const QByteArray body = "Text{\\super\\chftn}{\\footnote \\pard\\plain {\\super\\chftn} note "
                            "{\\pict\\pngblip\\picw12\\pich10 " + png.toHex() + "}\\par} end\\par";
    QTextDocument doc;
    richtext::readRtf(rtf(body), doc);
    EXPECT_EQ(inspect::texts(doc), QStringList({QStringLiteral("Text1 end"), QStringLiteral("1 note ")}));
    const QTextBlock note = doc.lastBlock();
    bool found = false;
    for (auto it = note.begin(); !it.atEnd(); ++it) {
        if (it.fragment().charFormat().isImageFormat()) {
            const auto picture = richtext::pictureOf(doc, it.fragment().charFormat().toImageFormat());
            ASSERT_TRUE(picture);
            EXPECT_EQ(picture->data, png);
            found = true;
        }
    }
    EXPECT_TRUE(found);
    // The summary still reads the note's text only.
    EXPECT_EQ(richtext::rtfParagraphs(rtf(body)), inspect::texts(doc));
}

// LibreOffice, when installed, shows what we write as tables: the nested one inside the outer.
TEST(Tables, LibreOfficeShowsWrittenTablesAsTables)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed";
    QTextDocument doc;
    richtext::readRtf(samples::wordTables(), doc);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("tables.rtf")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(richtext::writeRtf(doc));
    file.close();
    QProcess process;
    process.start(soffice, {QStringLiteral("--headless"),
                            QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                            QStringLiteral("--convert-to"), QStringLiteral("html"),
                            QStringLiteral("--outdir"), dir.path(), file.fileName()});
    ASSERT_TRUE(process.waitForFinished(180000));
    QFile html(dir.filePath(QStringLiteral("tables.html")));
    ASSERT_TRUE(html.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(html.readAll());
    EXPECT_EQ(text.count(QStringLiteral("<table")), 2);
    const qsizetype outer = text.indexOf(QStringLiteral("<table"));
    const qsizetype inner = text.indexOf(QStringLiteral("<table"), outer + 1);
    const qsizetype outerEnd = text.lastIndexOf(QStringLiteral("</table>"));
    EXPECT_LT(inner, text.indexOf(QStringLiteral("</table>")));
    EXPECT_LT(text.indexOf(QStringLiteral("in2")), outerEnd);
    EXPECT_GT(text.indexOf(QStringLiteral("in1")), inner);
    EXPECT_GT(text.indexOf(QStringLiteral("sunny")), inner);
    EXPECT_GT(text.indexOf(QStringLiteral("After")), outerEnd);
}

} // namespace
