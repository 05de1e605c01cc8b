#pragma once

#include <QDateTime>
#include <QDialog>

class QLabel;
class QPushButton;
class QTextEdit;

// The offer of a draft found at login: 「恢复未保存的内容」, naming the day and when the text was
// written, the text itself read-only, and three buttons: 「恢复」 (accepted, choice() Restore),
// 「放弃」 (Discard) and 「以后再说」 (rejected, Later: the draft stays for the next login; also
// Escape and the title bar's ✕). Nothing is decided without the user: Later is the default.
class TDraftDialog : public QDialog
{
    Q_OBJECT

public:
    enum class Choice { Restore, Discard, Later };

    // record: the draft's record, shown as the entry would be (it must be a readable record).
    TDraftDialog(const QString &day, const QDateTime &written, const QByteArray &record,
                 QWidget *parent = nullptr);

    Choice choice() const { return m_choice; }

    QLabel *Question() const { return m_question; }
    QTextEdit *Text() const { return m_text; }
    QPushButton *RestoreButton() const { return m_restore; }
    QPushButton *DiscardButton() const { return m_discard; }
    QPushButton *LaterButton() const { return m_later; }

private:
    QLabel *m_question;
    QTextEdit *m_text;
    QPushButton *m_restore;
    QPushButton *m_discard;
    QPushButton *m_later;
    Choice m_choice = Choice::Later;
};
