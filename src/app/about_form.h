#pragma once

#include <QDialog>
#include <QString>

class QCloseEvent;
class QLabel;
class QPushButton;
class TExplodeEffect;
class TLinkLabel;

// The About box: the program's name and edition, the licence line, and "确定(&O)". The program
// has no home page or mail address of its own to point at, so the box offers no links (an
// address that leads nowhere would only mislead). Made once by the main window, which owns it,
// and shown modally with exec() as often as asked.
//
// The 240 × 218 window area is fixed in size and framed by a one-pixel border that the contents
// keep clear of; controls are placed at their positions inside that border. The title bar offers
// only the system menu and the close box. Every showing centres the box on its screen, then grows
// it out of the screen's top-left corner (ExplodeEffect1: 100 steps, on showing only, hollow
// frames, source rectangle 0, 0, 0, 0).
//
// Closing ("确定(&O)", Enter, Escape or the close box) hides the box and ends exec(). A close that
// arrives while the box is still opening (the opening animation lets pending events through) takes
// effect as soon as the box is open, so exec() always returns.
class TAboutForm : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutForm(QWidget *parent = nullptr);

    QLabel *Label1() const { return m_title; }
    QLabel *Label2() const { return m_edition; }
    // The licence line.
    TLinkLabel *LinkLabel1() const { return m_welcome; }
    QPushButton *Button1() const { return m_okButton; }
    TExplodeEffect *ExplodeEffect1() const { return m_explode; }

    void setVisible(bool visible) override;
    void done(int result) override;

public slots:
    void Button1Click();
    void FormClose();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void centreOnScreen();

    QLabel *m_title = nullptr;
    QLabel *m_edition = nullptr;
    TLinkLabel *m_welcome = nullptr;
    QPushButton *m_okButton = nullptr;
    TExplodeEffect *m_explode = nullptr;
    bool m_opening = false;
};
