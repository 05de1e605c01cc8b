#pragma once

// The set-up every test of the real main window needs: a working folder of its own (the diaries
// and main.ini go there), message boxes recorded instead of shown (answered with answer), a fixed
// "today", users made by the accounts logic, the window shown and logged in through its panel.
// A test class holds a WindowFixture and calls setUp() from init() and tearDown() from cleanup().

#include "accounts/login.h"
#include "accounts/login_panel.h"
#include "accounts/pass_cipher.h"
#include "accounts/user_list.h"
#include "app/main_form.h"
#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "platform/message_box.h"
#include "settings/ini.h"
#include "widgets/nav_button.h"

#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <utility>

struct WindowFixture {
    using Entries = QList<std::pair<QString, QByteArray>>;

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<TForm1> form;
    QList<msgbox::Shown> boxes;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    QDate today;
    QString previous;

    bool setUp()
    {
        dir = std::make_unique<QTemporaryDir>();
        if (!dir->isValid())
            return false;
        previous = QDir::currentPath();
        if (!QDir::setCurrent(dir->path()))
            return false;
        ini::setSettingsPath(dir->filePath(QStringLiteral("main.ini")));
        boxes.clear();
        answer = QMessageBox::Ok;
        today = QDate(2003, 10, 5);
        msgbox::setInterceptor([this](const msgbox::Shown &box) {
            boxes.append(box);
            return box.buttons.testFlag(answer) ? answer : QMessageBox::Ok;
        });
        diary::setClock([this] { return today; });
        return true;
    }

    void tearDown()
    {
        form.reset();
        msgbox::setInterceptor({});
        diary::setClock({});
        QDir::setCurrent(previous);
    }

    void createUser(const QString &name, const QString &password, const Entries &entries = {})
    {
        TArchiveWriter writer;
        TPassCipher cipher;
        cipher.SetSalt(accounts::kPasswordSalt);
        accounts::createUserArchive(writer, cipher, name, password);
        for (const auto &[entry, record] : entries)
            diary::storeEntry(writer, gbk::encode(entry), record);
        QStringList users = files::exists(kUserListFileName) ? readUserList() : QStringList();
        writeUserList(users << name);
    }

    bool start()
    {
        form = std::make_unique<TForm1>();
        form->show();
        return QTest::qWaitForWindowActive(form.get());
    }

    // Through the panel, as a mouse user does; true when the user is logged in.
    bool login(const QString &name, const QString &password)
    {
        QComboBox *users = form->Panel1()->ComboBox1();
        users->setCurrentIndex(users->findText(name));
        form->Panel1()->MaskEdit1()->setText(password);
        QTest::mouseClick(form->Panel1()->Button1(), Qt::LeftButton);
        return form->diaryPath() == name;
    }

    QWidget *page() const { return form->PageControl1()->currentWidget(); }
};
