#include "doc_inspect.h"

#include "richtext/rich_text.h"
#include "support/test_support.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextDocument>
#include <QTextList>

#include <gtest/gtest.h>

namespace {

QTextCharFormat charFormat(const QString &family, double points, bool bold = false,
                           bool italic = false, QColor color = QColor())
{
    QTextCharFormat f;
    f.setFontFamilies({family});
    f.setFontPointSize(points);
    if (bold)
        f.setFontWeight(QFont::Bold);
    if (italic)
        f.setFontItalic(true);
    if (color.isValid())
        f.setForeground(color);
    return f;
}

QTextBlockFormat aligned(Qt::Alignment a)
{
    QTextBlockFormat f;
    f.setAlignment(a);
    return f;
}

// A body with everything the editor can give a paragraph or a run.
void buildRichDocument(QTextDocument &doc)
{
    QTextCursor c(&doc);
    const QTextCharFormat song = charFormat(QStringLiteral("宋体"), 12);
    c.insertText(QStringLiteral("今天"), charFormat(QStringLiteral("宋体"), 12, true, false, Qt::red));
    c.insertText(QStringLiteral("天气"), charFormat(QStringLiteral("黑体"), 14, false, true));
    QTextCharFormat under = song;
    under.setFontUnderline(true);
    c.insertText(QStringLiteral("很好"), under);
    QTextCharFormat strike = charFormat(QStringLiteral("Arial"), 10);
    strike.setFontStrikeOut(true);
    c.insertText(QStringLiteral(" Good"), strike);
    QTextCharFormat coloured = charFormat(QStringLiteral("Times New Roman"), 11.5, false, false,
                                          QColor(0, 0, 255));
    coloured.setBackground(QColor(255, 255, 0));
    c.insertText(QStringLiteral(" weather"), coloured);

    c.insertBlock(aligned(Qt::AlignHCenter), song);
    c.insertText(QStringLiteral("居中 centre"), song);
    c.insertBlock(aligned(Qt::AlignRight), song);
    c.insertText(QStringLiteral("右对齐"), charFormat(QStringLiteral("楷体"), 16));
    c.insertBlock(aligned(Qt::AlignJustify), song);
    c.insertText(QStringLiteral("两端对齐 justified"), song);
    c.insertBlock(QTextBlockFormat(), song);   // an empty paragraph

    c.insertBlock(QTextBlockFormat(), song);
    inspect::startList(c, QTextListFormat::ListDisc);
    c.insertText(QStringLiteral("第一项"), song);
    c.insertBlock();
    c.insertText(QStringLiteral("second 项"), charFormat(QStringLiteral("Arial"), 9, true));
    c.insertBlock(QTextBlockFormat(), song);

    c.insertText(QStringLiteral("tab\there\u2028next line {braces} back\\slash \U0001F600 한 €"
                                "\u00A0nbsp"), song);
    c.insertBlock(QTextBlockFormat(), song);   // empty last paragraph
}

QString unrtfText(const QByteArray &rtf)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.rtf"));
    testing_support::writeFile(path, rtf);
    const auto result = testing_support::run(testing_support::unrtfProgram(),
                                             {QStringLiteral("--html"), path});
    EXPECT_EQ(result.exitCode, 0) << result.err.constData();
    return QString::fromUtf8(result.out);
}

// unrtf writes one line per paragraph or line break ending in <br>, characters above ASCII as
// &#N; (surrogates as two entities) and tabs as runs of &nbsp;. Spaces, bullets and tabs are
// left out of the comparison.
QStringList unrtfLines(const QString &html)
{
    QString body = html.mid(html.indexOf(QLatin1String("<body>")));
    body.remove(QLatin1Char('\n'));
    body.replace(QLatin1String("<br>"), QLatin1String("\n"));
    body.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    body.replace(QLatin1String("&bull;"), QString());
    body.replace(QLatin1String("&nbsp;"), QString());
    body.replace(QLatin1String("&amp;"), QLatin1String("&"));
    body.replace(QLatin1String("&lt;"), QLatin1String("<"));
    body.replace(QLatin1String("&gt;"), QLatin1String(">"));
    body.replace(QLatin1String("&euro;"), QStringLiteral("€"));
    QString decoded;
    static const QRegularExpression entity(QStringLiteral("&#(\\d+);"));
    qsizetype last = 0;
    for (auto it = entity.globalMatch(body); it.hasNext();) {
        const auto m = it.next();
        decoded += body.mid(last, m.capturedStart() - last);
        decoded += QChar(char16_t(m.captured(1).toUInt()));
        last = m.capturedEnd();
    }
    decoded += body.mid(last);
    QStringList lines = decoded.split(QLatin1Char('\n'));
    for (QString &l : lines)
        l.remove(QRegularExpression(QStringLiteral("\\s")));
    while (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

QStringList expectedLines(const QStringList &paragraphs)
{
    QStringList lines;
    for (const QString &p : paragraphs)
        for (QString l : p.split(QChar(QChar::LineSeparator))) {
            l.remove(QRegularExpression(QStringLiteral("[\\s\u00A0]")));
            lines.append(l);
        }
    while (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

TEST(RichTextWriter, RoundTripKeepsTextAndFormatsRunByRun)
{
    QTextDocument original;
    buildRichDocument(original);
    const QByteArray rtf = richtext::writeRtf(original);

    QTextDocument back;
    richtext::readRtf(rtf, back);
    const auto before = inspect::describe(original);
    const auto after = inspect::describe(back);
    ASSERT_EQ(after.size(), before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        EXPECT_EQ(after[i], before[i]) << "paragraph " << i;
    // Writing what was read gives the same bytes again.
    EXPECT_EQ(richtext::writeRtf(back), rtf);
}

TEST(RichTextWriter, WritesTheRichEditFormOnAGbkSystem)
{
    QTextDocument doc;
    buildRichDocument(doc);
    const QByteArray rtf = richtext::writeRtf(doc);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg936\\deff0")) << rtf.left(60).constData();
    EXPECT_TRUE(rtf.contains("{\\f0\\fnil\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}"));   // 宋体 in GBK
    EXPECT_TRUE(rtf.contains("\\fnil\\fcharset134 \\'ba\\'da\\'cc\\'e5;}"));        // 黑体
    EXPECT_TRUE(rtf.contains("{\\colortbl ;\\red255\\green0\\blue0;"));
    EXPECT_TRUE(rtf.contains("\\uc1"));
    EXPECT_TRUE(rtf.contains("\\'bd\\'f1\\'cc\\'ec"));   // 今天, both bytes escaped, lower case

    static const QRegularExpression symbolFont(QStringLiteral("\\{\\\\f(\\d+)\\\\fnil\\\\fcharset2 Symbol;\\}"));
    const auto symbol = symbolFont.match(QString::fromLatin1(rtf));
    ASSERT_TRUE(symbol.hasMatch());
    const QByteArray s = symbol.captured(1).toLatin1();
    EXPECT_TRUE(rtf.contains("{\\pntext\\f" + s + "\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf" + s
                             + "\\pnindent0{\\pntxtb\\'B7}}"));
    // Characters GBK lacks are kept as \uN? (signed, surrogates for U+1F600).
    EXPECT_TRUE(rtf.contains("\\u-10179?\\u-8704?"));
    EXPECT_TRUE(rtf.contains("\\u-10916?"));   // 한
    EXPECT_TRUE(rtf.contains("\\'80"));        // € is in code page 936
    EXPECT_TRUE(rtf.contains("\\line"));
    EXPECT_TRUE(rtf.contains("\\{braces\\} back\\\\slash"));
    EXPECT_TRUE(rtf.endsWith("\\par\r\n}\r\n"));
    for (char c : rtf)
        ASSERT_LT(static_cast<unsigned char>(c), 0x80);
    // Never a CR or LF straight after a backslash, which would be read as \par.
    EXPECT_FALSE(rtf.contains("\\\r"));
    EXPECT_FALSE(rtf.contains("\\\n"));
}

TEST(RichTextWriter, NumberedListsAndIndentsSurvive)
{
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextBlockFormat indented;
    indented.setLeftMargin(40);
    indented.setTextIndent(20);
    indented.setBottomMargin(10);
    c.setBlockFormat(indented);
    c.insertText(QStringLiteral("indented"));
    c.insertBlock(QTextBlockFormat());
    inspect::startList(c, QTextListFormat::ListDecimal);
    c.insertText(QStringLiteral("one"));
    c.insertBlock();
    c.insertText(QStringLiteral("two"));

    QTextDocument back;
    richtext::readRtf(richtext::writeRtf(doc), back);
    ASSERT_EQ(back.blockCount(), 3);
    const QTextBlockFormat f = back.begin().blockFormat();
    EXPECT_EQ(f.leftMargin(), 40);
    EXPECT_EQ(f.textIndent(), 20);
    EXPECT_EQ(f.bottomMargin(), 10);
    const QTextList *list = back.findBlockByNumber(1).textList();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->format().style(), QTextListFormat::ListDecimal);
    EXPECT_EQ(back.findBlockByNumber(2).textList(), list);
    EXPECT_EQ(list->itemText(back.findBlockByNumber(2)), QStringLiteral("2."));
}

TEST(RichTextWriter, UnrtfReadsTheSameTextFromRecordsWeWrite)
{
    QTextDocument doc;
    buildRichDocument(doc);
    const QByteArray record = richtext::SaveRecord(doc, 2, 4);
    QStringList paragraphs = {QStringLiteral("2"), QStringLiteral("4")};
    paragraphs += inspect::texts(doc);
    // unrtf has no Unicode fallback for pairs it reads as two \u escapes; compare the rest.
    EXPECT_EQ(unrtfLines(unrtfText(record)), expectedLines(paragraphs));
}

// A web page pasted into the editor gives its headings a size relative to the default font;
// saved and read back, a heading shows as large as it did.
TEST(RichTextWriter, APastedHeadingKeepsTheSizeItShows)
{
    QFont songti(QStringLiteral("宋体"));
    songti.setPixelSize(14);
    const auto laidOutHeights = [](const QTextDocument &doc) {
        QList<qreal> heights;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
            heights << doc.documentLayout()->blockBoundingRect(b).height();
        return heights;
    };
    QTextDocument pasted;
    pasted.setDefaultFont(songti);
    QTextCursor(&pasted).insertFragment(QTextDocumentFragment::fromHtml(
        QStringLiteral("<h1>大标题</h1><p>正文</p><h3>小标题</h3><p><span style='font-size:x-large'>大字</span></p>")));
    QTextDocument back;
    back.setDefaultFont(songti);
    richtext::readRtf(richtext::writeRtf(pasted), back);
    EXPECT_EQ(back.begin().begin().fragment().charFormat().fontPointSize(), 21.0) << "twice 10.5 points";
    const QList<qreal> shown = laidOutHeights(pasted);
    const QList<qreal> read = laidOutHeights(back);
    ASSERT_EQ(read.size(), shown.size());
    for (qsizetype i = 0; i < shown.size(); ++i)
        EXPECT_NEAR(read[i], shown[i], 2.0) << "paragraph " << i;
}
