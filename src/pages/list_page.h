#pragma once

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>

class QAction;
class QMenu;
class QTextDocument;
class QTreeWidget;
class QTreeWidgetItem;

// The list page: the whole diary as a table of date, weather, mood and text, one row per entry,
// with a context menu to open, delete or print the row under the pointer.
//
// ListView1 fills the page: report style with the columns "日期" 100, "天气" 50, "情感" 80 and
// "内容摘要" 300 pixels, grid lines, whole-row selection of one row, no editing, white
// background, "宋体" 14 pixels in blue. Rows are kept ordered by their caption (the entry name)
// with QString::localeAwareCompare, so "2003年10月5日" comes before "2003年9月26日"; clicking a
// column header does nothing. The row under the mouse pointer becomes the selected row once the
// pointer has rested on it for 2 milliseconds, besides the usual selection by click and keys.
//
// A right-click on a row selects it and offers every command; a right-click on empty space
// clears the selection, and the menu then offers only what does not act on a row (N4), so a
// row hovered a moment earlier is never deleted or printed by mistake.
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
    };

    QTreeWidget *ListView1;
    // The hidden scratch editor: a document that decodes entries without showing them.
    QTextDocument *RichEdit2;
    QMenu *PopupMenu2;

    QAction *See;   // "查看与修改(&S)"
    QAction *Del;   // "删除(&D)"
    QAction *N3;    // "打印所选(&P)"
    QAction *N4;    // "打印纸设置(&A)"
    QAction *UndoDel;   // "撤销删除(&U)": disabled until the main window has a delete to undo

    // Removes every row.
    void clearRows();
    // Adds the rows; the table puts them in caption order (rows of equal captions keep the order
    // given).
    void addRows(const QList<Row> &rows);

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

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createTable();
    void createMenu();
    void selectHovered();
    // Keeps the rows ordered by caption, ascending, whatever happens to them.
    void sortByCaption();

    QTimer m_hoverTimer;
    QPoint m_hoverPos;
};
