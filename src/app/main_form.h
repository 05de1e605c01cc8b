#pragma once

#include "crypto/secret.h"
#include "diary/entry.h"
#include "diary/row_order.h"
#include "lazy_page.h"
#include "platform/background.h"
#include "archive/read_stream.h"
#include "sync/diary_copies.h"

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QTime>
#include <QMainWindow>
#include <QDate>
#include <QScopeGuard>
#include <QSet>

#include <exception>
#include <functional>
#include <memory>
#include <QString>

#include <optional>

class QAction;
class QCloseEvent;
class QFileSystemWatcher;
class QTimer;
class TConflictBar;
class QGroupBox;
class QRadioButton;
class QStackedWidget;
class QThreadPool;
class TArchiveReader;
namespace diary {
class ListingCache;
}
class TArchiveWriter;
class AutoLock;
class AutoSave;
class QLabel;
class TForm2;
class TLoginPanel;
class TPassCipher;
class TAboutForm;
class THelpWindow;
class TListPage;
class TWritePage;
class TNavButton;
class TSkinData;
class TSkinStore;
class TStatsPage;
class THabitSettings;
class QSystemTrayIcon;
namespace reminders {
class DailyReminder;
class DesktopNotifier;
class Notifier;
using ReminderTime = std::optional<QTime>;
}
namespace diary {
struct Listing;
}

// The main window: the navigation column, the page stack (write page, list page, login page),
// the skin choice and the state the pages share.
//
// Layout of the 635 × 448 client area: the navigation buttons NavBtn3, NavBtn4 ("写日记",
// "看日记"), NavBtn8 ("统计"), NavBtn5 … NavBtn7 ("用户登录", "帮助", "关于...") at x = 4,
// y = 6 + 72·k for the k-th of them, 77 × 65 each, a hidden one leaving its place empty; PageControl1 at x = 88, 547 × 448, growing with the window, pages
// TabSheet1 (write), TabSheet2 (list), TabSheet3 (login) in that order, changed only by the
// program. The login page keeps x = 160, y = 47, 225 × 122 free for the login panel and holds
// the skin group GroupBox1 "皮肤设置" (RadioButton1 … RadioButton10, "皮肤一" … "皮肤十").
//
// Every handler runs under guarded(): an error it raises is shown in the standard error box and
// the program goes on. Creating the window runs FormCreate (logged out, the stored skin applied);
// closing it first saves the open entry as leaving the write page does: when that save fails the
// error is shown and the window stays open with the text in the editor. Otherwise FormClose runs
// (the skin index and the window's place written to the settings file) and the window closes.
// The end of the desktop session (commitDataRequest) and the application's end (aboutToQuit)
// save the same way.
class TForm1 : public QMainWindow
{
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    QStackedWidget *PageControl1() const { return m_pageControl; }
    QWidget *TabSheet1() const { return m_writePage; }
    QWidget *TabSheet2() const { return m_listPage; }
    QWidget *TabSheet3() const { return m_loginPage; }
    // NavBtn3 … NavBtn7 by their number, and NavBtn8 "统计".
    TNavButton *NavBtn(int number) const;
    QGroupBox *GroupBox1() const { return m_skinGroup; }
    // RadioButton1 … RadioButton10 by their number.
    QRadioButton *RadioButton(int number) const;
    TSkinStore *SkinStore1() const { return m_skinStore; }
    TSkinData *SkinData1() const { return m_skinData; }
    THelpWindow *helpWindow() const { return m_helpWindow; }

    // The stored skin in use (0 … 9, or whatever the settings file held).
    int skinIndex() const { return m_skinIndex; }
    // The logged-in user's diary archive (the user name); empty until the first login and
    // after the diary has been locked.
    QString diaryPath() const { return m_diaryPath; }
    void setDiaryPath(const QString &path) { m_diaryPath = path; }
    // The key of the logged-in user's private diary, given to every operation on it; null for a
    // diary in the old format and while nobody is logged in. It lives in guarded memory and is
    // wiped when the diary is locked, when another user logs in and when the window closes.
    const DiaryKey *diaryKey() const { return m_diaryKey ? &*m_diaryKey : nullptr; }
    // Locks the diary after a period without input ("autolock=" minutes in the settings
    // file's section "界面设置", 10 when missing, 0 for never; chosen in the user settings
    // dialog's 「自动锁定」).
    AutoLock *autoLock() const { return m_autoLock; }

public slots:
    void FormCreate();
    void NavBtn4Click();
    void NavBtn6Click();
    void NavBtn3Click();
    void NavBtn5Click();
    void TabSheet3Show();
    void NavBtn7Click();
    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton3Click();
    void RadioButton4Click();
    void RadioButton5Click();
    void RadioButton6Click();
    void RadioButton7Click();
    void RadioButton8Click();
    void RadioButton9Click();
    void RadioButton10Click();
    void FormClose();

    // Sizes and places the window inside a screen's available area (in the window's own device
    // independent pixels, so at any scale factor): the designed 635 × 448 when it fits with the
    // window frame, otherwise as much as fits, never below the minimum that keeps every page
    // usable; then centred in the area.
    void fitToScreen(const QRect &available);
    // The smallest client area with every page usable: the whole toolbar and navigation column.
    static QSize minimumClientSize();
    // Gives the window the size, place and state (maximised) it had when it was last closed, as
    // FormClose keeps them in the settings file; nothing when none is kept.
    void restoreWindowPlace();

    // Another copy of the program was started: says so, then brings this window forward.
    void AnotherCopyStarted();

    // Locks the diary: saves the open entry as leaving the write page does (when that fails the
    // error is shown and the diary stays open), then forgets the key, the open entry, the
    // editor's text and the list rows, and shows the login page, logged out.
    void lockDiary();

protected:
    void closeEvent(QCloseEvent *event) override;

    // Saves the open entry when the write page shows it, as leaving the page does. False when
    // that save failed (the error has been shown; the entry and the editor are left as they
    // were): whatever was about to end the session or close the window must not go on.
    bool saveBeforeLeaving();

private:
    // The window's parts, each built in a file of its own and called by the constructor in this
    // order, after the shell's controls exist and before FormCreate runs.
    //   main_form_login.cpp: the login page, the user settings dialog, the login.
    //   main_form_diary.cpp: the write and list pages and the diary operations behind them.
    //   main_form_about.cpp: the About box.
    //   main_form_stats.cpp: the statistics page and its button.
    void setupLogin();
    void setupDiary();
    void setupAbout();
    void setupStats();

    // ---- login page and user settings (main_form_login.cpp) ----
public:
    // The login page's panel with ComboBox1, MaskEdit1, Button1 "登录" and Button2 "管理".
    TLoginPanel *Panel1() const { return m_loginPanel; }
    // 「因长时间未操作，日记已锁定」 above the panel, shown from an auto-lock to the next login.
    QLabel *LockNote() const { return m_lockNote; }
    // The user settings dialog, made once when first used and kept; Button2Click shows it
    // modally.
    TForm2 *Form2() const { return m_userSettings.get(); }
    // The login's cipher (Salt "53").
    TPassCipher *PassCipher1() const { return m_passCipher; }
    // The diary's container objects. While someone is logged in both name the current diary
    // path; the login and the user settings dialog never leave them naming anything else.
    TArchiveReader *ArchiveReader1() const { return m_archiveReader; }
    TArchiveWriter *ArchiveWriter1() const { return m_archiveWriter; }

public slots:
    // A name picked in the drop-down: on to the password.
    void ComboBox1Change();
    // Enter in the password edit: the same as "登录".
    void MaskEdit1KeyPress();
    // "登录": logs in as the picked name when the password is that user's.
    void Button1Click();
    // "管理": the user settings dialog, modally.
    void Button2Click();

private:
    // Runs after every successful login, once the new user is current.
    void afterLogin();
    // The auto-lock's period has passed: the diary is locked (lockDiary) and the login page says
    // why (LockNote) until the next login.
    void lockIdleDiary();
    // The user settings dialog has converted a diary: the logged-in one is locked, since the
    // key (or its absence) no longer fits it.
    void diaryConverted(const QString &name);
    // Reads the auto-lock period from the settings file; the period chosen in the user settings
    // dialog is used at once and stored there.
    void restoreAutoLock();
    void storeAutoLock(int minutes);

    TLoginPanel *m_loginPanel = nullptr;
    LazyPage<TForm2> m_userSettings;
    TPassCipher *m_passCipher = nullptr;
    TArchiveReader *m_archiveReader = nullptr;
    TArchiveWriter *m_archiveWriter = nullptr;
    AutoLock *m_autoLock = nullptr;
    QLabel *m_lockNote = nullptr;
    std::optional<DiaryKey> m_diaryKey;

    // ---- diary operations, write and list pages (main_form_diary.cpp) ----
public:
    // The write page (in TabSheet1) and the list page (in TabSheet2, with its calendar), each
    // made when first used (lazy_page.h); the first access builds it. The list page is built at
    // the latest when its sheet is shown, so a login finds it there to fill.
    TWritePage *WritePage() const { return m_writeForm.get(); }
    // Saves the open entry while it is written (auto_save.h): due() saves it as SaveEntry does
    // while the write page shows, the rewrite on a worker (waitForAutoSave), and the quiet line
    // at the right of the status bar (SaveState, shown with the write page) says 「正在保存…」,
    // then 「已保存 hh:mm」, or the error; an error there is not a box, the typing goes on.
    AutoSave *autoSave() const { return m_autoSave; }
    QLabel *SaveState() const { return m_saveState; }
    // 「找到 N 篇」 at the left of the status bar while the list page shows a search.
    QLabel *FoundCount() const { return m_foundCount; }
    // Keeps a draft of the open entry (drafts/drafts.h) kDraftQuietMilliseconds after typing
    // pauses, and at least every kDraftLongestMilliseconds while it goes on, so that a crash
    // between two saves loses nothing. Every successful save of the entry, and closing, locking
    // or logging out after one, removes its draft; saving an empty body removes it too.
    AutoSave *draftKeeper() const { return m_draftKeeper; }
    // The draft's record is built and sealed on this thread; the file is written (synced and
    // renamed, some 20 ms) by one worker, in order, so that typing does not wait for the disk.
    // Waits until the drafts handed to the worker are on disk (every removal waits the same way).
    void waitForDrafts();
    // An autosave makes the record here and hands the rewrite of the archive (tens of
    // milliseconds in a large diary) to a worker of its own, so that typing goes on meanwhile.
    // Every other save, and whatever reads or rewrites the diary, first waits for it and takes
    // its outcome (the line under the page, the draft removed), so that two rewrites never
    // overlap and nothing reads the diary halfway. A change typed during the save stays
    // pending and is saved again later.
    void waitForAutoSave();
    bool autoSaveRunning() const { return m_autoSaveRun.has_value(); }
    // Runs on the worker just before the rewrite (tests hold the save there).
    void setAutoSaveHook(std::function<void()> hook) { m_autoSaveHook = std::move(hook); }
    static constexpr int kDraftQuietMilliseconds = 1500;
    static constexpr int kDraftLongestMilliseconds = 10000;
    TListPage *ListPage() const { return m_listForm.get(); }

public slots:
    // The save command: SaveEntry.
    void Action1Execute();
    // The focus left the write page: SaveEntry, unless the page change that took it away has
    // saved already or the window is closing (closing has saved it before).
    void TabSheet1Exit();
    // Ctrl+Shift+F: the list page with the diary listed (as 看日记) and the focus in its search.
    void searchDiary();
    // "查看与修改(&S)" and the double click on the table: LoadEntry.
    void SeeExecute();
    void ListView1DblClick();
    // "删除(&D)": DeleteEntry.
    void DelExecute();
    // "撤销删除(&U)": brings the entry deleted last back from the version kept just before the
    // delete, unless the day has an entry again (a warning says so) or another user is logged in.
    void UndoDelExecute();
    // "历史版本(&H)…": the kept versions of the diary (history_dialog.h); the list is filled
    // again when a restore changed the diary.
    void HistoryExecute();
    // "打印所选(&P)": LoadEntry, the print dialog and printing, then the list page again (which
    // saves the entry once more, under its own name). A printing error leaves the write page.
    void N3Click();
    // 「导入…」 (main_form_import.cpp): files chosen, read (progress with cancel), the summary with
    // the choice for days that have an entry and the encoding, then one rewrite of the diary
    // (progress with cancel until the rewrite starts; a cancel writes nothing), a box saying what
    // was done, and the table listed anew.
    void ImportExecute();

private:
    // The entry on the write page: the diary it was opened from and its name as stored (the
    // date label shows that name). Not valid until an entry has been opened completely; while
    // it is not, or when another diary has become the current one, SaveEntry stores nothing.
    struct OpenEntry {
        QString diaryPath;
        QByteArray name;
        bool valid = false;
    };

    // Reads of the current diary off the window's thread (offThread), as diary::findEntry,
    // diary::readEntry and diary::listEntries do them.
    std::optional<QByteArray> findStored(const QByteArray &name, diary::EntryProblem *problem);
    QByteArray readStored(const QByteArray &name, diary::EntryProblem *problem);
    diary::Listing listDiary(diary::ListingCache *cache);

    // The five operations on the current diary. An entry that cannot be read is never opened
    // (a warning names the reason), never written over by a save (EUnreadableEntry; the open
    // entry is then dropped, its text left in the editor) and deleted only after the user has
    // confirmed it; a listing shows it as a row of its own and names it in one notice.
    void FindTodayEntry();
    // Opens the entry of that day on the write page, or a blank one named after the day (as
    // FindTodayEntry does for today). False when the day's entry cannot be read (the warning
    // has been shown) and nothing changed.
    bool openDay(const QDate &day);
    // A day chosen on the write page: the open entry is saved, then the day opened.
    void openDayChosen(const QDate &day);
    // A day clicked in the list page's calendar: its entry opened, or for a day without one,
    // after the user agrees, a blank entry of that day.
    void calendarDayChosen(const QDate &day, bool hasEntry);
    // The open entry's record as the editor holds it, when it is to be stored: nullopt when
    // the entry is not the logged-in diary's, or when its body is empty (its draft then goes).
    std::optional<QByteArray> recordToSave();
    void SaveEntry();
    // False when no row was selected or its entry cannot be read (the warning has been shown).
    bool LoadEntry();
    void ListEntries();
    void DeleteEntry();

    // Makes page the active page; leaving the write page saves the open entry first, and an
    // error in saving keeps the write page.
    void showPage(QWidget *page);
    // Puts an entry into the write page's controls: a record, or a blank entry when record is
    // null. The record has been decoded once already, so this does not fail halfway.
    void openEntry(const QByteArray &name, const QByteArray *record);
    // The selected row when there is one and the table shows the current diary.
    bool selectedRow(QByteArray &name);
    // Rows listed from another user's diary are not shown once another user has logged in.
    void forgetRowsOfOtherDiary();
    // The warning that an entry cannot be opened, with the reason.
    void refuseToOpen(const QByteArray &name, diary::EntryProblem problem);
    // The list's order as main.ini remembers it (the default when it holds none), and storing
    // the order the user chose.
    void restoreListOrder(TListPage *page);
    void storeListOrder(diary::RowOrder order);
    // After the table is filled: one information box naming the rows that cannot be read.
    void noticeUnreadable(const QList<diary::ListRow> &rows);

    // The save that the autosave runs, its outcome shown under the page.
    void autoSaveDue();
    void noteSaved();
    // Writes the open entry's draft; a failure is shown under the page, not in a box.
    void writeDraft();
    // After a login: drafts that cannot be read are put aside (one warning names the folder);
    // each readable one that differs from its entry is offered (draft_dialog.h). A draft equal
    // to its stored entry was saved already and is removed. A restore opens the draft's text
    // on the write page, unsaved, and offers no further draft until the next login.
    void offerDrafts();

    // Build the write page into TabSheet1 and the list page into TabSheet2, with their
    // connections to the window.
    TWritePage *buildWritePage();
    TListPage *buildListPage();

    LazyPage<TWritePage> m_writeForm;
    LazyPage<TListPage> m_listForm;
    AutoSave *m_autoSave = nullptr;
    AutoSave *m_draftKeeper = nullptr;
    QThreadPool *m_draftWriter = nullptr;
    // Removes the open entry's draft once the worker has written what it was given.
    void removeDraft();
    // The autosave under way: the entry it stores, the count of changes when its record was
    // made, and what the worker gives back (the problem of an entry it would not replace, or
    // the error of the rewrite).
    struct AutoSaveOutcome {
        diary::EntryProblem problem = diary::EntryProblem::None;
        std::exception_ptr error;
    };
    struct AutoSaveRun {
        QString diaryPath;
        QByteArray name;
        quint64 changes = 0;
        QFuture<AutoSaveOutcome> outcome;
    };
    QThreadPool *m_autoSaver = nullptr;
    std::optional<AutoSaveRun> m_autoSaveRun;
    std::function<void()> m_autoSaveHook;
    quint64 m_changes = 0;     // changes of the open entry's text, weather or mood so far
    // Takes the finished autosave's outcome; the worker's report and every wait come here.
    void finishAutoSave();
    QLabel *m_saveState = nullptr;
    QLabel *m_foundCount = nullptr;
    void showFoundCount();
    OpenEntry m_openEntry;
    QString m_listedPath;      // the diary the table's rows come from
    // The rows of the last listing, so that coming back to the list decodes only what changed;
    // dropped when another diary becomes the current one.
    std::unique_ptr<diary::ListingCache> m_listingCache;
    bool m_leaveSaved = false; // the page change under way has saved the open entry
    // The delete that "撤销删除" undoes: the diary, the entry and the version kept before it.
    struct DeletedEntry {
        QString diaryPath;
        QByteArray name;
        QString versionPath;
    };
    std::optional<DeletedEntry> m_lastDelete;
    bool m_leaveFailed = false; // "用户登录" could not save the open entry: the page stays

    // ---- About box (main_form_about.cpp) ----
public:
    // The About box, made once when first used and kept; NavBtn7Click shows it modally.
    TAboutForm *AboutForm1() const { return m_aboutForm.get(); }

private:
    LazyPage<TAboutForm> m_aboutForm;

    // ---- statistics (main_form_stats.cpp) ----
public:
    // The statistics page (in TabSheet4), behind NavBtn8 "统计", which is below "关于..." (the
    // five buttons keep their places) and is shown exactly while "看日记" is.
    QWidget *TabSheet4() const { return m_statsSheet; }
    // Made when first used, at the latest when TabSheet4 is shown (lazy_page.h).
    TStatsPage *StatsPage() const { return m_statsForm.get(); }
    static constexpr int kStatsButton = 8;

public slots:
    // "统计": the statistics page with the figures of the current diary.
    void NavBtn8Click();

private:
    // Shows the statistics page with the figures of the rows of the current diary: those of the
    // last listing when it listed this diary and nothing has been saved since, otherwise the
    // rows of a new listing (kept for the next time; the list page's table is not touched).
    void ShowStatistics();
    // Keeps a listing's rows for the statistics page.
    void keepRows(const diary::Listing &listing, const QString &path);
    // Opens the entry of that name (as stored) on the write page, as the list page's open does;
    // false (a warning shown) when it cannot be read.
    bool loadEntryNamed(const QByteArray &name);
    // Builds the statistics page into TabSheet4 with its connections to the window.
    TStatsPage *buildStatsPage();

    QWidget *m_statsSheet = nullptr;
    LazyPage<TStatsPage> m_statsForm;
    TNavButton *m_statsButton = nullptr;
    QList<diary::ListRow> m_keptRows;
    QString m_keptPath;          // the diary the kept rows were listed from
    bool m_keptCurrent = false;  // no entry has been saved since they were listed

    // ---- the diary on every computer: conflict copies, changes that arrive, backups
    //      (main_form_sync.cpp) ----
public:
    // The bar above the list page (conflict_bar.h): after each listing the diary's conflict
    // copies are looked for off the window's thread and, when there are any not put off, the
    // bar says what each holds against the diary.
    TConflictBar *ConflictBar() const { return m_conflictBar; }
    // 「从备份恢复…」 in the list page's 更多 menu, beside 历史版本.
    QAction *FromBackup() const { return m_fromBackup; }
    // Replaces the file dialog that chooses a backup to restore from (tests answer without it).
    using BackupFileChooser = std::function<QString(QWidget *parent, const QString &folder)>;
    void setBackupFileChooser(BackupFileChooser chooser) { m_chooseBackupFile = std::move(chooser); }
    // Waits until the backup handed to the worker is written or has failed (and its outcome,
    // when it reported one, is shown).
    void waitForBackup();

public slots:
    // 「合并」: every copy the bar tells of merged into the diary (syncing::mergeCopies, the
    // same merge as the tool's) off the window's thread, with the diary key of a private diary;
    // then the list is listed again and a box says what was done.
    void MergeCopiesClick();
    // 「以后再说」: the copies shown are not told of again until the next login.
    void LaterCopiesClick();
    // 「从备份恢复…」: a backup file chosen (in the user's backup folder), opened in the history
    // dialog like a version: its entries seen, one or all brought back.
    void FromBackupExecute();

private:
    void setupSync();
    // The list page has been built: the bar above it, 从备份恢复 in its menus.
    void addSyncToListPage(TListPage *page);
    // A listing of the current diary is shown; seen is the file it was read from.
    void listedFromDisk(const FileIdentity &seen);
    void lookForCopies();
    // The diary's folder changed, or the window became active: when the list page shows and the
    // diary on disk is another file than the one listed (a sync brought it), listed again with
    // 「日记已在另一台电脑上更改，列表已更新」. Put off while the window works on the diary.
    void checkDiskChange();
    void watchDiaryFolder();
    // At the login page: conflict copies of the user list merged quietly (names are only added).
    void mergeUserListCopiesQuietly();
    // After a save of the current diary: the day's first backup (or on close, another one when
    // something was saved since) on the backup worker; a failure is shown in the status bar and
    // tried again at the next save.
    void afterSave();
    void backUp(bool again);

    TConflictBar *m_conflictBar = nullptr;
    QAction *m_fromBackup = nullptr;
    QList<syncing::ConflictCopy> m_shownCopies;
    QSet<QString> m_laterCopies;        // put off by 以后再说 until the next login
    FileIdentity m_listedIdentity;      // the file the list was read from
    QString m_identityPath;             // the diary it belongs to
    QFileSystemWatcher *m_diskWatch = nullptr;
    QTimer *m_diskSettle = nullptr;     // a sync writes in several steps: checked once it settles
    bool m_folderChanged = false;       // … and a copy may have arrived
    QThreadPool *m_backupRunner = nullptr;
    QString m_backedUpDiary;            // the diary backed up today …
    QDate m_backedUpDay;                // … and that day
    bool m_savedSinceBackup = false;
    BackupFileChooser m_chooseBackupFile;

    // ---- writing as a habit: templates, the daily reminder, the tray (main_form_habits.cpp) ----
public:
    // A user's daily reminder, made for each user whose reminder time is set (at the start and
    // whenever the user settings dialog changes it); null for a user without one.
    reminders::DailyReminder *dailyReminder(const QString &user) const;
    // What the reminders show through: the desktop's notifications, the tray's message as the
    // fall-back. Tests give a notifier of their own, and a clock, before the reminders are made.
    void setReminderNotifier(reminders::Notifier *notifier);
    void setReminderClock(std::function<QDateTime()> clock);
    // The tray icon with 写今天的日记, 锁定, 退出; null where the desktop has no tray.
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    // Started by the desktop's autostart (--tray): the window stays hidden in the tray; shown
    // at once where there is no tray.
    void startInTray();
    // 写今天的日记 (the tray's, and a click on the reminder): the window shown, today's entry on
    // the write page; while the diary is locked the login page first, today's entry after it.
    void writeToday();

private:
    void setupHabits();
    // Made at most once: the user settings dialog's 模板/提醒 part.
    void attachHabitSettings(TForm2 *dialog);
    void showHabitChoices();
    void editTemplates();
    void chooseReminder(const reminders::ReminderTime &time);
    void chooseAutostart(bool on);
    // The reminders of the users with a time set, made anew.
    void makeReminders();
    void reminderDue(const QString &user, const QDate &day);
    bool userHasEntry(const QString &user, const QDate &day);
    void showTray();
    // Whether closing the window keeps the program in the tray (a reminder is set, a tray shows).
    bool keepsInTray() const;
    // Closing the window: hidden in the tray when keepsInTray() (said once, the first time).
    bool hideInTray();
    // The record a new entry of day starts from: the diary's template with its placeholders
    // filled; empty when none applies or the templates cannot be read.
    QByteArray templateRecord(const QDate &day);
    // The record the entry on the write page was opened with when it came from a template: an
    // entry left as the template made it is not stored.
    bool untouchedTemplate(const QByteArray &record) const;
    // After the login that writeToday() asked for.
    void openTodayAfterLogin();

    QHash<QString, reminders::DailyReminder *> m_reminders;
    std::function<QDateTime()> m_reminderClock;
    reminders::DesktopNotifier *m_desktopNotifier = nullptr;
    reminders::Notifier *m_trayFallback = nullptr;
    reminders::Notifier *m_notifier = nullptr;
    QString m_remindedUser;
    QSystemTrayIcon *m_tray = nullptr;
    THabitSettings *m_habitSettings = nullptr;
    QByteArray m_templateRecord;      // empty: the open entry did not come from a template
    bool m_openTodayAfterLogin = false;
    bool m_quitting = false;          // 退出: closing ends the program even with a tray

    // ---- work off the window's thread (main_form.cpp) ----
    // Runs work (a listing, a read, a save: anything that may wait for the diary's lock or take
    // long in a large diary) on a thread of its own (platform/background.h) while the window
    // keeps painting; the busy cursor shows and the status bar says status meanwhile, and the
    // user's input waits until the work is done. The work must not touch widgets or the
    // window's container objects. What it throws is thrown here.
    template <typename Work>
    auto offThread(const QString &status, Work &&work);
    // The status bar's line while work is under way; the line shown before is given back.
    QString showBusyLine(const QString &status);
    void endBusyLine(const QString &before);
    // A copy of the diary key for work off the window's thread, which a lock of the diary
    // meanwhile cannot wipe under it; null for a diary in the old format.
    std::shared_ptr<const DiaryKey> keyCopy() const;

    // ---- the shell (main_form.cpp) ----
    // A navigation button NavBtn<number> in the column, at place k (y = 6 + 72·k).
    TNavButton *makeNavButton(QWidget *column, int number, int place, const QString &caption,
                              const char *picture);
    void buildControls();
    void buildSkinGroup();
    void connectHandlers();
    // Steps 1 to 3 of creation: the skin index from the settings file, applied and checked.
    void restoreSkin();
    void chooseSkin(int index);
    // The navigation button of the page shown is checked (highlighted), the others not.
    void markCurrentPage();

    QStackedWidget *m_pageControl = nullptr;
    QWidget *m_writePage = nullptr;
    QWidget *m_listPage = nullptr;
    QWidget *m_loginPage = nullptr;
    TNavButton *m_navButtons[5] = {};
    QGroupBox *m_skinGroup = nullptr;
    QRadioButton *m_skinButtons[10] = {};
    TSkinStore *m_skinStore = nullptr;
    TSkinData *m_skinData = nullptr;
    THelpWindow *m_helpWindow = nullptr;

    int m_skinIndex = 0;
    bool m_skinApplied = false;   // the stored skin was found and applied
    bool m_skinRestored = false;  // the constructor has restored the skin; creation need not
    QString m_diaryPath;
};

template <typename Work>
auto TForm1::offThread(const QString &status, Work &&work)
{
    const QString before = showBusyLine(status);
    const auto restore = qScopeGuard([this, &before] { endBusyLine(before); });
    return background::run(std::forward<Work>(work));
}
