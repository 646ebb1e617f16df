// Export pages: wait until every tile and label of the view is drawn, then
// read the canvas (kept by preserveDrawingBuffer) as a PNG data URL.
function waitForExportIdle(timeout, capture) {
    return new Promise(function (resolve) {
        var finished = false;
        var timer = null;
        function finish(error) {
            if (finished)
                return;
            finished = true;
            map.off('idle', onIdle);
            clearTimeout(timer);
            if (error) {
                resolve('ERR:' + error);
                return;
            }
            if (!capture) {
                resolve('ok');
                return;
            }
            try {
                resolve(map.getCanvas().toDataURL('image/png'));
            } catch (e) {
                resolve('ERR:' + e);
            }
        }
        // A microtask lets the other 'idle' listeners of this round run first;
        // a language change may mark the map dirty again.
        function onIdle() {
            queueMicrotask(function () {
                if (map.loaded())
                    finish(null);
            });
        }
        map.on('idle', onIdle);
        timer = setTimeout(function () { finish('map idle timeout'); }, timeout);
        map.triggerRepaint();
    });
}

// Whether the picture just drawn is complete: nothing loading, nothing left to place.
function _drawnCompletely() {
    return map.loaded() && !map.isMoving() && !map._sourcesDirty && !map._styleDirty && !map._placementDirty;
}

// The canvas as raw pixels, with no PNG to encode: RGBA rows bottom up,
// premultiplied, then the width and height as little-endian 32-bit words;
// 'wait' when the drawing context is lost. The buffer is kept for the next
// capture; the program gets a copy.
var _pixelBuffer = null;

function _readPixels() {
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

// Every paint property eases in from its default over the style's transition
// (300 ms) when its layer first draws, and raster tiles fade in over 300 ms:
// an export page waits only for the finished picture, so it takes the final
// values at once. Set as soon as the style is there, before its first tiles
// arrive: a tile that arrived earlier would still fade.
map.on('style.load', function () {
    if (map.style && map.style.stylesheet)
        map.style.stylesheet.transition = { duration: 0, delay: 0 };
    var style = map.getStyle();
    ((style && style.layers) || []).forEach(function (layer) {
        if (layer.type === 'raster')
            map.setPaintProperty(layer.id, 'raster-fade-duration', 0);
    });
});
