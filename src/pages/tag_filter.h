#pragma once

#include "diary/entry.h"

#include <QComboBox>
#include <QList>
#include <QString>

namespace tags {
struct TagCount;
}

// The list page's 标签 drop-down: 「全部标签」, then every tag of the listing with its count, most
// used first (tags::countTags). Picking a tag filters the list as typing #tag in the search box
// does. Filled anew with each listing; the tag picked stays picked while the diary still has it.
class TTagFilter : public QComboBox
{
    Q_OBJECT

public:
    explicit TTagFilter(QWidget *parent = nullptr);

    // The tags of these rows (counted here: cheap beside the listing that made them).
    void setRows(const QList<diary::ListRow> &rows);
    // The tags counted already (off the window's thread).
    void setCounts(const QList<tags::TagCount> &counts);
    // The tag picked, without "#"; empty for 「全部标签」.
    QString currentTag() const;
    // Back to 「全部标签」 (announcing nothing).
    void clearTag();
    // Picks the tag when the list has it (announcing the change as a user's pick does).
    bool pickTag(const QString &tag);
};
