#include "widgets/entry_boxes.h"

#include <QPainter>
#include <QSvgRenderer>

namespace {

constexpr int kPictureSize = 16;

struct Choice {
    const char16_t *text;
    int picture;
};

// Item texts and the picture each shows, in item order.
constexpr Choice kWeather[] = {
    {u"\u3000晴", 1}, {u"\u3000阴", 2}, {u"\u3000雨", 3}, {u"\u3000雪", 0},
};
constexpr Choice kMood[] = {
    {u"\u3000高兴", 4}, {u"\u3000烦恼", 3}, {u"\u3000愤怒", 5}, {u"\u3000伤感", 6},
    {u"\u3000想法", 7}, {u"\u3000感慨", 0}, {u"\u3000疑问", 1}, {u"\u3000爱心", 2},
};

QPixmap renderPicture(const QString &name)
{
    QImage image(kPictureSize, kPictureSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer svg(QStringLiteral(":/widgets/%1.svg").arg(name));
    QPainter painter(&image);
    svg.render(&painter);
    return QPixmap::fromImage(image);
}

QList<QPixmap> renderPictures(std::initializer_list<const char *> names)
{
    QList<QPixmap> pictures;
    for (const char *name : names)
        pictures.append(renderPicture(QLatin1String(name)));
    return pictures;
}

template <size_t N>
void fillBox(TCustomImageComboBox *box, const Choice (&choices)[N], const QList<QPixmap> &pictures)
{
    auto *list = new TImageList(kPictureSize, kPictureSize, box);
    for (const QPixmap &picture : pictures)
        list->Add(picture);
    TImageList *old = box->ImageList();
    box->setImageList(list);
    if (old && old->parent() == box)
        delete old;

    box->clear();
    QStringList entries;
    for (const Choice &choice : choices) {
        box->addItem(QString::fromUtf16(choice.text));
        entries.append(QString::number(choice.picture) + QLatin1Char(','));
    }
    box->setSaveStrings(entries);
    box->setCurrentIndex(0);
}

} // namespace

QList<QPixmap> weatherPictures()
{
    Q_INIT_RESOURCE(widgets);
    return renderPictures({"weather_snow", "weather_sun", "weather_clouds", "weather_rain"});
}

QList<QPixmap> moodPictures()
{
    Q_INIT_RESOURCE(widgets);
    return renderPictures({"mood_sigh", "mood_question", "mood_love", "mood_troubled",
                           "mood_happy", "mood_angry", "mood_sad", "mood_idea"});
}

QList<QPixmap> moodItemPictures()
{
    const QList<QPixmap> pictures = moodPictures();
    QList<QPixmap> items;
    for (const Choice &choice : kMood)
        items.append(pictures[choice.picture]);
    return items;
}

void fillWeatherBox(TCustomImageComboBox *box)
{
    fillBox(box, kWeather, weatherPictures());
    box->setMaxVisibleItems(4);
}

void fillMoodBox(TCustomImageComboBox *box)
{
    fillBox(box, kMood, moodPictures());
}

TImageComboBox *makeWeatherBox(QWidget *parent)
{
    auto *box = new TImageComboBox(parent);
    fillWeatherBox(box);
    return box;
}

TImageComboBox *makeMoodBox(QWidget *parent)
{
    auto *box = new TImageComboBox(parent);
    fillMoodBox(box);
    return box;
}
