#include "pages/write_page.h"
#include "pages/find_bar.h"
#include "pages/picture_commands.h"
#include "pages/printing.h"
#include "pages/rich_format.h"
#include "pages/text_field.h"
#include "platform/message_box.h"
#include "widgets/date_popup.h"
#include "widgets/lunar_day_calendar.h"
#include "lunar/lunar_calendar.h"
#include "tags/tag_highlighter.h"
#include "widgets/entry_boxes.h"

#include "diary/search.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QDateEdit>
#include <QLocale>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QKeyEvent>
#include <QToolBar>
#include <QToolButton>

static void initPageResources()
{
    Q_INIT_RESOURCE(pages);
}

namespace {

// Positions and sizes of the controls at the page's design size, 539 × 438.
constexpr QSize kDesignSize(539, 438);
constexpr QRect kDateLabel(2, 7, 271, 21);
// Right of the longest date the label shows, left of the weather caption.
constexpr QRect kDatePicker(150, 5, 96, 22);
constexpr QRect kWeatherCaption(248, 12, 66, 16);
// Wide enough, with the narrow padding below, for a picture and 「　雨」 beside the arrow; it ends
// left of the mood caption's text (which is right-aligned in its box).
constexpr QRect kWeatherBox(315, 3, 80, 24);
constexpr QRect kMoodCaption(368, 10, 68, 16);
constexpr QRect kMoodBox(440, 3, 89, 24);
constexpr QRect kOrnament(-8, 32, 540, 5);
constexpr int kPanelTop = 40;
constexpr int kPanelHeight = 33;
constexpr int kPanelRightGap = 2;   // the panel is 537 wide on the 539 page
constexpr int kEditorTop = 75;
constexpr int kEditorBottomGap = 2;
constexpr int kMoodRows = 8;

const QColor kDateColour(255, 0, 255);
const QColor kWeatherColour(0, 0, 255);
const QColor kMoodColour(255, 0, 0);
const QColor kEditorColour(0, 0, 255);
// Softer than the date's magenta: a companion to it, not a second heading.
const QColor kLunarColour(170, 110, 150);
const QColor kTagColour(40, 140, 150);

QFont songti(int pixels)
{
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(pixels);
    return font;
}

void setColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QLabel *caption(const QString &text, const QColor &colour, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    label->setFont(songti(12));
    setColour(label, QPalette::WindowText, colour);
    // The mood caption reaches under the weather box's button; clicks go through to the box.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

} // namespace

TWritePage::TWritePage(QWidget *parent) : QWidget(parent)
{
    initPageResources();
    setObjectName(QStringLiteral("WritePage"));
    createControls();
    createCommands();
    createToolbar();
    createContextMenu();
    picture_commands::addPictureCommands(this, RichEdit1, ToolBar1, PopupMenu1);
    makeToolbarReachable();
    resize(kDesignSize);

    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget *old, QWidget *now) { guarded([&] { focusChanged(old, now); }); });
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { m_clipboardHasText = -1; });
    if (auto *dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                [this] { guarded([this] { UpdateCommands(); }); });
    UpdateCommands();
}

TWritePage::~TWritePage() = default;

QSize TWritePage::sizeHint() const
{
    return kDesignSize;
}

void TWritePage::createControls()
{
    Label3 = new QLabel(this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(songti(19));
    setColour(Label3, QPalette::WindowText, kDateColour);

    DatePicker = new QDateEdit(this);
    DatePicker->setObjectName(QStringLiteral("DatePicker"));
    DatePicker->setCalendarPopup(true);
    showWholeMonth(DatePicker);
    DatePicker->setLocale(QLocale(QLocale::Chinese, QLocale::China));  // its calendar in Chinese
    DatePicker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    DatePicker->setToolTip(QStringLiteral("选一天，写那天的日记"));
    DatePicker->setMinimumDate(QDate(1000, 1, 1));
    DatePicker->setMaximumDate(QDate(9999, 12, 31));
    connect(DatePicker, &QDateEdit::editingFinished, this, [this] { guarded([this] { pickerChosen(); }); });
    // The calendar is made when the picker is first pressed or typed into (before it can pop
    // up): making it takes a good part of the page's construction.
    DatePicker->installEventFilter(this);
    // After the page's own filter, so that the lunar calendar is in place before it is hooked.
    showLunarDays(DatePicker);
    LunarDate = new QLabel(this);
    LunarDate->setObjectName(QStringLiteral("LunarDate"));
    LunarDate->setFont(songti(13));
    setColour(LunarDate, QPalette::WindowText, kLunarColour);

    Label1 = caption(QStringLiteral("天气："), kWeatherColour, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = caption(QStringLiteral("情感："), kMoodColour, this);
    Label2->setObjectName(QStringLiteral("Label2"));

    dBox1 = makeWeatherBox(this);
    dBox1->setObjectName(QStringLiteral("dBox1"));
    dBox1->setFont(songti(12));
    setColour(dBox1, QPalette::Text, kWeatherColour);
    setColour(dBox1, QPalette::ButtonText, kWeatherColour);
    // The skins pad buttons and boxes generously; these two boxes are narrow.
    const QString narrowBox = QStringLiteral("QComboBox { padding: 1px 2px 1px 3px; }");
    dBox1->setStyleSheet(narrowBox);
    dBox2 = makeMoodBox(this);
    dBox2->setStyleSheet(narrowBox);
    dBox2->setObjectName(QStringLiteral("dBox2"));
    dBox2->setFont(songti(12));
    dBox2->setMaxVisibleItems(kMoodRows);
    setColour(dBox2, QPalette::Text, kMoodColour);
    setColour(dBox2, QPalette::ButtonText, kMoodColour);
    connect(dBox2, &QComboBox::activated, this, [this] { guarded([this] { dBox2Click(); }); });

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/pages/ornament.svg")));
    Image1->setScaledContents(true);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);

    RichEdit1 = new picture_commands::PictureTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setAcceptRichText(true);
    RichEdit1->setFont(songti(14));
    TagHighlighter = new TTagHighlighter(RichEdit1->document());
    TagHighlighter->setColour(kTagColour);
    RichEdit1->document()->setDefaultFont(songti(14));
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    RichEdit1->setLineWrapMode(QTextEdit::WidgetWidth);
    RichEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
    setColour(RichEdit1, QPalette::Text, kEditorColour);
    keepSelectionVisible();
    RichEdit1->installEventFilter(this);
    setFocusProxy(RichEdit1);

    FindInEntry = new FindBar(this);
    FindInEntry->hide();
    connect(FindInEntry, &FindBar::textChanged, this, [this](const QString &text) { setSearchText(text); });
    connect(FindInEntry, &FindBar::nextRequested, this, [this] { guarded([this] { moveToMatch(true); }); });
    connect(FindInEntry, &FindBar::previousRequested, this,
            [this] { guarded([this] { moveToMatch(false); }); });
    connect(FindInEntry, &FindBar::closeRequested, this, [this] { guarded([this] { closeFindBar(); }); });
}

void TWritePage::onTriggered(QAction *action, std::function<void()> handler)
{
    connect(action, &QAction::triggered, this,
            [handler = std::move(handler)] { guarded(handler); });
}

QAction *TWritePage::command(const char *name, const QString &caption, const QString &hint,
                             const char *icon, const QKeySequence &shortcut)
{
    auto *action = new QAction(caption, this);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(hint);
    action->setStatusTip(hint);
    if (icon)
        action->setIcon(QIcon(QStringLiteral(":/pages/%1.svg").arg(QLatin1String(icon))));
    action->setShortcut(shortcut);
    // The shortcuts belong to the page: they act while the focus is on one of its controls.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
    return action;
}

void TWritePage::createCommands()
{
    const auto key = [](QKeyCombination k) { return QKeySequence(k); };
    Action1 = command("Action1", QStringLiteral("保存(&S)"), QStringLiteral("保存"), "save",
                      key(Qt::CTRL | Qt::Key_S));
    EditUndo1 = command("EditUndo1", QStringLiteral("撤消(&U)"), QStringLiteral("撤消"), "undo",
                        key(Qt::CTRL | Qt::Key_Z));
    EditCut1 = command("EditCut1", QStringLiteral("剪切(&t)"), QStringLiteral("剪切"), "cut",
                       key(Qt::CTRL | Qt::Key_X));
    EditCopy1 = command("EditCopy1", QStringLiteral("复制(&C)"), QStringLiteral("复制"), "copy",
                        key(Qt::CTRL | Qt::Key_C));
    EditPaste1 = command("EditPaste1", QStringLiteral("粘贴(&P)"), QStringLiteral("粘贴"), "paste",
                         key(Qt::CTRL | Qt::Key_V));
    EditSelectAll1 = command("EditSelectAll1", QStringLiteral("全选(&A)"), QStringLiteral("全选"),
                             "select_all", key(Qt::CTRL | Qt::Key_A));
    EditDelete1 = command("EditDelete1", QStringLiteral("删除(&D)"), QStringLiteral("删除"),
                          "delete", key(Qt::Key_Delete));
    RichEditAlignLeft1 = command("RichEditAlignLeft1", QStringLiteral("左对齐(&L)"),
                                 QStringLiteral("左对齐"), "align_left");
    RichEditAlignCenter1 = command("RichEditAlignCenter1", QStringLiteral("居中对齐(&C)"),
                                   QStringLiteral("居中对齐"), "align_center");
    RichEditAlignRight1 = command("RichEditAlignRight1", QStringLiteral("右对齐(&R)"),
                                  QStringLiteral("右对齐"), "align_right");
    RichEditBold1 = command("RichEditBold1", QStringLiteral("加粗(&B)"), QStringLiteral("加粗"),
                            "bold", key(Qt::CTRL | Qt::Key_B));
    RichEditItalic1 = command("RichEditItalic1", QStringLiteral("斜体(&I)"),
                              QStringLiteral("斜体"), "italic", key(Qt::CTRL | Qt::Key_I));
    RichEditUnderline1 = command("RichEditUnderline1", QStringLiteral("下划线(&U)"),
                                 QStringLiteral("下划线"), "underline", key(Qt::CTRL | Qt::Key_U));
    RichEditStrikeOut1 = command("RichEditStrikeOut1", QStringLiteral("删除线(&S)"),
                                 QStringLiteral("删除线"), "strike_out");
    RichEditBullets1 = command("RichEditBullets1", QStringLiteral("项目符号(&B)"),
                               QStringLiteral("项目符号"), "bullets");
    RichEditFont = command("RichEditFont", QStringLiteral("字体"), QStringLiteral("设置字体"), "font");
    FontAdd = command("FontAdd", QStringLiteral("字体加大"), QStringLiteral("字体加大"), "font_larger");
    FontDec = command("FontDec", QStringLiteral("字体减小"), QStringLiteral("字体减小"), "font_smaller");
    Print = command("Print", QStringLiteral("打印"), QStringLiteral("打印日记"), "print");
    PrintSet = command("PrintSet", QStringLiteral("打印纸设置(&A)"), QStringLiteral("打印纸张设置"),
                       "print_setup");

    for (QAction *toggle : {RichEditAlignLeft1, RichEditAlignCenter1, RichEditAlignRight1,
                            RichEditBold1, RichEditItalic1, RichEditUnderline1, RichEditStrikeOut1,
                            RichEditBullets1})
        toggle->setCheckable(true);

    onTriggered(Action1, [this] { emit saveRequested(); });
    onTriggered(EditUndo1, [] { TextField::focused().undo(); });
    onTriggered(EditCut1, [] { TextField::focused().cut(); });
    onTriggered(EditCopy1, [] { TextField::focused().copy(); });
    onTriggered(EditPaste1, [] { TextField::focused().paste(); });
    onTriggered(EditSelectAll1, [] { TextField::focused().selectAll(); });
    onTriggered(EditDelete1, [] { TextField::focused().deleteSelection(); });

    const auto onRich = [this](QAction *action, std::function<void(QTextEdit *)> change) {
        onTriggered(action, [change = std::move(change)] {
            if (QTextEdit *editor = TextField::focused().richEditor())
                change(editor);
        });
    };
    using rich_format::CharStyle;
    const std::pair<QAction *, Qt::Alignment> alignments[] = {
        {RichEditAlignLeft1, Qt::AlignLeft},
        {RichEditAlignCenter1, Qt::AlignHCenter},
        {RichEditAlignRight1, Qt::AlignRight},
    };
    for (const auto &[action, alignment] : alignments)
        onRich(action, [a = alignment](QTextEdit *editor) { editor->setAlignment(a); });
    const std::pair<QAction *, CharStyle> styles[] = {
        {RichEditBold1, CharStyle::Bold},
        {RichEditItalic1, CharStyle::Italic},
        {RichEditUnderline1, CharStyle::Underline},
        {RichEditStrikeOut1, CharStyle::StrikeOut},
    };
    for (const auto &[action, style] : styles)
        onRich(action, [s = style](QTextEdit *editor) { rich_format::toggleStyle(editor, s); });
    onRich(RichEditBullets1, [](QTextEdit *editor) { rich_format::toggleBullets(editor); });

    onTriggered(RichEditFont, [this] { RichEditFontExecute(); });
    onTriggered(FontAdd, [this] { FontAddExecute(); });
    onTriggered(FontDec, [this] { FontDecExecute(); });
    FindNext = command("FindNext", QStringLiteral("查找下一处"), QStringLiteral("下一处找到的文字"),
                       nullptr, QKeySequence(Qt::Key_F3));
    FindPrevious = command("FindPrevious", QStringLiteral("查找上一处"), QStringLiteral("上一处找到的文字"),
                           nullptr, QKeySequence(Qt::SHIFT | Qt::Key_F3));
    onTriggered(FindNext, [this] { moveToMatch(true); });
    onTriggered(FindPrevious, [this] { moveToMatch(false); });
    Find = command("Find", QStringLiteral("查找(&F)…"), QStringLiteral("在这篇日记中查找"), nullptr,
                   QKeySequence::Find);
    onTriggered(Find, [this] { openFindBar(); });
    ToolbarFocus = command("ToolbarFocus", QStringLiteral("工具栏"), QStringLiteral("用键盘选工具栏上的命令"),
                           nullptr, QKeySequence(Qt::Key_F10));
    onTriggered(ToolbarFocus, [this] { reachToolbar(); });
    onTriggered(Print, [this] { PrintExecute(); });
    onTriggered(PrintSet, [this] { PrintSetExecute(); });
}

void TWritePage::createToolbar()
{
    ToolBar1 = new QToolBar(Panel1);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    const QList<QList<QAction *>> groups = {
        {Action1},
        {EditUndo1, EditCut1, EditCopy1, EditPaste1, EditDelete1},
        {RichEditAlignLeft1, RichEditAlignCenter1, RichEditAlignRight1},
        {RichEditBold1, RichEditItalic1, RichEditUnderline1, RichEditStrikeOut1, RichEditBullets1},
        {RichEditFont, FontAdd, FontDec},
        {Print, PrintSet},
    };
    for (const QList<QAction *> &group : groups) {
        if (&group != &groups.front())
            ToolBar1->addSeparator();
        ToolBar1->addActions(group);
    }
    auto *layout = new QHBoxLayout(Panel1);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);
}

void TWritePage::makeToolbarReachable()
{
    // Reachable by the keyboard (F10, then the arrows), never taking the focus from a click.
    for (QAction *action : ToolBar1->actions()) {
        if (QWidget *button = ToolBar1->widgetForAction(action)) {
            button->setFocusPolicy(Qt::TabFocus);
            button->installEventFilter(this);
        }
    }
}

void TWritePage::reachToolbar()
{
    for (QAction *action : ToolBar1->actions()) {
        QWidget *button = ToolBar1->widgetForAction(action);
        if (button && button->isVisible() && button->isEnabled()) {
            button->setFocus(Qt::ShortcutFocusReason);
            return;
        }
    }
}

void TWritePage::createContextMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu1->addAction(EditUndo1);
    PopupMenu1->addSeparator();
    PopupMenu1->addActions({EditCut1, EditCopy1, EditPaste1});
    PopupMenu1->addSeparator();
    PopupMenu1->addActions({EditSelectAll1, EditDelete1});
    connect(RichEdit1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        guarded([&] {
            UpdateCommands();
            PopupMenu1->popup(RichEdit1->viewport()->mapToGlobal(at));
        });
    });
}

void TWritePage::keepSelectionVisible()
{
    // A selection stays as visible as when the editor has the focus.
    QPalette palette = RichEdit1->palette();
    bool changed = false;
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        const QBrush active = palette.brush(QPalette::Active, role);
        if (palette.brush(QPalette::Inactive, role) != active) {
            palette.setBrush(QPalette::Inactive, role, active);
            changed = true;
        }
    }
    if (changed)
        RichEdit1->setPalette(palette);
}

void TWritePage::hookCalendar()
{
    if (m_calendarHooked)
        return;
    m_calendarHooked = true;
    connect(DatePicker->calendarWidget(), &QCalendarWidget::clicked, this,
            [this] { guarded([this] { pickerChosen(); }); });
    connect(DatePicker->calendarWidget(), &QCalendarWidget::activated, this,
            [this] { guarded([this] { pickerChosen(); }); });
}

bool TWritePage::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched->parent() == ToolBar1) {
        auto *button = static_cast<QToolButton *>(watched);
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right: {
            // The next button that can be used, round the ends.
            QList<QWidget *> buttons;
            for (QAction *action : ToolBar1->actions()) {
                QWidget *b = ToolBar1->widgetForAction(action);
                if (b && b->isVisible() && b->isEnabled() && !action->isSeparator())
                    buttons.append(b);
            }
            const qsizetype at = buttons.indexOf(button);
            if (at >= 0) {
                const qsizetype step = static_cast<QKeyEvent *>(event)->key() == Qt::Key_Right ? 1 : -1;
                buttons[(at + step + buttons.size()) % buttons.size()]->setFocus(Qt::TabFocusReason);
            }
            return true;
        }
        case Qt::Key_Return:
        case Qt::Key_Enter:
            button->click();
            return true;
        case Qt::Key_Escape:
            RichEdit1->setFocus(Qt::OtherFocusReason);
            return true;
        default:
            break;
        }
    }
    if (watched == DatePicker
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress))
        hookCalendar();
    if (watched == RichEdit1 && event->type() == QEvent::PaletteChange)
        keepSelectionVisible();
    return QWidget::eventFilter(watched, event);
}

void TWritePage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layOut();
}

void TWritePage::layOutLunarDate(int shift)
{
    // The date row is full at the page's design width: the lunar date then shows as the date's
    // tooltip alone, and beside the picker as soon as the page is wide enough (maximised).
    const int width = LunarDate->fontMetrics().horizontalAdvance(LunarDate->text()) + 4;
    const int height = LunarDate->fontMetrics().height();
    const int left = kDatePicker.right() + 6;
    LunarDate->setGeometry(left, kDatePicker.center().y() - height / 2 + 1, width, height);
    LunarDate->setVisible(!LunarDate->text().isEmpty() && left + width <= kWeatherCaption.left() + shift - 4);
}

void TWritePage::layOut()
{
    // The weather and mood stay at the right edge of a wider page; the date stays at the left.
    const int shift = qMax(0, width() - kDesignSize.width());
    Label3->setGeometry(kDateLabel);
    DatePicker->setGeometry(kDatePicker);
    layOutLunarDate(shift);
    Label1->setGeometry(kWeatherCaption.translated(shift, 0));
    dBox1->setGeometry(kWeatherBox.translated(shift, 0));
    Label2->setGeometry(kMoodCaption.translated(shift, 0));
    dBox2->setGeometry(kMoodBox.translated(shift, 0));
    Image1->setGeometry(kOrnament.adjusted(0, 0, width() - kDesignSize.width(), 0));
    Panel1->setGeometry(0, kPanelTop, width() - kPanelRightGap, kPanelHeight);
    // The editor takes the rest of the page, above the find bar while that shows.
    const int findHeight = FindInEntry->isVisibleTo(this) ? FindInEntry->sizeHint().height() : 0;
    const int editorBottom = height() - kEditorBottomGap - findHeight;
    RichEdit1->setGeometry(0, kEditorTop, width(), editorBottom - kEditorTop);
    if (findHeight > 0)
        FindInEntry->setGeometry(0, editorBottom, width(), findHeight);
}

void TWritePage::openFindBar()
{
    // A word selected in the entry is what the user most likely looks for.
    const QString selected = RichEdit1->textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
        FindInEntry->edit()->setText(selected);
    FindInEntry->show();
    layOut();
    FindInEntry->edit()->setFocus(Qt::ShortcutFocusReason);
    FindInEntry->edit()->selectAll();
    setSearchText(FindInEntry->edit()->text());
}

void TWritePage::closeFindBar()
{
    FindInEntry->hide();
    layOut();
    setSearchText(QString());
    RichEdit1->setFocus(Qt::OtherFocusReason);
}

void TWritePage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    RichEdit1->setFocus();
}

bool TWritePage::contains(const QWidget *widget) const
{
    return widget && (widget == this || isAncestorOf(widget));
}

void TWritePage::focusChanged(QWidget *old, QWidget *now)
{
    const bool fromPage = contains(old) || (!old && m_focusParked);
    m_focusParked = false;
    if (!fromPage || contains(now))
        return;
    if (now) {
        // A dialog or another window taking the focus does not leave the page.
        if (now->window() == window())
            emit focusLeftPage();
        return;
    }
    // The focus went nowhere: either the window lost the activation (the focus will come back
    // here) or the page is about to be hidden, which hideEvent() tells apart.
    if (isVisible())
        m_focusParked = true;
    else
        emit focusLeftPage();
}

void TWritePage::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (m_focusParked && !event->spontaneous()) {
        m_focusParked = false;
        guarded([this] { emit focusLeftPage(); });
    }
}

bool TWritePage::clipboardHasText()
{
    if (m_clipboardHasText < 0) {
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        m_clipboardHasText = data && data->hasText() ? 1 : 0;
    }
    return m_clipboardHasText == 1;
}

void TWritePage::UpdateCommands()
{
    const TextField field = TextField::focused();
    const bool writable = field && !field.isReadOnly();
    const bool selection = field.hasSelection();
    EditUndo1->setEnabled(field.canUndo());
    EditCut1->setEnabled(writable && selection);
    EditCopy1->setEnabled(selection);
    EditPaste1->setEnabled(writable && clipboardHasText());
    EditDelete1->setEnabled(writable && selection);
    EditSelectAll1->setEnabled(field && !field.isEmpty());

    QTextEdit *rich = field.richEditor();
    if (rich && rich->isReadOnly())
        rich = nullptr;
    const Qt::Alignment alignment = rich ? rich_format::alignment(rich) : Qt::Alignment();
    const auto show = [rich](QAction *action, bool checked) {
        action->setEnabled(rich != nullptr);
        action->setChecked(rich != nullptr && checked);
    };
    show(RichEditAlignLeft1, alignment == Qt::AlignLeft);
    show(RichEditAlignCenter1, alignment == Qt::AlignHCenter);
    show(RichEditAlignRight1, alignment == Qt::AlignRight);
    using rich_format::CharStyle;
    show(RichEditBold1, rich && rich_format::hasStyle(rich, CharStyle::Bold));
    show(RichEditItalic1, rich && rich_format::hasStyle(rich, CharStyle::Italic));
    show(RichEditUnderline1, rich && rich_format::hasStyle(rich, CharStyle::Underline));
    show(RichEditStrikeOut1, rich && rich_format::hasStyle(rich, CharStyle::StrikeOut));
    show(RichEditBullets1, rich && rich_format::hasBullets(rich));
}

void TWritePage::RichEditFontExecute()
{
    FontDialog1.setFont(rich_format::inPoints(RichEdit1->document()->defaultFont(),
                                              RichEdit1->logicalDpiY()));
    FontDialog1.setColor(RichEdit1->palette().color(QPalette::Active, QPalette::Text));
    if (!FontDialog1.Execute(window()))
        return;
    RichEdit1->mergeCurrentCharFormat(rich_format::fontFormat(FontDialog1.Font(), FontDialog1.Color()));
}

// The selection (or the word at the caret) only: a default font made larger would reach every
// line of default size, and later entries and exports with it.
void TWritePage::FontAddExecute()
{
    rich_format::changeSize(RichEdit1, +1);
}

void TWritePage::FontDecExecute()
{
    rich_format::changeSize(RichEdit1, -1);
}

void TWritePage::dBox2Click()
{
    RichEdit1->setFocus();
}

void TWritePage::PrintOpenEntry(QPrinter *printerOrNullForDialog)
{
    // The heading's size and colour stay in the dialog's font.
    QFont font = FontDialog1.Font();
    font.setPointSize(printing::kHeadingPoints);
    FontDialog1.setFont(font);
    FontDialog1.setColor(Qt::red);

    const printing::Heading heading{Label3->text(), dBox1->currentText(), dBox2->currentText()};
    if (printerOrNullForDialog) {
        printing::printEntry(RichEdit1, heading, font, *printerOrNullForDialog);
        emit printed();
        return;
    }
    bool confirmed = false;
    printing::printEntry(RichEdit1, heading, font, printer(), [this, &confirmed](QPrinter &printer) {
        confirmed = runPrintDialog(printer);
        return confirmed;
    });
    if (confirmed)
        emit printed();
}

bool TWritePage::runPrintDialog(QPrinter &printer)
{
    printer.setDocName(Label3->text());
    // Without any printer installed the dialog prints into a PDF file named after the entry.
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        QString folder = QFileInfo(printer.outputFileName()).absolutePath();
        if (printer.outputFileName().isEmpty()) {
            folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
            if (folder.isEmpty() || !QFileInfo(folder).isDir())
                folder = QDir::homePath();
        }
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QDir(folder).filePath(Label3->text() + QStringLiteral(".pdf")));
    }
    QPrintDialog dialog(&printer, window());
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}

QPrinter &TWritePage::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

void TWritePage::PrintExecute()
{
    PrintOpenEntry(nullptr);
}

void TWritePage::PrintSetExecute()
{
    QPageSetupDialog dialog(&printer(), window());
    dialog.exec();
}

void TWritePage::startBlank()
{
    RichEdit1->clear();
    QTextCursor cursor(RichEdit1->document());
    cursor.setBlockFormat(QTextBlockFormat());
    cursor.setBlockCharFormat(QTextCharFormat());
    RichEdit1->setTextCursor(cursor);
    RichEdit1->setCurrentCharFormat(QTextCharFormat());
    RichEdit1->document()->clearUndoRedoStacks();
}

void TWritePage::setShownDate(const QDate &date)
{
    const QSignalBlocker block(DatePicker);
    if (date.isValid()) {
        DatePicker->setDate(date);
        DatePicker->setEnabled(true);
    } else {
        DatePicker->setEnabled(false);
    }
    m_shownDay = date;
    LunarDate->setText(lunar::fullText(date));
    Label3->setToolTip(LunarDate->text());
    layOut();
}

void TWritePage::pickerChosen()
{
    const QDate date = DatePicker->date();
    if (!date.isValid() || date == m_shownDay)
        return;
    emit dayChosen(date);
}

void TWritePage::setSearchText(const QString &text)
{
    m_searchText = text;
    // The find bar shows the text looked for, however it was set.
    if (FindInEntry->edit()->text() != text && FindInEntry->isVisibleTo(this)) {
        const QSignalBlocker quiet(FindInEntry);
        FindInEntry->edit()->setText(text);
    }
    if (m_highlightConnection)
        disconnect(m_highlightConnection);
    if (!diary::foldForSearch(text).isEmpty()) {
        // Not while the document is being changed (an edit block, a record being loaded): the
        // highlight is laid afresh once the change is over.
        m_highlightConnection = connect(RichEdit1->document(), &QTextDocument::contentsChanged, this,
                                        [this] { highlightMatches(); }, Qt::QueuedConnection);
    }
    highlightMatches();
}

QList<QPair<int, int>> TWritePage::searchMatches() const
{
    return m_matches;
}

void TWritePage::highlightMatches()
{
    m_matches.clear();
    QList<QTextEdit::ExtraSelection> selections;
    if (!m_searchText.isEmpty()) {
        // The raw text has one character per document position (a paragraph's end included).
        QTextDocument *doc = RichEdit1->document();
        for (const auto &[first, end] : diary::findMatches(doc->toRawText(), m_searchText)) {
            m_matches.append({int(first), int(end)});
            QTextEdit::ExtraSelection selection;
            selection.cursor = QTextCursor(doc);
            selection.cursor.setPosition(int(first));
            selection.cursor.setPosition(int(end), QTextCursor::KeepAnchor);
            selection.format.setBackground(QColor(255, 230, 110));
            selections.append(selection);
        }
    }
    RichEdit1->setExtraSelections(selections);
    FindInEntry->setCount(int(m_matches.size()));
}

void TWritePage::moveToMatch(bool forward)
{
    if (m_matches.isEmpty())
        return;
    const QTextCursor cursor = RichEdit1->textCursor();
    const QPair<int, int> *target = nullptr;
    if (forward) {
        const int from = cursor.hasSelection() ? cursor.selectionEnd() : cursor.position();
        for (const auto &m : std::as_const(m_matches)) {
            if (m.first >= from) {
                target = &m;
                break;
            }
        }
        if (!target)
            target = &m_matches.first();
    } else {
        for (auto it = m_matches.crbegin(); it != m_matches.crend(); ++it) {
            if (it->first < cursor.selectionStart()) {
                target = &*it;
                break;
            }
        }
        if (!target)
            target = &m_matches.last();
    }
    QTextCursor select(RichEdit1->document());
    select.setPosition(target->first);
    select.setPosition(target->second, QTextCursor::KeepAnchor);
    RichEdit1->setTextCursor(select);
    RichEdit1->ensureCursorVisible();
}
