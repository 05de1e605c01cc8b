#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One running copy per user and display. The first copy listens on a local socket named from
// "Quillbook", the user id and the display; a later copy that can connect sends it a message
// and ends.
//
// Wire format: three 32-bit little-endian numbers, the message and its two parameters (0, 0).
class TSingleInstance : public QObject
{
    Q_OBJECT

public:
    // The message a second copy sends to the running one.
    static constexpr quint32 kAnotherCopyStarted = 0x1523;

    // "Quillbook-<uid>-<display>", the display being $DISPLAY, else $WAYLAND_DISPLAY, else
    // "offscreen".
    static QString defaultName();

    explicit TSingleInstance(QString name, QObject *parent = nullptr);

    // True when a running copy accepted the connection and was sent kAnotherCopyStarted: this
    // copy should end. Waits at most a second for the running copy to accept.
    bool notifyRunningCopy();

    // Starts listening. A socket left behind by a copy that crashed is removed first (call only
    // after notifyRunningCopy found nobody). False when listening failed; the program then runs
    // without the rule rather than not at all.
    bool listen();

    QString name() const { return m_name; }

signals:
    // A complete message from another copy.
    void messageReceived(quint32 message, quint32 wParam, quint32 lParam);

private:
    void acceptConnections();

    QString m_name;
    QLocalServer *m_server = nullptr;
};
