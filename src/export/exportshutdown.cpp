#include "exportshutdown.h"

#include "exportruncontrol.h"
#include "exportstagingrecord.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <unistd.h>

namespace routereel {

namespace {

// Runs end within seconds of a cancel (ffmpeg gets three to stop); past this the process ends anyway.
constexpr int endingTimeoutMs = 15'000;

std::mutex runsLock;
std::set<ExportRunControl *> runs;
bool ending = false;

int wakePipe[2] = {-1, -1};
volatile sig_atomic_t signalPending = 0;

extern "C" void onEndingSignal(int sig)
{
    if (signalPending) {
        // Asked twice: end now; ffmpeg dies with the process, the next start sweeps.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    signalPending = sig;
    const char byte = char(sig);
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
    errno = saved;
}

int liveRuns()
{
    std::lock_guard guard(runsLock);
    return int(runs.size());
}

// On the main thread: cancel, let the runs end (their clean-up may need this
// thread's events), then end by the signal as its default action would.
void endBySignal(int sig)
{
    {
        std::lock_guard guard(runsLock);
        ending = true;
        for (ExportRunControl *control : runs)
            control->cancel();
    }
    if (liveRuns() > 0) {
        qInfo().noquote() << "[VideoExporter] signal" << sig << "- cancelling running exports";
        const QDeadlineTimer deadline(endingTimeoutMs);
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (liveRuns() == 0 || deadline.hasExpired())
                loop.quit();
        });
        poll.start(20);
        loop.exec();
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

} // namespace

void ExportShutdown::prepareProcess()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    ExportStagingRecord::sweepAtStart();

    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread() || ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [notifier] {
        char byte = 0;
        if (::read(wakePipe[0], &byte, 1) != 1)
            return;
        notifier->setEnabled(false);
        endBySignal(int(byte));
    });
    struct sigaction action {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT})
        ::sigaction(sig, &action, nullptr);
}

ExportShutdown::RunScope::RunScope(std::shared_ptr<ExportRunControl> control) : m_control(std::move(control))
{
    std::lock_guard guard(runsLock);
    runs.insert(m_control.get());
    if (ending)
        m_control->cancel();
}

ExportShutdown::RunScope::~RunScope()
{
    std::lock_guard guard(runsLock);
    runs.erase(m_control.get());
}

} // namespace routereel
