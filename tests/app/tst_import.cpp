#include "window_fixture.h"

#include "diary/diary_fixture.h"
#include "pages/import_dialog.h"
#include "pages/list_page.h"
#include "support/test_support.h"
#include "versions/kept_versions.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "window_fixture.h"
#include <QTimer>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

using diary_testing::ownRecord;

// 「导入…」 on the list page of a real main window, offscreen: the summary of what the files hold,
// the choice for a day that has an entry, the encoding chosen again, the box that says what was
// done and the table listed anew; cancelling the summary writes nothing.
class TestImport : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(f.setUp());
        m_files = {f.dir->filePath(u"2003-09-26.txt"_s), f.dir->filePath(u"20030927.md"_s),
                   f.dir->filePath(u"notes.txt"_s)};
        testing_support::writeFile(m_files[0], gbk::encode(u"新的"_s));   // GBK either way
        testing_support::writeFile(m_files[1], gbk::encode(u"小"_s));   // valid UTF-8 as well
        testing_support::writeFile(m_files[2], "undated\n");
        TImportDialog::setFileChooser([this](QWidget *) { return m_files; });
        f.createUser(u"张三"_s, u"pw"_s, {{u"2003年9月26日"_s, ownRecord(1, 2, u"旧的"_s)}});
        QVERIFY(f.start());
        QVERIFY(f.login(u"张三"_s, u"pw"_s));
        QTest::mouseClick(f.form->NavBtn(4), Qt::LeftButton);
    }

    void cleanup()
    {
        f.tearDown();
        TImportDialog::setFileChooser({});
    }

    void appendsTheExistingDayAddsTheNewOneAndNamesTheRefusedFile()
    {
        QString summary;
        QString refused;
        QString reread;
        answerDialog([&](TImportDialog *dialog) {
            summary = dialog->SummaryLabel->text();
            refused = dialog->RefusedList->isVisible() ? dialog->RefusedList->toPlainText() : QString();
            dialog->EncodingBox->setCurrentIndex(dialog->EncodingBox->findText(u"GBK"_s));
            reread = dialog->SummaryLabel->text();
            dialog->AppendRadio->click();
            dialog->Buttons->button(QDialogButtonBox::Ok)->click();
        });
        const QByteArray before = testing_support::readFile(u"张三"_s);
        QTest::mouseClick(f.form->ListPage()->ImportButton, Qt::LeftButton);

        QCOMPARE(summary, u"共读到 2 天的日记（2003-09-26 至 2003-09-27），其中 1 天已经写过日记。"_s);
        QCOMPARE(refused, u"以下文件不能导入：\nnotes.txt：文件名和内容里都没有日期"_s);
        QCOMPARE(reread, summary);
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].text, u"导入完成：新增 1 篇，追加 1 篇，替换 0 篇，跳过 0 篇。\n有 1 个文件没有导入。"_s);
        QCOMPARE(f.boxes[0].caption, u"羽书手札"_s);
        QStringList shown;
        for (const TListPage::Row &row : f.form->ListPage()->shownRows())
            shown << row.caption + u'|' + row.weather + u'|' + row.mood + u'|' + row.summary;
        // GBK chosen: the file that is valid UTF-8 as well reads as GBK.
        QCOMPARE(shown, (QStringList{u"2003年9月27日|||小"_s, u"2003年9月26日|阴|愤怒|旧的\r\n新的"_s}));
        const QList<versions::Version> kept = versions::list(u"张三"_s);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(testing_support::readFile(kept[0].path), before);
    }

    // Another program's export: what was recognised, the day already written and the entry that
    // will be skipped are shown before anything is written.
    void showsWhatAnExportHoldsBeforeWriting()
    {
        const QString staging = f.dir->filePath(u"export"_s);
        QDir().mkpath(staging);
        testing_support::writeFile(
            staging + u"/Journal.json"_s,
            "{\"metadata\": {\"version\": \"1.0\"}, \"entries\": ["
            "{\"creationDate\": \"2003-09-26T13:00:00Z\", \"timeZone\": \"Asia/Shanghai\", \"text\": \"晚上\"},"
            "{\"creationDate\": \"2003-09-26T01:00:00Z\", \"timeZone\": \"Asia/Shanghai\", \"text\": \"早上\"},"
            "{\"creationDate\": \"2003-09-27T01:00:00Z\", \"timeZone\": \"Asia/Shanghai\","
            " \"text\": \"![](dayone-moment://X)\", \"photos\": [{\"identifier\": \"X\", \"md5\": \"gone\", \"type\": \"jpeg\"}]}]}");
        m_files = {f.dir->filePath(u"export.zip"_s)};
        const auto zipped = testing_support::run(
            testing_support::python3Program(),
            {u"-c"_s, u"import sys, zipfile\nwith zipfile.ZipFile(sys.argv[1], 'w') as z:\n    z.write(sys.argv[2], 'Journal.json')\n"_s,
             m_files[0], staging + u"/Journal.json"_s});
        QCOMPARE(zipped.exitCode, 0);
        QString summary, existing, skipped;
        answerDialog([&](TImportDialog *dialog) {
            summary = dialog->SummaryLabel->text();
            existing = dialog->ExistingLabel->isVisible() ? dialog->ExistingLabel->text() : QString();
            skipped = dialog->RefusedList->isVisible() ? dialog->RefusedList->toPlainText() : QString();
            dialog->ReplaceRadio->click();
            dialog->Buttons->button(QDialogButtonBox::Ok)->click();
        });
        QTest::mouseClick(f.form->ListPage()->ImportButton, Qt::LeftButton);

        QCOMPARE(summary, u"Day One 导出：2 篇，跨 1 天，其中 1 天有多篇\n"
                          u"共读到 1 天的日记（2003-09-26），其中 1 天已经写过日记。"_s);
        QCOMPARE(existing, u"已经写过日记的日子：2003-09-26"_s);
        QCOMPARE(skipped, u"以下日记不会导入：\nexport.zip：第 3 篇：图片 photos/gone.jpeg 不在导出里"_s);
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.boxes[0].text, u"导入完成：新增 0 篇，追加 0 篇，替换 1 篇，跳过 0 篇。\n有 1 篇日记没有导入。"_s);
        QStringList shown;
        for (const TListPage::Row &row : f.form->ListPage()->shownRows())
            shown << row.caption + u'|' + row.summary;
        QCOMPARE(shown, (QStringList{u"2003年9月26日|09:00\r\n早上\r\n\r\n21:00\r\n晚上"_s}));
    }

    void cancellingTheSummaryWritesNothing()
    {
        answerDialog([](TImportDialog *dialog) { dialog->Buttons->button(QDialogButtonBox::Cancel)->click(); });
        const QByteArray before = testing_support::readFile(u"张三"_s);
        f.form->ListPage()->ImportCmd->trigger();
        QCOMPARE(testing_support::readFile(u"张三"_s), before);
        QVERIFY(f.boxes.isEmpty());
        QVERIFY(versions::list(u"张三"_s).isEmpty());
    }

private:
    // Answers the summary dialog once it shows.
    void answerDialog(std::function<void(TImportDialog *)> answer)
    {
        QTimer::singleShot(0, this, [this, answer] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *dialog = qobject_cast<TImportDialog *>(w);
                if (dialog && dialog->isVisible()) {
                    answer(dialog);
                    return;
                }
            }
            answerDialog(answer);   // not shown yet: the files are still being read
        });
    }

    WindowFixture f;
    QStringList m_files;
};

QTEST_MAIN(TestImport)
#include "tst_import.moc"
