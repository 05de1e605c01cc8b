#include "widgets/date_popup.h"

#include <QCalendarWidget>
#include <QDateEdit>
#include <QEvent>
#include <QScreen>
#include <QTableView>

namespace {

class WholeMonth : public QObject
{
public:
    explicit WholeMonth(QDateEdit *edit) : QObject(edit), m_edit(edit) { edit->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_edit && !m_calendar
            && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)) {
            // The edit makes its calendar on this press, before it pops up.
            m_calendar = m_edit->calendarWidget();
            if (m_calendar)
                m_calendar->window()->installEventFilter(this);
        }
        if (m_calendar && watched == m_calendar->window() && event->type() == QEvent::Show)
            QMetaObject::invokeMethod(this, [this] { grow(); }, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }

private:
    void grow()
    {
        auto *view = m_calendar->findChild<QTableView *>(QStringLiteral("qt_calendar_calendarview"));
        QWidget *popup = m_calendar->window();
        if (!view || !view->model() || !popup->isVisible())
            return;
        const int last = view->model()->rowCount() - 1;
        const int bottom = view->rowViewportPosition(last) + view->rowHeight(last);
        const int missing = bottom - view->viewport()->height();
        if (missing <= 0)
            return;
        m_calendar->setMinimumHeight(m_calendar->height() + missing);
        QRect frame = popup->geometry();
        frame.setHeight(frame.height() + missing);
        if (const QScreen *screen = popup->screen()) {
            const QRect room = screen->availableGeometry();
            if (frame.bottom() > room.bottom())
                frame.moveBottom(room.bottom());
        }
        popup->setGeometry(frame);
    }

    QDateEdit *m_edit;
    QCalendarWidget *m_calendar = nullptr;
};

} // namespace

void showWholeMonth(QDateEdit *edit)
{
    new WholeMonth(edit);
}
