#include "libavinput.h"

#include "videoreaderror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

namespace routereel {

namespace {

// Failures reach callers as exceptions or results; libav's console chatter adds nothing.
void quietLibav()
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
}

AVDictionary *fileOnlyOptions()
{
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    return options;
}

AVFormatContext *openInput(const QString &name, int *rc)
{
    quietLibav();
    AVDictionary *options = fileOnlyOptions();
    AVFormatContext *raw = nullptr;
    *rc = avformat_open_input(&raw, QFile::encodeName(name).constData(), nullptr, &options);
    av_dict_free(&options);
    return *rc < 0 ? nullptr : raw;
}

// A refused read is tried again after each of these pauses: a sector that reads on
// a second try, or a share back within a fraction of a second, goes unnoticed.
constexpr int retryPausesMs[] = {20, 60, 120};
constexpr int ioBufferSize = 32768; // libav's own

// An open that failed for the disk or the share, not for the file: it may pass.
bool refusedByTheDisk(int error)
{
    switch (error) {
    case EIO:
    case ENOTCONN:
    case ESTALE:
    case ETIMEDOUT:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
    case ECONNRESET:
    case ECONNABORTED:
    case EAGAIN:
    case EINTR:
        return true;
    default:
        return false;
    }
}

} // namespace

QString libavReason(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

void FormatContextCloser::operator()(AVFormatContext *context) const
{
    avformat_close_input(&context);
}

void FrameDeleter::operator()(AVFrame *frame) const
{
    av_frame_free(&frame);
}

void CodecContextDeleter::operator()(AVCodecContext *context) const
{
    avcodec_free_context(&context);
}

void PacketDeleter::operator()(AVPacket *packet) const
{
    av_packet_free(&packet);
}

QString libavFileName(const QString &path)
{
    if (!QDir::isAbsolutePath(path))
        return {};
    return QStringLiteral("file:") + path;
}

FormatContextPtr openMediaFile(const QString &path)
{
    const QString name = libavFileName(path);
    if (name.isEmpty())
        throw VideoReadError(path, QCoreApplication::translate("VideoReadError", "the path is not absolute"));
    int opened = 0;
    AVFormatContext *raw = openInput(name, &opened);
    if (!raw)
        throw VideoReadError(QFileInfo(path).fileName(), libavReason(opened), refusedByTheDisk(AVUNERROR(opened)));
    FormatContextPtr context(raw);
    if (const int rc = avformat_find_stream_info(context.get(), nullptr); rc < 0)
        throw VideoReadError(QFileInfo(path).fileName(), libavReason(rc), refusedByTheDisk(AVUNERROR(rc)));
    return context;
}

RetryingMediaFile::RetryingMediaFile(const QString &path)
{
    const QString name = libavFileName(path);
    if (name.isEmpty())
        throw VideoReadError(path, QCoreApplication::translate("VideoReadError", "the path is not absolute"));
    const QString fileName = QFileInfo(path).fileName();
    quietLibav();
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        const int error = errno;
        throw VideoReadError(fileName, libavReason(AVERROR(error)), refusedByTheDisk(error));
    }
    auto *buffer = static_cast<unsigned char *>(av_malloc(ioBufferSize));
    m_io = buffer ? avio_alloc_context(buffer, ioBufferSize, 0, this, &readPacket, nullptr, &seekTo) : nullptr;
    if (!m_io) {
        av_free(buffer);
        ::close(m_fd);
        throw VideoReadError(fileName, libavReason(AVERROR(ENOMEM)));
    }
    AVFormatContext *raw = avformat_alloc_context();
    int rc = AVERROR(ENOMEM);
    if (raw) {
        raw->pb = m_io;
        AVDictionary *options = fileOnlyOptions();
        rc = avformat_open_input(&raw, QFile::encodeName(name).constData(), nullptr, &options);
        av_dict_free(&options);
    }
    if (rc >= 0) {
        m_context.reset(raw);
        rc = avformat_find_stream_info(raw, nullptr);
    }
    if (rc < 0) {
        const QString reason = libavReason(m_failure ? AVERROR(m_failure) : rc);
        const bool refused = m_failure != 0;
        m_context.reset();
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
        ::close(m_fd);
        throw VideoReadError(fileName, reason, refused);
    }
    m_failure = 0;
}

RetryingMediaFile::~RetryingMediaFile()
{
    m_context.reset(); // a context given its own I/O leaves it to its owner
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RetryingMediaFile::waitBeforeRetry(int attempt) const
{
    if (attempt >= int(std::size(retryPausesMs)))
        return false;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < retryPausesMs[attempt]) {
        if (m_cancel && m_cancel->load(std::memory_order_relaxed))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int RetryingMediaFile::readPacket(void *opaque, std::uint8_t *buffer, int size)
{
    auto *self = static_cast<RetryingMediaFile *>(opaque);
    for (int attempt = 0;;) {
        const ssize_t got = ::read(self->m_fd, buffer, std::size_t(size));
        if (got > 0)
            return int(got);
        if (got == 0)
            return AVERROR_EOF;
        const int error = errno;
        if (error == EINTR)
            continue;
        // A refused read leaves the descriptor where it was: the next try reads the same bytes.
        if (!self->waitBeforeRetry(attempt++)) {
            self->m_failure = error;
            return AVERROR(error);
        }
    }
}

std::int64_t RetryingMediaFile::seekTo(void *opaque, std::int64_t offset, int whence)
{
    auto *self = static_cast<RetryingMediaFile *>(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat info {};
        return ::fstat(self->m_fd, &info) == 0 ? std::int64_t(info.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(self->m_fd, off_t(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : std::int64_t(at);
}

bool isPictureStream(const AVStream *stream)
{
    return stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

const std::int32_t *displayMatrix(const AVStream *stream)
{
    return reinterpret_cast<const std::int32_t *>(av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
}

int clockwiseRotation(const AVStream *stream)
{
    const std::int32_t *matrix = displayMatrix(stream);
    if (!matrix)
        return 0;
    const double counterClockwise = av_display_rotation_get(matrix);
    if (!std::isfinite(counterClockwise))
        return 0;
    // libav tells the matrix's turn counter-clockwise.
    return int(std::fmod(std::round(-counterClockwise / 90.0) * 90.0 + 360.0, 360.0));
}

std::int64_t startMicros(const AVFormatContext *context)
{
    return context->start_time == AV_NOPTS_VALUE ? 0 : context->start_time;
}

void checkStartTime(const AVFormatContext *context, const QString &fileName)
{
    const double start = double(startMicros(context)) / AV_TIME_BASE;
    if (std::fabs(start) > latestStartSeconds)
        throw VideoReadError(fileName, QCoreApplication::translate("VideoReadError",
                                                                   "its start time of %1 s is none a recording has")
                                           .arg(start, 0, 'g', 12));
}

QString implausibleLengthReason(double seconds)
{
    return QCoreApplication::translate("VideoReadError", "its length of %1 s is longer than any recording")
        .arg(seconds, 0, 'g', 12);
}

std::int64_t saturatedInt64(double value)
{
    // 2^63 is exact as a double; anything at or above it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (std::isnan(value))
        return 0;
    if (value >= limit)
        return std::numeric_limits<std::int64_t>::max();
    if (value < -limit)
        return std::numeric_limits<std::int64_t>::min();
    return std::int64_t(value);
}

bool endsBeforeItsIndex(AVFormatContext *context)
{
    if (!context || !context->pb)
        return false;
    const std::int64_t size = avio_size(context->pb);
    if (size <= 0)
        return false; // not a plain file: nothing to compare with
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        AVStream *stream = context->streams[i];
        const int count = avformat_index_get_entries_count(stream);
        for (int k = 0; k < count; ++k) {
            const AVIndexEntry *entry = avformat_index_get_entry(stream, k);
            if (entry && entry->pos >= 0 && entry->pos + std::max(0, int(entry->size)) > size)
                return true;
        }
    }
    return false;
}

bool mediaFileEndsEarly(const QString &path)
{
    const QString name = libavFileName(path);
    if (name.isEmpty())
        return false;
    int rc = 0;
    const FormatContextPtr context(openInput(name, &rc));
    return context && endsBeforeItsIndex(context.get());
}

QString endsEarlyReason()
{
    return QCoreApplication::translate("VideoReadError",
                                       "the file ends before the data its index lists; it is incomplete or damaged");
}

} // namespace routereel
