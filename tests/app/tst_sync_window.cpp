#include "accounts/private_login.h"
#include "accounts/user_settings_dialog.h"
#include "app/history_dialog.h"
#include "backups/backups.h"
#include "diary/diary_fixture.h"
#include "pages/conflict_bar.h"
#include "pages/list_page.h"
#include "pages/write_page.h"
#include "support/test_support.h"
#include "sync/sync_texts.h"
#include "versions/kept_versions.h"
#include "window_fixture.h"

#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

using namespace Qt::StringLiterals;
using diary_testing::ownRecord;

namespace {

const QString kZhangSan = u"张三"_s;
const QString kCopy = u"张三.sync-conflict-20261207-093000-ABCDEFG"_s;

void store(const QString &archive, const QString &day, const QString &text, const DiaryKey *key = nullptr)
{
    TArchiveWriter writer;
    writer.SetZipName(archive);
    QCOMPARE(diary::storeEntry(writer, gbk::encode(day), ownRecord(0, 0, text), key),
             diary::EntryProblem::None);
}

} // namespace

// The diary in a synchronisation folder, in the real window: the bar that tells of another
// computer's copy and merges it, a diary that a sync replaces while it is listed, and backups.
class TestSyncWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_w.setUp());
        backups::setClock([] { return QDate(2003, 10, 5); });
        m_w.createUser(kZhangSan, u"secret"_s,
                       {{u"2003年10月1日"_s, ownRecord(0, 0, u"一"_s)}, {u"2003年10月2日"_s, ownRecord(0, 0, u"二"_s)}});
    }

    void cleanup()
    {
        m_w.tearDown();
        backups::setClock({});
        accounts::setPrivateKdf(private_format::kDefaultKdf);
    }

    // The copy has two days the diary lacks and another text of a day both have.
    void aCopyFromAnotherComputerIsToldOfAndMergedIntoOneDiary()
    {
        QVERIFY(QFile::copy(kZhangSan, kCopy));
        store(kCopy, u"2003年10月3日"_s, u"三"_s);
        store(kCopy, u"2003年10月4日"_s, u"四"_s);
        store(kCopy, u"2003年10月2日"_s, u"二，那边改的"_s);
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"secret"_s));
        const QString notice = u"发现这本日记在另一台电脑上的副本（2026年12月7日 09:30）：2 篇只在副本里，1 篇两边不同。"_s;
        QCOMPARE(bar()->notice(), notice);
        QVERIFY(bar()->isVisible());

        // Put off: not told of again until the next login.
        QTest::mouseClick(bar()->LaterButton(), Qt::LeftButton);
        QVERIFY(bar()->isHidden());
        QTest::mouseClick(m_w.form->NavBtn(4), Qt::LeftButton);
        QVERIFY(bar()->isHidden());
        QTest::mouseClick(m_w.form->NavBtn(5), Qt::LeftButton);
        QVERIFY(m_w.login(kZhangSan, u"secret"_s));
        QCOMPARE(bar()->notice(), notice);

        QTest::mouseClick(bar()->MergeButton(), Qt::LeftButton);
        QVERIFY(bar()->isHidden());
        QCOMPARE(list()->rowCount(), 4);
        QVERIFY(!QFile::exists(kCopy));
        QVERIFY(versions::list(kZhangSan).size() >= 2);   // the diary before, and the copy
        QCOMPARE(m_w.boxes.size(), 1);
        // No common past among the versions: what only the copy has is kept, and said so.
        QVERIFY(m_w.boxes[0].text.contains(u"2003年10月3日、2003年10月4日"_s));
        QVERIFY(m_w.boxes[0].text.contains(u"另一份留在历史版本里：2003年10月2日"_s));
    }

    void aDiaryReplacedOnDiskWhileListedIsListedAgain()
    {
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"secret"_s));
        QCOMPARE(list()->rowCount(), 2);
        // A sync program writes the other computer's file beside the diary, then renames it.
        QVERIFY(QFile::copy(kZhangSan, u".arriving"_s));
        store(u".arriving"_s, u"2003年10月3日"_s, u"三"_s);
        QCOMPARE(std::rename(".arriving", QFile::encodeName(kZhangSan).constData()), 0);
        QTRY_COMPARE(list()->rowCount(), 3);
        QCOMPARE(m_w.form->statusBar()->currentMessage(), sync_text::kChangedElsewhere);
        QVERIFY(m_w.boxes.isEmpty());

        // The window's own save is no change from elsewhere.
        m_w.form->statusBar()->clearMessage();
        QTest::mouseClick(m_w.form->NavBtn(3), Qt::LeftButton);
        typeText(u"五"_s);
        QTest::mouseClick(m_w.form->NavBtn(4), Qt::LeftButton);
        QCOMPARE(list()->rowCount(), 4);
        // Looked at again as when the window comes forward: the folder has changed, the diary
        // is the window's own.
        QEvent activated(QEvent::WindowActivate);
        QApplication::sendEvent(m_w.form.get(), &activated);
        auto *settle = m_w.form->findChild<QTimer *>(u"DiskSettle"_s);
        QVERIFY(settle && settle->isActive());
        QTRY_VERIFY(!settle->isActive());
        QCOMPARE(list()->rowCount(), 4);
        QVERIFY(m_w.form->statusBar()->currentMessage().isEmpty());
    }

    void aBackupIsWrittenAfterTheDaysFirstSaveIntoTheChosenFolder()
    {
        const QString folder = m_w.dir->filePath(u"U盘"_s);
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(m_w.start());
        TForm2 *settings = m_w.form->Form2();
        settings->setFolderPrompt([&](QWidget *, const QString &) { return folder; });
        settings->Edit1()->setText(kZhangSan);
        QTest::mouseClick(settings->BackupButton(), Qt::LeftButton);
        QCOMPARE(m_w.boxes.size(), 1);
        QVERIFY(m_w.boxes[0].text.contains(folder));

        QVERIFY(m_w.login(kZhangSan, u"secret"_s));
        QVERIFY(backups::list(folder).isEmpty());   // listing is no save
        QTest::mouseClick(m_w.form->NavBtn(3), Qt::LeftButton);
        typeText(u"五"_s);
        QTest::mouseClick(m_w.form->NavBtn(4), Qt::LeftButton);
        m_w.form->waitForBackup();
        const QList<backups::Backup> made = backups::list(folder, kZhangSan);
        QCOMPARE(made.size(), 1);
        QCOMPARE(QFileInfo(made[0].path).fileName(), u"张三-2003-10-05"_s);
        QCOMPARE(backups::verify(made[0].path), QString());
        QCOMPARE(testing_support::readFile(made[0].path), testing_support::readFile(kZhangSan));
    }

    void aBackupOpensLikeAVersionAndBringsTheDaysBack()
    {
        const QString folder = m_w.dir->filePath(u"备份"_s);
        QVERIFY(QDir().mkdir(folder));
        const backups::Outcome made = backups::backUp(kZhangSan, folder);
        QVERIFY(made.ok());
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"secret"_s));
        m_w.answer = QMessageBox::Yes;
        list()->selectRow(0);
        list()->Del->trigger();
        QCOMPARE(list()->rowCount(), 1);

        m_w.form->setBackupFileChooser([&](QWidget *, const QString &) { return made.path; });
        int shown = -1;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *history = qobject_cast<THistoryDialog *>(QApplication::activeModalWidget());
            if (!history)
                return;
            poll.stop();
            shown = history->Entries()->topLevelItemCount();
            history->Entries()->selectAll();
            history->restoreSelectedEntries();
            history->reject();
        });
        poll.start(10);
        m_w.form->FromBackup()->trigger();
        QCOMPARE(shown, 2);
        QCOMPARE(list()->rowCount(), 2);
    }

    void aCopyOfTheUserListIsMergedAtTheLoginPage()
    {
        const QString copy = u"Diary.sync-conflict-20261207-093000-ABCDEFG.dat"_s;
        writeUserList({kZhangSan, u"李四"_s}, copy);
        QVERIFY(m_w.start());
        QCOMPARE(readUserList(), (QStringList{kZhangSan, u"李四"_s}));
        QVERIFY(m_w.form->Panel1()->ComboBox1()->findText(u"李四"_s) >= 0);
        QVERIFY(!QFile::exists(copy));
    }

    // The window's key merges a private copy of the same diary; a diary made private on its own
    // is refused, both files named, and nothing changes.
    void aPrivateDiaryMergesWithTheKeyOfTheLogin()
    {
        accounts::setPrivateKdf(private_format::kMinimumKdf);
        TPassCipher cipher;
        cipher.SetSalt(accounts::kPasswordSalt);
        TArchiveWriter writer;
        QVERIFY(accounts::protectUser(writer, cipher, kZhangSan, u"secret"_s));
        TArchiveReader reader;
        const accounts::LoginResult login = accounts::logIn(reader, cipher, kZhangSan, u"secret"_s);
        QVERIFY(login.key);
        QVERIFY(QFile::copy(kZhangSan, kCopy));
        store(kCopy, u"2003年10月3日"_s, u"三"_s, &*login.key);
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"secret"_s));
        QCOMPARE(bar()->notice(), u"发现这本日记在另一台电脑上的副本（2026年12月7日 09:30）：1 篇只在副本里。"_s);
        QTest::mouseClick(bar()->MergeButton(), Qt::LeftButton);
        QCOMPARE(list()->rowCount(), 3);
        m_w.boxes.clear();

        const QString other = u"张三.sync-conflict-20261208-100000-BBBBBBB"_s;
        TArchiveWriter separately;
        accounts::createPrivateUserArchive(separately, u"王五"_s, u"secret"_s);
        QVERIFY(QFile::rename(u"王五"_s, other));
        QTest::mouseClick(m_w.form->NavBtn(4), Qt::LeftButton);
        QVERIFY(!bar()->isHidden());
        const QByteArray before = testing_support::readFile(kZhangSan);
        QTest::mouseClick(bar()->MergeButton(), Qt::LeftButton);
        QCOMPARE(m_w.boxes.size(), 1);
        QVERIFY(m_w.boxes[0].text.contains(other));
        QVERIFY(m_w.boxes[0].text.contains(kZhangSan));
        QCOMPARE(testing_support::readFile(kZhangSan), before);
        QVERIFY(QFile::exists(other));
    }

private:
    void typeText(const QString &text)
    {
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(m_w.form->WritePage()->RichEdit1, &event);
    }
    TConflictBar *bar() const { return m_w.form->ConflictBar(); }
    TListPage *list() const { return m_w.form->ListPage(); }

    WindowFixture m_w;
};

QTEST_MAIN(TestSyncWindow)
#include "tst_sync_window.moc"
