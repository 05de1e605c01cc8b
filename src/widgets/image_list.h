#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>

// A row of pictures of one size (Width × Height) that controls draw by index. Pictures carry
// their own transparency. Controls hold a list by reference and do not own it: they follow
// Change() to take a new size into account and forget the list when it is destroyed.
class TImageList : public QObject
{
    Q_OBJECT

public:
    explicit TImageList(int width = 16, int height = 16, QObject *parent = nullptr);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Count() const { return int(m_pictures.size()); }

    // The picture at index, or a null pixmap outside 0 … Count() - 1.
    QPixmap Picture(int index) const;

    // Each of these reports Change().
    void Add(const QPixmap &picture);
    void Clear();
    void SetSize(int width, int height);

signals:
    void Change();

private:
    int m_width;
    int m_height;
    QList<QPixmap> m_pictures;
};
