// The whole track ('full'), the travelled part ('vis') and the position ('dot').
var _fullTrack = [];
var _trackStarts = [];
var _trackFeatures = [];

// Consecutive points never jump across the antimeridian.
function _unwrapLongitudes(coords) {
    var out = [];
    for (var i = 0; i < coords.length; i++) {
        var lng = coords[i][0];
        if (i > 0) {
            var previous = out[i - 1][0];
            lng += 360 * Math.round((previous - lng) / 360);
        }
        out.push([lng, coords[i][1]]);
    }
    return out;
}

function _polylineStarts(breaks, count) {
    if (count === 0)
        return [];
    var starts = [0];
    (breaks || []).forEach(function (b) {
        if (Number.isInteger(b) && b > 0 && b < count && starts.indexOf(b) < 0)
            starts.push(b);
    });
    starts.sort(function (a, b) { return a - b; });
    return starts;
}

function updateTrack(coords, breaks) {
    coords = coords || [];
    _fullTrack = _unwrapLongitudes(coords);
    _trackStarts = _polylineStarts(breaks || [], _fullTrack.length);
    _trackFeatures = _trackStarts.map(function (start, i) {
        var end = i + 1 < _trackStarts.length ? _trackStarts[i + 1] : _fullTrack.length;
        var points = _fullTrack.slice(start, end);
        return points.length >= 2 ? _lineFeature(points) : null;
    });
    _setSourceData('full', _collection(_trackFeatures.filter(Boolean)));
    _setSourceData('vis', _emptyCollection());
    _setSourceData('dot', _emptyCollection());
    if (coords.length > 0)
        map.setCenter([coords[0][0], coords[0][1]]);
}

// Index into _trackStarts of the last polyline start not above idx.
function _activePolyline(idx) {
    var lo = 0;
    var hi = _trackStarts.length - 1;
    while (lo < hi) {
        var mid = (lo + hi + 1) >> 1;
        if (_trackStarts[mid] <= idx)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

// idx is the first point not yet reached: the line ends at the current position.
function updateProgress(idx, curLng, curLat) {
    if (!map.getSource('vis'))
        return;
    if (!Number.isInteger(idx) || idx < 0 || idx >= _fullTrack.length) {
        _setSourceData('vis', _emptyCollection());
        return;
    }
    var active = _activePolyline(idx);
    var features = _trackFeatures.slice(0, active).filter(Boolean);
    var points = _fullTrack.slice(_trackStarts[active], idx);
    var reference = _fullTrack[idx][0];
    var lng = curLng + 360 * Math.round((reference - curLng) / 360);
    points.push([lng, curLat]);
    if (points.length >= 2)
        features.push(_lineFeature(points));
    _setSourceData('vis', _collection(features));
}
