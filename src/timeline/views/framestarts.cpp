#include "framestarts.h"

#include "timeline/sourceframes.h"

#include <QException>
#include <QPointer>

#include <algorithm>

namespace routereel {

struct FrameStarts::Readers {
    struct Opened {
        std::unique_ptr<SourceFrameReader> reader; // none when libav cannot read the file
        double firstPicture = 0;
        quint64 epoch = 0;
    };
    std::map<QString, Opened> files;

    Opened &open(const QString &file, quint64 epoch)
    {
        auto it = files.find(file);
        if (it != files.end() && it->second.epoch == epoch)
            return it->second;
        Opened opened;
        opened.epoch = epoch;
        try {
            opened.reader = std::make_unique<SourceFrameReader>(file);
            const auto first = opened.reader->frameAt(0);
            opened.firstPicture = opened.reader->startTime() + (first ? first->start : 0);
        } catch (const QException &) {
            // Unreadable or without a picture: the media player reports what it cannot play.
            opened.reader.reset();
        }
        return files.insert_or_assign(file, std::move(opened)).first->second;
    }
};

FrameStarts::FrameStarts(QObject *parent)
    : QObject(parent)
    , m_readers(std::make_shared<Readers>())
{
    m_worker.setMaxThreadCount(1);
}

FrameStarts::~FrameStarts()
{
    m_worker.clear();
    m_worker.waitForDone();
}

std::optional<double> FrameStarts::at(const QString &file, double t) const
{
    const auto known = m_known.find(file);
    if (known == m_known.end())
        return std::nullopt;
    const auto start = known->second.starts.find(t);
    return start == known->second.starts.end() ? std::nullopt : std::optional<double>(start->second);
}

std::optional<double> FrameStarts::firstPicture(const QString &file) const
{
    const auto known = m_known.find(file);
    return known == m_known.end() ? std::nullopt : known->second.firstPicture;
}

void FrameStarts::request(const QString &file, double t)
{
    Known &known = m_known[file];
    if (known.starts.count(t) || !known.asked.insert(t).second)
        return;
    const quint64 epoch = m_epochs[file];
    QPointer<FrameStarts> self(this);
    m_worker.start([self, readers = m_readers, file, t, epoch] {
        Readers::Opened &opened = readers->open(file, epoch);
        std::optional<SourceFrame> frame;
        try {
            frame = opened.reader ? opened.reader->frameAt(t) : std::nullopt;
        } catch (const QException &) {
        }
        const double start = frame ? frame->start : t;
        const std::optional<double> first = opened.reader ? std::optional<double>(opened.firstPicture) : std::nullopt;
        if (!self)
            return;
        QMetaObject::invokeMethod(self.data(), [self, file, t, epoch, start, first] {
            if (!self || self->m_epochs[file] != epoch)
                return;
            Known &known = self->m_known[file];
            known.starts[t] = start;
            known.asked.erase(t);
            if (first)
                known.firstPicture = first;
            emit self->found(file);
        }, Qt::QueuedConnection);
    });
}

void FrameStarts::keepOnly(const std::vector<QString> &files)
{
    const auto kept = [files](const QString &file) { return std::find(files.begin(), files.end(), file) != files.end(); };
    for (auto it = m_known.begin(); it != m_known.end();)
        it = kept(it->first) ? std::next(it) : m_known.erase(it);
    m_worker.start([readers = m_readers, kept] {
        std::erase_if(readers->files, [&](const auto &file) { return !kept(file.first); });
    });
}

void FrameStarts::forget(const QString &file)
{
    m_known.erase(file);
    ++m_epochs[file];
}

} // namespace routereel
