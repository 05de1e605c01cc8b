#include "export/body_files.h"
#include "richtext/rich_text.h"
#include "../richtext/samples.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A body with what the editor gives an entry beyond the RTF samples: lists of every kind and
// depth, empty paragraphs of their own size, blanks and tabs, line breaks, raised and lowered
// text, highlight, page breaks, odd underlines and markup characters.
void writeEditorBody(QTextDocument &doc)
{
    QTextCursor cursor(&doc);
    QTextCharFormat plain;
    plain.setFontFamilies({u"宋体"_s});
    plain.setFontPointSize(10.5);
    QTextCharFormat marked = plain;
    marked.setFontWeight(QFont::Bold);
    marked.setForeground(QColor(0xC0, 0, 0));
    marked.setBackground(QColor(0xFF, 0xFF, 0));
    marked.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    QTextCharFormat odd = plain;
    odd.setFontUnderline(true);
    odd.setFontStrikeOut(true);
    odd.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    cursor.insertText(u"两  个空格\t制表 <a href=\"x\">&amp;</a> "_s, plain);
    cursor.insertText(u"上标"_s + QChar(QChar::LineSeparator) + u"换行"_s, marked);
    cursor.insertText(u"波浪"_s, odd);
    QTextBlockFormat indented;
    indented.setAlignment(Qt::AlignRight);
    indented.setLeftMargin(48);
    indented.setTextIndent(-24);
    indented.setTopMargin(8);
    indented.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    QTextCharFormat big = plain;
    big.setFontPointSize(22);
    cursor.insertBlock(indented, big);   // empty, of its own size
    cursor.insertBlock(QTextBlockFormat(), plain);
    for (const auto &[style, indent] : {std::pair{QTextListFormat::ListDecimal, 1}, std::pair{QTextListFormat::ListCircle, 2},
                                        std::pair{QTextListFormat::ListUpperRoman, 1}}) {
        QTextListFormat list;
        list.setStyle(style);
        list.setIndent(indent);
        cursor.createList(list);
        cursor.insertText(u"条目一"_s, plain);
        cursor.insertBlock();
        cursor.insertText(u"条目二"_s, marked);
        cursor.insertBlock(QTextBlockFormat(), plain);
    }
    cursor.insertText(u"结尾"_s, plain);
}

QByteArray viaHtml(const QString &html)
{
    QTextDocument back;
    back.setHtml(html);
    return richtext::writeRtf(back);
}

// An article's body as the importer reads it.
QString importedPage(const QString &body)
{
    return u"<html><head><meta name=\"qrichtext\" content=\"1\" /><style>p, li { white-space: pre-wrap; }</style>"
           u"</head><body>"_s + body + u"</body></html>"_s;
}

} // namespace

// Qt's HTML reader gives back from the export's body writer what it gives back from its own
// HTML writer: for the real writers' files and for a body with every format the editor makes.
TEST(HtmlBody, ReadsBackAsQtsOwnHtmlDoes)
{
    QList<samples::Named> bodies = samples::all();
    bodies.append(samples::Named{"editor", {}});
    for (const samples::Named &sample : bodies) {
        SCOPED_TRACE(sample.name);
        QTextDocument doc;
        if (sample.bytes.isEmpty())
            writeEditorBody(doc);
        else
            richtext::readRtf(sample.bytes, doc);
        EXPECT_EQ(viaHtml(importedPage(diary_export::htmlBodyOf(doc))), viaHtml(doc.toHtml()));
    }
}
