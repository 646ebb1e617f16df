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
