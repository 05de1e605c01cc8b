#include "diary_fixture.h"

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "diary/diary_book.h"
#include "diary/row_order.h"
#include "diary/search.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
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

// The spellings of a date other programs give entry names, for the date order.
TEST(DateOfAnyName, ReadsOtherSpellingsOfADate)
{
    const struct {
        const char16_t *name;
        QDate date;
    } cases[] = {
        {u"2003年9月26日", QDate(2003, 9, 26)},
        {u"2003年09月06日", QDate(2003, 9, 6)},
        {u"2003-09-04", QDate(2003, 9, 4)},
        {u"2003-9-4", QDate(2003, 9, 4)},
        {u"2003-02-30", QDate()},
        {u"2003-09", QDate()},
        {u"2003-09-04 notes", QDate()},
        {u"notes", QDate()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(diary::dateOfAnyName(QString::fromUtf16(c.name)), c.date) << QString::fromUtf16(c.name).toStdString();
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
        // Another program's spelling of a date among the dates.
        {{SortColumn::Date, true},
         {u"2100年1月1日"_s, u"2003年10月5日"_s, u"2003年9月26日"_s, u"2003-9-6"_s, u"2003年9月3日"_s,
          u"1999年12月31日"_s, u"notes"_s}},
        {{SortColumn::Date, false},
         {u"1999年12月31日"_s, u"2003年9月3日"_s, u"2003-9-6"_s, u"2003年9月26日"_s, u"2003年10月5日"_s,
          u"2100年1月1日"_s, u"notes"_s}},
        // Ties by date, newest first; an empty word last.
        {{SortColumn::Weather, false},
         {u"2003年10月5日"_s, u"2003年9月26日"_s, u"2100年1月1日"_s, u"2003年9月3日"_s,
          u"1999年12月31日"_s, u"2003-9-6"_s, u"notes"_s}},
        {{SortColumn::Weather, true},
         {u"2003-9-6"_s, u"notes"_s, u"1999年12月31日"_s, u"2100年1月1日"_s, u"2003年9月3日"_s,
          u"2003年10月5日"_s, u"2003年9月26日"_s}},
        {{SortColumn::Mood, false},
         {u"2100年1月1日"_s, u"2003年10月5日"_s, u"2003年9月26日"_s, u"2003年9月3日"_s,
          u"2003-9-6"_s, u"1999年12月31日"_s, u"notes"_s}},
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

// The listing folds without origins, on a path of its own: it must give exactly the fold that
// the highlighting (with origins) computes, also where a character folds to more or fewer units.
TEST(SearchFold, TheListingsFoldEqualsTheFoldWithOrigins)
{
    const char16_t *texts[] = {
        u"今天下雨了，明天ＲＡＩＮ。",
        u"ﬁne ㍿ after",               // folds longer than the character
        u"𝐀𝐁 math and 😀",           // outside the BMP, folding to one unit and staying two
        u"lone \xD800 high and \xDC00 low",
        u"",
    };
    for (const char16_t *t : texts) {
        const QString text = QString::fromUtf16(t);
        QList<qsizetype> origins;
        EXPECT_EQ(diary::foldForSearch(text), diary::foldForSearch(text, &origins)) << text.toStdString();
    }
    EXPECT_EQ(diary::foldForSearch(u"ﬁne ㍿ 𝐀"), u"fine 株式会社 a"_s);
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

TEST(SearchIndex, FindsByTagsTypedInTheSearchBox)
{
    QList<diary::ListRow> rows = {
        row(u"2024年1月1日"_s, u"雨"_s, u"伤感"_s, u"#旅行 去了杭州，下雨"_s),
        row(u"2024年1月2日"_s, u"晴"_s, u"高兴"_s, u"#旅行 #家人 爬山"_s),
        row(u"2024年1月3日"_s, u"晴"_s, u"高兴"_s, u"旅行的计划，#Book"_s),
        diary::unreadableRow(QByteArray("x"), diary::EntryProblem::Damaged),
    };
    rows[0].tags = {u"旅行"_s};
    rows[1].tags = {u"旅行"_s, u"家人"_s};
    rows[2].tags = {u"Book"_s};
    rows[3].tags = {u"旅行"_s};   // never matched: it cannot be read
    const diary::SearchIndex index(rows);
    const auto typed = [](const QString &text) {
        diary::SearchQuery q;
        q.setSearchText(text);
        return q;
    };
    const struct {
        const char *what;
        QString typed;
        QStringList tags;
        QString text;
        QList<qsizetype> found;
    } cases[] = {
        {"a tag alone", u"#旅行"_s, {u"旅行"_s}, {}, {0, 1}},
        {"a full-width sign, in another case", u"＃book"_s, {u"book"_s}, {}, {2}},
        {"two tags: both", u"#旅行 ＃家人"_s, {u"旅行"_s, u"家人"_s}, {}, {1}},
        {"a tag and text", u"下雨 #旅行"_s, {u"旅行"_s}, u"下雨"_s, {0}},
        {"a tag nobody uses", u"#工作"_s, {u"工作"_s}, {}, {}},
        {"the word without its sign is text", u"旅行"_s, {}, u"旅行"_s, {0, 1, 2}},
        {"a sign then a blank is text", u"# 旅行"_s, {}, u"# 旅行"_s, {}},
    };
    for (const auto &c : cases) {
        const diary::SearchQuery q = typed(c.typed);
        EXPECT_EQ(q.tags, c.tags) << c.what;
        EXPECT_EQ(q.text, c.text) << c.what;
        EXPECT_EQ(index.find(q), c.found) << c.what;
    }
}

// A long diary is searched in parts at once: the matches come back whole and in row order.
TEST(SearchIndex, ALongDiaryFindsEveryMatchInOrder)
{
    QList<diary::ListRow> rows;
    QList<qsizetype> expected;
    const QString filler = QString(400, u'晴');
    for (int i = 0; i < 3001; ++i) {
        const bool rain = i % 7 == 3;
        rows.append(row(u"notes"_s, u"雨"_s, u"高兴"_s, filler + (rain ? u"下雨"_s : u"下午"_s)));
        if (rain)
            expected.append(i);
    }
    const diary::SearchIndex index(rows);
    ASSERT_GT(index.heldCharacters(), 1 << 20);
    diary::SearchQuery query;
    query.text = u"下雨"_s;
    EXPECT_EQ(index.find(query), expected);
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

namespace {

void expectSameRows(const diary::Listing &got, const diary::Listing &fresh, const char *when)
{
    ASSERT_EQ(got.rows.size(), fresh.rows.size()) << when;
    for (qsizetype i = 0; i < got.rows.size(); ++i) {
        const diary::ListRow &a = got.rows[i];
        const diary::ListRow &b = fresh.rows[i];
        EXPECT_EQ(a.nameBytes, b.nameBytes) << when << " row " << i;
        EXPECT_EQ(a.weather, b.weather) << when << " row " << i;
        EXPECT_EQ(a.mood, b.mood) << when << " row " << i;
        EXPECT_EQ(a.summary, b.summary) << when << " row " << i;
        EXPECT_EQ(a.folded, b.folded) << when << " row " << i;
        EXPECT_EQ(a.tags, b.tags) << when << " row " << i;
        EXPECT_EQ(a.problem, b.problem) << when << " row " << i;
    }
}

} // namespace

TEST(ListingCache, RowsAlwaysEqualAFreshListingAndOnlyChangedEntriesAreDecoded)
{
    using namespace diary_testing;
    QTemporaryDir dir;
    const QString first = dir.filePath(u"张三"_s);
    const QString second = dir.filePath(u"李四"_s);
    QList<std::pair<QString, QByteArray>> entries;
    for (int day = 1; day <= 20; ++day)
        entries.append({diary::entryName(QDate(2003, 9, day)), ownRecord(day % 4, day % 8, u"第%1天 #第%2组"_s.arg(day).arg(day % 3))});
    writeDiary(first, entries);
    writeDiary(second, {{u"2003年9月1日"_s, ownRecord(1, 1, u"别人的日记"_s)}});

    diary::ListingCache cache;
    TArchiveReader reader;
    TArchiveWriter writer;
    reader.SetZipName(first);
    writer.SetZipName(first);
    const auto check = [&](const char *when, qsizetype reused) {
        TArchiveReader freshReader;
        freshReader.SetZipName(reader.ZipName());
        const diary::Listing fresh = diary::listEntries(freshReader);
        const diary::Listing got = diary::listEntries(reader, nullptr, &cache);
        expectSameRows(got, fresh, when);
        if (reused >= 0) {
            EXPECT_EQ(cache.reused(), reused) << when;
        }
        EXPECT_EQ(cache.size(), fresh.rows.size()) << when;
    };
    check("first listing", 0);
    check("listed again", 20);

    // Today's entry, added at the end: only it is decoded.
    ASSERT_EQ(diary::storeEntry(writer, g(u"2003年9月21日"_s), ownRecord(2, 2, u"新的"_s)),
              diary::EntryProblem::None);
    check("after adding an entry", 20);
    // Saved again where it stands, with new text.
    ASSERT_EQ(diary::storeEntry(writer, g(u"2003年9月21日"_s), ownRecord(3, 3, u"改过"_s)),
              diary::EntryProblem::None);
    check("after saving it again", 20);
    // An entry in the middle changed: those behind it moved, but only it is decoded.
    ASSERT_EQ(diary::storeEntry(writer, g(u"2003年9月10日"_s), ownRecord(0, 0, u"改了中间的一篇，长一些 #新"_s)),
              diary::EntryProblem::None);
    check("after changing an entry in the middle", 20);
    diary::deleteEntry(reader, writer, g(u"2003年9月21日"_s));
    check("after deleting the last entry", 20);

    // Another program replaces an entry where it stands, under another password.
    {
        TArchiveWriter other;
        other.SetZipName(first);
        other.SetPassword(u"another"_s);
        QByteArray record = ownRecord(1, 1, u"第20天"_s);
        QBuffer stream(&record);
        stream.open(QIODevice::ReadOnly);
        other.AddFromStream(g(u"2003年9月20日"_s), stream);
    }
    check("after another program replaced an entry", 19);
    // Another program rewrites the whole file with the same entries and texts.
    writeDiary(first, entries);
    // (Entries written anew carry a new time stamp: whether they are decoded again depends on
    // the clock's two-second step, the rows do not.)
    check("after another program rewrote the archive", -1);

    // Another user's diary: the cache starts again.
    reader.SetZipName(second);
    check("another user's diary", 0);
    reader.SetZipName(first);
    check("back to the first diary", 0);
    QFile::remove(first);
    check("the archive gone", 0);
    EXPECT_EQ(cache.size(), 0);
}

TEST(Listing, LeavingTheSearchFoldOutChangesNothingElseAndSearchStillFinds)
{
    using namespace diary_testing;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"张三"_s);
    writeDiary(path, {{u"2003年9月1日"_s, ownRecord(1, 1, u"今天下雨了，ＲＡＩＮ"_s)},
                      {u"2003年9月2日"_s, ownRecord(2, 2, u"晴天"_s)}});
    TArchiveReader reader;
    reader.SetZipName(path);
    const diary::Listing made = diary::listEntries(reader);
    diary::Listing left = diary::listEntries(reader, nullptr, nullptr, diary::SearchFolding::Left);
    ASSERT_EQ(left.rows.size(), 2);
    for (const diary::ListRow &row : std::as_const(left.rows))
        EXPECT_TRUE(row.folded.isNull());
    diary::SearchQuery query;
    query.text = u"rain"_s;
    EXPECT_EQ(diary::SearchIndex(left.rows).find(query), diary::SearchIndex(made.rows).find(query));
    EXPECT_EQ(diary::SearchIndex(left.rows).find(query), QList<qsizetype>{0});
    for (diary::ListRow &row : left.rows)
        row.folded = diary::foldForSearch(row.summary);
    expectSameRows(left, made, "folded afterwards");
}
