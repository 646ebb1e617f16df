// Mapbox map widget page: the position is a page element, not a layer.
var marker = null;

map.on('load', function () {
    map.addSource('full', { type: 'geojson', data: _emptyCollection() });
    map.addLayer({ id: 'full-line', type: 'line', source: 'full',
                   paint: { 'line-color': '#4A90D9', 'line-width': 2, 'line-opacity': 0.3 } });
    map.addSource('vis', { type: 'geojson', data: _emptyCollection() });
    map.addLayer({ id: 'vis-line', type: 'line', source: 'vis',
                   paint: { 'line-color': '#00D4FF', 'line-width': 3, 'line-opacity': 0.9 } });
    routereelPost('mapReady', 'ok');
});

function updateCurrentPosition(lng, lat) {
    map.setCenter([lng, lat]);
    if (marker) {
        marker.setLngLat([lng, lat]);
        return;
    }
    var el = document.createElement('div');
    el.style.width = '14px';
    el.style.height = '14px';
    el.style.borderRadius = '50%';
    el.style.background = '#FF3B30';
    el.style.border = '2px solid white';
    el.style.boxShadow = '0 0 10px rgba(255,59,48,.6)';
    marker = new mapboxgl.Marker({ element: el }).setLngLat([lng, lat]).addTo(map);
}

function updateBearing(deg) {
    map.setBearing(deg);
}

function updateZoom(z) {
    if (map.getZoom() !== z)
        map.setZoom(z);
}

function setMapLanguage(lang) {
    if (!map.isStyleLoaded()) {
        map.once('idle', function () { setMapLanguage(lang); });
        return;
    }
    var expression = ['coalesce', ['get', 'name:' + lang], ['get', 'name_' + lang], ['get', 'name:en'], ['get', 'name']];
    var style = map.getStyle();
    ((style && style.layers) || []).forEach(function (layer) {
        if (layer.type === 'symbol' && layer.layout && layer.layout['text-field'] !== undefined)
            map.setLayoutProperty(layer.id, 'text-field', expression);
    });
    map.triggerRepaint();
}

function tickFrame(idx, curLng, curLat, mapLng, mapLat, bearing, z) {
    updateProgress(idx, curLng, curLat);
    if (marker)
        marker.setLngLat([curLng, curLat]);
    else
        updateCurrentPosition(curLng, curLat);
    map.setCenter([mapLng, mapLat]);
    updateBearing(bearing);
    updateZoom(z);
}
