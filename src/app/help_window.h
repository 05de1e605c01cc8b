#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;

// The application's help file: the program's own Chinese help document, shipped inside the
// program. Set once at start-up; tests point it elsewhere.
QString applicationHelpFile();
void setApplicationHelpFile(const QString &path);

// The help window: the help document in a browser, beside the main window. It does not keep
// the program running when the main window closes.
class THelpWindow : public QDialog
{
    Q_OBJECT

public:
    explicit THelpWindow(QWidget *parent = nullptr);

    // Shows the document from its beginning and brings the window to the front. Throws
    // EInOutError "The help document <path> cannot be found" when there is none.
    void showDocument(const QString &path);

    QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser;
};
