// The pages a start does not show are built when they are first needed, not with the window:
// the login page comes up alone, and every way the program has of bringing another page forward
// finds that page built, complete and connected, with whatever the settings file says of it.
#include "window_fixture.h"

#include "app/about_form.h"
#include "accounts/user_settings_dialog.h"
#include "app/main_form.h"
#include "diary/entry.h"
#include "pages/diary_calendar.h"
#include "pages/list_page.h"
#include "pages/write_page.h"
#include "settings/ini.h"
#include "stats/stats_page.h"

#include <QTextDocument>
#include <QTimer>
#include <QTreeView>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QString kZhangSan = u"张三"_s;

std::pair<QString, QByteArray> entry(int day, const QString &text)
{
    QTextDocument body;
    body.setPlainText(text);
    return {diary::entryName(QDate(2003, 10, day)), diary::makeRecord(body, 0, 0)};
}

// The pages that only ever exist once, by the type that makes them.
struct Built {
    int write, list, calendars, stats, about, settings;
};

Built builtPages(const TForm1 &form)
{
    return {int(form.findChildren<TWritePage *>().size()), int(form.findChildren<TListPage *>().size()),
            int(form.findChildren<TDiaryCalendar *>().size()),
            int(form.findChildren<TStatsPage *>().size()), int(form.findChildren<TAboutForm *>().size()),
            int(form.findChildren<TForm2 *>().size())};
}

void click(QWidget *navButton)
{
    QTest::mouseClick(navButton, Qt::LeftButton, {}, QPoint(38, 30));
}

} // namespace

class TestLazyPages : public QObject
{
    Q_OBJECT

    WindowFixture f;

private slots:
    void init() { QVERIFY(f.setUp()); }
    void cleanup() { f.tearDown(); }

    void aStartBuildsTheLoginPageAlone()
    {
        f.createUser(kZhangSan, u"pw"_s);
        QVERIFY(f.start());
        const Built built = builtPages(*f.form);
        QCOMPARE(built.write, 0);
        QCOMPARE(built.list, 0);
        QCOMPARE(built.calendars, 0);
        QCOMPARE(built.stats, 0);
        QCOMPARE(built.about, 0);
        QCOMPARE(built.settings, 0);
        QCOMPARE(f.page(), f.form->TabSheet3());
        // Nothing asked for them: closing and locking leave them unbuilt.
        f.form->lockDiary();
        QCOMPARE(builtPages(*f.form).list, 0);
        QVERIFY(f.form->close());
        QCOMPARE(builtPages(*f.form).list, 0);
        QCOMPARE(f.boxes.size(), 0);
    }

    // Each way to a page: the page shows at once (no events processed in between), once only,
    // and is the one the window's accessor gives.
    void everyWayToAPageFindsItBuiltAndShown_data()
    {
        QTest::addColumn<int>("way");
        QTest::addColumn<int>("sheet");   // 2 list, 4 statistics
        QTest::addRow("the login shows the list page") << 0 << 2;
        QTest::addRow("看日记 lists into it") << 1 << 2;
        QTest::addRow("the sheet made current by itself") << 2 << 2;
        QTest::addRow("统计") << 3 << 4;
        QTest::addRow("the statistics sheet made current by itself") << 4 << 4;
    }
    void everyWayToAPageFindsItBuiltAndShown()
    {
        QFETCH(int, way);
        QFETCH(int, sheet);
        f.createUser(kZhangSan, u"pw"_s, {entry(4, u"one"_s)});
        QVERIFY(f.start());
        QWidget *target = sheet == 2 ? f.form->TabSheet2() : f.form->TabSheet4();
        switch (way) {
        case 0: QVERIFY(f.login(kZhangSan, u"pw"_s)); break;
        case 1:
            QVERIFY(f.login(kZhangSan, u"pw"_s));
            click(f.form->NavBtn(4));
            break;
        case 2: f.form->PageControl1()->setCurrentWidget(target); break;
        case 3:
            QVERIFY(f.login(kZhangSan, u"pw"_s));
            click(f.form->NavBtn(TForm1::kStatsButton));
            break;
        case 4: f.form->PageControl1()->setCurrentWidget(target); break;
        }
        QCOMPARE(f.page(), target);
        QWidget *page = sheet == 2 ? static_cast<QWidget *>(f.form->findChild<TListPage *>())
                                   : f.form->findChild<TStatsPage *>();
        QVERIFY(page);
        QVERIFY(page->isVisible());
        QCOMPARE(page->parentWidget(), target);
        QCOMPARE(page->geometry(), target->rect());
        const Built built = builtPages(*f.form);
        QCOMPARE(sheet == 2 ? built.list : built.stats, 1);
        if (sheet == 2) {
            QCOMPARE(static_cast<TListPage *>(page), f.form->ListPage());
            QCOMPARE(built.calendars, 1);
            // The login lists the diary as it lands on the page.
            QCOMPARE(f.form->ListPage()->rowCount(), way == 0 || way == 1 ? 1 : 0);
        } else {
            QCOMPARE(static_cast<TStatsPage *>(page), f.form->StatsPage());
            QCOMPARE(f.form->StatsPage()->figures().total.entries, way == 3 ? 1 : 0);
        }
        QCOMPARE(f.boxes.size(), 0);
    }

    // The list's order is read from the settings file when the page is built, and a page built
    // after the start knows it as well as one built with the window did.
    void theListPageBuiltLateKeepsTheStoredOrderAndItsCommands()
    {
        ini::WriteSetting(gbk::encode(u"列表设置"_s), "sortcolumn", "3");
        ini::WriteSetting(gbk::encode(u"列表设置"_s), "descending", "1");
        f.createUser(kZhangSan, u"pw"_s,
                     {entry(3, u"aaa"_s), entry(4, u"zzz"_s)});
        QVERIFY(f.start());
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        click(f.form->NavBtn(4));
        TListPage *list = f.form->ListPage();
        QCOMPARE(int(list->order().column), 3);
        QVERIFY(list->order().descending);
        QCOMPARE(list->rowCount(), 2);

        // Its commands reach the window: opening the selected row shows the write page.
        list->selectRow(0);
        list->See->trigger();
        QCOMPARE(f.page(), f.form->TabSheet1());
        QCOMPARE(builtPages(*f.form).write, 1);

        // Its calendar too: a day with an entry opens it.
        click(f.form->NavBtn(4));
        emit list->Calendar->dayChosen(QDate(2003, 10, 3), true);
        QCOMPARE(f.page(), f.form->TabSheet1());
        QCOMPARE(f.boxes.size(), 0);
    }

    // The dialogs behind 「关于...」 and 「管理」: made at their first showing, kept for the next.
    void theDialogsAreMadeAtTheirFirstShowingAndKept_data()
    {
        QTest::addColumn<bool>("about");
        QTest::addRow("关于...") << true;
        QTest::addRow("管理") << false;
    }
    void theDialogsAreMadeAtTheirFirstShowingAndKept()
    {
        QFETCH(bool, about);
        QVERIFY(f.start());
        const auto made = [&]() -> QDialog * {
            if (about)
                return f.form->findChild<TAboutForm *>();
            return f.form->findChild<TForm2 *>();
        };
        QVERIFY(!made());
        QDialog *first = nullptr;
        for (int round = 0; round < 2; ++round) {
            QDialog *shown = nullptr;
            QTimer::singleShot(0, f.form.get(), [&] {
                shown = made();
                if (shown && shown->isVisible() && shown->isModal())
                    shown->reject();
            });
            if (about)
                click(f.form->NavBtn(7));
            else
                QTest::mouseClick(f.form->Panel1()->Button2(), Qt::LeftButton);
            QVERIFY(shown);
            QVERIFY(!shown->isVisible());
            QCOMPARE(shown->parent(), f.form.get());
            if (round == 0)
                first = shown;
            QCOMPARE(shown, first);
            QCOMPARE(about ? static_cast<QDialog *>(f.form->AboutForm1()) : f.form->Form2(), first);
        }
        QCOMPARE(f.boxes.size(), 0);
    }

    // A lock after a login forgets what the built pages showed, and touches no page that was
    // never built; the next user finds the pages empty of the last one's rows.
    void aLockClearsTheBuiltPagesOnly()
    {
        f.createUser(kZhangSan, u"pw"_s, {entry(4, u"one"_s)});
        f.createUser(u"李四"_s, u"pw2"_s);
        QVERIFY(f.start());
        QVERIFY(f.login(kZhangSan, u"pw"_s));
        click(f.form->NavBtn(4));
        QCOMPARE(f.form->ListPage()->rowCount(), 1);
        f.form->lockDiary();
        QCOMPARE(f.page(), f.form->TabSheet3());
        QCOMPARE(builtPages(*f.form).stats, 0);
        QCOMPARE(f.form->ListPage()->rowCount(), 0);
        QVERIFY(f.login(u"李四"_s, u"pw2"_s));
        click(f.form->NavBtn(TForm1::kStatsButton));
        QCOMPARE(f.form->StatsPage()->figures().total.entries, 0);
        QCOMPARE(f.boxes.size(), 0);
    }
};

QTEST_MAIN(TestLazyPages)
#include "tst_lazy_pages.moc"
