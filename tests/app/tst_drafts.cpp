#include "accounts/login.h"
#include "accounts/login_panel.h"
#include "accounts/pass_cipher.h"
#include "accounts/private_login.h"
#include "accounts/user_list.h"
#include "app/auto_save.h"
#include "app/draft_dialog.h"
#include "app/history_dialog.h"
#include "app/main_form.h"
#include "archive/archive_writer.h"
#include "crypto/private_format.h"
#include "diary/diary_book.h"
#include "diary/diary_fixture.h"
#include "drafts/drafts.h"
#include "pages/list_page.h"
#include "widgets/nav_button.h"
#include "pages/write_page.h"
#include "versions/kept_versions.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "platform/message_box.h"
#include "richtext/rich_text.h"
#include "settings/ini.h"
#include "support/test_support.h"
#include "window_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kZhangSan = u"张三"_s;
const QString kTyped = u"停电前写下的最后一句：月光照在窗台上。"_s;

void typeText(QWidget *edit, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(edit, &event);
}

// The records stored in the diary, by entry name, read with the key when there is one.
std::optional<QByteArray> storedRecord(const QString &archive, const QString &entry, const DiaryKey *key)
{
    TArchiveReader reader;
    reader.SetZipName(archive);
    return diary::findEntry(reader, gbk::encode(entry), nullptr, key);
}

enum class Choice { Restore, Discard, Later };

} // namespace

// Drafts in a real main window, offscreen, and in a real second process killed with SIGKILL
// after typing: what the killed program typed is offered at the next login, exactly, and never
// merged without the user.
class TestDrafts : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_w.setUp());
        m_w.answer = QMessageBox::Yes;
        diary::setClock({});   // the typing child, another process, writes under the real today
        accounts::setPrivateKdf(private_format::kMinimumKdf);
    }

    void cleanup()
    {
        m_w.tearDown();
        accounts::setPrivateKdf(private_format::kDefaultKdf);
        versions::setClock({});
    }

    void aKilledProgramsTypingIsOfferedAtTheNextLogin_data()
    {
        QTest::addColumn<bool>("isPrivate");
        QTest::addColumn<int>("choice");
        QTest::newRow("old format, restored") << false << int(Choice::Restore);
        QTest::newRow("private, restored") << true << int(Choice::Restore);
        QTest::newRow("old format, discarded") << false << int(Choice::Discard);
        QTest::newRow("private, left for later") << true << int(Choice::Later);
    }

    void aKilledProgramsTypingIsOfferedAtTheNextLogin()
    {
        QFETCH(bool, isPrivate);
        QFETCH(int, choice);
        createUser(isPrivate);
        const QByteArray diaryBefore = testing_support::readFile(kZhangSan);

        QProcess child;
        child.setWorkingDirectory(m_w.dir->path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        child.setProcessEnvironment(env);
        child.start(QStringLiteral(QB_APP_HELPER),
                    {u"type"_s, m_w.dir->filePath(u"main.ini"_s), kZhangSan, u"pw"_s, kTyped});
        QVERIFY(child.waitForStarted());
        QByteArray said;
        while (!said.contains('\n') && child.waitForReadyRead(60000))
            said += child.readAllStandardOutput();
        QVERIFY2(said.startsWith("DRAFTED "), said.constData());
        const QString entry = QString::fromUtf8(said.mid(8).trimmed());
        child.kill();   // SIGKILL: no close, no save
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        QCOMPARE(testing_support::readFile(kZhangSan), diaryBefore);   // nothing was saved
        const QString draft = drafts::pathOf(kZhangSan, gbk::encode(entry));
        const QByteArray draftBytes = testing_support::readFile(draft);
        QVERIFY(!draftBytes.isEmpty());
        for (const QString &word : {kTyped, u"月光"_s, u"窗台"_s}) {
            QVERIFY(!draftBytes.contains(word.toUtf8()));
            QVERIFY(!draftBytes.contains(gbk::encode(word)));
        }

        QVERIFY(m_w.start());
        QString question;
        QString shown;
        bool readOnly = false;
        answerDraft(Choice(choice), &question, &shown, &readOnly);
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        QVERIFY2(question.startsWith(entry + u" 的日记有上次没来得及保存的内容"_s), qPrintable(question));
        QCOMPARE(shown, kTyped);
        QVERIFY(readOnly);
        QCOMPARE(m_w.boxes.size(), 0);
        QCOMPARE(testing_support::readFile(kZhangSan), diaryBefore);   // never merged on its own

        switch (Choice(choice)) {
        case Choice::Restore:
            QCOMPARE(m_w.form->PageControl1()->currentWidget(), m_w.form->TabSheet1());
            QCOMPARE(m_w.form->WritePage()->RichEdit1->toPlainText(), kTyped);
            QCOMPARE(m_w.form->WritePage()->Label3->text(), entry);
            QVERIFY(m_w.form->autoSave()->pending());
            QCOMPARE(m_w.form->SaveState()->text(), u"已恢复，尚未保存"_s);
            QVERIFY(QFile::exists(draft));   // until it is saved
            m_w.form->WritePage()->Action1->trigger();
            QCOMPARE(richtext::rtfParagraphs(*storedRecord(kZhangSan, entry, m_w.form->diaryKey())).last(), kTyped);
            QVERIFY(!QFile::exists(draft));
            break;
        case Choice::Discard:
            QVERIFY(!QFile::exists(draft));
            QCOMPARE(m_w.form->PageControl1()->currentWidget(), m_w.form->TabSheet2());
            break;
        case Choice::Later:
            QCOMPARE(testing_support::readFile(draft), draftBytes);
            QCOMPARE(m_w.form->PageControl1()->currentWidget(), m_w.form->TabSheet2());
            break;
        }
    }

    // The draft is written after a pause in typing and goes when the entry is saved, by every
    // way of saving; an emptied entry takes its draft with it.
    void aDraftLastsUntilTheEntryIsSaved_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("the save command") << 0;
        QTest::newRow("the autosave") << 1;
        QTest::newRow("closing the window") << 2;
        QTest::newRow("locking the diary") << 3;
        QTest::newRow("the text deleted, then the page left") << 4;
    }

    void aDraftLastsUntilTheEntryIsSaved()
    {
        QFETCH(int, way);
        createUser(true);
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        QTest::mouseClick(m_w.form->NavBtn(3), Qt::LeftButton);
        const QByteArray name = gbk::encode(m_w.form->WritePage()->Label3->text());
        const QString draft = drafts::pathOf(kZhangSan, name);
        typeText(m_w.form->WritePage()->RichEdit1, kTyped);
        QVERIFY(m_w.form->draftKeeper()->pending());
        QVERIFY(!QFile::exists(draft));
        m_w.form->draftKeeper()->fire();
        m_w.form->waitForDrafts();
        const QList<drafts::Draft> kept = drafts::pending(kZhangSan, m_w.form->diaryKey());
        QCOMPARE(kept.size(), 1);
        QCOMPARE(richtext::rtfParagraphs(kept[0].record).last(), kTyped);
        QVERIFY(!storedRecord(kZhangSan, m_w.form->WritePage()->Label3->text(), m_w.form->diaryKey()));

        switch (way) {
        case 0: m_w.form->WritePage()->Action1->trigger(); break;
        case 1:
            m_w.form->autoSave()->fire();
            m_w.form->waitForAutoSave();
            break;
        case 2: QVERIFY(m_w.form->close()); break;
        case 3: m_w.form->lockDiary(); break;
        case 4:
            m_w.form->WritePage()->RichEdit1->clear();
            QTest::mouseClick(m_w.form->NavBtn(4), Qt::LeftButton);
            break;
        }
        QVERIFY(!QFile::exists(draft));
        QCOMPARE(m_w.boxes.size(), 0);
    }

    // A draft that does not open is put aside, whole, and named in one warning; a draft equal to
    // its stored entry (the save came, its removal did not) goes without a question.
    void unreadableDraftsAreKeptAsideAndStaleOnesRemoved()
    {
        createUser(false);
        const QByteArray record = diary_testing::ownRecord(0, 0, u"已经保存"_s);
        TArchiveWriter writer;
        writer.SetZipName(kZhangSan);
        diary::storeEntry(writer, gbk::encode(u"2003年9月26日"_s), record);
        drafts::write(kZhangSan, gbk::encode(u"2003年9月26日"_s), record, nullptr);
        const QString broken = drafts::pathOf(kZhangSan, gbk::encode(u"2003年9月27日"_s));
        testing_support::writeFile(broken, "QBDRAFT1 not a draft");

        QVERIFY(m_w.start());
        bool offered = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&offered] {
            if (auto *dialog = qobject_cast<TDraftDialog *>(QApplication::activeModalWidget())) {
                offered = true;
                dialog->reject();
            }
        });
        probe.start(0);
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        probe.stop();
        QVERIFY(!offered);
        QVERIFY(drafts::pending(kZhangSan, nullptr).isEmpty());
        QVERIFY(!QFile::exists(broken));
        QCOMPARE(testing_support::readFile(broken + u".unreadable"_s), QByteArray("QBDRAFT1 not a draft"));
        QCOMPARE(m_w.boxes.size(), 1);
        QVERIFY2(m_w.boxes[0].text.contains(drafts::folderOf(kZhangSan)), qPrintable(m_w.boxes[0].text));
    }

    // 「历史版本…」 on the list page: a version's entries read-only, one entry brought back (the
    // diary kept first, listed as 「恢复之前」), the restore undone, then the whole diary as it
    // was; the list shows the diary as it is after each.
    void theHistoryDialogRestoresOneEntryUndoesItAndRestoresTheWholeDiary()
    {
        const QString a = u"2003年9月26日"_s;
        const QString b = u"2003年9月27日"_s;
        createUser(false);
        QDateTime now(QDate(2003, 9, 26), QTime(20, 0), Qt::UTC);
        versions::setClock([&now] { return now; });
        TArchiveWriter writer;
        writer.SetZipName(kZhangSan);
        writer.SetKeepVersions(true);
        diary::storeEntry(writer, gbk::encode(a), diary_testing::ownRecord(0, 0, u"原来的一"_s));
        diary::storeEntry(writer, gbk::encode(b), diary_testing::ownRecord(0, 0, u"原来的二"_s));
        now = now.addDays(2);
        diary::storeEntry(writer, gbk::encode(a), diary_testing::ownRecord(0, 0, u"第一次改"_s));
        // Saved again the same day: no version is due, the restore must keep this text itself.
        diary::storeEntry(writer, gbk::encode(a), diary_testing::ownRecord(0, 0, u"改坏了"_s));
        now = now.addDays(1);
        TArchiveReader reader;
        reader.SetZipName(kZhangSan);
        diary::deleteEntry(reader, writer, gbk::encode(b));
        // Versions, newest first: before the delete, before the changes, the new diary.
        QCOMPARE(versions::list(kZhangSan).size(), 3);

        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        QTest::mouseClick(m_w.form->NavBtn(4), Qt::LeftButton);
        QCOMPARE(m_w.form->ListPage()->rowCount(), 1);
        QStringList listed, afterOne, afterUndo;
        runInDialog<THistoryDialog>([&](THistoryDialog *history) {
            QCOMPARE(history->Versions()->count(), 3);
            QVERIFY(!history->UndoRestore()->isEnabled());
            history->Versions()->setCurrentRow(1);   // before the changes
            for (int i = 0; i < history->Entries()->topLevelItemCount(); ++i)
                listed << history->Entries()->topLevelItem(i)->text(0) + u'|' + history->Entries()->topLevelItem(i)->text(3);
            QCOMPARE(history->Entries()->editTriggers(), QAbstractItemView::NoEditTriggers);
            history->Entries()->topLevelItem(0)->setSelected(true);
            history->RestoreEntries()->click();
            afterOne = diaryTexts();
            QCOMPARE(history->Versions()->count(), 4);
            QVERIFY2(history->Versions()->item(0)->text().endsWith(u"（恢复之前）"_s),
                     qPrintable(history->Versions()->item(0)->text()));
            QVERIFY(history->UndoRestore()->isEnabled());
            history->UndoRestore()->click();
            afterUndo = diaryTexts();
            // Before the delete: both entries as they were then; the whole diary is kept first.
            QCOMPARE(history->Versions()->count(), 5);
            history->Versions()->setCurrentRow(2);
            history->RestoreWhole()->click();
            history->reject();
        });
        QCOMPARE(listed, (QStringList{a + u"|原来的一"_s, b + u"|原来的二"_s}));
        QCOMPARE(afterOne, QStringList{a + u"|原来的一"_s});
        QCOMPARE(afterUndo, QStringList{a + u"|改坏了"_s});
        QCOMPARE(diaryTexts(), (QStringList{a + u"|改坏了"_s, b + u"|原来的二"_s}));
        QCOMPARE(m_w.form->ListPage()->rowCount(), 2);
        // The whole restore kept the diary as it was just before it.
        TArchiveReader newest;
        const versions::Version kept = versions::list(kZhangSan).first();
        QVERIFY(kept.beforeRestore);
        newest.SetZipName(kept.path);
        QStringList keptTexts;
        for (const diary::ListRow &row : diary::listEntries(newest).rows)
            keptTexts << row.name + u'|' + row.summary;
        QCOMPARE(keptTexts, afterUndo);
        QStringList questions;
        for (const msgbox::Shown &box : std::as_const(m_w.boxes)) {
            if (box.icon == QMessageBox::Question) {
                questions << box.text;
                QCOMPARE(box.defaultButton, QMessageBox::No);
            }
        }
        QCOMPARE(questions.size(), 3);
    }

private:
    // The diary's entries as "name|body".
    QStringList diaryTexts() const
    {
        TArchiveReader reader;
        reader.SetZipName(kZhangSan);
        QStringList texts;
        for (const diary::ListRow &row : diary::listEntries(reader).rows)
            texts << row.name + u'|' + row.summary;
        return texts;
    }

    // Runs body on the dialog of that type once it is shown modally, while the trigger waits.
    template <class Dialog>
    void runInDialog(const std::function<void(Dialog *)> &body)
    {
        bool ran = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] {
            if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
                probe.stop();
                ran = true;
                body(dialog);
            }
        });
        probe.start(0);
        m_w.form->ListPage()->History->trigger();
        QVERIFY(ran);
    }

    void createUser(bool isPrivate)
    {
        TArchiveWriter writer;
        TPassCipher cipher;
        cipher.SetSalt(accounts::kPasswordSalt);
        accounts::createUserArchive(writer, cipher, kZhangSan, u"pw"_s);
        writeUserList({kZhangSan});
        if (isPrivate)
            QVERIFY(accounts::protectUser(writer, cipher, kZhangSan, u"pw"_s));
    }

    // Answers the draft dialog when it comes, noting what it showed.
    void answerDraft(Choice choice, QString *question, QString *text, bool *readOnly)
    {
        auto *probe = new QTimer(m_w.form.get());
        connect(probe, &QTimer::timeout, this, [=] {
            auto *dialog = qobject_cast<TDraftDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            probe->stop();
            *question = dialog->Question()->text();
            *text = dialog->Text()->toPlainText();
            *readOnly = dialog->Text()->isReadOnly();
            QPushButton *button = choice == Choice::Restore   ? dialog->RestoreButton()
                                  : choice == Choice::Discard ? dialog->DiscardButton()
                                                              : dialog->LaterButton();
            button->click();
        });
        probe->start(0);
    }

    WindowFixture m_w;
};

QTEST_MAIN(TestDrafts)
#include "tst_drafts.moc"
