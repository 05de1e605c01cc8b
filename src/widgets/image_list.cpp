#include "widgets/image_list.h"

TImageList::TImageList(int width, int height, QObject *parent)
    : QObject(parent)
    , m_width(width)
    , m_height(height)
{
}

QPixmap TImageList::Picture(int index) const
{
    if (index < 0 || index >= m_pictures.size())
        return {};
    return m_pictures.at(index);
}

void TImageList::Add(const QPixmap &picture)
{
    m_pictures.append(picture);
    emit Change();
}

void TImageList::Clear()
{
    m_pictures.clear();
    emit Change();
}

void TImageList::SetSize(int width, int height)
{
    m_width = width;
    m_height = height;
    emit Change();
}
