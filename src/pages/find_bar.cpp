#include "pages/find_bar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

FindBar::FindBar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FindBar"));
    auto *caption = new QLabel(QStringLiteral("查找："), this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("FindEdit"));
    m_edit->setPlaceholderText(QStringLiteral("在这篇日记中查找"));
    m_edit->setClearButtonEnabled(true);
    m_edit->installEventFilter(this);
    caption->setBuddy(m_edit);
    const auto button = [this](const char *name, const QString &text, const QString &tip) {
        auto *b = new QToolButton(this);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        return b;
    };
    m_previous = button("FindPreviousButton", QStringLiteral("上一处"), QStringLiteral("上一处（Shift+F3）"));
    m_next = button("FindNextButton", QStringLiteral("下一处"), QStringLiteral("下一处（F3）"));
    m_close = button("FindCloseButton", QStringLiteral("×"), QStringLiteral("关闭查找（Esc）"));
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("FindCount"));

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(2, 1, 2, 1);
    row->setSpacing(4);
    row->addWidget(caption);
    row->addWidget(m_edit, 1);
    row->addWidget(m_previous);
    row->addWidget(m_next);
    row->addWidget(m_count);
    row->addWidget(m_close);

    connect(m_edit, &QLineEdit::textChanged, this, &FindBar::textChanged);
    connect(m_next, &QToolButton::clicked, this, &FindBar::nextRequested);
    connect(m_previous, &QToolButton::clicked, this, &FindBar::previousRequested);
    connect(m_close, &QToolButton::clicked, this, &FindBar::closeRequested);
}

void FindBar::setCount(int count)
{
    if (m_edit->text().isEmpty())
        m_count->clear();
    else
        m_count->setText(count > 0 ? QStringLiteral("%1 处").arg(count) : QStringLiteral("找不到"));
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier)
                emit previousRequested();
            else
                emit nextRequested();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            emit closeRequested();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
