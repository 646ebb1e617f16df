// Label language: the first name field that a feature has, most specific first.
function _langFields(lang) {
    var names = [];
    function add(name) {
        if (names.indexOf(name) < 0)
            names.push(name);
    }
    add('name:' + lang);
    add('name_' + lang);
    var base = String(lang).split('-')[0];
    add('name:' + base);
    add('name_' + base);
    if (base === 'zh') {
        add('name:zh-Hans');
        add('name_zh-Hans');
        add('name:zh-Hant');
        add('name_zh-Hant');
    } else {
        add('name:en');
        add('name_en');
        add('name:latin');
    }
    add('name');
    return names.map(function (name) { return ['get', name]; });
}

function setMapLanguage(lang) {
    if (!map.isStyleLoaded()) {
        map.once('idle', function () { setMapLanguage(lang); });
        return;
    }
    var expression = ['coalesce'].concat(_langFields(lang));
    var style = map.getStyle();
    var layers = (style && style.layers) || [];
    layers.forEach(function (layer) {
        if (layer.type !== 'symbol')
            return;
        try {
            var field = map.getLayoutProperty(layer.id, 'text-field');
            // Road shields and other labels without names keep their text.
            if (field === undefined || field === null || JSON.stringify(field).indexOf('name') < 0)
                return;
            map.setLayoutProperty(layer.id, 'text-field', expression);
        } catch (e) {
            // a layer that refuses keeps its labels; the others still switch
        }
    });
    map.triggerRepaint();
}
