#pragma once

#include <QColor>
#include <QFont>
#include <functional>

class QWidget;

// The font dialog: holds a font with its colour, and shows them in the toolkit's font chooser
// (family, style, size, underline, strike-out) with a row for the colour. The font and colour
// stay with the object between showings.
class FontDialog
{
public:
    // "MS Sans Serif", 8 points, black: the window's own font until something is loaded.
    FontDialog();

    const QFont &Font() const { return m_font; }
    void setFont(const QFont &font) { m_font = font; }
    const QColor &Color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }

    // Shows the dialog modally over owner. OK takes the chosen font and colour and returns true;
    // cancel changes nothing and returns false.
    bool Execute(QWidget *owner);

    // Tests: replaces the modal dialog by a function that sees (and may change) the font and
    // colour and answers OK (true) or cancel (false). An empty function restores the dialog.
    using Runner = std::function<bool(QFont &font, QColor &color)>;
    void setRunner(Runner runner) { m_runner = std::move(runner); }

private:
    QFont m_font;
    QColor m_color;
    Runner m_runner;
};
