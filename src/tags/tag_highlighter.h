#pragma once

#include <QColor>
#include <QSyntaxHighlighter>

// Shows the tags of a document in a soft colour as they are typed (#旅行). Display only: the
// colour is laid over the text's layout and never becomes part of the document's formats, so
// the record saved is the text as written. Qt Gui, no widgets: the write page attaches it to its
// editor's document.
class TTagHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    explicit TTagHighlighter(QTextDocument *document);

    // The colour tags are shown in (the skin's, say); the document is highlighted again.
    void setColour(const QColor &colour);
    QColor colour() const { return m_colour; }

protected:
    void highlightBlock(const QString &text) override;

private:
    QColor m_colour;
};
