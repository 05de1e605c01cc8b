#include "pages/list_page.h"
#include "pages/tag_filter.h"
#include "tags/tag_counts.h"
#include "lunar/lunar_calendar.h"

#include "pages/diary_calendar.h"
#include "widgets/date_popup.h"
#include "widgets/lunar_day_calendar.h"
#include "platform/message_box.h"

#include <QAction>
#include <QThreadPool>
#include <QPointer>
#include <QApplication>
#include <QCache>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLocale>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QTextLayout>
#include <QAbstractTableModel>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

enum Column { kDate, kWeather, kMood, kSummary, kColumnCount };
constexpr int kColumnWidths[kColumnCount] = {100, 50, 80, 300};
constexpr int kKeyRole = Qt::UserRole;
const QColor kTextColour(0, 0, 255);
// How far back 那年今日 looks for the same lunar date: a lifetime's diary and then some.
constexpr int kLunarYearsBack = 120;
const QColor kGridColour(192, 192, 192);
const QColor kMatchColour(255, 230, 110);
// More than a cell shows at the table's font on a wide screen; laying out (and eliding) more of a
// long entry for every row painted only slows each repaint down, which a search repeats at
// every keystroke.
constexpr qsizetype kShownCharacters = 240;
// A search's summary starts this many characters before the first place found, so the cell shows
// the words around it.
constexpr qsizetype kLeadCharacters = 12;

// Cells on one line (the summary's line breaks shown as spaces, cut where the cell ends) with
// grid lines between rows and columns.
class GridDelegate : public QStyledItemDelegate
{
public:
    // needle: the search text whose matches are highlighted in the summary column.
    GridDelegate(const QString *needle, QObject *parent) : QStyledItemDelegate(parent), m_needle(needle) {}

    QString displayText(const QVariant &value, const QLocale &) const override
    {
        QString text = value.toString().left(kShownCharacters);
        for (QChar &c : text) {
            if (c == u'\r' || c == u'\n' || c == QChar::LineSeparator
                || c == QChar::ParagraphSeparator)
                c = u' ';
        }
        return text;
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        if (index.column() == kSummary && !m_needle->isEmpty())
            paintHighlighted(painter, option, index);
        else
            paintCell(painter, option, index);
        painter->save();
        painter->setPen(kGridColour);
        const QRect r = option.rect;
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->restore();
    }

private:
    // The cell's text rectangle, inside the margins the style keeps around a cell's text.
    static QRect textRectOf(const QStyleOptionViewItem &opt)
    {
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        return textRect.adjusted(margin, 0, -margin, 0);
    }

    static QColor textColourOf(const QStyleOptionViewItem &opt)
    {
        const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : !(opt.state & QStyle::State_Active) ? QPalette::Inactive
                                                                                  : QPalette::Normal;
        return opt.palette.color(group, opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                            : QPalette::Text);
    }

    // The cell's background, selection and focus as the style draws them; returns the cell's
    // text, which opt then no longer holds.
    QString drawCellWithoutText(QPainter *painter, QStyleOptionViewItem &opt, const QModelIndex &index) const
    {
        initStyleOption(&opt, index);
        const QString text = std::exchange(opt.text, QString());
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        return text;
    }

    // The cell as the style draws it (one line, elided at the cell's end), from laid-out text
    // kept for the next paint: shaping the text, above all a summary's long line of Chinese and
    // Latin, is most of what a repaint costs, and showing the list again repaints the same cells.
    void paintCell(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
    {
        QStyleOptionViewItem opt = option;
        const QString text = drawCellWithoutText(painter, opt, index);

        const QRect textRect = textRectOf(opt);
        const QString key = QString::number(textRect.width()) + u' ' + opt.font.key() + u'\n' + text;
        QStaticText *shown = m_laidOut.object(key);
        if (!shown) {
            shown = new QStaticText(QFontMetrics(opt.font).elidedText(text, Qt::ElideRight, textRect.width()));
            shown->setTextFormat(Qt::PlainText);
            m_laidOut.insert(key, shown);
        }
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(textColourOf(opt));
        painter->setClipRect(textRect);
        const qreal top = textRect.top() + (textRect.height() - shown->size().height()) / 2;
        painter->drawStaticText(QPointF(textRect.left(), top), *shown);
        painter->restore();
    }

    // The cell as usual, its text laid out with the matches on a highlight background.
    void paintHighlighted(QPainter *painter, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const
    {
        QStyleOptionViewItem opt = option;
        const QString text = drawCellWithoutText(painter, opt, index);

        const QRect textRect = textRectOf(opt);
        const QString key = *m_needle + u'\n' + opt.font.key() + u'\n' + text;
        QTextLayout *layout = m_highlighted.object(key);
        if (!layout) {
            QList<QTextLayout::FormatRange> formats;
            for (const auto &[first, end] : diary::findMatches(text, *m_needle)) {
                QTextLayout::FormatRange range;
                range.start = int(first);
                range.length = int(end - first);
                range.format.setBackground(kMatchColour);
                range.format.setForeground(Qt::black);
                formats.append(range);
            }
            layout = new QTextLayout(text, opt.font);
            // Kept whole after endLayout(): drawing it again then needs no shaping.
            layout->setCacheEnabled(true);
            layout->setFormats(formats);
            layout->beginLayout();
            QTextLine line = layout->createLine();
            if (line.isValid())
                line.setLineWidth(1e6);
            layout->endLayout();
            m_highlighted.insert(key, layout);
        }
        const QTextLine line = layout->lineCount() > 0 ? layout->lineAt(0) : QTextLine();
        painter->save();
        painter->setPen(textColourOf(opt));
        painter->setClipRect(textRect);
        const qreal top = textRect.top() + (textRect.height() - (line.isValid() ? line.height() : 0)) / 2;
        layout->draw(painter, QPointF(textRect.left(), top));
        painter->restore();
    }

    const QString *m_needle;
    // Laid-out cell texts by cell width, font and text: a few screens of rows.
    mutable QCache<QString, QStaticText> m_laidOut{2048};
    // The same for summaries with the search's matches highlighted, by search text too.
    mutable QCache<QString, QTextLayout> m_highlighted{512};
};

} // namespace

// The rows the table shows: positions into the page's rows, in the order shown. The table asks
// only for the cells it paints, so showing another order or another search's rows costs a sort
// or a pass over the search index and nothing per row.
class ListRowModel : public QAbstractTableModel
{
public:
    // needle: the search text; while it is not empty a summary shows the text around its first
    // place in the entry.
    ListRowModel(const QList<diary::ListRow> *rows, const QString *needle, QObject *parent)
        : QAbstractTableModel(parent), m_rows(rows), m_needle(needle) {}

    QString shownSummary(int position) const
    {
        const QString &summary = rowAt(position).summary;
        if (m_needle->isEmpty())
            return summary;
        const QList<QPair<qsizetype, qsizetype>> found = diary::findMatches(summary, *m_needle);
        if (found.isEmpty() || found.first().first <= kLeadCharacters)
            return summary;
        return QStringLiteral("…") + summary.mid(found.first().first - kLeadCharacters);
    }

    void show(QList<qsizetype> positions)
    {
        beginResetModel();
        m_shown = std::move(positions);
        endResetModel();
    }

    const diary::ListRow &rowAt(int position) const { return (*m_rows)[m_shown[position]]; }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_shown.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : kColumnCount;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_shown.size())
            return {};
        const diary::ListRow &row = rowAt(index.row());
        if (role == kKeyRole)
            return row.nameBytes;
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case kDate: return row.name;
        case kWeather: return row.weather;
        case kMood: return row.mood;
        default: return shownSummary(index.row());
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const QString captions[kColumnCount] = {QStringLiteral("日期"), QStringLiteral("天气"),
                                                       QStringLiteral("情感"), QStringLiteral("内容摘要")};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
            && section < kColumnCount)
            return captions[section];
        return QAbstractTableModel::headerData(section, orientation, role);
    }

private:
    const QList<diary::ListRow> *m_rows;
    const QString *m_needle;
    QList<qsizetype> m_shown;
};

namespace {

// The widest entry name in the font: a four-digit year and two-digit month and day, of the
// widest digit.
int widestDate(const QFontMetrics &metrics)
{
    int widest = 0;
    for (char16_t d = u'0'; d <= u'9'; ++d) {
        const QString digit(QChar{d});
        widest = std::max(widest, metrics.horizontalAdvance(digit.repeated(4) + u'年' + digit.repeated(2)
                                                            + u'月' + digit.repeated(2) + u'日'));
    }
    return widest;
}

} // namespace

TListPage::TListPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ListPage"));
    RichEdit2 = new QTextDocument(this);
    RichEdit2->setObjectName(QStringLiteral("RichEdit2"));
    createTable();
    createSearchBar();
    createMenu();

    m_hoverTimer.setSingleShot(true);
    m_hoverTimer.setInterval(kHoverMilliseconds);
    connect(&m_hoverTimer, &QTimer::timeout, this,
            [this] { guarded([this] { selectHovered(); }); });
}

TListPage::~TListPage() = default;

void TListPage::createTable()
{
    ListView1 = new QTreeView(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    m_model = new ListRowModel(&m_rows, &m_needle, this);
    ListView1->setModel(m_model);
    for (int c = 0; c < kColumnCount; ++c)
        ListView1->setColumnWidth(c, kColumnWidths[c]);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setTextElideMode(Qt::ElideRight);
    ListView1->setItemDelegate(new GridDelegate(&m_needle, ListView1));
    ListView1->setSortingEnabled(false);
    QHeaderView *header = ListView1->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(kDate, Qt::DescendingOrder);
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int column) { guarded([this, column] { headerClicked(column); }); });

    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(14);
    ListView1->setFont(font);
    QPalette palette = ListView1->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, kTextColour);
    palette.setColor(QPalette::WindowText, kTextColour);
    ListView1->setPalette(palette);

    // Hover selection follows the pointer over the rows.
    ListView1->setMouseTracking(true);
    ListView1->viewport()->setMouseTracking(true);
    ListView1->viewport()->installEventFilter(this);
    // A new font or skin: the columns are fitted again.
    ListView1->installEventFilter(this);
    fitColumns();

    Calendar = new TDiaryCalendar(this);
    Calendar->hide();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    row->addWidget(ListView1, 1);
    row->addWidget(Calendar);
    layout->addLayout(row);
}

void TListPage::createSearchBar()
{
    auto *bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("SearchBar"));
    auto *row = new QHBoxLayout;
    row->setSpacing(4);

    SearchEdit = new QLineEdit(bar);
    SearchEdit->setObjectName(QStringLiteral("SearchEdit"));
    SearchEdit->setPlaceholderText(QStringLiteral("查找日记（Ctrl+F）"));
    SearchEdit->setClearButtonEnabled(true);

    const auto filter = [bar](const char *name, const QString &all, int count, QString (*word)(int)) {
        auto *box = new QComboBox(bar);
        box->setObjectName(QLatin1String(name));
        box->addItem(all, -1);
        for (int i = 0; i < count; ++i)
            box->addItem(word(i), i);
        return box;
    };
    WeatherFilter = filter("WeatherFilter", QStringLiteral("全部天气"), diary::kWeatherCount, diary::weatherWord);
    MoodFilter = filter("MoodFilter", QStringLiteral("全部情感"), diary::kMoodCount, diary::moodWord);
    TagFilter = new TTagFilter(bar);

    DateFilter = new QCheckBox(QStringLiteral("日期"), bar);
    DateFilter->setObjectName(QStringLiteral("DateFilter"));
    const auto dateEdit = [bar](const char *name) {
        auto *edit = new QDateEdit(bar);
        edit->setObjectName(QLatin1String(name));
        edit->setCalendarPopup(true);
        showWholeMonth(edit);
        showLunarDays(edit);
        edit->setLocale(QLocale(QLocale::Chinese, QLocale::China));  // its calendar in Chinese
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setDate(diary::today());
        edit->setEnabled(false);
        return edit;
    };
    FromDate = dateEdit("FromDate");
    FromDate->setDate(diary::today().addYears(-1));
    ToDate = dateEdit("ToDate");

    ClearButton = new QPushButton(QStringLiteral("清除"), bar);
    ClearButton->setObjectName(QStringLiteral("ClearButton"));
    OnThisDay = new QPushButton(QStringLiteral("那年今日"), bar);
    OnThisDay->setObjectName(QStringLiteral("OnThisDay"));
    OnThisDay->setCheckable(true);
    OnThisDay->setToolTip(QStringLiteral("往年今天写下的日记，也有往年农历今天的"));
    CalendarButton = new QPushButton(QStringLiteral("日历"), bar);
    CalendarButton->setObjectName(QStringLiteral("CalendarButton"));
    CalendarButton->setCheckable(true);
    connect(CalendarButton, &QPushButton::toggled, Calendar, &QWidget::setVisible);
    ExportButton = new QPushButton(QStringLiteral("导出…"), bar);
    ExportButton->setObjectName(QStringLiteral("ExportButton"));
    ExportButton->setToolTip(QStringLiteral("把日记导出为网页、Markdown、纯文本、PDF 或 ODF 文本"));

    // Two rows, so that the page is no wider than the window's first size.
    row->addWidget(SearchEdit, 1);
    row->addWidget(WeatherFilter);
    row->addWidget(MoodFilter);
    row->addWidget(TagFilter);
    row->addWidget(ClearButton);
    auto *dates = new QHBoxLayout;
    dates->setSpacing(4);
    dates->addWidget(DateFilter);
    dates->addWidget(FromDate);
    dates->addWidget(new QLabel(QStringLiteral("至"), bar));
    dates->addWidget(ToDate);
    dates->addStretch(1);
    dates->addWidget(OnThisDay);
    dates->addWidget(CalendarButton);
    dates->addWidget(ExportButton);
    ImportButton = new QPushButton(QStringLiteral("导入…"), bar);
    ImportButton->setObjectName(QStringLiteral("ImportButton"));
    ImportButton->setToolTip(QStringLiteral("从文本、Markdown、RTF、HTML、ODF或Word文件，或从其他日记程序的导出导入日记"));
    dates->addWidget(ImportButton);
    MoreButton = new QPushButton(QStringLiteral("更多"), bar);
    MoreButton->setObjectName(QStringLiteral("MoreButton"));
    MoreButton->setToolTip(QStringLiteral("打开、删除、打印所选日记，撤销删除，历史版本"));
    dates->addWidget(MoreButton);
    connect(ImportButton, &QPushButton::clicked, this, [this] { ImportCmd->trigger(); });
    auto *rows = new QVBoxLayout(bar);
    rows->setContentsMargins(2, 2, 2, 0);
    rows->setSpacing(2);
    rows->addLayout(row);
    rows->addLayout(dates);
    // Never wider than the page is given: the controls are clipped rather than the window grown.
    bar->setMinimumWidth(1);
    static_cast<QVBoxLayout *>(layout())->insertWidget(0, bar);

    const auto changed = [this] { guarded([this] { queryChanged(); }); };
    connect(SearchEdit, &QLineEdit::textChanged, this, changed);
    connect(WeatherFilter, &QComboBox::currentIndexChanged, this, changed);
    connect(MoodFilter, &QComboBox::currentIndexChanged, this, changed);
    connect(TagFilter, &QComboBox::currentIndexChanged, this, changed);
    connect(DateFilter, &QCheckBox::toggled, this, [this](bool on) {
        FromDate->setEnabled(on);
        ToDate->setEnabled(on);
        guarded([this] { queryChanged(); });
    });
    connect(FromDate, &QDateEdit::dateChanged, this, changed);
    connect(ToDate, &QDateEdit::dateChanged, this, changed);
    connect(OnThisDay, &QPushButton::toggled, this, changed);
    connect(OnThisDay, &QPushButton::toggled, this, [this](bool on) {
        if (on)
            reckonLunarDays();
    });
    connect(ClearButton, &QPushButton::clicked, this, [this] { guarded([this] { clearSearch(); }); });

    auto *find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WindowShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        SearchEdit->setFocus(Qt::ShortcutFocusReason);
        SearchEdit->selectAll();
    });
}

void TListPage::createMenu()
{
    const auto command = [this](const char *name, const QString &caption) {
        auto *action = new QAction(caption, this);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    See = command("See", QStringLiteral("查看与修改(&S)"));
    Del = command("Del", QStringLiteral("删除(&D)"));
    N3 = command("N3", QStringLiteral("打印所选(&P)"));
    N4 = command("N4", QStringLiteral("打印纸设置(&A)"));
    UndoDel = command("UndoDel", QStringLiteral("撤销删除(&U)"));
    UndoDel->setEnabled(false);
    ExportSelected = command("ExportSelected", QStringLiteral("导出选中的日记(&E)…"));
    ImportCmd = command("ImportCmd", QStringLiteral("导入(&I)…"));
    History = command("History", QStringLiteral("历史版本(&H)…"));

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    PopupMenu2->addActions({See, Del});
    PopupMenu2->addSeparator();
    PopupMenu2->addActions({N3, N4});
    PopupMenu2->addAction(ExportSelected);
    PopupMenu2->addSeparator();
    PopupMenu2->addActions({UndoDel, History});
    PopupMenu2->addAction(ImportCmd);

    // A disabled command cannot be chosen from the open menu; once it closes, the commands are
    // whole again for whoever triggers them otherwise.
    connect(PopupMenu2, &QMenu::aboutToHide, this, [this] {
        for (QAction *rowCommand : {See, Del, N3, ExportSelected})
            rowCommand->setEnabled(true);
    });
    // The same commands behind the 更多 button, where a person looks for them without knowing of
    // the right-click: those for a row only while a row is selected.
    CommandMenu = new QMenu(this);
    CommandMenu->setObjectName(QStringLiteral("CommandMenu"));
    CommandMenu->addActions({See, Del});
    CommandMenu->addSeparator();
    CommandMenu->addActions({N3, N4, ExportSelected});
    CommandMenu->addSeparator();
    CommandMenu->addActions({UndoDel, History, ImportCmd});
    connect(CommandMenu, &QMenu::aboutToShow, this, [this] {
        m_hoverTimer.stop();
        for (QAction *rowCommand : {See, Del, N3, ExportSelected})
            rowCommand->setEnabled(hasSelection());
    });
    connect(CommandMenu, &QMenu::aboutToHide, this, [this] {
        for (QAction *rowCommand : {See, Del, N3, ExportSelected})
            rowCommand->setEnabled(true);
    });
    MoreButton->setMenu(CommandMenu);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        guarded([&] {
            prepareMenuAt(at);
            PopupMenu2->popup(ListView1->viewport()->mapToGlobal(at));
        });
    });
}

void TListPage::prepareMenuAt(const QPoint &at)
{
    // A selection made by hovering must not outlive the pointer's move away from the rows.
    m_hoverTimer.stop();
    const QModelIndex row = ListView1->indexAt(at);
    if (row.isValid()) {
        ListView1->setCurrentIndex(row);
    } else {
        ListView1->clearSelection();
        ListView1->setCurrentIndex({});
    }
    for (QAction *rowCommand : {See, Del, N3, ExportSelected})
        rowCommand->setEnabled(row.isValid());
}

bool TListPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ListView1
        && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
        fitColumns();
    // Enter opens the selected row, as a double click on it does.
    if (watched == ListView1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && hasSelection()) {
            See->trigger();
            return true;
        }
        // Delete deletes the selected row as "删除(&D)" does, asking first.
        if (key == Qt::Key_Delete && hasSelection()) {
            Del->trigger();
            return true;
        }
    }
    if (watched == ListView1->viewport()) {
        switch (event->type()) {
        case QEvent::MouseMove:
            m_hoverPos = static_cast<QMouseEvent *>(event)->position().toPoint();
            m_hoverTimer.start();
            break;
        case QEvent::Leave:
            m_hoverTimer.stop();
            break;
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
                emit ListView1DblClick();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TListPage::selectHovered()
{
    const QModelIndex row = ListView1->indexAt(m_hoverPos);
    if (row.isValid() && (ListView1->currentIndex().row() != row.row() || !hasSelection()))
        ListView1->setCurrentIndex(row);
}

void TListPage::clearRows()
{
    m_hoverTimer.stop();
    m_model->show({});
    m_rows.clear();
    m_sorted.clear();
    m_index = diary::SearchIndex();
    m_indexed = false;
    Calendar->setRows({});
    {
        const QSignalBlocker block(TagFilter);
        TagFilter->setCounts({});
    }
}

void TListPage::addRows(const QList<Row> &rows)
{
    QList<diary::ListRow> all = m_rows;
    for (const Row &row : rows) {
        diary::ListRow r;
        r.nameBytes = row.key;
        r.name = row.caption;
        r.weather = row.weather;
        r.mood = row.mood;
        r.summary = row.summary;
        // Which problem does not matter here: only that the row cannot be searched.
        r.problem = row.readable ? diary::EntryProblem::None : diary::EntryProblem::Damaged;
        all.append(std::move(r));
    }
    setRows(all);
}

void TListPage::setRows(const QList<diary::ListRow> &rows)
{
    m_hoverTimer.stop();
    // The table lets go of the old rows before they go.
    m_model->show({});
    m_rows = rows;
    m_sorted.clear();
    // Folded when the first search needs it: a listing the user does not search costs nothing.
    m_index = diary::SearchIndex();
    m_indexed = false;
    Calendar->setRows(m_rows);
    TagFilter->setRows(m_rows);
    refill();
}

void TListPage::setOrder(diary::RowOrder order)
{
    m_order = order;
    ListView1->header()->setSortIndicator(int(order.column),
                                          order.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    refill();
}

void TListPage::headerClicked(int column)
{
    if (column < 0 || column >= diary::kSortColumnCount)
        return;
    diary::RowOrder order;
    order.column = diary::SortColumn(column);
    if (order.column == m_order.column)
        order.descending = !m_order.descending;
    else
        order.descending = order.column == diary::SortColumn::Date;
    setOrder(order);
    emit orderChanged(order);
}

diary::SearchQuery TListPage::query() const
{
    diary::SearchQuery query;
    // #旅行 typed is the same filter as 旅行 picked in TagFilter.
    query.setSearchText(SearchEdit->text());
    if (const QString tag = TagFilter->currentTag(); !tag.isEmpty())
        query.tags.append(tag);
    query.weather = WeatherFilter->currentData().toInt();
    query.mood = MoodFilter->currentData().toInt();
    if (DateFilter->isChecked()) {
        query.from = FromDate->date();
        query.to = ToDate->date();
    }
    if (OnThisDay->isChecked()) {
        query.onThisDay = diary::today();
        // The same lunar date too, the years of a lunar birthday, once they are reckoned.
        if (m_lunarToday == query.onThisDay)
            query.lunarDays = m_lunarDays;
    }
    return query;
}

void TListPage::reckonLunarDays()
{
    const QDate today = diary::today();
    if (m_lunarToday == today || m_lunarReckoning == today)
        return;
    m_lunarReckoning = today;
    QPointer<TListPage> page(this);
    QThreadPool::globalInstance()->start([page, today] {
        QList<QDate> days = lunar::sameLunarDateBefore(today, today.addYears(-kLunarYearsBack));
        std::reverse(days.begin(), days.end());
        QMetaObject::invokeMethod(
            qApp,
            [page, today, days = std::move(days)]() mutable {
                if (page)
                    guarded([&] { page->lunarDaysReckoned(today, std::move(days)); });
            },
            Qt::QueuedConnection);
    });
}

void TListPage::lunarDaysReckoned(const QDate &today, QList<QDate> days)
{
    if (m_lunarReckoning == today)
        m_lunarReckoning = QDate();
    m_lunarToday = today;
    m_lunarDays = std::move(days);
    if (OnThisDay->isChecked() && diary::today() == today)
        refill();
}

void TListPage::clearSearch()
{
    const QSignalBlocker blockText(SearchEdit);
    const QSignalBlocker blockWeather(WeatherFilter);
    const QSignalBlocker blockMood(MoodFilter);
    const QSignalBlocker blockDate(DateFilter);
    const QSignalBlocker blockDay(OnThisDay);
    OnThisDay->setChecked(false);
    SearchEdit->clear();
    WeatherFilter->setCurrentIndex(0);
    MoodFilter->setCurrentIndex(0);
    TagFilter->clearTag();
    DateFilter->setChecked(false);
    FromDate->setEnabled(false);
    ToDate->setEnabled(false);
    queryChanged();
}

void TListPage::queryChanged()
{
    refill();
}

namespace {

// The years of one day read best newest first, whatever the table's order.
diary::RowOrder orderFor(const diary::SearchQuery &search, diary::RowOrder order)
{
    return search.onThisDay.isValid() ? diary::RowOrder{} : order;
}

// The rows the search finds, in the sorted order.
QList<qsizetype> foundIn(const QList<qsizetype> &sorted, qsizetype rowCount, const diary::SearchIndex &index,
                         const diary::SearchQuery &search)
{
    if (search.isOpen())
        return sorted;
    std::vector<bool> found(size_t(rowCount), false);
    for (const qsizetype i : index.find(search))
        found[size_t(i)] = true;
    QList<qsizetype> shown;
    for (const qsizetype i : sorted) {
        if (found[size_t(i)])
            shown.append(i);
    }
    return shown;
}

} // namespace

TListPage::Preparation TListPage::preparation() const
{
    return {m_order, query()};
}

TListPage::Prepared TListPage::prepare(QList<diary::ListRow> rows, const Preparation &how)
{
    Prepared prepared;
    prepared.query = how.query;
    prepared.order = orderFor(how.query, how.order);
    prepared.sorted = diary::sortedPositions(rows, prepared.order);
    prepared.moods = diary::moodsByDay(rows);
    prepared.tagCounts = tags::countTags(rows);
    if (!how.query.isOpen()) {
        prepared.index.emplace(rows);
        prepared.shown = foundIn(prepared.sorted, rows.size(), *prepared.index, how.query);
    } else {
        prepared.shown = prepared.sorted;
    }
    prepared.rows = std::move(rows);
    return prepared;
}

void TListPage::setPrepared(Prepared prepared)
{
    m_hoverTimer.stop();
    m_model->show({});
    m_rows = std::move(prepared.rows);
    m_sorted = std::move(prepared.sorted);
    m_sortedOrder = prepared.order;
    m_indexed = prepared.index.has_value();
    m_index = prepared.index ? std::move(*prepared.index) : diary::SearchIndex();
    Calendar->setMoods(std::move(prepared.moods));
    {
        // A tag that is gone would refill on its own: the rows here are shown below in any case.
        const QSignalBlocker block(TagFilter);
        TagFilter->setCounts(prepared.tagCounts);
    }
    const diary::SearchQuery search = query();
    // The order or the search changed while it was prepared: the page does its own work.
    if (orderFor(search, m_order) != m_sortedOrder || (!search.isOpen() && !m_indexed)) {
        refill();
        return;
    }
    showRows(search, search == prepared.query ? std::move(prepared.shown)
                                              : foundIn(m_sorted, m_rows.size(), m_index, search));
}

QList<diary::ListRow> TListPage::takeRows()
{
    m_hoverTimer.stop();
    m_model->show({});
    m_sorted.clear();
    m_index = diary::SearchIndex();
    m_indexed = false;
    Calendar->setRows({});
    // The tags stay in the drop-down (and the one picked stays picked) until the new rows come.
    return std::exchange(m_rows, {});
}

void TListPage::refill()
{
    m_hoverTimer.stop();
    const diary::SearchQuery search = query();
    if (!search.isOpen() && !m_indexed) {
        m_index = diary::SearchIndex(m_rows);
        m_indexed = true;
    }
    // Sorted once per order: each keystroke of a search only picks from it.
    const diary::RowOrder order = orderFor(search, m_order);
    if (m_sorted.size() != m_rows.size() || order != m_sortedOrder) {
        m_sorted = diary::sortedPositions(m_rows, order);
        m_sortedOrder = order;
    }
    showRows(search, foundIn(m_sorted, m_rows.size(), m_index, search));
}

void TListPage::showRows(const diary::SearchQuery &search, QList<qsizetype> shown)
{
    m_needle = diary::foldForSearch(search.text).isEmpty() ? QString() : search.text;
    const int found = search.isOpen() ? -1 : int(shown.size());
    m_model->show(std::move(shown));
    if (found != m_found) {
        m_found = found;
        emit foundChanged(found);
    }
}

void TListPage::fitColumns()
{
    const QFontMetrics metrics = ListView1->fontMetrics();
    const QFontMetrics headerMetrics = ListView1->header()->fontMetrics();
    // Room for the cell's margins, the focus frame and the sort indicator.
    const int padding = 2 * (ListView1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ListView1) + 1) + 12;
    const auto fit = [&](int column, int content, const QString &caption) {
        const int width = std::max(content, headerMetrics.horizontalAdvance(caption) + 16) + padding;
        ListView1->header()->setSectionResizeMode(column, QHeaderView::Interactive);
        ListView1->setColumnWidth(column, std::max(width, kColumnWidths[column]));
    };
    fit(kDate, widestDate(metrics), QStringLiteral("日期"));
    int weather = 0;
    for (int i = 0; i < diary::kWeatherCount; ++i)
        weather = std::max(weather, metrics.horizontalAdvance(diary::weatherWord(i)));
    fit(kWeather, weather, QStringLiteral("天气"));
    int mood = 0;
    for (int i = 0; i < diary::kMoodCount; ++i)
        mood = std::max(mood, metrics.horizontalAdvance(diary::moodWord(i)));
    fit(kMood, mood, QStringLiteral("情感"));
    ListView1->header()->setSectionResizeMode(kDate, QHeaderView::Fixed);
    ListView1->header()->setSectionResizeMode(kSummary, QHeaderView::Stretch);
}

QList<QPair<qsizetype, qsizetype>> TListPage::summaryMatches(int position) const
{
    if (position < 0 || position >= m_model->rowCount() || m_needle.isEmpty())
        return {};
    return diary::findMatches(m_model->rowAt(position).summary, m_needle);
}

QString TListPage::shownSummary(int position) const
{
    return position >= 0 && position < m_model->rowCount() ? m_model->shownSummary(position) : QString();
}

QString TListPage::foundText(int count)
{
    return QStringLiteral("找到 %1 篇").arg(count);
}

int TListPage::rowCount() const
{
    return m_model->rowCount();
}

TListPage::Row TListPage::rowAt(int position) const
{
    const diary::ListRow &row = m_model->rowAt(position);
    return {row.name, row.weather, row.mood, row.summary, row.nameBytes,
            row.problem == diary::EntryProblem::None};
}

QList<TListPage::Row> TListPage::shownRows() const
{
    QList<Row> rows;
    for (int i = 0; i < m_model->rowCount(); ++i)
        rows.append(rowAt(i));
    return rows;
}

void TListPage::selectRow(int position)
{
    if (position >= 0 && position < m_model->rowCount())
        ListView1->setCurrentIndex(m_model->index(position, kDate));
    else
        ListView1->clearSelection();
}

bool TListPage::hasSelection() const
{
    return ListView1->selectionModel()->hasSelection();
}

TListPage::Row TListPage::selectedRow() const
{
    const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
    return selected.isEmpty() ? Row{} : rowAt(selected.first().row());
}
