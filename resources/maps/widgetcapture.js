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

// Whether the picture just drawn is complete: nothing loading, nothing left to place.
function _drawnCompletely() {
    return map.loaded() && !map.isMoving() && !map._sourcesDirty && !map._styleDirty && !map._placementDirty;
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

// The same picture as raw pixels, with no PNG to encode: RGBA rows bottom up,
// premultiplied, then the width and height as little-endian 32-bit words.
// 'wait' when tiles are missing: captureBase then waits for them. The buffer
// is kept for the next capture; the program gets a copy.
var _pixelBuffer = null;

function captureBasePixels(mapLng, mapLat, bearing, z, marginX, marginY) {
    if (!_drawBase(mapLng, mapLat, bearing, z, marginX, marginY))
        return 'wait';
    var gl = map.painter.context.gl;
    if (gl.isContextLost())
        return 'wait';
    var width = gl.drawingBufferWidth;
    var height = gl.drawingBufferHeight;
    var size = width * height * 4;
    if (!_pixelBuffer || _pixelBuffer.length !== size + 8)
        _pixelBuffer = new Uint8Array(size + 8);
    gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, _pixelBuffer.subarray(0, size));
    var tail = new DataView(_pixelBuffer.buffer, size, 8);
    tail.setUint32(0, width, true);
    tail.setUint32(4, height, true);
    return _pixelBuffer;
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
