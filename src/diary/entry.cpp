#include "diary/entry.h"

#include <QRegularExpression>

#include "diary/messages.h"

#include "platform/exception.h"
#include "platform/gbk.h"
#include "richtext/rich_text.h"
#include "tags/tag_words.h"

#include <QDateTime>
#include <QMutex>
#include <QRegularExpression>

namespace diary {

namespace {

constexpr const char16_t *kWeatherWords[kWeatherCount] = {u"晴", u"阴", u"雨", u"雪"};
constexpr const char16_t *kMoodWords[kMoodCount] = {u"高兴", u"烦恼", u"愤怒", u"伤感",
                                                    u"想法", u"感慨", u"疑问", u"爱心"};

QMutex g_clockMutex;
Clock &clockFunction()
{
    static Clock clock;
    return clock;
}

template <int N>
QString wordOf(const char16_t *const (&words)[N], int index)
{
    return index >= 0 && index < N ? QString::fromUtf16(words[index]) : QString();
}

} // namespace

QString entryName(const QDate &date)
{
    return QStringLiteral("%1年%2月%3日")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(date.month())
        .arg(date.day());
}

namespace {

// Reads a decimal number of 1 to maxDigits ASCII digits, without a leading zero unless
// leadingZero, at pos up to the marker character; pos moves past the marker.
int takeNumber(const QString &text, qsizetype &pos, qsizetype maxDigits, QChar marker, bool leadingZero)
{
    const qsizetype start = pos;
    int value = 0;
    while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9' && pos - start < maxDigits)
        value = value * 10 + (text[pos++].unicode() - u'0');
    const qsizetype digits = pos - start;
    if (digits == 0 || pos >= text.size() || text[pos] != marker)
        return -1;
    if (!leadingZero && digits > 1 && text[start] == u'0')
        return -1;
    ++pos;
    return value;
}

} // namespace

QDate dateOfName(const QString &name)
{
    qsizetype pos = 0;
    if (name.size() < 7 || name.size() > 11)
        return QDate();
    const int year = takeNumber(name, pos, 4, u'年', true);
    if (year < 0 || pos != 5)
        return QDate();
    const int month = takeNumber(name, pos, 2, u'月', false);
    const int day = takeNumber(name, pos, 2, u'日', false);
    if (year < 0 || month < 0 || day < 0 || pos != name.size())
        return QDate();
    return QDate(year, month, day);
}

QDate dateOfAnyName(const QString &name)
{
    const QDate own = dateOfName(name);
    if (own.isValid())
        return own;
    static const QRegularExpression other(
        QStringLiteral("^(\\d{4})(?:年(\\d{1,2})月(\\d{1,2})日|-(\\d{1,2})-(\\d{1,2}))$"));
    const QRegularExpressionMatch m = other.match(name);
    if (!m.hasMatch())
        return QDate();
    const bool iso = m.capturedLength(4) > 0;
    return QDate(m.captured(1).toInt(), m.captured(iso ? 4 : 2).toInt(), m.captured(iso ? 5 : 3).toInt());
}

void setClock(Clock clock)
{
    QMutexLocker lock(&g_clockMutex);
    clockFunction() = std::move(clock);
}

QDate today()
{
    Clock clock;
    {
        QMutexLocker lock(&g_clockMutex);
        clock = clockFunction();
    }
    return clock ? clock() : QDate::currentDate();
}

template <int N>
int indexOfWord(const char16_t *const (&words)[N], const QString &word)
{
    for (int i = 0; i < N; ++i) {
        if (word == QStringView(words[i]))
            return i;
    }
    return -1;
}

int weatherIndexOf(const QString &word)
{
    return indexOfWord(kWeatherWords, word);
}

int moodIndexOf(const QString &word)
{
    return indexOfWord(kMoodWords, word);
}

QString weatherWord(int index)
{
    return wordOf(kWeatherWords, index);
}

QString moodWord(int index)
{
    return wordOf(kMoodWords, index);
}

EntryIndices loadRecord(const QByteArray &record, QTextDocument &doc)
{
    richtext::LoadRecord(record, doc);
    EntryIndices indices;
    indices.weather = StrToInt(richtext::takeFirstLine(doc));
    indices.mood = StrToInt(richtext::takeFirstLine(doc));
    return indices;
}

QByteArray makeRecord(const QTextDocument &body, int weather, int mood)
{
    return richtext::SaveRecord(body, weather, mood);
}

ListRow listRow(const QByteArray &nameBytes, const QByteArray &record)
{
    const richtext::RecordSummary summary = richtext::summarizeRecord(record);
    ListRow row;
    row.weather = weatherWord(StrToInt(summary.line1));
    row.mood = moodWord(StrToInt(summary.line2));
    row.nameBytes = nameBytes;
    row.name = gbk::decode(nameBytes);
    row.summary = summary.body;
    row.tags = tags::tagsIn(row.summary);
    return row;
}

QString problemReason(EntryProblem problem)
{
    switch (problem) {
    case EntryProblem::None:
        break;
    case EntryProblem::WrongPassword:
        return diary_text::reasonWrongPassword();
    case EntryProblem::Damaged:
        return diary_text::reasonDamaged();
    case EntryProblem::NotADiary:
        return diary_text::reasonNotADiary();
    case EntryProblem::UnsupportedEncryption:
        return diary_text::reasonUnsupportedEncryption();
    case EntryProblem::UnknownMethod:
        return diary_text::reasonUnknownMethod();
    case EntryProblem::TooLarge:
        return diary_text::reasonTooLarge();
    case EntryProblem::Missing:
        return diary_text::reasonMissing();
    case EntryProblem::NotSealed:
        return diary_text::reasonNotSealed();
    }
    return QString();
}

QString problemText(EntryProblem problem)
{
    return problem == EntryProblem::None ? QString() : diary_text::unreadable(problemReason(problem));
}

ListRow unreadableRow(const QByteArray &nameBytes, EntryProblem problem)
{
    ListRow row;
    row.nameBytes = nameBytes;
    row.name = gbk::decode(nameBytes);
    row.summary = problemText(problem);
    row.problem = problem;
    return row;
}

namespace {

ListRow readRow(const QByteArray &nameBytes, const QByteArray &record, bool withTags)
{
    std::optional<richtext::RecordSummary> summary =
        richtext::summarizeRecordIfReadable(record, kMaxSummaryLength);
    if (!summary)
        return unreadableRow(nameBytes, EntryProblem::NotADiary);
    int weather = 0;
    int mood = 0;
    // A first line that is no number is some other file; a record whose weather line reads and
    // whose mood line does not has broken off as a diary record.
    if (!TryStrToInt(summary->line1, weather))
        return unreadableRow(nameBytes, EntryProblem::NotADiary);
    if (!TryStrToInt(summary->line2, mood))
        return unreadableRow(nameBytes, EntryProblem::Damaged);
    ListRow row;
    row.weather = weatherWord(weather);
    row.mood = moodWord(mood);
    row.nameBytes = nameBytes;
    row.name = gbk::decode(nameBytes);
    // A body that reaches the summary's length (or plain text beyond what the summary decodes)
    // may go on past it: its tags are read from the whole of it, decoded once more.
    const bool plainText = !record.startsWith("{\\rtf");
    const bool mayGoOn = summary->body.size() >= kMaxSummaryLength
                         || (plainText && record.size() > 8 * kMaxSummaryLength);
    if (summary->body.size() > kMaxSummaryLength) {
        // A copy of the part kept: cutting the string itself would keep its whole buffer.
        qsizetype kept = kMaxSummaryLength;
        if (summary->body[kept - 1].isHighSurrogate())
            --kept;
        row.summary = QStringView(summary->body).first(kept).toString();
    } else {
        row.summary = std::move(summary->body);
    }
    if (!withTags) {
        return row;
    } else if (mayGoOn) {
        if (const std::optional<richtext::RecordSummary> whole = richtext::summarizeRecordIfReadable(record))
            row.tags = tags::tagsIn(whole->body);
    } else {
        row.tags = tags::tagsIn(row.summary);
    }
    return row;
}

} // namespace

ListRow listRowOf(const QByteArray &nameBytes, const QByteArray &record)
{
    return readRow(nameBytes, record, true);
}

EntryProblem recordProblem(const QByteArray &record)
{
    return readRow(QByteArray(), record, false).problem;
}

} // namespace diary
