#include "main_form.h"
#include "auto_save.h"
#include "help_window.h"
#include "texts.h"

#include "crypto/private_format.h"
#include "diary/diary_book.h"
#include "platform/exception.h"
#include "platform/gbk.h"
#include "platform/message_box.h"
#include "settings/ini.h"
#include "skin/skin_data.h"
#include "skin/skin_store.h"
#include "widgets/nav_button.h"

#include <QApplication>
#include <QTimer>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QSvgRenderer>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr int kClientWidth = 635;
constexpr int kClientHeight = 448;
constexpr int kNavColumnWidth = 88;
// The write page's toolbar shows every command from this width on (the column included).
constexpr int kMinimumClientWidth = 560;
// Title bar and borders of a window manager's frame, allowed for before the frame is known.
constexpr QSize kFrameAllowance(8, 38);
constexpr int kFirstNavButton = 3;
constexpr int kSkinCount = 10;
const QColor kCaptionBlue(0, 0, 255);

struct NavEntry {
    const char16_t *caption;
    const char *picture;
};
constexpr NavEntry kNavButtons[] = {
    {u"写日记", ":/nav/write.svg"},   {u"看日记", ":/nav/read.svg"}, {u"用户登录", ":/nav/login.svg"},
    {u"帮助", ":/nav/help.svg"},      {u"关于...", ":/nav/about.svg"},
};

constexpr const char16_t *kSkinNumbers[kSkinCount] = {u"一", u"二", u"三", u"四", u"五",
                                                       u"六", u"七", u"八", u"九", u"十"};

// The column's places are 72 pixels apart at the designed height; a lower window draws them
// closer, down to kNavMinStep, the buttons shrinking with them (a 32-pixel picture and a line of
// caption still fit), so that all six stay reachable on a small screen.
constexpr int kNavTop = 6;
constexpr int kNavStep = 72;
constexpr int kNavMinStep = 56;
constexpr int kNavPlaces = 6;
constexpr int kNavButtonHeight = 65;
const char *const kNavPlaceProperty = "navPlace";

// Lays the column's buttons out by their places whenever the column changes size.
class NavColumnLayout : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            layOut(static_cast<QWidget *>(watched));
        return QObject::eventFilter(watched, event);
    }

private:
    static void layOut(QWidget *column)
    {
        const int step = std::clamp((column->height() - kNavTop) / kNavPlaces, kNavMinStep, kNavStep);
        const int height = std::min(kNavButtonHeight, step - 2);
        for (TNavButton *button : column->findChildren<TNavButton *>(Qt::FindDirectChildrenOnly)) {
            const int place = button->property(kNavPlaceProperty).toInt();
            button->setGeometry(4, kNavTop + step * place, 77, height);
        }
    }
};

QPixmap navPicture(const char *resource)
{
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QSvgRenderer renderer(QString::fromLatin1(resource));
    QPainter painter(&picture);
    renderer.render(&painter);
    return picture;
}

void paintBlue(QWidget *widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, kCaptionBlue);
    widget->setPalette(palette);
}

} // namespace

TForm1::TForm1(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    // Whatever the window waits for off its thread, the pointer says it is busy.
    background::setWaitHooks([] { QApplication::setOverrideCursor(QCursor(Qt::BusyCursor)); },
                             [] { QApplication::restoreOverrideCursor(); });
    msgbox::setMainWindow(this);
    msgbox::routeNotices();
    buildControls();

    m_skinStore = new TSkinStore(this);
    m_skinData = new TSkinData(this);
    guarded([this] { AddStoredSkins(*m_skinStore); });
    // The chosen skin is applied while the window holds only its shell: a style sheet set later
    // polishes every control of every page once more, which was most of the start-up's time.
    // When it cannot be applied the window is made in the first stored skin.
    m_skinRestored = true;
    if (!guarded([this] { restoreSkin(); }) || !m_skinApplied)
        guarded([this] { m_skinData->LoadSkinFromStore(m_skinStore, 0); });

    setupLogin();
    setupDiary();
    setupAbout();
    setupStats();
    setupSync();
    setupHabits();
    connectHandlers();
    guarded([this] { FormCreate(); });
}

TForm1::~TForm1()
{
    background::setWaitHooks({}, {});
    // A draft or an autosave being written reports to this window; it ends before the window does.
    waitForDrafts();
    if (m_autoSaver)
        m_autoSaver->waitForDone();
    // So does the backup being written (the one that closing started, most often).
    if (m_backupRunner)
        m_backupRunner->waitForDone();
    // QWidget's destructor hides the children when this object is a TForm1 no longer; a page
    // that reacts to being hidden (the write page saves when it loses the focus) must not reach
    // this window's handlers then.
    for (QObject *child : findChildren<QObject *>())
        disconnect(child, nullptr, this, nullptr);
}

void TForm1::buildControls()
{
    setWindowTitle(app::text::mainCaption());
    QFont windowFont(QStringLiteral("MS Sans Serif"));
    windowFont.setPixelSize(11);
    setFont(windowFont);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("Client"));
    setCentralWidget(client);
    auto *row = new QHBoxLayout(client);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    // The buttons keep their places when some are hidden, so the column is laid out by hand.
    auto *column = new QWidget(client);
    column->setObjectName(QStringLiteral("NavColumn"));
    column->setFixedWidth(kNavColumnWidth);
    column->setMinimumHeight(kNavTop + kNavMinStep * kNavPlaces);
    column->installEventFilter(new NavColumnLayout(column));
    // "统计" takes the third place (setupStats), right after "看日记", whose company it keeps.
    for (int k = 0; k < 5; ++k) {
        const int place = k < 2 ? k : k + 1;
        m_navButtons[k] = makeNavButton(column, kFirstNavButton + k, place,
                                        QString::fromUtf16(kNavButtons[k].caption), kNavButtons[k].picture);
    }
    row->addWidget(column);

    m_pageControl = new QStackedWidget(client);
    m_pageControl->setObjectName(QStringLiteral("PageControl1"));
    const char *pageNames[] = {"TabSheet1", "TabSheet2", "TabSheet3"};
    QWidget **pages[] = {&m_writePage, &m_listPage, &m_loginPage};
    for (int i = 0; i < 3; ++i) {
        *pages[i] = new QWidget;
        (*pages[i])->setObjectName(QLatin1String(pageNames[i]));
        m_pageControl->addWidget(*pages[i]);
    }
    row->addWidget(m_pageControl, 1);

    // A status bar of its own height below the pages and the column: the save indicator, the
    // search's count and what the window is busy with.
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->setSizeGripEnabled(true);

    buildSkinGroup();
    resize(kClientWidth, kClientHeight + statusBar()->sizeHint().height());
    client->setMinimumSize(minimumClientSize());
}

TNavButton *TForm1::makeNavButton(QWidget *column, int number, int place, const QString &caption,
                                  const char *picture)
{
    auto *button = new TNavButton(column);
    button->setObjectName(QStringLiteral("NavBtn%1").arg(number));
    button->setProperty(kNavPlaceProperty, place);
    button->setGeometry(4, kNavTop + kNavStep * place, 77, kNavButtonHeight);
    button->setStyle(BStyle::bsFlat);
    button->setBitmap(navPicture(picture));
    button->setCaption(caption);
    // Alt+1 … in the column's order from the top, so that the keyboard reaches every page.
    button->setShortcut(QKeySequence(Qt::ALT | Qt::Key(Qt::Key_1 + place)));
    paintBlue(button);
    // The page shown checks its button: the caption then stands white on the captions' blue,
    // plain to see in every skin.
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, kCaptionBlue);
    palette.setColor(QPalette::ButtonText, Qt::white);
    button->setPalette(palette);
    return button;
}

void TForm1::buildSkinGroup()
{
    // Below the place the login panel takes (x 160, y 47, 225 × 122).
    m_skinGroup = new QGroupBox(QStringLiteral("皮肤设置"), m_loginPage);
    m_skinGroup->setObjectName(QStringLiteral("GroupBox1"));
    m_skinGroup->setGeometry(160, 200, 225, 185);
    paintBlue(m_skinGroup);
    for (int i = 0; i < kSkinCount; ++i) {
        auto *button = new QRadioButton(QStringLiteral("皮肤") + QString::fromUtf16(kSkinNumbers[i]),
                                        m_skinGroup);
        button->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        button->setGeometry(i < 5 ? 28 : 128, 28 + 30 * (i % 5), 80, 20);
        m_skinButtons[i] = button;
    }
    m_skinButtons[0]->setChecked(true);
}

void TForm1::connectHandlers()
{
    using Handler = void (TForm1::*)();
    const Handler navHandlers[] = {&TForm1::NavBtn3Click, &TForm1::NavBtn4Click, &TForm1::NavBtn5Click,
                                   &TForm1::NavBtn6Click, &TForm1::NavBtn7Click};
    for (int k = 0; k < 5; ++k) {
        connect(m_navButtons[k], &TNavButton::clicked, this,
                [this, h = navHandlers[k]] { guarded([this, h] { (this->*h)(); }); });
    }

    const Handler skinHandlers[kSkinCount] = {
        &TForm1::RadioButton1Click, &TForm1::RadioButton2Click, &TForm1::RadioButton3Click,
        &TForm1::RadioButton4Click, &TForm1::RadioButton5Click, &TForm1::RadioButton6Click,
        &TForm1::RadioButton7Click, &TForm1::RadioButton8Click, &TForm1::RadioButton9Click,
        &TForm1::RadioButton10Click};
    // A radio button's click action runs whenever it becomes checked, by the user or by the
    // program.
    for (int i = 0; i < kSkinCount; ++i) {
        connect(m_skinButtons[i], &QRadioButton::toggled, this, [this, h = skinHandlers[i]](bool on) {
            if (on)
                guarded([this, h] { (this->*h)(); });
        });
    }

    connect(m_pageControl, &QStackedWidget::currentChanged, this, [this] {
        markCurrentPage();
        if (m_pageControl->currentWidget() == m_loginPage)
            guarded([this] { TabSheet3Show(); });
    });
    markCurrentPage();
}

QString TForm1::showBusyLine(const QString &status)
{
    const QString before = statusBar()->currentMessage();
    statusBar()->showMessage(status);
    return before;
}

void TForm1::endBusyLine(const QString &before)
{
    if (before.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(before);
}

std::shared_ptr<const DiaryKey> TForm1::keyCopy() const
{
    const DiaryKey *current = diaryKey();
    if (!current)
        return nullptr;
    auto key = std::make_shared<DiaryKey>(DiaryKey::zeroed());
    std::memcpy(key->data(), current->data(), private_format::kKeySize);
    return key;
}

void TForm1::markCurrentPage()
{
    const QWidget *current = m_pageControl->currentWidget();
    const std::pair<int, const QWidget *> pages[] = {
        {3, m_writePage}, {4, m_listPage}, {5, m_loginPage}, {kStatsButton, m_statsSheet}};
    for (const auto &[number, page] : pages) {
        if (TNavButton *button = NavBtn(number))
            button->setChecked(page == current);
    }
    // The save indicator speaks of the open entry, the search's count of the list.
    m_saveState->setVisible(current == m_writePage);
    showFoundCount();
}

TNavButton *TForm1::NavBtn(int number) const
{
    const int k = number - kFirstNavButton;
    if (number == kStatsButton)
        return m_statsButton;
    return k >= 0 && k < 5 ? m_navButtons[k] : nullptr;
}

QRadioButton *TForm1::RadioButton(int number) const
{
    return number >= 1 && number <= kSkinCount ? m_skinButtons[number - 1] : nullptr;
}

void TForm1::FormCreate()
{
    // A skin setting that cannot be read or used is reported; the window still opens logged out.
    if (!std::exchange(m_skinRestored, false))
        guarded([this] { restoreSkin(); });
    guarded([this] { restoreAutoLock(); });
    m_pageControl->setCurrentWidget(m_loginPage);
    NavBtn(3)->hide();
    NavBtn(4)->hide();
    m_diaryPath.clear();
}

void TForm1::restoreSkin()
{
    m_skinIndex = 0;
    const QByteArray value = ini::ReadSetting(gbk::encode(app::text::skinSection()),
                                              gbk::encode(app::text::skinKey()));
    if (!value.isEmpty())
        m_skinIndex = StrToInt(gbk::decode(value));
    m_skinData->LoadSkinFromStore(m_skinStore, m_skinIndex);
    m_skinData->ReskinForm(this);
    m_skinApplied = m_skinIndex >= 0 && m_skinIndex < m_skinStore->Count();
    if (m_skinIndex >= 0 && m_skinIndex < kSkinCount)
        m_skinButtons[m_skinIndex]->setChecked(true);
}

void TForm1::chooseSkin(int index)
{
    m_skinData->LoadSkinFromStore(m_skinStore, index);
    m_skinData->ReskinForm(this);
    m_skinIndex = index;
}

void TForm1::NavBtn6Click()
{
    if (!m_helpWindow)
        m_helpWindow = new THelpWindow(this);
    m_helpWindow->showDocument(applicationHelpFile());
}

void TForm1::NavBtn5Click()
{
    // The open entry could not be saved: logging out now would leave its text behind.
    if (std::exchange(m_leaveFailed, false))
        return;
    m_pageControl->setCurrentWidget(m_loginPage);
}

void TForm1::RadioButton1Click() { chooseSkin(0); }
void TForm1::RadioButton2Click() { chooseSkin(1); }
void TForm1::RadioButton3Click() { chooseSkin(2); }
void TForm1::RadioButton4Click() { chooseSkin(3); }
void TForm1::RadioButton5Click() { chooseSkin(4); }
void TForm1::RadioButton6Click() { chooseSkin(5); }
void TForm1::RadioButton7Click() { chooseSkin(6); }
void TForm1::RadioButton8Click() { chooseSkin(7); }
void TForm1::RadioButton9Click() { chooseSkin(8); }
void TForm1::RadioButton10Click() { chooseSkin(9); }

void TForm1::FormClose()
{
    // Only the skin's line changes: whatever else the file holds is kept.
    m_diaryKey.reset();
    ini::WriteSetting(gbk::encode(app::text::skinSection()), gbk::encode(app::text::skinKey()),
                      QByteArray::number(m_skinIndex));
    ini::WriteSetting(gbk::encode(app::text::skinSection()), gbk::encode(app::text::windowPlaceKey()),
                      saveGeometry().toBase64());
}

void TForm1::restoreWindowPlace()
{
    const QByteArray place = ini::ReadSetting(gbk::encode(app::text::skinSection()),
                                              gbk::encode(app::text::windowPlaceKey()));
    // A place from another screen is fitted into the screens there are now.
    if (!place.isEmpty())
        restoreGeometry(QByteArray::fromBase64(place.trimmed()));
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // The window stays open rather than lose the text that could not be saved.
    if (!saveBeforeLeaving()) {
        event->ignore();
        return;
    }
    // With a reminder set the program waits in the tray, the diary as it is.
    if (hideInTray()) {
        event->ignore();
        return;
    }
    // Stored with the key still held: nothing is left to save, and what runs after the window
    // (the application's end) must not try again once the key is gone.
    m_openEntry = {};
    m_autoSave->cancel();
    m_draftKeeper->cancel();
    guarded([this] { FormClose(); });
    // Closing backs the diary up once more when something was saved since its last backup.
    backUp(true);
    // A settings file that could not be written has been reported; that does not keep the window.
    event->accept();
    // With a tray the program does not end with its last window on its own.
    if (m_tray)
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

QSize TForm1::minimumClientSize()
{
    return {kMinimumClientWidth, kNavTop + kNavMinStep * kNavPlaces};
}

void TForm1::fitToScreen(const QRect &available)
{
    // Before the window is first shown its frame is not known yet; a title bar and borders of
    // the usual size are allowed for.
    QSize frame = frameGeometry().size() - geometry().size();
    if (frame.width() <= 0 && frame.height() <= 0)
        frame = kFrameAllowance;
    const QSize bar(0, statusBar()->sizeHint().height());
    const QSize room = available.size() - frame - bar;
    const QSize minimum = minimumClientSize();
    const QSize client(std::clamp(room.width(), minimum.width(), kClientWidth),
                       std::clamp(room.height(), minimum.height(), kClientHeight));
    resize(client + bar);
    const QSize outer = client + bar + frame;
    move(available.x() + qMax(0, (available.width() - outer.width()) / 2),
         available.y() + qMax(0, (available.height() - outer.height()) / 2));
}

void TForm1::AnotherCopyStarted()
{
    // Waiting hidden in the tray, the window simply comes back: that is what starting it asked.
    if (isHidden() && m_tray) {
        showNormal();
        raise();
        activateWindow();
        return;
    }
    // A box owned by a minimised window can stay hidden with it, leaving the user a program
    // that does not answer; the box then stands on its own.
    const bool minimised = isMinimized();
    msgbox::show(minimised ? nullptr : this, QMessageBox::Information,
                 app::text::alreadyRunningCaption(), app::text::alreadyRunning());
    if (isMinimized()) {
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        show();
    } else {
        raise();
        activateWindow();
    }
}
