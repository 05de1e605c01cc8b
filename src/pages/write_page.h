#pragma once

#include "pages/font_dialog.h"

#include <QPrinter>
#include <QWidget>
#include <functional>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QTextEdit;
class QToolBar;
class TImageComboBox;

// The write page: the open entry's date, its weather and mood choices and its body in a rich
// text editor, with a toolbar and a context menu of editing, formatting and printing commands.
//
// The page keeps the entry only in its controls: Label3 holds the entry name, dBox1 and dBox2
// the weather and mood items, RichEdit1 the body. Loading and saving entries is the main
// window's work; the page asks for it through its signals.
//
// Commands are QAction members named as the program's commands. Their shortcuts act while the
// keyboard focus is on the page. Their enabled and checked states are brought up to date each
// time the program is idle (UpdateCommands()). The editing commands act on whichever text field
// has the focus; the formatting commands only on a focused rich text editor.
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

    // The font dialog and its font: the editor's default font once the font command has run,
    // "MS Sans Serif" 8 points before; the heading of a printout is made from it.
    FontDialog FontDialog1;

    // The printer every print goes to; the printer setup command changes it for later prints.
    QPrinter &printer() { return m_printer; }

    // Prints the open entry under its heading (date, weather, mood) in red. With printer null
    // the print dialog is shown first (cancel prints nothing) and the page's printer is used;
    // otherwise the entry goes straight to the given printer. The heading lines are taken out of
    // the editor again whatever happens. Throws EPrinter when the printer cannot print.
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
    void changeDefaultFontSize(qreal points);
    void focusChanged(QWidget *old, QWidget *now);
    bool contains(const QWidget *widget) const;
    bool runPrintDialog(QPrinter &printer);
    bool clipboardHasText();
    void keepSelectionVisible();

    QPrinter m_printer{QPrinter::HighResolution};
    int m_clipboardHasText = -1;
    bool m_focusParked = false;    // the focus went from the page to no control at all   // -1: not looked at since the clipboard last changed
};
