// Map widget page: track layers and the position dot, which is part of the
// canvas (so it is captured) and stays empty until the first tick.
map.on('load', function () {
    map.addSource('full', { type: 'geojson', data: _emptyCollection() });
    map.addLayer({ id: 'full-line', type: 'line', source: 'full',
                   paint: { 'line-color': '#4A90D9', 'line-width': 2, 'line-opacity': 0.3 } });
    map.addSource('vis', { type: 'geojson', data: _emptyCollection() });
    map.addLayer({ id: 'vis-line', type: 'line', source: 'vis',
                   paint: { 'line-color': '#00D4FF', 'line-width': 3, 'line-opacity': 0.9 } });
    map.addSource('dot', { type: 'geojson', data: _emptyCollection() });
    map.addLayer({ id: 'dot-glow', type: 'circle', source: 'dot',
                   paint: { 'circle-radius': 12, 'circle-color': '#FF3B30', 'circle-opacity': 0.5, 'circle-blur': 0.9 } });
    map.addLayer({ id: 'dot-core', type: 'circle', source: 'dot',
                   paint: { 'circle-radius': 7, 'circle-color': '#FF3B30',
                            'circle-stroke-color': '#FFFFFF', 'circle-stroke-width': 2 } });
    routereelPost('mapReady', 'ok');
});

function tickFrame(idx, curLng, curLat, mapLng, mapLat, bearing, z) {
    updateProgress(idx, curLng, curLat);
    _setSourceData('dot', _pointCollection(curLng, curLat));
    var camera = { center: [mapLng, mapLat], bearing: bearing };
    if (map.getZoom() !== z)
        camera.zoom = z;
    map.jumpTo(camera);
}
