#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

class QLocalServer;

namespace routereel {

// One running routereel per user: the first launch listens on a local socket in
// the user's runtime folder; a later launch hands its files to it and exits.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 messageLimit = 64 * 1024;  // bytes of one hand-over
    static constexpr int handOverTimeoutMs = 3000;

    // `name`: the socket's path (defaultName() for the application).
    explicit SingleInstance(QString name, QObject *parent = nullptr);
    ~SingleInstance() override;

    // "$XDG_RUNTIME_DIR/routereel-instance", or a per-user name in the temporary folder.
    static QString defaultName();
    // The command line's file arguments as absolute local file URLs (options skipped; "file:" URLs kept).
    static QList<QUrl> urlsFromArguments(const QStringList &arguments);

    // Sends `urls` to a running instance; false when none answers.
    bool handOver(const QList<QUrl> &urls) const;
    // Becomes the running instance; a socket left by one that crashed is replaced.
    bool listen();
    bool isListening() const;
    QString name() const { return m_name; }

signals:
    // Files handed over by a later launch (possibly none: it only asks to be shown).
    void received(const QList<QUrl> &urls);

private:
    void accept();

    QString m_name;
    QLocalServer *m_server = nullptr;
};

} // namespace routereel
