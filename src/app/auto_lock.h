#pragma once

#include <QObject>

#include <functional>

class QTimer;

// Locks the diary after a period without input. Installed as an application event filter, it
// notes the time of every key, mouse, wheel, touch and input-method event of any window of the
// program; a timer checks now and then whether the period has passed since, and then emits
// idle() once (until the next input, or until restart()).
//
// The clock is injectable so that a test can let ten minutes pass at once: check() compares the
// clock with the last input, and a test calls it directly rather than waiting for the timer.
class AutoLock : public QObject
{
    Q_OBJECT

public:
    // Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;

    explicit AutoLock(QObject *parent = nullptr);
    ~AutoLock() override;

    // The period in minutes; 0 (or less) turns the lock off.
    void setMinutes(int minutes);
    int minutes() const { return m_minutes; }
    void setClock(Clock clock);

    // Counts from now, as if there had just been input.
    void restart();
    // Emits idle() when the period has passed since the last input (and it has not been emitted
    // for that period yet).
    void check();

signals:
    void idle();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Clock m_clock;
    QTimer *m_timer = nullptr;
    qint64 m_lastInput = 0;
    int m_minutes = 0;
    bool m_fired = false;
};
