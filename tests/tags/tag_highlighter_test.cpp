#include "tags/tag_highlighter.h"

#include "richtext/rich_text.h"

#include <QCoreApplication>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

// The tags are coloured in the layout as typed; the document, and so the record saved, keeps
// the text's own formats.
TEST(TagHighlighter, ColoursTheTagsWithoutChangingTheDocument)
{
    QTextDocument plain;
    plain.setPlainText(u"今天 #旅行，C# 不算\n＃家人"_s);
    const QByteArray before = richtext::writeRtf(plain);

    QTextDocument doc;
    doc.documentLayout();   // laid out, as an editor's document is: edits are reported to the highlighter
    doc.setPlainText(plain.toPlainText());
    TTagHighlighter highlighter(&doc);
    QCoreApplication::processEvents();   // the first highlighting waits for the event loop
    const auto ranges = [&](int block) {
        QList<QPair<int, int>> found;
        for (const QTextLayout::FormatRange &range : doc.findBlockByNumber(block).layout()->formats()) {
            if (range.format.foreground().color() == highlighter.colour())
                found.append({range.start, range.length});
        }
        return found;
    };
    EXPECT_EQ(ranges(0), (QList<QPair<int, int>>{{3, 3}}));
    EXPECT_EQ(ranges(1), (QList<QPair<int, int>>{{0, 3}}));
    EXPECT_EQ(richtext::writeRtf(doc), before);

    // Typing on updates the colour.
    QTextCursor cursor(&doc);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(u"团聚 #春节"_s);
    EXPECT_EQ(ranges(1), (QList<QPair<int, int>>{{0, 5}, {6, 3}}));
    highlighter.setColour(Qt::darkGreen);
    EXPECT_EQ(ranges(1).size(), 2);
}
