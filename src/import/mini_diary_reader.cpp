// Mini Diary's and Mini Diarium's JSON exports.
#include "import/readers.h"

#include "import/messages.h"

#include <QJsonValue>

namespace diary_import {

namespace {

QString applicationOf(const QJsonObject &root)
{
    return root.value(QLatin1String("metadata")).toObject().value(QLatin1String("application")).toString();
}

} // namespace

bool looksLikeMiniDiary(const QJsonObject &root)
{
    return applicationOf(root) == u"Mini Diary";
}

Reading readMiniDiary(const QJsonObject &root)
{
    Reading reading;
    reading.format = import_text::miniDiary();
    const QJsonValue entries = root.value(QLatin1String("entries"));
    if (!entries.isObject()) {
        reading.refusal = import_text::unexpectedShape(QStringLiteral("entries"));
        return reading;
    }
    int number = 0;
    const QJsonObject days = entries.toObject();
    for (auto it = days.begin(); it != days.end(); ++it) {
        ++number;
        const QDate date = QDate::fromString(it.key(), Qt::ISODate);
        if (!date.isValid()) {
            reading.skipped.append({import_text::itemPlace(number), import_text::badDate(it.key())});
            continue;
        }
        const QJsonObject e = it.value().toObject();
        Item item;
        item.date = date;
        item.place = import_text::itemPlace(number, it.key());
        item.title = e.value(QLatin1String("title")).toString();
        item.markup = Item::Markup::Markdown;
        item.text = e.value(QLatin1String("text")).toString();
        reading.items.append(item);
    }
    return reading;
}

bool looksLikeMiniDiarium(const QJsonObject &root)
{
    return applicationOf(root) == u"Mini Diarium";
}

Reading readMiniDiarium(const QJsonObject &root)
{
    Reading reading;
    reading.format = import_text::miniDiarium();
    const QJsonValue entries = root.value(QLatin1String("entries"));
    if (!entries.isArray()) {
        reading.refusal = import_text::unexpectedShape(QStringLiteral("entries"));
        return reading;
    }
    const QJsonArray list = entries.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QJsonObject e = list[i].toObject();
        const QString dateText = e.value(QLatin1String("date")).toString();
        const QDate date = QDate::fromString(dateText.left(10), Qt::ISODate);
        if (!date.isValid()) {
            reading.skipped.append({import_text::itemPlace(int(i) + 1), import_text::badDate(dateText)});
            continue;
        }
        Item item;
        item.date = date;
        item.place = import_text::itemPlace(int(i) + 1, date.toString(Qt::ISODate));
        item.title = e.value(QLatin1String("title")).toString();
        item.markup = Item::Markup::Html;
        item.text = e.value(QLatin1String("text")).toString();
        reading.items.append(item);
    }
    return reading;
}

} // namespace diary_import
