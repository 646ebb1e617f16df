#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace routereel {

// Writes frames to ffmpeg's standard input on a thread of its own, in the
// order they were submitted, so that the next frames can be drawn while ffmpeg
// takes these. The frames' memory must stay untouched until written() has
// passed them.
class FrameWriter {
public:
    // `fd` stays owned by the caller; the pipe is enlarged to cut context switches.
    // Frames may be handed to the pipe by reference (vmsplice) instead of being
    // copied into it; a frame's memory is then free again only once released
    // (waitUntilReleased), when so much more has gone into the pipe that the
    // reader must have taken it. `bytesSubmittedAhead` is what the caller
    // submits after a frame before it waits for that frame's release: splicing
    // is used only when that is enough to release it.
    explicit FrameWriter(int fd, long long bytesSubmittedAhead = 0);
    ~FrameWriter();

    FrameWriter(const FrameWriter &) = delete;
    FrameWriter &operator=(const FrameWriter &) = delete;

    void submit(const unsigned char *data, std::size_t size);
    using StopTest = std::function<bool()>;

    // Blocks until `count` frames have been written in all, writing stopped, or
    // `stop` (tested every 0.1 s) answers true. True when the frames were written.
    bool waitUntilWritten(long long count, const StopTest &stop = {});
    // Writes what was submitted and ends the thread. False, with the thread
    // still running, when writing stopped or `stop` answered true first.
    bool finish(const StopTest &stop = {});
    // Drops what has not been written; the frame being written is abandoned when
    // the reader goes away. Returns once the thread has ended.
    void abort();

    // Like waitUntilWritten(), for frames whose memory may be used again.
    bool waitUntilReleased(long long count, const StopTest &stop = {});

    long long written() const;
    // errno of the failed write, 0 while none failed.
    int error() const;
    // Time the thread spent blocked in write(), seconds.
    double secondsInWrite() const;

private:
    struct Frame {
        const unsigned char *data;
        std::size_t size;
    };
    void run();

    int m_fd;
    bool m_splice = false;
    long long m_margin = 0;  // bytes that must follow a frame before its memory is free
    long long m_bytes = 0;
    std::deque<long long> m_frameEnds;  // written, not yet released
    long long m_released = 0;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Frame> m_queue;
    long long m_written = 0;
    int m_error = 0;
    bool m_closing = false;
    bool m_aborted = false;
    double m_writeSeconds = 0;
    std::thread m_thread;
};

} // namespace routereel
