#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

// The recovery code dialog "恢复码" (objectName "RecoveryForm"): shows a new private diary's
// recovery code once, in large monospace groups, says what it is for and what is lost without
// it, and offers "复制" (the code to the clipboard), "打印" (the print dialog, then a page with
// the user name and the code) and "确定". The code lives only in this dialog's widgets and in
// the clipboard when the user copies it; nothing is written to disk by the program.
class RecoveryCodeDialog : public QDialog
{
    Q_OBJECT

public:
    RecoveryCodeDialog(const QString &userName, const QString &code, QWidget *parent = nullptr);

    QLabel *codeLabel() const { return m_codeLabel; }
    QPushButton *copyButton() const { return m_copyButton; }
    QPushButton *printButton() const { return m_printButton; }

    // Shows the dialog modally for code; the default way TForm2 shows a recovery code.
    static void showCode(QWidget *parent, const QString &userName, const QString &code);

public slots:
    void copyCode();
    void printCode();

private:
    QString m_userName;
    QString m_code;
    QLabel *m_codeLabel = nullptr;
    QPushButton *m_copyButton = nullptr;
    QPushButton *m_printButton = nullptr;
};
