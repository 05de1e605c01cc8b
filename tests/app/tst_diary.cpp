#include "accounts/login.h"
#include "accounts/login_panel.h"
#include "accounts/pass_cipher.h"
#include "accounts/user_list.h"
#include "app/auto_lock.h"
#include "app/auto_save.h"
#include "app/main_form.h"
#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "diary/diary_fixture.h"
#include "pages/list_page.h"
#include "pages/write_page.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "platform/message_box.h"
#include "richtext/rich_text.h"
#include "settings/ini.h"
#include "support/test_support.h"
#include "window_fixture.h"
#include "widgets/image_combo_box.h"
#include "widgets/nav_button.h"

#include <QAction>
#include <QBuffer>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextCursor>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTimer>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QTreeView>

#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

using diary_testing::ownRecord;
using diary_testing::richEditRecord;

namespace {

const QString kZhangSan = u"张三"_s;
const QString kLiSi = u"李四"_s;
const QString kSelectFirst = u"\u3000\u3000\u3000请先选择一篇日记!\u3000\u3000\u3000"_s;

using Entries = WindowFixture::Entries;

// Chinese reaches the editor through the input method, committed as a whole.
void typeText(QWidget *edit, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(edit, &event);
}

struct Stored {
    QStringList names;
    QList<QByteArray> records;
    QByteArray comment;
};

Stored storedIn(const QString &archive)
{
    Stored stored;
    TArchiveReader reader;
    reader.SetZipName(archive);
    reader.SetPassword(diary::kArchivePassword);
    reader.OpenArchive();
    for (int i = 0; i < reader.EntryCount(); ++i) {
        stored.names << reader.EntryName(i);
        QByteArray record;
        reader.ExtractEntry(i, record);
        stored.records << record;
    }
    stored.comment = reader.ArchiveCommentBytes();
    return stored;
}

QStringList rowTexts(const QList<TListPage::Row> &rows)
{
    QStringList texts;
    for (const TListPage::Row &row : rows)
        texts << QStringList{row.caption, row.weather, row.mood, row.summary}.join(u'|');
    return texts;
}

} // namespace

// The diary end to end in a real main window, offscreen, in a working folder of its own: users
// made by the accounts logic, logged in through the login page, the nav buttons clicked, the
// list page's commands triggered, the archive checked with Info-ZIP and the container.
class TestDiary : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_w.setUp());
    }

    void cleanup() { m_w.tearDown(); }

    void writesListsOpensChangesAndDeletesAnEntry()
    {
        m_w.createUser(kZhangSan, u"secret"_s, {});
        const QByteArray token = storedIn(kZhangSan).comment;
        QCOMPARE(token.size(), 13);
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"secret"_s));
        QCOMPARE(m_w.page(), m_w.form->TabSheet2());
        QCOMPARE(list()->rowCount(), 0);

        click(3);
        QCOMPARE(m_w.page(), m_w.form->TabSheet1());
        QCOMPARE(write()->Label3->text(), u"2003年10月5日"_s);
        QCOMPARE(write()->dBox1->currentIndex(), 0);
        QCOMPARE(write()->dBox2->currentIndex(), 0);
        QVERIFY(write()->RichEdit1->document()->isEmpty());
        write()->dBox1->setCurrentIndex(write()->dBox1->findText(u"　雨"_s));
        write()->dBox2->setCurrentIndex(write()->dBox2->findText(u"　想法"_s));
        typeText(write()->RichEdit1, u"今天下雨了"_s);

        click(4);
        QCOMPARE(m_w.page(), m_w.form->TabSheet2());
        QCOMPARE(rowTexts(list()->shownRows()), QStringList{u"2003年10月5日|雨|想法|今天下雨了"_s});
        QCOMPARE(m_w.boxes.size(), 0);

        const auto unzip = testing_support::run(
            testing_support::unzipProgram(),
            {u"-p"_s, u"-P"_s, u"qmt90315526hzrp"_s, kZhangSan});
        QCOMPARE(unzip.exitCode, 0);
        QVERIFY(unzip.out.startsWith("{\\rtf1"));
        QCOMPARE(richtext::rtfParagraphs(unzip.out),
                 (QStringList{u"2"_s, u"4"_s, u"今天下雨了"_s}));

        list()->selectRow(0);
        list()->See->trigger();
        QCOMPARE(m_w.page(), m_w.form->TabSheet1());
        QCOMPARE(write()->RichEdit1->toPlainText(), u"今天下雨了"_s);
        QCOMPARE(write()->dBox1->currentText(), u"　雨"_s);
        write()->RichEdit1->selectAll();
        typeText(write()->RichEdit1, u"雨停了"_s);
        write()->Action1->trigger();
        Stored stored = storedIn(kZhangSan);
        QCOMPARE(stored.names, QStringList{u"2003年10月5日"_s});
        QCOMPARE(richtext::rtfParagraphs(stored.records[0]),
                 (QStringList{u"2"_s, u"4"_s, u"雨停了"_s}));

        click(4);
        QCOMPARE(rowTexts(list()->shownRows()), QStringList{u"2003年10月5日|雨|想法|雨停了"_s});
        list()->selectRow(0);
        m_w.answer = QMessageBox::Yes;
        list()->Del->trigger();
        QCOMPARE(m_w.page(), m_w.form->TabSheet2());
        QCOMPARE(list()->rowCount(), 0);
        stored = storedIn(kZhangSan);
        QCOMPARE(stored.names, QStringList());
        QCOMPARE(stored.comment, token);
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].text, u"确定要删除 2003年10月5日 的日记吗？"_s);
    }

    // The question names the date, and No is the answer unless the user chooses Yes.
    void deletingAsksWithTheDateAndNoKeepsTheEntry()
    {
        listDiary({{u"2003年9月26日"_s, ownRecord(0, 0, u"留着"_s)}});
        const QByteArray before = testing_support::readFile(kZhangSan);
        list()->selectRow(0);
        m_w.answer = QMessageBox::No;
        list()->Del->trigger();
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].caption, u"羽书手札"_s);
        QCOMPARE(m_w.boxes[0].icon, QMessageBox::Question);
        QCOMPARE(m_w.boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(m_w.boxes[0].defaultButton, QMessageBox::No);
        QCOMPARE(m_w.boxes[0].text, u"确定要删除 2003年9月26日 的日记吗？"_s);
        QCOMPARE(testing_support::readFile(kZhangSan), before);
        QCOMPARE(list()->rowCount(), 1);
    }

    // The version kept before a delete brings the entry back, text and all; a day written again
    // since is not overwritten.
    void undoingADeleteBringsTheEntryBack()
    {
        const QByteArray record = ownRecord(1, 2, u"别丢"_s);
        listDiary({{u"2003年9月26日"_s, record}, {u"2003年9月27日"_s, ownRecord(0, 0, u"另一天"_s)}});
        QVERIFY(!list()->UndoDel->isEnabled());
        list()->selectRow(1);  // newest first: 27日, then 26日
        QCOMPARE(list()->selectedRow().caption, u"2003年9月26日"_s);
        m_w.answer = QMessageBox::Yes;
        list()->Del->trigger();
        QCOMPARE(storedIn(kZhangSan).names, QStringList{u"2003年9月27日"_s});
        QVERIFY(list()->UndoDel->isEnabled());

        list()->UndoDel->trigger();
        const Stored stored = storedIn(kZhangSan);
        QCOMPARE(stored.names, (QStringList{u"2003年9月27日"_s, u"2003年9月26日"_s}));
        QCOMPARE(stored.records[1], record);
        QCOMPARE(list()->rowCount(), 2);
        QVERIFY(!list()->UndoDel->isEnabled());

        // Deleted, written again, then the undo: the new text stays.
        list()->selectRow(1);  // newest first: 27日, then 26日
        list()->Del->trigger();
        diary::storeEntry(*m_w.form->ArchiveWriter1(), gbk::encode(u"2003年9月26日"_s), ownRecord(0, 0, u"新写的"_s));
        m_w.boxes.clear();
        list()->UndoDel->trigger();
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].text, u"2003年9月26日 又有了日记，撤销删除会把它覆盖，所以没有撤销。"_s);
        QCOMPARE(richtext::rtfParagraphs(storedIn(kZhangSan).records[1]).last(), u"新写的"_s);
    }

    // The autosave stores the text without touching the editor: caret, selection and undo stay.
    // A failing autosave says so under the page, without a box.
    void theAutosaveStoresTheTextAndLeavesTheEditorAsItWas()
    {
        m_w.createUser(kZhangSan, u"pw"_s, {});
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        click(3);
        QVERIFY(!m_w.form->autoSave()->pending());
        QTextEdit *edit = write()->RichEdit1;
        typeText(edit, u"第一句。"_s);
        typeText(edit, u"第二句。"_s);
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(1);
        cursor.setPosition(3, QTextCursor::KeepAnchor);
        edit->setTextCursor(cursor);
        QVERIFY(m_w.form->autoSave()->pending());

        m_w.form->autoSave()->fire();
        m_w.form->waitForAutoSave();
        QCOMPARE(richtext::rtfParagraphs(storedIn(kZhangSan).records.value(0)).last(), u"第一句。第二句。"_s);
        QVERIFY(!m_w.form->autoSave()->pending());
        QCOMPARE(edit->textCursor().anchor(), 1);
        QCOMPARE(edit->textCursor().position(), 3);
        QVERIFY(QRegularExpression(u"^已保存 \\d\\d:\\d\\d$"_s).match(m_w.form->SaveState()->text()).hasMatch());
        QVERIFY(edit->document()->isUndoAvailable());
        edit->undo();
        QCOMPARE(edit->toPlainText(), u"第一句。"_s);

        QVERIFY(QFile::setPermissions(kZhangSan, QFile::ReadOwner));
        typeText(edit, u"又一句"_s);
        m_w.form->autoSave()->fire();
        m_w.form->waitForAutoSave();
        QCOMPARE(m_w.boxes.size(), 0);
        QVERIFY(!m_w.form->SaveState()->text().startsWith(u"已保存"_s));
        QVERIFY(!m_w.form->SaveState()->text().isEmpty());
        QCOMPARE(edit->toPlainText(), u"第一句。又一句"_s);
        QVERIFY(QFile::setPermissions(kZhangSan, QFile::ReadOwner | QFile::WriteOwner));
    }

    // The autosave's rewrite runs on a worker, held here while the window types on. Text typed
    // during a save stays changed and goes with the next save; a page switch waits for a running
    // save and stores the final text; a failing save says under the page what the box of a save
    // would say, and the text stays.
    void typingDuringABackgroundAutosaveIsSavedNext()
    {
        m_w.createUser(kZhangSan, u"pw"_s, {});
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        click(3);
        QTextEdit *edit = write()->RichEdit1;
        QSemaphore inside;
        QSemaphore go;
        m_w.form->setAutoSaveHook([&] {
            inside.release();
            go.acquire();
        });
        const auto letGo = qScopeGuard([&] {
            go.release(100);
            m_w.form->waitForAutoSave();
            m_w.form->setAutoSaveHook({});
            QFile::setPermissions(kZhangSan, QFile::ReadOwner | QFile::WriteOwner);
        });
        const auto storedText = [] {
            const QStringList paragraphs = richtext::rtfParagraphs(storedIn(kZhangSan).records.value(0));
            return paragraphs.isEmpty() ? QString() : paragraphs.last();
        };
        const QRegularExpression saved(u"^已保存 \\d\\d:\\d\\d$"_s);

        typeText(edit, u"早上。"_s);
        m_w.form->autoSave()->fire();
        inside.acquire();
        QVERIFY(m_w.form->autoSaveRunning());
        QCOMPARE(m_w.form->SaveState()->text(), u"正在保存…"_s);
        typeText(edit, u"下午。"_s);
        go.release();
        m_w.form->waitForAutoSave();
        QVERIFY(!m_w.form->autoSaveRunning());
        QCOMPARE(storedText(), u"早上。"_s);
        QVERIFY(m_w.form->autoSave()->pending());
        QVERIFY(saved.match(m_w.form->SaveState()->text()).hasMatch());
        m_w.form->autoSave()->fire();
        inside.acquire();
        go.release();
        m_w.form->waitForAutoSave();
        QCOMPARE(storedText(), u"早上。下午。"_s);
        QVERIFY(!m_w.form->autoSave()->pending());

        // Leaving the page while a save runs.
        typeText(edit, u"晚上。"_s);
        m_w.form->autoSave()->fire();
        inside.acquire();
        typeText(edit, u"夜里。"_s);
        go.release();
        click(4);
        QVERIFY(!m_w.form->autoSaveRunning());
        QCOMPARE(m_w.form->PageControl1()->currentWidget(), m_w.form->TabSheet2());
        QCOMPARE(storedText(), u"早上。下午。晚上。夜里。"_s);
        QCOMPARE(m_w.boxes.size(), 0);

        // A save that fails on the worker.
        click(3);
        QVERIFY(QFile::setPermissions(kZhangSan, QFile::ReadOwner));
        edit->moveCursor(QTextCursor::End);
        typeText(edit, u"还有。"_s);
        m_w.form->autoSave()->fire();
        inside.acquire();
        go.release();
        m_w.form->waitForAutoSave();
        QCOMPARE(m_w.boxes.size(), 0);
        const QString line = m_w.form->SaveState()->text();
        QVERIFY(!line.isEmpty());
        QVERIFY(!saved.match(line).hasMatch());
        QVERIFY(line != u"正在保存…"_s);
        QCOMPARE(edit->toPlainText(), u"早上。下午。晚上。夜里。还有。"_s);
        QCOMPARE(storedText(), u"早上。下午。晚上。夜里。"_s);
        // The save command fails the same way, in a box: the line said the same.
        write()->Action1->trigger();
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].text, line);
        QCOMPARE(edit->toPlainText(), u"早上。下午。晚上。夜里。还有。"_s);
    }

    // Hovering selects the row under the pointer; a right-click on empty space afterwards must
    // not leave that row to be deleted.
    void aRightClickOnEmptySpaceClearsTheSelectionAndOffersNoRowCommand()
    {
        listDiary({{u"2003年9月3日"_s, ownRecord(0, 0, u"三"_s)}});
        QTreeView *table = list()->ListView1;
        const QPoint row = table->visualRect(table->model()->index(0, 0)).center();
        QTest::mouseMove(table->viewport(), row);
        QTRY_VERIFY(list()->hasSelection());
        const QPoint empty(row.x(), table->viewport()->height() - 2);
        QVERIFY(!table->indexAt(empty).isValid());
        QTest::mouseMove(table->viewport(), empty);
        emit table->customContextMenuRequested(empty);
        QVERIFY(list()->PopupMenu2->isVisible());
        QVERIFY(!list()->hasSelection());
        for (QAction *command : {list()->See, list()->Del, list()->N3})
            QVERIFY2(!command->isEnabled(), qPrintable(command->objectName()));
        QVERIFY(list()->N4->isEnabled());
        list()->PopupMenu2->hide();

        emit table->customContextMenuRequested(row);
        QVERIFY(list()->hasSelection());
        QVERIFY(list()->Del->isEnabled());
        list()->PopupMenu2->hide();
        QCOMPARE(storedIn(kZhangSan).names, QStringList{u"2003年9月3日"_s});
    }

    // Every way out of the write page stores what was typed, as a page switch does.
    void leavingTheWindowOrTheSessionSavesTheOpenEntry_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("closing the window") << int(Leave::Close);
        QTest::newRow("logging out") << int(Leave::Logout);
        QTest::newRow("the application quitting") << int(Leave::Quit);
        QTest::newRow("the diary locking itself") << int(Leave::Lock);
    }

    void leavingTheWindowOrTheSessionSavesTheOpenEntry()
    {
        QFETCH(int, way);
        m_w.createUser(kZhangSan, u"pw"_s, {});
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        click(3);
        typeText(write()->RichEdit1, u"一小时的字"_s);
        leave(Leave(way));
        const Stored stored = storedIn(kZhangSan);
        QCOMPARE(stored.names, QStringList{u"2003年10月5日"_s});
        QCOMPARE(richtext::rtfParagraphs(stored.records[0]).last(), u"一小时的字"_s);
        QCOMPARE(m_w.boxes.size(), 0);
    }

    // A save that fails (a read-only diary) shows the error and keeps the window, the page and
    // the text.
    void aFailingSaveKeepsTheWindowAndTheText_data() { leavingTheWindowOrTheSessionSavesTheOpenEntry_data(); }

    void aFailingSaveKeepsTheWindowAndTheText()
    {
        QFETCH(int, way);
        m_w.createUser(kZhangSan, u"pw"_s, {});
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        click(3);
        typeText(write()->RichEdit1, u"不能丢的字"_s);
        QVERIFY(QFile::setPermissions(kZhangSan, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const QByteArray before = testing_support::readFile(kZhangSan);
        leave(Leave(way));
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].icon, QMessageBox::Critical);
        QVERIFY(m_w.form->isVisible());
        QCOMPARE(m_w.page(), m_w.form->TabSheet1());
        QCOMPARE(m_w.form->diaryPath(), kZhangSan);
        QCOMPARE(write()->RichEdit1->toPlainText(), u"不能丢的字"_s);
        QCOMPARE(testing_support::readFile(kZhangSan), before);

        // Once the diary can be written again, the same way out saves and goes on.
        QVERIFY(QFile::setPermissions(kZhangSan, QFile::ReadOwner | QFile::WriteOwner));
        leave(Leave(way));
        QCOMPARE(richtext::rtfParagraphs(storedIn(kZhangSan).records.value(0)).last(), u"不能丢的字"_s);
        if (Leave(way) == Leave::Close)
            QVERIFY(!m_w.form->isVisible());
    }

    void anOpenedEntryKeepsItsDateAndTodaysEntryTheDateItWasOpenedOn()
    {
        listDiary({{u"2003年9月26日"_s, ownRecord(1, 2, u"旧的"_s)}});
        list()->selectRow(0);
        list()->See->trigger();
        QCOMPARE(write()->Label3->text(), u"2003年9月26日"_s);
        typeText(write()->RichEdit1, u"补"_s);
        click(4);
        QCOMPARE(storedIn(kZhangSan).names, QStringList{u"2003年9月26日"_s});
        QCOMPARE(rowTexts(list()->shownRows()), QStringList{u"2003年9月26日|阴|愤怒|旧的补"_s});

        click(3);
        typeText(write()->RichEdit1, u"深夜"_s);
        m_w.today = QDate(2003, 10, 6);
        write()->Action1->trigger();
        const Stored stored = storedIn(kZhangSan);
        QCOMPARE(stored.names, (QStringList{u"2003年9月26日"_s, u"2003年10月5日"_s}));

        // Closing the window saves too, under the date the entry was opened on.
        typeText(write()->RichEdit1, u"也存"_s);
        m_w.form->close();
        QCoreApplication::processEvents();
        const Stored closed = storedIn(kZhangSan);
        QCOMPARE(closed.names, stored.names);
        QCOMPARE(closed.records[0], stored.records[0]);
        QCOMPARE(richtext::rtfParagraphs(closed.records[1]).last(), u"深夜也存"_s);
    }

    void aWeatherIndexOutsideTheTableListsEmptyAndIsSavedAsMinusOne()
    {
        listDiary({{u"2003年9月26日"_s, ownRecord(7, 1, u"x"_s)}});
        QCOMPARE(rowTexts(list()->shownRows()), QStringList{u"2003年9月26日||烦恼|x"_s});
        list()->selectRow(0);
        list()->See->trigger();
        QCOMPARE(write()->dBox1->currentIndex(), -1);
        QCOMPARE(write()->dBox2->currentIndex(), 1);
        write()->Action1->trigger();
        QCOMPARE(richtext::rtfParagraphs(storedIn(kZhangSan).records[0]),
                 (QStringList{u"-1"_s, u"1"_s, u"x"_s}));
    }

    void aDiaryOfTheOlderProgramListsAndOpens()
    {
        listDiary({{u"2003年9月3日"_s, richEditRecord({u"3"_s, u"7"_s, u"下雪了"_s, u"很冷"_s})},
                   {u"2003年10月5日"_s, gbk::encode(u"0\r\n5\r\n纯文本"_s)},
                   {u"2003年9月26日"_s, richEditRecord({u"1"_s, u"6"_s})}});
        QCOMPARE(rowTexts(list()->shownRows()),
                 (QStringList{u"2003年10月5日|晴|感慨|纯文本"_s, u"2003年9月26日|阴|疑问|"_s,
                              u"2003年9月3日|雪|爱心|下雪了\r\n很冷"_s}));

        // A click on the date header reverses the order, a second one restores it.
        QHeaderView *header = list()->ListView1->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionPosition(0) + 10, header->height() / 2));
        QCOMPARE(list()->shownRows().first().caption, u"2003年9月3日"_s);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionPosition(0) + 10, header->height() / 2));
        QCOMPARE(list()->shownRows().first().caption, u"2003年10月5日"_s);

        list()->selectRow(2);
        list()->See->trigger();
        QCOMPARE(write()->Label3->text(), u"2003年9月3日"_s);
        QCOMPARE(write()->RichEdit1->toPlainText(), u"下雪了\n很冷"_s);
        QCOMPARE(write()->dBox1->currentText(), u"　雪"_s);
        QCOMPARE(write()->dBox2->currentText(), u"　爱心"_s);
        QCOMPARE(m_w.boxes.size(), 0);
    }

    void commandsWithoutASelectedRowWarnAndDoNothing()
    {
        listDiary({{u"2003年9月26日"_s, ownRecord(0, 0, u"x"_s)}});
        list()->selectRow(-1);
        const QByteArray before = testing_support::readFile(kZhangSan);
        for (QAction *command : {list()->See, list()->Del, list()->N3}) {
            m_w.boxes.clear();
            command->trigger();
            QCOMPARE(m_w.boxes.size(), 1);
            QCOMPARE(m_w.boxes[0].caption, u"羽书手札"_s);
            QCOMPARE(m_w.boxes[0].text, kSelectFirst);
            QCOMPARE(m_w.boxes[0].icon, QMessageBox::Warning);
            QCOMPARE(m_w.page(), m_w.form->TabSheet2());
        }
        QCOMPARE(testing_support::readFile(kZhangSan), before);
        QCOMPARE(list()->rowCount(), 1);
    }

    void pointingSelectsARowAndADoubleClickOpensIt()
    {
        listDiary({{u"2003年9月3日"_s, ownRecord(0, 0, u"三"_s)},
                   {u"2003年9月4日"_s, ownRecord(0, 0, u"四"_s)}});
        QTreeView *table = list()->ListView1;
        QVERIFY(!list()->hasSelection());
        const QPoint second = table->visualRect(table->model()->index(1, 0)).center();
        QTest::mouseMove(table->viewport(), second);
        QTRY_VERIFY(list()->hasSelection());
        QCOMPARE(list()->selectedRow().caption, u"2003年9月3日"_s);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(m_w.page(), m_w.form->TabSheet1());
        QCOMPARE(write()->RichEdit1->toPlainText(), u"三"_s);
    }

    void anEntryThatCannotBeReadIsListedNamedAndNeverOpened()
    {
        const QByteArray good = ownRecord(0, 0, u"好的"_s);
        const QByteArray bad = richEditRecord({u"x"_s, u"0"_s, u"坏的"_s});
        m_w.createUser(kZhangSan, u"pw"_s,
                   {{u"2003年9月3日"_s, good}, {u"2003年9月4日"_s, good}, {u"2003年10月5日"_s, bad}});
        storeUnderAnotherPassword(u"2003年9月6日"_s);
        const QByteArray before = testing_support::readFile(kZhangSan);
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        // The login lists the diary: its notice of what cannot be read is checked below.
        QCOMPARE(m_w.boxes.size(), 1);
        m_w.boxes.clear();

        // Today's entry cannot be read: the reason is shown, the page does not change and there
        // is no open entry that a later save could store.
        click(3);
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].caption, u"羽书手札"_s);
        QCOMPARE(m_w.boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(m_w.boxes[0].text, u"日记“2003年10月5日”无法读取（不是日记），不能打开!"_s);
        QCOMPARE(m_w.page(), m_w.form->TabSheet2());
        write()->Action1->trigger();
        QCOMPARE(testing_support::readFile(kZhangSan), before);

        // Every entry is listed; one notice names those that cannot be read.
        m_w.boxes.clear();
        click(4);
        QCOMPARE(rowTexts(list()->shownRows()),
                 (QStringList{u"2003年10月5日|||无法读取：不是日记"_s, u"2003年9月6日|||无法读取：密码不同"_s,
                              u"2003年9月4日|晴|高兴|好的"_s, u"2003年9月3日|晴|高兴|好的"_s}));
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].caption, u"羽书手札"_s);
        QCOMPARE(m_w.boxes[0].icon, QMessageBox::Information);
        QVERIFY(m_w.boxes[0].hasOwner);
        QCOMPARE(m_w.boxes[0].text, u"有2篇日记无法读取：2003年10月5日、2003年9月6日。\n"
                                  "表中已注明原因；这些日记会原样保留，不会被改动。"_s);

        // Opening one, by the command, a double click or printing, shows the reason only.
        list()->selectRow(1);
        m_w.boxes.clear();
        list()->See->trigger();
        emit list()->ListView1DblClick();
        list()->N3->trigger();
        QCOMPARE(m_w.boxes.size(), 3);
        for (const msgbox::Shown &box : std::as_const(m_w.boxes)) {
            QCOMPARE(box.icon, QMessageBox::Warning);
            QCOMPARE(box.text, u"日记“2003年9月6日”无法读取（密码不同），不能打开!"_s);
        }
        QCOMPARE(m_w.page(), m_w.form->TabSheet2());
        QCOMPARE(testing_support::readFile(kZhangSan), before);

        // Deleting one asks first; "No" keeps it.
        m_w.boxes.clear();
        m_w.answer = QMessageBox::No;
        list()->Del->trigger();
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].icon, QMessageBox::Question);
        QCOMPARE(m_w.boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(m_w.boxes[0].text,
                 u"日记“2003年9月6日”无法读取（密码不同）。\n删除后无法恢复，确实要删除它吗?"_s);
        QCOMPARE(testing_support::readFile(kZhangSan), before);
        QCOMPARE(list()->rowCount(), 4);
        m_w.answer = QMessageBox::Yes;
        list()->Del->trigger();
        QCOMPARE(storedIn(kZhangSan).names,
                 (QStringList{u"2003年9月3日"_s, u"2003年9月4日"_s, u"2003年10月5日"_s}));
        QCOMPARE(list()->rowCount(), 3);
    }

    void anEntryThatCannotBeReadIsNeverWrittenOver()
    {
        const QByteArray good = ownRecord(0, 0, u"好的"_s);
        const QByteArray bad = richEditRecord({u"x"_s, u"0"_s, u"坏的"_s});
        listDiary({{u"2003年9月3日"_s, good}, {u"2003年9月4日"_s, good}});

        // Another program spoils an entry after it was listed. The entry open on the write page
        // stays itself when the spoilt one fails to open, and is saved under its own name only.
        list()->selectRow(1);
        list()->See->trigger();
        QCOMPARE(m_w.page(), m_w.form->TabSheet1());
        write()->RichEdit1->moveCursor(QTextCursor::Start);
        typeText(write()->RichEdit1, u"改"_s);
        click(4);
        TArchiveWriter other;
        other.SetZipName(kZhangSan);
        QCOMPARE(diary::storeEntry(other, gbk::encode(u"2003年9月4日"_s), bad),
                 diary::EntryProblem::None);
        m_w.boxes.clear();
        list()->selectRow(0);
        list()->See->trigger();
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].text, u"日记“2003年9月4日”无法读取（不是日记），不能打开!"_s);
        QCOMPARE(m_w.page(), m_w.form->TabSheet2());
        QCOMPARE(write()->Label3->text(), u"2003年9月3日"_s);
        write()->Action1->trigger();
        Stored stored = storedIn(kZhangSan);
        QCOMPARE(stored.records[1], bad);
        QCOMPARE(richtext::rtfParagraphs(stored.records[0]).last(), u"改好的"_s);

        // Today's entry is opened blank; meanwhile another program stores today's entry under
        // another password. Saving refuses to write over it, once; the text stays in the editor.
        m_w.today = QDate(2003, 10, 7);
        click(3);
        QCOMPARE(write()->Label3->text(), u"2003年10月7日"_s);
        typeText(write()->RichEdit1, u"今天"_s);
        storeUnderAnotherPassword(u"2003年10月7日"_s);
        const QByteArray before = testing_support::readFile(kZhangSan);
        m_w.boxes.clear();
        click(4);
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].caption, u"羽书手札"_s);
        QCOMPARE(m_w.boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(m_w.boxes[0].text, u"日记“2003年10月7日”无法读取（密码不同），为免覆盖它，这次没有保存!\n"
                                  "写下的内容仍在编辑框中，请先复制出来!"_s);
        QCOMPARE(m_w.page(), m_w.form->TabSheet1());
        QCOMPARE(testing_support::readFile(kZhangSan), before);
        m_w.boxes.clear();
        write()->Action1->trigger();
        click(4);
        QCOMPARE(m_w.page(), m_w.form->TabSheet2());
        QCOMPARE(testing_support::readFile(kZhangSan), before);
        QCOMPARE(write()->RichEdit1->toPlainText(), u"今天"_s);
        QCOMPARE(list()->rowCount(), 3);
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].icon, QMessageBox::Information);
    }

    void anEmptyEditorStoresNothing()
    {
        const QByteArray record = ownRecord(2, 3, u"留着"_s);
        m_w.createUser(kZhangSan, u"pw"_s, {{u"2003年10月5日"_s, record}});
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        click(3);
        QCOMPARE(write()->RichEdit1->toPlainText(), u"留着"_s);
        write()->RichEdit1->clear();
        click(4);
        QCOMPARE(storedIn(kZhangSan).records, QList<QByteArray>{record});
        QCOMPARE(rowTexts(list()->shownRows()), QStringList{u"2003年10月5日|雨|伤感|留着"_s});
    }

    void anotherUsersLoginNeitherShowsNorReceivesTheFirstUsersDiary()
    {
        m_w.createUser(kZhangSan, u"one"_s, {});
        m_w.createUser(kLiSi, u"two"_s, {});
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"one"_s));
        click(3);
        typeText(write()->RichEdit1, u"张三的"_s);
        // "用户登录" from the write page saves first.
        click(5);
        QCOMPARE(m_w.page(), m_w.form->TabSheet3());
        QCOMPARE(storedIn(kZhangSan).names, QStringList{u"2003年10月5日"_s});
        click(4);
        QCOMPARE(list()->rowCount(), 1);
        const QByteArray zhang = testing_support::readFile(kZhangSan);

        click(5);
        QVERIFY(m_w.login(kLiSi, u"two"_s));
        QCOMPARE(m_w.page(), m_w.form->TabSheet2());
        QTRY_COMPARE(list()->rowCount(), 0);
        // The first user's entry is still in the write page's controls; the save command must
        // not store it anywhere now.
        write()->Action1->trigger();
        QCOMPARE(storedIn(kLiSi).names, QStringList());
        QCOMPARE(testing_support::readFile(kZhangSan), zhang);
        QCOMPARE(m_w.boxes.size(), 0);
    }

    void printingTheSelectedRowOpensPrintsAndComesBackSavingItAgain()
    {
        // Without a printer the dialog prints into a PDF file in the home folder.
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", m_w.dir->path().toLocal8Bit());
        const auto restoreHome = qScopeGuard([&home] { qputenv("HOME", home); });
        const QByteArray record = ownRecord(3, 4, u"要打印的"_s);
        listDiary({{u"2003年9月26日"_s, record}});
        list()->selectRow(0);
        // The print dialog is answered with OK as soon as it shows.
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&answer] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                answer.stop();
                dialog->accept();
            }
        });
        answer.start(5);
        const QByteArray before = testing_support::readFile(kZhangSan);
        list()->N3->trigger();
        QVERIFY(!answer.isActive());
        QCOMPARE(m_w.boxes.size(), 0);
        QCOMPARE(m_w.page(), m_w.form->TabSheet2());
        QCOMPARE(list()->rowCount(), 1);
        QCOMPARE(write()->Label3->text(), u"2003年9月26日"_s);
        QCOMPARE(write()->RichEdit1->toPlainText(), u"要打印的"_s);
        const QString pdf = write()->printer().outputFileName();
        QVERIFY2(QFileInfo(pdf).size() > 0, qPrintable(pdf));
        const Stored stored = storedIn(kZhangSan);
        QCOMPARE(stored.names, QStringList{u"2003年9月26日"_s});
        QCOMPARE(richtext::rtfParagraphs(stored.records[0]),
                 (QStringList{u"3"_s, u"4"_s, u"要打印的"_s}));
        QVERIFY2(testing_support::readFile(kZhangSan) != before, "stored again, freshly encrypted");
    }

private:
    enum class Leave { Close, Logout, Quit, Lock };

    void leave(Leave way)
    {
        switch (way) {
        case Leave::Close:
            m_w.form->close();
            break;
        case Leave::Logout:
            click(5);
            break;
        case Leave::Quit:
            QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit", Qt::DirectConnection));
            break;
        case Leave::Lock:
            emit m_w.form->autoLock()->idle();
            break;
        }
    }

    // Another program stores an entry in Zhang San's diary under another password.
    void storeUnderAnotherPassword(const QString &name)
    {
        diary_testing::storeUnderAnotherPassword(kZhangSan, name, ownRecord(0, 0, u"别的密码"_s));
    }

    // Zhang San's diary with these entries, logged in and listed.
    void listDiary(const Entries &entries)
    {
        m_w.createUser(kZhangSan, u"pw"_s, entries);
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        click(4);
    }

    void click(int navButton)
    {
        QTest::mouseClick(m_w.form->NavBtn(navButton), Qt::LeftButton);
    }

    TWritePage *write() const { return m_w.form->WritePage(); }
    TListPage *list() const { return m_w.form->ListPage(); }

    WindowFixture m_w;
};

QTEST_MAIN(TestDiary)
#include "tst_diary.moc"
