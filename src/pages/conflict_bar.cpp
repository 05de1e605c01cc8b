#include "pages/conflict_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TConflictBar::TConflictBar(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("ConflictBar"));
    setFrameShape(QFrame::StyledPanel);
    // A pale yellow of its own, as a notice above the page stands out in every skin; the text
    // keeps the skin's colour of a tooltip, which is drawn on that yellow.
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0xff, 0xf6, 0xd5));
    palette.setColor(QPalette::WindowText, QColor(0x3a, 0x2e, 0x00));
    setPalette(palette);

    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("ConflictNotice"));
    m_notice->setWordWrap(true);
    m_notice->setTextFormat(Qt::PlainText);
    m_merge = new QPushButton(QStringLiteral("合并"), this);
    m_merge->setObjectName(QStringLiteral("MergeButton"));
    m_merge->setToolTip(QStringLiteral("把副本里的日记合并进这本日记；合并前的日记和副本都留在历史版本里"));
    m_later = new QPushButton(QStringLiteral("以后再说"), this);
    m_later->setObjectName(QStringLiteral("LaterButton"));
    m_later->setToolTip(QStringLiteral("这次登录不再提醒"));

    // The text takes the width left by the buttons and wraps; the buttons stay whole at its top.
    auto *buttons = new QVBoxLayout;
    buttons->setSpacing(2);
    buttons->addWidget(m_merge);
    buttons->addWidget(m_later);
    buttons->addStretch(1);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(6, 4, 4, 4);
    row->addWidget(m_notice, 1);
    row->addLayout(buttons);
    setMinimumWidth(1);
    // As high as its text needs, never more: the list below takes the rest of the page.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    connect(m_merge, &QPushButton::clicked, this, &TConflictBar::mergeRequested);
    connect(m_later, &QPushButton::clicked, this, &TConflictBar::laterRequested);
    hide();
}

void TConflictBar::setNotice(const QString &text)
{
    m_notice->setText(text);
    setVisible(!text.isEmpty());
}

QString TConflictBar::notice() const
{
    return isHidden() ? QString() : m_notice->text();
}
