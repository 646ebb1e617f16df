#include "sinkrecording.h"

#include <algorithm>
#include <cmath>

namespace testsupport {

namespace {

using R = SinkRecording;
constexpr int rate = R::rate;

// Placing the reads on the clock.
// Reads handed over together, one cycle's worth, come within this of each other.
constexpr double sameBurst = 0.0005;
// A cycle handed over at once but read in two goes (the reading thread held between
// them) comes sooner after the first part than this share of the first part's length:
// the second part had not been played when it came, and tells nothing of when it was.
constexpr double twoGoesShare = 0.5;
// The graph's shortest cycle here is 256 frames (5 ms): the earliest stamp stepping
// up by more than this is a cycle that did not run, not a read held up.
constexpr double lostAtLeast = 0.01;
// A stretch is placed from at least this many bursts: a lone late read at the end is no loss.
constexpr std::size_t fewestBursts = 3;
// A slot is placed on the clock only where the stamps hold steady this long after its start.
constexpr qint64 placedOver = qint64(0.07 * rate);

// Reading the tone.
// Silence is quiet for at least this long: a sine passes a whisper within a sample or two.
constexpr qint64 hushFrames = rate / 1000;
// A slot's own silence, give or take half of it: a jump may land within it.
constexpr qint64 openingFrom = qint64(R::quietSeconds * rate / 2);
constexpr qint64 openingTo = qint64(R::quietSeconds * rate * 3 / 2);
// Half-periods that name the same slot, at least this many in a row, name a piece;
// fewer are the edge where the tone jumps.
constexpr int fewestHalfPeriods = 3;
// One half-period's pitch lies this close to its slot's (the slots lie 40 Hz apart;
// at 2.4 kHz a half-period of 10 samples is read to a hundredth of one).
constexpr double pitchLeeway = 12;
// Sound this short that names no slot is the edge of a jump or a cut, not a passage.
constexpr qint64 crumbFrames = rate * 5 / 1000;
// How far a piece's ends may lie from the tone's: where the sine first passes a
// whisper, and half a half-period where a jump splits it.
constexpr double edgeSeconds = 0.003;

// A stretch of tone of one pitch between silences or jumps: samples [from, to).
struct Piece {
    qint64 from, to;
    int name; // -1: names no slot
    qint64 quietBefore = -1, quietAfter = -1; // the silence on each side; -1 where the recording ends
    bool opens = false;  // right after its slot's own silence: it starts where the tone does
    bool closes = false; // right before the next slot's silence: it ends where the tone does
    double length() const { return double(to - from) / rate; }
};

// The pieces of one run of sound: where the pitch changes it is cut midway.
void nameRun(const std::vector<float> &s, qint64 a, qint64 b, std::vector<Piece> &out)
{
    std::vector<double> crossings;
    for (qint64 k = a + 1; k < b; ++k) {
        const float x = s[std::size_t(k - 1)], y = s[std::size_t(k)];
        if ((x < 0) != (y < 0))
            crossings.push_back(double(k - 1) + double(x / (x - y)));
    }
    struct Group {
        double from, to;
        int name, count;
    };
    std::vector<Group> groups;
    for (std::size_t c = 1; c < crossings.size(); ++c) {
        const double pitch = rate / (2 * (crossings[c] - crossings[c - 1]));
        const int name = int(std::lround((pitch - R::lowestPitch) / R::pitchStep));
        if (name < 0 || name >= R::slotNames || std::abs(pitch - R::lowestPitch - R::pitchStep * name) > pitchLeeway)
            continue;
        if (!groups.empty() && groups.back().name == name && groups.back().to == crossings[c - 1]) {
            groups.back().to = crossings[c];
            ++groups.back().count;
        } else {
            groups.push_back({crossings[c - 1], crossings[c], name, 1});
        }
    }
    // Stretches of one pitch, and between them what names none: where that is longer
    // than a crumb it is a piece of its own, else the pieces meet midway.
    std::vector<Group> kept;
    for (const Group &g : groups) {
        if (g.count < fewestHalfPeriods)
            continue;
        if (!kept.empty() && kept.back().name == g.name && g.from - kept.back().to < crumbFrames)
            kept.back().to = g.to; // the same pitch on both sides of a jump
        else
            kept.push_back(g);
    }
    qint64 at = a;
    for (std::size_t j = 0; j <= kept.size(); ++j) {
        const double gapFrom = j == 0 ? double(a) : kept[j - 1].to;
        const double gapTo = j == kept.size() ? double(b) : kept[j].from;
        const qint64 cut = j == 0 ? a : j == kept.size() ? b : qint64(std::lround((gapFrom + gapTo) / 2));
        if (gapTo - gapFrom >= crumbFrames) {
            if (j > 0)
                out.push_back({at, qint64(gapFrom), kept[j - 1].name});
            out.push_back({j == 0 ? a : qint64(gapFrom), j == kept.size() ? b : qint64(gapTo), -1});
            at = qint64(gapTo);
        } else {
            if (j > 0)
                out.push_back({at, cut, kept[j - 1].name});
            at = cut;
        }
    }
}

std::vector<Piece> pieces(const std::vector<float> &s, qint64 from)
{
    std::vector<Piece> out;
    const qint64 n = qint64(s.size());
    qint64 runStart = -1, lastLoud = -1, quiet = 0;
    for (qint64 k = std::max<qint64>(from, 0); k <= n; ++k) {
        if (k < n && std::abs(s[std::size_t(k)]) > R::whisper) {
            if (runStart < 0)
                runStart = k;
            lastLoud = k;
            quiet = 0;
            continue;
        }
        if ((k == n || ++quiet >= hushFrames) && runStart >= 0) {
            nameRun(s, runStart, lastLoud + 1, out);
            runStart = -1;
        }
    }
    // Crumbs are the edges of jumps: they count with the silence around them.
    std::erase_if(out, [](const Piece &p) { return p.name < 0 && p.to - p.from < crumbFrames; });
    for (std::size_t j = 0; j < out.size(); ++j) {
        Piece &p = out[j];
        const Piece *before = j > 0 ? &out[j - 1] : nullptr, *after = j + 1 < out.size() ? &out[j + 1] : nullptr;
        p.quietBefore = before ? p.from - before->to : -1;
        p.quietAfter = after ? after->from - p.to : -1;
        // A silence between two stretches of one pitch is a drop-out within the tone.
        p.opens = p.name >= 0 && p.quietBefore >= openingFrom && p.quietBefore <= openingTo
            && (!before || before->name != p.name);
        p.closes = p.name >= 0 && p.quietAfter >= openingFrom && p.quietAfter <= openingTo && after
            && after->name != p.name;
    }
    return out;
}

// Where a named piece's sound may start, in seconds after its slot's tone starts.
struct Placing {
    double earliest, latest;
};

Placing placing(const Piece &p)
{
    const double tone = R::toneSeconds, length = p.length();
    const double fromEnd = std::max(0.0, tone - length);
    const bool whole = std::abs(length - tone) <= edgeSeconds || length > tone;
    if (p.opens && (whole || !p.closes))
        return {0, 0};
    if (p.closes && !p.opens)
        return {fromEnd, fromEnd};
    // Opened and closed yet shorter than the tone: one of the silences belongs to
    // a jump. Or neither: anywhere within the tone.
    return {0, fromEnd};
}

} // namespace

float SinkRecording::toneAt(double seconds)
{
    const double inSlot = std::fmod(seconds, slotSeconds);
    if (inSlot < quietSeconds)
        return 0;
    const int name = int(std::floor(seconds / slotSeconds)) % slotNames;
    return float(0.5 * std::sin(2 * M_PI * (lowestPitch + pitchStep * name) * seconds));
}

double SinkRecording::slotTime(int name, double near)
{
    const double cycle = slotNames * slotSeconds;
    const double first = name * slotSeconds + quietSeconds;
    return first + cycle * std::round((near - first) / cycle);
}

void SinkRecording::append(const float *samples, double arrival)
{
    m_samples.insert(m_samples.end(), samples, samples + readFrames);
    m_arrivals.push_back(arrival);
}

double SinkRecording::timeOf(qint64 sample) const
{
    place();
    if (m_stretches.empty())
        return NAN;
    auto in = std::upper_bound(m_stretches.begin(), m_stretches.end(), sample,
                               [](qint64 s, const Stretch &stretch) { return s < stretch.from; });
    if (in != m_stretches.begin())
        --in;
    return in->origin + double(sample) / rate;
}

// A read comes no sooner than its samples were played: the earliest of the reads from
// a point on steps up only where the graph lost a cycle after it. Within each stretch
// the median places the recording, riding out reads held up on a busy machine.
void SinkRecording::place() const
{
    if (m_placedReads == m_arrivals.size())
        return;
    m_placedReads = m_arrivals.size();
    struct Burst {
        qint64 from;
        double origin;
    };
    std::vector<Burst> bursts;
    std::size_t burstStart = 0;
    for (std::size_t k = 0; k < m_arrivals.size(); ++k) {
        if (k > 0 && m_arrivals[k] - m_arrivals[k - 1] < sameBurst)
            continue;
        if (k > 0
            && m_arrivals[k] - m_arrivals[burstStart] < twoGoesShare * double((k - burstStart) * readFrames) / rate)
            continue;
        burstStart = k;
        bursts.push_back({qint64(k) * readFrames, m_arrivals[k] - double((k + 1) * readFrames) / rate});
    }
    std::vector<double> earliestFrom(bursts.size() + 1, INFINITY);
    for (std::size_t k = bursts.size(); k-- > 0;)
        earliestFrom[k] = std::min(bursts[k].origin, earliestFrom[k + 1]);
    std::vector<std::size_t> starts{0};
    for (std::size_t k = 1; k < bursts.size(); ++k)
        if (earliestFrom[k] - earliestFrom[k - 1] > lostAtLeast && bursts.size() - k >= fewestBursts
            && k - starts.back() >= fewestBursts)
            starts.push_back(k);
    m_stretches.clear();
    for (std::size_t n = 0; n < starts.size() && !bursts.empty(); ++n) {
        const std::size_t end = n + 1 < starts.size() ? starts[n + 1] : bursts.size();
        std::vector<double> origins;
        for (std::size_t k = starts[n]; k < end; ++k)
            origins.push_back(bursts[k].origin);
        std::nth_element(origins.begin(), origins.begin() + std::ptrdiff_t(origins.size() / 2), origins.end());
        m_stretches.push_back({bursts[starts[n]].from, origins[origins.size() / 2]});
    }
}

qint64 SinkRecording::firstLoud(qint64 from) const
{
    for (qint64 i = std::max<qint64>(from, 0); i < size(); ++i)
        if (std::abs(m_samples[std::size_t(i)]) > whisper)
            return i;
    return -1;
}

double SinkRecording::lastLoud(double from, double to) const
{
    const qint64 last = lastLoudSample(from, to);
    return last < 0 ? NAN : timeOf(last);
}

qint64 SinkRecording::lastLoudSample(double from, double to) const
{
    for (qint64 i = size() - 1; i >= 0; --i) {
        const double at = timeOf(i);
        if (at < from)
            break;
        if (at < to && std::abs(m_samples[std::size_t(i)]) > whisper)
            return i;
    }
    return -1;
}

std::vector<SinkRecording::Slot> SinkRecording::heardSlots(qint64 from) const
{
    place();
    std::vector<Slot> found;
    for (const Piece &p : pieces(m_samples, from)) {
        // A slot whose start lies just before a step in the stamps (a server back from
        // a stand hands over what it held at once) is placed by neither side of it.
        const bool straddles = std::any_of(m_stretches.begin(), m_stretches.end(), [&](const Stretch &s) {
            return s.from > p.from && s.from <= p.from + placedOver;
        });
        if (p.opens && !straddles)
            found.push_back({timeOf(p.from), p.name, p.from});
    }
    return found;
}

// The tone plays forward: from one piece to the next, the sound goes on where the one
// before ended, or later. Each piece is placed within its slot's tone by the silences
// it touches and its length; the silence between two pieces is sound of its own when
// it is no longer than a slot's (a pause or a stand in between adds silence, not tone).
// A piece longer than the tone has been heard twice within it.
std::vector<SinkRecording::Repeat> SinkRecording::repeats(qint64 from) const
{
    std::vector<Repeat> found;
    const auto add = [&](qint64 sample, double least, double most) {
        if (most >= shortestRepeat)
            found.push_back({sample, timeOf(sample), least >= shortestRepeat ? least : most, least >= shortestRepeat});
    };
    double near = 0, prevEarliest = 0, prevLatest = 0; // where the sound before ended, on the tone
    const Piece *prev = nullptr;
    bool unreadable = false; // sound that names no slot since the piece before
    for (const Piece &p : pieces(m_samples, from)) {
        if (p.name < 0) {
            unreadable = true;
            continue;
        }
        const double toneStart = slotTime(p.name, near);
        const Placing at = placing(p);
        const double length = std::min(p.length(), toneSeconds);
        if (prev) {
            const double between = double(p.from - prev->to) / rate;
            const double least = unreadable ? 0 : p.from - prev->to <= openingTo ? between : 0;
            const double most = unreadable ? between : least;
            add(p.from, prevEarliest + least - (toneStart + at.latest), prevLatest + most - (toneStart + at.earliest));
        }
        if (p.length() > toneSeconds + edgeSeconds)
            add(p.from + qint64(toneSeconds * rate), p.length() - toneSeconds, p.length() - toneSeconds);
        prevEarliest = toneStart + at.earliest + length;
        prevLatest = toneStart + at.latest + length;
        near = prevEarliest;
        prev = &p;
        unreadable = false;
    }
    return found;
}

std::string SinkRecording::describe(qint64 from, qint64 to) const
{
    place();
    std::string out = std::to_string(size()) + " samples in " + std::to_string(m_arrivals.size()) + " reads; stretches from";
    for (const Stretch &s : m_stretches)
        out += ' ' + std::to_string(s.from);
    out += "; pieces (from-to name, o: opens, c: closes):";
    for (const Piece &p : pieces(m_samples, std::max<qint64>(0, from - rate)))
        if (p.from < to)
            out += ' ' + std::to_string(p.from) + '-' + std::to_string(p.to) + ' ' + std::to_string(p.name)
                + (p.opens ? "o" : "") + (p.closes ? "c" : "");
    return out;
}

} // namespace testsupport
