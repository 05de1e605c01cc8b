#include "tags/tag_highlighter.h"

#include "tags/tag_words.h"

namespace {

// A muted blue: set apart from the text without shouting.
const QColor kSoftBlue(0x4A, 0x7F, 0xB5);

} // namespace

TTagHighlighter::TTagHighlighter(QTextDocument *document) : QSyntaxHighlighter(document), m_colour(kSoftBlue)
{
}

void TTagHighlighter::setColour(const QColor &colour)
{
    m_colour = colour;
    rehighlight();
}

void TTagHighlighter::highlightBlock(const QString &text)
{
    if (!text.contains(u'#') && !text.contains(u'\uFF03'))
        return;
    QTextCharFormat format;
    format.setForeground(m_colour);
    for (const tags::TagSpan &span : tags::findTags(text))
        setFormat(int(span.start), int(span.end() - span.start), format);
}
