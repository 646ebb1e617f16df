#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace routereel {

// Where the picture on screen at a clip's source second starts, from the clip's own
// frame times. Finding it reads the file (on a 4K clip with keyframes 10 s apart, a
// whole GOP of packets), so it is looked up on a worker, one file read at a time,
// and told when found.
class FrameStarts : public QObject {
    Q_OBJECT

public:
    explicit FrameStarts(QObject *parent = nullptr);
    ~FrameStarts() override;

    // The start, in source seconds, of the picture on screen at source second `t`,
    // once found; `t` itself where the file has no picture there or cannot be read.
    std::optional<double> at(const QString &file, double t) const;
    // The start of the clip's first picture on the media player's clock (the
    // container's start time on), once the file has been read.
    std::optional<double> firstPicture(const QString &file) const;
    // Looks `t` up unless it is known or asked for already; `found` follows.
    void request(const QString &file, double t);

    // Lookups of other files are dropped.
    void keepOnly(const std::vector<QString> &files);
    // The file was replaced: what was read of it, and its reader, go.
    void forget(const QString &file);

signals:
    void found(const QString &file);

private:
    struct Known {
        std::optional<double> firstPicture;
        std::map<double, double> starts; // source second asked: start found
        std::set<double> asked;
    };
    struct Readers;

    std::map<QString, Known> m_known;
    std::map<QString, quint64> m_epochs; // bumped when a file is forgotten
    std::shared_ptr<Readers> m_readers;  // touched on the worker only
    QThreadPool m_worker;
};

} // namespace routereel
