#include "pages/text_field.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QToolBar>

#include <type_traits>

namespace {

// A line edit has its own selection and undo calls; the two text edits share theirs.
template <typename W>
constexpr bool isLineEdit(W *) { return std::is_same_v<W, QLineEdit>; }

} // namespace

template <typename R, typename F>
R TextField::visit(R fallback, F &&action) const
{
    if (m_line)
        return action(m_line.data());
    if (m_text)
        return action(m_text.data());
    if (m_plain)
        return action(m_plain.data());
    return fallback;
}

TextField::TextField(QWidget *widget)
{
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        widget = combo->lineEdit();
    m_line = qobject_cast<QLineEdit *>(widget);
    m_text = qobject_cast<QTextEdit *>(widget);
    m_plain = qobject_cast<QPlainTextEdit *>(widget);
}

TextField::operator bool() const
{
    return m_line || m_text || m_plain;
}

TextField TextField::focused()
{
    // Noted at every look, and the commands' states are looked at whenever the program is idle.
    static QPointer<QWidget> lastField;
    QWidget *focus = QApplication::focusWidget();
    if (focus && qobject_cast<QToolBar *>(focus->parentWidget()))
        return TextField(lastField.data());
    TextField field(focus);
    lastField = field ? focus : nullptr;
    return field;
}

QTextEdit *TextField::richEditor() const
{
    return m_text && m_text->acceptRichText() ? m_text.data() : nullptr;
}

bool TextField::isReadOnly() const
{
    return visit(true, [](auto *w) { return w->isReadOnly(); });
}

bool TextField::hasSelection() const
{
    return visit(false, [](auto *w) {
        if constexpr (isLineEdit(decltype(w){}))
            return w->hasSelectedText();
        else
            return w->textCursor().hasSelection();
    });
}

bool TextField::canUndo() const
{
    return !isReadOnly() && visit(false, [](auto *w) {
        if constexpr (isLineEdit(decltype(w){}))
            return w->isUndoAvailable();
        else
            return w->document()->isUndoAvailable();
    });
}

bool TextField::isEmpty() const
{
    return visit(true, [](auto *w) {
        if constexpr (isLineEdit(decltype(w){}))
            return w->text().isEmpty();
        else
            return w->document()->isEmpty();
    });
}

void TextField::undo()
{
    visit(false, [](auto *w) { w->undo(); return true; });
}

void TextField::cut()
{
    visit(false, [](auto *w) { w->cut(); return true; });
}

void TextField::copy()
{
    visit(false, [](auto *w) { w->copy(); return true; });
}

void TextField::paste()
{
    visit(false, [](auto *w) { w->paste(); return true; });
}

void TextField::selectAll()
{
    visit(false, [](auto *w) { w->selectAll(); return true; });
}

void TextField::deleteSelection()
{
    if (isReadOnly() || !hasSelection())
        return;
    visit(false, [](auto *w) {
        if constexpr (isLineEdit(decltype(w){})) {
            w->del();
        } else {
            QTextCursor cursor = w->textCursor();
            cursor.removeSelectedText();
            w->setTextCursor(cursor);
        }
        return true;
    });
}
