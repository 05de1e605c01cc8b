#pragma once

#include <QColor>

// The colours the statistics page gives moods and weathers, the same on every skin: they are
// the meaning of the squares. (The pictures are the write page's: moodItemPictures().)
namespace stats {

// The colour of mood index 0 … 7 (高兴 … 爱心); a grey for any other index (a row whose mood
// word is none of the table's).
QColor moodColour(int mood);
// The colour of weather index 0 … 3 (晴 … 雪); a grey for any other.
QColor weatherColour(int weather);

} // namespace stats
