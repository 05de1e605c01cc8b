#include "main_form.h"
#include "history_dialog.h"

#include "accounts/user_list.h"
#include "archive/archive_writer.h"
#include "backups/backups.h"
#include "diary/messages.h"
#include "pages/conflict_bar.h"
#include "pages/list_page.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "settings/backup_folder.h"
#include "sync/sync_texts.h"
#include "sync/user_list_copies.h"
#include "texts.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMenu>
#include <QStackedWidget>
#include <QStatusBar>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kLookingForCopies = QStringLiteral("正在查找另一台电脑上的副本…");
const QString kMerging = QStringLiteral("正在合并副本…");
const QString kMerged = QStringLiteral("副本已合并进日记");
const QString kFromBackupCommand = QStringLiteral("从备份恢复(&B)…");
const QString kChooseBackup = QStringLiteral("选择要从中恢复的备份");
const QString kNotABackup = QStringLiteral("“%1”不是完好的日记备份：%2");
const QString kUsersMerged = QStringLiteral("已把另一台电脑上的用户列表合并进来：%1");
const QString kUsersNotMerged = QStringLiteral("另一台电脑上的用户列表没能合并：%1");

// How long the folder must stay still after a change before the diary is looked at: a sync
// program writes a temporary file, then renames it, and may touch the folder again.
constexpr int kSettleMilliseconds = 400;

// The window became active again: whatever arrived meanwhile is looked at.
class ActivationWatch : public QObject
{
public:
    ActivationWatch(std::function<void()> activated, QObject *parent)
        : QObject(parent), m_activated(std::move(activated))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::WindowActivate)
            m_activated();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_activated;
};

QString chooseBackupFile(QWidget *parent, const QString &folder)
{
    return QFileDialog::getOpenFileName(parent, kChooseBackup, folder);
}

} // namespace

void TForm1::setupSync()
{
    m_chooseBackupFile = chooseBackupFile;
    m_diskWatch = new QFileSystemWatcher(this);
    m_diskSettle = new QTimer(this);
    m_diskSettle->setObjectName(QStringLiteral("DiskSettle"));
    m_diskSettle->setSingleShot(true);
    m_diskSettle->setInterval(kSettleMilliseconds);
    connect(m_diskSettle, &QTimer::timeout, this, [this] { guarded([this] { checkDiskChange(); }); });
    const auto settle = [this] { m_diskSettle->start(); };
    connect(m_diskWatch, &QFileSystemWatcher::directoryChanged, this, [this] {
        m_folderChanged = true;
        m_diskSettle->start();
    });
    installEventFilter(new ActivationWatch(settle, this));
    m_backupRunner = new QThreadPool(this);
    m_backupRunner->setMaxThreadCount(1);
}

void TForm1::addSyncToListPage(TListPage *page)
{
    m_conflictBar = new TConflictBar;
    static_cast<QVBoxLayout *>(m_listPage->layout())->insertWidget(0, m_conflictBar);
    connect(m_conflictBar, &TConflictBar::mergeRequested, this,
            [this] { guarded([this] { MergeCopiesClick(); }); });
    connect(m_conflictBar, &TConflictBar::laterRequested, this,
            [this] { guarded([this] { LaterCopiesClick(); }); });

    m_fromBackup = new QAction(kFromBackupCommand, page);
    m_fromBackup->setObjectName(QStringLiteral("FromBackup"));
    for (QMenu *menu : {page->PopupMenu2, page->CommandMenu})
        menu->insertAction(page->ImportCmd, m_fromBackup);
    connect(m_fromBackup, &QAction::triggered, this, [this] { guarded([this] { FromBackupExecute(); }); });
}

// ---- conflict copies ----

void TForm1::listedFromDisk(const FileIdentity &seen)
{
    m_listedIdentity = seen;
    m_identityPath = m_diaryPath;
    watchDiaryFolder();
    lookForCopies();
}

void TForm1::lookForCopies()
{
    if (m_diaryPath.isEmpty() || !m_conflictBar)
        return;
    const QString path = m_diaryPath;
    // Absorbed by design: the listing has been shown, and a copy that cannot be read (or a
    // folder that cannot be searched) is left for the tool, which names why; the others are told of.
    const QList<syncing::CopySummary> found =
        offThread(kLookingForCopies, [path, key = keyCopy(), later = m_laterCopies] {
            QList<syncing::CopySummary> summaries;
            QList<syncing::ConflictCopy> copies;
            try {
                copies = syncing::findDiaryCopies(path);
            } catch (const Exception &) {
            }
            for (const syncing::ConflictCopy &copy : std::as_const(copies)) {
                if (later.contains(copy.path))
                    continue;
                try {
                    summaries.append(syncing::summarizeCopy(path, copy, key.get()));
                } catch (const Exception &) {
                }
            }
            return summaries;
        });
    if (m_diaryPath != path)
        return;
    m_shownCopies.clear();
    QStringList notices;
    for (const syncing::CopySummary &summary : found) {
        m_shownCopies.append(summary.copy);
        notices.append(sync_text::copyNotice(summary));
    }
    m_conflictBar->setNotice(notices.join(u'\n'));
}

void TForm1::MergeCopiesClick()
{
    waitForAutoSave();
    if (m_diaryPath.isEmpty() || m_shownCopies.isEmpty())
        return;
    const QString path = m_diaryPath;
    // The diary's own header is kept: it is the one the password of this login opened.
    const syncing::MergeReport report =
        offThread(kMerging, [path, copies = m_shownCopies, key = keyCopy()] {
            return syncing::mergeCopies(syncing::MergeRequest{path, copies, key.get(), {}});
        });
    m_shownCopies.clear();
    m_conflictBar->setNotice({});
    guarded([this] { ListEntries(); });
    statusBar()->showMessage(kMerged);
    msgbox::show(this, QMessageBox::Information, diary_text::caption(), sync_text::mergeReportText(report));
}

void TForm1::LaterCopiesClick()
{
    for (const syncing::ConflictCopy &copy : std::as_const(m_shownCopies))
        m_laterCopies.insert(copy.path);
    m_shownCopies.clear();
    m_conflictBar->setNotice({});
}

void TForm1::mergeUserListCopiesQuietly()
{
    // Only names are added, none is dropped or changed: nothing to ask. The folder's names are
    // looked at here first, so that the window (made logged out on this page) waits for no
    // worker unless a copy is there.
    const QStringList names = QDir::current().entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (std::none_of(names.begin(), names.end(), [](const QString &name) {
            const std::optional<syncing::ConflictName> parsed = syncing::parseConflictName(name);
            return parsed && parsed->original == kUserListFileName;
        }))
        return;
    QStringList added;
    try {
        added = offThread(kMerging, [] {
            if (syncing::findUserListCopies(kUserListFileName).isEmpty())
                return QStringList();
            return syncing::mergeUserListCopies(kUserListFileName).added;
        });
    } catch (const Exception &error) {
        // Absorbed by design: the copies stay and are merged at the next visit of the page.
        statusBar()->showMessage(kUsersNotMerged.arg(error.message()));
        return;
    }
    if (!added.isEmpty())
        statusBar()->showMessage(kUsersMerged.arg(added.join(QStringLiteral("、"))));
}

// ---- the diary changed on disk ----

void TForm1::watchDiaryFolder()
{
    const QString folder = QFileInfo(QFileInfo(m_diaryPath).absoluteFilePath()).absolutePath();
    const QStringList watched = m_diskWatch->directories() + m_diskWatch->files();
    if (!watched.isEmpty() && watched != QStringList{folder})
        m_diskWatch->removePaths(watched);
    if (!m_diskWatch->directories().contains(folder))
        m_diskWatch->addPath(folder);
}

void TForm1::checkDiskChange()
{
    if (m_diaryPath.isEmpty() || m_identityPath != m_diaryPath
        || m_pageControl->currentWidget() != m_listPage || !isVisible())
        return;
    // Never in the middle of the window's own work on the diary (a save, a merge, a restore in a
    // dialog): that work lists the diary again itself when it is done; this looks once more later.
    if (background::waiting() || autoSaveRunning() || QApplication::activeModalWidget()) {
        m_diskSettle->start();
        return;
    }
    if (syncing::identityOnDisk(m_diaryPath) == m_listedIdentity) {
        // A copy may have arrived beside an unchanged diary.
        if (std::exchange(m_folderChanged, false))
            lookForCopies();
        return;
    }
    m_folderChanged = false;
    ListEntries();
    statusBar()->showMessage(sync_text::kChangedElsewhere);
}

// ---- backups ----

void TForm1::afterSave()
{
    // The window's own save: the list (when it shows) is what is on disk, plus this entry.
    if (m_identityPath == m_diaryPath)
        m_listedIdentity = syncing::identityOnDisk(m_diaryPath);
    m_savedSinceBackup = true;
    if (m_backedUpDiary != m_diaryPath || m_backedUpDay != backups::today())
        backUp(false);
}

void TForm1::backUp(bool again)
{
    if (m_diaryPath.isEmpty() || !m_savedSinceBackup)
        return;
    const QString folder = settings::backupFolder(m_diaryPath);
    if (folder.isEmpty())
        return;
    const QString diary = m_diaryPath;
    m_savedSinceBackup = false;
    m_backupRunner->start([this, diary, folder, again] {
        // The day's first save backs up when no backup of today is there; closing makes another.
        if (!again && !backups::dueToday(diary, folder)) {
            QMetaObject::invokeMethod(this, [this, diary] {
                m_backedUpDiary = diary;
                m_backedUpDay = backups::today();
            }, Qt::QueuedConnection);
            return;
        }
        const backups::Outcome outcome = backups::backUp(diary, folder);
        QMetaObject::invokeMethod(this, [this, diary, outcome] {
            if (outcome.ok()) {
                m_backedUpDiary = diary;
                m_backedUpDay = backups::today();
            } else {
                // Quietly: tried again at the next save.
                m_savedSinceBackup = true;
            }
            statusBar()->showMessage(backups::outcomeText(outcome), outcome.ok() ? 5000 : 0);
        }, Qt::QueuedConnection);
    });
}

void TForm1::waitForBackup()
{
    if (m_backupRunner)
        m_backupRunner->waitForDone();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void TForm1::FromBackupExecute()
{
    waitForAutoSave();
    if (m_diaryPath.isEmpty() || m_archiveWriter->ZipName() != m_diaryPath)
        return;
    const QString folder = settings::backupFolder(m_diaryPath);
    const QString path = m_chooseBackupFile(this, folder.isEmpty() ? QDir::currentPath() : folder);
    if (path.isEmpty())
        return;
    const QString damage = offThread(app::text::openingDiary(), [path] { return backups::verify(path); });
    if (!damage.isEmpty()) {
        msgbox::showWarning(this, kNotABackup.arg(QDir::toNativeSeparators(path), damage));
        return;
    }
    THistoryDialog history(*m_archiveWriter, diaryKey(), this);
    history.openBackup(path);
    history.exec();
    if (history.changed())
        ListEntries();
}
