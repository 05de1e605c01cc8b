#include "widgets/link_label.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

TLinkLabel::TLinkLabel(QWidget *parent)
    : QLabel(parent)
    , m_aboveColor(Qt::blue)
{
    setTextFormat(Qt::PlainText);
}

void TLinkLabel::setDrawType(TDrawType type)
{
    m_drawType = type;
    update();
}

void TLinkLabel::setVCenter(bool on)
{
    m_vCenter = on;
    setWordWrap(!on);
    update();
}

void TLinkLabel::setShowAccelChar(bool on)
{
    m_showAccelChar = on;
    update();
}

void TLinkLabel::setTransparent(bool on)
{
    setAutoFillBackground(!on);
    update();
}

QSize TLinkLabel::sizeHint() const
{
    // Measuring never changes the label's size: forms place link labels at a designed width and
    // centre the text in it.
    return size();
}

QSize TLinkLabel::minimumSizeHint() const
{
    return QWidget::minimumSizeHint();
}

void TLinkLabel::paintEvent(QPaintEvent *)
{
    // A label that is not transparent has been filled with its Window colour by Qt already.
    QPainter painter(this);
    int flags = Qt::TextExpandTabs;
    switch (alignment() & Qt::AlignHorizontal_Mask) {
    case Qt::AlignRight:
        flags |= Qt::AlignRight;
        break;
    case Qt::AlignHCenter:
        flags |= Qt::AlignHCenter;
        break;
    default:
        flags |= Qt::AlignLeft;
        break;
    }
    flags |= m_vCenter ? (Qt::TextSingleLine | Qt::AlignVCenter) : (Qt::TextWordWrap | Qt::AlignTop);
    drawLabelText(painter, rect(), flags);
}

void TLinkLabel::drawLabelText(QPainter &painter, const QRect &rect, int flags) const
{
    const QString caption = text();
    if (caption.isEmpty())
        return;
    if (m_showAccelChar)
        flags |= Qt::TextShowMnemonic;
    painter.setFont(font());
    const QColor fontColour = palette().color(QPalette::WindowText);

    QRect r = rect;
    if (!isEnabled()) {
        painter.setPen(QApplication::palette(this).color(QPalette::Disabled, QPalette::WindowText));
    } else if (m_drawType == TDrawType::dtLowered) {
        painter.setPen(Qt::white);
        painter.drawText(r.translated(1, 1), flags, caption);
        painter.setPen(fontColour);
    } else if (m_drawType == TDrawType::dtRaised) {
        painter.setPen(Qt::white);
        painter.drawText(r.translated(-1, -1), flags, caption);
        r.translate(1, 1);
        painter.setPen(fontColour);
    } else {
        painter.setPen(fontColour);
    }
    painter.drawText(r, flags, caption);
}

void TLinkLabel::setFontColour(const QColor &colour)
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

void TLinkLabel::showLinkLook(bool hovered, const QColor &colour)
{
    setCursor(hovered ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (colour.isValid())
        setFontColour(colour);
    QFont f = font();
    f.setUnderline(hovered);
    setFont(f);
}

void TLinkLabel::enterEvent(QEnterEvent *event)
{
    event->accept();
    if (!m_linkType)
        return;
    m_savedColor = palette().color(QPalette::WindowText);
    showLinkLook(true, m_aboveColor);
}

void TLinkLabel::leaveEvent(QEvent *event)
{
    event->accept();
    // The default arrow and no underline, whatever the label had before the pointer first came.
    if (m_linkType)
        showLinkLook(false, m_savedColor);
}

void TLinkLabel::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() == Qt::LeftButton
        && !event->flags().testFlag(Qt::MouseEventCreatedDoubleClick))
        m_clickPending = true;
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const bool click = m_clickPending && rect().contains(event->position().toPoint());
    m_clickPending = false;
    if (click)
        emit clicked();
}

void TLinkLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A double click opens a link once: its second press is not a click of its own.
    event->accept();
    m_clickPending = false;
}
