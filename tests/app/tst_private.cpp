#include "accounts/login.h"
#include "accounts/login_panel.h"
#include "accounts/pass_cipher.h"
#include "accounts/private_login.h"
#include "accounts/recovery_code_dialog.h"
#include "accounts/user_list.h"
#include "accounts/user_settings_dialog.h"
#include "app/auto_lock.h"
#include "app/main_form.h"
#include "archive/archive_writer.h"
#include "crypto/private_header.h"
#include "crypto/recovery_code.h"
#include "versions/kept_versions.h"
#include "diary/diary_book.h"
#include "pages/list_page.h"
#include "pages/write_page.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "platform/message_box.h"
#include "settings/ini.h"
#include "support/test_support.h"
#include "widgets/nav_button.h"
#include "window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
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
const QString kWrongPassword = u"密码不正确，请重新输入密码!"_s;

void typeText(QWidget *edit, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(edit, &event);
}

QByteArray commentOf(const QString &archive)
{
    TArchiveReader reader;
    reader.SetZipName(archive);
    reader.OpenArchive();
    return reader.ArchiveCommentBytes();
}

QStringList rowTexts(const QList<TListPage::Row> &rows)
{
    QStringList texts;
    for (const TListPage::Row &row : rows)
        texts << row.caption + u'|' + row.summary;
    return texts;
}

} // namespace

// Private diaries in a real main window, offscreen, in a working folder of its own: the user
// made in the user settings dialog, the login, the pages, the password change, recovery,
// conversion and the auto-lock driven by an injected clock. The key derivation runs at its
// cheapest; the dialogs' questions are answered through their injectable prompts.
class TestPrivateWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_w.setUp());
        m_w.answer = QMessageBox::Yes;
        m_answers.clear();
        m_codes.clear();
        m_now = 0;
        accounts::setPrivateKdf(private_format::kMinimumKdf);
    }

    void cleanup()
    {
        m_w.tearDown();
        accounts::setPrivateKdf(private_format::kDefaultKdf);
    }

    void aPrivateDiaryFromCreationToAutoLockAndBack()
    {
        start();
        createInDialog(kZhangSan, u"first"_s, true);
        QCOMPARE(m_codes.size(), 1);
        QVERIFY(recovery_code::isWellFormed(m_codes[0]));
        QVERIFY(commentOf(kZhangSan).startsWith("QUILLBOOK-PRIVATE "));
        QCOMPARE(m_w.boxes.size(), 0);

        login(u"wrong"_s);
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].text, kWrongPassword);
        QCOMPARE(m_w.form->diaryPath(), QString());
        QVERIFY(!m_w.form->diaryKey());
        m_w.boxes.clear();

        login(u"first"_s);
        QCOMPARE(m_w.form->diaryPath(), kZhangSan);
        QVERIFY(m_w.form->diaryKey());
        QCOMPARE(m_w.form->Panel1()->MaskEdit1()->text(), QString());

        // Write, list, open.
        click(3);
        typeText(write()->RichEdit1, u"只给自己看的话"_s);
        click(4);
        QCOMPARE(rowTexts(list()->shownRows()), QStringList{u"2003年10月5日|只给自己看的话"_s});
        QCOMPARE(m_w.boxes.size(), 0);
        const QByteArray stored = testing_support::readFile(kZhangSan);
        QVERIFY(!stored.contains(gbk::encode(u"自己"_s)));
        QVERIFY(!stored.contains("\\rtf"));
        const auto unzip = testing_support::run(testing_support::unzipProgram(),
                                                {u"-p"_s, u"-P"_s, u"qmt90315526hzrp"_s, kZhangSan});
        QVERIFY(!unzip.out.contains(gbk::encode(u"自己"_s)));
        list()->selectRow(0);
        list()->See->trigger();
        QCOMPARE(m_w.page(), m_w.form->TabSheet1());
        QCOMPARE(write()->RichEdit1->toPlainText(), u"只给自己看的话"_s);
        click(4);

        printSelectedRow();

        // A new password: only the comment changes, the window's key still fits.
        const QByteArray before = withoutComment(kZhangSan);
        m_answers = {u"first"_s};
        withDialog([](TForm2 *dialog) {
            typeText(dialog->Edit1(), kZhangSan);
            dialog->Edit2()->setText(u"second"_s);
            QTest::mouseClick(dialog->Button1(), Qt::LeftButton);
        });
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].text, u"已经完成用户密码的更改操作!"_s);
        QCOMPARE(withoutComment(kZhangSan), before);
        m_w.boxes.clear();

        // Something typed, then ten minutes without input: saved, then everything forgotten.
        list()->selectRow(0);
        list()->See->trigger();
        write()->RichEdit1->selectAll();
        typeText(write()->RichEdit1, u"锁上以前写的"_s);
        m_w.form->autoLock()->setClock([this] { return m_now; });
        m_now += 9 * 60 * 1000;
        m_w.form->autoLock()->check();
        QCOMPARE(m_w.form->diaryPath(), kZhangSan);
        m_now += 60 * 1000;
        m_w.form->autoLock()->check();
        QCOMPARE(m_w.page(), m_w.form->TabSheet3());
        QCOMPARE(m_w.form->diaryPath(), QString());
        QVERIFY(!m_w.form->diaryKey());
        QCOMPARE(list()->rowCount(), 0);
        QVERIFY(write()->RichEdit1->document()->isEmpty());
        QVERIFY(!write()->RichEdit1->document()->isUndoAvailable());
        QVERIFY(list()->RichEdit2->isEmpty());
        QCOMPARE(write()->Label3->text(), QString());
        QVERIFY(!m_w.form->NavBtn(3)->isVisible());
        QCOMPARE(m_w.form->ArchiveWriter1()->ZipName(), QString());
        QCOMPARE(m_w.boxes.size(), 0);

        login(u"first"_s);
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].text, kWrongPassword);
        m_w.boxes.clear();
        login(u"second"_s);
        QVERIFY(m_w.form->diaryKey());
        click(4);
        QCOMPARE(rowTexts(list()->shownRows()), QStringList{u"2003年10月5日|锁上以前写的"_s});
        QCOMPARE(m_w.boxes.size(), 0);
    }

    void theAutoLockPeriodComesFromTheSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("minutes");
        QTest::addRow("no line: ten minutes") << QByteArray() << 10;
        QTest::addRow("two minutes") << QByteArray("autolock=2\r\n") << 2;
        QTest::addRow("zero turns it off") << QByteArray("autolock=0\r\n") << 0;
    }
    void theAutoLockPeriodComesFromTheSettingsFile()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, minutes);
        testing_support::writeFile(m_w.dir->filePath(u"main.ini"_s),
                                   gbk::encode(u"[界面设置]\r\n"_s) + "skin=0\r\n" + line);
        makeOldUser(u"pw"_s);
        start();
        QCOMPARE(m_w.form->autoLock()->minutes(), minutes);
        login(u"pw"_s);
        m_w.form->autoLock()->setClock([this] { return m_now; });
        m_now += qint64(24) * 60 * 60 * 1000;
        m_w.form->autoLock()->check();
        QCOMPARE(m_w.form->diaryPath(), minutes == 0 ? kZhangSan : QString());
        // Input counts as activity: the clock starts over.
        login(u"pw"_s);
        m_now += qint64(minutes) * 60 * 1000 - 1;
        QTest::keyClick(m_w.form->Panel1()->MaskEdit1(), Qt::Key_A);
        m_now += qint64(minutes) * 60 * 1000 - 1;
        m_w.form->autoLock()->check();
        QCOMPARE(m_w.form->diaryPath(), kZhangSan);
    }

    void anUncheckedBoxMakesAnOldFormatDiary()
    {
        start();
        createInDialog(kZhangSan, u"pw"_s, false);
        QCOMPARE(m_codes.size(), 0);
        QCOMPARE(commentOf(kZhangSan).size(), 13);
        login(u"pw"_s);
        QCOMPARE(m_w.form->diaryPath(), kZhangSan);
        QVERIFY(!m_w.form->diaryKey());
    }

    void theRecoveryCodeSetsANewPasswordFromTheDialog()
    {
        start();
        createInDialog(kZhangSan, u"forgotten"_s, true);
        const QString code = m_codes.value(0);
        const QByteArray before = testing_support::readFile(kZhangSan);

        m_answers = {u"0000-0000-0000-0000-0000-0000"_s};
        withDialog([](TForm2 *dialog) {
            typeText(dialog->Edit1(), kZhangSan);
            dialog->Edit2()->setText(u"new"_s);
            QTest::mouseClick(dialog->Button3(), Qt::LeftButton);
        });
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].text, u"恢复码不正确，密码没有更改!"_s);
        QCOMPARE(testing_support::readFile(kZhangSan), before);
        m_w.boxes.clear();

        m_answers = {code.toLower()};
        withDialog([](TForm2 *dialog) {
            typeText(dialog->Edit1(), kZhangSan);
            dialog->Edit2()->setText(u"new"_s);
            QTest::mouseClick(dialog->Button3(), Qt::LeftButton);
            QVERIFY(!dialog->isVisible());
        });
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].text, u"已经用恢复码设置了新密码，旧密码从此失效!"_s);
        m_w.boxes.clear();
        login(u"forgotten"_s);
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].text, kWrongPassword);
        login(u"new"_s);
        QVERIFY(m_w.form->diaryKey());
    }

    // Converting the logged-in diary locks it: the key the window holds no longer fits.
    void convertingBothWaysFromTheDialog()
    {
        makeOldUser(u"pw"_s);
        {
            TArchiveWriter writer;
            writer.SetZipName(kZhangSan);
            diary::storeEntry(writer, gbk::encode(u"2003年9月26日"_s), "{\\rtf1 0\\par 0\\par kept}");
        }
        testing_support::writeFile(u".张三.Ab12Cd.tmp"_s, testing_support::readFile(kZhangSan));
        start();
        login(u"pw"_s);

        m_answers = {u"pw"_s};
        withDialog([](TForm2 *dialog) {
            typeText(dialog->Edit1(), kZhangSan);
            QTest::mouseClick(dialog->Button2(), Qt::LeftButton);
            QVERIFY(!dialog->isVisible());
        });
        QCOMPARE(m_codes.size(), 1);
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].text, u"这本日记已经受加密保护，从此只有凭密码才能阅读!\n"
                                  u"程序早先留下的1个未加密的日记副本已经删除。"_s);
        QVERIFY(!QFileInfo::exists(u".张三.Ab12Cd.tmp"_s));
        QCOMPARE(m_w.form->diaryPath(), QString());
        QVERIFY(!testing_support::readFile(kZhangSan).contains("kept"));
        m_w.boxes.clear();

        login(u"pw"_s);
        QVERIFY(m_w.form->diaryKey());
        click(4);
        QCOMPARE(rowTexts(list()->shownRows()), QStringList{u"2003年9月26日|kept"_s});

        m_answers = {u"pw"_s};
        withDialog([](TForm2 *dialog) {
            typeText(dialog->Edit1(), kZhangSan);
            QTest::mouseClick(dialog->Button2(), Qt::LeftButton);
        });
        QCOMPARE(m_w.boxes.size(), 2);
        QCOMPARE(m_w.boxes[0].icon, QMessageBox::Warning);
        QVERIFY(m_w.boxes[0].text.startsWith(u"取消加密后，任何能接触这台电脑的人都能读到这本日记。"_s));
        QCOMPARE(m_w.boxes[1].text, u"这本日记已经取消加密，恢复为旧的保存方式!"_s);
        QCOMPARE(commentOf(kZhangSan).size(), 13);
        QCOMPARE(m_w.form->diaryPath(), QString());
        login(u"pw"_s);
        QVERIFY(!m_w.form->diaryKey());
        click(4);
        QCOMPARE(rowTexts(list()->shownRows()), QStringList{u"2003年9月26日|kept"_s});
    }

    // Another program makes the logged-in diary private behind the window's back: the window
    // does not read its sealed entries the old way (which would only say "Unknown Compression
    // Method" for each) but says that the diary needs its password, and writes nothing.
    void aDiaryMadePrivateBehindTheWindowsBackIsNeverReadTheOldWay()
    {
        makeOldUser(u"pw"_s);
        {
            TArchiveWriter writer;
            writer.SetZipName(kZhangSan);
            diary::storeEntry(writer, gbk::encode(u"2003年9月26日"_s), "{\\rtf1 0\\par 0\\par kept}");
        }
        start();
        login(u"pw"_s);
        {
            TArchiveWriter other;
            TPassCipher cipher;
            cipher.SetSalt(accounts::kPasswordSalt);
            QVERIFY(accounts::protectUser(other, cipher, kZhangSan, u"pw"_s));
        }
        const QByteArray sealed = testing_support::readFile(kZhangSan);
        click(4);
        QCOMPARE(list()->rowCount(), 0);
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].text, u"这本日记受加密保护，需要密码才能打开!"_s);
        m_w.boxes.clear();
        click(3);
        typeText(write()->RichEdit1, u"不会以旧方式写入"_s);
        write()->Action1->trigger();
        QCOMPARE(testing_support::readFile(kZhangSan), sealed);
        for (const msgbox::Shown &box : std::as_const(m_w.boxes))
            QVERIFY2(!box.text.contains(u"Unknown Compression Method"_s), qPrintable(box.text));
    }

    void theRecoveryCodeDialogShowsAndCopiesTheCode()
    {
        const QString code = u"7KQ2-M9XD-0VHT-3BRC-WN5E-PG8A"_s;
        RecoveryCodeDialog dialog(kZhangSan, code);
        QStringList groups;
        for (const QLabel *group : dialog.groupLabels()) {
            groups << group->text();
            QVERIFY(group->font().pixelSize() >= 20);
        }
        QCOMPARE(groups.join(u'-'), code);
        QTest::mouseClick(dialog.copyButton(), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), code);
        QCOMPARE(dialog.printButton()->text(), u"打印"_s);
    }

    // The settings dialog's rewrites of a diary keep the diary as it was, as saves do: a new
    // password from the recovery code, and the change back to the old format.
    void theSettingsDialogsRewritesKeepAVersionFirst()
    {
        QDateTime now = QDateTime::currentDateTimeUtc();
        versions::setClock([&now] { return now; });
        const auto resetClock = qScopeGuard([] { versions::setClock({}); });
        start();
        createInDialog(kZhangSan, u"forgotten"_s, true);
        const QString code = m_codes.value(0);
        const QByteArray before = testing_support::readFile(kZhangSan);
        QVERIFY(versions::list(kZhangSan).isEmpty());
        m_answers = {code};
        withDialog([](TForm2 *dialog) {
            typeText(dialog->Edit1(), kZhangSan);
            dialog->Edit2()->setText(u"new"_s);
            QTest::mouseClick(dialog->Button3(), Qt::LeftButton);
        });
        QCOMPARE(m_w.boxes.value(0).text, u"已经用恢复码设置了新密码，旧密码从此失效!"_s);
        QList<versions::Version> kept = versions::list(kZhangSan);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(testing_support::readFile(kept[0].path), before);

        // A day later the change to the old format keeps the private diary as it was.
        now = now.addDays(2);
        const QByteArray sealed = testing_support::readFile(kZhangSan);
        m_answers = {u"new"_s};
        withDialog([](TForm2 *dialog) {
            typeText(dialog->Edit1(), kZhangSan);
            QTest::mouseClick(dialog->Button2(), Qt::LeftButton);
        });
        kept = versions::list(kZhangSan);
        TArchiveReader reader;
        reader.SetZipName(kZhangSan);
        reader.OpenArchive();
        QVERIFY(!PrivateHeader::isPrivate(reader.ArchiveCommentBytes()));
        QCOMPARE(kept.size(), 2);
        QCOMPARE(testing_support::readFile(kept[0].path), sealed);
    }

private:
    void start()
    {
        m_w.form = std::make_unique<TForm1>();
        m_w.form->Form2()->setOldPasswordPrompt([this](QWidget *, const QString &, const QString &) {
            return m_answers.isEmpty() ? std::nullopt : std::optional<QString>(m_answers.takeFirst());
        });
        m_w.form->Form2()->setCodeDisplay(
            [this](QWidget *, const QString &, const QString &code) { m_codes.append(code); });
        m_w.form->show();
        m_w.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_w.form.get()));
    }

    void makeOldUser(const QString &password)
    {
        TArchiveWriter archive;
        TPassCipher cipher;
        cipher.SetSalt(accounts::kPasswordSalt);
        accounts::createUserArchive(archive, cipher, kZhangSan, password);
        writeUserList({kZhangSan});
    }

    void createInDialog(const QString &name, const QString &password, bool makePrivate)
    {
        withDialog([&](TForm2 *dialog) {
            QVERIFY(dialog->CheckBox1()->isChecked());
            QCOMPARE(dialog->CheckBox1()->text(), u"加密保护（仅凭密码才能阅读）"_s);
            dialog->CheckBox1()->setChecked(makePrivate);
            typeText(dialog->Edit1(), name);
            dialog->Edit2()->setText(password);
            QTest::mouseClick(dialog->Button1(), Qt::LeftButton);
            QVERIFY(!dialog->isVisible());
        });
    }

    void withDialog(const std::function<void(TForm2 *)> &drive)
    {
        TForm2 *dialog = m_w.form->Form2();
        bool ran = false;
        QTimer::singleShot(0, dialog, [&] {
            ran = true;
            if (QTest::qWaitFor([dialog] { return QApplication::activeWindow() == dialog; }))
                drive(dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        QTest::mouseClick(m_w.form->Panel1()->Button2(), Qt::LeftButton);
        QVERIFY(ran);
        m_w.form->activateWindow();
        QVERIFY(QTest::qWaitFor([this] { return QApplication::activeWindow() == m_w.form.get(); }));
    }

    void login(const QString &password)
    {
        if (m_w.page() != m_w.form->TabSheet3())
            click(5);
        QComboBox *users = m_w.form->Panel1()->ComboBox1();
        users->setCurrentIndex(users->findText(kZhangSan));
        m_w.form->Panel1()->MaskEdit1()->setText(password);
        QTest::mouseClick(m_w.form->Panel1()->Button1(), Qt::LeftButton);
    }

    // Prints the selected row into a PDF file (no printer here): the entry opens, prints and the
    // list comes back.
    void printSelectedRow()
    {
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", m_w.dir->path().toLocal8Bit());
        const auto restoreHome = qScopeGuard([&home] { qputenv("HOME", home); });
        list()->selectRow(0);
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&answer] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                answer.stop();
                dialog->accept();
            }
        });
        answer.start(5);
        list()->N3->trigger();
        QVERIFY(!answer.isActive());
        QCOMPARE(m_w.boxes.size(), 0);
        QCOMPARE(m_w.page(), m_w.form->TabSheet2());
        QVERIFY(QFileInfo(write()->printer().outputFileName()).size() > 0);
    }

    static QByteArray withoutComment(const QString &name)
    {
        const QByteArray bytes = testing_support::readFile(name);
        return bytes.left(bytes.size() - commentOf(name).size() - 2);
    }

    void click(int navButton) { QTest::mouseClick(m_w.form->NavBtn(navButton), Qt::LeftButton); }
    TWritePage *write() const { return m_w.form->WritePage(); }
    TListPage *list() const { return m_w.form->ListPage(); }

    WindowFixture m_w;
    QStringList m_answers;
    QStringList m_codes;
    qint64 m_now = 0;
};

QTEST_MAIN(TestPrivateWindow)
#include "tst_private.moc"
