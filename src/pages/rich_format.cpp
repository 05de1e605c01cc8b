#include "pages/rich_format.h"
#include "richtext/format_mapping.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>

namespace rich_format {

namespace {

bool fontHas(const QFont &font, CharStyle style)
{
    switch (style) {
    case CharStyle::Bold:
        return font.bold();
    case CharStyle::Italic:
        return font.italic();
    case CharStyle::Underline:
        return font.underline();
    case CharStyle::StrikeOut:
        return font.strikeOut();
    }
    return false;
}

bool formatHas(const QTextCharFormat &format, const QFont &defaultFont, CharStyle style)
{
    return fontHas(format.font().resolve(defaultFont), style);
}

} // namespace

bool hasStyle(const QTextEdit *editor, CharStyle style)
{
    const QTextDocument *document = editor->document();
    const QFont defaultFont = document->defaultFont();
    const QTextCursor cursor = editor->textCursor();
    if (!cursor.hasSelection())
        return formatHas(editor->currentCharFormat(), defaultFont, style);

    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    bool sawText = false;
    for (QTextBlock block = document->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.position() + fragment.length() <= start || fragment.position() >= end)
                continue;
            sawText = true;
            if (!formatHas(fragment.charFormat(), defaultFont, style))
                return false;
        }
    }
    // A selection of paragraph breaks only reports the format at the caret.
    return sawText || formatHas(cursor.charFormat(), defaultFont, style);
}

void toggleStyle(QTextEdit *editor, CharStyle style)
{
    const bool on = !hasStyle(editor, style);
    QTextCharFormat change;
    switch (style) {
    case CharStyle::Bold:
        change.setFontWeight(on ? QFont::Bold : QFont::Normal);
        break;
    case CharStyle::Italic:
        change.setFontItalic(on);
        break;
    case CharStyle::Underline:
        change.setFontUnderline(on);
        break;
    case CharStyle::StrikeOut:
        change.setFontStrikeOut(on);
        break;
    }
    editor->mergeCurrentCharFormat(change);
}

bool hasBullets(const QTextEdit *editor)
{
    return editor->textCursor().currentList() != nullptr;
}

void toggleBullets(QTextEdit *editor)
{
    // Over a selection the command gives one result for every paragraph in it: all of them in
    // one bullet list unless all of them are bulleted already, in which case all leave their
    // lists. A paragraph of another list (a ■ list read from a file) is bulleted like the rest.
    QTextCursor cursor = editor->textCursor();
    QTextDocument *document = editor->document();
    const QTextBlock first = document->findBlock(cursor.selectionStart());
    const QTextBlock last = document->findBlock(cursor.selectionEnd());
    const auto eachBlock = [&](const auto &action) {
        for (QTextBlock block = first; block.isValid(); block = block.next()) {
            action(block);
            if (block == last)
                break;
        }
    };
    bool allBulleted = true;
    eachBlock([&](const QTextBlock &block) {
        const QTextList *list = block.textList();
        if (!list || list->format().style() != QTextListFormat::ListDisc)
            allBulleted = false;
    });

    cursor.beginEditBlock();
    if (allBulleted) {
        // Leaving a list keeps each paragraph's own indentation: the paragraph is only taken out
        // of the list it belongs to.
        eachBlock([](const QTextBlock &block) {
            QTextBlockFormat plain = block.blockFormat();
            plain.setObjectIndex(-1);
            QTextCursor(block).setBlockFormat(plain);
        });
    } else {
        QTextList *bullets = nullptr;
        eachBlock([&](const QTextBlock &block) {
            if (!bullets) {
                QTextListFormat format;
                format.setStyle(QTextListFormat::ListDisc);
                bullets = QTextCursor(block).createList(format);
                return;
            }
            if (block.textList() != bullets) {
                if (QTextList *other = block.textList())
                    other->remove(block);
                bullets->add(block);
            }
        });
    }
    cursor.endEditBlock();
}

Qt::Alignment alignment(const QTextEdit *editor)
{
    // AlignLeading and AlignTrailing are the same flags as AlignLeft and AlignRight.
    const Qt::Alignment a = editor->textCursor().blockFormat().alignment();
    if (a & Qt::AlignHCenter)
        return Qt::AlignHCenter;
    if (a & Qt::AlignJustify)
        return Qt::AlignJustify;
    if (a & Qt::AlignRight)
        return Qt::AlignRight;
    return Qt::AlignLeft;
}

QTextCharFormat fontFormat(const QFont &font, const QColor &colour)
{
    QTextCharFormat format;
    format.setFontFamilies(font.families().isEmpty() ? QStringList{font.family()} : font.families());
    if (font.pointSizeF() > 0)
        format.setFontPointSize(font.pointSizeF());
    else if (font.pixelSize() > 0)
        format.setProperty(QTextFormat::FontPixelSize, font.pixelSize());
    format.setFontWeight(font.weight());
    format.setFontItalic(font.italic());
    format.setFontUnderline(font.underline());
    format.setFontStrikeOut(font.strikeOut());
    format.setForeground(colour);
    return format;
}

QFont inPoints(const QFont &font, int dpi)
{
    if (font.pointSizeF() > 0 || font.pixelSize() <= 0 || dpi <= 0)
        return font;
    QFont converted = font;
    converted.setPointSizeF(font.pixelSize() * 72.0 / dpi);
    return converted;
}

void changeSize(QTextEdit *editor, qreal points)
{
    QTextDocument *doc = editor->document();
    const QFont defaultFont = inPoints(doc->defaultFont(), editor->logicalDpiY());
    const auto resized = [&](QTextCharFormat format) {
        const double now = richtext::shownPointSize(format, defaultFont);
        // A relative size would take the place of the one set here.
        format.clearProperty(QTextFormat::FontSizeAdjustment);
        format.setFontPointSize(qMax<qreal>(1, now + points));
        return format;
    };
    QTextCursor range = editor->textCursor();
    if (!range.hasSelection())
        range.select(QTextCursor::WordUnderCursor);
    if (!range.hasSelection()) {
        editor->setCurrentCharFormat(resized(editor->currentCharFormat()));
        return;
    }
    const int start = range.selectionStart();
    const int end = range.selectionEnd();
    // The runs are collected first: changing a format splits and merges the fragments.
    struct Run {
        int from;
        int to;
        QTextCharFormat format;
    };
    QList<Run> runs;
    for (QTextBlock block = doc->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int from = qMax(start, fragment.position());
            const int to = qMin(end, fragment.position() + fragment.length());
            if (from < to)
                runs.append({from, to, fragment.charFormat()});
        }
    }
    QTextCursor edit(doc);
    edit.beginEditBlock();
    for (const Run &run : std::as_const(runs)) {
        edit.setPosition(run.from);
        edit.setPosition(run.to, QTextCursor::KeepAnchor);
        edit.setCharFormat(resized(run.format));
    }
    edit.endEditBlock();
}

} // namespace rich_format
