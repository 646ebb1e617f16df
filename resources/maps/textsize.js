// Labels of the open style are drawn smaller than the style asks: the widget is small.
function _scaleSizeValue(v, factor) {
    if (typeof v === 'number')
        return v * factor;
    if (Array.isArray(v)) {
        var op = v[0];
        var out = v.slice();
        var i;
        if (op === 'interpolate' || op === 'interpolate-hcl' || op === 'interpolate-lab') {
            for (i = 4; i < out.length; i += 2)
                out[i] = _scaleSizeValue(out[i], factor);
            return out;
        }
        if (op === 'step') {
            if (out.length > 2)
                out[2] = _scaleSizeValue(out[2], factor);
            for (i = 4; i < out.length; i += 2)
                out[i] = _scaleSizeValue(out[i], factor);
            return out;
        }
        return ['*', factor, v];
    }
    if (v && typeof v === 'object' && Array.isArray(v.stops)) {
        var copy = Object.assign({}, v);
        copy.stops = v.stops.map(function (stop) {
            return [stop[0], typeof stop[1] === 'number' ? stop[1] * factor : stop[1]];
        });
        return copy;
    }
    return v;
}

function scaleTextSizes(factor) {
    if (factor === 1)
        return;
    var style = map.getStyle();
    var layers = (style && style.layers) || [];
    layers.forEach(function (layer) {
        if (layer.type !== 'symbol')
            return;
        try {
            var size = map.getLayoutProperty(layer.id, 'text-size');
            if (size === undefined || size === null)
                size = 16;
            map.setLayoutProperty(layer.id, 'text-size', _scaleSizeValue(size, factor));
        } catch (e) {
            // one odd layer must not keep the others at full size
        }
    });
    map.triggerRepaint();
}
