#include "app/templates_editor.h"

#include "platform/message_box.h"
#include "richtext/rich_text.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char *const kSlotNames[8] = {"每天", "周一", "周二", "周三", "周四", "周五", "周六", "周日"};

} // namespace

TTemplatesEditor::TTemplatesEditor(const templates::Templates &current, QWidget *parent)
    : QDialog(parent), m_templates(current)
{
    setObjectName(QStringLiteral("TemplatesEditor"));
    setWindowTitle(QStringLiteral("模板 - %1").arg(msgbox::applicationTitle()));

    m_dayBox = new QComboBox(this);
    m_dayBox->setObjectName(QStringLiteral("DayBox"));
    for (int slot = 0; slot < 8; ++slot) {
        const QByteArray &bytes = slotBytes(slot);
        const QString name = QString::fromUtf8(kSlotNames[slot]);
        m_dayBox->addItem(bytes.isEmpty() || slot == 0 ? name : name + QStringLiteral("（已设）"));
    }
    auto *note = new QLabel(QStringLiteral("新的一天的日记从模板开始；某一天没有自己的模板时用「每天」的。"), this);
    note->setWordWrap(true);

    m_editor = new QTextEdit(this);
    m_editor->setObjectName(QStringLiteral("TemplateEdit"));
    m_editor->setAcceptRichText(true);
    m_editor->setPlaceholderText(QStringLiteral("空着就是没有模板"));

    auto *tools = new QHBoxLayout;
    const auto format = [this, tools](const QString &caption, const QKeySequence &keys, auto apply) {
        auto *button = new QToolButton(this);
        button->setText(caption);
        button->setShortcut(keys);
        button->setToolTip(keys.toString(QKeySequence::NativeText));
        connect(button, &QToolButton::clicked, this, [this, apply] {
            QTextCharFormat change;
            apply(change, m_editor->currentCharFormat());
            m_editor->mergeCurrentCharFormat(change);
            m_editor->setFocus();
        });
        tools->addWidget(button);
    };
    format(QStringLiteral("粗体"), QKeySequence::Bold, [](QTextCharFormat &f, const QTextCharFormat &now) {
        f.setFontWeight(now.fontWeight() > QFont::Normal ? QFont::Normal : QFont::Bold);
    });
    format(QStringLiteral("斜体"), QKeySequence::Italic,
           [](QTextCharFormat &f, const QTextCharFormat &now) { f.setFontItalic(!now.fontItalic()); });
    format(QStringLiteral("下划线"), QKeySequence::Underline,
           [](QTextCharFormat &f, const QTextCharFormat &now) { f.setFontUnderline(!now.fontUnderline()); });
    tools->addStretch(1);
    // The placeholders on a row of their own: the dialog stays narrow enough for a small screen
    // at twice the scale.
    auto *fill = new QHBoxLayout;
    fill->addWidget(new QLabel(QStringLiteral("插入："), this));
    for (const char *placeholder : {"{日期}", "{星期}", "{农历}"}) {
        auto *button = new QToolButton(this);
        button->setText(QString::fromUtf8(placeholder));
        button->setToolTip(QStringLiteral("写日记时换成那天的日期、星期或农历"));
        connect(button, &QToolButton::clicked, this, [this, placeholder] {
            m_editor->insertPlainText(QString::fromUtf8(placeholder));
            m_editor->setFocus();
        });
        fill->addWidget(button);
    }
    fill->addStretch(1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("用于："), this));
    top->addWidget(m_dayBox);
    top->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(note);
    layout->addLayout(tools);
    layout->addLayout(fill);
    layout->addWidget(m_editor, 1);
    layout->addWidget(buttons);
    resize(380, 270);

    showSlot(0);
    connect(m_dayBox, &QComboBox::currentIndexChanged, this, [this](int slot) {
        keepShown();
        showSlot(slot);
    });
}

QByteArray &TTemplatesEditor::slotBytes(int slot)
{
    return slot == 0 ? m_templates.everyDay : m_templates.weekdays[size_t(slot - 1)];
}

void TTemplatesEditor::keepShown()
{
    QTextDocument *doc = m_editor->document();
    slotBytes(m_shown) = doc->isEmpty() ? QByteArray() : richtext::writeRtf(*doc);
}

void TTemplatesEditor::showSlot(int slot)
{
    m_shown = slot;
    const QByteArray &bytes = slotBytes(slot);
    m_editor->clear();
    m_editor->setCurrentCharFormat(QTextCharFormat());
    if (!bytes.isEmpty())
        richtext::readRtf(bytes, *m_editor->document());
    m_editor->document()->clearUndoRedoStacks();
}

templates::Templates TTemplatesEditor::templates() const
{
    templates::Templates edited = m_templates;
    QByteArray &shown = m_shown == 0 ? edited.everyDay : edited.weekdays[size_t(m_shown - 1)];
    const QTextDocument *doc = m_editor->document();
    shown = doc->isEmpty() ? QByteArray() : richtext::writeRtf(*doc);
    return edited;
}
