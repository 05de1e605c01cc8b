#pragma once

#include <QApplication>
#include <QCursor>

// The wait cursor for as long as the object lives: a key derivation from a password takes about
// half a second, and the window does not answer meanwhile.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};
