function renderAndCapture(idx, curLng, curLat, mapLng, mapLat, bearing, z) {
    _setCanvasMargins(0, 0);
    tickFrame(idx, curLng, curLat, mapLng, mapLat, bearing, z);
    return waitForExportIdle(4000, true);
}

// Only fills the tile cache ahead of the captures.
function warmStep(lng, lat, z) {
    map.jumpTo({ center: [lng, lat], zoom: z, bearing: 0 });
    map.redraw();
    if (_drawnCompletely())
        return 'ok';
    return waitForExportIdle(10000, false);
}

// The program can draw the track and the position itself: the page then
// draws only the map, larger than the view by the margins so that the
// program can move within one capture for many frames.
var _trackLayersHidden = false;

function canCaptureBase() {
    return 'yes';
}

function _hideTrackLayers() {
    if (_trackLayersHidden)
        return;
    _trackLayersHidden = true;
    ['full-line', 'vis-line', 'dot-glow', 'dot-core'].forEach(function (id) {
        if (map.getLayer(id))
            map.setLayoutProperty(id, 'visibility', 'none');
    });
}

function _setCanvasMargins(marginX, marginY) {
    var element = map.getContainer();
    var width = (exportViewSize[0] + 2 * marginX) + 'px';
    var height = (exportViewSize[1] + 2 * marginY) + 'px';
    if (element.style.width === width && element.style.height === height)
        return;
    element.style.width = width;
    element.style.height = height;
    map.resize();
}

// Moves the map alone to the view and draws it at once; whether every tile was there.
function _drawBase(mapLng, mapLat, bearing, z, marginX, marginY) {
    _hideTrackLayers();
    _setCanvasMargins(marginX, marginY);
    var camera = { center: [mapLng, mapLat], bearing: bearing };
    if (map.getZoom() !== z)
        camera.zoom = z;
    map.jumpTo(camera);
    map.redraw();
    return _drawnCompletely();
}

function captureBase(mapLng, mapLat, bearing, z, marginX, marginY) {
    if (_drawBase(mapLng, mapLat, bearing, z, marginX, marginY)) {
        try {
            return map.getCanvas().toDataURL('image/png');
        } catch (e) {
            return 'ERR:' + e;
        }
    }
    // Tiles missing: a capture with margins needs more than a frame, so it may wait longer.
    return waitForExportIdle(8000, true);
}

// The same picture as raw pixels (see _readPixels); 'wait' when tiles are
// missing: the program then waits for them.
function captureBasePixels(mapLng, mapLat, bearing, z, marginX, marginY) {
    if (!_drawBase(mapLng, mapLat, bearing, z, marginX, marginY))
        return 'wait';
    return _readPixels();
}

// Whether the map draws only raster images, which MapLibre puts on whole pixels.
function baseIsRaster() {
    var style = map.getStyle();
    var drawn = ((style && style.layers) || []).filter(function (layer) {
        return ['full-line', 'vis-line', 'dot-glow', 'dot-core'].indexOf(layer.id) < 0
            && !(layer.layout && layer.layout.visibility === 'none');
    });
    return drawn.every(function (layer) {
        return layer.type === 'raster' || layer.type === 'background' || layer.type === 'symbol';
    }) ? 'yes' : 'no';
}
