#pragma once

#include <QProcess>

#include <memory>
#include <vector>

namespace routereel::bench {

// Busy loops in processes of their own, as other programs on the machine are.
class BusyLoops {
public:
    explicit BusyLoops(int count)
    {
        for (int i = 0; i < count; ++i) {
            auto p = std::make_unique<QProcess>();
            p->setStandardOutputFile(QProcess::nullDevice());
            p->start(QStringLiteral("yes"), {});
            m_loops.push_back(std::move(p));
        }
    }
    ~BusyLoops()
    {
        for (auto &p : m_loops) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
    BusyLoops(const BusyLoops &) = delete;
    BusyLoops &operator=(const BusyLoops &) = delete;

private:
    std::vector<std::unique_ptr<QProcess>> m_loops;
};

} // namespace routereel::bench
