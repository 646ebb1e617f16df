#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QtConcurrent>

#include <functional>
#include <optional>
#include <utility>

namespace routereel {

// Tracks of more points than this are drawn or prepared for a view off the main thread.
inline constexpr qsizetype heavyTrackPoints = 20000;

// One value a view draws from (a picture of what does not follow the
// playhead), remembered with the key it was built for. A cheap build runs at
// once; a heavy one runs on the thread pool while the view keeps showing the
// last value, and lands on the main thread only if no newer key was asked for
// since. Main thread only.
template <typename Value>
class BackgroundBuild {
public:
    // `landed` runs on the main thread when a heavy build has replaced the value.
    BackgroundBuild(QObject *owner, std::function<void()> landed) : m_owner(owner), m_landed(std::move(landed)) {}

    // The value for `key`: built now when not `heavy`, else requested. Until a
    // heavy build lands, the last value (possibly for another key), or null.
    const Value *get(const QString &key, bool heavy, std::function<Value()> build)
    {
        if (m_key == key && m_value)
            return &*m_value;
        if (!heavy) {
            m_value = build();
            m_key = key;
            m_pendingKey.reset();
            return &*m_value;
        }
        if (m_pendingKey != key) {
            m_pendingKey = key;
            auto *watcher = new QFutureWatcher<Value>(m_owner);
            QObject::connect(watcher, &QFutureWatcherBase::finished, m_owner, [this, watcher, key] {
                watcher->deleteLater();
                if (m_pendingKey != key || watcher->future().resultCount() == 0)
                    return;  // a newer key was asked for: this one is stale
                m_value = watcher->future().result();
                m_key = key;
                m_pendingKey.reset();
                if (m_landed)
                    m_landed();
            });
            watcher->setFuture(QtConcurrent::run(std::move(build)));
        }
        return m_value ? &*m_value : nullptr;
    }

    // True while the value shown is not the one last asked for.
    bool isBuilding() const { return m_pendingKey.has_value(); }
    // True once a value was made, for whatever key.
    bool hasValue() const { return m_value.has_value(); }
    const QString &key() const { return m_key; }

private:
    QObject *m_owner;
    std::function<void()> m_landed;
    QString m_key;
    std::optional<Value> m_value;
    std::optional<QString> m_pendingKey;
};

} // namespace routereel
