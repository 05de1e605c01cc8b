#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QLabel;
class QPrinter;
class QPushButton;

// The recovery code dialog "恢复码" (objectName "RecoveryForm"): shows a new private diary's
// recovery code once, its six groups in large monospace type (CodeGroup1 … CodeGroup6, two rows
// of three), says what it is for and what is lost without it, and offers "复制" (the code to the
// clipboard), "打印" (the print dialog, then a page with the user name and the code) and "确定".
//
// Laid out by its layouts alone: at its first size the whole code shows, whatever the skin, the
// font or the scale. Closing it without "确定" (Esc, the title bar's close button) asks first
// whether the code has been written down (kRecoveryNotedQuestion); "否" keeps it open.
//
// The code lives only in this dialog's widgets, on the printed page and in the clipboard when
// the user copies it; nothing is written to disk by the program.
class RecoveryCodeDialog : public QDialog
{
    Q_OBJECT

public:
    RecoveryCodeDialog(const QString &userName, const QString &code, QWidget *parent = nullptr);

    // The code's groups as shown, in reading order.
    QList<QLabel *> groupLabels() const { return m_groups; }
    QPushButton *copyButton() const { return m_copyButton; }
    QPushButton *printButton() const { return m_printButton; }
    QPushButton *closeButton() const { return m_closeButton; }

    // Shows the dialog modally for code; the default way TForm2 shows a recovery code.
    static void showCode(QWidget *parent, const QString &userName, const QString &code);

    // Prints the page: the program's name, the user name, the whole code and what it is for.
    void printPage(QPrinter &printer) const;

public slots:
    void copyCode();
    void printCode();
    // Esc and the close button: only once the user says the code is written down.
    void reject() override;

private:
    QString m_userName;
    QString m_code;
    QList<QLabel *> m_groups;
    QPushButton *m_copyButton = nullptr;
    QPushButton *m_printButton = nullptr;
    QPushButton *m_closeButton = nullptr;
};
