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

int g_depth = 0;       // waits under way on the main thread
int g_busyDepth = 0;   // those of them that show the busy pointer
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

namespace {

// underDialog: the user's input is served, and the pointer is left alone (a progress dialog
// with a cancel button shows what happens).
void runAndWaitFor(const std::function<void()> &work, bool underDialog)
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
    const bool busy = !underDialog && g_busyDepth++ == 0;
    ++g_depth;
    if (busy && g_started)
        g_started();
    loop.exec(underDialog ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    --g_depth;
    if (!underDialog && --g_busyDepth == 0 && g_ended)
        g_ended();
    if (error)
        std::rethrow_exception(error);
}

} // namespace

void runAndWait(const std::function<void()> &work)
{
    runAndWaitFor(work, false);
}

void runAndWaitUnderDialog(const std::function<void()> &work)
{
    runAndWaitFor(work, true);
}

bool waiting() { return g_depth > 0; }

void setWaitHooks(std::function<void()> started, std::function<void()> ended)
{
    g_started = std::move(started);
    g_ended = std::move(ended);
}

} // namespace background
