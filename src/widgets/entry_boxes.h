#pragma once

#include "widgets/image_combo_box.h"

#include <QList>
#include <QPixmap>

// The weather and mood choices of a diary entry as image boxes.
//
// Weather items "　晴" "　阴" "　雨" "　雪" show pictures 1, 2, 3, 0 of the weather pictures
// (snow, sun, clouds, rain); mood items "　高兴" "　烦恼" "　愤怒" "　伤感" "　想法" "　感慨"
// "　疑问" "　爱心" show pictures 4, 3, 5, 6, 7, 0, 1, 2 of the mood pictures (sigh, question,
// love, troubled, happy, angry, sad, idea). Each item text begins with one U+3000.
// Every picture is 16 × 16 with a transparent background.

QList<QPixmap> weatherPictures();
QList<QPixmap> moodPictures();
// The picture each mood item shows, in item order (mood index 0 "　高兴" … 7 "　爱心").
QList<QPixmap> moodItemPictures();

// Replaces the box's items, SaveStrings and image list (a 16 × 16 list owned by the box) with
// the weather choice; at most 4 items show when it drops down.
void fillWeatherBox(TCustomImageComboBox *box);
// The same with the mood choice.
void fillMoodBox(TCustomImageComboBox *box);

// A new box filled as above, owned by parent.
TImageComboBox *makeWeatherBox(QWidget *parent);
TImageComboBox *makeMoodBox(QWidget *parent);
