#include "tags/tag_counts.h"
#include "tags/tag_words.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(TagWords, AreReadAsTheRuleSays)
{
    const struct {
        const char *why;
        QString text;
        QStringList tags;
    } cases[] = {
        {"half-width and full-width signs", u"今天 #旅行 和 ＃家人"_s, {u"旅行"_s, u"家人"_s}},
        {"punctuation ends a tag", u"#读书笔记，很好。#散步!"_s, {u"读书笔记"_s, u"散步"_s}},
        {"a blank and a line break end a tag", u"#a1 b\r\n#c2\td"_s, {u"a1"_s, u"c2"_s}},
        {"digits and Latin letters inside", u"#2024旅行 #Qt6"_s, {u"2024旅行"_s, u"Qt6"_s}},
        {"in the middle of Chinese text", u"去了#西湖。"_s, {u"西湖"_s}},
        {"a number alone is no tag", u"#2024 #１２ 第#3 名"_s, {}},
        {"# then a blank is no tag", u"# 旅行 ＃　家人 #"_s, {}},
        {"after a Latin letter or digit no tag starts", u"C#语言 F# x.html#part &#123; 3#楼"_s, {}},
        {"a closing sign starts no second tag", u"#话题#今天很好"_s, {u"话题"_s}},
        {"each tag once, the first spelling", u"#Travel #travel #ＴＲＡＶＥＬ #旅行 #旅行"_s,
         {u"Travel"_s, u"旅行"_s}},
        {"an emoji or symbol ends a tag", u"#晚饭😀好吃 #咖啡+茶"_s, {u"晚饭"_s, u"咖啡"_s}},
        {"a letter beyond the BMP", u"#𠀀字"_s, {u"𠀀字"_s}},
        {"an underscore and a hyphen end a tag", u"#e_book #e-mail"_s, {u"e"_s}},
        {"a run too long to be a tag", u"#"_s + QString(tags::kMaxTagLength + 1, u'字') + u" #短"_s, {u"短"_s}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(tags::tagsIn(c.text), c.tags) << c.why;
}

TEST(TagWords, SpansPointAtTheSignAndTheWord)
{
    const QString text = u"早上#跑步，晚上＃读书"_s;
    const QList<tags::TagSpan> spans = tags::findTags(text);
    ASSERT_EQ(spans.size(), 2);
    EXPECT_EQ(text.sliced(spans[0].start, 1), u"#"_s);
    EXPECT_EQ(text.sliced(spans[0].wordStart(), spans[0].length), u"跑步"_s);
    EXPECT_EQ(text.sliced(spans[1].start, spans[1].end() - spans[1].start), u"＃读书"_s);
}

TEST(TagWords, KeysIgnoreWidthAndCase)
{
    EXPECT_EQ(tags::tagKey(u"ＴＲＡＶＥＬ"_s), u"travel"_s);
    EXPECT_EQ(tags::tagKey(u"Travel"_s), tags::tagKey(u"travel"_s));
    EXPECT_EQ(tags::tagKey(u"旅行"_s), u"旅行"_s);
    EXPECT_NE(tags::tagKey(u"旅行"_s), tags::tagKey(u"旅游"_s));
}

namespace {

diary::ListRow tagged(const QString &name, const QStringList &tags, bool readable = true)
{
    diary::ListRow row;
    row.name = name;
    row.tags = tags;
    if (!readable)
        row.problem = diary::EntryProblem::Damaged;
    return row;
}

} // namespace

TEST(TagCounts, MostUsedFirstWithFirstAndLastDay)
{
    const QList<diary::ListRow> rows = {
        tagged(u"2024年3月1日"_s, {u"旅行"_s, u"家人"_s}),
        tagged(u"2023年1月5日"_s, {u"旅行"_s}),
        tagged(u"2024年5月9日"_s, {u"Book"_s}),
        tagged(u"2025年1月1日"_s, {u"book"_s, u"旅行"_s}),
        tagged(u"随笔"_s, {u"家人"_s}),                       // no date: counted, no day
        tagged(u"2025年2月2日"_s, {u"旅行"_s}, false),       // unreadable: not counted
    };
    const QList<tags::TagCount> all = tags::countTags(rows);
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[0].tag, u"旅行"_s);
    EXPECT_EQ(all[0].entries, 3);
    EXPECT_EQ(all[0].first, QDate(2023, 1, 5));
    EXPECT_EQ(all[0].last, QDate(2025, 1, 1));
    // Two each: the one used last comes first.
    EXPECT_EQ(all[1].tag, u"Book"_s);
    EXPECT_EQ(all[1].entries, 2);
    EXPECT_EQ(all[2].tag, u"家人"_s);
    EXPECT_EQ(all[2].last, QDate(2024, 3, 1));

    const QList<tags::TagCount> year = tags::countTags(rows, QDate(2024, 1, 1), QDate(2024, 12, 31));
    ASSERT_EQ(year.size(), 3);
    for (const tags::TagCount &count : year)
        EXPECT_EQ(count.entries, 1) << qPrintable(count.tag);
}
