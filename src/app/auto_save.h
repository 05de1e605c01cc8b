#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// Decides when the open entry is saved while it is being written: kQuietMilliseconds after the
// typing pauses, and at the latest kLongestMilliseconds after the first change not yet saved,
// however long the typing goes on. The window calls changed() for every change of the text and
// saved() after every save, by any path; when a save is due, due() is emitted once.
//
// Both timers are single-shot QTimers; a test calls fire() instead of waiting for them.
class AutoSave : public QObject
{
    Q_OBJECT

public:
    static constexpr int kQuietMilliseconds = 3000;
    static constexpr int kLongestMilliseconds = 60000;

    explicit AutoSave(QObject *parent = nullptr);
    // The same rhythm with other periods (the drafts keep a shorter one).
    AutoSave(int quietMilliseconds, int longestMilliseconds, QObject *parent = nullptr);

    void changed();
    void saved();
    // Forgets the pending change (the entry was closed without one to save).
    void cancel() { saved(); }
    // A change waits to be saved.
    bool pending() const { return m_pending; }
    // What a timer does when it runs out: due(), when a change is pending.
    void fire();

signals:
    void due();

private:
    QTimer m_quiet;
    QTimer m_longest;
    bool m_pending = false;
};
