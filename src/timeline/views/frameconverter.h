#pragma once

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
// plays; the common decoder formats are converted here on the CPU instead.
class FrameConverter : public QObject {
    Q_OBJECT

public:
    explicit FrameConverter(QObject *parent = nullptr);
    ~FrameConverter() override;

    // Converts `frame` soon and reports it with `ticket`; a request not yet begun
    // is replaced by a newer one, so a slow conversion never builds a queue.
    void convert(quint64 ticket, const QVideoFrame &frame, QSize bound = {});

    // The frame as an upright image, on the calling thread; scaled down to fit
    // `bound` when that is smaller, so that painting it costs little.
    static QImage toImage(const QVideoFrame &frame, QSize bound = {});

signals:
    void converted(quint64 ticket, const QImage &image);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    struct Job {
        quint64 ticket;
        QVideoFrame frame;
        QSize bound;
    };
    std::optional<Job> m_pending;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace routereel
