#include "framewriter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace routereel {

FrameWriter::FrameWriter(int fd, long long bytesSubmittedAhead) : m_fd(fd)
{
    // Without this every frame crosses a 64 KiB pipe in a hundred hand-overs.
    ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);
    const int capacity = ::fcntl(fd, F_GETPIPE_SZ);
    // A pipe holds at most one page per slot: twice its capacity covers partly filled pages.
    const long long margin = 2LL * std::max(capacity, 0);
    m_splice = capacity > 0 && bytesSubmittedAhead >= margin;
    m_margin = m_splice ? margin : 0;
    m_thread = std::thread([this] { run(); });
}

FrameWriter::~FrameWriter()
{
    abort();
}

void FrameWriter::submit(const unsigned char *data, std::size_t size)
{
    std::lock_guard guard(m_lock);
    m_queue.push_back({data, size});
    m_changed.notify_all();
}

bool FrameWriter::waitUntilWritten(long long count, const StopTest &stop)
{
    std::unique_lock guard(m_lock);
    while (!(m_written >= count || m_error != 0 || m_aborted)) {
        if (stop && stop())
            break;
        m_changed.wait_for(guard, std::chrono::milliseconds(100));
    }
    return m_written >= count;
}

bool FrameWriter::finish(const StopTest &stop)
{
    {
        std::unique_lock guard(m_lock);
        m_closing = true;
        m_changed.notify_all();
        // The reader may stop reading without going away: stay interruptible.
        while (!m_queue.empty() && m_error == 0 && !m_aborted) {
            if (stop && stop())
                return false;
            m_changed.wait_for(guard, std::chrono::milliseconds(100));
        }
        if (m_error != 0 || m_aborted)
            return false;
    }
    if (m_thread.joinable())
        m_thread.join();
    return true;
}

void FrameWriter::abort()
{
    {
        std::lock_guard guard(m_lock);
        m_aborted = true;
        m_queue.clear();
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

bool FrameWriter::waitUntilReleased(long long count, const StopTest &stop)
{
    std::unique_lock guard(m_lock);
    while (!(m_released >= count || m_error != 0 || m_aborted)) {
        if (stop && stop())
            break;
        m_changed.wait_for(guard, std::chrono::milliseconds(100));
    }
    return m_released >= count;
}

long long FrameWriter::written() const
{
    std::lock_guard guard(m_lock);
    return m_written;
}

int FrameWriter::error() const
{
    std::lock_guard guard(m_lock);
    return m_error;
}

double FrameWriter::secondsInWrite() const
{
    std::lock_guard guard(m_lock);
    return m_writeSeconds;
}

void FrameWriter::run()
{
    for (;;) {
        Frame frame;
        {
            std::unique_lock guard(m_lock);
            m_changed.wait(guard, [&] { return !m_queue.empty() || m_closing || m_aborted; });
            if (m_aborted || m_queue.empty())
                return;
            frame = m_queue.front();
        }
        const auto started = std::chrono::steady_clock::now();
        std::size_t done = 0;
        int failure = 0;
        while (done < frame.size) {
            ssize_t n;
            if (m_splice) {
                iovec piece{const_cast<unsigned char *>(frame.data + done), frame.size - done};
                n = ::vmsplice(m_fd, &piece, 1, 0);
                if (n < 0 && (errno == EINVAL || errno == ENOSYS)) {
                    m_splice = false;  // not a pipe after all: copy
                    continue;
                }
            } else {
                n = ::write(m_fd, frame.data + done, frame.size - done);
            }
            if (n > 0) {
                done += std::size_t(n);
                std::lock_guard guard(m_lock);
                m_bytes += n;
                while (!m_frameEnds.empty() && m_frameEnds.front() + m_margin <= m_bytes) {
                    m_frameEnds.pop_front();
                    ++m_released;
                    m_changed.notify_all();
                }
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            failure = n < 0 ? errno : EIO;
            break;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::lock_guard guard(m_lock);
        m_writeSeconds += seconds;
        if (failure != 0) {
            m_error = failure;
            m_queue.clear();
            m_changed.notify_all();
            return;
        }
        if (!m_queue.empty())
            m_queue.pop_front();
        ++m_written;
        m_frameEnds.push_back(m_bytes);
        while (!m_frameEnds.empty() && m_frameEnds.front() + m_margin <= m_bytes) {
            m_frameEnds.pop_front();
            ++m_released;
        }
        m_changed.notify_all();
    }
}

} // namespace routereel
