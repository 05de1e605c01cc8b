#include "diary_fixture.h"

#include "diary/row_order.h"
#include "diary/search.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

diary::ListRow row(const QString &name, const QString &weather = {}, const QString &mood = {},
                   const QString &summary = {})
{
    diary::ListRow r;
    r.name = name;
    r.nameBytes = name.toUtf8();
    r.weather = weather;
    r.mood = mood;
    r.summary = summary;
    return r;
}

QStringList names(const QList<diary::ListRow> &rows)
{
    QStringList out;
    for (const diary::ListRow &r : rows)
        out << r.name;
    return out;
}

} // namespace

TEST(DateOfName, ReadsExactlyTheNamesEntryNameMakes)
{
    const struct {
        const char16_t *name;
        QDate date;
    } cases[] = {
        {u"2003年9月26日", QDate(2003, 9, 26)},
        {u"2003年10月5日", QDate(2003, 10, 5)},
        {u"1999年12月31日", QDate(1999, 12, 31)},
        {u"2100年2月28日", QDate(2100, 2, 28)},
        {u"2004年2月29日", QDate(2004, 2, 29)},
        {u"0999年1月1日", QDate(999, 1, 1)},
        {u"2100年2月29日", QDate()},   // no leap day in 2100
        {u"2003年09月26日", QDate()},  // leading zero
        {u"2003年9月026日", QDate()},
        {u"203年9月26日", QDate()},    // three-digit year
        {u"20030年9月26日", QDate()},
        {u"2003年13月1日", QDate()},
        {u"2003年9月26日 ", QDate()},
        {u" 2003年9月26日", QDate()},
        {u"2003年9月26", QDate()},
        {u"2003-9-26", QDate()},
        {u"２００３年9月26日", QDate()}, // full-width digits are another tool's name
        {u"", QDate()},
    };
    for (const auto &c : cases) {
        const QString name = QString::fromUtf16(c.name);
        EXPECT_EQ(diary::dateOfName(name), c.date) << name.toStdString();
        if (c.date.isValid()) {
            EXPECT_EQ(diary::entryName(c.date), name);
        }
    }
    // Every day of a century reads back.
    for (QDate d(1999, 1, 1); d <= QDate(2100, 12, 31); d = d.addDays(1)) {
        ASSERT_EQ(diary::dateOfName(diary::entryName(d)), d);
    }
}

TEST(RowOrder, DatesInEitherDirectionOtherNamesAfterThemAndEveryColumnReverses)
{
    const QList<diary::ListRow> rows = {
        row(u"2003年9月3日"_s, u"雨"_s, u"爱心"_s, u"b"_s),
        row(u"notes"_s, {}, {}, u"x"_s),
        row(u"2003年10月5日"_s, u"晴"_s, u"烦恼"_s, u"a"_s),
        row(u"2100年1月1日"_s, u"雨"_s, u"高兴"_s, u"c"_s),
        row(u"1999年12月31日"_s, u"雪"_s, {}, u"a"_s),
        row(u"2003-9-6"_s),
        row(u"2003年9月26日"_s, u"晴"_s, u"烦恼"_s, u"d"_s),
    };
    using diary::SortColumn;
    const struct {
        diary::RowOrder order;
        QStringList expected;
    } cases[] = {
        {{SortColumn::Date, true},
         {u"2100年1月1日"_s, u"2003年10月5日"_s, u"2003年9月26日"_s, u"2003年9月3日"_s,
          u"1999年12月31日"_s, u"2003-9-6"_s, u"notes"_s}},
        {{SortColumn::Date, false},
         {u"1999年12月31日"_s, u"2003年9月3日"_s, u"2003年9月26日"_s, u"2003年10月5日"_s,
          u"2100年1月1日"_s, u"2003-9-6"_s, u"notes"_s}},
        // Ties by date, newest first; an empty word last.
        {{SortColumn::Weather, false},
         {u"2003年10月5日"_s, u"2003年9月26日"_s, u"2100年1月1日"_s, u"2003年9月3日"_s,
          u"1999年12月31日"_s, u"2003-9-6"_s, u"notes"_s}},
        {{SortColumn::Weather, true},
         {u"2003-9-6"_s, u"notes"_s, u"1999年12月31日"_s, u"2100年1月1日"_s, u"2003年9月3日"_s,
          u"2003年10月5日"_s, u"2003年9月26日"_s}},
        {{SortColumn::Mood, false},
         {u"2100年1月1日"_s, u"2003年10月5日"_s, u"2003年9月26日"_s, u"2003年9月3日"_s,
          u"1999年12月31日"_s, u"2003-9-6"_s, u"notes"_s}},
        {{SortColumn::Summary, false},
         {u"2003-9-6"_s, u"2003年10月5日"_s, u"1999年12月31日"_s, u"2003年9月3日"_s,
          u"2100年1月1日"_s, u"2003年9月26日"_s, u"notes"_s}},
        {{SortColumn::Summary, true},
         {u"notes"_s, u"2003年9月26日"_s, u"2100年1月1日"_s, u"2003年9月3日"_s,
          u"2003年10月5日"_s, u"1999年12月31日"_s, u"2003-9-6"_s}},
    };
    for (const auto &c : cases) {
        QList<diary::ListRow> sorted = rows;
        diary::sortRows(sorted, c.order);
        EXPECT_EQ(names(sorted), c.expected) << int(c.order.column) << c.order.descending;
    }
    QList<diary::ListRow> byName = rows;
    diary::sortRowsByName(byName);
    EXPECT_EQ(names(byName).first(), u"1999年12月31日"_s);
    EXPECT_LT(names(byName).indexOf(u"2003年10月5日"_s), names(byName).indexOf(u"2003年9月26日"_s));
}

TEST(SearchFold, IgnoresCaseAndWidthAndMapsBackToTheText)
{
    const struct {
        const char16_t *text;
        const char16_t *needle;
        QList<QPair<qsizetype, qsizetype>> ranges;
    } cases[] = {
        {u"今天下雨了，明天下雨吗", u"下雨", {{2, 4}, {8, 10}}},
        {u"Walked in the RAIN", u"rain", {{14, 18}}},
        {u"ＲＡＩＮ and rain", u"Rain", {{0, 4}, {9, 13}}},
        {u"ＡＢＣ１２３", u"abc123", {{0, 6}}},
        {u"half　width", u"f w", {{3, 6}}},    // the ideographic space is a space
        {u"㍿ company", u"株式会社", {{0, 1}}}, // one character standing for four
        {u"aaaa", u"aa", {{0, 2}, {2, 4}}},
        {u"雨", u"雪", {}},
        {u"anything", u"", {}},
        {u"😀 emoji 😀", u"😀", {{0, 2}, {9, 11}}},
    };
    for (const auto &c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(diary::findMatches(text, QString::fromUtf16(c.needle)), c.ranges) << text.toStdString();
    }
    QList<qsizetype> origins;
    EXPECT_EQ(diary::foldForSearch(u"Ａb", &origins), u"ab"_s);
    EXPECT_EQ(origins, (QList<qsizetype>{0, 1, 2}));
}

TEST(SearchIndex, FindsByTextWeatherMoodAndDates)
{
    QList<diary::ListRow> rows = {
        row(u"2003年9月26日"_s, u"雨"_s, u"想法"_s, u"今天下雨了\r\nWalked in the Rain"_s),
        row(u"2003年10月5日"_s, u"晴"_s, u"高兴"_s, u"没有雨，下午去爬山"_s),
        row(u"2004年2月29日"_s, u"雨"_s, u"高兴"_s, u"又下雨，ＲＡＩＮ"_s),
        row(u"notes"_s, u"雨"_s, u"高兴"_s, u"下雨 rain"_s),
        diary::unreadableRow(QByteArray("2003年9月27日"), diary::EntryProblem::Damaged),
    };
    rows[4].name = u"2003年9月27日"_s;
    const diary::SearchIndex index(rows);
    const auto query = [](const QString &text, int weather = -1, int mood = -1, QDate from = {},
                          QDate to = {}) {
        diary::SearchQuery q;
        q.text = text;
        q.weather = weather;
        q.mood = mood;
        q.from = from;
        q.to = to;
        return q;
    };
    const struct {
        const char *what;
        diary::SearchQuery query;
        QList<qsizetype> found;
    } cases[] = {
        {"open", query({}), {0, 1, 2, 3, 4}},
        {"two Chinese characters", query(u"下雨"_s), {0, 2, 3}},
        {"a Latin word in another case and width", query(u"rAiN"_s), {0, 2, 3}},
        {"text and weather", query(u"雨"_s, 1), {}},
        {"weather alone", query({}, 2), {0, 2, 3}},
        {"mood alone", query({}, -1, 0), {1, 2, 3}},
        {"weather and mood", query({}, 2, 0), {2, 3}},
        {"a date range leaves out names that are no dates",
         query({}, -1, -1, QDate(2003, 9, 26), QDate(2003, 10, 5)), {0, 1, 4}},
        {"from alone", query(u"下雨"_s, -1, -1, QDate(2003, 10, 1)), {2}},
        {"to alone", query({}, -1, -1, {}, QDate(2003, 9, 26)), {0}},
        {"the text of an unreadable row is not searched", query(u"无法读取"_s), {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(index.find(c.query), c.found) << c.what;
    EXPECT_GT(index.heldCharacters(), 30);
}

TEST(OnThisDay, EarlierYearsOfTheSameDayAndTheLeapDayOnItsEve)
{
    const struct {
        QDate day;
        QDate today;
        bool shown;
    } cases[] = {
        {QDate(2003, 9, 26), QDate(2010, 9, 26), true},
        {QDate(2010, 9, 26), QDate(2010, 9, 26), false},   // today itself is not "that year"
        {QDate(2011, 9, 26), QDate(2010, 9, 26), false},
        {QDate(2003, 9, 25), QDate(2010, 9, 26), false},
        {QDate(2004, 2, 29), QDate(2008, 2, 29), true},
        {QDate(2004, 2, 29), QDate(2009, 2, 28), true},     // no 29th this year: shown on the 28th
        {QDate(2004, 2, 29), QDate(2008, 2, 28), false},    // a leap year has its own 29th
        {QDate(2004, 2, 29), QDate(2009, 3, 1), false},
        {QDate(2003, 2, 28), QDate(2009, 2, 28), true},
        {QDate(2003, 3, 1), QDate(2008, 2, 29), false},
        {QDate(), QDate(2008, 2, 29), false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(diary::onThisDay(c.day, c.today), c.shown) << c.day.toString().toStdString()
                                                            << " on " << c.today.toString().toStdString();
}
