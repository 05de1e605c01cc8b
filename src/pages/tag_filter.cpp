#include "pages/tag_filter.h"

#include "tags/tag_counts.h"
#include "tags/tag_words.h"

#include <QSignalBlocker>

TTagFilter::TTagFilter(QWidget *parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("TagFilter"));
    setToolTip(QStringLiteral("只看带这个标签的日记（也可以在查找框里输入 #标签）"));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(6);
    addItem(QStringLiteral("全部标签"), QString());
}

void TTagFilter::setRows(const QList<diary::ListRow> &rows)
{
    setCounts(tags::countTags(rows));
}

void TTagFilter::setCounts(const QList<tags::TagCount> &counts)
{
    const QString picked = currentTag();
    int keep = 0;
    {
        const QSignalBlocker block(this);
        clear();
        addItem(QStringLiteral("全部标签"), QString());
        for (const tags::TagCount &count : counts) {
            addItem(QStringLiteral("#%1（%2）").arg(count.tag).arg(count.entries), count.tag);
            if (!picked.isEmpty() && count.key == tags::tagKey(picked))
                keep = this->count() - 1;
        }
        setCurrentIndex(keep);
    }
    // The tag picked is gone from the diary: the list shows every row again.
    if (!picked.isEmpty() && keep == 0)
        emit currentIndexChanged(0);
}

QString TTagFilter::currentTag() const
{
    return currentData().toString();
}

void TTagFilter::clearTag()
{
    const QSignalBlocker block(this);
    setCurrentIndex(0);
}

bool TTagFilter::pickTag(const QString &tag)
{
    const QString key = tags::tagKey(tag);
    for (int i = 1; i < count(); ++i) {
        if (tags::tagKey(itemData(i).toString()) == key) {
            setCurrentIndex(i);
            return true;
        }
    }
    return false;
}
