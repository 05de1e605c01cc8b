#include "stats/mood_palette.h"

#include "diary/entry.h"

namespace stats {

namespace {

// Warm colours for the glad moods, cool ones for the sad, each far enough from the others to be
// told apart in a square a few pixels wide.
constexpr QRgb kMoodColours[diary::kMoodCount] = {
    0xF2B01E,   // 高兴 gold
    0xE8710A,   // 烦恼 orange
    0xD22F27,   // 愤怒 red
    0x3F67C6,   // 伤感 blue
    0x23A06B,   // 想法 green
    0x8A56C2,   // 感慨 purple
    0x1AA3B8,   // 疑问 teal
    0xE2559A,   // 爱心 pink
};
constexpr QRgb kWeatherColours[diary::kWeatherCount] = {
    0xF5B52E,   // 晴
    0x8595A8,   // 阴
    0x3A7BD5,   // 雨
    0x9CD3EE,   // 雪
};
constexpr QRgb kNoWordColour = 0x9E9E9E;

} // namespace

QColor moodColour(int mood)
{
    return QColor(mood >= 0 && mood < diary::kMoodCount ? kMoodColours[mood] : kNoWordColour);
}

QColor weatherColour(int weather)
{
    return QColor(weather >= 0 && weather < diary::kWeatherCount ? kWeatherColours[weather]
                                                                 : kNoWordColour);
}

} // namespace stats
