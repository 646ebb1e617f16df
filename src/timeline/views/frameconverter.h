#pragma once

#include "frameplacement.h"

#include <QImage>
#include <QObject>
#include <QVideoFrame>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace routereel {

// Turns decoded frames into images on a thread of its own. Under a window system
// QVideoFrame::toImage renders through OpenGL, which on a software renderer costs
// the main thread tens of milliseconds a frame and starves the window while video
// plays; the common decoder formats are converted here on the CPU instead, at the
// size the view shows, so that a 4K picture costs little more than a 1080p one.
class FrameConverter : public QObject {
    Q_OBJECT

public:
    explicit FrameConverter(QObject *parent = nullptr);
    ~FrameConverter() override;

    // Converts `frame` soon and reports it with `ticket` and its transform to the
    // canvas by `placement`. A request not yet begun is replaced by a newer one, so a
    // slow conversion never builds a queue; one finished late is still reported, as
    // it is newer than the picture on screen, but never after a newer one.
    void convert(quint64 ticket, const QVideoFrame &frame, QSize bound = {}, const FramePlacement &placement = {});
    // Answers to tickets below `ticket` are of no use any more (the picture was taken off).
    void discardBefore(quint64 ticket);

    // The frame as an upright image, on the calling thread; scaled down to fit
    // `bound` when that is smaller, so that painting it costs little.
    static QImage toImage(const QVideoFrame &frame, QSize bound = {});

signals:
    void converted(quint64 ticket, const QImage &image, const QTransform &toCanvas);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    struct Job {
        quint64 ticket;
        QVideoFrame frame;
        QSize bound;
        FramePlacement placement;
    };
    std::optional<Job> m_pending;
    // Used on the thread the converter belongs to, where its answers arrive.
    quint64 m_floor = 0;
    quint64 m_lastReported = 0;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace routereel
