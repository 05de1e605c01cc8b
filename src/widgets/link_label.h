#pragma once

#include <QColor>
#include <QLabel>

// How a link label sets its text off from the background with a white copy of it:
//   dtNone     plain text;
//   dtLowered  the white copy one pixel down and right, the text in place (engraved);
//   dtRaised   the white copy one pixel up and left, the text one pixel down and right (embossed).
enum class TDrawType : quint8 { dtNone = 0, dtLowered = 1, dtRaised = 2 };

// A label that draws its text (plain text, never rich text) with an engraved or embossed white
// copy, and that can behave as a hyperlink: while the pointer is over a link label its text
// takes AboveColor, is underlined and the pointer is a hand. What a click does is the owner's
// business (clicked()).
//
// Colours: the text is drawn in the label's QPalette::WindowText; a disabled label draws it
// once, without the white copy, in the application's grey text colour (the disabled WindowText
// of the application palette). A label that is not Transparent fills itself with its
// QPalette::Window colour first.
//
// The label keeps its designed size: its size hint is its current size, so adjustSize() and
// layouts leave it as it was placed, whatever its text.
class TLinkLabel : public QLabel
{
    Q_OBJECT

public:
    // dtLowered, AboveColor blue, VCenter false, LinkType false, accelerator characters shown,
    // transparent.
    explicit TLinkLabel(QWidget *parent = nullptr);

    // Stores and repaints, always.
    void setDrawType(TDrawType type);
    TDrawType DrawType() const { return m_drawType; }

    // One line centred vertically (no word wrap) instead of word-wrapped text from the top.
    // Also sets the label's word wrap to the opposite value. Repaints.
    void setVCenter(bool on);
    bool VCenter() const { return m_vCenter; }

    void setLinkType(bool on) { m_linkType = on; }
    bool LinkType() const { return m_linkType; }

    void setAboveColor(const QColor &colour) { m_aboveColor = colour; }
    QColor AboveColor() const { return m_aboveColor; }

    // "&" underlines the next character and "&&" shows one ampersand while accelerator
    // characters are shown; otherwise ampersands are drawn as they stand.
    void setShowAccelChar(bool on);
    bool ShowAccelChar() const { return m_showAccelChar; }

    void setTransparent(bool on);
    bool Transparent() const { return !autoFillBackground(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return false; }
    int heightForWidth(int) const override { return -1; }

signals:
    // A left press on the label released with the pointer still inside it.
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void drawLabelText(QPainter &painter, const QRect &rect, int flags) const;
    void setFontColour(const QColor &colour);
    // Hand, underline and colour while hovered; arrow, no underline and colour otherwise.
    void showLinkLook(bool hovered, const QColor &colour);

    TDrawType m_drawType = TDrawType::dtLowered;
    bool m_vCenter = false;
    QColor m_aboveColor;
    QColor m_savedColor;
    bool m_linkType = false;
    bool m_showAccelChar = true;
    bool m_clickPending = false;
};
