#pragma once

#include "diary/row_order.h"
#include "diary/search.h"
#include "tags/tag_counts.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QMenu;
class QPushButton;
class QTextDocument;
class QTreeView;
class ListRowModel;
class TDiaryCalendar;
class TTagFilter;

// The list page: the whole diary as a table of date, weather, mood and text, one row per entry,
// with a context menu to open, delete or print the row under the pointer.
//
// ListView1 fills the page: report style with the columns "日期" 100, "天气" 50, "情感" 80 and
// "内容摘要" 300 pixels, grid lines, whole-row selection of one row, no editing, white
// background, "宋体" 14 pixels in blue. The date column is always as wide as the widest date in
// the table's font, the weather and mood columns as their words, and the summary takes the rest
// of the width. The row under the mouse pointer becomes the selected row once the pointer has
// rested on it for 2 milliseconds, besides the usual selection by click and keys.
//
// Order: rows are shown in the page's RowOrder (diary::sortRows: newest first by default, names
// that are no dates after the dates). A click on a column header sorts by that column (the date
// newest first, the others ascending); a second click on the same header reverses the order.
// Each change is announced by orderChanged, for the window to remember it.
//
// Search: above the table, SearchEdit (Ctrl+F puts the focus there), WeatherFilter, MoodFilter
// and a date range (DateFilter with FromDate and ToDate) filter the rows as they change
// (diary::SearchIndex); ClearButton 「清除」 empties them all and shows every row again. While
// there is a search text, the summary column shows the text around its first place in each
// entry, the places highlighted; foundChanged tells how many entries the search finds. The
// search stays when the rows are listed anew. OnThisDay 「那年今日」, while checked, shows only the entries written on
// today's month and day in earlier years (diary::onThisDay), newest first, and those of today's
// lunar month and day (lunar::sameLunarDateBefore), which join a moment later the first time.
//
// Calendar: CalendarButton 「日历」 shows a month calendar (TDiaryCalendar) at the right of the
// table, marking the days of all rows (not only those the search finds). It sits on this page
// rather than a page of its own so that it shares the listing with the table, and the list's
// search and the calendar can be used side by side.
//
// A right-click on a row selects it and offers every command; a right-click on empty space
// clears the selection, and the menu then offers only what does not act on a row (N4), so a
// row hovered a moment earlier is never deleted or printed by mistake. The same commands are
// behind the 「更多」 button beside 导出/导入, for who does not think of the right-click. The
// Delete key deletes the selected row as "删除(&D)" does.
//
// The page performs nothing itself: its commands (See, Del, N3, N4) and the double click are
// for the main window to connect.
class TListPage : public QWidget
{
    Q_OBJECT

public:
    explicit TListPage(QWidget *parent = nullptr);
    ~TListPage() override;

    // One row: the caption and the three sub-items, and the key the row stands for (the entry
    // name as stored).
    struct Row {
        QString caption;
        QString weather;
        QString mood;
        QString summary;
        QByteArray key;
        bool readable = true;
    };

    QTreeView *ListView1;
    // The hidden scratch editor: a document that decodes entries without showing them.
    QTextDocument *RichEdit2;
    QMenu *PopupMenu2;

    QAction *See;   // "查看与修改(&S)"
    QAction *Del;   // "删除(&D)"
    QAction *N3;    // "打印所选(&P)"
    QAction *N4;    // "打印纸设置(&A)"
    QAction *UndoDel;   // "撤销删除(&U)": disabled until the main window has a delete to undo
    QAction *ExportSelected;   // 「导出选中的日记…」: enabled, like See, only on a row
    QAction *ImportCmd; // 「导入(&I)…」: entries from files, whatever row is selected
    QAction *History;   // "历史版本(&H)…": the diary's kept versions

    QLineEdit *SearchEdit;
    QComboBox *WeatherFilter;   // 「全部天气」, then the weather words
    QComboBox *MoodFilter;      // 「全部情感」, then the mood words
    // 「全部标签」, then the listing's tags by count: a tag picked filters as #tag typed does.
    TTagFilter *TagFilter;
    QCheckBox *DateFilter;      // 「日期」: the range below applies
    QDateEdit *FromDate;
    QDateEdit *ToDate;
    QPushButton *ClearButton;   // 「清除」
    QPushButton *OnThisDay;     // 「那年今日」, checkable
    QPushButton *CalendarButton; // 「日历」, checkable: shows the calendar beside the table
    QPushButton *ExportButton;  // 「导出…」: the export dialog, for the main window to connect
    TDiaryCalendar *Calendar;   // the same rows by day; hidden until CalendarButton is checked
    QPushButton *ImportButton;  // 「导入…」: triggers ImportCmd
    QPushButton *MoreButton;    // 「更多」: CommandMenu
    // Every command of the context menu, behind MoreButton; those that act on a row are enabled
    // while the menu shows only when a row is selected.
    QMenu *CommandMenu;

    // Removes every row.
    void clearRows();
    // Adds the rows; the table shows them in its order (rows equal in it keep the order given),
    // those the search finds.
    void addRows(const QList<Row> &rows);
    // Replaces the rows with these list rows.
    void setRows(const QList<diary::ListRow> &rows);

    // A listing made ready to show off the window's thread, so that showing a large diary (tens
    // of thousands of rows) only hands it over: the rows, their positions in the page's order,
    // the calendar's days, and while a search is on, its index and the rows it finds.
    struct Prepared {
        QList<diary::ListRow> rows;
        diary::RowOrder order;
        QList<qsizetype> sorted;
        QHash<QDate, int> moods;
        QList<tags::TagCount> tagCounts;
        std::optional<diary::SearchIndex> index;
        diary::SearchQuery query;   // the search shown was found for
        QList<qsizetype> shown;
    };
    // What prepare() needs of the page: its order and its search. Taken on the window's thread.
    struct Preparation {
        diary::RowOrder order;
        diary::SearchQuery query;
    };
    Preparation preparation() const;
    // No widgets: runs on any thread.
    static Prepared prepare(QList<diary::ListRow> rows, const Preparation &how);
    // Replaces the rows as setRows() does, with the work done (when the page's order and search
    // are still those prepared for; otherwise the page sorts and searches again).
    void setPrepared(Prepared prepared);
    // Removes every row, as clearRows() does, and gives them to the caller, who can let go of
    // them on another thread: freeing a large diary's rows is tens of milliseconds.
    QList<diary::ListRow> takeRows();

    diary::RowOrder order() const { return m_order; }
    // Shows the rows in that order (does not announce it).
    void setOrder(diary::RowOrder order);

    // The search the controls hold.
    diary::SearchQuery query() const;
    // Empties the search controls: every row is shown.
    void clearSearch();
    // The ranges of the search text's matches in the summary of the shown row at position.
    QList<QPair<qsizetype, qsizetype>> summaryMatches(int position) const;
    // What the summary cell of the shown row at position holds: the summary, or during a search
    // the summary from a little before its first place ("…" in front when cut).
    QString shownSummary(int position) const;
    // How many entries the search finds; -1 while there is no search.
    int foundCount() const { return m_found; }
    // 「找到 N 篇」.
    static QString foundText(int count);
    // The rows the table has, found by the search or not.
    int allRowCount() const { return int(m_rows.size()); }

    // The rows shown.
    int rowCount() const;
    // The rows as the table shows them, top to bottom.
    QList<Row> shownRows() const;
    // Selects the row at that position of the shown order (-1: none).
    void selectRow(int position);
    // The selected row, if any.
    bool hasSelection() const;
    Row selectedRow() const;

    // Prepares the context menu for a right-click at that point of the table's viewport (the
    // selection and which commands are enabled, as described above); the caller pops it up.
    void prepareMenuAt(const QPoint &at);

    // How long the pointer rests on a row before it is selected.
    static constexpr int kHoverMilliseconds = 2;

signals:
    // A double click anywhere on the table (not only on a row).
    void ListView1DblClick();
    // The user changed the order by a header click.
    void orderChanged(diary::RowOrder order);
    // The search finds count entries now (-1: the search was emptied).
    void foundChanged(int count);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createTable();
    void createSearchBar();
    void createMenu();
    void selectHovered();
    void headerClicked(int column);
    // The row at that position of the shown order.
    Row rowAt(int position) const;
    // Fills the table from the rows, in order, those the search finds.
    void refill();
    // Shows these positions of the rows, as the search found them.
    void showRows(const diary::SearchQuery &search, QList<qsizetype> shown);
    void queryChanged();
    // The date column as wide as the widest date in the table's font, and so on.
    void fitColumns();

    QTimer m_hoverTimer;
    QPoint m_hoverPos;
    QList<diary::ListRow> m_rows;
    ListRowModel *m_model = nullptr;
    // m_rows' positions in m_sortedOrder, kept while the rows and the order stay.
    QList<qsizetype> m_sorted;
    diary::RowOrder m_sortedOrder;
    diary::SearchIndex m_index;
    bool m_indexed = false;   // m_index holds m_rows
    diary::RowOrder m_order;
    QString m_needle;   // the search text the summaries are highlighted with
    int m_found = -1;
    // 那年今日's lunar days of earlier years: reckoned once a day on a worker (seconds for a
    // century of lunar years), the list shown again when they are in.
    void reckonLunarDays();
    void lunarDaysReckoned(const QDate &today, QList<QDate> days);
    QDate m_lunarToday;       // the day m_lunarDays are of
    QList<QDate> m_lunarDays; // ascending
    QDate m_lunarReckoning;   // the day a worker reckons them for now
};
