#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

class QLocalServer;
class QLocalSocket;

namespace routereel {

// One running routereel per user: the first launch listens on a local socket in
// the user's runtime folder; a later launch hands its files to it and exits.
// Only the holder of a lock on the file beside the socket may listen, so
// launches started together agree on one instance.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 messageLimit = 64 * 1024;  // bytes of one hand-over
    static constexpr int handOverTimeoutMs = 3000;
    // How long a launch waits for another one that holds the lock to answer.
    static constexpr int claimLimitMs = 10'000;

    enum class Claim {
        handedOver,  // a running instance took the files: this launch ends
        listening,   // this launch is the running instance
        alone,       // this launch runs, but no socket could be made for later ones
        unanswered,  // another instance holds the lock but did not answer in time
    };
    // What became of one hand-over: the running instance answers "taken" once it
    // has the files; one that quits closes the connection without a word.
    enum class HandOver { taken, refused, unanswered };

    // `name`: the socket's path (defaultName() for the application).
    explicit SingleInstance(QString name, QObject *parent = nullptr);
    ~SingleInstance() override;

    // "$XDG_RUNTIME_DIR/routereel-instance", or a per-user name in the temporary folder.
    static QString defaultName();
    // The command line's file arguments as absolute local file URLs (options skipped; "file:" URLs kept).
    static QList<QUrl> urlsFromArguments(const QStringList &arguments);

    // Hands `urls` to the running instance or becomes it. `limitMs` bounds the wait
    // for an instance that does not answer; one that answers while it quits is
    // waited for until it has gone, and this launch then runs with its files.
    Claim claim(const QList<QUrl> &urls, int limitMs = claimLimitMs);

    // Sends `urls` to a running instance and waits, at most `limitMs`, for its answer.
    HandOver handOver(const QList<QUrl> &urls, int limitMs = handOverTimeoutMs) const;
    // Becomes the running instance unless another holds the lock; a socket
    // nobody answers on (left by one that crashed) is replaced.
    bool listen();
    bool isListening() const;
    // Takes no more files: each later launch's connection is closed unanswered,
    // which tells it that this instance lives and quits. The lock stays until
    // this goes; those launches wait for it and then run themselves.
    void refuseHandOvers() { m_refusing = true; }
    QString name() const { return m_name; }
    QString lockPath() const { return m_name + QStringLiteral(".lock"); }

    // What the user reads when claim() gives unanswered.
    static QString unansweredMessage();

signals:
    // Files handed over by a later launch (possibly none: it only asks to be shown).
    // The launch is told they were taken once this returns.
    void received(const QList<QUrl> &urls);

private:
    enum class Lock { taken, busy, unsupported };
    enum class Listen { listening, answered, failed };
    Lock takeLock();
    Listen listenHere();
    bool answers() const;
    void accept();
    void take(QLocalSocket *socket, const QByteArray &message);

    QString m_name;
    QLocalServer *m_server = nullptr;
    int m_lockFd = -1;
    bool m_refusing = false;
};

} // namespace routereel
