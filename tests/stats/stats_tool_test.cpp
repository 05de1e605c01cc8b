#include "diary/diary_fixture.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace diary_testing;
using testing_support::run;

namespace {

QString tool()
{
    return QDir(testing_support::binDir()).filePath(u"quillbook-tool"_s);
}

} // namespace

TEST(StatsTool, PrintsTheFiguresAsTextAndJsonAlsoOfAPrivateDiary)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"李四"_s);
    writeDiary(path, {
        {u"2024年2月28日"_s, ownRecord(0, 0, u"今天很好 ok"_s)},
        {u"2024年2月29日"_s, ownRecord(2, 3, u"下雨😀"_s)},
        {u"2024年3月1日"_s, ownRecord(2, 3, u"三月"_s)},
        {u"2024年3月2日"_s, richEditRecord({u"one"_s, u"1"_s})},
        {u"notes"_s, ownRecord(0, 0, u"not a day"_s)},
        {u"2021年7月4日"_s, ownRecord(3, 7, u"早年"_s)},
    });

    const auto text = run(tool(), {u"stats"_s, path, u"--year"_s, u"2024"_s});
    ASSERT_EQ(text.exitCode, 0) << text.err.constData();
    const QStringList lines = QString::fromUtf8(text.out).split(u'\n');
    for (const QString &line : {u"entries: 4"_s, u"unreadable entries: 1"_s,
                                u"entries not named by a date: 1"_s, u"first entry: 2021-07-04"_s,
                                u"latest entry: 2024-03-01"_s,
                                u"longest streak: 3 days (2024-02-28 to 2024-03-01)"_s,
                                u"characters: 13"_s, u"characters per entry: 3"_s,
                                u"2021\t1\t2"_s, u"2024\t3\t11"_s, u"year 2024"_s,
                                u"month\tentries\tcharacters\t高兴\t烦恼\t愤怒\t伤感\t想法\t感慨\t疑问\t爱心\tother\t晴\t阴\t雨\t雪\tother"_s,
                                u"2\t2\t9\t1\t0\t0\t1\t0\t0\t0\t0\t0\t1\t0\t1\t0\t0"_s,
                                u"3\t1\t2\t0\t0\t0\t1\t0\t0\t0\t0\t0\t0\t0\t1\t0\t0"_s})
        EXPECT_TRUE(lines.contains(line)) << line.toStdString() << "\n" << text.out.constData();

    const QString passwordFile = dir.filePath(u"pw"_s);
    testing_support::writeFile(passwordFile, QByteArray("口令\n"));
    const QStringList withPassword{u"--password-file"_s, passwordFile};
    ASSERT_EQ(run(tool(), withPassword + QStringList{u"protect"_s, path}).exitCode, 0);
    const auto json = run(tool(), withPassword + QStringList{u"stats"_s, path, u"--json"_s, u"--year"_s, u"2024"_s});
    ASSERT_EQ(json.exitCode, 0) << json.err.constData();
    const QJsonObject all = QJsonDocument::fromJson(json.out).object();
    EXPECT_EQ(all[u"entries"_s].toInt(), 4);
    EXPECT_EQ(all[u"unreadable"_s].toInt(), 1);
    EXPECT_EQ(all[u"undated"_s].toInt(), 1);
    EXPECT_EQ(all[u"characters"_s].toInt(), 13);
    EXPECT_EQ(all[u"longestStreak"_s][u"days"_s].toInt(), 3);
    EXPECT_EQ(all[u"longestStreak"_s][u"first"_s].toString(), u"2024-02-28"_s);
    EXPECT_EQ(all[u"moods"_s][u"伤感"_s].toInt(), 2);
    const QJsonObject year = all[u"year"_s].toObject();
    EXPECT_EQ(year[u"year"_s].toInt(), 2024);
    EXPECT_EQ(year[u"months"_s][1][u"entries"_s].toInt(), 2);
    EXPECT_EQ(year[u"months"_s][1][u"characters"_s].toInt(), 9);
    EXPECT_EQ(year[u"months"_s][2][u"weathers"_s][u"雨"_s].toInt(), 1);
    // 28 February 2024 a Wednesday, 29th a Thursday, 1 March a Friday.
    EXPECT_EQ(year[u"weekdays"_s].toArray(), (QJsonArray{0, 0, 1, 1, 1, 0, 0}));

    EXPECT_EQ(run(tool(), {u"stats"_s, path}, QByteArray("wrong\n")).exitCode, 2);
}

TEST(StatsTool, RefusesWhatItCannotRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"empty"_s);
    writeDiary(path, {});
    const auto empty = run(tool(), {u"stats"_s, path, u"--json"_s});
    ASSERT_EQ(empty.exitCode, 0) << empty.err.constData();
    EXPECT_EQ(QJsonDocument::fromJson(empty.out).object()[u"entries"_s].toInt(), 0);
    EXPECT_TRUE(QJsonDocument::fromJson(empty.out).object()[u"first"_s].isNull());

    for (const QStringList &args : {QStringList{u"stats"_s}, QStringList{u"stats"_s, path, u"--year"_s, u"x"_s},
                                    QStringList{u"stats"_s, path, u"--year"_s},
                                    QStringList{u"stats"_s, path, u"--color"_s}})
        EXPECT_EQ(run(tool(), args).exitCode, 2) << args.join(u' ').toStdString();
    const auto missing = run(tool(), {u"stats"_s, dir.filePath(u"nobody"_s)});
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_TRUE(missing.out.startsWith("entries: 0\n"));
}

TEST(StatsTool, GivesTheTagsAndWhatTheMoodsGoWith)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"周八"_s);
    QList<std::pair<QString, QByteArray>> entries;
    // Six rainy 伤感 days tagged #加班, then six sunny 高兴 ones, two of them #旅行.
    for (int i = 0; i < 12; ++i) {
        const bool rain = i < 6;
        entries.append({diary::entryName(QDate(2024, 3, 1).addDays(i)),
                        ownRecord(rain ? 2 : 0, rain ? 3 : 0, rain ? u"#加班 累"_s : (i > 9 ? u"#旅行"_s : u"好"_s))});
    }
    writeDiary(path, entries);
    const auto json = run(tool(), {u"stats"_s, path, u"--json"_s});
    ASSERT_EQ(json.exitCode, 0) << json.err.constData();
    const QJsonObject all = QJsonDocument::fromJson(json.out).object();
    const QJsonArray tags = all[u"tags"_s].toArray();
    ASSERT_EQ(tags.size(), 2);
    EXPECT_EQ(tags[0].toObject(), (QJsonObject{{u"tag"_s, u"加班"_s}, {u"entries"_s, 6},
                                               {u"first"_s, u"2024-03-01"_s}, {u"last"_s, u"2024-03-06"_s}}));
    EXPECT_EQ(tags[1][u"tag"_s].toString(), u"旅行"_s);
    EXPECT_EQ(all[u"year"_s][u"tags"_s].toArray().size(), 2);
    const QJsonObject links = all[u"moodLinks"_s].toObject();
    EXPECT_EQ(links[u"days"_s].toInt(), 12);
    QStringList cells;
    for (const QJsonValue &cell : links[u"cells"_s].toArray()) {
        cells.append(u"%1 %2 %3 %4/%5 %6"_s.arg(cell[u"mood"_s].toString(), cell[u"factor"_s].toString(),
                                                cell[u"value"_s].toVariant().toString())
                         .arg(cell[u"days"_s].toInt())
                         .arg(cell[u"factorDays"_s].toInt())
                         .arg(cell[u"ratio"_s].toDouble()));
    }
    // Weekdays have two days each at most, #旅行 two: too few to say anything.
    EXPECT_EQ(cells, (QStringList{u"高兴 weather 晴 6/6 2"_s, u"伤感 weather 雨 6/6 2"_s, u"伤感 tag 加班 6/6 2"_s}));

    const auto text = run(tool(), {u"stats"_s, path});
    EXPECT_TRUE(text.out.contains(u"加班\t6\t2024-03-01\t2024-03-06\n"_s.toUtf8())) << text.out.constData();
    EXPECT_TRUE(text.out.contains(u"伤感\tweather\t雨\t6\t6\t2.00\n"_s.toUtf8())) << text.out.constData();
}
