#include "timelinefiltergraph.h"

#include "media/libavinput.h"
#include "media/sdrmapping.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <QMap>
#include <memory>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
}

namespace routereel {

QString TimelineFilterGraphError::message() const
{
    switch (m_kind) {
    case Kind::invalidFrameRate:
        return QCoreApplication::translate("TimelineFilterGraphError", "Invalid output frame rate: %1")
            .arg(m_detail);
    case Kind::nothingToShow:
        return QCoreApplication::translate("TimelineFilterGraphError",
                                           "The video timeline has no clip that can be exported.");
    case Kind::notAbsolutePath:
        return QCoreApplication::translate("TimelineFilterGraphError", "A video path is not absolute: %1")
            .arg(m_detail);
    }
    return {};
}

bool mp4HoldsSound(const QString &name)
{
    // What MP4 players take as stored; PCM, A-law, µ-law, FLAC, Opus and Vorbis are encoded.
    static const QStringList held{QStringLiteral("aac"), QStringLiteral("mp3"), QStringLiteral("ac3"),
                                  QStringLiteral("eac3")};
    return held.contains(name);
}

namespace {

// A decimal number taking up the whole text (QString::toDouble is locale-independent).
std::optional<double> wholeNumber(const QString &text)
{
    if (text.trimmed().size() != text.size())
        return std::nullopt;
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

// "%.9f" in the C locale whatever the process locale is.
QString seconds(double value)
{
    return QString::number(value, 'f', 9);
}

// The scale filter's options that take a picture of `source` to `to`, led by ":";
// none when its colours agree, as any option costs the scaler a pass over frames it
// would pass on. Named, not read from the frames: an untagged HD frame would be
// taken for BT.601. RGB has no matrix of its own: only the target's is named.
QString colourConversion(const VideoSource &source, const ExportColour &to)
{
    if (source.rgb)
        return QStringLiteral(":out_color_matrix=%1:out_range=%2").arg(to.scaleMatrix(), to.rangeTag());
    const ExportColour from = exportColourOf(source);
    if (from.scaleMatrix() == to.scaleMatrix() && from.fullRange == to.fullRange)
        return {};
    return QStringLiteral(":in_color_matrix=%1:in_range=%2:out_color_matrix=%3:out_range=%4")
        .arg(from.scaleMatrix(), from.rangeTag(), to.scaleMatrix(), to.rangeTag());
}

// The export's picture format: full range as "J", so that pad and the gaps' colour
// source draw black as 0 rather than 16.
QString pictureFormat(const ExportColour &colour)
{
    return colour.fullRange ? QStringLiteral("yuvj420p") : QStringLiteral("yuv420p");
}

// After a scale that converts RGB: the scaler itself must make YUV, or it passes RGB
// on and the converter ffmpeg inserts later takes BT.601.
QString madeYuv(const VideoSource &source, const ExportColour &to)
{
    return source.rgb ? QStringLiteral(",format=") + pictureFormat(to) : QString();
}

// Even, at least 2; non-finite or absurd sizes give 2 rather than undefined behaviour.
std::int64_t evenDimension(double value)
{
    if (!std::isfinite(value) || value < 4 || value > 1.0e9)
        return 2;
    auto n = std::int64_t(value);
    n -= n % 2;
    return n < 4 ? 2 : n;
}

// Scales a piece to fit inside W x H, centred on black. ffmpeg keeps the stored
// shape of the pixels when fitting: a clip with non-square pixels is scaled to
// its displayed shape (the probe's resolution, rotation applied) instead.
// The piece's colours (as mapped to SDR, for HLG and PQ) are brought to the export's.
QString fitted(const VideoSource &source, const QString &w, const QString &h, const ExportColour &to)
{
    const QString pad = QStringLiteral("pad=%1:%2:(ow-iw)/2:(oh-ih)/2").arg(w, h);
    const QString colour = colourConversion(source, to) + madeYuv(source, to);
    const QSizeF shown = source.resolution;
    if (source.pixelAspect == 1.0 || shown.isEmpty())
        return QStringLiteral("scale=%1:%2:force_original_aspect_ratio=decrease").arg(w, h) + colour + QLatin1Char(',')
            + pad;
    const double scale = std::min(w.toDouble() / shown.width(), h.toDouble() / shown.height());
    const auto side = [scale](double length) {
        return QString::number(std::max<std::int64_t>(1, std::llround(length * scale)));
    };
    return QStringLiteral("scale=%1:%2").arg(side(shown.width()), side(shown.height())) + colour + QLatin1Char(',')
        + pad;
}

// What a piece of `source` goes through before it is fitted: the SDR mapping of HLG and PQ.
QString sdrMapped(const VideoSource &source)
{
    const QString chain = sdrMappingFilter(transferMappedAs(source.colorTransfer, source.rgb), source.fullRange);
    return chain.isEmpty() ? chain : chain + QLatin1Char(',');
}

// The arguments that open one clip as a plain file.
QStringList fileInput(const QUrl &url)
{
    return {QStringLiteral("-protocol_whitelist"), QStringLiteral("file"), QStringLiteral("-i"),
            libavFileName(url.toLocalFile())};
}

// Where reading starts when the file's frame times cannot be read: whole
// seconds, at least a second and two frames before the cut.
double fallbackReadStart(double sourceStart, double sourceFps)
{
    const double lead = std::max(1.0, sourceFps > 0 && std::isfinite(sourceFps) ? 2.0 / sourceFps : 1.0);
    return std::max(0.0, std::floor(sourceStart - lead));
}

// ffmpeg opens every input's decoder when it starts, and each one decodes its first
// pictures and holds them, a set for each of its threads, until its piece is read:
// memory grows with pieces times threads. Few pieces keep ffmpeg's own choice (0);
// many share a bounded number of threads, one each at least.
int decoderThreads(qsizetype pieces, const QSizeF &resolution)
{
    constexpr double budget = 48.0 * 1920 * 1080; // decoder threads times pixels, all inputs together
    const double pixels = std::max(1.0, resolution.width() * resolution.height());
    const int automatic = std::min(16, QThread::idealThreadCount() + 1);
    const double share = budget / (pixels * double(std::max<qsizetype>(1, pieces)));
    return share >= automatic ? 0 : std::max(1, int(share));
}


// One source piece as an input reads it: from `from` (the whole file when none),
// the cut `lead` seconds later, `readLength` seconds of pictures from there.
struct PieceRead {
    qsizetype slice = 0;  // in the frame-aligned list
    const VideoSource *source = nullptr;
    std::optional<double> from;
    double lead = 0;
    double duration = 0;
    double readLength = 0;
    std::int64_t frames = 0;
    double at = 0;  // where `from` lies on its run's time line
    int stream = -1; // the file's picture stream, when known
    bool joinable = true;  // see SourceCut
    bool joinsAfresh = false;
    QString turn;
};

// The in point the concat reader is given for `read`, in microseconds: where its
// file is read from, or the file's start, which the reader takes without one.
std::int64_t inpointMicros(const PieceRead &read)
{
    return std::llround((read.source->startTime + read.from.value_or(0)) * 1e6);
}

// Pieces of one clip that one ffmpeg input reads one after the other, in timeline
// order, through ffmpeg's concat reader: only one file and one decoder are open at
// a time, however many pieces there are. An input per piece would hold a decoder,
// its pictures and the file's index for each piece for the whole export.
struct Run {
    QList<qsizetype> reads;  // into the piece list
    QList<double> spans;     // seconds each piece's entry reads past `from`
    bool plain = false;      // one piece the reader cannot join, read as a file of its own
    // Pictures read from copies of the pieces that start the decoder afresh (see
    // PieceFile): all of the run's, as the reader takes every file's times in the
    // time base of its first.
    bool pieceFiles = false;
};

// Pieces an input takes when its list goes to ffmpeg inline, as one argument,
// which the system caps at 128 KiB. A list in a file takes any number.
constexpr qsizetype maxInlineRun = 400;

// The concat reader ends a piece's file at the first packet of any stream at its
// out point: pictures read past their end by what the file stores of the sound
// ahead of them, sound by what it stores of the pictures.
constexpr double picturesPastEnd = 1.0;
constexpr double soundPastEnd = 1.5;

// How far past `from` a piece's pictures or sound are read.
double spanOf(const PieceRead &read)
{
    return std::max(read.readLength + picturesPastEnd, read.lead + read.duration + soundPastEnd);
}

// How far before its place a piece's first picture may be stamped: the input's
// times are its own in microseconds, then its time base's ticks (1/600 s in phone
// clips), while the picture before lies a whole frame earlier.
double frameTolerance(const VideoSource &source)
{
    const double frame = source.fps > 0 && std::isfinite(source.fps) ? 1 / source.fps : 1.0 / 30;
    return std::clamp(frame / 2, 0.001, 0.02);
}

// Splits the pieces into runs: by clip in timeline order, at most `limit` pieces
// each; sound runs only for clips with sound. Places each piece on its run's time
// line far enough from its neighbours that no picture or sound of one, read from
// its keyframe before or past its end, lies among another's. Pieces that join
// only afresh join when their pictures may be copied (`pieceFiles`); their sound
// is read from the clip as any other piece's.
QList<Run> runsOf(QList<PieceRead> &reads, std::optional<qsizetype> limit, bool sound = false, bool pieceFiles = false)
{
    QList<Run> runs;
    std::map<QString, qsizetype> open;  // clip path to its run being filled
    for (qsizetype r = 0; r < reads.size(); ++r) {
        const VideoSource &source = *reads[r].source;
        if (sound && !source.hasAudio)
            continue;
        const QString path = source.url.toLocalFile();
        PieceRead &read = reads[r];
        const bool afresh = !read.joinable && read.joinsAfresh && (sound || pieceFiles);
        if (!read.joinable && !afresh) {
            // Times of its own: the file's, kept by "-copyts".
            read.at = double(inpointMicros(read)) / 1e6;
            runs.append(Run{{r}, {std::round(spanOf(read) * 1e6) / 1e6}, true});
            continue;
        }
        auto it = open.find(path);
        if (it == open.end() || (limit && runs[it->second].reads.size() >= *limit))
            it = open.insert_or_assign(path, runs.size()).first, runs.append(Run{});
        Run &run = runs[it->second];
        const double span = spanOf(read);
        // A keyframe lies at most the clip's length before `from`.
        const double gap = std::ceil(std::max(0.0, source.duration) + 2);
        double at = 0;
        if (!run.reads.isEmpty()) {
            // The reader moves a file's times by the piece's place less its in point,
            // rounded to the stream's time base (1/600 s in phone clips): a picture
            // could come a fraction of a millisecond late and miss its frame. A
            // whole number of seconds is exact in every time base.
            const PieceRead &last = reads[run.reads.last()];
            const std::int64_t inpoint = inpointMicros(read);
            const std::int64_t least = std::llround((last.at + run.spans.last() + gap) * 1e6);
            const std::int64_t wholeSeconds = (least - inpoint + 999'999) / 1'000'000;
            at = double(inpoint + wholeSeconds * 1'000'000) / 1e6;
        }
        read.at = at;
        run.reads << r;
        run.spans << std::round(span * 1e6) / 1e6;
        run.pieceFiles = run.pieceFiles || (afresh && !sound);
    }
    return runs;
}

// The sum of `terms` as a balanced tree: ffmpeg's expressions refuse a plain sum
// of more than about a hundred terms, and a tree of them stays shallow.
QString balancedSum(const QStringList &terms)
{
    if (terms.size() == 1)
        return terms.first();
    const qsizetype half = terms.size() / 2;
    return QLatin1Char('(') + balancedSum(terms.first(half)) + QLatin1Char('+') + balancedSum(terms.sliced(half))
        + QLatin1Char(')');
}

// A text as the concat reader's file directive quotes it.
QString quotedForList(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// The input that reads `run`: its list in a file of `lists` in `folder`, else
// handed inline. In and out points count from the file's own first timestamp, as
// "-ss" does. A run reads one clip: its packets go to the decoder as the clip
// stores them, not through the reader's conversions, which would report a read
// error as invalid data.
QStringList concatInput(const QList<PieceRead> &reads, const Run &run, bool pictures, const QString &folder,
                        QList<TimelineFilterGraph::ReadList> &lists)
{
    if (run.plain) {
        const PieceRead &read = reads[run.reads.first()];
        QStringList arguments;
        if (read.from)
            arguments << QStringLiteral("-ss") << seconds(*read.from);
        const double length = pictures ? read.readLength + picturesPastEnd : read.lead + read.duration + soundPastEnd;
        return arguments << QStringLiteral("-t") << seconds(length) << fileInput(read.source->url);
    }
    const bool copies = pictures && run.pieceFiles && !folder.isEmpty();
    TimelineFilterGraph::ReadList read{QDir(folder).filePath(QStringLiteral("pieces-%1.ffconcat").arg(lists.size() + 1)),
                                       {}, reads[run.reads.first()].source->url.toLocalFile()};
    QString list = QStringLiteral("ffconcat version 1.0\n");
    for (qsizetype e = 0; e < run.reads.size(); ++e) {
        const PieceRead &piece = reads[run.reads[e]];
        const double base = piece.source->startTime + piece.from.value_or(0);
        const double out = pictures ? piece.readLength + picturesPastEnd : piece.lead + piece.duration + soundPastEnd;
        const double next = e + 1 < run.reads.size() ? reads[run.reads[e + 1]].at - piece.at : run.spans[e];
        const QString duration = QStringLiteral("duration %1\n").arg(QString::number(next, 'f', 6));
        const QString inpoint
            = QStringLiteral("inpoint %1\n").arg(QString::number(double(inpointMicros(piece)) / 1e6, 'f', 6));
        if (copies) {
            // The copy ends where its pictures are all out of the decoder; its in
            // point is always given, as its own first time is not the clip's.
            const PieceFile file{QDir(folder).filePath(QStringLiteral("pieces-%1-%2.nut").arg(lists.size() + 1).arg(e)),
                                 inpointMicros(piece), std::llround((base + piece.readLength) * 1e6)};
            read.pieces << file;
            if (piece.stream >= 0)
                read.stream = piece.stream;
            list += QStringLiteral("file %1\n").arg(quotedForList(libavFileName(file.path))) + inpoint + duration;
            continue;
        }
        list += QStringLiteral("file %1\n").arg(quotedForList(libavFileName(piece.source->url.toLocalFile())));
        if (piece.from)
            list += inpoint;
        list += QStringLiteral("outpoint %1\n").arg(QString::number(base + out, 'f', 6)) + duration;
    }
    QStringList arguments{QStringLiteral("-f"), QStringLiteral("concat"), QStringLiteral("-safe"), QStringLiteral("0"),
                          QStringLiteral("-auto_convert"), QStringLiteral("0"), QStringLiteral("-protocol_whitelist")};
    if (folder.isEmpty())
        return arguments << QStringLiteral("data,file") << QStringLiteral("-i")
                         << QStringLiteral("data:text/plain;base64,") + QString::fromLatin1(list.toUtf8().toBase64());
    read.text = list;
    lists << read;
    return arguments << QStringLiteral("file") << QStringLiteral("-i") << libavFileName(read.path);
}

// Each file opened once however many pieces it gives.
SourceCutFinder frameReaders()
{
    auto readers = std::make_shared<std::map<QString, std::shared_ptr<SourceFrameReader>>>();
    return [readers](const VideoSource &source, double sourceStart) -> std::optional<SourceCut> {
        const QString path = source.url.toLocalFile();
        auto &reader = (*readers)[path];
        try {
            if (!reader)
                reader = std::make_shared<SourceFrameReader>(path);
            return reader->cutAt(sourceStart);
        } catch (const std::exception &) {
            return std::nullopt; // ffmpeg reports what is wrong with the file
        }
    };
}

// Whether ffmpeg's AAC encoder takes sound laid out as `layoutName`: it refuses 22.2,
// for one, and any count without places. Asked of the encoder itself, once a layout.
bool aacTakes(const QString &layoutName)
{
    static std::mutex lock;
    static std::map<QString, bool> known;
    std::lock_guard guard(lock);
    if (const auto it = known.find(layoutName); it != known.end())
        return it->second;
    bool takes = false;
    AVChannelLayout layout{};
    const AVCodec *aac = avcodec_find_encoder_by_name("aac");
    if (aac && av_channel_layout_from_string(&layout, layoutName.toLatin1().constData()) == 0) {
        CodecContextPtr context(avcodec_alloc_context3(aac));
        if (context && av_channel_layout_copy(&context->ch_layout, &layout) == 0) {
            context->sample_fmt = AV_SAMPLE_FMT_FLTP;
            context->sample_rate = 48000;
            context->bit_rate = 192000;
            takes = avcodec_open2(context.get(), aac, nullptr) == 0;
        }
    }
    av_channel_layout_uninit(&layout);
    known.emplace(layoutName, takes);
    return takes;
}

// What stream `sound` of a clip read whole goes through before the AAC encoder, so
// that it is heard as the preview hears it and the encoder takes it; empty for nothing.
QString encodedSoundFilter(const SoundLayout &sound)
{
    if (!sound.known())
        return {};
    if (sound.mixedByCount())
        return sound.ffmpegCountMix();
    // ffmpeg hands the encoder an unstated layout unstated, and the encoder refuses it.
    QStringList chain;
    if (!sound.stated())
        chain << QStringLiteral("channelmap=channel_layout=") + sound.name();
    if (!aacTakes(sound.name()))
        chain << QStringLiteral("aformat=channel_layouts=stereo");
    return chain.join(QLatin1Char(','));
}

// The whole clip `source` (whose file is `url`), read from its start.
TimelineFilterGraph directMode(const QUrl &url, const VideoSource &source, const QString &rate)
{
    TimelineFilterGraph g;
    g.inputArguments = fileInput(url);
    g.colour = exportColourOf(source);
    // "V": the picture, not a cover picture stored before it. Output frame n shows
    // the picture on screen at n frames, as a cut piece does (see there). A full
    // range picture of 10 bits or 4:2:2 keeps its range when it is made 8-bit 4:2:0
    // (8-bit 4:2:0 passes as it is). A clip may end its picture before its sound,
    // which sets the export's length: its last frame stays until the overlay frames end.
    // The frame-rate filter ends at the end of the last picture, and would drop it
    // when no output instant falls inside it (a short last picture of a variable
    // rate): it is held for two frames of either rate first. RGB is made YUV by a
    // scaler told the export's matrix (see madeYuv).
    const QString keepRange = g.colour.fullRange
        ? QStringLiteral("scale=in_range=pc:out_range=pc,format=yuv420p|yuvj420p,")
        : QString();
    const QString toYuv = source.rgb ? QStringLiteral("scale=out_color_matrix=%1:out_range=%2,format=%3,")
                                           .arg(g.colour.scaleMatrix(), g.colour.rangeTag(), pictureFormat(g.colour))
                                     : QString();
    const double fps = frameRateValue(rate);
    const double hold = std::max(2 / fps, source.fps > 0 && std::isfinite(source.fps) ? 2 / source.fps : 0.0);
    g.filterComplex = QStringLiteral("[1:V:0]") + sdrMapped(source) + keepRange + toYuv
        + QStringLiteral("tpad=stop_mode=clone:stop_duration=%2,settb=1/1000000000,setpts=PTS-1000,"
                         "fps=%1:start_time=0:round=up,tpad=stop_mode=clone:stop=-1[timelinev];")
              .arg(rate, seconds(hold));
    g.videoLabel = QStringLiteral("[timelinev]");
    g.audioMap = QStringLiteral("1:a?");
    g.usesFilterGraph = false;
    g.copiesAudio = std::all_of(source.audioCodecs.begin(), source.audioCodecs.end(), mp4HoldsSound);
    if (!g.copiesAudio) {
        for (qsizetype i = 0; i < source.audioLayouts.size(); ++i) {
            if (const QString filter = encodedSoundFilter(source.audioLayouts.at(i)); !filter.isEmpty())
                g.soundFilterArguments << QStringLiteral("-filter:a:%1").arg(i) << filter;
        }
    }
    return g;
}

// The clip of a timeline-less export; what is unknown of it counts as a plain SD clip.
VideoSource probedOrPlain(const QUrl &url)
{
    try {
        return VideoSource::probe(url, {});
    } catch (...) {
        return {}; // ffmpeg reports what is wrong with the file
    }
}

} // namespace

ExportColour exportColour(const std::optional<VideoTimelineSnapshot> &snapshot, const QUrl &videoURL)
{
    if (!snapshot)
        return exportColourOf(probedOrPlain(videoURL));
    const VideoSource *first = nullptr;
    double earliest = 0;
    for (const VideoSegment &segment : snapshot->segments) {
        const VideoSource *source = snapshot->sourceFor(segment.sourceID);
        if (source && (!first || segment.offset < earliest)) {
            first = source;
            earliest = segment.offset;
        }
    }
    return first ? exportColourOf(*first) : ExportColour{};
}

double frameRateValue(const QString &frameRate)
{
    QList<double> numbers;
    for (const QString &piece : frameRate.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (const auto v = wholeNumber(piece))
            numbers.append(*v);
    }
    if (numbers.size() == 2)
        return numbers[0] / numbers[1];
    if (const auto v = wholeNumber(frameRate))
        return *v;
    return 30;
}

std::optional<TimelineFilterGraph> ffmpegFilterGraph(const std::optional<VideoTimelineSnapshot> &snapshot,
                                                     const QUrl &videoURL, double width, double height,
                                                     const QString &frameRate,
                                                     std::optional<TimelineFilterGraphError> *error,
                                                     const SourceCutFinder &findCut, const QString &listFolder)
{
    auto refuse = [error](TimelineFilterGraphError e) -> std::optional<TimelineFilterGraph> {
        if (error)
            *error = e;
        return std::nullopt;
    };
    if (error)
        error->reset();

    // The text goes into the graph as it is: only a plain rate or a ratio of whole numbers may.
    static const QRegularExpression plainRate(QStringLiteral("^[0-9]+(\\.[0-9]+)?(/[0-9]+)?$"));
    const double fps = frameRateValue(frameRate);
    if (!plainRate.match(frameRate).hasMatch() || !std::isfinite(fps) || !(fps > 0))
        return refuse({TimelineFilterGraphError::Kind::invalidFrameRate, frameRate});

    const auto relative = [](const QUrl &url) { return libavFileName(url.toLocalFile()).isEmpty(); };
    if (!snapshot) {
        if (relative(videoURL))
            return refuse({TimelineFilterGraphError::Kind::notAbsolutePath, videoURL.toLocalFile()});
        return directMode(videoURL, probedOrPlain(videoURL), frameRate);
    }
    const VideoTimelineSnapshot shifted = snapshot->shiftedToZero();
    for (const VideoSegment &segment : shifted.segments) {
        const VideoSource *source = shifted.sourceFor(segment.sourceID);
        if (source && relative(source->url))
            return refuse({TimelineFilterGraphError::Kind::notAbsolutePath, source->url.toLocalFile()});
    }
    if (shifted.singleFullSource()) {
        // Open the clip the timeline actually shows, whatever path was passed alongside;
        // non-square pixels are scaled to their displayed shape first.
        const VideoSource *whole = shifted.sourceFor(shifted.segments.first().sourceID);
        if (whole->pixelAspect == 1.0)
            return directMode(whole->url, *whole, frameRate);
    }

    const QList<VideoTimelineSnapshot::Slice> aligned = shifted.frameAlignedSlices(fps);
    if (aligned.isEmpty())
        return refuse({TimelineFilterGraphError::Kind::nothingToShow});

    const QString w = QString::number(evenDimension(width));
    const QString h = QString::number(evenDimension(height));
    const QString &rate = frameRate;

    const SourceCutFinder cutOf = findCut ? findCut : frameReaders();
    TimelineFilterGraph g;
    g.colour = exportColour(shifted, videoURL);
    const QString format = pictureFormat(g.colour);

    // Where each source piece is read from and for how long, in timeline order.
    QList<PieceRead> reads;
    for (qsizetype i = 0; i < aligned.size(); ++i) {
        const VideoTimelineSnapshot::Slice &piece = aligned[i];
        if (piece.isGap())
            continue;
        PieceRead read;
        read.slice = i;
        read.source = &*piece.source;
        if (const auto cut = cutOf(*piece.source, piece.sourceStart)) {
            read.from = cut->readFrom;
            read.stream = cut->stream;
            read.joinable = cut->joinable;
            read.joinsAfresh = cut->joinsAfresh;
            read.turn = cut->turn;
        }
        else if (const double start = fallbackReadStart(piece.sourceStart, piece.source->fps); start > 0)
            read.from = start;
        read.lead = piece.sourceStart - read.from.value_or(0);
        read.duration = piece.duration;
        // Two frames more than the piece: ffmpeg's frame-rate filter ends at the
        // input's end time and would drop the last picture when the end falls on it.
        read.readLength = read.lead + piece.duration + 2 / fps;
        read.frames = std::int64_t(std::round(piece.duration * fps));
        reads << read;
    }
    if (!listFolder.isEmpty() && !QDir::isAbsolutePath(listFolder))
        return refuse({TimelineFilterGraphError::Kind::notAbsolutePath, listFolder});
    const std::optional<qsizetype> runLimit = listFolder.isEmpty() ? std::optional(maxInlineRun) : std::nullopt;
    const QList<Run> videoRuns = runsOf(reads, runLimit, false, !listFolder.isEmpty());
    const qsizetype decoders = videoRuns.size();

    QMap<qsizetype, QString> videoChains;  // by slice
    QMap<qsizetype, QString> soundChains;
    QStringList chains;
    int input = 0;
    g.inputArguments << QStringLiteral("-copyts");  // the runs' own times place every piece
    for (const Run &run : videoRuns) {
        const QString k = QString::number(++input);
        const VideoSource &source = *reads[run.reads.first()].source;
        if (const int threads = decoderThreads(decoders, source.resolution); threads > 0)
            g.inputArguments << QStringLiteral("-threads") << QString::number(threads);
        g.inputArguments << concatInput(reads, run, true, listFolder, g.readLists);
        // Only the pictures of the pieces are made SDR and fitted, once for the run;
        // the run is then cut where its pieces lie, far apart on its time line.
        QStringList windows;
        QStringList splits;
        QString outputs;
        for (qsizetype e = 0; e < run.reads.size(); ++e) {
            const PieceRead &read = reads[run.reads[e]];
            const double tolerance = frameTolerance(*read.source);
            windows << QStringLiteral("between(t,%1,%2)").arg(seconds(read.at - tolerance),
                                                              seconds(read.at + read.readLength));
            if (e > 0)
                splits << seconds(reads[run.reads[e - 1]].at + run.spans[e - 1] + 1);
            const QString label = QStringLiteral("r%1p%2").arg(k).arg(e);
            outputs += QStringLiteral("[%1]").arg(label);
            // Output frame n shows the picture on screen at the cut + n frames: the
            // last one starting at or before that instant ("round=up" never takes a
            // later one). The frame-rate filter would round a start time up to the
            // input's time base (1/600 s in phone clips) and to whole microseconds,
            // so frames are counted in nanoseconds from the cut instead; a frame
            // starting within a microsecond after an instant, the precision of a
            // container's start time, counts as on screen.
            const QString shift = QString::number(saturatedInt64(std::round((read.at + read.lead) * 1e9) + 1000));
            if (e + 1 < run.reads.size()) {
                // The piece ends where the next piece's first picture comes, far past
                // its own end: that end is moved to half a frame after the piece's
                // last frame, so that the frame-rate filter makes exactly the piece's
                // frames, holding its last picture as long as needed (sound longer
                // than video, a cut to the very end), and then ends by itself. A
                // filter ended from behind (trim) or one that holds a picture for
                // later (tpad) keeps that picture until ffmpeg ends: memory would grow
                // by a picture per piece.
                const QString end = QString::number(
                    saturatedInt64(std::round((double(read.frames) - 0.5) / fps * 1e9)));
                videoChains[read.slice]
                    = QStringLiteral("[%1]settb=1/1000000000,setpts=min(PTS-%2\\,%3),fps=%4:start_time=0:round=up,"
                                     "setpts=N/(%4*TB),format=%5")
                          .arg(label, shift, end, rate, format);
            } else {
                // The run's last piece ends where its input ends, which may be before
                // the piece's end: its last picture is held for as long as the piece
                // reads, the frame-rate filter's last tick included, and the piece's
                // frame count stops the copies. One held picture per run.
                videoChains[read.slice]
                    = QStringLiteral("[%1]tpad=stop_mode=clone:stop_duration=%2,settb=1/1000000000,setpts=PTS-%3,"
                                     "fps=%4:start_time=0:round=up,tpad=stop_mode=clone:stop=-1,trim=end_frame=%5,"
                                     "setpts=N/(%4*TB),format=%6")
                          .arg(label, seconds(read.readLength), shift, rate, QString::number(read.frames), format);
            }
        }
        // The picture stream by its number: the concat reader does not tell a cover
        // picture from the pictures, and a cover stored first would be read instead.
        const int stream = run.pieceFiles ? 0 : reads[run.reads.first()].stream;
        const QString picture = stream >= 0 ? QString::number(stream) : QStringLiteral("V:0");
        QString chain = QStringLiteral("[%1:%2]select='%3',").arg(k, picture, balancedSum(windows));
        // The copies lose the clip's display matrix: its pictures are turned here, as
        // ffmpeg turns the clip's own, before anything that expects the shape shown.
        if (run.pieceFiles) {
            for (qsizetype r : run.reads) {
                if (!reads[r].turn.isEmpty()) {
                    chain += reads[r].turn + QLatin1Char(',');
                    break;
                }
            }
        }
        chain += sdrMapped(source) + fitted(source, w, h, g.colour) + QStringLiteral(",setsar=1");
        if (run.reads.size() > 1)
            chain += QStringLiteral(",segment=timestamps=%1").arg(splits.join(QLatin1Char('|')));
        chains << chain + outputs;
    }
    // Placed on time lines of their own: the reads' places are now the sound runs'.
    for (const Run &run : runsOf(reads, runLimit, true)) {
        const QString k = QString::number(++input);
        const VideoSource &source = *reads[run.reads.first()].source;
        g.inputArguments << concatInput(reads, run, false, listFolder, g.readLists);
        // Channels without places are mixed as the preview mixes them. The run is
        // made 48 kHz stereo once, as all its pieces come from one file: a piece's
        // converter would hold its resampler and mixer for the whole export.
        const QString mix = source.audioLayouts.value(0).ffmpegCountMix();
        QString chain = QStringLiteral("[%1:a]").arg(k) + (mix.isEmpty() ? QString() : mix + QLatin1Char(','))
            + QStringLiteral("aresample=48000,aformat=sample_fmts=fltp:channel_layouts=stereo");
        QString outputs;
        QStringList splits;
        for (qsizetype e = 0; e < run.reads.size(); ++e) {
            const PieceRead &read = reads[run.reads[e]];
            const QString label = QStringLiteral("r%1p%2").arg(k).arg(e);
            outputs += QStringLiteral("[%1]").arg(label);
            if (e > 0)
                splits << seconds(reads[run.reads[e - 1]].at + run.spans[e - 1] + 1);
            // The sound starts at the cut to the sample; a sound that starts
            // later in the file keeps its distance to the cut. Placed piece by
            // piece: over the run, the gaps between the reads would be filled.
            const QString from = seconds(read.at + read.lead);
            soundChains[read.slice]
                = QStringLiteral("[%1]atrim=start=%2:end=%3,asetpts=PTS-%2/TB,aresample=48000:async=1:first_pts=0,"
                                 "aformat=sample_fmts=fltp:channel_layouts=stereo,apad,atrim=duration=%4,"
                                 "asetpts=N/SR/TB")
                      .arg(label, from, seconds(read.at + run.spans[e]), seconds(read.duration));
        }
        // Each sound frame goes to its own piece only: split, not copied to all of them.
        if (run.reads.size() > 1)
            chain += QStringLiteral(",asegment=timestamps=%1").arg(splits.join(QLatin1Char('|')));
        chains << chain + outputs;
    }

    QString concatInputs;
    for (qsizetype i = 0; i < aligned.size(); ++i) {
        const VideoTimelineSnapshot::Slice &piece = aligned[i];
        const QString d = seconds(piece.duration);
        const QString v = QStringLiteral("clipv%1").arg(i);
        const QString a = QStringLiteral("clipa%1").arg(i);
        if (piece.isGap())
            chains << QStringLiteral("color=c=black:s=%1x%2:r=%3:d=%4,format=%5[%6]").arg(w, h, rate, d, format, v);
        else
            chains << videoChains.value(i) + QStringLiteral("[%1]").arg(v);
        if (soundChains.contains(i))
            chains << soundChains.value(i) + QStringLiteral("[%1]").arg(a);
        else
            chains << QStringLiteral("anullsrc=r=48000:cl=stereo,atrim=duration=%1[%2]").arg(d, a);
        concatInputs += QStringLiteral("[%1][%2]").arg(v, a);
    }
    // concat starts each piece where the longer of its streams ended, counted in
    // microseconds: sound rounded up by one moves every later frame, and the last
    // one then comes after the overlay's last frame and is lost. Each piece has its
    // exact frame count, so the frames are stamped by number again, rounded as
    // the overlay frames are.
    chains << concatInputs
            + QStringLiteral("concat=n=%1:v=1:a=1[timelinecat][timelinea]").arg(aligned.size());
    chains << QStringLiteral("[timelinecat]setpts=round(N/(%1*TB))[timelinev]").arg(rate);

    g.filterComplex = chains.join(QLatin1Char(';')) + QLatin1Char(';');
    g.videoLabel = QStringLiteral("[timelinev]");
    g.audioMap = QStringLiteral("[timelinea]");
    g.usesFilterGraph = true;
    return g;
}

} // namespace routereel
