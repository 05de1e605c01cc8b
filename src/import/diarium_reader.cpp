// Diarium's JSON export.
#include "import/readers.h"

#include "import/messages.h"

#include <QJsonValue>
#include <QRegularExpression>

namespace diary_import {

namespace {

// "2010-10-26T15:47:53.48828": local time, no zone, a fraction of any length.
bool parseLocal(const QString &text, QDate &date, QTime &time)
{
    static const QRegularExpression form(QStringLiteral(
        "^(\\d{4})-(\\d{2})-(\\d{2})(?:[T ](\\d{2}):(\\d{2})(?::(\\d{2})(?:\\.\\d+)?)?)?$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (m.capturedLength(4) > 0)
        time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    return date.isValid() && (m.capturedLength(4) == 0 || time.isValid());
}

} // namespace

bool looksLikeDiarium(const QJsonArray &root)
{
    if (root.isEmpty())
        return false;
    const QJsonObject first = root.first().toObject();
    return first.contains(QLatin1String("date"))
           && (first.contains(QLatin1String("html")) || first.contains(QLatin1String("heading")));
}

Reading readDiarium(const QJsonArray &root)
{
    Reading reading;
    reading.format = import_text::diarium();
    for (qsizetype i = 0; i < root.size(); ++i) {
        const QJsonObject e = root[i].toObject();
        const QString dateText = e.value(QLatin1String("date")).toString();
        Item item;
        if (!parseLocal(dateText, item.date, item.time)) {
            reading.skipped.append({import_text::itemPlace(int(i) + 1), import_text::badDate(dateText)});
            continue;
        }
        item.place = import_text::itemPlace(int(i) + 1, item.date.toString(Qt::ISODate));
        item.title = e.value(QLatin1String("heading")).toString();
        item.markup = Item::Markup::Html;
        item.text = e.value(QLatin1String("html")).toString();
        for (const QJsonValue &tag : e.value(QLatin1String("tags")).toArray())
            item.tags.append(tag.toString());
        const QJsonArray location = e.value(QLatin1String("location")).toArray();
        if (location.size() == 2 && location[0].isDouble() && location[1].isDouble()
            && !(location[0].toDouble() == 0 && location[1].toDouble() == 0))
            item.notes.append(import_text::placeLine(
                QStringLiteral("%1, %2").arg(location[0].toDouble()).arg(location[1].toDouble())));
        reading.items.append(item);
    }
    return reading;
}

} // namespace diary_import
