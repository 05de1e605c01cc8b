#include "app/auto_save.h"

AutoSave::AutoSave(QObject *parent) : AutoSave(kQuietMilliseconds, kLongestMilliseconds, parent) {}

AutoSave::AutoSave(int quietMilliseconds, int longestMilliseconds, QObject *parent) : QObject(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(quietMilliseconds);
    m_longest.setSingleShot(true);
    m_longest.setInterval(longestMilliseconds);
    connect(&m_quiet, &QTimer::timeout, this, &AutoSave::fire);
    connect(&m_longest, &QTimer::timeout, this, &AutoSave::fire);
}

void AutoSave::changed()
{
    m_quiet.start();
    // Started by the first change only: steady typing still gets saved once a minute.
    if (!m_pending)
        m_longest.start();
    m_pending = true;
}

void AutoSave::saved()
{
    m_quiet.stop();
    m_longest.stop();
    m_pending = false;
}

void AutoSave::fire()
{
    if (!m_pending)
        return;
    saved();
    emit due();
}
