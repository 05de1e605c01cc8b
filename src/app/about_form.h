#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>

class QCloseEvent;
class QLabel;
class QPushButton;
class TExplodeEffect;
class TLinkLabel;

// Where the program's makers can be reached; shown in the About box and opened from its links.
namespace about {

inline QString homePage() { return QStringLiteral("https://quillbook.example.org/"); }
inline QString mailAddress() { return QStringLiteral("quillbook@example.org"); }
inline QString siteName() { return QStringLiteral("羽书手札主页"); }

} // namespace about

// The About box: the program's name and edition, an invitation to its web site, a link to the
// home page, a link that starts a mail, and "确定(&O)". Made once by the main window, which owns
// it, and shown modally with exec() as often as asked.
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
    TLinkLabel *LinkLabel1() const { return m_welcome; }
    TLinkLabel *LinkLabel2() const { return m_homeLink; }
    TLinkLabel *LinkLabel3() const { return m_mailLink; }
    QPushButton *Button1() const { return m_okButton; }
    TExplodeEffect *ExplodeEffect1() const { return m_explode; }

    // Opens an address with the desktop's handler; its result is ignored. Replaceable so that
    // tests can see what would be opened.
    using UrlOpener = std::function<void(const QUrl &)>;
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

    void setVisible(bool visible) override;
    void done(int result) override;

public slots:
    void Button1Click();
    void LinkLabel2Click();
    void LinkLabel3Click();
    void FormClose();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void centreOnScreen();

    QLabel *m_title = nullptr;
    QLabel *m_edition = nullptr;
    TLinkLabel *m_welcome = nullptr;
    TLinkLabel *m_homeLink = nullptr;
    TLinkLabel *m_mailLink = nullptr;
    QPushButton *m_okButton = nullptr;
    TExplodeEffect *m_explode = nullptr;
    UrlOpener m_openUrl;
    bool m_opening = false;
};
