// Script messages to the program over the Qt web channel. Messages posted
// before the channel is connected are queued and sent in order once it is.
(function () {
    var queue = [];
    var bridge = null;
    function send(item) {
        if (item[0] === 'post')
            bridge.post(item[1], item[2] === undefined ? null : item[2]);
        else
            bridge.result(item[1], item[2], item[3] === undefined ? null : item[3]);
    }
    window.routereelPost = function (name, body) {
        if (bridge) send(['post', name, body]); else queue.push(['post', name, body]);
    };
    // Results of asynchronous page calls; ok is false when the call threw.
    window.routereelResult = function (id, ok, value) {
        if (bridge) send(['result', id, ok, value]); else queue.push(['result', id, ok, value]);
    };
    function connect() {
        if (!(window.qt && window.qt.webChannelTransport)) {
            setTimeout(connect, 5);
            return;
        }
        new QWebChannel(window.qt.webChannelTransport, function (channel) {
            bridge = channel.objects.routereelBridge;
            var pending = queue;
            queue = [];
            pending.forEach(send);
        });
    }
    connect();
})();
