#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

// The bar at the top of the list page that tells of the diary's copies from another computer
// (what each holds, in the sync room's words) and offers 合并 and 以后再说. Hidden until it has
// something to say; the window decides what the buttons do.
class TConflictBar : public QFrame
{
    Q_OBJECT

public:
    explicit TConflictBar(QWidget *parent = nullptr);

    // Shows the bar with the text (one copy a line); an empty text hides it.
    void setNotice(const QString &text);
    QString notice() const;

    QLabel *Notice() const { return m_notice; }
    QPushButton *MergeButton() const { return m_merge; }
    QPushButton *LaterButton() const { return m_later; }

signals:
    void mergeRequested();
    void laterRequested();

private:
    QLabel *m_notice;
    QPushButton *m_merge;
    QPushButton *m_later;
};
