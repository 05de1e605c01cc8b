// The real main window as a new user meets it in the first hour, offscreen, one test per
// behaviour: nothing lost on the way out, a diary that shows its rows as soon as it is opened,
// a window that keeps answering while it waits for the diary, an editor that fills its page.
#include "window_fixture.h"

#include "accounts/private_login.h"
#include "accounts/recovery_code_dialog.h"
#include "accounts/user_settings_dialog.h"
#include "app/auto_lock.h"
#include "crypto/private_format.h"
#include "diary/diary_fixture.h"
#include "app/auto_save.h"
#include "pages/find_bar.h"
#include "pages/list_page.h"
#include "pages/write_page.h"
#include "platform/files.h"
#include "richtext/rich_text.h"
#include "skin/skin_data.h"
#include "skin/skin_store.h"
#include "support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QDateEdit>
#include <QRadioButton>
#include <QTableView>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QMenu>
#include <QPushButton>
#include <QTreeView>
#include <QScreen>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolBar>
#include <QScopeGuard>
#include <QTimer>

using namespace Qt::StringLiterals;
using diary_testing::ownRecord;

namespace {

const QString kZhangSan = u"张三"_s;
const QString kCode = u"K7FD-BBGW-V589-3BRC-WN5E-PG8A"_s;

enum class Format { Old, Private };

void typeText(QWidget *edit, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(edit, &event);
}

} // namespace

class TestFirstHour : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(f.setUp());
        accounts::setPrivateKdf(private_format::kMinimumKdf);
    }
    void cleanup()
    {
        f.tearDown();
        accounts::setPrivateKdf(private_format::kDefaultKdf);
    }

    void bothFormats_data()
    {
        QTest::addColumn<Format>("format");
        QTest::newRow("old format") << Format::Old;
        QTest::newRow("private") << Format::Private;
    }

    // Closing the window after typing saves with the key still held and says nothing; the
    // application's end afterwards has nothing left to store.
    void closingAfterTypingSavesWithoutABox_data() { bothFormats_data(); }
    void closingAfterTypingSavesWithoutABox()
    {
        QFETCH(Format, format);
        makeUser(format, {});
        QVERIFY(f.start());
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        click(3);
        typeText(write()->RichEdit1, u"关窗前写的"_s);
        QVERIFY(f.form->close());
        QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
        QCOMPARE(f.boxes.size(), 0);
        QCOMPARE(storedBody(u"2003年10月5日"_s), u"关窗前写的"_s);
    }

    // A save that fails at the close keeps the window, the page and the text; once the diary
    // can be written, the close saves and goes.
    void aFailedSaveAtTheCloseKeepsTheWindowAndTheText_data() { bothFormats_data(); }
    void aFailedSaveAtTheCloseKeepsTheWindowAndTheText()
    {
        QFETCH(Format, format);
        makeUser(format, {});
        QVERIFY(f.start());
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        click(3);
        typeText(write()->RichEdit1, u"不能丢"_s);
        QVERIFY(QFile::setPermissions(kZhangSan, QFile::ReadOwner));
        QVERIFY(!f.form->close());
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].icon, QMessageBox::Critical);
        QVERIFY(f.form->isVisible());
        QCOMPARE(f.page(), f.form->TabSheet1());
        QCOMPARE(write()->RichEdit1->toPlainText(), u"不能丢"_s);
        QVERIFY(QFile::setPermissions(kZhangSan, QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(f.form->close());
        QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(storedBody(u"2003年10月5日"_s), u"不能丢"_s);
    }

    // The login lands on the list page with the diary's rows and its button highlighted; after
    // the diary locked itself the login page says why, and the next login lands the same way.
    void theLoginShowsTheRowsAtOnceAlsoAfterAnAutoLock_data() { bothFormats_data(); }
    void theLoginShowsTheRowsAtOnceAlsoAfterAnAutoLock()
    {
        QFETCH(Format, format);
        makeUser(format, {{u"2003年9月3日"_s, ownRecord(0, 0, u"一"_s)}, {u"2003年9月4日"_s, ownRecord(1, 1, u"二"_s)}});
        QVERIFY(f.start());
        QVERIFY(f.form->NavBtn(5)->Checked());
        for (int round = 0; round < 2; ++round) {
            QVERIFY(f.login(kZhangSan, u"pw"_s));
            QCOMPARE(f.page(), f.form->TabSheet2());
            QCOMPARE(f.form->ListPage()->rowCount(), 2);
            QVERIFY(f.form->NavBtn(4)->Checked());
            for (int other : {3, 5, TForm1::kStatsButton})
                QVERIFY(!f.form->NavBtn(other)->Checked());
            QVERIFY(f.form->LockNote()->isHidden());
            QVERIFY(!QApplication::overrideCursor());
            QCOMPARE(f.form->statusBar()->currentMessage(), QString());
            if (round == 0) {
                emit f.form->autoLock()->idle();
                QCOMPARE(f.page(), f.form->TabSheet3());
                QVERIFY(f.form->LockNote()->isVisible());
                QCOMPARE(f.form->LockNote()->text(), u"因长时间未操作，日记已锁定"_s);
                QVERIFY(f.form->NavBtn(5)->Checked());
            }
        }
        QCOMPARE(f.boxes.size(), 0);
    }

    // While another program holds the diary's lock, the login waits off the window's thread:
    // the window's timers go on, the pointer is busy and the status bar says what it waits for.
    void theWindowAnswersWhileAnotherProgramHoldsTheDiary()
    {
        makeUser(Format::Old, {{u"2003年9月3日"_s, ownRecord(0, 0, u"一"_s)}});
        QVERIFY(f.start());
        auto other = testing_support::holdWithFlock(f.dir->filePath(files::kLockFileName), "-x");
        QCOMPARE(other->firstLine(), QByteArray("held"));
        int turns = 0;
        bool busy = false;
        QTimer tick;
        tick.setInterval(10);
        connect(&tick, &QTimer::timeout, this, [&] {
            const QCursor *cursor = QApplication::overrideCursor();
            busy = busy
                   || (cursor && cursor->shape() == Qt::BusyCursor
                       && f.form->statusBar()->currentMessage() == u"正在打开日记…"_s);
            if (++turns == 20)
                other.reset();
        });
        tick.start();
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        QVERIFY(turns >= 20);
        QVERIFY(busy);
        QCOMPARE(f.form->ListPage()->rowCount(), 1);
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(f.boxes.size(), 0);
    }

    // However the window is sized, the editor takes the page's whole height and width, and the
    // save indicator sits in the status bar, a line of text high.
    void theEditorFillsThePage_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("800 × 600") << QSize(800, 600);
        QTest::newRow("a large screen") << QSize(1366, 740);
        QTest::newRow("the smallest window") << QSize(560, 380);
    }
    void theEditorFillsThePage()
    {
        QFETCH(QSize, size);
        makeUser(Format::Old, {});
        QVERIFY(f.start());
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        click(3);
        f.form->resize(size);
        QCoreApplication::processEvents();
        QWidget *sheet = f.form->TabSheet1();
        QTextEdit *editor = write()->RichEdit1;
        const QRect inSheet(editor->mapTo(sheet, QPoint(0, 0)), editor->size());
        QVERIFY2(sheet->height() - 1 - inSheet.bottom() <= 4 && sheet->width() - 1 - inSheet.right() <= 4,
                 qPrintable(u"editor %1×%2 in a page of %3×%4"_s.arg(inSheet.width()).arg(inSheet.height())
                                .arg(sheet->width()).arg(sheet->height())));
        QStatusBar *bar = f.form->statusBar();
        QVERIFY(bar->isAncestorOf(f.form->SaveState()));
        QVERIFY(f.form->SaveState()->isVisible());
        const int line = bar->fontMetrics().height();
        QVERIFY2(bar->height() >= line && bar->height() <= 3 * line, qPrintable(QString::number(bar->height())));
        QCOMPARE(bar->geometry().bottom(), f.form->height() - 1);
    }

    // At its first size, in every skin, the dialog fits the screen (800 × 600 here, and the suite
    // runs again at twice the scale), so no window manager need squeeze it, and every group of
    // the recovery code lies wholly inside it.
    void theRecoveryCodeShowsWholeAtItsFirstSizeInEverySkin()
    {
        TSkinStore store;
        AddStoredSkins(store);
        TSkinData skin;
        const auto plain = qScopeGuard([] { qApp->setStyleSheet(QString()); });
        for (int index = 0; index < 10; ++index) {
            skin.LoadSkinFromStore(&store, index);
            RecoveryCodeDialog dialog(kZhangSan, kCode);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QVERIFY(dialog.screen()->availableGeometry().contains(dialog.geometry()));
            QCOMPARE(dialog.minimumSize(), dialog.size());
            const QRect visible = dialog.geometry();
            QStringList shown;
            for (const QLabel *group : dialog.groupLabels()) {
                const QRect at(group->mapToGlobal(QPoint(0, 0)), group->size());
                const QRect text(at.topLeft(), QSize(group->fontMetrics().horizontalAdvance(group->text()),
                                                     group->fontMetrics().height()));
                QVERIFY2(group->isVisible() && visible.contains(at) && at.width() >= text.width()
                             && at.height() >= text.height(),
                         qPrintable(u"skin %1, %2 at %3,%4 %5×%6 in %7,%8 %9×%10"_s.arg(index + 1).arg(group->text())
                                        .arg(at.x()).arg(at.y()).arg(at.width()).arg(at.height())
                                        .arg(visible.x()).arg(visible.y()).arg(visible.width()).arg(visible.height())));
                shown << group->text();
            }
            QCOMPARE(shown.join(u'-'), kCode);
        }
    }

    // Esc (or the close button) asks whether the code is written down; 否 keeps the dialog.
    // 确定 closes it at once. The printed page carries the whole code.
    void theRecoveryCodeIsNotClosedAwayByMistakeAndPrintsWhole()
    {
        RecoveryCodeDialog dialog(kZhangSan, kCode);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        f.answer = QMessageBox::No;
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].text, u"恢复码只显示这一次。确定已经记下了吗？"_s);
        QCOMPARE(f.boxes[0].defaultButton, QMessageBox::No);
        f.answer = QMessageBox::Yes;
        QVERIFY(dialog.close());
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        dialog.show();
        f.boxes.clear();
        QTest::mouseClick(dialog.closeButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(f.boxes.size(), 0);

        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(f.dir->filePath(u"code.pdf"_s));
        dialog.printPage(printer);
        const auto text = testing_support::run(testing_support::pdftotextProgram(),
                                               {printer.outputFileName(), u"-"_s});
        QVERIFY2(QString::fromUtf8(text.out).contains(kCode), text.out.constData());
    }

    // Ctrl+F on the write page opens the find bar for the open entry and never types into it:
    // the places are highlighted and counted, Enter and Shift+Enter select the next and the
    // previous one, Esc closes the bar. Ctrl+Shift+F goes to the search of the whole diary.
    void findingInTheOpenEntryLeavesItUnchanged()
    {
        makeUser(Format::Old, {{u"2003年10月5日"_s, ownRecord(2, 0, u"下雨。又下雨。"_s)}});
        QVERIFY(f.start());
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        click(3);
        QTextEdit *editor = write()->RichEdit1;
        QVERIFY(editor->hasFocus());
        QTest::keyClick(editor, Qt::Key_F, Qt::ControlModifier);
        FindBar *bar = write()->FindInEntry;
        QVERIFY(bar->isVisible());
        QVERIFY(bar->edit()->hasFocus());
        typeText(bar->edit(), u"下雨"_s);
        QCOMPARE(write()->searchMatches().size(), 2);
        QCOMPARE(bar->countLabel()->text(), u"2 处"_s);
        QVERIFY(editor->geometry().bottom() < bar->geometry().top());
        QTest::keyClick(bar->edit(), Qt::Key_Return);
        QCOMPARE(editor->textCursor().selectedText(), u"下雨"_s);
        const int first = editor->textCursor().selectionStart();
        QTest::keyClick(bar->edit(), Qt::Key_Return);
        QVERIFY(editor->textCursor().selectionStart() > first);
        QTest::keyClick(bar->edit(), Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(editor->textCursor().selectionStart(), first);
        QTest::keyClick(bar->edit(), Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QVERIFY(editor->hasFocus());
        QVERIFY(write()->searchMatches().isEmpty());
        QCOMPARE(editor->toPlainText(), u"下雨。又下雨。"_s);
        QVERIFY(!f.form->autoSave()->pending());

        QTest::keyClick(editor, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.page(), f.form->TabSheet2());
        QVERIFY(f.form->ListPage()->SearchEdit->hasFocus());
        QCOMPARE(f.form->ListPage()->rowCount(), 1);
        QCOMPARE(f.boxes.size(), 0);
    }

    // 字体加大 grows the selection alone: the saved entry keeps its other text at its size, and
    // the next entry starts from the same default font.
    void aLargerFontReachesTheSelectionOnly()
    {
        makeUser(Format::Old, {});
        QVERIFY(f.start());
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        click(3);
        QTextEdit *editor = write()->RichEdit1;
        const QFont defaultFont = editor->document()->defaultFont();
        typeText(editor, u"一二三"_s);
        QTextCursor c = editor->textCursor();
        c.setPosition(1);
        c.setPosition(2, QTextCursor::KeepAnchor);
        editor->setTextCursor(c);
        QTest::mouseClick(write()->ToolBar1->widgetForAction(write()->FontAdd), Qt::LeftButton);
        QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier);
        QTextDocument stored;
        stored.setDefaultFont(defaultFont);
        diary::loadRecord(storedRecord(u"2003年10月5日"_s), stored);
        QList<double> sizes;
        for (int at : {1, 2, 3}) {
            QTextCursor in(&stored);
            in.setPosition(at);
            sizes << in.charFormat().fontPointSize();
        }
        QCOMPARE(sizes[0], sizes[2]);
        QCOMPARE(sizes[1], sizes[0] + 1);
        QCOMPARE(editor->document()->defaultFont(), defaultFont);
        f.today = f.today.addDays(1);
        click(3);
        QVERIFY(editor->document()->isEmpty());
        QCOMPARE(editor->document()->defaultFont(), defaultFont);
    }

    // The auto-lock period is read from a main.ini an editor saved in UTF-8, and the user
    // settings dialog's 自动锁定 shows it and changes it: used at once and kept in main.ini.
    void theAutoLockPeriodComesFromAUtf8SettingsFileAndTheDialog()
    {
        testing_support::writeFile(f.dir->filePath(u"main.ini"_s),
                                   QByteArray("\xEF\xBB\xBF[界面设置]\r\nskin=0\r\nautolock=5\r\n"));
        QVERIFY(f.start());
        QCOMPARE(f.form->autoLock()->minutes(), 5);
        TForm2 *dialog = f.form->Form2();
        QString shown;
        QTimer::singleShot(0, dialog, [&] {
            shown = dialog->AutoLockBox()->currentText();
            const int thirty = dialog->AutoLockBox()->findData(30);
            dialog->AutoLockBox()->setCurrentIndex(thirty);
            emit dialog->AutoLockBox()->activated(thirty);
            dialog->reject();
        });
        QTest::mouseClick(f.form->Panel1()->Button2(), Qt::LeftButton);
        QCOMPARE(shown, u"5 分钟"_s);
        QCOMPARE(f.form->autoLock()->minutes(), 30);
        QCOMPARE(ini::ReadSetting(gbk::encode(u"界面设置"_s), "autolock"), QByteArray("30"));
    }

    // A search shows in each summary the words around the first place found, and the status bar
    // says how many entries it found.
    void aSearchShowsWhereEachEntryMatchedAndHowMany()
    {
        const QString walk = u"早上起得很早，天气不错，出门散步走了很远很远的路，回来以后"_s;
        makeUser(Format::Old, {{u"2003年9月3日"_s, ownRecord(0, 0, walk + u"下雨了。"_s)},
                               {u"2003年9月4日"_s, ownRecord(0, 0, u"下雨。"_s + walk)},
                               {u"2003年9月5日"_s, ownRecord(0, 0, walk)}});
        QVERIFY(f.start());
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        TListPage *list = f.form->ListPage();
        QVERIFY(f.form->FoundCount()->isHidden());
        typeText(list->SearchEdit, u"下雨"_s);
        QCOMPARE(list->rowCount(), 2);
        QVERIFY(f.form->FoundCount()->isVisible());
        QCOMPARE(f.form->FoundCount()->text(), u"找到 2 篇"_s);
        QStringList shown;
        for (int row = 0; row < 2; ++row)
            shown << list->ListView1->model()->index(row, 3).data().toString();
        QCOMPARE(shown, QStringList({u"下雨。"_s + walk, u"…"_s + walk.right(12) + u"下雨了。"_s}));
        QCOMPARE(list->shownSummary(1), shown[1]);

        click(3);
        QVERIFY(f.form->FoundCount()->isHidden());
        click(4);
        QVERIFY(f.form->FoundCount()->isVisible());
        list->ClearButton->click();
        QVERIFY(f.form->FoundCount()->isHidden());
        QCOMPARE(list->shownSummary(0), walk);
    }

    // The date pop-ups show every row of their month, whatever the skin.
    void theDatePopUpShowsItsWholeMonth()
    {
        makeUser(Format::Old, {});
        QVERIFY(f.start());
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        for (int skin = 0; skin < 10; ++skin) {
            f.form->RadioButton(skin + 1)->setChecked(true);
            click(3);
            for (QDateEdit *edit : {write()->DatePicker, f.form->ListPage()->FromDate}) {
                edit->setEnabled(true);
                QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(edit->width() - 6, edit->height() / 2));
                QCalendarWidget *calendar = edit->calendarWidget();
                QVERIFY(QTest::qWaitForWindowExposed(calendar->window()));
                auto *view = calendar->findChild<QTableView *>(u"qt_calendar_calendarview"_s);
                QVERIFY(view);
                const int last = view->model()->rowCount() - 1;
                const auto bottom = [view, last] { return view->rowViewportPosition(last) + view->rowHeight(last); };
                QTRY_VERIFY2(bottom() <= view->viewport()->height(),
                             qPrintable(u"skin %1: last row ends at %2 in %3"_s.arg(skin + 1).arg(bottom())
                                            .arg(view->viewport()->height())));
                calendar->window()->hide();
                if (edit == write()->DatePicker)
                    click(4);
            }
        }
    }

    // The window opens as large, where and (maximised or not) as it was when it was closed.
    void theWindowOpensAsItWasClosed()
    {
        QVERIFY(f.start());
        f.form->setGeometry(40, 50, 700, 520);
        QVERIFY(f.form->close());
        f.form = std::make_unique<TForm1>();
        f.form->restoreWindowPlace();
        f.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        QCOMPARE(f.form->geometry(), QRect(40, 50, 700, 520));
        f.form->showMaximized();
        QVERIFY(f.form->close());
        f.form = std::make_unique<TForm1>();
        f.form->restoreWindowPlace();
        f.form->show();
        QVERIFY(f.form->isMaximized());
    }

    // The list's commands are where a person looks: Delete deletes the selected row with the
    // same question as 删除, and 更多 beside 导出/导入 holds every command, whole in the window
    // at its first size.
    void theListsCommandsAreInSightAndOnTheKeyboard()
    {
        makeUser(Format::Old, {{u"2003年9月3日"_s, ownRecord(0, 0, u"一"_s)}, {u"2003年9月4日"_s, ownRecord(0, 0, u"二"_s)}});
        QVERIFY(f.start());
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        TListPage *list = f.form->ListPage();
        list->selectRow(0);
        list->ListView1->setFocus();
        f.answer = QMessageBox::No;
        QTest::keyClick(list->ListView1, Qt::Key_Delete);
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].text, u"确定要删除 2003年9月4日 的日记吗？"_s);
        QCOMPARE(list->rowCount(), 2);
        f.answer = QMessageBox::Yes;
        QTest::keyClick(list->ListView1, Qt::Key_Delete);
        QCOMPARE(list->rowCount(), 1);

        QPushButton *more = list->MoreButton;
        const QRect inWindow(more->mapTo(f.form.get(), QPoint(0, 0)), more->size());
        QVERIFY(more->isVisible() && f.form->rect().contains(inWindow));
        QVERIFY(more->menu()->actions().contains(list->History));
        QVERIFY(more->menu()->actions().contains(list->N3));
        QVERIFY(more->menu()->actions().contains(list->UndoDel));
        list->ListView1->clearSelection();
        emit more->menu()->aboutToShow();
        QVERIFY(!list->Del->isEnabled());
        QVERIFY(list->History->isEnabled());
        emit more->menu()->aboutToHide();
        QVERIFY(list->UndoDel->isEnabled());
    }

    // F10 takes the keyboard to the write page's toolbar: the arrows choose a command, Space
    // runs it on the text that had the focus, Esc goes back to the editor.
    void theToolbarIsReachedFromTheKeyboard()
    {
        makeUser(Format::Old, {});
        QVERIFY(f.start());
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        click(3);
        QTextEdit *editor = write()->RichEdit1;
        typeText(editor, u"加粗"_s);
        editor->selectAll();
        write()->UpdateCommands();   // as whenever the program is idle
        QTest::keyClick(editor, Qt::Key_F10);
        QToolBar *bar = write()->ToolBar1;
        QCOMPARE(QApplication::focusWidget(), bar->widgetForAction(write()->Action1));
        write()->UpdateCommands();   // the commands still act on the editor's selection
        QWidget *bold = bar->widgetForAction(write()->RichEditBold1);
        for (int step = 0; step < 20 && QApplication::focusWidget() != bold; ++step)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QCOMPARE(QApplication::focusWidget(), bold);
        QTest::keyClick(bold, Qt::Key_Space);
        QVERIFY(editor->textCursor().charFormat().fontWeight() >= QFont::Bold);
        QTest::keyClick(bold, Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), editor);
        QCOMPARE(editor->toPlainText(), u"加粗"_s);
    }

private:
    // Zhang San's diary with password "pw" in the format asked for, holding the entries.
    void makeUser(Format format, const WindowFixture::Entries &entries)
    {
        if (format == Format::Old) {
            f.createUser(kZhangSan, u"pw"_s, entries);
            return;
        }
        TArchiveWriter writer;
        accounts::createPrivateUserArchive(writer, kZhangSan, u"pw"_s);
        const std::optional<DiaryKey> key = keyOf(u"pw"_s);
        for (const auto &[name, record] : entries)
            diary::storeEntry(writer, gbk::encode(name), record, &*key);
        writeUserList({kZhangSan});
    }

    static std::optional<DiaryKey> keyOf(const QString &password)
    {
        TArchiveReader reader;
        TPassCipher cipher;
        cipher.SetSalt(accounts::kPasswordSalt);
        return accounts::logIn(reader, cipher, kZhangSan, password).key;
    }

    // The stored entry's record and its text, read with the diary's key when it has one.
    static QByteArray storedRecord(const QString &name)
    {
        const std::optional<DiaryKey> key = keyOf(u"pw"_s);
        TArchiveReader reader;
        reader.SetZipName(kZhangSan);
        diary::EntryProblem problem = diary::EntryProblem::None;
        const QByteArray record = diary::readEntry(reader, gbk::encode(name), &problem, key ? &*key : nullptr);
        return problem == diary::EntryProblem::None ? record : QByteArray();
    }
    static QString storedBody(const QString &name)
    {
        const QStringList paragraphs = richtext::rtfParagraphs(storedRecord(name));
        return paragraphs.isEmpty() ? QString() : paragraphs.last();
    }

    void click(int navButton) { QTest::mouseClick(f.form->NavBtn(navButton), Qt::LeftButton); }
    TWritePage *write() const { return f.form->WritePage(); }

    WindowFixture f;
};

QTEST_MAIN(TestFirstHour)
#include "tst_first_hour.moc"
