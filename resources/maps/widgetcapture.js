function renderAndCapture(idx, curLng, curLat, mapLng, mapLat, bearing, z) {
    tickFrame(idx, curLng, curLat, mapLng, mapLat, bearing, z);
    return waitForExportIdle(4000, true);
}

// Only fills the tile cache ahead of the captures.
function warmStep(lng, lat, z) {
    map.jumpTo({ center: [lng, lat], zoom: z, bearing: 0 });
    return waitForExportIdle(10000, false);
}
