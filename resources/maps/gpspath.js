// GPS path page: the whole route and a position dot.
var _ready = false;

map.on('load', function () {
    map.addSource('path', { type: 'geojson', data: _emptyCollection() });
    map.addLayer({ id: 'path-line', type: 'line', source: 'path',
                   layout: { 'line-cap': 'round', 'line-join': 'round' },
                   paint: { 'line-color': '#00D4FF', 'line-width': 2.5, 'line-opacity': 0.9 } });
    map.addSource('dot', { type: 'geojson', data: _emptyCollection() });
    map.addLayer({ id: 'dot-glow', type: 'circle', source: 'dot',
                   paint: { 'circle-radius': 9, 'circle-color': '#FF3B30', 'circle-opacity': 0.35, 'circle-blur': 0.7 } });
    map.addLayer({ id: 'dot-core', type: 'circle', source: 'dot',
                   paint: { 'circle-radius': 5, 'circle-color': '#FF3B30',
                            'circle-stroke-color': '#FFFFFF', 'circle-stroke-width': 1.5 } });
    _ready = true;
    routereelPost('pathMapReady', 'ok');
});

function initPathMap(fc, centerLng, centerLat, zoom) {
    if (!_ready) {
        map.once('idle', function () { initPathMap(fc, centerLng, centerLat, zoom); });
        return;
    }
    _setSourceData('path', fc);
    map.jumpTo({ center: [centerLng, centerLat], zoom: zoom, bearing: 0, pitch: 0 });
}

function clearPathMap() {
    if (!_ready)
        return;
    _setSourceData('path', _emptyCollection());
    _setSourceData('dot', _emptyCollection());
}

function setMarker(lng, lat) {
    if (!_ready)
        return;
    _setSourceData('dot', _pointCollection(lng, lat));
}
