#include "main_form.h"
#include "auto_save.h"
#include "draft_dialog.h"
#include "history_dialog.h"

#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "diary/entry_restore.h"
#include "diary/messages.h"
#include "diary/row_order.h"
#include "archive/archive_reader.h"
#include "crypto/private_format.h"
#include "drafts/drafts.h"
#include "archive/zip_crypto.h"
#include "pages/diary_calendar.h"
#include "pages/export_dialog.h"
#include "pages/list_page.h"
#include "pages/page_errors.h"
#include "pages/write_page.h"
#include "platform/gbk.h"
#include "platform/message_box.h"
#include "settings/ini.h"
#include "texts.h"
#include "versions/kept_versions.h"
#include "widgets/image_combo_box.h"
#include "widgets/nav_button.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QPromise>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QThreadPool>
#include <QTime>
#include <QSessionManager>
#include <QShortcut>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cstring>

void TForm1::setupDiary()
{
    auto *sheet = new QVBoxLayout(m_writePage);
    sheet->setContentsMargins(0, 0, 0, 0);
    m_writeForm.setMaker([this] { return buildWritePage(); });
    auto *listSheet = new QVBoxLayout(m_listPage);
    listSheet->setContentsMargins(0, 0, 0, 0);
    m_listForm.setMaker([this] { return buildListPage(); });
    m_listingCache = std::make_unique<diary::ListingCache>();

    m_saveState = new QLabel;
    m_saveState->setObjectName(QStringLiteral("SaveState"));
    m_saveState->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_saveState->setEnabled(false);   // drawn greyed: a quiet line, not a message
    statusBar()->addPermanentWidget(m_saveState);
    m_foundCount = new QLabel;
    m_foundCount->setObjectName(QStringLiteral("FoundCount"));
    m_foundCount->hide();
    statusBar()->addWidget(m_foundCount);
    m_autoSave = new AutoSave(this);
    connect(m_autoSave, &AutoSave::due, this, [this] { autoSaveDue(); });
    m_draftKeeper = new AutoSave(kDraftQuietMilliseconds, kDraftLongestMilliseconds, this);
    m_draftWriter = new QThreadPool(this);
    m_draftWriter->setMaxThreadCount(1);   // one after another: the newest draft is written last
    connect(m_draftKeeper, &AutoSave::due, this, [this] { writeDraft(); });
    m_autoSaver = new QThreadPool(this);
    m_autoSaver->setMaxThreadCount(1);

    // "用户登录" changes the page in a handler of the shell; connected before it, this saves the
    // open entry first when the write page is being left.
    connect(NavBtn(5), &TNavButton::clicked, this, [this] {
        if (m_pageControl->currentWidget() != m_writePage)
            return;
        m_leaveSaved = true;
        m_leaveFailed = !guarded([this] { SaveEntry(); });
    });
    // The session ends or the program is told to quit: no window close comes first then.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        if (!saveBeforeLeaving() && manager.allowsInteraction())
            manager.cancel();
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { saveBeforeLeaving(); });
    // Ctrl+Shift+F: the search of the whole diary on the list page, from any page (Ctrl+F finds in
    // the open entry on the write page, and goes to the search field on the list page).
    auto *searchShortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), this);
    searchShortcut->setObjectName(QStringLiteral("SearchDiaryShortcut"));
    connect(searchShortcut, &QShortcut::activated, this, [this] { guarded([this] { searchDiary(); }); });

    connect(m_pageControl, &QStackedWidget::currentChanged, this, [this] {
        m_leaveSaved = false;
        // The login shows the list page before it makes the new user current.
        if (m_pageControl->currentWidget() == m_listPage) {
            // However the sheet came forward, the page it holds is there while it shows.
            m_listForm.get();
            const auto forget = [this] { guarded([this] { forgetRowsOfOtherDiary(); }); };
            QMetaObject::invokeMethod(this, forget, Qt::QueuedConnection);
        }
    });
}

TListPage *TForm1::buildListPage()
{
    auto *page = new TListPage;
    static_cast<QVBoxLayout *>(m_listPage->layout())->addWidget(page);
    // A sheet on screen would lay the page out and show it only after the next events; it is
    // wanted now.
    if (m_listPage->isVisible()) {
        m_listPage->layout()->activate();
        page->show();
    }
    // The undo is offered exactly while there is a delete to undo.
    page->UndoDel->setEnabled(m_lastDelete.has_value());

    const auto handle = [this](auto *sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    connect(page->Calendar, &TDiaryCalendar::dayChosen, this, [this](const QDate &day, bool has) {
        guarded([this, day, has] { calendarDayChosen(day, has); });
    });
    handle(page->See, &QAction::triggered, &TForm1::SeeExecute);
    handle(page, &TListPage::ListView1DblClick, &TForm1::ListView1DblClick);
    handle(page->Del, &QAction::triggered, &TForm1::DelExecute);
    handle(page->N3, &QAction::triggered, &TForm1::N3Click);
    handle(page->UndoDel, &QAction::triggered, &TForm1::UndoDelExecute);
    handle(page->ImportCmd, &QAction::triggered, &TForm1::ImportExecute);
    handle(page->History, &QAction::triggered, &TForm1::HistoryExecute);
    connect(page->N4, &QAction::triggered, this,
            [this] { guarded([this] { m_writeForm->PrintSetExecute(); }); });
    // Export reads the diary as stored: the list page shows once the open entry has been saved.
    // The window's events run between entries, and the auto-lock may lock the diary meanwhile:
    // the export has a reader and a copy of the key of its own, which the lock cannot take away
    // under it.
    const auto exportRows = [this](bool onSelection) {
        if (m_diaryPath.isEmpty())
            return;
        QList<QByteArray> selected;
        if (m_listForm->hasSelection())
            selected.append(m_listForm->selectedRow().key);
        std::optional<DiaryKey> key;
        if (const DiaryKey *current = diaryKey()) {
            key = DiaryKey::zeroed();
            std::memcpy(key->data(), current->data(), private_format::kKeySize);
        }
        TArchiveReader reader;
        reader.SetZipName(m_diaryPath);
        exportDiaryCommand(this, reader, key ? &*key : nullptr, QFileInfo(m_diaryPath).fileName(),
                           selected, onSelection);
    };
    connect(page->ExportButton, &QPushButton::clicked, this,
            [exportRows] { guarded([&] { exportRows(false); }); });
    connect(page->ExportSelected, &QAction::triggered, this,
            [exportRows] { guarded([&] { exportRows(true); }); });
    connect(page, &TListPage::foundChanged, this, [this] { showFoundCount(); });
    guarded([this, page] { restoreListOrder(page); });
    addSyncToListPage(page);
    connect(page, &TListPage::orderChanged, this,
            [this](diary::RowOrder order) { guarded([this, order] { storeListOrder(order); }); });

    return page;
}

TWritePage *TForm1::buildWritePage()
{
    auto *page = new TWritePage;
    auto *sheet = static_cast<QVBoxLayout *>(m_writePage->layout());
    sheet->insertWidget(0, page);
    // A sheet on screen shows a control added to it only once the events are next processed;
    // the page is wanted now.
    if (m_writePage->isVisible())
        page->show();

    // Loading an entry is no change: the open entry is valid only once it is loaded.
    const auto noteChange = [this] {
        if (m_openEntry.valid) {
            ++m_changes;
            m_autoSave->changed();
            m_draftKeeper->changed();
        }
    };
    connect(page->RichEdit1->document(), &QTextDocument::contentsChanged, this, noteChange);
    connect(page->dBox1, &QComboBox::currentIndexChanged, this, noteChange);
    connect(page->dBox2, &QComboBox::currentIndexChanged, this, noteChange);

    const auto handle = [this](auto *sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    handle(page, &TWritePage::saveRequested, &TForm1::Action1Execute);
    handle(page, &TWritePage::focusLeftPage, &TForm1::TabSheet1Exit);
    connect(page, &TWritePage::printed, this, [this] {
        m_saveState->setText(QStringLiteral("已打印 %1").arg(QTime::currentTime().toString(QStringLiteral("hh:mm"))));
    });
    connect(page, &TWritePage::dayChosen, this,
            [this](const QDate &day) { guarded([this, day] { openDayChosen(day); }); });
    return page;
}

void TForm1::NavBtn3Click()
{
    FindTodayEntry();
}

void TForm1::NavBtn4Click()
{
    ListEntries();
}

void TForm1::searchDiary()
{
    if (m_diaryPath.isEmpty())
        return;
    // From another page the list is brought up to date as 看日记 does (the open entry saved).
    if (m_pageControl->currentWidget() != m_listPage)
        ListEntries();
    m_listForm->SearchEdit->setFocus(Qt::ShortcutFocusReason);
    m_listForm->SearchEdit->selectAll();
}

void TForm1::Action1Execute()
{
    SaveEntry();
}

void TForm1::TabSheet1Exit()
{
    if (m_leaveSaved || !isVisible())
        return;
    SaveEntry();
}

void TForm1::SeeExecute()
{
    LoadEntry();
}

void TForm1::ListView1DblClick()
{
    LoadEntry();
}

void TForm1::DelExecute()
{
    DeleteEntry();
}

void TForm1::N3Click()
{
    if (!LoadEntry())
        return;
    m_writeForm->PrintOpenEntry(nullptr);
    showPage(m_listPage);
}

bool TForm1::saveBeforeLeaving()
{
    // Leaving the write page has saved the entry already; on any other page there is nothing new.
    if (m_pageControl->currentWidget() != m_writePage)
        return true;
    return guarded([this] { SaveEntry(); });
}

void TForm1::showPage(QWidget *page)
{
    if (m_pageControl->currentWidget() == page)
        return;
    // The page is built before its sheet comes forward, so that it shows complete at once.
    if (page == m_writePage)
        m_writeForm.get();
    else if (page == m_listPage)
        m_listForm.get();
    else if (page == m_statsSheet)
        m_statsForm.get();
    if (m_pageControl->currentWidget() == m_writePage)
        SaveEntry();
    m_leaveSaved = true;
    const auto reset = qScopeGuard([this] { m_leaveSaved = false; });
    m_pageControl->setCurrentWidget(page);
}

void TForm1::openEntry(const QByteArray &name, const QByteArray *record)
{
    m_openEntry = {};
    m_templateRecord.clear();
    m_draftKeeper->cancel();
    // The highlight of an entry opened from a search goes before another entry is loaded.
    m_writeForm->setSearchText(QString());
    m_writeForm->Label3->setText(gbk::decode(name));
    if (record) {
        const diary::EntryIndices indices =
            diary::loadRecord(*record, *m_writeForm->RichEdit1->document());
        m_writeForm->dBox1->setCurrentIndex(indices.weather);
        m_writeForm->dBox2->setCurrentIndex(indices.mood);
    } else {
        m_writeForm->dBox1->setCurrentIndex(0);
        m_writeForm->dBox2->setCurrentIndex(0);
        m_writeForm->startBlank();
    }
    m_openEntry = {m_diaryPath, name, true};
    m_writeForm->setShownDate(diary::dateOfName(gbk::decode(name)));
}

void TForm1::FindTodayEntry()
{
    // One date for the whole search: a name computed again after midnight could miss the
    // entry that exists and open a blank one in its place.
    openDay(diary::today());
}

void TForm1::openDayChosen(const QDate &day)
{
    // The entry open now is stored first, under its own name, as when leaving the page; if that
    // fails, or the day cannot be opened, it stays open and the picker shows its day again.
    m_writeForm->setShownDate(diary::dateOfName(gbk::decode(m_openEntry.name)));
    SaveEntry();
    openDay(day);
}

void TForm1::calendarDayChosen(const QDate &day, bool hasEntry)
{
    forgetRowsOfOtherDiary();
    if (!hasEntry) {
        const QString question = diary_text::writeForDay(diary::entryName(day));
        if (msgbox::show(this, QMessageBox::Question, diary_text::caption(), question,
                         QMessageBox::Yes | QMessageBox::No)
            != QMessageBox::Yes)
            return;
    }
    openDay(day);
}

bool TForm1::openDay(const QDate &day)
{
    waitForAutoSave();
    const QByteArray name = gbk::encode(diary::entryName(day));
    diary::EntryProblem problem = diary::EntryProblem::None;
    const std::optional<QByteArray> record = findStored(name, &problem);
    // The day's entry is there but cannot be read: no blank entry of that day is opened in its
    // place, which a save would then write over it.
    if (record && problem != diary::EntryProblem::None) {
        refuseToOpen(name, problem);
        return false;
    }
    // Decoded in the scratch document first: a record that cannot be read changes nothing.
    if (record)
        diary::loadRecord(*record, *m_listForm->RichEdit2);
    // A new day starts from the diary's template; an entry already written never does.
    const QByteArray fromTemplate = record ? QByteArray() : templateRecord(day);
    showPage(m_writePage);
    openEntry(name, record ? &*record : (fromTemplate.isEmpty() ? nullptr : &fromTemplate));
    if (!fromTemplate.isEmpty())
        m_templateRecord = diary::makeRecord(*m_writeForm->RichEdit1->document(), m_writeForm->dBox1->currentIndex(),
                                             m_writeForm->dBox2->currentIndex());
    return true;
}

std::optional<QByteArray> TForm1::recordToSave()
{
    // Only into the diary the entry was opened from, and only while that is the logged-in
    // user's diary: no other user's entry and no half-loaded one is ever stored.
    if (!m_openEntry.valid || m_openEntry.diaryPath.isEmpty()
        || m_openEntry.diaryPath != m_diaryPath || m_archiveWriter->ZipName() != m_diaryPath)
        return std::nullopt;
    // An emptied body is not stored; the user left it empty, so its draft has served.
    QTextDocument *body = m_writeForm->RichEdit1->document();
    if (body->isEmpty()) {
        m_draftKeeper->cancel();
        removeDraft();
        return std::nullopt;
    }
    QByteArray record = diary::makeRecord(*body, m_writeForm->dBox1->currentIndex(), m_writeForm->dBox2->currentIndex());
    // A template left as it came is no entry yet.
    if (untouchedTemplate(record)) {
        m_draftKeeper->cancel();
        removeDraft();
        return std::nullopt;
    }
    return record;
}

void TForm1::SaveEntry()
{
    waitForAutoSave();
    const std::optional<QByteArray> record = recordToSave();
    if (!record)
        return;
    const diary::EntryProblem problem = offThread(
        app::text::savingEntry(), [path = m_diaryPath, name = m_openEntry.name, key = keyCopy(), &record] {
            TArchiveWriter writer;
            writer.SetKeepVersions(true);
            writer.SetZipName(path);
            return diary::storeEntry(writer, name, *record, key.get());
        });
    m_keptCurrent = false;
    if (problem != diary::EntryProblem::None) {
        // Another program has put an entry of this name there that cannot be read. It stays;
        // the text stays in the editor, and leaving the page does not try again.
        m_openEntry.valid = false;
        m_autoSave->cancel();
        throw EUnreadableEntry(diary_text::cannotReplace(gbk::decode(m_openEntry.name),
                                                         diary::problemReason(problem)));
    }
    noteSaved();
}

void TForm1::noteSaved()
{
    m_autoSave->saved();
    // The entry is stored: its draft is no longer needed. One that cannot be removed is offered
    // at the next login, where a draft equal to its entry is removed without a question.
    m_draftKeeper->cancel();
    removeDraft();
    m_saveState->setText(QStringLiteral("已保存 %1").arg(QTime::currentTime().toString(QStringLiteral("hh:mm"))));
    afterSave();
}

void TForm1::autoSaveDue()
{
    if (m_pageControl->currentWidget() != m_writePage)
        return;
    // The window is waiting for other work on the diary: the save comes a little later.
    if (background::waiting()) {
        m_autoSave->changed();
        return;
    }
    waitForAutoSave();
    // Made here, where the document is; the worker gets bytes, the path and a copy of the key,
    // which a lock of the diary meanwhile cannot wipe under it (the lock waits for the save).
    const std::optional<QByteArray> made = recordToSave();
    if (!made)
        return;
    const QByteArray record = *made;
    m_saveState->setText(app::text::savingEntry());
    const QString path = m_diaryPath;
    const QByteArray name = m_openEntry.name;
    const std::shared_ptr<const DiaryKey> key = keyCopy();
    auto promise = std::make_shared<QPromise<AutoSaveOutcome>>();
    m_autoSaveRun = AutoSaveRun{path, name, m_changes, promise->future()};
    m_keptCurrent = false;
    promise->start();
    const std::function<void()> hook = m_autoSaveHook;
    m_autoSaver->start([this, promise, key, path, name, record, hook] {
        AutoSaveOutcome outcome;
        // Every error is handed over whole: the window shows it as a save on this thread would.
        try {
            if (hook)
                hook();
            // A writer of its own, keeping versions as the window's does; the window's is not
            // touched off its thread.
            TArchiveWriter writer;
            writer.SetKeepVersions(true);
            writer.SetZipName(path);
            outcome.problem = diary::storeEntry(writer, name, record, key.get());
        } catch (...) {
            outcome.error = std::current_exception();
        }
        promise->addResult(outcome);
        promise->finish();
        // A wait may have taken this outcome already and another save be running: that one
        // reports when it is done, the window's thread does not wait for it here.
        QMetaObject::invokeMethod(this, [this] {
            if (m_autoSaveRun && m_autoSaveRun->outcome.isFinished())
                guarded([this] { finishAutoSave(); });
        }, Qt::QueuedConnection);
    });
}

void TForm1::waitForAutoSave()
{
    finishAutoSave();
}

void TForm1::finishAutoSave()
{
    if (!m_autoSaveRun)
        return;
    if (!m_autoSaveRun->outcome.isFinished()) {
        offThread(app::text::savingEntry(),
                  [outcome = m_autoSaveRun->outcome]() mutable { outcome.waitForFinished(); });
        // The worker's report has taken the outcome meanwhile.
        if (!m_autoSaveRun)
            return;
    }
    const AutoSaveRun run = *std::exchange(m_autoSaveRun, std::nullopt);
    const AutoSaveOutcome outcome = run.outcome.result();
    const bool sameEntry = m_openEntry.valid && m_openEntry.diaryPath == run.diaryPath
                           && m_openEntry.name == run.name;
    // Absorbed by design: a box in the middle of typing would take the keys; the line under the
    // page shows the error, the text stays, and the next change, page switch or close tries again.
    if (outcome.error) {
        try {
            std::rethrow_exception(outcome.error);
        } catch (const Exception &error) {
            m_saveState->setText(msgbox::errorBoxText(error.message()));
            return;
        }
    }
    if (outcome.problem != diary::EntryProblem::None) {
        // As SaveEntry: the unreadable entry stays and the open one is dropped, its text kept.
        if (sameEntry) {
            m_openEntry.valid = false;
            m_autoSave->cancel();
        }
        m_saveState->setText(msgbox::errorBoxText(diary_text::cannotReplace(
            gbk::decode(run.name), diary::problemReason(outcome.problem))));
        return;
    }
    // Typed on during the save: that text is not stored yet, stays pending, and its draft stays.
    if (sameEntry && m_changes == run.changes) {
        noteSaved();
        return;
    }
    m_saveState->setText(QStringLiteral("已保存 %1").arg(QTime::currentTime().toString(QStringLiteral("hh:mm"))));
}

void TForm1::waitForDrafts()
{
    if (m_draftWriter)
        m_draftWriter->waitForDone();
}

void TForm1::removeDraft()
{
    waitForDrafts();
    drafts::remove(m_diaryPath, m_openEntry.name);
}

void TForm1::writeDraft()
{
    if (!m_openEntry.valid || m_openEntry.diaryPath != m_diaryPath || m_diaryPath.isEmpty())
        return;
    if (background::waiting()) {
        m_draftKeeper->changed();
        return;
    }
    QTextDocument *body = m_writeForm->RichEdit1->document();
    if (body->isEmpty()) {
        removeDraft();
        return;
    }
    // Built and sealed here, where the document and the key are; only bytes go to the worker.
    const QByteArray record = diary::makeRecord(*body, m_writeForm->dBox1->currentIndex(),
                                                m_writeForm->dBox2->currentIndex());
    const QByteArray bytes = drafts::encode(m_openEntry.name, record, diaryKey(),
                                            QDateTime::currentDateTimeUtc(), zip::counterSeed());
    const QString diary = m_diaryPath;
    const QByteArray name = m_openEntry.name;
    m_draftWriter->start([this, diary, name, bytes] {
        // Absorbed by design, as the autosave's errors are: the line under the page says it.
        try {
            drafts::store(diary, name, bytes);
        } catch (const Exception &error) {
            const QString why = error.message();
            QMetaObject::invokeMethod(
                this, [this, why] { m_saveState->setText(app::text::draftNotWritten(why)); },
                Qt::QueuedConnection);
        }
    });
}

void TForm1::offerDrafts()
{
    if (m_diaryPath.isEmpty())
        return;
    const QString diary = m_diaryPath;
    drafts::clearLeftovers(diary);
    const QList<drafts::Draft> found = drafts::pending(diary, diaryKey());
    int unreadable = 0;
    for (const drafts::Draft &draft : found) {
        if (!draft.readable) {
            drafts::keepAside(draft.path);
            ++unreadable;
        }
    }
    if (unreadable > 0)
        msgbox::showWarning(this, app::text::draftsUnreadable(unreadable, drafts::folderOf(diary)));
    for (const drafts::Draft &draft : found) {
        if (!draft.readable || m_diaryPath != diary)
            continue;
        diary::EntryProblem problem = diary::EntryProblem::None;
        const std::optional<QByteArray> stored = findStored(draft.name, &problem);
        if (stored && problem == diary::EntryProblem::None && *stored == draft.record) {
            drafts::remove(diary, draft.name);
            continue;
        }
        TDraftDialog offer(gbk::decode(draft.name), draft.written, draft.record, this);
        offer.exec();
        if (offer.choice() == TDraftDialog::Choice::Discard) {
            waitForDrafts();
            drafts::remove(diary, draft.name);
        } else if (offer.choice() == TDraftDialog::Choice::Restore) {
            // Decoded in the scratch document first, as an entry is: nothing changes on a failure.
            diary::loadRecord(draft.record, *m_listForm->RichEdit2);
            showPage(m_writePage);
            openEntry(draft.name, &draft.record);
            // Unsaved: saved as any change is, by the autosave, a page switch or the save command;
            // its draft stays until then.
            m_autoSave->changed();
            m_saveState->setText(app::text::draftRestoredUnsaved());
            return;
        }
    }
}

void TForm1::refuseToOpen(const QByteArray &name, diary::EntryProblem problem)
{
    msgbox::showWarning(this, diary_text::cannotOpen(gbk::decode(name), diary::problemReason(problem)));
}

bool TForm1::selectedRow(QByteArray &name)
{
    forgetRowsOfOtherDiary();
    if (!m_listForm->hasSelection()) {
        msgbox::showWarning(this, page_texts::kSelectEntryFirst);
        return false;
    }
    name = m_listForm->selectedRow().key;
    return true;
}

bool TForm1::LoadEntry()
{
    QByteArray name;
    if (!selectedRow(name))
        return false;
    return loadEntryNamed(name);
}

bool TForm1::loadEntryNamed(const QByteArray &name)
{
    waitForAutoSave();
    diary::EntryProblem problem = diary::EntryProblem::None;
    const QByteArray record = readStored(name, &problem);
    if (problem != diary::EntryProblem::None) {
        refuseToOpen(name, problem);
        return false;
    }
    diary::loadRecord(record, *m_listForm->RichEdit2);
    openEntry(name, &record);
    // Opened from a search: its matches are highlighted, F3 goes from one to the next.
    m_writeForm->setSearchText(m_listForm->query().text);
    showPage(m_writePage);
    return true;
}

void TForm1::ListEntries()
{
    waitForAutoSave();
    showPage(m_listPage);
    // Everything that takes time with a large diary happens on the worker: the listing, the
    // sorting, the calendar's days, the search, and freeing the rows shown until now. The
    // window's thread only hands the rows over.
    auto letGo = std::make_shared<QList<QList<diary::ListRow>>>();
    letGo->append(m_listForm->takeRows());
    letGo->append(std::exchange(m_keptRows, {}));
    m_keptCurrent = false;
    const bool otherDiary = m_listedPath != m_diaryPath;
    m_listedPath = m_diaryPath;
    const QString path = m_diaryPath;
    auto seen = std::make_shared<FileIdentity>();
    auto [listing, prepared] = offThread(
        app::text::openingDiary(),
        [path, key = keyCopy(), cache = m_listingCache.get(), otherDiary, letGo, seen,
         how = m_listForm->preparation()] {
            letGo->clear();
            if (otherDiary)
                cache->clear();
            TArchiveReader reader;
            reader.SetZipName(path);
            diary::Listing listed = diary::listEntries(reader, key.get(), cache);
            // The file the rows come from, so that a file a sync puts in its place is noticed.
            *seen = reader.HasDirectory() ? reader.HeldIdentity() : syncing::identityOnDisk(path);
            TListPage::Prepared ready = TListPage::prepare(listed.rows, how);
            return std::make_pair(std::move(listed), std::move(ready));
        });
    // Locked meanwhile, or another diary current: its rows are not this one's to show.
    if (m_diaryPath != path)
        return;
    keepRows(listing, m_diaryPath);
    m_listForm->setPrepared(std::move(prepared));
    listedFromDisk(*seen);
    noticeUnreadable(listing.rows);
    listing.rethrowError();
}

void TForm1::noticeUnreadable(const QList<diary::ListRow> &rows)
{
    QList<diary::ListRow> unreadable;
    for (const diary::ListRow &row : rows) {
        if (!row.readable())
            unreadable.append(diary::unreadableRow(row.nameBytes, row.problem));
    }
    if (unreadable.isEmpty())
        return;
    diary::sortRows(unreadable, diary::RowOrder{});
    QStringList names;
    for (qsizetype i = 0; i < unreadable.size() && i < diary_text::kNoticeNames; ++i)
        names.append(unreadable[i].name);
    msgbox::show(this, QMessageBox::Information, diary_text::caption(),
                 diary_text::unreadableNotice(names, int(unreadable.size())));
}

void TForm1::DeleteEntry()
{
    waitForAutoSave();
    QByteArray name;
    if (!selectedRow(name))
        return;
    // The program never deletes an entry it cannot read unless the user says so knowingly.
    diary::EntryProblem problem = diary::EntryProblem::None;
    readStored(name, &problem);
    const bool unreadable =
        problem != diary::EntryProblem::None && problem != diary::EntryProblem::Missing;
    // A deleted entry is gone from the diary; one question first, answered No unless the user
    // chooses otherwise.
    const QString question =
        unreadable ? diary_text::confirmDeleteUnreadable(gbk::decode(name), diary::problemReason(problem))
                   : diary_text::confirmDelete(gbk::decode(name));
    if (msgbox::show(this, QMessageBox::Question, diary_text::caption(), question,
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    offThread(app::text::savingEntry(), [path = m_diaryPath, key = keyCopy(), &name] {
        TArchiveReader reader;
        reader.SetZipName(path);
        TArchiveWriter writer;
        writer.SetKeepVersions(true);
        writer.SetZipName(path);
        diary::deleteEntry(reader, writer, name, key.get());
    });
    // The delete has just kept the diary as it was: the newest version.
    const QList<versions::Version> kept = versions::list(m_diaryPath);
    if (!kept.isEmpty())
        m_lastDelete = DeletedEntry{m_diaryPath, name, kept.first().path};
    m_listForm->UndoDel->setEnabled(m_lastDelete.has_value());
    ListEntries();
}

void TForm1::UndoDelExecute()
{
    waitForAutoSave();
    if (!m_lastDelete || m_lastDelete->diaryPath != m_diaryPath || m_diaryPath.isEmpty())
        return;
    const DeletedEntry deleted = *m_lastDelete;
    // A day written again since the delete keeps its new text.
    if (findStored(deleted.name, nullptr)) {
        msgbox::showWarning(this, diary_text::cannotUndoDelete(gbk::decode(deleted.name)));
        return;
    }
    const diary::EntryProblem problem =
        offThread(app::text::savingEntry(), [path = m_diaryPath, key = keyCopy(), &deleted] {
            TArchiveWriter writer;
            writer.SetKeepVersions(true);
            writer.SetZipName(path);
            return diary::restoreEntry(deleted.versionPath, writer, deleted.name, key.get());
        });
    if (problem != diary::EntryProblem::None) {
        refuseToOpen(deleted.name, problem);
        return;
    }
    m_lastDelete.reset();
    m_listForm->UndoDel->setEnabled(false);
    ListEntries();
}

void TForm1::HistoryExecute()
{
    waitForAutoSave();
    if (m_diaryPath.isEmpty() || m_archiveWriter->ZipName() != m_diaryPath)
        return;
    THistoryDialog history(*m_archiveWriter, diaryKey(), this);
    history.exec();
    if (history.changed())
        ListEntries();
}

void TForm1::forgetRowsOfOtherDiary()
{
    if (m_listedPath == m_diaryPath)
        return;
    // A page not built yet has nothing to forget.
    if (m_listForm.built()) {
        m_listForm->clearRows();
        m_listForm->clearSearch();
    }
    m_listingCache->clear();
    m_listedPath = m_diaryPath;
}

void TForm1::restoreListOrder(TListPage *page)
{
    const QByteArray section = gbk::encode(app::text::listSection());
    bool known = false;
    const int column = ini::ReadSetting(section, gbk::encode(app::text::sortColumnKey())).toInt(&known);
    if (!known || column < 0 || column >= diary::kSortColumnCount)
        return;
    const QByteArray descending = ini::ReadSetting(section, gbk::encode(app::text::descendingKey()));
    page->setOrder({diary::SortColumn(column), descending != "0"});
}

void TForm1::storeListOrder(diary::RowOrder order)
{
    const QByteArray section = gbk::encode(app::text::listSection());
    ini::WriteSetting(section, gbk::encode(app::text::sortColumnKey()), QByteArray::number(int(order.column)));
    ini::WriteSetting(section, gbk::encode(app::text::descendingKey()), order.descending ? "1" : "0");
}

std::optional<QByteArray> TForm1::findStored(const QByteArray &name, diary::EntryProblem *problem)
{
    diary::EntryProblem found = diary::EntryProblem::None;
    std::optional<QByteArray> record =
        offThread(app::text::openingDiary(), [path = m_diaryPath, key = keyCopy(), &name, &found] {
            TArchiveReader reader;
            reader.SetZipName(path);
            return diary::findEntry(reader, name, &found, key.get());
        });
    if (problem)
        *problem = found;
    return record;
}

QByteArray TForm1::readStored(const QByteArray &name, diary::EntryProblem *problem)
{
    return offThread(app::text::openingDiary(), [path = m_diaryPath, key = keyCopy(), &name, problem] {
        TArchiveReader reader;
        reader.SetZipName(path);
        return diary::readEntry(reader, name, problem, key.get());
    });
}

diary::Listing TForm1::listDiary(diary::ListingCache *cache)
{
    return offThread(app::text::openingDiary(), [path = m_diaryPath, key = keyCopy(), cache] {
        TArchiveReader reader;
        reader.SetZipName(path);
        return diary::listEntries(reader, key.get(), cache);
    });
}

void TForm1::showFoundCount()
{
    const int found = m_listForm.built() ? m_listForm->foundCount() : -1;
    if (found >= 0)
        m_foundCount->setText(TListPage::foundText(found));
    m_foundCount->setVisible(found >= 0 && m_pageControl->currentWidget() == m_listPage);
}
