#include "about_form.h"

#include "platform/message_box.h"
#include "widgets/explode_effect.h"
#include "widgets/link_label.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSvgRenderer>
#include <QWindow>

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 218;
// The border the contents keep clear of; every position below is inside it.
constexpr int kBorder = 1;
constexpr int kClientWidth = kWidth - 2 * kBorder;
constexpr int kClientHeight = kHeight - 2 * kBorder;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonBottomMargin = 10;
constexpr int kExplodeSteps = 100;

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kMagenta(255, 0, 255);

QFont pixelFont(const QString &family, int pixels)
{
    QFont font(family);
    font.setPixelSize(pixels);
    return font;
}

QIcon programIcon()
{
    QSvgRenderer renderer(QStringLiteral(":/icons/net.quillbook.Quillbook.svg"));
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap picture(size, size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(picture);
    }
    return icon;
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

template <typename Control>
Control *place(QWidget *form, const char *name, const QRect &inside)
{
    auto *control = new Control(form);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(inside.translated(kBorder, kBorder));
    return control;
}

} // namespace

TAboutForm::TAboutForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("AboutForm1"));
    setWindowTitle(QStringLiteral("关于　《羽书手札》"));
    setWindowIcon(programIcon());
    setFont(pixelFont(QStringLiteral("MS Sans Serif"), 11));
    setFixedSize(kWidth, kHeight);
    buildControls();

    m_explode = new TExplodeEffect(this);
    m_explode->setObjectName(QStringLiteral("ExplodeEffect1"));
    m_explode->setSteps(kExplodeSteps);
    m_explode->setShowType(TShowType::stShow);
    m_explode->setExplodeType(TExplodeType::etHollow);
    m_explode->setSourceLeft(0);
    m_explode->setSourceTop(0);
    m_explode->setSourceWidth(0);
    m_explode->setSourceHeight(0);

    connect(m_okButton, &QPushButton::clicked, this, [this] { guarded([this] { Button1Click(); }); });
}

void TAboutForm::buildControls()
{
    const QFont titleFont = pixelFont(QStringLiteral("宋体"), 29);
    m_title = place<QLabel>(this, "Label1",
                            QRect(0, 0, kClientWidth, QFontMetrics(titleFont).height()));
    m_title->setText(QStringLiteral("羽书手札"));
    m_title->setFont(titleFont);
    m_title->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setTextColour(m_title, kRed);

    m_edition = place<QLabel>(this, "Label2", QRect(57, 48, 108, 17));
    m_edition->setText(QStringLiteral("(2003版)"));
    m_edition->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setTextColour(m_edition, kBlue);

    m_welcome = place<TLinkLabel>(this, "LinkLabel1", QRect(7, 72, 209, 17));
    m_welcome->setText(QStringLiteral("自由软件：GNU GPL 第3版或更新版本"));
    m_welcome->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setTextColour(m_welcome, kMagenta);

    m_okButton = place<QPushButton>(
        this, "Button1",
        QRect((kClientWidth - kButtonWidth) / 2, kClientHeight - kButtonBottomMargin - kButtonHeight,
              kButtonWidth, kButtonHeight));
    m_okButton->setText(QStringLiteral("确定(&O)"));
    m_okButton->setDefault(true);
}

void TAboutForm::centreOnScreen()
{
    const QWidget *owner = parentWidget() ? parentWidget()->window() : this;
    const QScreen *screen = owner->screen();
    if (!screen)
        return;
    // The window manager's frame is only known once the box has been on the screen; until then
    // the owner's frame is the best guess of it.
    QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    if (frame.isNull() && owner->windowHandle())
        frame = owner->windowHandle()->frameMargins();
    QRect outer(QPoint(0, 0), size().grownBy(frame));
    outer.moveCenter(screen->availableGeometry().center());
    move(outer.topLeft());
}

void TAboutForm::setVisible(bool visible)
{
    if (!visible || isVisible()) {
        QDialog::setVisible(visible);
        return;
    }
    // Centred first, so that the opening animation ends where the box appears.
    centreOnScreen();
    QScopedValueRollback<bool> opening(m_opening, true);
    QDialog::setVisible(true);
}

void TAboutForm::done(int result)
{
    // Hiding the box in the middle of showing it would leave exec() waiting for a close that has
    // already happened, with nothing on the screen to answer: the close waits until it is open.
    if (m_opening) {
        QMetaObject::invokeMethod(this, [this, result] { done(result); }, Qt::QueuedConnection);
        return;
    }
    QDialog::done(result);
}

void TAboutForm::closeEvent(QCloseEvent *event)
{
    guarded([this] { FormClose(); });
    QDialog::closeEvent(event);
}

void TAboutForm::Button1Click() { close(); }

void TAboutForm::FormClose() {}
