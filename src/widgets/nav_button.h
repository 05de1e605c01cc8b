#pragma once

#include <QKeySequence>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>

// How a navigation button frames itself (one-pixel bevel along its edge):
//   bsNone     never a bevel;
//   bsNormal   raised, sunken while held down;
//   bsFlat     nothing until the pointer is over it, then raised; sunken while held down;
//   bsHotFill  as bsFlat, and while hovered the button is filled with the button face colour
//              and the caption drawn in the button text colour.
enum class BStyle : quint8 { bsNone = 0, bsNormal = 1, bsFlat = 2, bsHotFill = 3 };

// A flat button that shows a picture above a caption, used for the main window's navigation
// column. It paints nothing where it has nothing to draw, so its parent's background shows
// through (it never fills itself, except for bsHotFill while hovered).
//
// Colours come from the widget's palette:
//   caption       QPalette::WindowText (the widget's foreground role; set it to colour captions)
//   button face   QPalette::Button      (bsHotFill hover fill, background of a checked caption)
//   button text   QPalette::ButtonText  (checked caption, hovered bsHotFill caption)
//   bevel         QPalette::Light (highlight edges) and QPalette::Dark (shadow edges)
//
// The picture is drawn transparently: every pixel of the colour of its bottom-left pixel (white
// for a one-bit picture) lets the background through. The stored picture is never changed.
//
// A click is a left press on the button and its release with the pointer still inside. A double
// click counts as one click: its second press neither presses the button nor clicks again.
//
// Keyboard: the button takes the focus by Tab (never by a mouse press, which would take it from
// the page being left before the click is known), shows it by a dotted frame in the caption
// colour, and clicks on Space, Enter or Return. Its shortcut (setShortcut) clicks it from anywhere
// in its window while it is visible and enabled, and is shown in its tooltip after the caption.
class TNavButton : public QWidget
{
    Q_OBJECT

public:
    // 30 × 30, no picture, style bsNormal, not checked, 8-point "MS Sans Serif", caption empty.
    explicit TNavButton(QWidget *parent = nullptr);

    // Copies the picture and repaints, even when it is the same picture.
    void setBitmap(const QPixmap &bitmap);
    QPixmap Bitmap() const { return m_bitmap; }

    // The three setters below store and repaint only when the value changes.
    using QWidget::setStyle;
    void setStyle(BStyle style);
    BStyle Style() const { return m_style; }

    void setChecked(bool checked);
    bool Checked() const { return m_checked; }

    // "&" marks a mnemonic (the next character is underlined), "&&" shows one ampersand.
    // The caption breaks only at its own line breaks and is drawn whole, however long.
    void setCaption(const QString &caption);
    QString Caption() const { return m_caption; }

    // Where the picture was painted last (x, y, picture width, picture height), in the button's
    // coordinates; empty until a picture has been painted. Not moved while the button is held down.
    QRect BitmapRect() const { return m_bitmapRect; }

    void setShortcut(const QKeySequence &shortcut);
    QKeySequence Shortcut() const { return m_shortcut; }

    bool Hovered() const { return m_hovered; }
    bool Pressed() const { return m_pressed; }

signals:
    void clicked();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void drawBevel(QPainter &painter) const;
    bool hoverRepaints() const { return m_style == BStyle::bsFlat || m_style == BStyle::bsHotFill; }

    QPixmap m_bitmap;
    bool m_hovered = false;
    bool m_pressed = false;
    BStyle m_style = BStyle::bsNormal;
    QRect m_bitmapRect;
    bool m_checked = false;
    QString m_caption;
    QKeySequence m_shortcut;
    int m_shortcutId = 0;
    // A left press that may still end in a click (a double click's second press does not).
    bool m_clickPending = false;
};

// The picture with every pixel of its transparent colour (its bottom-left pixel's colour, or
// white for a one-bit picture) made fully transparent. A new image; the picture is untouched.
QImage transparentCopy(const QPixmap &picture);
