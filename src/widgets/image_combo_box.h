#pragma once

#include "widgets/image_list.h"

#include <QComboBox>
#include <QPointer>
#include <QStringList>
#include <functional>

enum class TAlignment : quint8 { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };
enum class TVertAlignment : quint8 { tvaTop = 0, tvaCenter = 1, tvaBottom = 2 };
enum class TImageAlign : quint8 { ialLeft = 0, ialRight = 1 };

class TCustomImageComboBox;

// Draws an item's text in place of the box: (the box, its painter, item position, text rectangle).
using TImageDrawItemEvent =
    std::function<void(TCustomImageComboBox *sender, QPainter &canvas, int index, const QRect &rect)>;

// A drop-down list (not editable) whose items show a picture from an image list beside their
// text.
//
// Which picture an item shows is kept in SaveStrings, a list of short entries parallel to the
// items and matched to them by position: "<image index>,<tail>". The tail is carried along
// unchanged; an entry without a comma, or with nothing before it, means no picture. The list
// may hold more entries than there are items. It follows item changes as they happen:
//   - an item added at the end appends an empty entry at the end of SaveStrings (which is not
//     necessarily the new item's position when SaveStrings is longer than the item list);
//   - an item inserted before the end inserts an empty entry at its position, except that
//     an insertion at the position of the item deleted just before (with no event handled in
//     between) puts that item's entry back;
//   - deleting one item removes its entry and remembers it for such an insertion;
//   - removing several items at once (clear()) leaves SaveStrings alone: pictures stay with
//     positions and later items take over the old entries;
//   - changing an item's text (setItemText) leaves its entry alone.
// Positions beyond the end of SaveStrings are tolerated: a deletion there removes nothing and
// an insertion there first pads SaveStrings with empty entries.
//
// Colours: items are filled with QPalette::Base (the box's colour) and written in
// QPalette::Text; the highlighted item with QPalette::Highlight and QPalette::HighlightedText.
// The current item drawn highlighted gets a raised two-pixel frame around its picture.
class TCustomImageComboBox : public QComboBox
{
    Q_OBJECT

public:
    // Not editable; ItemHeight 0 (automatic), taLeftJustify, tvaCenter, ialLeft, one line.
    explicit TCustomImageComboBox(QWidget *parent = nullptr);
    ~TCustomImageComboBox() override;

    // Not owned. A different list: stop following the old one, follow the new one (if any),
    // then UpdateItemHeight(). The box forgets a list that is destroyed.
    void setImageList(TImageList *list);
    TImageList *ImageList() const { return m_imageList.data(); }

    // These four only store the value; items already drawn are not redrawn.
    void setAlignment(TAlignment alignment) { m_alignment = alignment; }
    TAlignment Alignment() const { return m_alignment; }
    void setVertAlignment(TVertAlignment alignment) { m_vertAlignment = alignment; }
    TVertAlignment VertAlignment() const { return m_vertAlignment; }
    void setImageAlign(TImageAlign align) { m_imageAlign = align; }
    TImageAlign ImageAlign() const { return m_imageAlign; }
    void setMultiLines(bool on) { m_multiLines = on; }
    bool MultiLines() const { return m_multiLines; }

    // 0 means automatic (from the font and the image height); a value below 10 is stored as 0.
    // A different value runs UpdateItemHeight().
    void setItemHeight(int height);
    int ItemHeight() const { return m_itemHeight; }

    // The height every item of the list has now (16 until UpdateItemHeight() sets one).
    int listItemHeight() const { return m_listItemHeight; }

    void setOnDrawItem(TImageDrawItemEvent handler) { m_onDrawItem = std::move(handler); }

    const QStringList &SaveStrings() const { return m_saveStrings; }
    // Empties SaveStrings, then appends each entry (how a stored box is read back).
    void setSaveStrings(const QStringList &entries);

    // -1 for a position outside SaveStrings or an entry without an index; otherwise the decimal
    // number before the entry's first comma. Throws EConvertError
    // "'<text>' is not a valid integer value" when that is not a number.
    int GetImageIndex(int position) const;
    // Rewrites the entry at position as "<value>,<tail>" (the tail cut to 1000 characters) when
    // the position is inside SaveStrings and value differs from GetImageIndex(position).
    void SetImageIndex(int position, int value);

    // Sets the height of the list's items: ItemHeight when it is set, otherwise the font's
    // height value (minus the character height, as fonts given in points have it) raised to
    // the image height when there is an image list, plus 2. A height of 0 or less is not taken.
    void UpdateItemHeight();

    // Copies another image box's image list (without following it), items, SaveStrings, the
    // four drawing settings and the font, then UpdateItemHeight(). Any other source throws
    // EConvertError "Cannot assign a <source class> to a <this class>".
    void Assign(const QObject *source);

    // Draws item position index into rect as the list shows it, highlighted or not.
    // An entry that is not a number draws no picture.
    void DrawItem(QPainter &canvas, int index, const QRect &rect, bool highlighted);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void rowsAboutToBeRemoved(const QModelIndex &parent, int first, int last);
    void rowsInserted(const QModelIndex &parent, int first, int last);
    void forgetDeleted() { m_lastDeletedIndex = -1; }
    int pictureIndex(int position) const;

    QPointer<TImageList> m_imageList;
    QMetaObject::Connection m_listChange;
    QMetaObject::Connection m_listGone;
    TAlignment m_alignment = TAlignment::taLeftJustify;
    TVertAlignment m_vertAlignment = TVertAlignment::tvaCenter;
    TImageAlign m_imageAlign = TImageAlign::ialLeft;
    bool m_multiLines = false;
    int m_itemHeight = 0;
    TImageDrawItemEvent m_onDrawItem;
    QString m_lastDeletedEntry;
    int m_lastDeletedIndex = -1;
    QStringList m_saveStrings;
    int m_listItemHeight = 16;
};

// The same box, as forms place it.
class TImageComboBox : public TCustomImageComboBox
{
    Q_OBJECT

public:
    using TCustomImageComboBox::TCustomImageComboBox;
};
