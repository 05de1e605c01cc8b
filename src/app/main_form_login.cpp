#include "main_form.h"

#include "accounts/login.h"
#include "accounts/login_panel.h"
#include "accounts/messages.h"
#include "accounts/pass_cipher.h"
#include "accounts/private_login.h"
#include "accounts/user_list.h"
#include "accounts/user_settings_dialog.h"
#include "app/auto_lock.h"
#include "app/auto_save.h"
#include "app/texts.h"
#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "pages/list_page.h"
#include "pages/write_page.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "platform/message_box.h"
#include "settings/ini.h"
#include "stats/stats_page.h"
#include "widgets/nav_button.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QRadioButton>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextEdit>

namespace {

// Where the panel and the skin group stand on the login page, as designed for a page of
// 547 × 448 pixels: the panel at 160, 47, the group 31 pixels below it, 63 pixels left under it.
constexpr QSize kDesignedPage(547, 448);
constexpr QPoint kPanelPosition(160, 47);
constexpr int kGroupGap = 31;

// Keeps the panel and the skin group together in the middle of the page, whatever its size:
// centred across, and the free height shared out above, between and below them in the designed
// proportions. At the designed size they stand exactly where they were designed.
class LoginPageLayout : public QObject
{
public:
    LoginPageLayout(QWidget *panel, QWidget *group, QWidget *note, QObject *parent)
        : QObject(parent), m_panel(panel), m_group(group), m_note(note)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            layOut(static_cast<QWidget *>(watched)->size());
        return QObject::eventFilter(watched, event);
    }

private:
    void layOut(const QSize &page)
    {
        const int blockHeight = m_panel->height() + m_group->height();
        const int designedSpare = kDesignedPage.height() - blockHeight;
        const int spare = qMax(0, page.height() - blockHeight);
        const int top = spare * kPanelPosition.y() / designedSpare;
        const int gap = spare * kGroupGap / designedSpare;
        const int x = qMax(0, kPanelPosition.x() + (page.width() - kDesignedPage.width()) / 2);
        m_panel->move(x, top);
        m_group->move(x, top + m_panel->height() + gap);
        // The note takes the page's width just above the panel.
        const int noteHeight = m_note->sizeHint().height();
        m_note->setGeometry(0, qMax(0, top - noteHeight - 6), page.width(), noteHeight);
    }

    QWidget *m_panel;
    QWidget *m_group;
    QWidget *m_note;
};

QString loggedInCaption(const QString &name)
{
    return QStringLiteral("羽书手札（2003版）★★★当前用户：") + name;
}

} // namespace

void TForm1::setupLogin()
{
    m_loginPanel = new TLoginPanel(m_loginPage);
    m_loginPanel->move(kPanelPosition);
    // Above the panel, after the diary locked itself: a window found at the login page says why.
    m_lockNote = new QLabel(app::text::lockedWhileIdle(), m_loginPage);
    m_lockNote->setObjectName(QStringLiteral("LockNote"));
    m_lockNote->setAlignment(Qt::AlignCenter);
    QPalette red = m_lockNote->palette();
    red.setColor(QPalette::WindowText, QColor(0xA0, 0, 0));
    m_lockNote->setPalette(red);
    m_lockNote->hide();
    m_loginPage->installEventFilter(new LoginPageLayout(m_loginPanel, m_skinGroup, m_lockNote, m_loginPage));
    // Tab goes through the panel first, then to the skins (made before it, with the shell).
    for (int i = 0; i < 10; ++i)
        QWidget::setTabOrder(i == 0 ? static_cast<QWidget *>(m_loginPanel->Button2())
                                    : static_cast<QWidget *>(m_skinButtons[i - 1]),
                             m_skinButtons[i]);

    m_passCipher = new TPassCipher(this);
    m_passCipher->setObjectName(QStringLiteral("PassCipher1"));
    m_passCipher->SetSalt(accounts::kPasswordSalt);

    m_archiveReader = new TArchiveReader(this);
    m_archiveReader->setObjectName(QStringLiteral("ArchiveReader1"));
    m_archiveWriter = new TArchiveWriter(this);
    m_archiveWriter->setObjectName(QStringLiteral("ArchiveWriter1"));
    // Every save and delete of the window keeps the diary's earlier versions.
    m_archiveWriter->SetKeepVersions(true);

    // Few starts come to the dialog: it is made at its first use.
    m_userSettings.setMaker([this] {
        auto *dialog = new TForm2(m_loginPanel->ComboBox1(), this);
        // The new user is picked in the box: the password just chosen is all 登录 still needs.
        connect(dialog, &TForm2::userCreated, this, [this] { m_loginPanel->MaskEdit1()->setFocus(); });
        connect(dialog, &TForm2::diaryConverted, this,
                [this](const QString &name) { guarded([this, name] { diaryConverted(name); }); });
        connect(dialog, &TForm2::autoLockChosen, this,
                [this](int minutes) { guarded([this, minutes] { storeAutoLock(minutes); }); });
        attachHabitSettings(dialog);
        return dialog;
    });

    m_autoLock = new AutoLock(this);
    connect(m_autoLock, &AutoLock::idle, this, [this] {
        // Work under way on the diary is no idle time; the period starts again.
        if (background::waiting()) {
            m_autoLock->restart();
            return;
        }
        guarded([this] { lockIdleDiary(); });
    });


    connect(m_loginPanel->ComboBox1(), &QComboBox::activated, this,
            [this] { guarded([this] { ComboBox1Change(); }); });
    connect(m_loginPanel->MaskEdit1(), &QLineEdit::returnPressed, this,
            [this] { guarded([this] { MaskEdit1KeyPress(); }); });
    connect(m_loginPanel->Button1(), &QPushButton::clicked, this,
            [this] { guarded([this] { Button1Click(); }); });
    connect(m_loginPanel->Button2(), &QPushButton::clicked, this,
            [this] { guarded([this] { Button2Click(); }); });
}

void TForm1::TabSheet3Show()
{
    mergeUserListCopiesQuietly();
    QComboBox *users = m_loginPanel->ComboBox1();
    if (files::exists(kUserListFileName)) {
        const QStringList names = readUserList();
        users->clear();
        users->addItems(names);
    }
    m_loginPanel->MaskEdit1()->clear();
    users->setCurrentIndex(users->count() > 0 ? 0 : -1);
    m_loginPanel->MaskEdit1()->setFocus();
}

void TForm1::ComboBox1Change() { m_loginPanel->MaskEdit1()->setFocus(); }

void TForm1::MaskEdit1KeyPress() { Button1Click(); }

void TForm1::Button1Click()
{
    const QString name = m_loginPanel->ComboBox1()->currentText();
    QLineEdit *password = m_loginPanel->MaskEdit1();
    if (!accounts::userExists(name)) {
        msgbox::showWarning(this, accounts_text::kChooseOrCreateUser);
        return;
    }

    // The check works on a container object of its own, so the logged-in user's containers stay
    // on that user's diary, untouched, whatever the check meets.
    // Off the window's thread: the check may wait for the diary's lock, and a private diary's key
    // takes a derivation from the password of half a second.
    accounts::LoginResult login = offThread(app::text::openingDiary(), [this, &name, typed = password->text()] {
        TArchiveReader archive;
        return accounts::logIn(archive, *m_passCipher, name, typed);
    });
    if (!login.matched) {
        msgbox::showWarning(this, accounts_text::kWrongPassword);
        password->clear();
        password->setFocus();
        return;
    }
    // The typed password is not kept anywhere once it has served.
    password->clear();

    // The new user is current before the list page comes forward, so whatever reacts to the
    // page change already sees that user's diary.
    setDiaryPath(name);
    m_diaryKey = std::move(login.key);
    m_archiveReader->SetZipName(name);
    m_archiveWriter->SetZipName(name);
    NavBtn(3)->show();
    NavBtn(4)->show();
    setWindowTitle(loggedInCaption(name));
    m_lockNote->hide();
    m_autoLock->restart();
    afterLogin();
}

void TForm1::Button2Click()
{
    m_userSettings->setAutoLockMinutes(m_autoLock->minutes());
    showHabitChoices();
    m_userSettings->exec();
}

// The login lands on the list page with the diary listed, never on an empty table that would
// look like a lost diary; then what a crash kept of the user's typing is offered.
void TForm1::afterLogin()
{
    m_laterCopies.clear();
    m_savedSinceBackup = false;
    // A listing that fails says why in its box; the drafts are offered all the same.
    guarded([this] { ListEntries(); });
    offerDrafts();
    // The reminder's click, or the tray's 写今天的日记, while the diary was locked.
    openTodayAfterLogin();
}

void TForm1::diaryConverted(const QString &name)
{
    if (!m_diaryPath.isEmpty() && name == m_diaryPath)
        lockDiary();
}

void TForm1::restoreAutoLock()
{
    const QByteArray value = ini::ReadSetting(gbk::encode(app::text::skinSection()),
                                              gbk::encode(app::text::autoLockKey()));
    bool ok = false;
    const int minutes = QString::fromLatin1(value).trimmed().toInt(&ok);
    m_autoLock->setMinutes(ok ? minutes : app::text::kDefaultAutoLockMinutes);
}

void TForm1::storeAutoLock(int minutes)
{
    m_autoLock->setMinutes(minutes);
    ini::WriteSetting(gbk::encode(app::text::skinSection()), gbk::encode(app::text::autoLockKey()),
                      QByteArray::number(minutes));
}

void TForm1::lockIdleDiary()
{
    const bool open = !m_diaryPath.isEmpty();
    lockDiary();
    if (open && m_diaryPath.isEmpty())
        m_lockNote->show();
}

void TForm1::lockDiary()
{
    waitForAutoSave();
    if (m_diaryPath.isEmpty())
        return;
    // Saved as leaving the write page saves; an error there is raised before anything is
    // forgotten, so the text in the editor is never lost to the lock.
    if (m_pageControl->currentWidget() == m_writePage)
        SaveEntry();
    m_openEntry = {};
    m_draftKeeper->cancel();
    m_lastDelete.reset();
    m_leaveSaved = true;
    m_diaryKey.reset();
    m_diaryPath.clear();
    m_archiveReader->SetZipName(QString());
    m_archiveWriter->SetZipName(QString());
    if (m_writeForm.built()) {
        m_writeForm->RichEdit1->clear();
        m_writeForm->RichEdit1->document()->clearUndoRedoStacks();
        m_writeForm->Label3->clear();
    }
    // A page that has not been built yet shows nothing to forget.
    if (m_listForm.built()) {
        m_listForm->UndoDel->setEnabled(false);
        m_listForm->clearRows();
        m_listForm->clearSearch();
        m_listForm->RichEdit2->clear();
    }
    m_listingCache->clear();
    m_keptRows.clear();
    m_keptPath.clear();
    m_keptCurrent = false;
    if (m_statsForm.built())
        m_statsForm->setRows({}, diary::today());
    m_listedPath.clear();
    NavBtn(3)->hide();
    NavBtn(4)->hide();
    setWindowTitle(app::text::mainCaption());
    m_pageControl->setCurrentWidget(m_loginPage);
    m_leaveSaved = false;
}
