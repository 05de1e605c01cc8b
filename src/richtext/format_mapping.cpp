#include "format_mapping.h"

#include <algorithm>

namespace richtext {

QTextCharFormat::UnderlineStyle toQt(Underline u)
{
    switch (u) {
    case Underline::None: return QTextCharFormat::NoUnderline;
    case Underline::Single: return QTextCharFormat::SingleUnderline;
    case Underline::Dash: return QTextCharFormat::DashUnderline;
    case Underline::Dot: return QTextCharFormat::DotLine;
    case Underline::DashDot: return QTextCharFormat::DashDotLine;
    case Underline::DashDotDot: return QTextCharFormat::DashDotDotLine;
    case Underline::Wave: return QTextCharFormat::WaveUnderline;
    }
    return QTextCharFormat::NoUnderline;
}

Underline fromQt(QTextCharFormat::UnderlineStyle u)
{
    switch (u) {
    case QTextCharFormat::SingleUnderline: return Underline::Single;
    case QTextCharFormat::DashUnderline: return Underline::Dash;
    case QTextCharFormat::DotLine: return Underline::Dot;
    case QTextCharFormat::DashDotLine: return Underline::DashDot;
    case QTextCharFormat::DashDotDotLine: return Underline::DashDotDot;
    case QTextCharFormat::WaveUnderline: return Underline::Wave;
    default: return Underline::None;   // including the spell checker's marks, which are not text
    }
}

Qt::Alignment toQt(Alignment a)
{
    switch (a) {
    case Alignment::Left: return Qt::AlignLeft;
    case Alignment::Center: return Qt::AlignHCenter;
    case Alignment::Right: return Qt::AlignRight;
    case Alignment::Justify: return Qt::AlignJustify;
    }
    return Qt::AlignLeft;
}

Alignment fromQt(Qt::Alignment a)
{
    if (a & Qt::AlignJustify)
        return Alignment::Justify;
    if (a & Qt::AlignHCenter)
        return Alignment::Center;
    if (a & Qt::AlignRight)
        return Alignment::Right;
    return Alignment::Left;
}

QTextListFormat::Style toQt(ListStyle s)
{
    switch (s) {
    case ListStyle::None:
    case ListStyle::Disc: return QTextListFormat::ListDisc;
    case ListStyle::Circle: return QTextListFormat::ListCircle;
    case ListStyle::Square: return QTextListFormat::ListSquare;
    case ListStyle::Decimal: return QTextListFormat::ListDecimal;
    case ListStyle::LowerAlpha: return QTextListFormat::ListLowerAlpha;
    case ListStyle::UpperAlpha: return QTextListFormat::ListUpperAlpha;
    case ListStyle::LowerRoman: return QTextListFormat::ListLowerRoman;
    case ListStyle::UpperRoman: return QTextListFormat::ListUpperRoman;
    }
    return QTextListFormat::ListDisc;
}

ListStyle fromQt(QTextListFormat::Style s)
{
    switch (s) {
    case QTextListFormat::ListCircle: return ListStyle::Circle;
    case QTextListFormat::ListSquare: return ListStyle::Square;
    case QTextListFormat::ListDecimal: return ListStyle::Decimal;
    case QTextListFormat::ListLowerAlpha: return ListStyle::LowerAlpha;
    case QTextListFormat::ListUpperAlpha: return ListStyle::UpperAlpha;
    case QTextListFormat::ListLowerRoman: return ListStyle::LowerRoman;
    case QTextListFormat::ListUpperRoman: return ListStyle::UpperRoman;
    default: return ListStyle::Disc;
    }
}

namespace {

double pointsOf(const QFont &font)
{
    if (font.pointSizeF() > 0)
        return font.pointSizeF();
    return font.pixelSize() > 0 ? font.pixelSize() * 0.75 : 12.0;
}

} // namespace

double shownPointSize(const QTextCharFormat &format, const QFont &defaultFont)
{
    if (format.hasProperty(QTextFormat::FontSizeAdjustment)) {
        static constexpr double kScale[] = {0.7, 0.8, 1.0, 1.2, 1.5, 2.0, 2.4};
        const int step = std::clamp(format.intProperty(QTextFormat::FontSizeAdjustment), -2, 4);
        return pointsOf(defaultFont) * kScale[step + 2];
    }
    return pointsOf(format.font().resolve(defaultFont));
}

} // namespace richtext
