#include "accounts/login.h"
#include "accounts/login_panel.h"
#include "accounts/pass_cipher.h"
#include "accounts/user_list.h"
#include "accounts/user_settings_dialog.h"
#include "app/main_form.h"
#include "archive/archive_writer.h"
#include "platform/gbk.h"
#include "platform/message_box.h"
#include "settings/ini.h"
#include "support/test_support.h"
#include "widgets/link_label.h"
#include "widgets/nav_button.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QInputDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>
#include <optional>

using testing_support::readFile;
using testing_support::writeFile;

namespace {

const QString kZhangSan = QStringLiteral("张三");
const QString kLiSi = QStringLiteral("李四");
const QString kChooseOrCreate = QStringLiteral("请先选择或新建一个用户!");
const QString kWrongPassword = QStringLiteral("密码不正确，请重新输入密码!");
const QString kOldPasswordWrong = QStringLiteral("旧密码不正确，更改用户密码失败!");

QByteArray token(const QString &password)
{
    return passwordToken(gbk::encode(password), "53");
}

// Chinese reaches an edit through the input method, committed as a whole.
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

} // namespace

// The login page and the user settings dialog of a real main window, offscreen, in a working
// folder of its own; message boxes are read through the message-box service.
class TestLogin : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        QVERIFY(QDir(m_root->path()).mkdir(QStringLiteral("work")));
        m_previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_root->filePath(QStringLiteral("work"))));
        ini::setSettingsPath(m_root->filePath(QStringLiteral("main.ini")));
        m_boxes.clear();
        m_prompts = 0;
        msgbox::setInterceptor([this](const msgbox::Shown &box) {
            m_boxes.append(box);
            return QMessageBox::Ok;
        });
    }
    void cleanup()
    {
        m_form.reset();
        msgbox::setInterceptor({});
        QDir::setCurrent(m_previous);
    }

    void theLoginPanelStandsOnTheLoginPage()
    {
        start();
        TLoginPanel *panel = m_form->Panel1();
        QCOMPARE(panel->parentWidget(), m_form->TabSheet3());
        QCOMPARE(panel->geometry(), QRect(160, 47, 225, 122));
        QVERIFY(!panel->ComboBox1()->isEditable());
        QLineEdit *password = panel->MaskEdit1();
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QCOMPARE(password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password),
                 int('*'));
        QCOMPARE(password->palette().color(QPalette::Text), QColor(Qt::red));
        QCOMPARE(m_form->PassCipher1()->Salt(), QStringLiteral("53"));

        // The panel keeps its size and stays in the middle when the page grows.
        m_form->resize(800, 600);
        QCOMPARE(panel->size(), QSize(225, 122));
        QCOMPARE(panel->x(), 160 + (712 - 547) / 2);
    }

    void aFirstStartOffersNoUserAndTheLoginAsksForOne()
    {
        start();
        QComboBox *users = m_form->Panel1()->ComboBox1();
        QCOMPARE(users->count(), 0);
        QCOMPARE(users->currentIndex(), -1);
        QCOMPARE(QApplication::focusWidget(), m_form->Panel1()->MaskEdit1());

        QTest::keyClicks(m_form->Panel1()->MaskEdit1(), QStringLiteral("secret"));
        QTest::mouseClick(m_form->Panel1()->Button1(), Qt::LeftButton);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, kChooseOrCreate);
        QCOMPARE(m_boxes[0].caption, QStringLiteral("羽书手札"));
        QCOMPARE(m_boxes[0].icon, QMessageBox::Warning);
        QVERIFY(m_boxes[0].hasOwner);
        expectLoggedOut();
    }

    void aUserCreatedInTheDialogCanLogIn()
    {
        start();
        withDialog([this](TForm2 *dialog) {
            // The old format, on purpose: its token is checked below.
            dialog->CheckBox1()->setChecked(false);
            typeText(dialog->Edit1(), kZhangSan);
            QTest::keyClick(dialog->Edit1(), Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget(), dialog->Edit2());
            QTest::keyClicks(dialog->Edit2(), QStringLiteral("secret"));
            QTest::keyClick(dialog->Edit2(), Qt::Key_Return);
            QVERIFY(!dialog->isVisible());
        });
        QCOMPARE(m_boxes.size(), 0);
        QCOMPARE(readFile(QStringLiteral("Diary.dat")), QByteArray("\xD5\xC5\xC8\xFD\r\n"));
        const QByteArray comment = commentOf(kZhangSan);
        QCOMPARE(comment.size(), 13);
        QVERIFY(comment.startsWith("53"));
        QCOMPARE(comment, token(QStringLiteral("secret")));
        TArchiveReader reader;
        reader.SetZipName(kZhangSan);
        reader.OpenArchive();
        QCOMPARE(reader.EntryCount(), 0);

        // Appended to the drop-down and picked, the password box focused: 登录 works at once.
        QComboBox *users = m_form->Panel1()->ComboBox1();
        QCOMPARE(users->count(), 1);
        QCOMPARE(users->currentText(), kZhangSan);
        QCOMPARE(QApplication::focusWidget(), m_form->Panel1()->MaskEdit1());
        QTest::keyClicks(m_form->Panel1()->MaskEdit1(), QStringLiteral("secret"));
        QTest::keyClick(m_form->Panel1()->MaskEdit1(), Qt::Key_Return);
        QCOMPARE(m_boxes.size(), 0);
        expectLoggedIn(kZhangSan);
    }

    // Another copy of the program (another display, or another account sharing the folder)
    // adds a user after this window read the list: creating a user here keeps that one.
    void aUserCreatedHereKeepsTheUsersAnotherCopyAddedMeanwhile()
    {
        makeUser(kZhangSan, QStringLiteral("one"));
        start();
        QCOMPARE(m_form->Panel1()->ComboBox1()->count(), 1);
        makeUser(kLiSi, QStringLiteral("two"));
        withDialog([](TForm2 *dialog) {
            dialog->CheckBox1()->setChecked(false);
            typeText(dialog->Edit1(), QStringLiteral("王五"));
            dialog->Edit2()->setText(QStringLiteral("three"));
            QTest::mouseClick(dialog->Button1(), Qt::LeftButton);
            QVERIFY(!dialog->isVisible());
        });
        QCOMPARE(m_boxes.size(), 0);
        QCOMPARE(readUserList(), (QStringList{kZhangSan, kLiSi, QStringLiteral("王五")}));
    }

    void theLoginPageRefillsFromTheUserListWheneverItIsShown()
    {
        makeUser(kZhangSan, QStringLiteral("one"));
        makeUser(kLiSi, QStringLiteral("two"));
        start();
        QComboBox *users = m_form->Panel1()->ComboBox1();
        QCOMPARE(users->count(), 2);
        QCOMPARE(users->currentText(), kZhangSan);

        users->setCurrentIndex(1);
        QTest::keyClicks(m_form->Panel1()->MaskEdit1(), QStringLiteral("typed"));
        writeFile(QStringLiteral("Diary.dat"), gbk::encode(QStringLiteral("王五\r\n张三\r\n")));
        m_form->PageControl1()->setCurrentWidget(m_form->TabSheet2());
        QTest::mouseClick(m_form->NavBtn(5), Qt::LeftButton, {}, QPoint(38, 30));
        QCOMPARE(m_form->PageControl1()->currentWidget(), m_form->TabSheet3());
        QCOMPARE(users->count(), 2);
        QCOMPARE(users->itemText(0), QStringLiteral("王五"));
        QCOMPARE(users->currentIndex(), 0);
        QCOMPARE(m_form->Panel1()->MaskEdit1()->text(), QString());
        QCOMPARE(QApplication::focusWidget(), m_form->Panel1()->MaskEdit1());

        // A listed name whose diary has gone is no user.
        QTest::keyClicks(m_form->Panel1()->MaskEdit1(), QStringLiteral("one"));
        QTest::mouseClick(m_form->Panel1()->Button1(), Qt::LeftButton);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, kChooseOrCreate);
        expectLoggedOut();
    }

    void aWrongPasswordKeepsThePreviousLogin()
    {
        makeUser(kZhangSan, QStringLiteral("one"));
        makeUser(kLiSi, QStringLiteral("two"));
        start();
        login(0, QStringLiteral("one"));
        QCOMPARE(m_boxes.size(), 0);
        expectLoggedIn(kZhangSan);

        QTest::mouseClick(m_form->NavBtn(5), Qt::LeftButton, {}, QPoint(38, 30));
        login(1, QStringLiteral("one"));
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, kWrongPassword);
        QCOMPARE(m_boxes[0].caption, QStringLiteral("羽书手札"));
        QCOMPARE(m_boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(m_form->Panel1()->MaskEdit1()->text(), QString());
        QCOMPARE(QApplication::focusWidget(), m_form->Panel1()->MaskEdit1());
        QCOMPARE(m_form->PageControl1()->currentWidget(), m_form->TabSheet3());
        expectUser(kZhangSan);

        // The same page, the right password: the other user takes over.
        login(1, QStringLiteral("two"));
        QCOMPARE(m_boxes.size(), 1);
        expectLoggedIn(kLiSi);
    }

    void theDialogEmptiesItsEditsAndAnswersEmptyFields_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focused");
        QTest::addRow("an empty name is asked for whatever the password")
            << QString() << QStringLiteral("pw") << QStringLiteral("　　　请输入用户名!　　　")
            << QStringLiteral("Edit1");
        QTest::addRow("a name without a password asks for the password")
            << kZhangSan << QString() << QStringLiteral("　　　请输入密码!　　　") << QStringLiteral("Edit2");
    }
    void theDialogEmptiesItsEditsAndAnswersEmptyFields()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, message);
        QFETCH(QString, focused);
        start();
        TForm2 *dialog = m_form->Form2();
        dialog->Edit1()->setText(QStringLiteral("left over"));
        dialog->Edit2()->setText(QStringLiteral("left over"));
        withDialog([&](TForm2 *dialog) {
            QCOMPARE(dialog->Edit1()->text(), QString());
            QCOMPARE(dialog->Edit2()->text(), QString());
            QCOMPARE(QApplication::focusWidget(), dialog->Edit1());
            typeText(dialog->Edit1(), name);
            QTest::keyClicks(dialog->Edit2(), password);
            QTest::mouseClick(dialog->Button1(), Qt::LeftButton);
            QVERIFY(dialog->isVisible());
            QCOMPARE(QApplication::focusWidget()->objectName(), focused);
        });
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, message);
        QCOMPARE(m_boxes[0].caption, QStringLiteral("羽书手札"));
        QCOMPARE(m_boxes[0].icon, QMessageBox::NoIcon);
        QVERIFY(m_boxes[0].hasOwner);
        QCOMPARE(testing_support::entriesIn(QDir::currentPath(), QDir::Files | QDir::Hidden), QStringList());
    }

    void theDialogIsLaidOutWithItsOwnCipher()
    {
        start();
        TForm2 *dialog = m_form->Form2();
        QCOMPARE(dialog->parentWidget(), m_form.get());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("用户设置"));
        // The window's part for the logged-in diary (模板, 提醒) is below the designed 313 × 236.
        QCOMPARE(dialog->width(), 313);
        const QWidget *habits = dialog->findChild<QWidget *>(QStringLiteral("HabitSettings"));
        QVERIFY(habits);
        QVERIFY(habits->y() >= 236);
        QCOMPARE(dialog->height(), habits->geometry().bottom() + 9);
        QVERIFY(!(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(dialog->Label1()->text(),
                 QStringLiteral("请在下面的方框中输入用户名：（如果输入的用户名已经存在，则所作的操作为更改用户密码）"));
        QVERIFY(dialog->Label1()->wordWrap());
        QCOMPARE(dialog->Label2()->text(), QStringLiteral("为了保护您的隐私，请设置密码："));
        // Masked, shown only while the eye button is held down.
        QCOMPARE(dialog->Edit2()->echoMode(), QLineEdit::Password);
        auto *reveal = dialog->Edit2()->findChild<QToolButton *>(QStringLiteral("RevealButton"));
        QVERIFY(reveal);
        emit reveal->pressed();
        QCOMPARE(dialog->Edit2()->echoMode(), QLineEdit::Normal);
        emit reveal->released();
        QCOMPARE(dialog->Edit2()->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog->Button1()->text(), QStringLiteral("确定"));
        QCOMPARE(dialog->Button2()->text(), QStringLiteral("加密/取消加密"));
        QCOMPARE(dialog->Button3()->text(), QStringLiteral("忘记密码"));
        QCOMPARE(dialog->CheckBox1()->text(), QStringLiteral("加密保护（仅凭密码才能阅读）"));
        // Every button and the check box lie inside the client area, none over another control.
        for (QWidget *child : dialog->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            QVERIFY2(dialog->rect().contains(child->geometry()), qPrintable(child->objectName()));
            for (QWidget *other : dialog->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                if (other != child && !child->objectName().isEmpty() && !other->objectName().isEmpty())
                    QVERIFY2(!child->geometry().intersects(other->geometry()),
                             qPrintable(child->objectName() + QLatin1Char('/') + other->objectName()));
            }
        }
        QCOMPARE(dialog->PassCipher1()->Salt(), QStringLiteral("53"));
        QVERIFY(dialog->PassCipher1() != m_form->PassCipher1());
    }

    void namesAndPasswordsThatCannotBeStoredAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("error");
        QTest::addRow("a name leaving the working folder")
            << QStringLiteral("../escape") << QStringLiteral("pw") << QStringLiteral("用户名不能包含“/”字符!");
        QTest::addRow("a password GBK cannot hold")
            << kZhangSan << QStringLiteral("pw\U0001F600") << QStringLiteral("密码中含有本程序无法保存的字符!");
    }
    void namesAndPasswordsThatCannotBeStoredAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, error);
        start();
        m_form->Form2()->setOldPasswordPrompt([this](QWidget *, const QString &, const QString &) {
            ++m_prompts;
            return std::optional<QString>(QStringLiteral("pw"));
        });
        withDialog([&](TForm2 *dialog) {
            dialog->Edit1()->setText(name);
            dialog->Edit2()->setText(password);
            QTest::mouseClick(dialog->Button1(), Qt::LeftButton);
            QVERIFY(dialog->isVisible());
        });
        QCOMPARE(m_prompts, 0);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].caption, QStringLiteral("羽书手札"));
        QCOMPARE(m_boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(m_boxes[0].text, error);
        QCOMPARE(testing_support::entriesIn(m_root->path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("main.ini"), QStringLiteral("work")}));
        QCOMPARE(testing_support::entriesIn(QDir::currentPath(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        QCOMPARE(m_form->Panel1()->ComboBox1()->count(), 0);
    }

    void changingAPasswordAsksForTheOldOne_data()
    {
        QTest::addColumn<QString>("oldPassword");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<bool>("changed");
        QTest::addRow("the right old password changes it") << QStringLiteral("old") << false << true;
        QTest::addRow("a wrong old password leaves it") << QStringLiteral("Old") << false << false;
        QTest::addRow("a cancelled input box leaves it") << QStringLiteral("old") << true << false;
    }
    void changingAPasswordAsksForTheOldOne()
    {
        QFETCH(QString, oldPassword);
        QFETCH(bool, cancelled);
        QFETCH(bool, changed);
        makeUser(kZhangSan, QStringLiteral("old"));
        addEntry(kZhangSan, "entry of the day");
        makeUser(kLiSi, QStringLiteral("two"));
        const QByteArray before = readFile(kZhangSan);
        const QByteArray list = readFile(QStringLiteral("Diary.dat"));
        start();
        // Someone else is logged in the whole time.
        login(1, QStringLiteral("two"));
        expectLoggedIn(kLiSi);

        QStringList asked;
        m_form->Form2()->setOldPasswordPrompt(
            [&](QWidget *parent, const QString &caption, const QString &prompt) {
                asked << caption << prompt;
                [&] { QCOMPARE(parent, m_form->Form2()); }();
                return cancelled ? std::nullopt : std::optional<QString>(oldPassword);
            });
        withDialog([&](TForm2 *dialog) {
            typeText(dialog->Edit1(), kZhangSan);
            QTest::keyClicks(dialog->Edit2(), QStringLiteral("new"));
            QTest::mouseClick(dialog->Button1(), Qt::LeftButton);
            QVERIFY(!dialog->isVisible());
        });
        QCOMPARE(asked, (QStringList{QStringLiteral("更改密码操作"), QStringLiteral("请输入旧密码:　　")}));
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].caption, QStringLiteral("羽书手札"));
        QCOMPARE(m_boxes[0].icon, QMessageBox::NoIcon);
        if (changed) {
            QCOMPARE(m_boxes[0].text, QStringLiteral("已经完成用户密码的更改操作!"));
            const QByteArray after = readFile(kZhangSan);
            QCOMPARE(after.chopped(13), before.chopped(13));
            QCOMPARE(commentOf(kZhangSan), token(QStringLiteral("new")));
        } else {
            QCOMPARE(m_boxes[0].text, kOldPasswordWrong);
            QCOMPARE(readFile(kZhangSan), before);
        }
        QCOMPARE(readFile(QStringLiteral("Diary.dat")), list);
        QCOMPARE(m_form->Panel1()->ComboBox1()->count(), 2);
        expectUser(kLiSi);
    }

    void theOldPasswordBoxTakesAtMost255CharactersMasked()
    {
        QWidget owner;
        std::optional<QString> answer;
        const QString typed(300, QLatin1Char('p'));
        QString title, label;
        int maxLength = 0;
        QLineEdit::EchoMode echo = QLineEdit::NoEcho;
        QString initial = QStringLiteral("unset");
        QStringList buttons;
        QTimer::singleShot(0, &owner, [&] {
            auto *box = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            QVERIFY(box);
            auto *edit = box->findChild<QLineEdit *>();
            QVERIFY(edit);
            title = box->windowTitle();
            label = box->labelText();
            maxLength = edit->maxLength();
            echo = edit->echoMode();
            initial = edit->text();
            for (QPushButton *button : box->findChildren<QPushButton *>())
                buttons << button->text();
            QTest::keyClicks(edit, typed);
            box->accept();
        });
        answer = TForm2::askOldPassword(&owner, QStringLiteral("更改密码操作"), QStringLiteral("请输入旧密码:　　"));
        QCOMPARE(title, QStringLiteral("更改密码操作"));
        QCOMPARE(label, QStringLiteral("请输入旧密码:　　"));
        QCOMPARE(maxLength, 255);
        QCOMPARE(echo, QLineEdit::Password);
        buttons.sort();
        QCOMPARE(buttons, QStringList({QStringLiteral("取消"), QStringLiteral("确定")}));
        QCOMPARE(initial, QString());
        QVERIFY(answer.has_value());
        QCOMPARE(*answer, typed.left(255));

        QTimer::singleShot(0, &owner, [] {
            if (auto *box = qobject_cast<QInputDialog *>(QApplication::activeModalWidget()))
                box->reject();
        });
        answer = TForm2::askOldPassword(&owner, QStringLiteral("t"), QStringLiteral("p"));
        QVERIFY(!answer.has_value());
    }

private:
    void start()
    {
        m_form = std::make_unique<TForm1>();
        m_form->show();
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }

    // A user as the dialog would create one, listed in "Diary.dat".
    void makeUser(const QString &name, const QString &password)
    {
        TArchiveWriter archive;
        TPassCipher cipher;
        cipher.SetSalt(accounts::kPasswordSalt);
        accounts::createUserArchive(archive, cipher, name, password);
        QStringList names;
        if (QFile::exists(kUserListFileName))
            names = readUserList();
        writeUserList(names << name);
    }

    static void addEntry(const QString &archive, QByteArray data)
    {
        TArchiveWriter writer;
        writer.SetZipName(archive);
        writer.SetPassword(accounts::kArchivePassword);
        QBuffer stream(&data);
        stream.open(QIODevice::ReadOnly);
        writer.AddFromStream(QStringLiteral("2003年11月29日"), stream);
    }

    // Picks the user at index, types the password and clicks "登录".
    void login(int index, const QString &password)
    {
        m_form->Panel1()->ComboBox1()->setCurrentIndex(index);
        QLineEdit *edit = m_form->Panel1()->MaskEdit1();
        edit->clear();
        QTest::keyClicks(edit, password);
        QTest::mouseClick(m_form->Panel1()->Button1(), Qt::LeftButton);
    }

    // Clicks "管理" and drives the modal dialog from inside its loop; a dialog that drive left
    // open is closed afterwards so the test goes on.
    void withDialog(const std::function<void(TForm2 *)> &drive)
    {
        TForm2 *dialog = m_form->Form2();
        bool ran = false;
        QTimer::singleShot(0, dialog, [&] {
            ran = true;
            QVERIFY(dialog->isVisible());
            if (QTest::qWaitFor([dialog] { return QApplication::activeWindow() == dialog; }))
                drive(dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        QTest::mouseClick(m_form->Panel1()->Button2(), Qt::LeftButton);
        QVERIFY(ran);
        QVERIFY(!dialog->isVisible());
        // The offscreen platform hands activation back to nobody; a desktop gives it to the owner.
        m_form->activateWindow();
        QVERIFY(QTest::qWaitFor([this] { return QApplication::activeWindow() == m_form.get(); }));
    }

    void expectLoggedOut()
    {
        QCOMPARE(m_form->windowTitle(), QStringLiteral("羽书手札2003.11.29版"));
        QVERIFY(!m_form->NavBtn(3)->isVisible());
        QVERIFY(!m_form->NavBtn(4)->isVisible());
        QCOMPARE(m_form->PageControl1()->currentWidget(), m_form->TabSheet3());
        expectUser(QString());
    }

    void expectLoggedIn(const QString &name)
    {
        QCOMPARE(m_form->PageControl1()->currentWidget(), m_form->TabSheet2());
        expectUser(name);
    }

    // The state that names who is logged in, the page aside.
    void expectUser(const QString &name)
    {
        QCOMPARE(m_form->diaryPath(), name);
        QCOMPARE(m_form->ArchiveReader1()->ZipName(), name);
        QCOMPARE(m_form->ArchiveWriter1()->ZipName(), name);
        if (name.isEmpty())
            return;
        QCOMPARE(m_form->windowTitle(), QStringLiteral("羽书手札（2003版）★★★当前用户：") + name);
        QVERIFY(m_form->NavBtn(3)->isVisible());
        QVERIFY(m_form->NavBtn(4)->isVisible());
    }

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_previous;
    QList<msgbox::Shown> m_boxes;
    int m_prompts = 0;
    std::unique_ptr<TForm1> m_form;
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
