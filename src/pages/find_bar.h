#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QToolButton;

// The find bar of the write page (objectName "FindBar"): 「查找：」, the text to find (FindEdit),
// 「上一处」, 「下一处」, how many places the open entry holds (FindCount) and a close button.
// Enter goes to the next place, Shift+Enter to the previous one, Esc closes the bar. It only
// asks: the page finds, highlights and moves the selection (it never changes the text).
class FindBar : public QWidget
{
    Q_OBJECT

public:
    explicit FindBar(QWidget *parent = nullptr);

    QLineEdit *edit() const { return m_edit; }
    QLabel *countLabel() const { return m_count; }
    QToolButton *previousButton() const { return m_previous; }
    QToolButton *nextButton() const { return m_next; }
    QToolButton *closeButton() const { return m_close; }

    // Shows how many places were found for a text that is not empty.
    void setCount(int count);

signals:
    void textChanged(const QString &text);
    void nextRequested();
    void previousRequested();
    void closeRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_edit = nullptr;
    QLabel *m_count = nullptr;
    QToolButton *m_previous = nullptr;
    QToolButton *m_next = nullptr;
    QToolButton *m_close = nullptr;
};
