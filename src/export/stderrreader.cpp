#include "stderrreader.h"

#include <cerrno>
#include <unistd.h>

namespace routereel {

StderrReader::StderrReader(int fd, std::shared_ptr<StderrAccumulator> accumulator)
    : m_accumulator(std::move(accumulator))
{
    m_thread = std::thread([fd, acc = m_accumulator] {
        char chunk[16384];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n > 0) {
                acc->appendBytes(QByteArray(chunk, n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            break;
        }
        acc->finish();
        ::close(fd);
    });
}

StderrReader::~StderrReader()
{
    wait();
}

void StderrReader::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace routereel
