#pragma once

#include "exporterror.h"

#include <QObject>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace routereel {

// The look at an export's clips before it starts: is each one there? The clips'
// folders are asked in turn on a helper thread, never the caller's. A share that
// is slow but answers is waited for as long as it goes on answering: the limit is
// for one call, never for the sum. A call that stands for the limit refuses the
// export with a timed-out read naming its clip; the helper is left to it, since
// nothing takes a stat back.
class ExportSourceLook : public QObject {
    Q_OBJECT

public:
    ExportSourceLook(QStringList paths, std::chrono::milliseconds perCall, QObject *parent = nullptr);
    // Ends the look without an answer, waiting for no clip.
    ~ExportSourceLook() override;

    void start();
    int total() const { return int(m_paths.size()); }

signals:
    // On this object's thread: how many clips have answered so far.
    void looked(int answered);
    // Once: the first clip that is not there, whose folder answered an error, or
    // whose folder did not answer within the limit; none when every one is there.
    void finished(const std::optional<routereel::ExportError> &unreachable);

private:
    struct Calls;
    void waitForAnswers();

    QStringList m_paths;
    std::chrono::milliseconds m_perCall;
    std::shared_ptr<Calls> m_calls;
    std::thread m_waiter;
};

} // namespace routereel
