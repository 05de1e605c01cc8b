#include "widgets/lunar_day_calendar.h"

#include "lunar/lunar_calendar.h"

#include <QDateEdit>
#include <QEvent>
#include <QLocale>
#include <QPainter>
#include <QTextCharFormat>

#include <algorithm>

TLunarDayCalendar::TLunarDayCalendar(QWidget *parent) : QCalendarWidget(parent)
{
    setLocale(QLocale(QLocale::Chinese, QLocale::China));
}

QColor TLunarDayCalendar::dayLabelColour() { return QColor(128, 128, 128); }
QColor TLunarDayCalendar::feastLabelColour() { return QColor(196, 96, 80); }

QFont TLunarDayCalendar::labelFont() const
{
    QFont small = font();
    if (small.pixelSize() > 0)
        small.setPixelSize(std::max(8, small.pixelSize() * 3 / 4));
    else
        small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.75));
    small.setBold(false);
    return small;
}

int TLunarDayCalendar::labelHeight() const
{
    return QFontMetrics(labelFont()).height();
}

QSize TLunarDayCalendar::sizeHint() const
{
    // Six weeks of rows, each a label taller; the widest label (three characters) fits a column.
    const QSize base = QCalendarWidget::sizeHint();
    const int column = QFontMetrics(labelFont()).horizontalAdvance(QStringLiteral("闰十月")) + 6;
    return {std::max(base.width(), 7 * column), base.height() + 6 * labelHeight()};
}

QSize TLunarDayCalendar::minimumSizeHint() const
{
    const QSize base = QCalendarWidget::minimumSizeHint();
    return {base.width(), base.height() + 6 * labelHeight()};
}

QString TLunarDayCalendar::labelIn(QDate date, const QRect &cell) const
{
    QFont bold = font();
    bold.setBold(true);
    if (cell.height() - 2 < QFontMetrics(bold).height() + labelHeight())
        return {};
    return lunar::calendarLabel(date);
}

void TLunarDayCalendar::paintCell(QPainter *painter, const QRect &rect, QDate date) const
{
    paintDay(painter, rect, date, QColor(), false);
}

void TLunarDayCalendar::paintDay(QPainter *painter, const QRect &rect, QDate date, const QColor &tint,
                                 bool bold) const
{
    painter->save();
    const bool selected = date == selectedDate();
    const bool shownMonth = date.month() == monthShown() && date.year() == yearShown();
    const QPalette::ColorGroup group = shownMonth ? QPalette::Active : QPalette::Disabled;
    const QRect inner = rect.adjusted(1, 1, -1, -1);
    // A marked day keeps its tint when selected and gets a frame instead of the highlight.
    const bool highlighted = selected && !tint.isValid();
    if (highlighted)
        painter->fillRect(inner, palette().color(QPalette::Highlight));
    else if (tint.isValid())
        painter->fillRect(inner, tint);

    QColor numberColour = palette().color(group, QPalette::Text);
    if (highlighted) {
        numberColour = palette().color(QPalette::HighlightedText);
    } else if (shownMonth) {
        // Weekends and marked dates keep the colours the calendar's formats give them.
        QTextCharFormat format = weekdayTextFormat(Qt::DayOfWeek(date.dayOfWeek()));
        format.merge(dateTextFormat(date));
        if (format.hasProperty(QTextFormat::ForegroundBrush))
            numberColour = format.foreground().color();
    }
    QFont numberFont = font();
    numberFont.setBold(bold);
    const QString label = labelIn(date, rect);
    const int numberHeight = QFontMetrics(numberFont).height();
    const int smallHeight = labelHeight();
    const bool twoLines = !label.isEmpty();
    QRect numberRect = inner;
    if (twoLines) {
        const int top = inner.top() + (inner.height() - numberHeight - smallHeight) / 2;
        numberRect = QRect(inner.left(), top, inner.width(), numberHeight);
    }
    painter->setFont(numberFont);
    painter->setPen(numberColour);
    painter->drawText(numberRect, Qt::AlignCenter, QString::number(date.day()));
    if (twoLines) {
        const bool feast = lunar::festivalOf(date) != lunar::Festival::None
                           || label != lunar::dayLabel(date);
        QColor colour = highlighted ? palette().color(QPalette::HighlightedText)
                                    : (feast ? feastLabelColour() : dayLabelColour());
        if (!shownMonth)
            colour.setAlpha(110);
        painter->setFont(labelFont());
        painter->setPen(colour);
        const QRect labelRect(inner.left(), numberRect.bottom() + 1, inner.width(), smallHeight);
        painter->drawText(labelRect, Qt::AlignCenter, label);
    }
    if (selected && tint.isValid()) {
        painter->setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter->drawRect(inner);
    }
    painter->restore();
}

namespace {

class LunarPopup : public QObject
{
public:
    explicit LunarPopup(QDateEdit *edit) : QObject(edit), m_edit(edit) { edit->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_edit && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)) {
            m_edit->removeEventFilter(this);
            if (m_edit->calendarPopup()) {
                auto *calendar = new TLunarDayCalendar(m_edit);
                calendar->setObjectName(QStringLiteral("LunarCalendar"));
                m_edit->setCalendarWidget(calendar);
            }
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QDateEdit *m_edit;
};

} // namespace

void showLunarDays(QDateEdit *edit)
{
    new LunarPopup(edit);
}
