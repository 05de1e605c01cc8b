#include "accounts/login.h"
#include "accounts/login_panel.h"
#include "accounts/pass_cipher.h"
#include "accounts/user_list.h"
#include "app/main_form.h"
#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "diary/diary_fixture.h"
#include "pages/diary_calendar.h"
#include "pages/list_page.h"
#include "pages/write_page.h"
#include "platform/files.h"
#include "platform/gbk.h"
#include "platform/message_box.h"
#include "settings/ini.h"
#include "support/test_support.h"
#include "window_fixture.h"
#include "widgets/nav_button.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QTableView>
#include <QImage>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

using diary_testing::ownRecord;

namespace {

const QString kZhangSan = u"张三"_s;
using Entries = WindowFixture::Entries;

QStringList captions(const TListPage *page)
{
    QStringList out;
    for (const TListPage::Row &row : page->shownRows())
        out << row.caption;
    return out;
}

// Chinese reaches a text field through the input method, committed as a whole.
void typeText(QWidget *edit, const QString &text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(edit, &event);
}

QStringList storedNames(const QString &archive)
{
    TArchiveReader reader;
    reader.SetZipName(archive);
    reader.SetPassword(diary::kArchivePassword);
    reader.OpenArchive();
    QStringList names;
    for (int i = 0; i < reader.EntryCount(); ++i)
        names << reader.EntryName(i);
    return names;
}

} // namespace

// Finding a day in a real main window, offscreen: the list's order and its memory, the search
// with its filters and highlights, writing on another day, and 那年今日.
class TestFind : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_w.setUp());
        m_w.today = QDate(2009, 2, 28);
    }

    void cleanup() { m_w.tearDown(); }

    void datesFrom1999To2100InOrderAndHeaderClicksRememberedAcrossARestart()
    {
        listDiary({{u"2003年9月3日"_s, ownRecord(2, 1, u"c"_s)},
                   {u"notes"_s, ownRecord(0, 0, u"z"_s)},
                   {u"2100年12月31日"_s, ownRecord(3, 0, u"a"_s)},
                   {u"2003年10月5日"_s, ownRecord(0, 2, u"b"_s)},
                   {u"1999年1月1日"_s, ownRecord(1, 3, u"d"_s)},
                   {u"2003-9-6"_s, ownRecord(0, 0, u"y"_s)},
                   {u"2003年9月26日"_s, ownRecord(2, 4, u"e"_s)},
                   {u"2000年2月29日"_s, ownRecord(0, 5, u"f"_s)}});
        // Another program's spelling of a date among the dates, a name that is none last.
        const QStringList newestFirst{u"2100年12月31日"_s, u"2003年10月5日"_s, u"2003年9月26日"_s,
                                      u"2003-9-6"_s,       u"2003年9月3日"_s,   u"2000年2月29日"_s,
                                      u"1999年1月1日"_s,   u"notes"_s};
        QCOMPARE(captions(list()), newestFirst);

        clickHeader(0);
        const QStringList oldestFirst{u"1999年1月1日"_s, u"2000年2月29日"_s, u"2003年9月3日"_s,
                                      u"2003-9-6"_s, u"2003年9月26日"_s, u"2003年10月5日"_s,
                                      u"2100年12月31日"_s, u"notes"_s};
        QCOMPARE(captions(list()), oldestFirst);
        clickHeader(2);
        // By mood: 高兴 first, its rows in date order; then 烦恼, 愤怒 …
        const QStringList byMood{u"2100年12月31日"_s, u"2003-9-6"_s, u"notes"_s, u"2003年9月3日"_s,
                                 u"2003年10月5日"_s, u"1999年1月1日"_s, u"2003年9月26日"_s,
                                 u"2000年2月29日"_s};
        QCOMPARE(captions(list()), byMood);
        clickHeader(2);
        QCOMPARE(captions(list()).first(), u"2000年2月29日"_s);

        // Restarted, the list comes up in the order last chosen; the listing again keeps it.
        const QStringList reversedMood = captions(list());
        m_w.form.reset();
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        click(4);
        QCOMPARE(captions(list()), reversedMood);
        QCOMPARE(list()->order(), (diary::RowOrder{diary::SortColumn::Mood, true}));
        clickHeader(0);
        QCOMPARE(captions(list()), newestFirst);
        m_w.form.reset();
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        click(4);
        QCOMPARE(captions(list()), newestFirst);
    }

    void theDateColumnShowsWholeDatesInEverySkinAndALargerFont()
    {
        listDiary({{u"2008年12月28日"_s, ownRecord(0, 0, u"x"_s)},
                   {u"2000年10月20日"_s, ownRecord(0, 0, u"y"_s)}});
        QTreeView *table = list()->ListView1;
        const auto check = [&](const QString &when) {
            const QFontMetrics metrics = table->fontMetrics();
            for (const QString &name : captions(list())) {
                QVERIFY2(table->columnWidth(0) > metrics.horizontalAdvance(name) + 8,
                         qPrintable(when + u' ' + name));
            }
        };
        for (int skin = 1; skin <= 10; ++skin) {
            m_w.form->RadioButton(skin)->click();
            check(u"skin %1"_s.arg(skin));
        }
        // A font twice as large, as at scale factor 2 in pixels.
        QFont font = table->font();
        font.setPixelSize(font.pixelSize() * 2);
        table->setFont(font);
        check(u"twice the font"_s);
        // The summary takes the width a wider window gives.
        const int summary = table->columnWidth(3);
        m_w.form->resize(m_w.form->width() + 200, m_w.form->height());
        QTRY_VERIFY(table->columnWidth(3) > summary);
    }

    void searchFindsChineseAndLatinWithFiltersAndHighlightsInTheEditor()
    {
        listDiary({{u"2003年9月3日"_s, ownRecord(2, 4, u"今天下雨了。\n晚上又下雨"_s)},
                   {u"2003年9月26日"_s, ownRecord(0, 0, u"晴，没有雨"_s)},
                   {u"2003年10月5日"_s, ownRecord(2, 0, u"Walking in the RAIN, ｒａｉｎ"_s)},
                   {u"2004年1月1日"_s, ownRecord(2, 0, u"新年下雨"_s)}});
        QCOMPARE(list()->rowCount(), 4);
        QTest::keyClick(m_w.form.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), list()->SearchEdit);
        typeText(list()->SearchEdit, u"下雨"_s);
        QCOMPARE(captions(list()), (QStringList{u"2004年1月1日"_s, u"2003年9月3日"_s}));
        // The summary joins paragraphs with CR LF.
        QCOMPARE(list()->summaryMatches(1), (QList<QPair<qsizetype, qsizetype>>{{2, 4}, {11, 13}}));

        list()->SearchEdit->clear();
        QTest::keyClicks(list()->SearchEdit, u"Rain"_s);
        QCOMPARE(captions(list()), QStringList{u"2003年10月5日"_s});
        QCOMPARE(list()->summaryMatches(0), (QList<QPair<qsizetype, qsizetype>>{{15, 19}, {21, 25}}));

        // Filters, alone and together with the text.
        list()->SearchEdit->clear();
        list()->WeatherFilter->setCurrentIndex(list()->WeatherFilter->findText(u"雨"_s));
        QCOMPARE(captions(list()), (QStringList{u"2004年1月1日"_s, u"2003年10月5日"_s, u"2003年9月3日"_s}));
        list()->MoodFilter->setCurrentIndex(list()->MoodFilter->findText(u"高兴"_s));
        QCOMPARE(captions(list()), (QStringList{u"2004年1月1日"_s, u"2003年10月5日"_s}));
        list()->DateFilter->setChecked(true);
        list()->FromDate->setDate(QDate(2003, 1, 1));
        list()->ToDate->setDate(QDate(2003, 12, 31));
        QCOMPARE(captions(list()), QStringList{u"2003年10月5日"_s});
        typeText(list()->SearchEdit, u"下雨"_s);
        QCOMPARE(list()->rowCount(), 0);
        QTest::mouseClick(list()->ClearButton, Qt::LeftButton);
        QCOMPARE(list()->rowCount(), 4);
        QVERIFY(list()->SearchEdit->text().isEmpty());

        // Opened from a search: the matches are highlighted, F3 and Shift+F3 go round them.
        typeText(list()->SearchEdit, u"下雨"_s);
        list()->selectRow(1);
        list()->See->trigger();
        QCOMPARE(m_w.page(), m_w.form->TabSheet1());
        QCOMPARE(write()->Label3->text(), u"2003年9月3日"_s);
        QCOMPARE(write()->searchMatches(), (QList<QPair<int, int>>{{2, 4}, {10, 12}}));
        QCOMPARE(write()->RichEdit1->extraSelections().size(), 2);
        write()->RichEdit1->moveCursor(QTextCursor::Start);
        QTest::keyClick(write()->RichEdit1, Qt::Key_F3);
        QCOMPARE(write()->RichEdit1->textCursor().selectionStart(), 2);
        QTest::keyClick(write()->RichEdit1, Qt::Key_F3);
        QCOMPARE(write()->RichEdit1->textCursor().selectionStart(), 10);
        QCOMPARE(write()->RichEdit1->textCursor().selectedText(), u"下雨"_s);
        QTest::keyClick(write()->RichEdit1, Qt::Key_F3);
        QCOMPARE(write()->RichEdit1->textCursor().selectionStart(), 2);
        QTest::keyClick(write()->RichEdit1, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(write()->RichEdit1->textCursor().selectionStart(), 10);
        // Writing more of it: the highlight follows once the change is over.
        write()->RichEdit1->moveCursor(QTextCursor::End);
        typeText(write()->RichEdit1, u"，还在下雨"_s);
        QTRY_COMPARE(write()->searchMatches().size(), 3);
        QCOMPARE(write()->RichEdit1->extraSelections().size(), 3);

        // Back in the list the search still holds; today's entry opens without highlights.
        click(4);
        QCOMPARE(list()->rowCount(), 2);
        click(3);
        QVERIFY(write()->searchMatches().isEmpty());
    }

    // A listing made ready off the window's thread shows as setRows() shows the same rows, in
    // the order and with the search the page has when it arrives, also when they changed since.
    void preparedRowsShowAsTheSameRowsSetDirectly()
    {
        listDiary({{u"2003年9月3日"_s, ownRecord(2, 4, u"下雨"_s)},
                   {u"2003年9月26日"_s, ownRecord(0, 0, u"晴"_s)},
                   {u"2004年1月1日"_s, ownRecord(2, 0, u"又下雨"_s)}});
        TListPage *page = list();
        const QList<diary::ListRow> rows = m_w.form->ListPage()->takeRows();
        const auto shown = [&](bool prepared, const std::function<void()> &meanwhile) {
            page->clearSearch();
            page->setOrder({});
            typeText(page->SearchEdit, u"雨"_s);
            if (!prepared) {
                meanwhile();
                page->setRows(rows);
            } else {
                const TListPage::Prepared ready = TListPage::prepare(rows, page->preparation());
                meanwhile();
                page->setPrepared(ready);
            }
            return QStringList{captions(page).join(u','), QString::number(page->foundCount()),
                               page->Calendar->markedDays().isEmpty() ? u"-"_s : u"+"_s};
        };
        const std::function<void()> changes[] = {
            [] {},
            [&] { page->setOrder({diary::SortColumn::Date, false}); },
            [&] { typeText(page->SearchEdit, u"又"_s); },
            [&] { page->clearSearch(); },
        };
        for (const auto &meanwhile : changes)
            QCOMPARE(shown(true, meanwhile), shown(false, meanwhile));
        QCOMPARE(shown(true, changes[0]).value(0), u"2004年1月1日,2003年9月3日"_s);
    }

    void anEntryWrittenForAPastDayIsStoredUnderItsNameAndListedInItsPlace()
    {
        listDiary({{u"2003年9月3日"_s, ownRecord(0, 0, u"三号"_s)},
                   {u"2003年10月5日"_s, ownRecord(0, 0, u"五号"_s)}});
        click(3);
        QCOMPARE(write()->Label3->text(), u"2009年2月28日"_s);
        QCOMPARE(write()->DatePicker->date(), QDate(2009, 2, 28));
        chooseDay(QDate(2003, 9, 20));
        QCOMPARE(write()->Label3->text(), u"2003年9月20日"_s);
        QVERIFY(write()->RichEdit1->document()->isEmpty());
        write()->RichEdit1->setPlainText(u"补记"_s);
        click(4);
        QCOMPARE(captions(list()), (QStringList{u"2003年10月5日"_s, u"2003年9月20日"_s, u"2003年9月3日"_s}));
        QCOMPARE(storedNames(kZhangSan).last(), u"2003年9月20日"_s);

        // A day that has an entry opens it; the entry left is saved under its own name first.
        click(3);
        write()->RichEdit1->setPlainText(u"今天"_s);
        chooseDay(QDate(2003, 10, 5));
        QCOMPARE(write()->Label3->text(), u"2003年10月5日"_s);
        QCOMPARE(write()->RichEdit1->toPlainText(), u"五号"_s);
        QCOMPARE(storedNames(kZhangSan),
                 (QStringList{u"2003年9月3日"_s, u"2003年10月5日"_s, u"2003年9月20日"_s, u"2009年2月28日"_s}));
        QCOMPARE(m_w.boxes.size(), 0);
    }

    void onThisDayShowsEarlierYearsNewestFirstAndTheLeapDayOnThe28th()
    {
        listDiary({{u"2004年2月29日"_s, ownRecord(0, 0, u"闰日"_s)},
                   {u"2005年2月28日"_s, ownRecord(0, 0, u"五年"_s)},
                   {u"2001年2月28日"_s, ownRecord(0, 0, u"一年"_s)},
                   {u"2009年2月28日"_s, ownRecord(0, 0, u"今天"_s)},
                   {u"2005年3月1日"_s, ownRecord(0, 0, u"三月"_s)}});
        clickHeader(0);   // oldest first: 那年今日 still shows the newest first
        QTest::mouseClick(list()->OnThisDay, Qt::LeftButton);
        QCOMPARE(captions(list()), (QStringList{u"2005年2月28日"_s, u"2004年2月29日"_s, u"2001年2月28日"_s}));

        m_w.today = QDate(2008, 2, 29);
        list()->OnThisDay->toggle();
        list()->OnThisDay->toggle();
        QCOMPARE(captions(list()), QStringList{u"2004年2月29日"_s});
        m_w.today = QDate(2008, 2, 28);
        list()->OnThisDay->toggle();
        list()->OnThisDay->toggle();
        QCOMPARE(captions(list()), (QStringList{u"2005年2月28日"_s, u"2001年2月28日"_s}));
        QTest::mouseClick(list()->ClearButton, Qt::LeftButton);
        QVERIFY(!list()->OnThisDay->isChecked());
        QCOMPARE(list()->rowCount(), 5);
    }

    void theCalendarMarksExactlyTheDaysWithEntriesAndOpensThem()
    {
        listDiary({{u"2009年2月3日"_s, ownRecord(0, 0, u"高兴的一天"_s)},
                   {u"2009年2月14日"_s, ownRecord(1, 7, u"情人节"_s)},
                   {u"2009年1月31日"_s, ownRecord(0, 3, u"一月底"_s)},
                   {u"notes"_s, ownRecord(0, 0, u"不是日期"_s)},
                   {u"2008年2月29日"_s, ownRecord(0, 1, u"闰日"_s)}});
        TDiaryCalendar *calendar = list()->Calendar;
        QVERIFY(!calendar->isVisible());
        QTest::mouseClick(list()->CalendarButton, Qt::LeftButton);
        QVERIFY(calendar->isVisible());
        QCOMPARE(calendar->markedDays(), (QList<QDate>{QDate(2008, 2, 29), QDate(2009, 1, 31),
                                                       QDate(2009, 2, 3), QDate(2009, 2, 14)}));
        QCOMPARE(calendar->tintOf(QDate(2009, 2, 14)), TDiaryCalendar::moodTint(7));
        QCOMPARE(calendar->tintOf(QDate(2009, 2, 3)), TDiaryCalendar::moodTint(0));
        QVERIFY(!calendar->tintOf(QDate(2009, 2, 4)).isValid());
        // Painted as marked: the 14th's tint is on screen, and the tint of a mood no day has is not.
        const QImage shot = calendar->Calendar1->grab().toImage();
        const auto shows = [&shot](const QColor &colour) {
            for (int y = 0; y < shot.height(); ++y) {
                for (int x = 0; x < shot.width(); ++x) {
                    if (shot.pixelColor(x, y) == colour)
                        return true;
                }
            }
            return false;
        };
        QVERIFY(shows(TDiaryCalendar::moodTint(7)));
        QVERIFY(!shows(TDiaryCalendar::moodTint(6)));
        QCOMPARE(calendar->Calendar1->monthShown(), 2);

        // Page Up and Page Down change the month; 「今天」 comes back.
        QTableView *days = calendar->Calendar1->findChild<QTableView *>();
        QVERIFY(days);
        days->setFocus();
        QTest::keyClick(days, Qt::Key_PageUp);
        QCOMPARE(calendar->Calendar1->monthShown(), 1);
        QTest::keyClick(days, Qt::Key_PageUp);
        QCOMPARE(calendar->Calendar1->monthShown(), 12);
        QCOMPARE(calendar->Calendar1->yearShown(), 2008);
        QTest::keyClick(days, Qt::Key_PageDown);
        QCOMPARE(calendar->Calendar1->monthShown(), 1);
        QTest::mouseClick(calendar->TodayButton, Qt::LeftButton);
        QCOMPARE(calendar->Calendar1->monthShown(), 2);
        QCOMPARE(calendar->Calendar1->yearShown(), 2009);

        // A marked day opens its entry.
        calendar->Calendar1->setSelectedDate(QDate(2009, 2, 14));
        QTest::keyClick(days, Qt::Key_Return);
        QCOMPARE(m_w.page(), m_w.form->TabSheet1());
        QCOMPARE(write()->Label3->text(), u"2009年2月14日"_s);
        QCOMPARE(write()->RichEdit1->toPlainText(), u"情人节"_s);
        QCOMPARE(m_w.boxes.size(), 0);

        // An empty day asks first.
        click(4);
        m_w.answer = QMessageBox::No;
        calendar->Calendar1->setSelectedDate(QDate(2009, 2, 10));
        QTest::keyClick(days, Qt::Key_Return);
        QCOMPARE(m_w.boxes.size(), 1);
        QCOMPARE(m_w.boxes[0].text, u"2009年2月10日还没有日记，现在写一篇吗?"_s);
        QCOMPARE(m_w.page(), m_w.form->TabSheet2());
        m_w.answer = QMessageBox::Yes;
        QTest::keyClick(days, Qt::Key_Return);
        QCOMPARE(m_w.page(), m_w.form->TabSheet1());
        QCOMPARE(write()->Label3->text(), u"2009年2月10日"_s);
        QVERIFY(write()->RichEdit1->document()->isEmpty());
        write()->RichEdit1->setPlainText(u"新写的"_s);
        click(4);
        QVERIFY(calendar->markedDays().contains(QDate(2009, 2, 10)));
        QCOMPARE(calendar->markedDays().size(), 5);
    }

private:
    void listDiary(const Entries &entries)
    {
        m_w.createUser(kZhangSan, u"pw"_s, entries);
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        click(4);
    }

    void click(int navButton) { QTest::mouseClick(m_w.form->NavBtn(navButton), Qt::LeftButton); }

    void clickHeader(int column)
    {
        QHeaderView *header = list()->ListView1->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionPosition(column) + 10, header->height() / 2));
    }

    // The day typed into the write page's date picker, then Enter.
    void chooseDay(const QDate &day)
    {
        write()->DatePicker->setFocus();
        write()->DatePicker->setDate(day);
        QTest::keyClick(write()->DatePicker, Qt::Key_Return);
    }

    TWritePage *write() const { return m_w.form->WritePage(); }
    TListPage *list() const { return m_w.form->ListPage(); }

    WindowFixture m_w;
};

QTEST_MAIN(TestFind)
#include "tst_find.moc"
