#include "diary_generator.h"

#include "archive/archive_writer.h"
#include "platform/gbk.h"

#include <QBuffer>
#include <QFile>

#include <memory>
#include <vector>

namespace bench {

namespace {

// splitmix64: small, fast and the same everywhere.
class Random
{
public:
    explicit Random(quint64 seed) : m_state(seed) {}
    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % quint64(n)); }

private:
    quint64 m_state;
};

const QStringList &phrases()
{
    static const QStringList list = QString::fromUtf8(
        "今天 天气 很好 早上 起床 以后 我们 一起 去 公园 散步 看见 许多 孩子 在 草地 上 "
        "放风筝 中午 和 朋友 吃饭 聊天 下午 读书 写字 晚上 回家 做饭 看 电视 心情 愉快 "
        "工作 有点 忙 开会 讨论 计划 项目 进展 顺利 同事 帮忙 感谢 学习 新的 知识 "
        "老师 说 应该 多 练习 妈妈 打电话 问 身体 怎么样 爸爸 最近 喜欢 钓鱼 周末 "
        "打算 去 郊外 爬山 秋天 的 树叶 变黄 了 风 很 大 下雨 带伞 路上 车 很多 "
        "地铁 拥挤 买了 一本 小说 故事 感人 想起 小时候 的 事情 日子 过得 真快 "
        "希望 明天 更好 努力 坚持 记得 按时 吃药 早点 睡觉 春天 花开 夏天 炎热 "
        "冬天 下雪 温暖 安静 热闹 开心 难过 孤独 幸福 平静 激动 紧张 放松 咖啡 茶 "
        "电脑 手机 邮件 信 照片 音乐 电影 旅行 火车 飞机 城市 乡村 河边 山上")
        .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return list;
}

const QStringList &asciiBits()
{
    static const QStringList list = {QStringLiteral("Qt"), QStringLiteral("3"), QStringLiteral("10"),
                                     QStringLiteral("2"), QStringLiteral("OK"), QStringLiteral("7")};
    return list;
}

// Tags some entries carry besides the planted #旅行, a few in every ten.
const QStringList &everydayTags()
{
    static const QStringList list = {QStringLiteral("#读书"), QStringLiteral("#工作"), QStringLiteral("#家人"),
                                     QStringLiteral("#跑步"), QStringLiteral("#电影"), QStringLiteral("#咖啡"),
                                     QStringLiteral("#朋友"), QStringLiteral("#Qt")};
    return list;
}

// One paragraph's text as RTF: GBK bytes above 0x7F as \'hh, the RTF specials escaped.
QByteArray rtfText(const QByteArray &gbkBytes)
{
    static const char hex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(gbkBytes.size() * 4);
    for (char ch : gbkBytes) {
        const uchar c = uchar(ch);
        if (c >= 0x80) {
            out += "\\'";
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        } else if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += char(c);
        } else {
            out += char(c);
        }
    }
    return out;
}

} // namespace

QDate firstDay()
{
    return QDate(2003, 9, 26);
}

QByteArray entryName(const QDate &date)
{
    return gbk::encode(QStringLiteral("%1年%2月%3日").arg(date.year()).arg(date.month()).arg(date.day()));
}

QByteArray diaryRecord(int dayNumber)
{
    Random random(0x5155494C4C424F4Full + quint64(dayNumber) * 7919);
    const int weather = random.below(4);
    int mood = random.below(8);
    const int textBytes = 1024 + random.below(1024);
    // The planted answers (diary_generator.h): rain makes half the days 伤感, and half the
    // Saturdays are trips, 高兴 and tagged #旅行.
    const bool saturday = firstDay().addDays(dayNumber).dayOfWeek() == 6;
    const bool trip = saturday && random.below(2) == 0;
    if (weather == 2 && random.below(2) == 0)
        mood = 3;
    if (trip)
        mood = 0;
    QStringList tags;
    if (trip)
        tags.append(QStringLiteral("#旅行"));
    if (random.below(3) == 0)
        tags.append(everydayTags()[random.below(int(everydayTags().size()))]);

    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 "
                     "\\'cb\\'ce\\'cc\\'e5;}}\r\n"
                     "\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18 ";
    rtf += QByteArray::number(weather) + "\\par\r\n";
    rtf += QByteArray::number(mood) + "\\par\r\n";

    const QStringList &words = phrases();
    int written = 0;
    while (written < textBytes) {
        QString paragraph;
        const int sentences = 2 + random.below(5);
        for (int s = 0; s < sentences; ++s) {
            const int length = 3 + random.below(8);
            for (int w = 0; w < length; ++w) {
                if (random.below(20) == 0)
                    paragraph += asciiBits()[random.below(int(asciiBits().size()))];
                else
                    paragraph += words[random.below(int(words.size()))];
            }
            paragraph += random.below(3) == 0 ? QStringLiteral("，") : QStringLiteral("。");
        }
        if (!tags.isEmpty() && random.below(2) == 0)
            paragraph += tags.takeFirst() + QStringLiteral(" ");
        const QByteArray bytes = gbk::encode(paragraph);
        written += int(bytes.size());
        rtf += rtfText(bytes) + "\\par\r\n";
    }
    for (const QString &tag : std::as_const(tags))
        rtf += rtfText(gbk::encode(tag)) + "\\par\r\n";
    rtf += "}\r\n";
    return rtf;
}

QList<DiaryDay> diaryDays(int days)
{
    QList<DiaryDay> list;
    list.reserve(days);
    const QDate start = firstDay();
    for (int i = 0; i < days; ++i) {
        const QDate date = start.addDays(i);
        list.append({date, entryName(date), diaryRecord(i)});
    }
    return list;
}

void writeDiary(const QString &path, int days)
{
    QFile::remove(path);
    const QList<DiaryDay> list = diaryDays(days);
    std::vector<std::unique_ptr<QBuffer>> buffers;
    QList<TArchiveWriter::NewEntry> entries;
    for (const DiaryDay &day : list) {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(day.record);
        buffer->open(QIODevice::ReadOnly);
        entries.append({day.name, buffer.get()});
        buffers.push_back(std::move(buffer));
    }

    TArchiveWriter writer;
    writer.SetZipName(path);
    writer.SetPassword(QString::fromLatin1(kArchivePassword));
    writer.SetPackLevel(9);
    // Each entry is stamped with its own day, in the evening, as if written then.
    int next = 0;
    writer.SetClock([&] {
        const QDate date = list[qMin(next, int(list.size()) - 1)].date;
        ++next;
        return QDateTime(date, QTime(21, 30, 0));
    });
    quint32 seed = 20030926;
    writer.SetSeedSource([&] { return seed += 7777; });
    // The password token of the diary's owner, as a login stores it.
    writer.SetArchiveComment(QStringLiteral("qbb5Pj88M3Z5E"));
    writer.AddFromStreams(entries);
}

} // namespace bench
