#pragma once

#include "cliptail.h"

#include <QObject>

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace routereel {

// The pictures the media player cannot show (see ClipTail), decoded on a worker
// ahead of need, so that neither a clip's end nor a seek waits on this thread for
// a file to be read. Results stay until forgotten; `ready` tells when one comes.
class ClipPictures : public QObject {
    Q_OBJECT

public:
    explicit ClipPictures(QObject *parent = nullptr);
    ~ClipPictures() override;

    // Finds the clip's pictures starting at or after `end` (libav's clock), the
    // media player's end for it: once per file. None are decoded when the last
    // picture starts before that end.
    void requestTail(const QString &path, double end);
    bool tailRequested(const QString &path) const { return m_tails.count(path) != 0; }
    // Null until found; empty when the media player shows every picture.
    const std::vector<ClipTail::Picture> *tail(const QString &path) const;

    // Finds whether the picture at `at` (libav's clock) is one that a seek shows
    // broken or not at all, and decodes it then.
    void requestLeading(const QString &path, double at);
    // Unknown while it is being found; an empty picture when a seek shows it whole.
    std::optional<ClipTail::Picture> leading(const QString &path, double at) const;

    // Drops everything of files not in `kept`.
    void keepOnly(const std::vector<QString> &kept);
    // Drops everything of the file: it was replaced on disk.
    void forget(const QString &path);

signals:
    void ready(const QString &path);

private:
    using LeadingKey = std::pair<QString, long long>;
    static LeadingKey leadingKey(const QString &path, double at);

    std::map<QString, std::optional<std::vector<ClipTail::Picture>>> m_tails; // none while decoding
    std::map<LeadingKey, std::optional<ClipTail::Picture>> m_leading;
    std::shared_ptr<std::atomic<bool>> m_cancel;
};

} // namespace routereel
