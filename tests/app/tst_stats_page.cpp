#include "accounts/login.h"
#include "accounts/login_panel.h"
#include "accounts/pass_cipher.h"
#include "accounts/user_list.h"
#include "app/main_form.h"
#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "diary/diary_fixture.h"
#include "pages/write_page.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "settings/ini.h"
#include "stats/bar_chart.h"
#include "stats/stats_page.h"
#include "stats/year_grid.h"
#include "widgets/image_combo_box.h"
#include "widgets/nav_button.h"
#include "window_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <memory>

using namespace Qt::StringLiterals;
using diary_testing::ownRecord;

namespace {

const QString kUser = u"张三"_s;
const QString kPassword = u"secret"_s;

void storeEntries(const QList<std::pair<QString, QByteArray>> &entries)
{
    TArchiveWriter writer;
    writer.SetZipName(kUser);
    for (const auto &[name, record] : entries)
        QCOMPARE(diary::storeEntry(writer, gbk::encode(name), record), diary::EntryProblem::None);
}

} // namespace

// The statistics page in a real main window, offscreen, in a working folder of its own.
class TestStatsPage : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_w.setUp());
        m_w.createUser(kUser, kPassword,
                       {{u"2003年9月30日"_s, ownRecord(2, 7, u"九月最后一天"_s)},
                        {u"2003年10月4日"_s, ownRecord(1, 3, u"昨天的事"_s)},
                        {u"2003年10月5日"_s, ownRecord(0, 0, u"今天 hello 😀"_s)}});
        QVERIFY(m_w.start());
    }

    void cleanup() { m_w.tearDown(); }

    void theButtonShowsOnlyWhileLoggedInAndThePageFills()
    {
        TNavButton *button = m_w.form->NavBtn(8);
        QVERIFY(button);
        QCOMPARE(button->objectName(), u"NavBtn8"_s);
        QCOMPARE(button->Caption(), u"统计"_s);
        QCOMPARE(button->mapTo(m_w.form.get(), QPoint(0, 0)), QPoint(4, 6 + 72 * 2));
        QVERIFY(!button->isVisible());

        m_w.form->Panel1()->MaskEdit1()->setText(u"wrong"_s);
        QTest::mouseClick(m_w.form->Panel1()->Button1(), Qt::LeftButton);
        QVERIFY2(!button->isVisible(), "a failed login shows nothing");
        QCOMPARE(m_w.boxes.size(), 1);
        m_w.boxes.clear();
        QVERIFY(m_w.login(kUser, kPassword));
        QVERIFY(button->isVisible());
        QVERIFY(m_w.form->NavBtn(4)->isVisible());

        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(m_w.form->PageControl1()->currentWidget(), m_w.form->TabSheet4());
        TStatsPage *page = m_w.form->StatsPage();
        QCOMPARE(page->figures().total.entries, 3);
        QCOMPARE(page->figures().current.length, 2);
        QCOMPARE(page->YearBox->currentText(), u"2003年"_s);
        QCOMPARE(page->YearGrid->year(), 2003);
        const QString totals = page->Totals->text();
        QVERIFY2(totals.contains(u"2003年写了 3 篇，全部 3 篇"_s), qPrintable(totals));
        QVERIFY2(totals.contains(u"眼下 2 天"_s), qPrintable(totals));
        // 九月最后一天 6, 昨天的事 4, 今天 hello 😀 8.
        QVERIFY2(totals.contains(u"2003年 18 字"_s), qPrintable(totals));
        QCOMPARE(page->EntriesChart->total(8), 1);
        QCOMPARE(page->EntriesChart->total(9), 2);
        QCOMPARE(page->CharactersChart->total(9), 12);
        QCOMPARE(page->MoodsChart->series().size(), 8);
        QCOMPARE(page->MoodsChart->series()[7].values[8], 1);   // 爱心 in September
        QCOMPARE(page->WeathersChart->series()[2].values[8], 1); // 雨
        QCOMPARE(page->WeekdayChart->title(), u"星期几写得最多：星期二"_s);
        QCOMPARE(m_w.boxes.size(), 0);

        const QString tip = page->YearGrid->toolTipOf(QDate(2003, 10, 4));
        QCOMPARE(tip, u"2003年10月4日 星期六\n天气：阴　情感：伤感\n昨天的事"_s);
        QCOMPARE(page->YearGrid->toolTipOf(QDate(2003, 10, 3)), u"2003年10月3日 星期五\n未写"_s);

        // Without entries the page still shows the year, empty.
        page->showYear(2002);
        QCOMPARE(page->YearGrid->year(), 2002);
        QVERIFY(page->Totals->text().contains(u"2002年写了 0 篇，全部 3 篇"_s));
    }

    void clickingADayOpensItsEntryAndASaveCountsAtOnce()
    {
        QVERIFY(m_w.login(kUser, kPassword));
        QTest::mouseClick(m_w.form->NavBtn(8), Qt::LeftButton);
        TYearGrid *grid = m_w.form->StatsPage()->YearGrid;

        // An empty day opens nothing.
        QTest::mouseClick(grid, Qt::LeftButton, {}, grid->cellRect(QDate(2003, 10, 3)).center());
        QCOMPARE(m_w.form->PageControl1()->currentWidget(), m_w.form->TabSheet4());

        const QRect square = grid->cellRect(QDate(2003, 10, 4));
        QVERIFY(grid->rect().contains(square));
        QCOMPARE(grid->dateAt(square.center()), QDate(2003, 10, 4));
        QTest::mouseClick(grid, Qt::LeftButton, {}, square.center());
        QCOMPARE(m_w.form->PageControl1()->currentWidget(), m_w.form->TabSheet1());
        TWritePage *write = m_w.form->WritePage();
        QCOMPARE(write->Label3->text(), u"2003年10月4日"_s);
        QCOMPARE(write->RichEdit1->toPlainText(), u"昨天的事"_s);
        QCOMPARE(write->dBox1->currentIndex(), 1);
        QCOMPARE(write->dBox2->currentIndex(), 3);

        // Going back from the write page saves the entry first, and the figures count it.
        write->RichEdit1->setFocus();
        write->RichEdit1->moveCursor(QTextCursor::End);
        QInputMethodEvent typed;
        typed.setCommitString(u"，还有"_s);
        QApplication::sendEvent(write->RichEdit1, &typed);
        QTest::mouseClick(m_w.form->NavBtn(8), Qt::LeftButton);
        QCOMPARE(m_w.form->PageControl1()->currentWidget(), m_w.form->TabSheet4());
        QCOMPARE(m_w.form->StatsPage()->figures().total.characters, 18 + 3);
    }

    void thePageUsesTheRowsOfTheLastListing()
    {
        QVERIFY(m_w.login(kUser, kPassword));
        QTest::mouseClick(m_w.form->NavBtn(4), Qt::LeftButton);
        // Another program adds an entry after the listing: the page shows what the list shows.
        storeEntries({{u"2003年10月1日"_s, ownRecord(0, 1, u"后来"_s)}});
        QTest::mouseClick(m_w.form->NavBtn(8), Qt::LeftButton);
        QCOMPARE(m_w.form->StatsPage()->figures().total.entries, 3);
        QTest::mouseClick(m_w.form->NavBtn(4), Qt::LeftButton);
        QTest::mouseClick(m_w.form->NavBtn(8), Qt::LeftButton);
        QCOMPARE(m_w.form->StatsPage()->figures().total.entries, 4);
    }

private:
    WindowFixture m_w;
};

QTEST_MAIN(TestStatsPage)
#include "tst_stats_page.moc"
