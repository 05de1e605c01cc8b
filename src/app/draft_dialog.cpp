#include "app/draft_dialog.h"

#include "app/texts.h"
#include "diary/entry.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

TDraftDialog::TDraftDialog(const QString &day, const QDateTime &written, const QByteArray &record,
                           QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("DraftDialog"));
    setWindowTitle(app::text::draftCaption());
    m_question = new QLabel(
        app::text::draftQuestion(day, written.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm"))), this);
    m_question->setWordWrap(true);
    m_text = new QTextEdit(this);
    m_text->setReadOnly(true);
    diary::loadRecord(record, *m_text->document());

    auto *buttons = new QDialogButtonBox(this);
    m_restore = buttons->addButton(app::text::draftRestore(), QDialogButtonBox::AcceptRole);
    m_discard = buttons->addButton(app::text::draftDiscard(), QDialogButtonBox::DestructiveRole);
    m_later = buttons->addButton(app::text::draftLater(), QDialogButtonBox::RejectRole);
    m_later->setDefault(true);
    connect(m_restore, &QPushButton::clicked, this, [this] {
        m_choice = Choice::Restore;
        accept();
    });
    connect(m_discard, &QPushButton::clicked, this, [this] {
        m_choice = Choice::Discard;
        accept();
    });
    connect(m_later, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_question);
    layout->addWidget(m_text, 1);
    layout->addWidget(buttons);
    resize(420, 300);
}
