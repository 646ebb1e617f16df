// GeoJSON values and source updates shared by the map pages.
function _emptyCollection() {
    return { type: 'FeatureCollection', features: [] };
}

function _collection(features) {
    return { type: 'FeatureCollection', features: features };
}

function _lineFeature(coords) {
    return { type: 'Feature', properties: {}, geometry: { type: 'LineString', coordinates: coords } };
}

function _pointCollection(lng, lat) {
    return _collection([{ type: 'Feature', properties: {}, geometry: { type: 'Point', coordinates: [lng, lat] } }]);
}

function _setSourceData(id, data) {
    var source = map.getSource(id);
    if (source)
        source.setData(data);
}

