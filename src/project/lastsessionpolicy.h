#pragma once

#include "projectdocument.h"
#include "projectsession.h"

#include <QFuture>
#include <QObject>

#include <memory>

namespace routereel {

class LogStore;

// What this run does with the last-session file: whether the window's state
// received it, whether the file may be replaced, the copy kept of one that
// could not be restored, and what the log is told. Main thread only; the copy is
// made on the project file queue.
class LastSessionPolicy : public QObject {
    Q_OBJECT

public:
    using ReadOutcome = ProjectSession::ReadOutcome;

    explicit LastSessionPolicy(LogStore &log, QObject *parent = nullptr);

    // The file is being read: nothing may replace it until it has been received.
    void reading();
    // What the read gave. True when the document is to be applied. A file the
    // disk did not give (a read error) is protected: never replaced by this run,
    // read again at the next start. One too large, damaged, invalid or of a newer
    // version is copied to its backup, then may be replaced.
    bool received(const QString &path, const ReadOutcome &outcome);
    // Whether the state may be written over `path` now; the first refusal is logged.
    bool mayWrite(const QString &path, bool stillReading);
    // The copy to the backup, while it runs.
    bool isCopying() const { return m_copying.isValid() && !m_copying.isFinished(); }
    bool hasFileWork() const { return isCopying() || m_reports > 0; }

private:
    // Copies an unrestorable file to its backup on the file queue; until the
    // copy is safe the file is not replaced.
    void copyToBackup(const QString &path);

    LogStore &m_log;
    enum class State { notAsked, reading, received, protectedFile };
    State m_state = State::notAsked;
    QString m_reason;  // why the file is protected
    QFuture<void> m_copying;
    std::shared_ptr<bool> m_safe;
    int m_reports = 0;
    bool m_toldProtected = false;
};

} // namespace routereel
