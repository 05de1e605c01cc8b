#pragma once

#include <QPointer>

class QLineEdit;
class QPlainTextEdit;
class QTextEdit;
class QWidget;

// The text field that the editing commands (undo, cut, copy, paste, delete, select all) act on:
// a line edit, a text edit or a plain text edit, wherever it is. An empty TextField stands for
// "no text field"; every query on it answers false and every command does nothing.
class TextField
{
public:
    TextField() = default;
    // The field behind widget: the widget itself, or the line edit of an editable combo box.
    explicit TextField(QWidget *widget);

    // The field that has the keyboard focus now; while the focus is on a toolbar's button (the
    // keyboard went there to choose a command), the field that had it before.
    static TextField focused();

    explicit operator bool() const;

    // The rich text editor behind the field, or nullptr for a plain field or none.
    QTextEdit *richEditor() const;

    bool isReadOnly() const;
    bool hasSelection() const;
    bool canUndo() const;
    bool isEmpty() const;

    void undo();
    void cut();
    void copy();
    void paste();
    void selectAll();
    // Removes the selected text; nothing else.
    void deleteSelection();

private:
    // Calls action with the widget the field wraps (QLineEdit, QTextEdit or QPlainTextEdit
    // pointer) and returns its answer; fallback when there is none.
    template <typename R, typename F>
    R visit(R fallback, F &&action) const;

    QPointer<QLineEdit> m_line;
    QPointer<QTextEdit> m_text;
    QPointer<QPlainTextEdit> m_plain;
};
