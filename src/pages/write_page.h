#pragma once

#include "pages/font_dialog.h"

#include <QDate>
#include <QPrinter>
#include <QWidget>
#include <functional>
#include <memory>

class QAction;
class QDateEdit;
class QFrame;
class QLabel;
class QMenu;
class QTextEdit;
class QToolBar;
class FindBar;
class TImageComboBox;
class TTagHighlighter;

// The write page: the open entry's date, its weather and mood choices and its body in a rich
// text editor, with a toolbar and a context menu of editing, formatting and printing commands.
//
// The page keeps the entry only in its controls: Label3 holds the entry name, dBox1 and dBox2
// the weather and mood items, RichEdit1 the body. Loading and saving entries is the main
// window's work; the page asks for it through its signals.
//
// Commands are QAction members named as the program's commands. Their shortcuts act while the
// keyboard focus is on the page. F10 takes the keyboard to the toolbar: the arrow keys go from
// button to button, Space or Enter runs its command on the text field that had the focus, Esc
// goes back to the editor. Their enabled and checked states are brought up to date each
// time the program is idle (UpdateCommands()). The editing commands act on whichever text field
// has the focus; the formatting commands only on a focused rich text editor.
//
// Any day: DatePicker (a date edit with a calendar popup, beside the date label) shows the open
// entry's date; choosing another day in it, from the calendar or by typing a date and Enter,
// asks the window to open that day (dayChosen).
//
// Search: with a search text set (setSearchText), its matches in the body are highlighted
// (diary::findMatches), and FindNext (F3) and FindPrevious (Shift+F3) select the next and the
// previous one from the cursor, round the end. Find (Ctrl+F) opens the find bar at the foot of
// the page (FindInEntry), which sets the search text as it is typed; Enter and Shift+Enter go to
// the next and the previous place, Esc closes the bar and takes the highlight away. Finding
// never changes the entry.
//
// Every slot runs under guarded(): an error it raises is shown in the standard error box and
// the page stays as it is.
class TWritePage : public QWidget
{
    Q_OBJECT

public:
    explicit TWritePage(QWidget *parent = nullptr);
    ~TWritePage() override;

    QSize sizeHint() const override;

    // Controls.
    QLabel *Label3;           // the date label: the entry name
    QLabel *Label1;           // "天气："
    QLabel *Label2;           // "情感："
    TImageComboBox *dBox1;    // weather
    TImageComboBox *dBox2;    // mood
    QLabel *Image1;           // the ornament strip
    QFrame *Panel1;           // the toolbar panel
    QToolBar *ToolBar1;
    QTextEdit *RichEdit1;     // the body
    QMenu *PopupMenu1;        // the editor's context menu
    QDateEdit *DatePicker;    // the open entry's day; another day chosen opens that day
    FindBar *FindInEntry;     // hidden until Find
    // The open day's lunar date (农历甲辰年正月初一), small, after the date picker where the page
    // is wide enough; always the date label's tooltip.
    QLabel *LunarDate;
    // The body's tags (#旅行) in a soft colour as they are typed; display only.
    TTagHighlighter *TagHighlighter;

    // Commands.
    QAction *Action1;                // save: emits saveRequested()
    QAction *EditUndo1;
    QAction *EditCut1;
    QAction *EditCopy1;
    QAction *EditPaste1;
    QAction *EditSelectAll1;
    QAction *EditDelete1;
    QAction *RichEditAlignLeft1;
    QAction *RichEditAlignCenter1;
    QAction *RichEditAlignRight1;
    QAction *RichEditBold1;
    QAction *RichEditItalic1;
    QAction *RichEditUnderline1;
    QAction *RichEditStrikeOut1;
    QAction *RichEditBullets1;
    QAction *RichEditFont;
    QAction *FontAdd;
    QAction *FontDec;
    QAction *Print;
    QAction *PrintSet;
    QAction *FindNext;               // F3
    QAction *FindPrevious;           // Shift+F3
    QAction *Find;                   // Ctrl+F: the find bar
    QAction *ToolbarFocus;           // F10: the keyboard to the toolbar

    // Empties the editor for a new entry written from the editor's default format: no character,
    // paragraph or list format of the entry shown before is carried over (the editor keeps the
    // format at the cursor when it is cleared, and that entry may be another user's).
    void startBlank();

    // Shows the day in the date picker (announcing nothing); an invalid date empties it.
    void setShownDate(const QDate &date);
    // Highlights the text's matches in the body; an empty text removes the highlight.
    void setSearchText(const QString &text);
    QString searchText() const { return m_searchText; }
    // The ranges highlighted, as document positions [first, second).
    QList<QPair<int, int>> searchMatches() const;

    // The font dialog and its font: the editor's default font once the font command has run,
    // "MS Sans Serif" 8 points before; the heading of a printout is made from it.
    FontDialog FontDialog1;

    // The printer every print goes to; the printer setup command changes it for later prints.
    // Made when it is first needed: asking the system for its printers takes a noticeable part
    // of a start-up that may never print.
    QPrinter &printer();

    // Prints the open entry under its heading (date, weather, mood) in red. With printer null
    // the print dialog is shown first (cancel prints nothing) and the page's printer is used;
    // otherwise the entry goes straight to the given printer. The heading goes onto a copy of the
    // entry: the editor is never changed. Throws EPrinter when the printer cannot print.
    void PrintOpenEntry(QPrinter *printerOrNullForDialog);

    // Brings the commands' enabled and checked states up to date; runs whenever the program is
    // idle.
    void UpdateCommands();

public slots:
    void RichEditFontExecute();
    void FontAddExecute();
    void FontDecExecute();
    void dBox2Click();
    void PrintExecute();
    void PrintSetExecute();

signals:
    // The save command: store the open entry.
    void saveRequested();
    // The keyboard focus moved from the page's controls to a control of the same window outside
    // the page (or the page was hidden with the focus in it): the open entry is to be saved.
    void focusLeftPage();
    // Another day than the open entry's was chosen in the date picker.
    void dayChosen(const QDate &date);
    // The open entry went to the printer (a print cancelled in its dialog is none).
    void printed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void createControls();
    void createCommands();
    void createToolbar();
    void createContextMenu();
    QAction *command(const char *name, const QString &caption, const QString &hint,
                     const char *icon, const QKeySequence &shortcut = {});
    void onTriggered(QAction *action, std::function<void()> handler);
    void layOut();
    // LunarDate after the picker where the weather leaves it room.
    void layOutLunarDate(int shift);
    void openFindBar();
    void reachToolbar();
    void makeToolbarReachable();
    void closeFindBar();
    void focusChanged(QWidget *old, QWidget *now);
    bool contains(const QWidget *widget) const;
    bool runPrintDialog(QPrinter &printer);
    bool clipboardHasText();
    void highlightMatches();
    void moveToMatch(bool forward);
    void pickerChosen();
    void keepSelectionVisible();
    void hookCalendar();

    std::unique_ptr<QPrinter> m_printer;
    QString m_searchText;
    QList<QPair<int, int>> m_matches;
    QDate m_shownDay;
    QMetaObject::Connection m_highlightConnection;
    int m_clipboardHasText = -1;
    bool m_calendarHooked = false;
    bool m_focusParked = false;    // the focus went from the page to no control at all   // -1: not looked at since the clipboard last changed
};
