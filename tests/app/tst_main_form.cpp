#include "app/help_window.h"
#include "app/main_form.h"
#include "app/startup.h"
#include "platform/gbk.h"
#include "platform/message_box.h"
#include "settings/ini.h"
#include "skin/skin_data.h"
#include "support/test_support.h"
#include "widgets/nav_button.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTranslator>
#include <memory>

using testing_support::readFile;
using testing_support::writeFile;

namespace {

QByteArray settingsBytes(const char *skinLine)
{
    return "\r\n" + gbk::encode(QStringLiteral("[界面设置]")) + "\r\n" + skinLine + "\r\n";
}

// The settings file without the window's place, which every close stores besides the skin.
QByteArray withoutWindowPlace(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeIf([](const QByteArray &line) { return line.startsWith("geometry="); });
    return lines.join('\n');
}

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_settings = m_dir->filePath(QStringLiteral("main.ini"));
        ini::setSettingsPath(m_settings);
        m_boxes.clear();
        msgbox::setInterceptor([this](const msgbox::Shown &box) {
            m_boxes.append(box);
            return QMessageBox::Ok;
        });
    }
    void cleanup()
    {
        m_form.reset();
        msgbox::setInterceptor({});
        setApplicationHelpFile(QStringLiteral(":/help/quillbook.html"));
    }

    void opensLoggedOutWithTheColumnAndPagesInPlace()
    {
        start();
        QCOMPARE(m_boxes.size(), 0);
        QCOMPARE(m_form->windowTitle(), QStringLiteral("羽书手札2003.11.29版"));
        QCOMPARE(m_form->centralWidget()->size(), QSize(635, 448));

        const QStringList captions = {QStringLiteral("写日记"), QStringLiteral("看日记"),
                                      QStringLiteral("用户登录"), QStringLiteral("帮助"),
                                      QStringLiteral("关于...")};
        for (int n = 3; n <= 7; ++n) {
            TNavButton *button = m_form->NavBtn(n);
            QCOMPARE(button->objectName(), QStringLiteral("NavBtn%1").arg(n));
            QCOMPARE(button->Caption(), captions[n - 3]);
            QCOMPARE(button->mapTo(m_form.get(), QPoint(0, 0)), QPoint(4, 6 + 72 * (n < 5 ? n - 3 : n - 2)));
            QCOMPARE(button->size(), QSize(77, 65));
            QCOMPARE(button->Style(), BStyle::bsFlat);
            QCOMPARE(button->Bitmap().size(), QSize(32, 32));
            QCOMPARE(button->palette().color(QPalette::WindowText), QColor(Qt::blue));
            QCOMPARE(button->isVisible(), n >= 5);
        }
        QVERIFY2(m_form->NavBtn(5)->Bitmap().toImage() != m_form->NavBtn(6)->Bitmap().toImage(),
                 "each button has a picture of its own");

        QStackedWidget *pages = m_form->PageControl1();
        QCOMPARE(pages->geometry(), QRect(88, 0, 547, 448));
        QCOMPARE(pages->widget(0), m_form->TabSheet1());
        QCOMPARE(pages->widget(1), m_form->TabSheet2());
        QCOMPARE(pages->widget(2), m_form->TabSheet3());
        QCOMPARE(pages->currentWidget(), m_form->TabSheet3());
        QCOMPARE(m_form->diaryPath(), QString());

        QGroupBox *group = m_form->GroupBox1();
        QCOMPARE(group->title(), QStringLiteral("皮肤设置"));
        QCOMPARE(group->size(), QSize(225, 185));
        QVERIFY2(!group->geometry().intersects(QRect(160, 47, 225, 122)), "room for the login panel");
        QCOMPARE(m_form->RadioButton(7)->text(), QStringLiteral("皮肤七"));
        QVERIFY(m_form->RadioButton(1)->isChecked());

        // The status bar takes its own height at the foot of the window.
        m_form->resize(800, 600);
        QCOMPARE(pages->geometry(), QRect(88, 0, 712, 600 - m_form->statusBar()->height()));
        QCOMPARE(m_form->NavBtn(7)->mapTo(m_form.get(), QPoint(0, 0)), QPoint(4, 366));
    }

    void startsWithTheStoredSkinAndWritesItBackAtClose_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("checked");
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QByteArray>("written");

        QTest::addRow("no settings file starts with the first skin")
            << QByteArray() << 1 << QStringLiteral("SkinItem0") << QString() << settingsBytes("skin=0");
        QTest::addRow("skin 3 starts with the fourth skin checked")
            << settingsBytes("skin=3") << 4 << QStringLiteral("SkinItem3") << QString()
            << settingsBytes("skin=3");
        // Closing changes the skin's line only: the other sections stay.
        QTest::addRow("a value beside other sections and in any letter case is found")
            << QByteArray("[other]\r\nskin=8\r\n" + gbk::encode(QStringLiteral("[界面设置]"))
                          + "\r\nSKIN = 9\r\n")
            << 10 << QStringLiteral("SkinItem9") << QString()
            << QByteArray("[other]\r\nskin=8\r\n" + gbk::encode(QStringLiteral("[界面设置]")) + "\r\nskin=9\r\n");
        QTest::addRow("skin 12 keeps the first skin and is written back")
            << settingsBytes("skin=12") << 1 << QStringLiteral("SkinItem0") << QString()
            << settingsBytes("skin=12");
        QTest::addRow("a value that is no number is reported and the first skin stays")
            << settingsBytes("skin=abc") << 1 << QStringLiteral("SkinItem0")
            << QStringLiteral("'abc' is not a valid integer value.") << settingsBytes("skin=0");
        QTest::addRow("a negative value is reported by the skin engine")
            << settingsBytes("skin=-1") << 1 << QStringLiteral("SkinItem0")
            << QStringLiteral("List index out of bounds (-1)") << settingsBytes("skin=-1");
    }
    void startsWithTheStoredSkinAndWritesItBackAtClose()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, checked);
        QFETCH(QString, skin);
        QFETCH(QString, box);
        QFETCH(QByteArray, written);

        if (!stored.isEmpty())
            writeFile(m_settings, stored);
        start();
        if (box.isEmpty()) {
            QCOMPARE(m_boxes.size(), 0);
        } else {
            QCOMPARE(m_boxes.size(), 1);
            QCOMPARE(m_boxes[0].caption, QStringLiteral("羽书手札"));
            QCOMPARE(m_boxes[0].icon, QMessageBox::Critical);
            QCOMPARE(m_boxes[0].text, box);
        }
        for (int n = 1; n <= 10; ++n)
            QCOMPARE(m_form->RadioButton(n)->isChecked(), n == checked);
        QCOMPARE(m_form->SkinData1()->currentName(), skin);
        QCOMPARE(qApp->styleSheet(), m_form->SkinData1()->current().styleSheet);
        // Whatever the setting, the window opens logged out on the login page.
        QCOMPARE(m_form->PageControl1()->currentWidget(), m_form->TabSheet3());
        QVERIFY(!m_form->NavBtn(3)->isVisible());
        QVERIFY(!m_form->NavBtn(4)->isVisible());

        QVERIFY(m_form->close());
        QCOMPARE(withoutWindowPlace(readFile(m_settings)), written);
    }

    void choosingASkinAppliesItAtOnceAndClosingStoresExactlyIt()
    {
        start();
        QRadioButton *seventh = m_form->RadioButton(7);
        QTest::mouseClick(seventh, Qt::LeftButton, {}, QPoint(6, seventh->height() / 2));
        QVERIFY(seventh->isChecked());
        QCOMPARE(m_form->SkinData1()->currentName(), QStringLiteral("SkinItem6"));
        QCOMPARE(m_form->skinIndex(), 6);
        QCOMPARE(readFile(m_settings), QByteArray()); // stored only at close

        QVERIFY(m_form->close());
        QCOMPARE(withoutWindowPlace(readFile(m_settings)), settingsBytes("skin=6"));
        QCOMPARE(testing_support::entriesIn(m_dir->path(), QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("main.ini")});
    }

    void aSettingsFileThatCannotBeWrittenIsReportedAndTheWindowStillCloses()
    {
        start();
        QFile::remove(m_settings);
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("main.ini")));
        QVERIFY(m_form->close());
        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(m_boxes[0].text, QStringLiteral("设置文件“%1”：没有权限读写文件!").arg(m_settings));
    }

    void theLoginButtonBringsTheLoginPageBack()
    {
        start();
        m_form->PageControl1()->setCurrentWidget(m_form->TabSheet2());
        TNavButton *login = m_form->NavBtn(5);
        QTest::mouseClick(login, Qt::LeftButton, {}, QPoint(38, 30));
        QCOMPARE(m_form->PageControl1()->currentWidget(), m_form->TabSheet3());
    }

    void helpShowsTheProgramsOwnDocument()
    {
        start();
        QTest::mouseClick(m_form->NavBtn(6), Qt::LeftButton, {}, QPoint(38, 30));
        QCOMPARE(m_boxes.size(), 0);
        THelpWindow *help = m_form->helpWindow();
        QVERIFY(help && help->isVisible());
        const QString text = help->browser()->toPlainText();
        for (const char *topic : {"用户登录", "写日记", "看日记", "打印", "皮肤"})
            QVERIFY2(text.contains(QString::fromUtf8(topic)), topic);
        QVERIFY2(!help->testAttribute(Qt::WA_QuitOnClose), "help does not keep the program running");
    }

    void aMissingHelpDocumentIsReported()
    {
        start();
        const QString missing = m_dir->filePath(QStringLiteral("quillbook.html"));
        setApplicationHelpFile(missing);
        QTest::mouseClick(m_form->NavBtn(6), Qt::LeftButton, {}, QPoint(38, 30));
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].caption, QStringLiteral("羽书手札"));
        QCOMPARE(m_boxes[0].text, QStringLiteral("找不到帮助文档“%1”!").arg(missing));
    }

    void anotherCopySaysSoAndRestoresTheWindow()
    {
        start();
        m_form->AnotherCopyStarted();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].caption, QStringLiteral("羽书手札(2003版)"));
        QCOMPARE(m_boxes[0].text, QStringLiteral("羽书手札已经在运行了。"));
        QCOMPARE(m_boxes[0].icon, QMessageBox::Information);
        QVERIFY(m_boxes[0].hasOwner);

        m_form->showMinimized();
        QVERIFY(m_form->isMinimized());
        m_form->AnotherCopyStarted();
        QCOMPARE(m_boxes.size(), 2);
        QVERIFY(!m_form->isMinimized());
        QVERIFY(m_form->isVisible());
    }

    void theToolkitsDialogsSpeakTheSystemsLanguageOrChinese_data()
    {
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<QString>("ok");
        QTest::newRow("an English system gets Chinese") << "en_US" << "zh_CN" << "确定";
        QTest::newRow("the C locale gets Chinese") << "C" << "zh_CN" << "确定";
        QTest::newRow("a language the toolkit has none of gets Chinese") << "sw_KE" << "zh_CN" << "确定";
        QTest::newRow("mainland Chinese") << "zh_CN" << "zh_CN" << "确定";
        QTest::newRow("Chinese of Taiwan keeps its own") << "zh_TW" << "zh_TW" << "確定";
    }

    void theToolkitsDialogsSpeakTheSystemsLanguageOrChinese()
    {
        QFETCH(QString, system);
        QFETCH(QString, loaded);
        QFETCH(QString, ok);
        QCOMPARE(startup::installToolkitTranslations(*qApp, QLocale(system)), loaded);
        QMessageBox box(QMessageBox::Warning, QStringLiteral("t"), QStringLiteral("m"),
                        QMessageBox::Ok | QMessageBox::Cancel);
        const QString okText = box.button(QMessageBox::Ok)->text().remove(QLatin1Char('&'));
        for (QTranslator *translator : qApp->findChildren<QTranslator *>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        QCOMPARE(okText, ok);
    }

private:
    void start()
    {
        m_form = std::make_unique<TForm1>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_settings;
    QList<msgbox::Shown> m_boxes;
    std::unique_ptr<TForm1> m_form;
};

QTEST_MAIN(TestMainForm)
#include "tst_main_form.moc"
