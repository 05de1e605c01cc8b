#include "app/auto_lock.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

namespace {

// How often the timer looks: the lock comes at most this late.
constexpr int kCheckIntervalMs = 15 * 1000;

qint64 monotonicNow()
{
    static QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return started.elapsed();
}

bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::InputMethod:
    case QEvent::TabletPress:
        return true;
    default:
        return false;
    }
}

} // namespace

AutoLock::AutoLock(QObject *parent) : QObject(parent), m_clock(monotonicNow)
{
    setObjectName(QStringLiteral("AutoLock"));
    m_timer = new QTimer(this);
    m_timer->setInterval(kCheckIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &AutoLock::check);
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
    restart();
}

AutoLock::~AutoLock()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

void AutoLock::setMinutes(int minutes)
{
    m_minutes = minutes > 0 ? minutes : 0;
    if (m_minutes > 0)
        m_timer->start();
    else
        m_timer->stop();
    restart();
}

void AutoLock::setClock(Clock clock)
{
    m_clock = std::move(clock);
    restart();
}

void AutoLock::restart()
{
    m_lastInput = m_clock();
    m_fired = false;
}

void AutoLock::check()
{
    if (m_minutes <= 0 || m_fired)
        return;
    if (m_clock() - m_lastInput < qint64(m_minutes) * 60 * 1000)
        return;
    m_fired = true;
    emit idle();
}

bool AutoLock::eventFilter(QObject *watched, QEvent *event)
{
    // Every event reaches the filter once for each widget it passes through; only the time is
    // noted, which costs nothing.
    if (isInput(event->type()))
        restart();
    return QObject::eventFilter(watched, event);
}
