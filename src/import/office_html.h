#pragma once

#include "import/readers.h"

#include <QList>
#include <QString>

// The HTML the office readers write while they walk a document's XML: paragraphs of runs,
// lists by level, tables with spans, pictures. Top-level paragraphs, lists and tables become
// the blocks of an OfficeDocument. Formats come as the two readers resolve them.
namespace diary_import {

// A run's character format; unset fields inherit.
struct RunStyle {
    std::optional<bool> bold, italic, underline, strike;
    QString color;        // "#rrggbb"
    double points = 0;    // font size; 0 unset
    QString family;

    // This style over base: what this one sets wins.
    RunStyle over(const RunStyle &base) const;
    QString css() const;
};

struct ParagraphStyle {
    QString align;        // "left", "center", "right", "justify"; empty unset
    int heading = 0;      // 1 to 6: a heading of that level
    RunStyle run;         // what the paragraph gives its runs

    ParagraphStyle over(const ParagraphStyle &base) const;
};

class OfficeHtml
{
public:
    // Tables nested deeper than this give their cells' paragraphs to the table around them.
    static constexpr int kMaxTableDepth = 8;

    // A paragraph; listLevel 0 for none, else the list level from 1, ordered for a numbered
    // list. A paragraph inside another (a text box) joins it.
    void beginParagraph(const ParagraphStyle &style, int listLevel = 0, bool ordered = false);
    void text(const QString &text, const RunStyle &style);
    void lineBreak();
    void picture(const QString &name, double width, double height);
    void endParagraph();

    void beginTable();
    void beginRow();
    void beginCell(int columns, int rows);
    void endCell();
    void endRow();
    void endTable();

    // The blocks written, the document's end closing what is open.
    QList<OfficeDocument::Block> finish();

    // The head the blocks' HTML is read under.
    static QString head();

private:
    struct ListLevel {
        bool ordered;
    };
    struct Frame {               // the document's body, or a table cell
        QList<ListLevel> lists;
    };
    void closeLists(Frame &frame, int keep);
    void topLevelBlock(bool paragraph);
    bool inTable() const { return m_tableDepth > 0; }

    QString m_html;               // the block being written
    QString m_text;               // its plain text, when a paragraph
    QList<OfficeDocument::Block> m_blocks;
    QList<Frame> m_frames{Frame()};
    int m_tableDepth = 0;         // tables written as tables
    int m_ignoredTables = 0;      // tables inside those, beyond kMaxTableDepth
    int m_paragraphDepth = 0;
    QString m_tag;                // the open paragraph's element
};

} // namespace diary_import
