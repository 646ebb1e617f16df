#include "sourceframes.h"

#include "libavinput.h"
#include "videotimelineerror.h"

#include <QFileInfo>
#include <QStringList>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace routereel {

namespace {

// Frame times and cut times meet on boundaries that doubles carry a hair off.
constexpr double timeTolerance = 1e-7;
// Pictures read past the cut: enough for any reordering of B-frames.
constexpr int picturesPastCut = 16;

// ffmpeg's own input seek seeks this much earlier in a file that stores no
// presentation times in its index and whose pictures are reordered.
bool ffmpegSeeksEarlier(const AVFormatContext *context)
{
    if (context->iformat->flags & AVFMT_SEEK_TO_PTS)
        return false;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        if (context->streams[i]->codecpar->video_delay)
            return true;
    }
    return false;
}

// Whether the index holds a picture it hides (an edit list's) after one it shows.
bool hidesAStretch(AVStream *stream)
{
    bool shown = false;
    for (int i = 0, n = avformat_index_get_entries_count(stream); i < n; ++i) {
        const bool hidden = avformat_index_get_entry(stream, i)->flags & AVINDEX_DISCARD_FRAME;
        if (hidden && shown)
            return true;
        shown = shown || !hidden;
    }
    return false;
}

// Whether an HEVC keyframe packet holds a closed GOP's start: an IDR picture
// (IDR_W_RADL or IDR_N_LP), whose pictures lean on none before it, and which lets
// the pictures decoded before it be shown (no_output_of_prior_pics_flag clear).
// A CRA's leading pictures refer to pictures before it, and decoded after another
// piece's they would be made from that piece's. Anything else, or a packet that
// cannot be read through, is not.
bool opensClosedGop(const AVPacket *packet, int lengthSize)
{
    if (lengthSize < 0 || !packet->data)
        return false;
    const std::uint8_t *data = packet->data;
    const std::int64_t size = packet->size;
    bool idr = false;
    // Judges one NAL unit from its header and first slice bytes; false for one
    // that shows the picture is not a closed GOP's start.
    const auto judge = [&](const std::uint8_t *unit, std::int64_t length) {
        if (length < 2)
            return false;
        const int type = (unit[0] >> 1) & 0x3f;
        const int layer = ((unit[0] & 1) << 5) | (unit[1] >> 3);
        if (type >= 32 || layer != 0)
            return true;  // parameter sets, SEI, other layers: not the base picture
        if (type != 19 && type != 20)
            return false;
        // An IDR slice header opens with first_slice_segment_in_pic_flag, then
        // no_output_of_prior_pics_flag.
        if (length < 3 || (unit[2] & 0x40))
            return false;
        idr = true;
        return true;
    };
    if (lengthSize == 0) {
        for (std::int64_t i = 0; i + 3 < size; ++i) {
            if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
                i += 3;
                std::int64_t end = i;
                while (end + 2 < size && !(data[end] == 0 && data[end + 1] == 0 && data[end + 2] <= 1))
                    ++end;
                if (end + 2 >= size)
                    end = size;
                if (!judge(data + i, end - i))
                    return false;
                i = end - 1;
            }
        }
        return idr;
    }
    for (std::int64_t at = 0; at < size;) {
        if (size - at < lengthSize)
            return false;
        std::int64_t length = 0;
        for (int k = 0; k < lengthSize; ++k)
            length = (length << 8) | data[at + k];
        at += lengthSize;
        if (length == 0 || length > size - at || !judge(data + at, length))
            return false;
        at += length;
    }
    return idr;
}

} // namespace

// The record is told from start codes as libav's own parser tells it.
int hevcNalLengthSize(const AVCodecParameters *parameters)
{
    const std::uint8_t *data = parameters->extradata;
    const int size = parameters->extradata_size;
    if (size <= 3 || !(data[0] || data[1] || data[2] > 1))
        return 0;
    if (size < 23)
        return -1;
    const int length = (data[21] & 3) + 1;
    return length == 3 ? -1 : length;
}

// As ffmpeg's own input reckons it: the angle clockwise, whole degrees, from
// -0.9 up to 359.1; a quarter turn with a mirror is told by the matrix's sign.
QString displayTurn(const std::int32_t *matrix)
{
    if (!matrix)
        return {};
    double theta = -std::round(av_display_rotation_get(matrix));
    theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
    const auto near = [theta](double degrees) { return std::fabs(theta - degrees) < 1.0; };
    if (near(90))
        return matrix[3] > 0 ? QStringLiteral("transpose=cclock_flip") : QStringLiteral("transpose=clock");
    if (near(180)) {
        QStringList flips;
        if (matrix[0] < 0)
            flips << QStringLiteral("hflip");
        if (matrix[4] < 0)
            flips << QStringLiteral("vflip");
        return flips.join(QLatin1Char(','));
    }
    if (near(270))
        return matrix[3] < 0 ? QStringLiteral("transpose=clock_flip") : QStringLiteral("transpose=cclock");
    if (std::fabs(theta) > 1.0)
        return QStringLiteral("rotate=%1*PI/180").arg(QString::number(theta, 'f', 6));
    // Unturned but mirrored; a matrix without an angle (NaN) gets nothing.
    if (std::fabs(theta) < 1.0 && matrix[4] < 0)
        return QStringLiteral("vflip");
    return {};
}

// What reading from one seek gives: the keyframe decoding starts on, and the
// presentation times of the pictures it yields (decode order), in stream time base.
struct SourceFrameReader::Scan {
    std::optional<std::int64_t> keyframe;
    // Decoding starts on the keyframe itself, and nothing it yields refers to
    // pictures before it (see opensClosedGop); only judged in HEVC.
    bool closedStart = false;
    std::vector<std::int64_t> pictures;
    std::int64_t lastDuration = 0;
};

SourceFrameReader::SourceFrameReader(const QString &path)
    : m_context(openMediaFile(path))
{
    for (unsigned i = 0; i < m_context->nb_streams; ++i) {
        if (isPictureStream(m_context->streams[i])) {
            m_stream = int(i);
            break;
        }
    }
    if (m_stream < 0)
        throw VideoTimelineError::invalidVideo(QFileInfo(path).fileName());
    for (unsigned i = 0; i < m_context->nb_streams; ++i) {
        if (int(i) != m_stream)
            m_context->streams[i]->discard = AVDISCARD_ALL;
    }
    checkStartTime(m_context.get(), QFileInfo(path).fileName());
    m_startTime = double(startMicros(m_context.get())) / AV_TIME_BASE;
    AVStream *picture = m_context->streams[m_stream];
    m_joinable = !ffmpegSeeksEarlier(m_context.get()) && !hidesAStretch(picture);
    if (picture->codecpar->codec_id == AV_CODEC_ID_HEVC)
        m_nalLengthSize = hevcNalLengthSize(picture->codecpar);
    m_turn = displayTurn(displayMatrix(picture));
}

// The last tick of the picture stream's time base at or before source time `seconds`.
std::int64_t SourceFrameReader::tickAt(double seconds) const
{
    const double tb = av_q2d(m_context->streams[m_stream]->time_base);
    return saturatedInt64(std::floor((m_startTime + seconds + timeTolerance) / tb));
}

// Seeks as ffmpeg does for "-ss seekTo" (none: reads from the file's start), then
// reads the picture stream until well past `seconds`.
bool SourceFrameReader::scan(std::optional<double> seekTo, double seconds, Scan *out)
{
    AVFormatContext *ctx = m_context.get();
    const std::int64_t start = startMicros(ctx);
    bool sought = false;
    if (seekTo) {
        double micros = std::round(*seekTo * AV_TIME_BASE) + double(start);
        if (ffmpegSeeksEarlier(ctx))
            micros -= 3 * AV_TIME_BASE / 23;
        const std::int64_t ts = saturatedInt64(micros);
        sought = avformat_seek_file(ctx, -1, std::numeric_limits<std::int64_t>::min(), ts, ts, 0) >= 0;
    }
    if (!sought) {
        if (avformat_seek_file(ctx, -1, std::numeric_limits<std::int64_t>::min(), start - AV_TIME_BASE,
                               start - AV_TIME_BASE, 0) < 0
            && av_seek_frame(ctx, -1, 0, AVSEEK_FLAG_BYTE) < 0)
            return false;
    }

    const std::int64_t cut = tickAt(seconds);
    *out = Scan{};
    int past = 0;
    bool before = false;  // a packet read before the keyframe: the decoder gets it too
    AVPacket *packet = av_packet_alloc();
    while (past < picturesPastCut && av_read_frame(ctx, packet) >= 0) {
        if (packet->stream_index == m_stream) {
            const std::int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (!out->keyframe && (packet->flags & AV_PKT_FLAG_KEY) && pts != AV_NOPTS_VALUE) {
                out->keyframe = pts;
                out->closedStart = !before && m_nalLengthSize != notHevc && opensClosedGop(packet, m_nalLengthSize);
            }
            before = before || !out->keyframe;
            if (out->keyframe && pts != AV_NOPTS_VALUE && !(packet->flags & AV_PKT_FLAG_DISCARD)) {
                out->pictures.push_back(pts);
                out->lastDuration = packet->duration;
                if (pts > cut)
                    ++past;
            }
            // Decoding would start after the cut: nothing here can show it. Read from
            // the start, the first shown picture is wanted all the same, and in a
            // stream-copied cut it comes after pictures decoded but never shown.
            if (sought && out->keyframe && *out->keyframe > cut)
                break;
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return true;
}

std::optional<SourceFrame> SourceFrameReader::frameAt(double seconds)
{
    if (const auto found = find(seconds))
        return found->frame;
    return std::nullopt;
}

std::optional<SourceFrameReader::Found> SourceFrameReader::find(double seconds)
{
    if (std::isnan(seconds))
        return std::nullopt;
    // Any time past the longest length a clip may have shows its last picture, any
    // time before its start its first.
    seconds = std::clamp(seconds, -1.0, longestLengthSeconds + 1);
    const AVStream *stream = m_context->streams[m_stream];
    const double tb = av_q2d(stream->time_base);
    const std::int64_t cut = tickAt(seconds);
    const auto toSeconds = [&](std::int64_t pts) { return pts * tb - m_startTime; };

    // The picture on screen at the cut, read from a seek as near before it as works.
    Scan scanned;
    std::optional<std::int64_t> frame;
    bool fromStart = false;
    for (double back = 0;; back = back > 0 ? back * 2 : 1) {
        fromStart = seconds - back <= 0;
        if (!scan(fromStart ? std::nullopt : std::optional<double>(seconds - back), seconds, &scanned))
            return std::nullopt;
        if (scanned.keyframe && *scanned.keyframe <= cut) {
            for (std::int64_t pts : scanned.pictures) {
                if (pts <= cut && pts >= *scanned.keyframe && (!frame || pts > *frame))
                    frame = pts;
            }
        }
        if (frame)
            break;
        if (fromStart) {
            // Before the first picture: the first one stands for it.
            if (scanned.pictures.empty())
                return std::nullopt;
            frame = *std::min_element(scanned.pictures.begin(), scanned.pictures.end());
            break;
        }
    }
    std::optional<std::int64_t> next;
    for (std::int64_t pts : scanned.pictures) {
        if (pts > *frame && (!next || pts < *next))
            next = pts;
    }
    Found found;
    found.pts = *frame;
    found.first = fromStart && frame == scanned.keyframe;
    found.closedStart = scanned.closedStart;
    found.frame.start = toSeconds(*frame);
    found.frame.end = next ? toSeconds(*next)
                           : toSeconds(*frame) + (scanned.lastDuration > 0 ? scanned.lastDuration * tb : 0);
    return found;
}

std::optional<SourceCut> SourceFrameReader::cutAt(double seconds)
{
    const auto found = find(seconds);
    if (!found)
        return std::nullopt;
    // HEVC joins only where decoding starts on a closed GOP.
    const bool hevc = m_nalLengthSize != notHevc;
    // An open GOP's start joins once told to start afresh: packets framed as the
    // record says can have an end of sequence put in front.
    const auto judged = [&](SourceCut &cut, bool closedStart) {
        cut.joinable = m_joinable && (!hevc || closedStart);
        cut.joinsAfresh = m_joinable && hevc && !closedStart && m_nalLengthSize >= 0;
    };
    SourceCut result;
    result.frame = found->frame;
    result.stream = m_stream;
    result.turn = m_turn;
    judged(result, found->closedStart);
    if (found->first)
        return result; // the very first picture: read the file from its start
    const AVStream *stream = m_context->streams[m_stream];
    const std::int64_t frame = found->pts;

    // ffmpeg drops what starts before its "-ss": the picture's own start, a
    // microsecond early. Its seek must then still land at or before the picture.
    const std::int64_t start = startMicros(m_context.get());
    const std::int64_t frameMicros = av_rescale_q_rnd(frame, stream->time_base, AV_TIME_BASE_Q, AV_ROUND_DOWN);
    double from = (double(frameMicros) - 1 - double(start)) / AV_TIME_BASE;
    for (double back = 1; from > 0; from -= back, back *= 2) {
        from = std::floor(from * AV_TIME_BASE) / AV_TIME_BASE;
        Scan check;
        if (!scan(from, found->frame.start, &check))
            return std::nullopt;
        // Judged by the pictures decoding from there yields, not by the keyframe's
        // time alone: a keyframe an edit list hides (the GOP before its second entry's
        // start) is stamped before the cut, yet yields only that entry's pictures.
        if (check.keyframe && *check.keyframe <= frame
            && std::find(check.pictures.begin(), check.pictures.end(), frame) != check.pictures.end()) {
            result.readFrom = from;
            judged(result, check.closedStart);
            return result;
        }
    }
    // Read from the file's start after all.
    if (hevc) {
        Scan start;
        if (!scan(std::nullopt, 0, &start)) {
            result.joinable = result.joinsAfresh = false;
            return result;
        }
        judged(result, start.closedStart);
    }
    return result;
}

} // namespace routereel
