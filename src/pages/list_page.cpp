#include "pages/list_page.h"

#include "platform/message_box.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Column { kDate, kWeather, kMood, kSummary, kColumnCount };
constexpr int kColumnWidths[kColumnCount] = {100, 50, 80, 300};
constexpr int kKeyRole = Qt::UserRole;
const QColor kTextColour(0, 0, 255);
const QColor kGridColour(192, 192, 192);
// More than the widest cell shows on any screen; laying out a whole long entry for every row
// painted would only slow the table down.
constexpr qsizetype kShownCharacters = 600;

// A row ordered by its caption as the platform's collation orders text.
class CaptionItem : public QTreeWidgetItem
{
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem &other) const override
    {
        return QString::localeAwareCompare(text(kDate), other.text(kDate)) < 0;
    }
};

// Cells on one line (the summary's line breaks shown as spaces, cut where the cell ends) with
// grid lines between rows and columns.
class GridDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

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
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(kGridColour);
        const QRect r = option.rect;
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->restore();
    }
};

} // namespace

TListPage::TListPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ListPage"));
    RichEdit2 = new QTextDocument(this);
    RichEdit2->setObjectName(QStringLiteral("RichEdit2"));
    createTable();
    createMenu();

    m_hoverTimer.setSingleShot(true);
    m_hoverTimer.setInterval(kHoverMilliseconds);
    connect(&m_hoverTimer, &QTimer::timeout, this,
            [this] { guarded([this] { selectHovered(); }); });
}

TListPage::~TListPage() = default;

void TListPage::createTable()
{
    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setColumnCount(kColumnCount);
    ListView1->setHeaderLabels({QStringLiteral("日期"), QStringLiteral("天气"), QStringLiteral("情感"),
                                QStringLiteral("内容摘要")});
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
    ListView1->setItemDelegate(new GridDelegate(ListView1));
    ListView1->sortItems(kDate, Qt::AscendingOrder);
    sortByCaption();

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

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ListView1);
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

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    PopupMenu2->addActions({See, Del});
    PopupMenu2->addSeparator();
    PopupMenu2->addActions({N3, N4});
    PopupMenu2->addSeparator();
    PopupMenu2->addAction(UndoDel);

    // A disabled command cannot be chosen from the open menu; once it closes, the commands are
    // whole again for whoever triggers them otherwise.
    connect(PopupMenu2, &QMenu::aboutToHide, this, [this] {
        for (QAction *rowCommand : {See, Del, N3})
            rowCommand->setEnabled(true);
    });
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
    QTreeWidgetItem *item = ListView1->itemAt(at);
    if (item) {
        ListView1->setCurrentItem(item);
    } else {
        ListView1->clearSelection();
        ListView1->setCurrentItem(nullptr);
    }
    for (QAction *rowCommand : {See, Del, N3})
        rowCommand->setEnabled(item != nullptr);
}

bool TListPage::eventFilter(QObject *watched, QEvent *event)
{
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
    QTreeWidgetItem *item = ListView1->itemAt(m_hoverPos);
    if (item && ListView1->currentItem() != item)
        ListView1->setCurrentItem(item);
}

void TListPage::clearRows()
{
    m_hoverTimer.stop();
    ListView1->clear();
}

void TListPage::addRows(const QList<Row> &rows)
{
    QList<QTreeWidgetItem *> items;
    items.reserve(rows.size());
    for (const Row &row : rows) {
        auto *item = new CaptionItem(QStringList{row.caption, row.weather, row.mood, row.summary});
        item->setData(kDate, kKeyRole, row.key);
        items.append(item);
    }
    // Sorting once after adding them all is the same order as sorting after each row.
    ListView1->setSortingEnabled(false);
    ListView1->addTopLevelItems(items);
    sortByCaption();
}

void TListPage::sortByCaption()
{
    ListView1->setSortingEnabled(true);
    // Sorting makes the headers clickable; the order is the captions' alone.
    ListView1->header()->setSectionsClickable(false);
    ListView1->header()->setSortIndicatorShown(false);
}

int TListPage::rowCount() const
{
    return ListView1->topLevelItemCount();
}

namespace {

TListPage::Row rowOf(const QTreeWidgetItem *item)
{
    return {item->text(kDate), item->text(kWeather), item->text(kMood), item->text(kSummary),
            item->data(kDate, kKeyRole).toByteArray()};
}

} // namespace

QList<TListPage::Row> TListPage::shownRows() const
{
    QList<Row> rows;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        rows.append(rowOf(ListView1->topLevelItem(i)));
    return rows;
}

void TListPage::selectRow(int position)
{
    if (QTreeWidgetItem *item = ListView1->topLevelItem(position))
        ListView1->setCurrentItem(item);
    else
        ListView1->clearSelection();
}

bool TListPage::hasSelection() const
{
    return !ListView1->selectedItems().isEmpty();
}

TListPage::Row TListPage::selectedRow() const
{
    const QList<QTreeWidgetItem *> selected = ListView1->selectedItems();
    return selected.isEmpty() ? Row{} : rowOf(selected.first());
}
