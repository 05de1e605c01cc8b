#pragma once

#include "diary/entry.h"

#include <QDate>
#include <QList>
#include <QString>

// How often each tag is used in a diary, from the rows of one listing (ListRow::tags), so that
// nothing is read or decoded a second time. No widgets.
namespace tags {

struct TagCount {
    QString tag;        // as first written in the rows given
    QString key;        // tagKey(tag)
    int entries = 0;    // the readable entries that carry it
    QDate first;        // the earliest and latest of those named by a date; invalid without one
    QDate last;
};

// Every tag of the readable rows, most used first; on a tie the one used last first, then by
// key. With a valid from (or to), only rows whose name is a date on or after from (on or before
// to) count.
QList<TagCount> countTags(const QList<diary::ListRow> &rows, const QDate &from = {}, const QDate &to = {});

} // namespace tags
