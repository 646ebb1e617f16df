// Page-script helpers of the map pages, run in Node against a stub map object.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

const scriptDir = path.join(__dirname, '..', '..', 'resources', 'maps');

class StubMap {
    constructor(layers = []) {
        this.sources = {};
        this.layers = layers.map((l) => ({ ...l, layout: { ...(l.layout || {}) } }));
        this.handlers = {};
        this.onceHandlers = {};
        this.styleLoaded = true;
        this.isLoaded = true;
        this.repaints = 0;
        this.center = null;
        this.bearing = 0;
        this.zoom = 15;
        this.jumps = [];
        this.throwOn = new Set();
    }
    addSource(id, spec) { this.sources[id] = { data: spec.data, setData(d) { this.data = d; } }; }
    addLayer(layer) { this.layers.push({ ...layer, layout: { ...(layer.layout || {}) } }); }
    getSource(id) { return this.sources[id]; }
    getStyle() { return { layers: this.layers.map((l) => ({ id: l.id, type: l.type, layout: l.layout })) }; }
    layer(id) { return this.layers.find((l) => l.id === id); }
    getLayoutProperty(id, name) {
        if (this.throwOn.has(id)) throw new Error('broken layer');
        return this.layer(id).layout[name];
    }
    setLayoutProperty(id, name, value) {
        if (this.throwOn.has(id)) throw new Error('broken layer');
        this.layer(id).layout[name] = value;
    }
    isStyleLoaded() { return this.styleLoaded; }
    loaded() { return this.isLoaded; }
    on(name, fn) { (this.handlers[name] = this.handlers[name] || []).push(fn); }
    off(name, fn) { this.handlers[name] = (this.handlers[name] || []).filter((h) => h !== fn); }
    once(name, fn) { (this.onceHandlers[name] = this.onceHandlers[name] || []).push(fn); }
    fire(name) {
        const once = this.onceHandlers[name] || [];
        this.onceHandlers[name] = [];
        [...(this.handlers[name] || []), ...once].forEach((fn) => fn());
    }
    triggerRepaint() { this.repaints++; }
    redraw() { this.redraws = (this.redraws || 0) + 1; }
    isMoving() { return false; }
    setCenter(c) { this.center = c; }
    getZoom() { return this.zoom; }
    jumpTo(camera) {
        this.jumps.push(camera);
        if (camera.center) this.center = camera.center;
        if (camera.bearing !== undefined) this.bearing = camera.bearing;
        if (camera.zoom !== undefined) this.zoom = camera.zoom;
    }
    getCanvas() { return { toDataURL: (type) => 'data:' + type + ';base64,AAAA' }; }
}

// Loads page scripts into a fresh context whose global `map` is the stub.
function loadPage(files, map = new StubMap(), globals = {}) {
    const posted = [];
    const context = vm.createContext({
        map, console, setTimeout, clearTimeout, queueMicrotask, performance, Promise, JSON, Math, Number, Array, Object, String, Map,
        routereelPost: (name, body) => posted.push([name, body]),
        ...globals,
    });
    context.window = context;
    for (const f of files)
        vm.runInContext(fs.readFileSync(path.join(scriptDir, f), 'utf8'), context, { filename: f });
    return { ctx: context, map, posted };
}

const plain = (v) => JSON.parse(JSON.stringify(v));

// `styleOnly`: the style is there, its first tiles and the map's 'load' are not yet.
function widgetPage(map, styleOnly = false) {
    const page = loadPage(['geojson.js', 'track.js', 'mapwidget.js', 'language.js', 'exportcapture.js', 'widgetcapture.js'], map);
    page.map.fire('style.load');
    if (!styleOnly)
        page.map.fire('load');
    return page;
}

function lines(source) {
    return plain(source.data.features.map((f) => f.geometry.coordinates));
}

test('label fields: most specific name first, no repeats', () => {
    const { ctx } = loadPage(['language.js']);
    const names = (lang) => plain(ctx._langFields(lang)).map((e) => { assert.equal(e[0], 'get'); return e[1]; });
    const cases = [
        ['pt-BR', ['name:pt-BR', 'name_pt-BR', 'name:pt', 'name_pt', 'name:en', 'name_en', 'name:latin', 'name']],
        ['en', ['name:en', 'name_en', 'name:latin', 'name']],
        ['zh-Hans', ['name:zh-Hans', 'name_zh-Hans', 'name:zh', 'name_zh', 'name:zh-Hant', 'name_zh-Hant', 'name']],
        ['zh', ['name:zh', 'name_zh', 'name:zh-Hans', 'name_zh-Hans', 'name:zh-Hant', 'name_zh-Hant', 'name']],
    ];
    for (const [lang, expected] of cases)
        assert.deepEqual(names(lang), expected, lang);
});

test('setMapLanguage waits for the style, switches name labels only, survives a broken layer', () => {
    const map = new StubMap([
        { id: 'place', type: 'symbol', layout: { 'text-field': ['get', 'name'] } },
        { id: 'broken', type: 'symbol', layout: { 'text-field': '{name}' } },
        { id: 'shield', type: 'symbol', layout: { 'text-field': ['get', 'ref'] } },
        { id: 'icons', type: 'symbol', layout: {} },
        { id: 'roads', type: 'line', layout: {} },
        { id: 'poi', type: 'symbol', layout: { 'text-field': '{name:latin}' } },
    ]);
    map.throwOn.add('broken');
    map.styleLoaded = false;
    const { ctx } = loadPage(['language.js'], map);
    ctx.setMapLanguage('de');
    assert.deepEqual(map.layer('place').layout['text-field'], ['get', 'name']);
    map.fire('idle');  // still not loaded: asks again at the next idle
    assert.deepEqual(map.layer('place').layout['text-field'], ['get', 'name']);
    map.styleLoaded = true;
    map.fire('idle');
    const expected = ['coalesce', ...plain(ctx._langFields('de'))];
    assert.deepEqual(plain(map.layer('place').layout['text-field']), expected);
    assert.deepEqual(plain(map.layer('poi').layout['text-field']), expected);
    assert.deepEqual(map.layer('shield').layout['text-field'], ['get', 'ref']);
    assert.equal(map.layer('icons').layout['text-field'], undefined);
    assert.ok(map.repaints > 0);
    // An earlier switch still matches.
    ctx.setMapLanguage('zh-Hans');
    assert.deepEqual(plain(map.layer('place').layout['text-field']), ['coalesce', ...plain(ctx._langFields('zh-Hans'))]);
});

test('updateTrack unwraps longitudes across the date line and ignores bad breaks', () => {
    const { ctx, map } = widgetPage();
    ctx.updateTrack([[179.9, 10], [-179.9, 10], [-179.7, 10.1], [0, 0], [1, 1]], [0, -1, 1.5, 5, 3, 3, 4]);
    assert.deepEqual(plain(ctx._trackStarts), [0, 3, 4]);
    const full = lines(map.getSource('full'));
    assert.equal(full.length, 1, 'the single-point polyline [3] and [4] yield no feature');
    assert.ok(Math.abs(full[0][1][0] - 180.1) < 1e-9);
    assert.ok(Math.abs(full[0][2][0] - 180.3) < 1e-9);
    assert.deepEqual(plain(map.center), [179.9, 10]);
    assert.equal(map.getSource('vis').data.features.length, 0);
    assert.equal(map.getSource('dot').data.features.length, 0);

    ctx.updateTrack([[10, 0], [20, 0]]);
    assert.deepEqual(plain(ctx._trackStarts), [0]);
    ctx.updateTrack([], []);
    assert.deepEqual(plain(ctx._trackStarts), []);
    assert.equal(map.getSource('full').data.features.length, 0);
});

test('travelled line follows the active polyline and ends at the position', () => {
    const { ctx, map } = widgetPage();
    const coords = [[0, 0], [1, 0], [2, 0], [10, 10], [11, 10], [12, 10]];
    ctx.updateTrack(coords, [3]);
    const vis = () => lines(map.getSource('vis'));
    const cases = [
        [2, 1.5, 0, [[[0, 0], [1, 0], [1.5, 0]]]],
        [3, 2.5, 0, [[[0, 0], [1, 0], [2, 0]]]],  // first point of the next polyline: nothing of it yet
        [5, 11.5, 10, [[[0, 0], [1, 0], [2, 0]], [[10, 10], [11, 10], [11.5, 10]]]],
        [0, 0, 0, []],
        [-1, 0, 0, []],
        [6, 0, 0, []],
        [1.5, 0, 0, []],
    ];
    for (const [idx, lng, lat, expected] of cases) {
        ctx.updateProgress(idx, lng, lat);
        assert.deepEqual(vis(), expected, 'idx ' + idx);
    }
});

test('the position is unwrapped against the point it heads for', () => {
    const { ctx, map } = widgetPage();
    ctx.updateTrack([[179.8, 0], [-179.9, 0], [-179.8, 0]], []);
    ctx.updateProgress(2, -179.85, 0);
    const line = lines(map.getSource('vis'))[0];
    assert.ok(Math.abs(line[2][0] - 180.15) < 1e-9, String(line[2][0]));
});

test('tickFrame with no index still moves the dot and the camera; zoom only when it differs', () => {
    const { ctx, map } = widgetPage();
    ctx.updateTrack([[0, 0], [1, 1]], []);
    ctx.tickFrame(1, 0.5, 0.5, 0.4, 0.4, 0, 15);
    assert.equal(map.getSource('vis').data.features.length, 1);
    ctx.tickFrame(-1, 7, 8, 9, 10, 45, 15);
    assert.equal(map.getSource('vis').data.features.length, 0);
    assert.deepEqual(plain(map.getSource('dot').data.features[0].geometry.coordinates), [7, 8]);
    assert.deepEqual(plain(map.center), [9, 10]);
    assert.equal(map.bearing, 45);
    assert.equal('zoom' in map.jumps.at(-1), false);
    ctx.tickFrame(-1, 7, 8, 9, 10, 45, 12);
    assert.equal(map.zoom, 12);
});

test('widget page adds its layers then posts mapReady; the dot source starts empty', () => {
    const { map, posted } = widgetPage();
    assert.deepEqual(map.layers.map((l) => l.id), ['full-line', 'vis-line', 'dot-glow', 'dot-core']);
    assert.deepEqual(posted, [['mapReady', 'ok']]);
    assert.equal(map.getSource('dot').data.features.length, 0);
});

test('text sizes: numbers, interpolations, steps, other expressions, stop functions', () => {
    const { ctx } = loadPage(['textsize.js']);
    const f = 0.5;
    const cases = [
        [10, 5],
        [['interpolate', ['linear'], ['zoom'], 5, 10, 10, 20], ['interpolate', ['linear'], ['zoom'], 5, 5, 10, 10]],
        [['interpolate-hcl', ['linear'], ['zoom'], 5, 8], ['interpolate-hcl', ['linear'], ['zoom'], 5, 4]],
        [['step', ['zoom'], 10, 8, 14, 12, 20], ['step', ['zoom'], 5, 8, 7, 12, 10]],
        [['get', 'size'], ['*', 0.5, ['get', 'size']]],
        [{ base: 1.2, stops: [[5, 10], [10, 20]] }, { base: 1.2, stops: [[5, 5], [10, 10]] }],
        ['big', 'big'],
    ];
    for (const [input, expected] of cases)
        assert.deepEqual(plain(ctx._scaleSizeValue(input, f)), expected, JSON.stringify(input));
});

test('scaleTextSizes scales symbol layers, 16 when unset, and nothing at factor 1', () => {
    const map = new StubMap([
        { id: 'a', type: 'symbol', layout: { 'text-size': 12 } },
        { id: 'b', type: 'symbol', layout: {} },
        { id: 'bad', type: 'symbol', layout: { 'text-size': 12 } },
        { id: 'c', type: 'line', layout: {} },
    ]);
    map.throwOn.add('bad');
    const { ctx } = loadPage(['textsize.js'], map);
    ctx.scaleTextSizes(1);
    assert.equal(map.layer('a').layout['text-size'], 12);
    ctx.scaleTextSizes(0.8);
    assert.ok(Math.abs(map.layer('a').layout['text-size'] - 9.6) < 1e-9);
    assert.ok(Math.abs(map.layer('b').layout['text-size'] - 12.8) < 1e-9);
    assert.equal(map.layer('c').layout['text-size'], undefined);
});

test('waitForExportIdle resolves once, with the capture, ok, or the timeout error', async () => {
    const { ctx, map } = widgetPage();
    let results = [];
    ctx.waitForExportIdle(30, true).then((r) => results.push(r));
    map.fire('idle');
    await new Promise((r) => setTimeout(r, 60));  // the timer fires too
    map.fire('idle');
    assert.deepEqual(results, ['data:image/png;base64,AAAA']);
    assert.equal((map.handlers.idle || []).length, 0, 'listener removed');

    results = [];
    map.isLoaded = false;
    ctx.waitForExportIdle(20, false).then((r) => results.push(r));
    map.fire('idle');  // idle while tiles still load does not finish
    await new Promise((r) => setTimeout(r, 50));
    assert.deepEqual(results, ['ERR:map idle timeout']);

    map.isLoaded = true;
    assert.equal(await (() => { const p = ctx.warmStep(5, 6, 11); map.fire('idle'); return p; })(), 'ok');
    assert.deepEqual(plain(map.jumps.at(-1)), { center: [5, 6], zoom: 11, bearing: 0 });
});

test('GPS path page: calls before ready wait for idle or do nothing', () => {
    const { ctx, map, posted } = loadPage(['geojson.js', 'gpspath.js', 'language.js', 'exportcapture.js', 'pathcapture.js']);
    const fc = { type: 'FeatureCollection', features: [{ type: 'Feature', geometry: { type: 'LineString', coordinates: [[0, 0], [1, 1]] } }] };
    ctx.initPathMap(fc, 1, 2, 7);
    ctx.setMarker(3, 4);
    ctx.clearPathMap();
    assert.equal(map.jumps.length, 0);
    map.fire('load');
    assert.deepEqual(posted, [['pathMapReady', 'ok']]);
    map.fire('idle');
    assert.equal(map.getSource('path').data, fc);
    assert.deepEqual(plain(map.jumps.at(-1)), { center: [1, 2], zoom: 7, bearing: 0, pitch: 0 });
    ctx.setMarker(3, 4);
    assert.deepEqual(plain(map.getSource('dot').data.features[0].geometry.coordinates), [3, 4]);
    ctx.clearPathMap();
    assert.equal(map.getSource('dot').data.features.length, 0);
    assert.equal(map.getSource('path').data.features.length, 0);
});

test('frame driver: one message per batch; cancelled callbacks skipped; new requests wait', () => {
    const { ctx, posted } = loadPage(['framedriver.js']);
    const calls = [];
    const a = ctx.requestAnimationFrame(() => { calls.push('a'); ctx.cancelAnimationFrame(b); ctx.requestAnimationFrame(() => calls.push('late')); });
    const b = ctx.requestAnimationFrame(() => calls.push('b'));
    ctx.requestAnimationFrame(() => { throw new Error('bad callback'); });
    ctx.requestAnimationFrame((t) => calls.push(typeof t));
    assert.ok(a >= 1 && b === a + 1);
    assert.equal(posted.length, 1);
    const log = console.error;
    console.error = () => {};
    try { ctx.__gpxExportAnimationFrame(); } finally { console.error = log; }
    assert.deepEqual(calls, ['a', 'number']);
    assert.equal(posted.length, 2, 'the frame requested during the batch asks for the next tick');
    ctx.__gpxExportAnimationFrame();
    assert.deepEqual(calls, ['a', 'number', 'late']);
});

test('captureBase: track layers hidden, canvas grown by the margins, answered at once when drawn, else after idle', async () => {
    class BaseMap extends StubMap {
        constructor(layers) {
            super(layers);
            this.resizes = 0;
            this.container = { style: { width: '200.0px', height: '150.0px' }, clientWidth: 200, clientHeight: 150 };
        }
        getContainer() { return this.container; }
        resize() { this.resizes++; }
        getLayer(id) { return this.layer(id); }
        setPaintProperty(id, name, value) { this.layer(id).paint = { [name]: value }; }
    }
    const map = new BaseMap([{ id: 'tiles', type: 'raster' }]);
    const { ctx } = widgetPage(map, true);
    ctx.exportViewSize = [200, 150];  // the page's own view, given in its HTML
    // Tiles that arrive before the map's 'load' must not fade in either.
    assert.deepEqual(plain(map.layer('tiles').paint), { 'raster-fade-duration': 0 });
    map.fire('load');
    assert.equal(ctx.captureBase(13.4, 52.5, 0, 15, 100, 80), 'data:image/png;base64,AAAA');
    assert.deepEqual([map.container.style.width, map.container.style.height, map.resizes, map.redraws],
                     ['400px', '310px', 1, 1]);
    for (const id of ['full-line', 'vis-line', 'dot-glow', 'dot-core'])
        assert.equal(map.layer(id).layout.visibility, 'none', id);
    assert.equal(ctx.baseIsRaster(), 'yes');

    // The same view as raw pixels: the rows, then the width and height.
    map.painter = { context: { gl: { drawingBufferWidth: 3, drawingBufferHeight: 2, RGBA: 1, UNSIGNED_BYTE: 2,
                                     isContextLost: () => false,
                                     readPixels(x, y, w, h, format, type, out) { out.fill(7); } } } };
    const pixels = ctx.captureBasePixels(13.4, 52.5, 0, 15, 100, 80);
    assert.deepEqual([...pixels.subarray(0, 24)], Array(24).fill(7));
    const tail = new DataView(pixels.buffer, 24, 8);
    assert.deepEqual([pixels.length, tail.getUint32(0, true), tail.getUint32(4, true)], [32, 3, 2]);

    map.isLoaded = false;  // tiles of the new view still loading
    assert.equal(ctx.captureBasePixels(13.41, 52.5, 0, 15, 100, 80), 'wait');
    const waiting = ctx.captureBase(13.41, 52.5, 0, 15, 100, 80);
    assert.equal(typeof waiting.then, 'function');
    assert.equal(map.resizes, 1, 'same margins: no resize');
    map.isLoaded = true;
    map.fire('idle');
    assert.equal(await waiting, 'data:image/png;base64,AAAA');
    assert.deepEqual(plain(map.jumps.at(-1)), { center: [13.41, 52.5], bearing: 0 });
});

test('an export page that cannot load its map says so once, at once when the style fails', async () => {
    const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
    const watch = () => loadPage(['loadwatch.js'], new StubMap(), { exportLoadDeadline: Date.now() + 40, Date });
    const refused = watch();
    refused.map.fire('error');  // the style request failed
    assert.deepEqual(refused.posted, [['mapFailed', 'style failed: unknown error']]);

    const stalled = watch();  // style loaded, a tile failed, the first view never completes
    stalled.map.fire('style.load');
    stalled.map.fire('error');
    assert.deepEqual(stalled.posted, []);

    const loaded = watch();
    loaded.map.fire('style.load');
    loaded.map.fire('load');
    await sleep(80);
    assert.deepEqual(refused.posted, [['mapFailed', 'style failed: unknown error']]);
    assert.deepEqual(stalled.posted, [['mapFailed', 'map not loaded in time']]);
    assert.deepEqual(loaded.posted, []);
});
