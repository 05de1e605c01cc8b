// Day One's JSON export (a ZIP of journals and their photos) and its plain-text export.
#include "import/readers.h"

#include "import/input_file.h"
#include "import/messages.h"

#include <QDateTime>
#include <QJsonValue>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QTimeZone>

#include <algorithm>

namespace diary_import {

namespace {

// A photo's link in the text: ![](dayone-moment://IDENTIFIER). Videos, audios and PDFs are
// linked as dayone-moment:/video/IDENTIFIER and so on.
const QRegularExpression &momentLink()
{
    static const QRegularExpression link(QStringLiteral("dayone-moment:/(/|video/|audio/|pdf/)([A-Za-z0-9-]+)"));
    return link;
}

QString temperatureText(const QJsonValue &celsius)
{
    if (!celsius.isDouble())
        return QString();
    return QLocale::c().toString(celsius.toDouble(), 'f', 1).remove(QRegularExpression(QStringLiteral("\\.0$")))
           + QStringLiteral("°C");
}

QString placeText(const QJsonObject &location)
{
    QStringList parts;
    for (const char *key : {"placeName", "localityName", "administrativeArea", "country"}) {
        const QString part = location.value(QLatin1String(key)).toString().trimmed();
        if (!part.isEmpty() && !parts.contains(part))
            parts.append(part);
    }
    if (parts.isEmpty() && location.value(QLatin1String("latitude")).isDouble())
        parts.append(QStringLiteral("%1, %2").arg(location.value(QLatin1String("latitude")).toDouble())
                         .arg(location.value(QLatin1String("longitude")).toDouble()));
    return parts.join(QStringLiteral("，"));
}

// What the entry links but the diary cannot hold: 「另有视频 2 个、录音 1 个没有导入」.
QString othersNote(int videos, int audios, int pdfs)
{
    QStringList parts;
    if (videos > 0)
        parts.append(QStringLiteral("视频 %1 个").arg(videos));
    if (audios > 0)
        parts.append(QStringLiteral("录音 %1 个").arg(audios));
    if (pdfs > 0)
        parts.append(QStringLiteral("PDF %1 个").arg(pdfs));
    return parts.isEmpty() ? QString() : QStringLiteral("（另有%1没有导入）").arg(parts.join(QStringLiteral("、")));
}

// One entry of a journal; false, with *why, when it cannot be imported.
bool readEntry(const QJsonObject &e, const Package &package, const QString &folder, Item &item, QString *why)
{
    const QString created = e.value(QLatin1String("creationDate")).toString();
    const QDateTime utc = QDateTime::fromString(created, Qt::ISODate);
    if (!utc.isValid()) {
        *why = created.isEmpty() ? import_text::missingField(QStringLiteral("creationDate"))
                                 : import_text::badDate(created);
        return false;
    }
    const QTimeZone named(e.value(QLatin1String("timeZone")).toString().toUtf8());
    const QDateTime local = utc.toTimeZone(named.isValid() ? named : QTimeZone::systemTimeZone());
    item.date = local.date();
    item.time = QTime(local.time().hour(), local.time().minute(), local.time().second());
    item.markup = Item::Markup::Markdown;
    item.text = e.value(QLatin1String("text")).toString();

    // The photos by identifier: the file photos/MD5.TYPE each stands for.
    QHash<QString, QString> files;
    QList<std::pair<int, QString>> order;
    for (const QJsonValue &value : e.value(QLatin1String("photos")).toArray()) {
        const QJsonObject photo = value.toObject();
        const QString id = photo.value(QLatin1String("identifier")).toString();
        const QString md5 = photo.value(QLatin1String("md5")).toString();
        if (id.isEmpty() || md5.isEmpty())
            continue;
        QString type = photo.value(QLatin1String("type")).toString();
        if (type.isEmpty())
            type = QStringLiteral("jpeg");
        files.insert(id, folder + QStringLiteral("photos/%1.%2").arg(md5, type));
        order.append({photo.value(QLatin1String("orderInEntry")).toInt(), id});
    }
    std::stable_sort(order.begin(), order.end(), [](const auto &a, const auto &b) { return a.first < b.first; });

    QSet<QString> linked;
    int videos = 0, audios = 0, pdfs = 0;
    for (auto it = momentLink().globalMatch(item.text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString kind = m.captured(1);
        if (kind == u"/")
            linked.insert(m.captured(2));
        else
            ++(kind == u"video/" ? videos : kind == u"audio/" ? audios : pdfs);
    }
    // A photo the text does not link still belongs to the entry: after its text.
    for (const auto &[position, id] : order) {
        if (!linked.contains(id)) {
            item.text += QStringLiteral("\n\n![](dayone-moment://%1)").arg(id);
            linked.insert(id);
        }
    }
    for (const QString &id : std::as_const(linked)) {
        const QString file = files.value(id);
        if (file.isEmpty() || !package.contains(file)) {
            *why = import_text::missingPicture(file.isEmpty() ? id : file);
            return false;
        }
        QString unreadable;
        const std::optional<QByteArray> bytes = package.read(file, &unreadable, kMaxFileSize);
        if (!bytes) {
            *why = unreadable;
            return false;
        }
        item.pictures.insert(QStringLiteral("dayone-moment://") + id, *bytes);
    }

    for (const QJsonValue &tag : e.value(QLatin1String("tags")).toArray())
        item.tags.append(tag.toString());
    item.starred = e.value(QLatin1String("starred")).toBool();
    const QJsonObject weather = e.value(QLatin1String("weather")).toObject();
    const QString conditions = weather.value(QLatin1String("conditionsDescription")).toString();
    const QString temperature = temperatureText(weather.value(QLatin1String("temperatureCelsius")));
    item.weather = weatherOfWords(conditions);
    const QString note = weatherNote(item.weather >= 0 ? QString() : conditions, temperature);
    if (!note.isEmpty())
        item.notes.append(note);
    const QString place = placeText(e.value(QLatin1String("location")).toObject());
    if (!place.isEmpty())
        item.notes.append(import_text::placeLine(place));
    const QString others = othersNote(videos, audios, pdfs);
    if (!others.isEmpty())
        item.notes.append(others);
    return true;
}

// Month names as the text export writes them in English, and the forms of its date line.
int monthOfName(const QString &name)
{
    static const QStringList months = {
        QStringLiteral("jan"), QStringLiteral("feb"), QStringLiteral("mar"), QStringLiteral("apr"),
        QStringLiteral("may"), QStringLiteral("jun"), QStringLiteral("jul"), QStringLiteral("aug"),
        QStringLiteral("sep"), QStringLiteral("oct"), QStringLiteral("nov"), QStringLiteral("dec")};
    return int(months.indexOf(name.left(3).toLower())) + 1;
}

// "28 June 2017 at 23:38:37 GMT+8", "June 28, 2017 at 11:38:37 PM GMT+8",
// "2017年6月28日 23:38:37 GMT+8", "2017年6月28日 下午11:38:37": the local day and time as written.
bool parseDateLine(const QString &text, QDate &date, QTime &time)
{
    static const QRegularExpression dayMonthYear(QStringLiteral("(\\d{1,2})\\s+([A-Za-z]+)\\.?,?\\s+(\\d{4})"));
    static const QRegularExpression monthDayYear(QStringLiteral("([A-Za-z]+)\\.?\\s+(\\d{1,2}),?\\s+(\\d{4})"));
    static const QRegularExpression chinese(QStringLiteral("(\\d{4})\\s*年\\s*(\\d{1,2})\\s*月\\s*(\\d{1,2})\\s*日"));
    static const QRegularExpression iso(QStringLiteral("(\\d{4})-(\\d{1,2})-(\\d{1,2})"));
    static const QRegularExpression clock(QStringLiteral(
        "(上午|下午|凌晨|晚上|中午)?\\s*(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s*([AaPp]\\.?[Mm]\\.?)?"));
    QRegularExpressionMatch m;
    if ((m = chinese.match(text)).hasMatch() || (m = iso.match(text)).hasMatch())
        date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    else if ((m = dayMonthYear.match(text)).hasMatch() && monthOfName(m.captured(2)) > 0)
        date = QDate(m.captured(3).toInt(), monthOfName(m.captured(2)), m.captured(1).toInt());
    else if ((m = monthDayYear.match(text)).hasMatch() && monthOfName(m.captured(1)) > 0)
        date = QDate(m.captured(3).toInt(), monthOfName(m.captured(1)), m.captured(2).toInt());
    else
        return false;
    if (!date.isValid())
        return false;
    const QRegularExpressionMatch c = clock.match(text, m.capturedEnd());
    if (c.hasMatch()) {
        int hour = c.captured(2).toInt();
        const QString half = c.captured(5).toLower();
        const QString chineseHalf = c.captured(1);
        const bool pm = half.startsWith(u'p') || chineseHalf == u"下午" || chineseHalf == u"晚上"
                        || (chineseHalf == u"中午" && hour < 11);
        if (!half.isEmpty() || !chineseHalf.isEmpty())
            hour = hour % 12 + (pm ? 12 : 0);
        time = QTime(hour, c.captured(3).toInt(), c.captured(4).toInt());
        if (!time.isValid())
            return false;
    }
    return true;
}

// A line "\tKey:\tValue" of the text export.
bool fieldLine(const QString &line, QString &key, QString &value)
{
    static const QRegularExpression field(QStringLiteral("^\\t([^\\t:]+):\\t?(.*)$"));
    const QRegularExpressionMatch m = field.match(line);
    if (!m.hasMatch())
        return false;
    key = m.captured(1).trimmed();
    value = m.captured(2).trimmed();
    return true;
}

bool isDateLine(const QString &line)
{
    QString key, value;
    return fieldLine(line, key, value) && key == u"Date";
}

} // namespace

bool looksLikeDayOneJson(const QJsonObject &root)
{
    if (!root.value(QLatin1String("entries")).isArray())
        return false;
    const QJsonArray entries = root.value(QLatin1String("entries")).toArray();
    if (entries.isEmpty())
        return root.value(QLatin1String("metadata")).toObject().contains(QLatin1String("version"));
    return entries.first().toObject().contains(QLatin1String("creationDate"));
}

Reading readDayOne(const Package &package, const QStringList &journals)
{
    Reading reading;
    reading.format = import_text::dayOneJson();
    for (const QString &journal : journals) {
        QString why;
        const std::optional<QByteArray> bytes = package.read(journal, &why, kMaxFileSize);
        std::optional<QJsonDocument> doc;
        if (bytes)
            doc = parseJson(*bytes, journal, &why);
        if (!doc || !looksLikeDayOneJson(doc->object())) {
            // A journal that cannot be read refuses the export: nothing of it half imported.
            reading.items.clear();
            reading.skipped.clear();
            reading.refusal = doc ? import_text::unexpectedShape(journal) : why;
            return reading;
        }
        const QJsonArray entries = doc->object().value(QLatin1String("entries")).toArray();
        for (qsizetype i = 0; i < entries.size(); ++i) {
            Item item;
            const QString prefix = journals.size() > 1 ? journal + QStringLiteral(" ") : QString();
            // The photos lie beside the journal, in its folder's photos/.
            const QString folder = journal.left(journal.lastIndexOf(u'/') + 1);
            if (!readEntry(entries[i].toObject(), package, folder, item, &why)) {
                reading.skipped.append({prefix + import_text::itemPlace(int(i) + 1), why});
                continue;
            }
            item.place = prefix + import_text::itemPlace(int(i) + 1, item.date.toString(Qt::ISODate));
            reading.items.append(item);
        }
    }
    return reading;
}

bool looksLikeDayOneText(const QString &text)
{
    for (const QString &line : text.split(u'\n')) {
        if (!line.trimmed().isEmpty())
            return isDateLine(QString(line).remove(u'\r'));
    }
    return false;
}

Reading readDayOneText(const QString &text)
{
    Reading reading;
    reading.format = import_text::dayOneText();
    QString normal = text;
    normal.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QStringList lines = normal.split(u'\n');
    int number = 0;
    for (qsizetype i = 0; i < lines.size();) {
        if (!isDateLine(lines[i])) {
            ++i;
            continue;
        }
        ++number;
        Item item;
        item.markup = Item::Markup::Markdown;
        QString key, value;
        fieldLine(lines[i], key, value);
        const QString dateText = value;
        qsizetype at = i + 1;
        QString weather;
        while (at < lines.size() && !isDateLine(lines[at]) && fieldLine(lines[at], key, value)) {
            if (key == u"Tags")
                item.tags += value.split(u',', Qt::SkipEmptyParts);
            else if (key == u"Weather")
                weather = value;
            else if (key == u"Location")
                item.notes.append(import_text::placeLine(value));
            else if (key == u"Starred")
                item.starred = true;
            else
                item.notes.append(key + QStringLiteral("：") + value);
            ++at;
        }
        qsizetype end = at;
        while (end < lines.size() && !isDateLine(lines[end]))
            ++end;
        QStringList body = lines.mid(at, end - at);
        i = end;
        while (!body.isEmpty() && body.front().trimmed().isEmpty())
            body.removeFirst();
        while (!body.isEmpty() && body.back().trimmed().isEmpty())
            body.removeLast();
        if (!parseDateLine(dateText, item.date, item.time)) {
            reading.skipped.append({import_text::itemPlace(number), import_text::badDate(dateText)});
            continue;
        }
        item.place = import_text::itemPlace(number, item.date.toString(Qt::ISODate));
        item.text = body.join(u'\n');
        if (!weather.isEmpty()) {
            item.weather = weatherOfWords(weather);
            // A temperature ("23° Mostly Cloudy") is kept in the text even when the words map.
            static const QRegularExpression digit(QStringLiteral("\\d"));
            if (item.weather < 0 || weather.contains(digit))
                item.notes.prepend(weatherNote(weather, QString()));
        }
        // The text export carries no photos: say where one was.
        const qsizetype photos = item.text.count(QLatin1String("dayone-moment://"));
        if (photos > 0)
            item.notes.append(QStringLiteral("（文本导出里没有图片，%1 张图片没有导入）").arg(photos));
        reading.items.append(item);
    }
    return reading;
}

} // namespace diary_import
