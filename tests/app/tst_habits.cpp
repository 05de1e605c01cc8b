// The window's part of writing as a habit: the tag drop-down, the lunar calendar, templates for
// new entries and the daily reminder.
#include "accounts/private_login.h"
#include "app/main_form.h"
#include "app/templates_editor.h"
#include "diary/diary_fixture.h"
#include "lunar/lunar_calendar.h"
#include "pages/diary_calendar.h"
#include "pages/list_page.h"
#include "pages/tag_filter.h"
#include "pages/write_page.h"
#include "reminders/daily_reminder.h"
#include "reminders/notifier.h"
#include "richtext/rich_text.h"
#include "templates/templates.h"
#include "widgets/lunar_day_calendar.h"
#include "window_fixture.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTextDocument>
#include <QTextEdit>

using namespace Qt::StringLiterals;
using diary_testing::ownRecord;

namespace {

const QString kZhangSan = u"张三"_s;

// Records what it was asked to show; the test clicks it.
class FakeNotifier : public reminders::Notifier
{
public:
    using Notifier::Notifier;
    void show(const QString &title, const QString &) override { shown.append(title); }
    QStringList shown;
};

QByteArray rtfOf(const QString &text)
{
    QTextDocument doc;
    doc.setPlainText(text);
    return richtext::writeRtf(doc);
}

} // namespace

class HabitWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_w.setUp()); }
    void cleanup() { m_w.tearDown(); }

    void tagDropDownFiltersTheList()
    {
        open({{u"2003年10月1日"_s, ownRecord(0, 0, u"去杭州 #旅行"_s)},
              {u"2003年10月2日"_s, ownRecord(0, 0, u"又去 ＃旅行，还有 #家人"_s)},
              {u"2003年10月3日"_s, ownRecord(0, 0, u"在家 #家人 #2003"_s)},
              {u"2003年10月4日"_s, ownRecord(0, 0, u"没有标签"_s)}});
        TListPage *list = m_w.form->ListPage();
        TTagFilter *tags = list->TagFilter;
        QCOMPARE(tags->count(), 3);
        QCOMPARE(tags->itemText(0), u"全部标签"_s);
        QVERIFY(tags->itemText(1).startsWith(u"#家人"_s) || tags->itemText(1).startsWith(u"#旅行"_s));
        QVERIFY(tags->pickTag(u"旅行"_s));
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(m_w.form->FoundCount()->text(), TListPage::foundText(2));
        // With a tag typed as well, both must be carried.
        list->SearchEdit->setText(u"#家人"_s);
        QCOMPARE(list->rowCount(), 1);
        QCOMPARE(list->shownRows().first().caption, u"2003年10月2日"_s);
        list->ClearButton->click();
        QCOMPARE(tags->currentIndex(), 0);
        QCOMPARE(list->rowCount(), 4);
    }

    void onThisDayTakesTheLunarDateToo()
    {
        const QDate lunarLastYear = lunar::sameLunarDateBefore(QDate(2003, 10, 5), QDate(2002, 1, 1)).first();
        QVERIFY(lunarLastYear.year() == 2002 && lunarLastYear != QDate(2002, 10, 5));
        open({{u"2002年10月5日"_s, ownRecord(0, 0, u"阳历"_s)},
              {diary::entryName(lunarLastYear), ownRecord(0, 0, u"农历"_s)},
              {u"2002年10月6日"_s, ownRecord(0, 0, u"别的日子"_s)}});
        TListPage *list = m_w.form->ListPage();
        list->OnThisDay->click();
        // The solar date at once, the lunar one when the worker has reckoned it.
        QCOMPARE(list->rowCount(), 1);
        QTRY_COMPARE(list->rowCount(), 2);
        const QList<TListPage::Row> rows = list->shownRows();
        QCOMPARE(rows.first().caption, diary::entryName(std::max(lunarLastYear, QDate(2002, 10, 5))));
    }

    void calendarShowsLunarDays()
    {
        open({});
        TListPage *list = m_w.form->ListPage();
        list->CalendarButton->click();
        auto *calendar = static_cast<TLunarDayCalendar *>(list->Calendar->Calendar1);
        calendar->setCurrentPage(2024, 2);
        auto *days = calendar->findChild<QTableView *>(u"qt_calendar_calendarview"_s);
        QVERIFY(days);
        QTRY_VERIFY(days->isVisible());
        // The shown month runs from its first 1 to the next month's.
        const auto cell = [days](const QDate &day) {
            bool inMonth = false;
            for (int r = 0; r < days->model()->rowCount(); ++r) {
                for (int c = 0; c < days->model()->columnCount(); ++c) {
                    const QModelIndex at = days->model()->index(r, c);
                    if (at.data().toInt() == 1)
                        inMonth = !inMonth;
                    if (inMonth && at.data().toInt() == day.day())
                        return days->visualRect(at);
                }
            }
            return QRect();
        };
        QCOMPARE(calendar->labelIn(QDate(2024, 2, 10), cell(QDate(2024, 2, 10))), u"春节"_s);
        QCOMPARE(calendar->labelIn(QDate(2024, 2, 12), cell(QDate(2024, 2, 12))), u"初三"_s);
        QCOMPARE(calendar->labelIn(QDate(2024, 2, 4), cell(QDate(2024, 2, 4))), u"立春"_s);
    }

    void newEntryStartsFromItsTemplate()
    {
        m_w.createUser(kZhangSan, u"pw"_s, {{u"2003年10月4日"_s, ownRecord(1, 2, u"写过了"_s)}});
        templates::Templates set;
        set.everyDay = rtfOf(u"今天：{日期}"_s);
        set.weekdays[6] = rtfOf(u"周日：本周回顾 {日期} {星期}"_s);
        templates::write(kZhangSan, set, nullptr);
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));

        // 5 October 2003, today, is a Sunday.
        m_w.form->writeToday();
        TWritePage *write = m_w.form->WritePage();
        QCOMPARE(m_w.page(), m_w.form->TabSheet1());
        QCOMPARE(write->RichEdit1->toPlainText(), u"周日：本周回顾 2003年10月5日 星期日"_s);
        QVERIFY(write->LunarDate->text().startsWith(u"农历癸未年"_s));
        emit write->dayChosen(QDate(2003, 10, 6));
        QCOMPARE(write->RichEdit1->toPlainText(), u"今天：2003年10月6日"_s);
        emit write->dayChosen(QDate(2003, 10, 4));
        QCOMPARE(write->RichEdit1->toPlainText(), u"写过了"_s);
        // The template days left as they came were not stored.
        m_w.form->NavBtn4Click();
        QCOMPARE(m_w.form->ListPage()->allRowCount(), 1);
    }

    void aPrivateDiarysTemplateIsSealedAndUsed()
    {
        {
            TArchiveWriter writer;
            accounts::createPrivateUserArchive(writer, kZhangSan, u"pw"_s);
            writeUserList({kZhangSan});
        }
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        QVERIFY(m_w.form->diaryKey());
        templates::Templates set;
        set.everyDay = rtfOf(u"只给自己看 {日期}"_s);
        templates::write(kZhangSan, set, m_w.form->diaryKey());
        QFile file(templates::pathOf(kZhangSan));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().contains("rtf1"));   // no plain RTF on the disk
        m_w.form->writeToday();
        QCOMPARE(m_w.form->WritePage()->RichEdit1->toPlainText(), u"只给自己看 2003年10月5日"_s);
    }

    void templatesEditorKeepsEachDaysText()
    {
        templates::Templates set;
        set.everyDay = rtfOf(u"每天的"_s);
        TTemplatesEditor editor(set);
        QCOMPARE(editor.Editor()->toPlainText(), u"每天的"_s);
        editor.DayBox()->setCurrentIndex(7);
        QVERIFY(editor.Editor()->document()->isEmpty());
        editor.Editor()->setPlainText(u"周日：本周回顾"_s);
        editor.DayBox()->setCurrentIndex(0);
        editor.Editor()->clear();
        const templates::Templates edited = editor.templates();
        QVERIFY(edited.everyDay.isEmpty());
        QTextDocument sunday;
        richtext::readRtf(edited.weekdays[6], sunday);
        QCOMPARE(sunday.toPlainText(), u"周日：本周回顾"_s);
    }

    void reminderOpensTodayAfterTheLogin()
    {
        m_w.createUser(kZhangSan, u"pw"_s, {{u"2003年10月4日"_s, ownRecord(0, 0, u"昨天"_s)}});
        reminders::writeReminderTime(kZhangSan, QTime(21, 0));
        QVERIFY(m_w.start());
        auto *notifier = new FakeNotifier(m_w.form.get());
        m_w.form->setReminderNotifier(notifier);
        QDateTime now(m_w.today, QTime(20, 59));
        m_w.form->setReminderClock([&now] { return now; });
        reminders::DailyReminder *reminder = m_w.form->dailyReminder(kZhangSan);
        QVERIFY(reminder);
        QTRY_VERIFY(reminder->time().has_value());
        reminder->check();
        QVERIFY(notifier->shown.isEmpty());
        now = now.addSecs(60);
        reminder->check();
        QCOMPARE(notifier->shown, QStringList{u"今天还没写日记"_s});

        emit notifier->clicked();
        QCOMPARE(m_w.page(), m_w.form->TabSheet3());
        QCOMPARE(m_w.form->Panel1()->ComboBox1()->currentText(), kZhangSan);
        m_w.form->Panel1()->MaskEdit1()->setText(u"pw"_s);
        QTest::mouseClick(m_w.form->Panel1()->Button1(), Qt::LeftButton);
        QCOMPARE(m_w.page(), m_w.form->TabSheet1());
        QCOMPARE(m_w.form->WritePage()->Label3->text(), u"2003年10月5日"_s);
    }

    void noReminderForADayWritten()
    {
        m_w.createUser(kZhangSan, u"pw"_s, {{u"2003年10月5日"_s, ownRecord(0, 0, u"写了"_s)}});
        reminders::writeReminderTime(kZhangSan, QTime(8, 0));
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        auto *notifier = new FakeNotifier(m_w.form.get());
        m_w.form->setReminderNotifier(notifier);
        m_w.form->setReminderClock([this] { return QDateTime(m_w.today, QTime(9, 0)); });
        reminders::DailyReminder *reminder = m_w.form->dailyReminder(kZhangSan);
        QVERIFY(reminder);
        reminder->check();
        QTest::qWait(0);
        QVERIFY(notifier->shown.isEmpty());
    }

private:
    void open(const WindowFixture::Entries &entries)
    {
        m_w.createUser(kZhangSan, u"pw"_s, entries);
        QVERIFY(m_w.start());
        QVERIFY(m_w.login(kZhangSan, u"pw"_s));
        QCOMPARE(m_w.page(), m_w.form->TabSheet2());
    }

    WindowFixture m_w;
};

QTEST_MAIN(HabitWindowTest)
#include "tst_habits.moc"
