#include "platform/background.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QThreadPool>

#include <exception>

namespace background {

namespace {

// Enough threads for a wait that begins while another one is under way (a timer's work during a
// listing), and never the global pool, which the work itself may fill (a listing decodes on
// every core).
constexpr int kThreads = 4;

int g_depth = 0;
std::function<void()> g_started;
std::function<void()> g_ended;

QThreadPool &pool()
{
    static QThreadPool *threads = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(kThreads);
        return p;
    }();
    return *threads;
}

bool onMainThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace

void runAndWait(const std::function<void()> &work)
{
    if (!onMainThread()) {
        work();
        return;
    }
    std::exception_ptr error;
    QEventLoop loop;
    // The loop is told to end from the worker through its own event queue, so the end cannot be
    // missed however soon the work is done: a quit posted before exec() starts ends it at once.
    pool().start([&work, &error, &loop] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    if (g_depth++ == 0 && g_started)
        g_started();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (--g_depth == 0 && g_ended)
        g_ended();
    if (error)
        std::rethrow_exception(error);
}

bool waiting() { return g_depth > 0; }

void setWaitHooks(std::function<void()> started, std::function<void()> ended)
{
    g_started = std::move(started);
    g_ended = std::move(ended);
}

} // namespace background
