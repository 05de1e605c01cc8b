// Journey's export: a ZIP of one JSON file an entry, each named by its id, its photos beside it.
#include "import/readers.h"

#include "import/input_file.h"
#include "import/messages.h"

#include <QDateTime>
#include <QJsonValue>
#include <QTextDocument>
#include <QTimeZone>

namespace diary_import {

namespace {

// Journey keeps a mood from 1 (very sad) to 5 (very happy), 0 when none is set. Its two happy
// faces are our 高兴 and its two sad ones our 伤感; the middle one has no match of ours.
constexpr int kHappy = 0;   // 高兴
constexpr int kSad = 3;     // 伤感

// A temperature of 100 °C or more is how Journey says it has none.
constexpr double kNoTemperature = 100;

void takeMood(const QJsonValue &value, Item &item)
{
    if (!value.isDouble())
        return;
    const int mood = value.toInt();
    if (mood == 4 || mood == 5)
        item.mood = kHappy;
    else if (mood == 1 || mood == 2)
        item.mood = kSad;
    else if (mood == 3)
        item.notes.append(import_text::moodLine(QStringLiteral("一般")));
    else if (mood != 0)
        item.notes.append(import_text::moodLine(QString::number(mood)));
}

bool readEntry(const QJsonObject &e, const Package &package, const QString &folder, Item &item, QString *why)
{
    const QJsonValue when = e.value(QLatin1String("date_journal"));
    if (!when.isDouble()) {
        *why = import_text::missingField(QStringLiteral("date_journal"));
        return false;
    }
    const QTimeZone named(e.value(QLatin1String("timezone")).toString().toUtf8());
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(qint64(when.toDouble()), QTimeZone::utc())
                                .toTimeZone(named.isValid() ? named : QTimeZone::systemTimeZone());
    if (!local.isValid()) {
        *why = import_text::badDate(QString::number(when.toDouble(), 'f', 0));
        return false;
    }
    item.date = local.date();
    item.time = QTime(local.time().hour(), local.time().minute(), local.time().second());
    item.text = e.value(QLatin1String("text")).toString();
    const bool html = e.value(QLatin1String("type")).toString() == u"html" || Qt::mightBeRichText(item.text);
    item.markup = html ? Item::Markup::Html : Item::Markup::Markdown;
    for (const QJsonValue &value : e.value(QLatin1String("photos")).toArray()) {
        const QString name = value.toString();
        if (name.isEmpty())
            continue;
        if (!package.contains(folder + name)) {
            *why = import_text::missingPicture(folder + name);
            return false;
        }
        const std::optional<QByteArray> bytes = package.read(folder + name, why, kMaxFileSize);
        if (!bytes)
            return false;
        item.pictures.insert(name, *bytes);
        const QString escaped = name.toHtmlEscaped();
        item.text += html ? QStringLiteral("<p><img src=\"%1\" /></p>").arg(escaped)
                          : QStringLiteral("\n\n![](%1)").arg(QString(name).replace(u' ', QLatin1String("%20")));
    }
    for (const QJsonValue &tag : e.value(QLatin1String("tags")).toArray())
        item.tags.append(tag.toString());
    item.starred = e.value(QLatin1String("favourite")).toBool();
    const QJsonObject weather = e.value(QLatin1String("weather")).toObject();
    const QString description = weather.value(QLatin1String("description")).toString();
    const QJsonValue degrees = weather.value(QLatin1String("degree_c"));
    const QString temperature = degrees.isDouble() && degrees.toDouble() < kNoTemperature
                                    ? QStringLiteral("%1°C").arg(degrees.toDouble())
                                    : QString();
    item.weather = weatherOfWords(description);
    const QString note = weatherNote(item.weather >= 0 ? QString() : description, temperature);
    if (!note.isEmpty())
        item.notes.append(note);
    takeMood(e.value(QLatin1String("mood")), item);
    const QString address = e.value(QLatin1String("address")).toString().trimmed();
    if (!address.isEmpty())
        item.notes.append(import_text::placeLine(address));
    return true;
}

} // namespace

bool looksLikeJourney(const QJsonObject &root)
{
    return root.contains(QLatin1String("date_journal"));
}

Reading readJourney(const Package &package, const QStringList &entries)
{
    Reading reading;
    reading.format = import_text::journey();
    for (const QString &name : entries) {
        QString why;
        const std::optional<QByteArray> bytes = package.read(name, &why, kMaxFileSize);
        std::optional<QJsonDocument> doc;
        if (bytes)
            doc = parseJson(*bytes, name, &why);
        if (!doc) {
            reading.skipped.append({name, why});
            continue;
        }
        if (!looksLikeJourney(doc->object())) {
            reading.skipped.append({name, import_text::missingField(QStringLiteral("date_journal"))});
            continue;
        }
        Item item;
        // Its photos lie beside it.
        if (!readEntry(doc->object(), package, name.left(name.lastIndexOf(u'/') + 1), item, &why)) {
            reading.skipped.append({name, why});
            continue;
        }
        item.place = name;
        reading.items.append(item);
    }
    return reading;
}

} // namespace diary_import
