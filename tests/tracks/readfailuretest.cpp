// A track file that cannot be read to its end: every reader stops at the first failed read
// and names the system's reason, instead of spinning on the device or taking what it got for
// the whole file.
#include "tracks/gpxparser.h"
#include "tracks/gpxservice.h"
#include "tracks/igcparser.h"
#include "tracks/tcxparser.h"
#include "tracks/utf8textfile.h"

#include "support/slowdisk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace routereel;

namespace {

const QString ioError = QString::fromLocal8Bit(std::strerror(EIO));
// Qt's device and file layers each try once more after a read cut short: a few failed reads,
// where a reader that loops on the failure makes thousands.
constexpr int promptly = 3;

// `count` timed points in the format's own file layout, a few of the XML parser's chunks long.
QByteArray trackFile(const QString &format, int count = 400)
{
    QByteArray b;
    if (format == u"igc") {
        b = "AXXX\r\nHFDTE010523\r\n";
        for (int i = 0; i < count; ++i)
            b += QString::asprintf("B10%02d%02d4700%03dN00800%03dEA0000000400\r\n", i / 60, i % 60, i % 1000, i % 1000).toUtf8();
        return b;
    }
    const bool gpx = format == u"gpx";
    b = gpx ? "<?xml version=\"1.0\"?><gpx version=\"1.1\"><trk><trkseg>\n"
            : "<?xml version=\"1.0\"?><TrainingCenterDatabase><Activities><Activity><Lap><Track>\n";
    for (int i = 0; i < count; ++i) {
        const QString time = QString::asprintf("2023-05-01T10:%02d:%02dZ", i / 60, i % 60);
        const QString lat = QString::asprintf("47.%04d", i), lng = QString::asprintf("8.%04d", i);
        b += (gpx ? QStringLiteral("<trkpt lat=\"%1\" lon=\"%2\"><time>%3</time></trkpt>\n")
                  : QStringLiteral("<Trackpoint><Time>%3</Time><Position><LatitudeDegrees>%1</LatitudeDegrees>"
                                   "<LongitudeDegrees>%2</LongitudeDegrees></Position></Trackpoint>\n"))
                 .arg(lat, lng, time)
                 .toUtf8();
    }
    b += gpx ? "</trkseg></trk></gpx>\n" : "</Track></Lap></Activity></Activities></TrainingCenterDatabase>\n";
    return b;
}

// Random access like a file: reads from `failAt` on fail with EIO, a read that starts before
// stops there as the kernel's does. After `giveUpAfter` failed reads it reports its end, so
// that a reader looping on it ends and is caught by the count.
class FailingDevice : public QIODevice {
public:
    static constexpr int giveUpAfter = 1000;

    FailingDevice(QByteArray data, qint64 failAt) : m_data(std::move(data)), m_failAt(failAt)
    {
        open(QIODevice::ReadOnly);
    }
    qint64 size() const override { return m_data.size(); }
    bool atEnd() const override { return failedReads >= giveUpAfter || QIODevice::atEnd(); }
    bool seek(qint64 to) override
    {
        m_offset = to;
        return QIODevice::seek(to);
    }

    int failedReads = 0;

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_offset >= m_failAt && m_offset < m_data.size()) {
            if (++failedReads >= giveUpAfter)
                return 0;
            setErrorString(ioError);
            return -1;
        }
        const qint64 n = std::min({maxSize, m_failAt - m_offset, m_data.size() - m_offset});
        std::memcpy(data, m_data.constData() + m_offset, std::size_t(std::max<qint64>(n, 0)));
        m_offset += std::max<qint64>(n, 0);
        return std::max<qint64>(n, 0);
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_failAt;
    qint64 m_offset = 0;
};

TrackResult<QList<TrackPoint>> readPoints(const QString &format, QIODevice &device)
{
    if (format == u"gpx")
        return GPXParser().parse(&device);
    if (format == u"tcx")
        return TCXParser().parse(&device);
    auto text = Utf8TextFile::read(device, GPXService::maximumFileSize);
    if (!text)
        return text.error();
    return IGCParser::parse(text.value());
}

} // namespace

TEST(TrackReaders, AFailedReadEndsTheReadWithTheSystemsReason)
{
    for (const QString format : {"gpx", "tcx", "igc"}) {
        const QByteArray content = trackFile(format);
        // Where reads start to fail: at once, mid-file, at the last byte (after the closing tag),
        // and nowhere (the whole file reads).
        for (const qint64 failAt : {qint64(0), content.size() / 2, content.size() - 1, content.size()}) {
            SCOPED_TRACE(QStringLiteral("%1, reads fail from byte %2 of %3").arg(format).arg(failAt).arg(content.size()).toStdString());
            FailingDevice device(content, failAt);
            const auto r = readPoints(format, device);
            if (failAt == content.size()) {
                ASSERT_TRUE(r.ok()) << r.error().message().toStdString();
                EXPECT_EQ(r.value().size(), 400);
                EXPECT_EQ(device.failedReads, 0);
                continue;
            }
            EXPECT_LE(device.failedReads, promptly);
            EXPECT_EQ((r.ok() ? QStringLiteral("%1 points").arg(r.value().size()) : r.error().message()).toStdString(),
                      (QStringLiteral("Cannot read the file: ") + ioError).toStdString());
        }
    }
}

TEST(TrackReaders, TextReadGoesToTheDevicesEndWithinTheBound)
{
    const QByteArray manyChunks = QByteArray(3 * 1024 * 1024 + 5, 'B');
    struct Case {
        QByteArray content;
        qint64 maximumSize;
        bool ok;
    };
    const Case cases[] = {
        {"0123456789", 10, true}, {"0123456789", 9, false}, {"", 0, true}, {manyChunks, manyChunks.size(), true},
        {manyChunks, manyChunks.size() - 1, false},
    };
    for (const Case &c : cases) {
        FailingDevice device(c.content, c.content.size());
        const auto r = Utf8TextFile::read(device, c.maximumSize);
        if (c.ok) {
            EXPECT_TRUE(r.ok() && r.value().toUtf8() == c.content) << c.content.size() << " bytes, bound " << c.maximumSize;
        } else {
            EXPECT_TRUE(!r.ok() && r.error() == TrackLoadError(GPXServiceError::fileTooLarge))
                << c.content.size() << " bytes, bound " << c.maximumSize;
        }
    }
}

// Real files on a disk whose byte range answers EIO (the faulty-disk preload), read the way the
// import and the project open read them. The disk heals after a bounded number of failed reads,
// so a reader that loops on the failure ends, and is caught by the count.
TEST(TrackFilesOnAFaultyDisk, LoadFailsWithTheSystemsReason)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_faultydisk_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this with it)";
    QTemporaryDir dir;
    constexpr long failuresBeforeHealing = 100'000;
    for (const QString format : {"gpx", "tcx", "igc"}) {
        const QByteArray content = trackFile(format, 3000);
        const QString path = dir.filePath(QStringLiteral("ride.") + format);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        struct Range {
            qint64 from, to;
        };
        const qint64 size = content.size();
        for (const Range bad : {Range{0, 4096}, Range{size / 2, size / 2 + 4096}, Range{size - 10, size}}) {
            SCOPED_TRACE(QStringLiteral("%1 of %2 bytes, EIO in [%3, %4)").arg(format).arg(size).arg(bad.from).arg(bad.to).toStdString());
            testsupport::faultydisk::Fault fault(path, bad.from, bad.to, failuresBeforeHealing);
            ASSERT_TRUE(fault.active());
            const long before = testsupport::faultydisk::faultsGiven();
            const auto r = GPXService::loadTrack(QUrl::fromLocalFile(path));
            EXPECT_LE(testsupport::faultydisk::faultsGiven() - before, promptly);
            EXPECT_EQ((r.ok() ? QStringLiteral("%1 points").arg(r.value().trackPoints.size()) : r.error().message()).toStdString(),
                      "Cannot read the file: Input/output error");
        }
        // Healed: the same file loads whole.
        const auto whole = GPXService::loadTrack(QUrl::fromLocalFile(path));
        ASSERT_TRUE(whole.ok()) << whole.error().message().toStdString();
        EXPECT_EQ(whole.value().trackPoints.size(), 3000);
    }
}

// A track whose folder does not answer (a share that dropped out) names the system's reason;
// only a file that is not there is "not found".
TEST(TrackFilesOnAFaultyDisk, AFolderThatDoesNotAnswerIsNoMissingFile)
{
    if (!testsupport::slowdisk::entry<void *>("routereel_outage_set"))
        GTEST_SKIP() << "needs the faulty-disk preload (ctest runs this with it)";
    QTemporaryDir dir;
    const QString folder = dir.filePath("share");
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const QString format : {"gpx", "tcx", "igc"}) {
        const QString path = QDir(folder).filePath(QStringLiteral("ride.") + format);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(trackFile(format)) > 0);
        file.close();
        for (const int error : {EIO, ENOTCONN, ESTALE}) {
            SCOPED_TRACE(QStringLiteral("%1, folder answers %2").arg(format, std::strerror(error)).toStdString());
            testsupport::faultydisk::FolderOutage outage(folder, error);
            ASSERT_TRUE(outage.active());
            const auto r = GPXService::loadTrack(QUrl::fromLocalFile(path));
            EXPECT_EQ((r.ok() ? QStringLiteral("loaded") : r.error().message()).toStdString(),
                      (QStringLiteral("Cannot read the file: ") + QString::fromLocal8Bit(std::strerror(error))).toStdString());
        }
        ASSERT_TRUE(GPXService::loadTrack(QUrl::fromLocalFile(path)).ok());
    }
    for (const QString name : {"gone.gpx", "gone.tcx", "no-folder/gone.gpx"}) {
        const auto r = GPXService::loadTrack(QUrl::fromLocalFile(dir.filePath(name)));
        EXPECT_EQ(r.ok() ? QString() : r.error().message(), "GPX file not found") << name.toStdString();
    }
}
