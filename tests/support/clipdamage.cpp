#include "clipdamage.h"

#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

#include <random>

namespace testsupport {

namespace {

struct Span {
    qsizetype at = -1; // the box's first byte
    qsizetype size = 0;
};

// A top-level box (32 or 64-bit size).
Span topBox(const QByteArray &data, const char *type)
{
    for (qsizetype at = 0; at + 8 <= data.size();) {
        qint64 size = qFromBigEndian<quint32>(data.constData() + at);
        if (size == 1 && at + 16 <= data.size())
            size = qint64(qFromBigEndian<quint64>(data.constData() + at + 8));
        else if (size == 0)
            size = data.size() - at;
        if (size < 8)
            return {};
        if (data.mid(at + 4, 4) == type)
            return {at, qsizetype(size)};
        at += qsizetype(size);
    }
    return {};
}

// The first box of `type` anywhere inside `within`: these types occur once in a
// clip ffmpeg writes with one picture and one sound track.
Span innerBox(const QByteArray &data, Span within, const char *type)
{
    const qsizetype found = data.indexOf(type, within.at + 8);
    if (found < 4 || found >= within.at + within.size)
        return {};
    return {found - 4, qsizetype(qFromBigEndian<quint32>(data.constData() + found - 4))};
}

// An MPEG-4 descriptor's length (1 to 4 bytes of 7 bits); moves `at` past it.
int descriptorLength(const QByteArray &data, qsizetype &at)
{
    int length = 0;
    for (int i = 0; i < 4 && at < data.size(); ++i) {
        const auto byte = quint8(data[at++]);
        length = length << 7 | (byte & 0x7f);
        if (!(byte & 0x80))
            break;
    }
    return length;
}

// The AAC AudioSpecificConfig's first byte in an esds box: ES descriptor (tag 3),
// decoder configuration (tag 4), decoder-specific information (tag 5).
qsizetype soundConfig(const QByteArray &data, Span esds)
{
    qsizetype at = esds.at + 12;
    if (quint8(data[at++]) != 0x03)
        return -1;
    descriptorLength(data, at);
    const auto flags = quint8(data[at + 2]);
    at += 3 + ((flags & 0x80) ? 2 : 0) + ((flags & 0x20) ? 2 : 0);
    if ((flags & 0x40) && at < data.size())
        at += 1 + quint8(data[at]);
    if (quint8(data[at++]) != 0x04)
        return -1;
    descriptorLength(data, at);
    at += 13;
    if (quint8(data[at++]) != 0x05)
        return -1;
    descriptorLength(data, at);
    return at < esds.at + esds.size ? at : -1;
}

// A stretch of [from, to) drawn at random, `shortest` to `longest` bytes long.
std::pair<qsizetype, qsizetype> stretch(std::mt19937 &random, qsizetype from, qsizetype to, qsizetype shortest,
                                        qsizetype longest)
{
    const qsizetype length = std::min(to - from, std::uniform_int_distribution<qsizetype>(shortest, longest)(random));
    const qsizetype at = std::uniform_int_distribution<qsizetype>(from, to - length)(random);
    return {at, length};
}

} // namespace

bool damageCopy(const QString &clip, const QString &to, Damage damage, unsigned seed)
{
    QFile in(clip);
    if (!in.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << clip.toStdString();
        return false;
    }
    QByteArray data = in.readAll();
    std::mt19937 random(seed);
    const Span moov = topBox(data, "moov"), mdat = topBox(data, "mdat");
    if (moov.at < 0 || mdat.at < 0) {
        ADD_FAILURE() << "no movie or media box in " << clip.toStdString();
        return false;
    }
    const qsizetype media = mdat.at + (qFromBigEndian<quint32>(data.constData() + mdat.at) == 1 ? 16 : 8);
    bool done = true;
    switch (damage) {
    case Damage::zeroedMedia:
        data.replace(media, mdat.at + mdat.size - media, QByteArray(mdat.at + mdat.size - media, '\0'));
        break;
    case Damage::noKeyframe: {
        // Every sync sample named past the last one: the index flags none.
        const Span stss = innerBox(data, moov, "stss");
        done = stss.at >= 0;
        for (qsizetype at = stss.at + 16; done && at + 4 <= stss.at + stss.size; at += 4)
            qToBigEndian<quint32>(0x7fffffff, data.data() + at);
        break;
    }
    case Damage::unknownDepth: {
        // The depth field of the visual sample entry.
        const Span entry = innerBox(data, moov, "raw ");
        done = entry.at >= 0;
        if (done)
            qToBigEndian<quint16>(13, data.data() + entry.at + 82);
        break;
    }
    case Damage::unknownSoundType: {
        const Span esds = innerBox(data, moov, "esds");
        const qsizetype config = esds.at >= 0 ? soundConfig(data, esds) : -1;
        done = config >= 0;
        if (done)
            data[config] = char(8 << 3 | (quint8(data[config]) & 0x07));
        break;
    }
    case Damage::truncated:
        data.truncate(std::uniform_int_distribution<qsizetype>(data.size() / 10, data.size() - 1)(random));
        break;
    case Damage::zeroedIndexPart: {
        const auto [at, length] = stretch(random, moov.at + 8, moov.at + moov.size, 16, 256);
        data.replace(at, length, QByteArray(length, '\0'));
        break;
    }
    case Damage::garbageInMedia: {
        const auto [at, length] = stretch(random, media, mdat.at + mdat.size, 1024, 4096);
        for (qsizetype i = at; i < at + length; ++i)
            data[i] = char(random());
        break;
    }
    }
    if (!done) {
        ADD_FAILURE() << "no box to damage in " << clip.toStdString();
        return false;
    }
    QFile out(to);
    return out.open(QIODevice::WriteOnly) && out.write(data) == data.size();
}

std::pair<qint64, qint64> indexBytes(const QString &clip)
{
    QFile file(clip);
    if (!file.open(QIODevice::ReadOnly))
        return {0, 0};
    const Span index = topBox(file.readAll(), "moov");
    return index.at < 0 ? std::pair<qint64, qint64>{0, 0} : std::pair<qint64, qint64>{index.at, index.at + index.size};
}

} // namespace testsupport
