#include "accounts/login_panel.h"
#include "widgets/bevel.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

namespace {

constexpr QSize kPanelSize(225, 122);

QLabel *makeLabel(const QString &text, const QRect &geometry, const QColor &colour, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setGeometry(geometry);
    // As tall as the control beside it and centred on it: the Chinese glyphs come from a
    // fallback font whose lines are taller than the 13 pixels the captions were drawn for.
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

QPushButton *makeButton(const QString &text, const QRect &geometry, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setGeometry(geometry);
    return button;
}

} // namespace

TLoginPanel::TLoginPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Panel1"));
    resize(kPanelSize);

    m_userLabel = makeLabel(QStringLiteral("用户："), QRect(8, 8, 65, 21), Qt::blue, this);
    m_userLabel->setObjectName(QStringLiteral("Label1"));

    m_userBox = new QComboBox(this);
    m_userBox->setObjectName(QStringLiteral("ComboBox1"));
    m_userBox->setEditable(false);
    m_userBox->setGeometry(76, 8, 117, 21);

    m_passwordLabel = makeLabel(QStringLiteral("密码："), QRect(8, 40, 66, 24), Qt::red, this);
    m_passwordLabel->setObjectName(QStringLiteral("Label2"));

    m_passwordEdit = new QLineEdit(this);
    m_passwordEdit->setObjectName(QStringLiteral("MaskEdit1"));
    m_passwordEdit->setGeometry(76, 40, 117, 24);
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    QFont font = m_passwordEdit->font();
    font.setPixelSize(13);
    m_passwordEdit->setFont(font);
    // The widget's own sheet wins over the skin's for these properties: the password stays red
    // on white, shown as "*" (42), whatever the skin.
    m_passwordEdit->setStyleSheet(QStringLiteral(
        "QLineEdit { color: #ff0000; background-color: #ffffff; lineedit-password-character: 42; }"));

    m_loginButton = makeButton(QStringLiteral("登录"), QRect(32, 80, 75, 25), this);
    m_loginButton->setObjectName(QStringLiteral("Button1"));
    m_manageButton = makeButton(QStringLiteral("管理"), QRect(112, 80, 75, 25), this);
    m_manageButton->setObjectName(QStringLiteral("Button2"));

    setTabOrder(m_userBox, m_passwordEdit);
    setTabOrder(m_passwordEdit, m_loginButton);
    setTabOrder(m_loginButton, m_manageButton);
}

void TLoginPanel::stretchWithParent(int designWidth)
{
    QWidget *parent = parentWidget();
    if (!parent)
        return;
    m_rightMargin = designWidth - geometry().right() - 1;
    parent->installEventFilter(this);
    followParentWidth();
}

void TLoginPanel::followParentWidth()
{
    const int width = qMax(0, parentWidget()->width() - x() - m_rightMargin);
    resize(width, height());
}

bool TLoginPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && m_rightMargin >= 0)
        followParentWidth();
    return QWidget::eventFilter(watched, event);
}

void TLoginPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect outer = rect();
    bevel::drawFrame(painter, outer, palette(), bevel::Raised);
    bevel::drawFrame(painter, outer.adjusted(1, 1, -1, -1), palette(), bevel::Sunken);
    // The inner frame's dark top edge runs on into the outer frame's dark right edge; drawn as
    // two separate frames a light pixel of the inner right edge stood between them.
    painter.fillRect(QRect(outer.right() - 1, outer.top() + 1, 1, 1), palette().color(QPalette::Dark));
}
