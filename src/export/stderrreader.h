#pragma once

#include "stderraccumulator.h"

#include <memory>
#include <thread>

namespace routereel {

// Reads a pipe (ffmpeg's standard error) on its own thread into an accumulator
// until end of file, then closes it. Destruction waits for the end of file.
class StderrReader {
public:
    StderrReader(int fd, std::shared_ptr<StderrAccumulator> accumulator);
    ~StderrReader();

    StderrReader(const StderrReader &) = delete;
    StderrReader &operator=(const StderrReader &) = delete;

    // Blocks until the writing end is closed and everything has been read.
    void wait();

private:
    std::shared_ptr<StderrAccumulator> m_accumulator;
    std::thread m_thread;
};

} // namespace routereel
