// Animation frames of an export page come from the program, one batch per
// native tick, because an off-screen view gets no display-driven frames.
(function () {
    var callbacks = new Map();
    var nextId = 1;
    var scheduled = false;
    window.requestAnimationFrame = function (callback) {
        var id = nextId++;
        callbacks.set(id, callback);
        if (!scheduled) {
            scheduled = true;
            window.routereelPost('exportAnimationFrame', null);
        }
        return id;
    };
    window.cancelAnimationFrame = function (id) {
        callbacks.delete(id);
    };
    window.__gpxExportAnimationFrame = function () {
        scheduled = false;
        var ids = Array.from(callbacks.keys());
        var now = performance.now();
        ids.forEach(function (id) {
            var callback = callbacks.get(id);
            if (!callback)
                return;  // cancelled by an earlier callback of this batch
            callbacks.delete(id);
            try {
                callback(now);
            } catch (e) {
                console.error(e);
            }
        });
    };
})();
