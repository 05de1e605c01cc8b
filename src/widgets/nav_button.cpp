#include "widgets/nav_button.h"

#include "widgets/bevel.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

QImage transparentCopy(const QPixmap &picture)
{
    if (picture.isNull())
        return {};
    const bool monochrome = picture.depth() == 1;
    QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb key = monochrome ? qRgb(255, 255, 255) : image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == key)
                line[x] = 0;
        }
    }
    return image;
}

TNavButton::TNavButton(QWidget *parent)
    : QWidget(parent)
{
    resize(30, 30);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(8);
    setFont(f);
    // Move events without a button held are how the button learns that the pointer is over it.
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus);
    m_caption = objectName();
}

void TNavButton::setShortcut(const QKeySequence &shortcut)
{
    if (m_shortcutId)
        releaseShortcut(m_shortcutId);
    m_shortcut = shortcut;
    m_shortcutId = shortcut.isEmpty() ? 0 : grabShortcut(shortcut);
    const QString caption = QString(m_caption).remove(QLatin1Char('&'));
    setToolTip(shortcut.isEmpty() ? QString()
                                  : QStringLiteral("%1 (%2)").arg(caption, shortcut.toString(QKeySequence::NativeText)));
}

bool TNavButton::event(QEvent *event)
{
    if (event->type() == QEvent::Shortcut
        && static_cast<QShortcutEvent *>(event)->shortcutId() == m_shortcutId && m_shortcutId) {
        if (isVisible() && isEnabled())
            emit clicked();
        return true;
    }
    return QWidget::event(event);
}

void TNavButton::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!event->isAutoRepeat())
            emit clicked();
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TNavButton::focusInEvent(QFocusEvent *event)
{
    update();
    QWidget::focusInEvent(event);
}

void TNavButton::focusOutEvent(QFocusEvent *event)
{
    update();
    QWidget::focusOutEvent(event);
}

void TNavButton::setBitmap(const QPixmap &bitmap)
{
    m_bitmap = bitmap;
    update();
}

void TNavButton::setStyle(BStyle style)
{
    if (style == m_style)
        return;
    m_style = style;
    update();
}

void TNavButton::setChecked(bool checked)
{
    if (checked == m_checked)
        return;
    m_checked = checked;
    update();
}

void TNavButton::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
}

void TNavButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect r = rect();
    const bool hotFill = m_style == BStyle::bsHotFill && m_hovered;
    if (hotFill)
        painter.fillRect(r, palette().color(QPalette::Button));

    painter.setFont(font());
    QColor textColour = palette().color(foregroundRole());
    if (hotFill)
        textColour = palette().color(QPalette::ButtonText);
    const int lineHeight = QFontMetrics(font()).height();

    if (!m_bitmap.isNull()) {
        const int bw = m_bitmap.width();
        const int bh = m_bitmap.height();
        const int x = (width() - bw) / 2;
        const int y = m_caption.isEmpty() ? (height() - bh) / 2 : (height() - bh - lineHeight) / 2;
        m_bitmapRect = QRect(x, y, bw, bh);
        const int shift = m_pressed ? 1 : 0;
        painter.drawImage(QPoint(x + shift, y + shift), transparentCopy(m_bitmap));
    }

    if (!m_caption.isEmpty()) {
        if (m_checked) {
            painter.setBackgroundMode(Qt::OpaqueMode);
            painter.setBackground(palette().color(QPalette::Button));
            textColour = palette().color(QPalette::ButtonText);
        }
        int left = 0;
        int top = m_bitmap.isNull() ? (height() - lineHeight) / 2
                                    : m_bitmapRect.y() + m_bitmapRect.height() + 3;
        if (m_pressed) {
            top += 1;
            left = 2;
        }
        // Only the top matters: the text is not clipped to one line, so a caption with its own
        // line breaks shows all of its lines.
        const QRect textRect(left, top, width() - left, lineHeight);
        painter.setPen(textColour);
        painter.drawText(textRect,
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextExpandTabs | Qt::TextShowMnemonic,
                         m_caption);
        painter.setBackgroundMode(Qt::TransparentMode);
    }

    drawBevel(painter);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(foregroundRole()), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

void TNavButton::drawBevel(QPainter &painter) const
{
    if (m_style == BStyle::bsNone)
        return;
    if (m_pressed) {
        bevel::drawFrame(painter, rect(), palette(), bevel::Sunken);
        return;
    }
    if (m_style == BStyle::bsNormal || m_hovered)
        bevel::drawFrame(painter, rect(), palette(), bevel::Raised);
}

void TNavButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    if (hoverRepaints())
        update();
    event->accept();
}

void TNavButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    if (hoverRepaints())
        update();
    event->accept();
}

void TNavButton::mouseMoveEvent(QMouseEvent *event)
{
    if (m_style != BStyle::bsNone)
        m_hovered = true;
    event->accept();
}

void TNavButton::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton
        || event->flags().testFlag(Qt::MouseEventCreatedDoubleClick))
        return;
    m_clickPending = true;
    m_pressed = true;
    update();
}

void TNavButton::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    const bool inside = rect().contains(event->position().toPoint());
    const bool click = m_clickPending && inside;
    m_clickPending = false;
    m_hovered = inside;
    m_pressed = false;
    update();
    if (click)
        emit clicked();
}

void TNavButton::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click arrives as a press and, at once, this event: take the
    // press back before anything is painted, so that it neither shows nor clicks. Its release
    // then finds no click pending.
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    m_clickPending = false;
    m_pressed = false;
    update();
}
