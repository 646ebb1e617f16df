#include "projectdocument.h"

#include "jsonnode.h"
#include "strictjsonreader.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace routereel {

namespace {

// ---- reading, fields in table order ----

VideoFileRef readVideoFile(StrictJsonReader &r)
{
    VideoFileRef ref;
    ref.id = r.uuid(QStringLiteral("id"));
    ref.path = r.string(QStringLiteral("path"));
    ref.bookmark = r.optionalString(QStringLiteral("bookmark"));
    return ref;
}

VideoSegment readVideoSegment(StrictJsonReader &r)
{
    VideoSegment segment;
    segment.id = r.uuid(QStringLiteral("id"));
    segment.sourceID = r.uuid(QStringLiteral("sourceID"));
    segment.sourceStart = r.number(QStringLiteral("sourceStart"));
    segment.sourceEnd = r.number(QStringLiteral("sourceEnd"));
    segment.offset = r.number(QStringLiteral("offset"));
    return segment;
}

GPXFileRef readGPXFile(StrictJsonReader &r)
{
    GPXFileRef ref;
    ref.path = r.string(QStringLiteral("path"));
    ref.bookmark = r.optionalString(QStringLiteral("bookmark"));
    ref.trackID = r.string(QStringLiteral("trackID"));
    return ref;
}

SegmentData readSegment(StrictJsonReader &r)
{
    SegmentData segment;
    segment.id = r.string(QStringLiteral("id"));
    segment.trackID = r.string(QStringLiteral("trackID"));
    segment.gpxStart = r.number(QStringLiteral("gpxStart"));
    segment.gpxEnd = r.number(QStringLiteral("gpxEnd"));
    segment.offset = r.number(QStringLiteral("offset"));
    return segment;
}

MapData readMap(StrictJsonReader &r)
{
    MapData map;
    map.enabled = r.optionalBoolean(QStringLiteral("enabled"));
    map.provider = r.string(QStringLiteral("provider"));
    map.mapboxToken = r.optionalString(QStringLiteral("mapboxToken"));
    map.shape = r.string(QStringLiteral("shape"));
    map.borderStyle = r.optionalString(QStringLiteral("borderStyle"));
    map.width = r.number(QStringLiteral("width"));
    map.height = r.number(QStringLiteral("height"));
    map.cornerRadius = r.number(QStringLiteral("cornerRadius"));
    map.orientation = r.string(QStringLiteral("orientation"));
    map.zoomLevel = r.integer(QStringLiteral("zoomLevel"));
    map.opacity = r.number(QStringLiteral("opacity"));
    map.positionX = r.optionalNumber(QStringLiteral("positionX"));
    map.positionY = r.optionalNumber(QStringLiteral("positionY"));
    return map;
}

TimeWidgetData readTimeWidget(StrictJsonReader &r)
{
    TimeWidgetData w;
    w.enabled = r.boolean(QStringLiteral("enabled"));
    w.fontSize = r.number(QStringLiteral("fontSize"));
    w.opacity = r.number(QStringLiteral("opacity"));
    w.textColor = r.string(QStringLiteral("textColor"));
    w.positionX = r.optionalNumber(QStringLiteral("positionX"));
    w.positionY = r.optionalNumber(QStringLiteral("positionY"));
    return w;
}

SpeedWidgetData readSpeedWidget(StrictJsonReader &r)
{
    SpeedWidgetData w;
    w.enabled = r.boolean(QStringLiteral("enabled"));
    w.fontSize = r.number(QStringLiteral("fontSize"));
    w.opacity = r.number(QStringLiteral("opacity"));
    w.textColor = r.string(QStringLiteral("textColor"));
    w.unit = r.string(QStringLiteral("unit"));
    w.positionX = r.optionalNumber(QStringLiteral("positionX"));
    w.positionY = r.optionalNumber(QStringLiteral("positionY"));
    return w;
}

GPSPathWidgetData readGPSPathWidget(StrictJsonReader &r)
{
    GPSPathWidgetData w;
    w.enabled = r.boolean(QStringLiteral("enabled"));
    w.width = r.number(QStringLiteral("width"));
    w.opacity = r.number(QStringLiteral("opacity"));
    w.showMap = r.boolean(QStringLiteral("showMap"));
    w.padding = r.number(QStringLiteral("padding"));
    w.borderStyle = r.optionalString(QStringLiteral("borderStyle"));
    w.positionX = r.optionalNumber(QStringLiteral("positionX"));
    w.positionY = r.optionalNumber(QStringLiteral("positionY"));
    return w;
}

HeartRateGraphWidgetData readHeartRateGraphWidget(StrictJsonReader &r)
{
    HeartRateGraphWidgetData w;
    w.enabled = r.boolean(QStringLiteral("enabled"));
    w.width = r.number(QStringLiteral("width"));
    w.height = r.number(QStringLiteral("height"));
    w.opacity = r.number(QStringLiteral("opacity"));
    w.lineColor = r.string(QStringLiteral("lineColor"));
    w.positionX = r.optionalNumber(QStringLiteral("positionX"));
    w.positionY = r.optionalNumber(QStringLiteral("positionY"));
    return w;
}

HeartRateWidgetData readHeartRateWidget(StrictJsonReader &r)
{
    HeartRateWidgetData w;
    w.enabled = r.boolean(QStringLiteral("enabled"));
    w.fontSize = r.number(QStringLiteral("fontSize"));
    w.opacity = r.number(QStringLiteral("opacity"));
    w.textColor = r.string(QStringLiteral("textColor"));
    w.positionX = r.optionalNumber(QStringLiteral("positionX"));
    w.positionY = r.optionalNumber(QStringLiteral("positionY"));
    w.showIcon = r.optionalBoolean(QStringLiteral("showIcon"));
    w.showMinMax = r.optionalBoolean(QStringLiteral("showMinMax"));
    return w;
}

ProjectDocument readDocument(StrictJsonReader &r)
{
    ProjectDocument d;
    d.version = r.integer(QStringLiteral("version"));
    d.videoPath = r.optionalString(QStringLiteral("videoPath"));
    d.videoBookmark = r.optionalString(QStringLiteral("videoBookmark"));
    d.videoFiles = r.optionalObjectList(QStringLiteral("videoFiles"), readVideoFile);
    d.videoSegments = r.optionalObjectList(QStringLiteral("videoSegments"), readVideoSegment);
    d.gpxFiles = r.objectList(QStringLiteral("gpxFiles"), readGPXFile);
    d.segments = r.objectList(QStringLiteral("segments"), readSegment);
    d.map = r.object(QStringLiteral("map"), readMap);
    d.timeWidget = r.object(QStringLiteral("timeWidget"), readTimeWidget);
    d.speedWidget = r.object(QStringLiteral("speedWidget"), readSpeedWidget);
    d.gpsPathWidget = r.optionalObject(QStringLiteral("gpsPathWidget"), readGPSPathWidget);
    d.heartRateWidget = r.optionalObject(QStringLiteral("heartRateWidget"), readHeartRateWidget);
    d.heartRateGraphWidget = r.optionalObject(QStringLiteral("heartRateGraphWidget"), readHeartRateGraphWidget);
    d.playheadTime = r.number(QStringLiteral("playheadTime"));
    d.exportPreset = r.string(QStringLiteral("exportPreset"));
    d.exportCompressionFactor = r.optionalNumber(QStringLiteral("exportCompressionFactor"));
    d.compositionMode = r.optionalString(QStringLiteral("compositionMode"));
    d.canvasOrigin = r.optionalSize(QStringLiteral("canvasOrigin"));
    d.widgetLayoutSize = r.optionalSize(QStringLiteral("widgetLayoutSize"));
    return d;
}

// ---- writing: required fields always, optional ones only when present ----

void put(JsonNode &object, const char *key, JsonNode value)
{
    object.insert(QString::fromLatin1(key), std::move(value));
}

void putNumber(JsonNode &object, const char *key, double value)
{
    put(object, key, JsonNode::number(value));
}

void putNumber(JsonNode &object, const char *key, const std::optional<double> &value)
{
    if (value)
        put(object, key, JsonNode::number(*value));
}

void putString(JsonNode &object, const char *key, const QString &value)
{
    put(object, key, JsonNode::string(value));
}

void putString(JsonNode &object, const char *key, const std::optional<QString> &value)
{
    if (value)
        put(object, key, JsonNode::string(*value));
}

void putBool(JsonNode &object, const char *key, bool value)
{
    put(object, key, JsonNode::boolean(value));
}

void putBool(JsonNode &object, const char *key, const std::optional<bool> &value)
{
    if (value)
        put(object, key, JsonNode::boolean(*value));
}

void putSize(JsonNode &object, const char *key, const std::optional<QSizeF> &value)
{
    if (!value)
        return;
    JsonNode pair = JsonNode::array();
    pair.append(JsonNode::number(value->width()));
    pair.append(JsonNode::number(value->height()));
    put(object, key, std::move(pair));
}

template <typename T, typename Write>
JsonNode listNode(const QList<T> &items, Write write)
{
    JsonNode list = JsonNode::array();
    for (const T &item : items)
        list.append(write(item));
    return list;
}

JsonNode videoFileNode(const VideoFileRef &ref)
{
    JsonNode o = JsonNode::object();
    putString(o, "id", ProjectDocument::uuidText(ref.id));
    putString(o, "path", ref.path);
    putString(o, "bookmark", ref.bookmark);
    return o;
}

JsonNode videoSegmentNode(const VideoSegment &segment)
{
    JsonNode o = JsonNode::object();
    putString(o, "id", ProjectDocument::uuidText(segment.id));
    putString(o, "sourceID", ProjectDocument::uuidText(segment.sourceID));
    putNumber(o, "sourceStart", segment.sourceStart);
    putNumber(o, "sourceEnd", segment.sourceEnd);
    putNumber(o, "offset", segment.offset);
    return o;
}

JsonNode gpxFileNode(const GPXFileRef &ref)
{
    JsonNode o = JsonNode::object();
    putString(o, "path", ref.path);
    putString(o, "bookmark", ref.bookmark);
    putString(o, "trackID", ref.trackID);
    return o;
}

JsonNode segmentNode(const SegmentData &segment)
{
    JsonNode o = JsonNode::object();
    putString(o, "id", segment.id);
    putString(o, "trackID", segment.trackID);
    putNumber(o, "gpxStart", segment.gpxStart);
    putNumber(o, "gpxEnd", segment.gpxEnd);
    putNumber(o, "offset", segment.offset);
    return o;
}

JsonNode mapNode(const MapData &map)
{
    JsonNode o = JsonNode::object();
    putBool(o, "enabled", map.enabled);
    putString(o, "provider", map.provider);
    putString(o, "mapboxToken", map.mapboxToken);
    putString(o, "shape", map.shape);
    putString(o, "borderStyle", map.borderStyle);
    putNumber(o, "width", map.width);
    putNumber(o, "height", map.height);
    putNumber(o, "cornerRadius", map.cornerRadius);
    putString(o, "orientation", map.orientation);
    put(o, "zoomLevel", JsonNode::integer(map.zoomLevel));
    putNumber(o, "opacity", map.opacity);
    putNumber(o, "positionX", map.positionX);
    putNumber(o, "positionY", map.positionY);
    return o;
}

JsonNode timeWidgetNode(const TimeWidgetData &w)
{
    JsonNode o = JsonNode::object();
    putBool(o, "enabled", w.enabled);
    putNumber(o, "fontSize", w.fontSize);
    putNumber(o, "opacity", w.opacity);
    putString(o, "textColor", w.textColor);
    putNumber(o, "positionX", w.positionX);
    putNumber(o, "positionY", w.positionY);
    return o;
}

JsonNode speedWidgetNode(const SpeedWidgetData &w)
{
    JsonNode o = JsonNode::object();
    putBool(o, "enabled", w.enabled);
    putNumber(o, "fontSize", w.fontSize);
    putNumber(o, "opacity", w.opacity);
    putString(o, "textColor", w.textColor);
    putString(o, "unit", w.unit);
    putNumber(o, "positionX", w.positionX);
    putNumber(o, "positionY", w.positionY);
    return o;
}

JsonNode gpsPathWidgetNode(const GPSPathWidgetData &w)
{
    JsonNode o = JsonNode::object();
    putBool(o, "enabled", w.enabled);
    putNumber(o, "width", w.width);
    putNumber(o, "opacity", w.opacity);
    putBool(o, "showMap", w.showMap);
    putNumber(o, "padding", w.padding);
    putString(o, "borderStyle", w.borderStyle);
    putNumber(o, "positionX", w.positionX);
    putNumber(o, "positionY", w.positionY);
    return o;
}

JsonNode heartRateGraphWidgetNode(const HeartRateGraphWidgetData &w)
{
    JsonNode o = JsonNode::object();
    putBool(o, "enabled", w.enabled);
    putNumber(o, "width", w.width);
    putNumber(o, "height", w.height);
    putNumber(o, "opacity", w.opacity);
    putString(o, "lineColor", w.lineColor);
    putNumber(o, "positionX", w.positionX);
    putNumber(o, "positionY", w.positionY);
    return o;
}

JsonNode heartRateWidgetNode(const HeartRateWidgetData &w)
{
    JsonNode o = JsonNode::object();
    putBool(o, "enabled", w.enabled);
    putNumber(o, "fontSize", w.fontSize);
    putNumber(o, "opacity", w.opacity);
    putString(o, "textColor", w.textColor);
    putNumber(o, "positionX", w.positionX);
    putNumber(o, "positionY", w.positionY);
    putBool(o, "showIcon", w.showIcon);
    putBool(o, "showMinMax", w.showMinMax);
    return o;
}

JsonNode documentNode(const ProjectDocument &d)
{
    JsonNode o = JsonNode::object();
    put(o, "version", JsonNode::integer(d.version));
    putString(o, "videoPath", d.videoPath);
    putString(o, "videoBookmark", d.videoBookmark);
    if (d.videoFiles)
        put(o, "videoFiles", listNode(*d.videoFiles, videoFileNode));
    if (d.videoSegments)
        put(o, "videoSegments", listNode(*d.videoSegments, videoSegmentNode));
    put(o, "gpxFiles", listNode(d.gpxFiles, gpxFileNode));
    put(o, "segments", listNode(d.segments, segmentNode));
    put(o, "map", mapNode(d.map));
    put(o, "timeWidget", timeWidgetNode(d.timeWidget));
    put(o, "speedWidget", speedWidgetNode(d.speedWidget));
    if (d.gpsPathWidget)
        put(o, "gpsPathWidget", gpsPathWidgetNode(*d.gpsPathWidget));
    if (d.heartRateWidget)
        put(o, "heartRateWidget", heartRateWidgetNode(*d.heartRateWidget));
    if (d.heartRateGraphWidget)
        put(o, "heartRateGraphWidget", heartRateGraphWidgetNode(*d.heartRateGraphWidget));
    putNumber(o, "playheadTime", d.playheadTime);
    putString(o, "exportPreset", d.exportPreset);
    putNumber(o, "exportCompressionFactor", d.exportCompressionFactor);
    putString(o, "compositionMode", d.compositionMode);
    putSize(o, "canvasOrigin", d.canvasOrigin);
    putSize(o, "widgetLayoutSize", d.widgetLayoutSize);
    return o;
}

} // namespace

std::optional<ProjectDocument> ProjectDocument::decode(const QByteArray &json, ProjectCodingError *error)
{
    QJsonParseError parseError;
    const QJsonDocument parsed = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        ProjectCodingError fault;
        // A lone number or text is JSON too, only not an object; Qt refuses it
        // as unparsable, so tell the two apart for a truthful message.
        const QJsonDocument wrapped = QJsonDocument::fromJson('[' + json + ']');
        if (wrapped.isArray() && wrapped.array().size() == 1) {
            fault.kind = ProjectCodingError::Kind::typeMismatch;
        } else {
            fault.kind = ProjectCodingError::Kind::notJSON;
            fault.parserMessage = parseError.errorString();
            fault.offset = parseError.offset;
        }
        if (error)
            *error = fault;
        return std::nullopt;
    }
    const QJsonValue root = parsed.isObject() ? QJsonValue(parsed.object()) : QJsonValue(parsed.array());
    StrictJsonReader reader(root);
    ProjectDocument document = reader.failed() ? ProjectDocument() : readDocument(reader);
    if (reader.failed()) {
        if (error)
            *error = *reader.fault();
        return std::nullopt;
    }
    return document;
}

std::optional<QByteArray> ProjectDocument::encode(Style style, ProjectCodingError *error) const
{
    QString nonFinitePath;
    const auto bytes = style == Style::saved
        ? documentNode(*this).serialize(JsonNode::Format::indented, JsonNode::KeyOrder::sorted, &nonFinitePath)
        : documentNode(*this).serialize(JsonNode::Format::compact, JsonNode::KeyOrder::asInserted, &nonFinitePath);
    if (!bytes && error) {
        error->kind = ProjectCodingError::Kind::invalidValue;
        error->path = nonFinitePath;
    }
    return bytes;
}

QString ProjectDocument::uuidText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

} // namespace routereel
