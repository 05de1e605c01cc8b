#include "import/source_reader.h"

#include "import/messages.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>

namespace diary_import {

namespace {

QString jsonProblem(QJsonParseError::ParseError error)
{
    switch (error) {
    case QJsonParseError::UnterminatedObject: return QStringLiteral("对象没有结束");
    case QJsonParseError::MissingNameSeparator: return QStringLiteral("缺少冒号");
    case QJsonParseError::UnterminatedArray: return QStringLiteral("数组没有结束");
    case QJsonParseError::MissingValueSeparator: return QStringLiteral("缺少逗号");
    case QJsonParseError::IllegalValue: return QStringLiteral("无效的值");
    case QJsonParseError::TerminationByNumber: return QStringLiteral("数字之后意外结束");
    case QJsonParseError::IllegalNumber: return QStringLiteral("无效的数字");
    case QJsonParseError::IllegalEscapeSequence: return QStringLiteral("无效的转义字符");
    case QJsonParseError::IllegalUTF8String: return QStringLiteral("无效的UTF-8文字");
    case QJsonParseError::UnterminatedString: return QStringLiteral("字符串没有结束");
    case QJsonParseError::MissingObject: return QStringLiteral("缺少值");
    case QJsonParseError::DeepNesting: return QStringLiteral("嵌套太深");
    case QJsonParseError::DocumentTooLarge: return QStringLiteral("文件太大");
    case QJsonParseError::GarbageAtEnd: return QStringLiteral("结尾有多余的内容");
    case QJsonParseError::NoError: break;
    }
    return QString();
}

// Words for the weather, lower case, with what they plainly are.
struct WeatherWord {
    const char16_t *word;
    int index;
};
constexpr WeatherWord kWeatherWords[] = {
    {u"clear", 0}, {u"sunny", 0}, {u"mostly sunny", 0}, {u"mostly clear", 0}, {u"fair", 0},
    {u"hot", 0}, {u"晴", 0}, {u"晴天", 0}, {u"晴朗", 0}, {u"晴好", 0},
    {u"cloudy", 1}, {u"mostly cloudy", 1}, {u"overcast", 1}, {u"阴", 1}, {u"阴天", 1},
    {u"rain", 2}, {u"rainy", 2}, {u"showers", 2}, {u"rain showers", 2}, {u"drizzle", 2},
    {u"thunderstorm", 2}, {u"thunderstorms", 2}, {u"雨", 2}, {u"小雨", 2}, {u"中雨", 2},
    {u"大雨", 2}, {u"暴雨", 2}, {u"阵雨", 2}, {u"雷阵雨", 2}, {u"毛毛雨", 2}, {u"雨天", 2},
    {u"snow", 3}, {u"snowy", 3}, {u"snow showers", 3}, {u"flurries", 3}, {u"blizzard", 3},
    {u"雪", 3}, {u"小雪", 3}, {u"中雪", 3}, {u"大雪", 3}, {u"暴雪", 3}, {u"阵雪", 3}, {u"雪天", 3},
};

bool isBlankLine(QStringView line)
{
    return line.trimmed().isEmpty();
}

bool isFence(QStringView line)
{
    const QStringView t = line.trimmed();
    return t.startsWith(QLatin1String("```")) || t.startsWith(QLatin1String("~~~"));
}

} // namespace

int weatherOfWords(const QString &words)
{
    static const QRegularExpression degree(QStringLiteral("^-?\\d+(?:\\.\\d+)?\\s*°?[CF]?\\s*"));
    QString key = words.trimmed().toLower();
    key.remove(degree);   // "23° Mostly Cloudy", as Day One's text export writes it
    key = key.trimmed();
    for (const QString &prefix : {QStringLiteral("light "), QStringLiteral("heavy "), QStringLiteral("moderate ")}) {
        if (key.startsWith(prefix))
            key = key.mid(prefix.size());
    }
    for (const WeatherWord &w : kWeatherWords) {
        if (key == QStringView(w.word))
            return w.index;
    }
    return -1;
}

QString weatherNote(const QString &description, const QString &temperature)
{
    QStringList parts;
    if (!description.trimmed().isEmpty())
        parts.append(description.trimmed());
    if (!temperature.trimmed().isEmpty())
        parts.append(temperature.trimmed());
    return parts.isEmpty() ? QString() : import_text::weatherLine(parts.join(QStringLiteral("，")));
}

QString paragraphsAtLineEnds(const QString &markdown)
{
    QString text = markdown;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QStringList lines = text.split(u'\n');
    QStringList out;
    bool fenced = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        out.append(line);
        if (isFence(line))
            fenced = !fenced;
        if (fenced || i + 1 >= lines.size())
            continue;
        const QString &next = lines[i + 1];
        if (isBlankLine(line) || isBlankLine(next) || isFence(next))
            continue;
        if (line.trimmed().startsWith(u'|') && next.trimmed().startsWith(u'|'))
            continue;
        out.append(QString());
    }
    return out.join(u'\n');
}

std::pair<int, int> lineAndColumn(const QByteArray &utf8, qsizetype offset)
{
    offset = qBound<qsizetype>(0, offset, utf8.size());
    const QByteArrayView before(utf8.constData(), offset);
    const qsizetype lineStart = before.lastIndexOf('\n') + 1;
    const int line = int(before.count('\n')) + 1;
    const int column = int(QString::fromUtf8(before.sliced(lineStart)).size()) + 1;
    return {line, column};
}

std::optional<QJsonDocument> parseJson(const QByteArray &bytes, const QString &fileName, QString *refusal)
{
    QJsonParseError error;
    QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        // Qt's offset is just past the character at fault.
        const auto [line, column] = lineAndColumn(bytes, error.offset > 0 ? error.offset - 1 : 0);
        *refusal = import_text::badJson(fileName, line, column, jsonProblem(error.error));
        return std::nullopt;
    }
    return doc;
}

} // namespace diary_import
