#include "widgets/image_combo_box.h"

#include "platform/exception.h"
#include "widgets/bevel.h"
#include "widgets/widget_errors.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QStylePainter>

namespace {

// The longest tail SetImageIndex carries over.
constexpr qsizetype kMaxTail = 1000;

class ImageItemDelegate : public QStyledItemDelegate
{
public:
    explicit ImageItemDelegate(TCustomImageComboBox *box)
        : QStyledItemDelegate(box)
        , m_box(box)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        m_box->DrawItem(*painter, index.row(), option.rect,
                        option.state.testFlag(QStyle::State_Selected));
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), m_box->listItemHeight()};
    }

private:
    TCustomImageComboBox *m_box;
};

// A rectangle given by its edges, right and bottom exclusive.
QRect fromEdges(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

TCustomImageComboBox::TCustomImageComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(false);
    setItemDelegate(new ImageItemDelegate(this));
    QAbstractItemModel *items = model();
    connect(items, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            &TCustomImageComboBox::rowsAboutToBeRemoved);
    connect(items, &QAbstractItemModel::rowsInserted, this, &TCustomImageComboBox::rowsInserted);
    connect(items, &QAbstractItemModel::dataChanged, this, &TCustomImageComboBox::forgetDeleted);
    connect(items, &QAbstractItemModel::layoutChanged, this, &TCustomImageComboBox::forgetDeleted);
    connect(items, &QAbstractItemModel::modelReset, this, &TCustomImageComboBox::forgetDeleted);
    connect(items, &QAbstractItemModel::rowsMoved, this, &TCustomImageComboBox::forgetDeleted);
}

TCustomImageComboBox::~TCustomImageComboBox()
{
    // The item model and an image list parented to this box outlive this part of it.
    disconnect(model(), nullptr, this, nullptr);
    disconnect(m_listChange);
    disconnect(m_listGone);
}

void TCustomImageComboBox::setImageList(TImageList *list)
{
    if (list == m_imageList.data())
        return;
    disconnect(m_listChange);
    disconnect(m_listGone);
    m_imageList = list;
    if (list) {
        m_listChange = connect(list, &TImageList::Change, this, &TCustomImageComboBox::UpdateItemHeight);
        m_listGone = connect(list, &QObject::destroyed, this, [this] {
            m_imageList = nullptr;
            UpdateItemHeight();
        });
    }
    UpdateItemHeight();
}

void TCustomImageComboBox::setItemHeight(int height)
{
    if (height == m_itemHeight)
        return;
    m_itemHeight = height >= 10 ? height : 0;
    UpdateItemHeight();
}

void TCustomImageComboBox::setSaveStrings(const QStringList &entries)
{
    m_saveStrings.clear();
    for (const QString &entry : entries)
        m_saveStrings.append(entry);
}

int TCustomImageComboBox::GetImageIndex(int position) const
{
    if (position < 0 || position >= m_saveStrings.size())
        return -1;
    const QString &entry = m_saveStrings.at(position);
    const qsizetype comma = entry.indexOf(QLatin1Char(','));
    if (comma <= 0)
        return -1;
    return StrToInt(entry.left(comma));
}

void TCustomImageComboBox::SetImageIndex(int position, int value)
{
    if (position < 0 || position >= m_saveStrings.size() || value == GetImageIndex(position))
        return;
    const QString &entry = m_saveStrings.at(position);
    // Everything after the first comma is the tail; an entry without a comma is all tail.
    const QString tail = entry.mid(entry.indexOf(QLatin1Char(',')) + 1, kMaxTail);
    m_saveStrings[position] = QString::number(value) + QLatin1Char(',') + tail;
}

int TCustomImageComboBox::pictureIndex(int position) const
{
    // Painting must not throw: a damaged entry simply shows no picture.
    const qsizetype comma = position >= 0 && position < m_saveStrings.size()
                                ? m_saveStrings.at(position).indexOf(QLatin1Char(','))
                                : -1;
    if (comma <= 0)
        return -1;
    bool ok = false;
    const int index = m_saveStrings.at(position).left(comma).toInt(&ok);
    return ok ? index : -1;
}

void TCustomImageComboBox::UpdateItemHeight()
{
    int h = m_itemHeight;
    if (h < 10) {
        // The font's height value: minus the character height, as for a font given in points.
        const QFont f = font();
        h = f.pixelSize() > 0 ? -f.pixelSize() : -qRound(f.pointSizeF() * logicalDpiY() / 72.0);
        if (m_imageList && h < m_imageList->Height())
            h = m_imageList->Height();
        h += 2;
    }
    if (h != m_listItemHeight && h > 0)
        m_listItemHeight = h;
    updateGeometry();
    if (view())
        view()->doItemsLayout();
    update();
}

void TCustomImageComboBox::Assign(const QObject *source)
{
    const auto *other = qobject_cast<const TCustomImageComboBox *>(source);
    if (!other) {
        const QString from = source ? QLatin1String(source->metaObject()->className())
                                    : QStringLiteral("nil");
        throw EConvertError(QString(widget_messages::kAssignError)
                                .arg(from, QLatin1String(metaObject()->className())));
    }
    // The list is shared, not followed: QPointer still forgets it when it is destroyed.
    disconnect(m_listChange);
    disconnect(m_listGone);
    m_imageList = other->m_imageList;
    clear();
    for (int i = 0; i < other->count(); ++i)
        addItem(other->itemText(i));
    m_saveStrings = other->m_saveStrings;
    m_imageAlign = other->m_imageAlign;
    m_alignment = other->m_alignment;
    m_multiLines = other->m_multiLines;
    m_vertAlignment = other->m_vertAlignment;
    setFont(other->font());
    UpdateItemHeight();
}

void TCustomImageComboBox::DrawItem(QPainter &canvas, int index, const QRect &rect, bool highlighted)
{
    const QPalette &pal = palette();
    const QColor boxColour = pal.color(QPalette::Base);
    const QColor fill = highlighted ? pal.color(QPalette::Highlight) : boxColour;
    const QColor textColour = highlighted ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text);

    canvas.save();
    canvas.fillRect(rect, fill);

    int left = rect.left();
    int right = rect.left() + rect.width();
    const int top = rect.top();
    const int bottom = rect.top() + rect.height();

    const TImageList *list = m_imageList.data();
    const int image = pictureIndex(index);
    const bool hasPicture = list && image >= 0 && image < list->Count();
    int imageLeft = 0, imageRight = 0, imageTop = top + 1, imageBottom = bottom - 1;
    if (list) {
        const int w = list->Height() > 0 ? (imageBottom - imageTop) * list->Width() / list->Height() : 0;
        if (m_imageAlign == TImageAlign::ialLeft) {
            imageLeft = left - 1;
            imageRight = left + w + 2;
        } else {
            imageLeft = right - 2 - w;
            imageRight = right - 1;
        }
    }
    if (hasPicture) {
        if (index == currentIndex() && fill != boxColour)
            bevel::drawRaisedEdge(canvas, fromEdges(imageLeft, imageTop, imageRight, imageBottom), pal);
        ++imageLeft;
        ++imageTop;
        --imageRight;
        --imageBottom;
        // The picture goes onto a fresh bitmap of the image size in the item's colour, which is
        // then stretched into the frame.
        QPixmap fresh(list->Width(), list->Height());
        fresh.fill(fill);
        {
            QPainter p(&fresh);
            p.drawPixmap(0, 0, list->Picture(image));
        }
        canvas.drawPixmap(fromEdges(imageLeft, imageTop, imageRight, imageBottom), fresh);
    }

    if (list) {
        if (m_imageAlign == TImageAlign::ialLeft)
            left = imageRight;
        else
            right = imageLeft;
    }
    const QRect textRect = fromEdges(left + 1, top + 1, right - 1, bottom - 1);

    canvas.setBackgroundMode(Qt::TransparentMode);
    canvas.setFont(font());
    canvas.setPen(textColour);
    if (m_onDrawItem) {
        m_onDrawItem(this, canvas, index, textRect);
        canvas.restore();
        return;
    }

    int flags = Qt::TextExpandTabs;
    switch (m_alignment) {
    case TAlignment::taLeftJustify: flags |= Qt::AlignLeft; break;
    case TAlignment::taRightJustify: flags |= Qt::AlignRight; break;
    case TAlignment::taCenter: flags |= Qt::AlignHCenter; break;
    }
    if (m_multiLines) {
        flags |= Qt::TextWordWrap | Qt::AlignTop;
    } else {
        flags |= Qt::TextSingleLine;
        switch (m_vertAlignment) {
        case TVertAlignment::tvaTop: flags |= Qt::AlignTop; break;
        case TVertAlignment::tvaCenter: flags |= Qt::AlignVCenter; break;
        case TVertAlignment::tvaBottom: flags |= Qt::AlignBottom; break;
        }
    }
    canvas.setClipRect(textRect, Qt::IntersectClip);
    canvas.drawText(textRect, flags, itemText(index));
    canvas.restore();
}

QSize TCustomImageComboBox::sizeHint() const
{
    QSize s = QComboBox::sizeHint();
    if (m_imageList)
        s.rwidth() += m_imageList->Width() + 4;
    s.setHeight(qMax(s.height(), m_listItemHeight + 6));
    return s;
}

QSize TCustomImageComboBox::minimumSizeHint() const
{
    QSize s = QComboBox::minimumSizeHint();
    s.setHeight(qMax(s.height(), m_listItemHeight + 6));
    return s;
}

bool TCustomImageComboBox::event(QEvent *event)
{
    // Only a deletion directly followed by an insertion at the same place is a replacement.
    forgetDeleted();
    return QComboBox::event(event);
}

void TCustomImageComboBox::changeEvent(QEvent *event)
{
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        UpdateItemHeight();
}

void TCustomImageComboBox::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0)
        return;
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    // The selection field shows the current item highlighted while the box has the focus.
    DrawItem(painter, currentIndex(), field, hasFocus() && !view()->isVisible());
}

void TCustomImageComboBox::rowsAboutToBeRemoved(const QModelIndex &parent, int first, int last)
{
    if (parent != rootModelIndex())
        return;
    if (last > first) {
        forgetDeleted();
        return;
    }
    m_lastDeletedIndex = first;
    m_lastDeletedEntry = first < m_saveStrings.size() ? m_saveStrings.takeAt(first) : QString();
}

void TCustomImageComboBox::rowsInserted(const QModelIndex &parent, int first, int last)
{
    if (parent != rootModelIndex())
        return;
    const int added = last - first + 1;
    const int countBefore = model()->rowCount(parent) - added;
    if (first >= countBefore) {
        for (int i = 0; i < added; ++i)
            m_saveStrings.append(QString());
        return;
    }
    while (m_saveStrings.size() < first)
        m_saveStrings.append(QString());
    if (added == 1 && first == m_lastDeletedIndex) {
        m_saveStrings.insert(first, m_lastDeletedEntry);
        return;
    }
    for (int i = 0; i < added; ++i)
        m_saveStrings.insert(first, QString());
}
