#include "randomtimelines.h"

#include "support/timelinefixtures.h"

#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <random>

namespace randomtimelines {

using namespace routereel;

const Clips &clips()
{
    static const Clips made = [] {
        Clips c;
        QList<testsupport::SourceKind> kinds;
        for (const auto *list : {&testsupport::sourceKinds(), &testsupport::cameraKinds(), &testsupport::troubleKinds(),
                                 &testsupport::colourKinds(), &testsupport::sizeKinds()})
            for (const testsupport::SourceKind &kind : *list)
                if (std::none_of(kinds.begin(), kinds.end(), [&](const auto &k) { return qstrcmp(k.name, kind.name) == 0; }))
                    kinds << kind; // the colour kinds share some with the others
        const QStringList files = testsupport::makeSourceKinds(c.dir.path(), kinds);
        for (qsizetype i = 0; i < kinds.size(); ++i) {
            if (files[i].isEmpty())
                continue;
            Clip clip{kinds[i], VideoSource::probe(QUrl::fromLocalFile(files[i]), QUuid::createUuid()),
                      testsupport::frameStarts(files[i])};
            clip.portrait = clip.source.resolution.height() > clip.source.resolution.width();
            c.all.push_back(clip);
        }
        return c;
    }();
    return made;
}

const Clips &exportClips()
{
    static const Clips made = [] {
        Clips c;
        c.all = clips().all;
        for (const testsupport::SourceKind &kind : testsupport::troubleKinds() + testsupport::exportColourKinds()) {
            const QString file = testsupport::makeSourceKind(c.dir.path(), kind);
            if (file.isEmpty())
                continue;
            Clip clip{kind, VideoSource::probe(QUrl::fromLocalFile(file), QUuid::createUuid()),
                      testsupport::frameStarts(file)};
            clip.portrait = clip.source.resolution.height() > clip.source.resolution.width();
            c.all.push_back(clip);
        }
        return c;
    }();
    return made;
}

std::string Timeline::text() const
{
    std::string s = "fps " + std::to_string(fps) + ":";
    for (const Piece &p : pieces)
        s += QStringLiteral(" [%1 %2..%3 at %4]")
                 .arg(QLatin1String(p.clip->kind.name))
                 .arg(p.from, 0, 'f', 6)
                 .arg(p.to, 0, 'f', 6)
                 .arg(p.offset, 0, 'f', 6)
                 .toStdString();
    return s;
}

VideoTimelineSnapshot Timeline::snapshot() const
{
    VideoTimelineSnapshot s;
    for (const Piece &p : pieces) {
        if (std::none_of(s.sources.begin(), s.sources.end(),
                         [&](const VideoSource &v) { return v.id == p.clip->source.id; }))
            s.sources << p.clip->source;
        s.segments << testsupport::cut(p.clip->source, p.from, p.to, p.offset);
    }
    return s;
}

const Piece *Timeline::pieceAt(double t) const
{
    for (const Piece &p : pieces) {
        if (t >= p.offset && t < p.offset + (p.to - p.from))
            return &p;
    }
    return nullptr;
}

int Timeline::numberAt(double t) const
{
    const Piece *p = pieceAt(t);
    return p ? p->clip->numberAt(p->from + (t - p->offset)) : -1;
}

QList<int> Timeline::exportedNumbers() const
{
    const auto total = std::llround(end() * fps);
    QList<int> numbers(total, 0);
    for (const Piece &p : pieces) {
        const auto first = std::min<long long>(total, std::ceil(p.offset * fps - 1e-6));
        const auto last = std::min<long long>(total, std::ceil(p.end() * fps - 1e-6));
        for (long long n = first; n < last; ++n)
            numbers[n] = p.clip->numberAt(p.from + (n / fps - p.offset));
    }
    return numbers;
}

unsigned seed()
{
    bool ok = false;
    const unsigned given = qEnvironmentVariable("ROUTEREEL_SEED").toUInt(&ok);
    return ok ? given : 20261208u;
}

std::vector<Timeline> drawTimelines(unsigned seed, int count, const Clips &from)
{
    std::mt19937 random(seed);
    const auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(random); };
    const auto chance = [&](double p) { return uniform(0, 1) < p; };
    const double rates[] = {30, 25, 30000.0 / 1001, 50};
    std::vector<Timeline> timelines;
    for (int i = 0; i < count; ++i) {
        Timeline t;
        t.fps = rates[random() % 4];
        t.portrait = chance(0.2);
        std::vector<const Clip *> pool;
        for (const Clip &c : from.all) {
            if (c.portrait == t.portrait)
                pool.push_back(&c);
        }
        const int pieces = 1 + int(random() % 5);
        double offset = 0;
        for (int k = 0; k < pieces && !pool.empty(); ++k) {
            if (k > 0 && chance(0.2))
                offset += uniform(0.1, 0.6); // a gap
            else if (k > 0 && chance(0.2))
                offset += uniform(1e-8, 1e-6); // a hair apart, as sums of cut times leave pieces
            const Piece *previous = t.pieces.empty() ? nullptr : &t.pieces.back();
            // The same file again with a jump back, as a split and a move leave it.
            const bool jumpBack = previous && previous->from > 0.3 && chance(0.3);
            const Clip *clip = jumpBack ? previous->clip : pool[random() % pool.size()];
            const double duration = clip->source.duration;
            const double length = std::min(duration, uniform(0.1, 1.5));
            double from = uniform(0, duration - length);
            if (jumpBack)
                from = uniform(0, previous->from - 0.1);
            else if (chance(0.25))
                from = duration - length; // to the clip's end
            const double to = std::min(duration, from + length);
            t.pieces.push_back({clip, from, to, offset});
            offset += to - from;
        }
        timelines.push_back(t);
    }
    return timelines;
}

} // namespace randomtimelines
