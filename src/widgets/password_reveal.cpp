#include "widgets/password_reveal.h"

#include <QAction>
#include <QIcon>
#include <QLineEdit>
#include <QToolButton>

QToolButton *makePasswordEdit(QLineEdit *edit)
{
    edit->setEchoMode(QLineEdit::Password);
    QAction *reveal = edit->addAction(QIcon(QStringLiteral(":/widgets/eye.svg")),
                                      QLineEdit::TrailingPosition);
    reveal->setToolTip(QStringLiteral("按住显示密码"));
    // The line edit shows its actions as tool buttons of its own; pressed and released are what
    // "held" means, which the action's triggered signal cannot tell.
    QToolButton *button = nullptr;
    for (QObject *object : reveal->associatedObjects()) {
        if ((button = qobject_cast<QToolButton *>(object)))
            break;
    }
    Q_ASSERT(button);
    button->setObjectName(QStringLiteral("RevealButton"));
    QObject::connect(button, &QToolButton::pressed, edit,
                     [edit] { edit->setEchoMode(QLineEdit::Normal); });
    QObject::connect(button, &QToolButton::released, edit,
                     [edit] { edit->setEchoMode(QLineEdit::Password); });
    return button;
}
