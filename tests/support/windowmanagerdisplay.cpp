#include "windowmanagerdisplay.h"

#include <QDeadlineTimer>
#include <QThread>

#include <xcb/xcb.h>

#include <memory>

namespace testsupport {

namespace {

using Connection = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;

Connection connectTo(const QString &display)
{
    Connection c(xcb_connect(display.isEmpty() ? nullptr : display.toLocal8Bit().constData(), nullptr),
                 &xcb_disconnect);
    if (xcb_connection_has_error(c.get()))
        c.reset();
    return c;
}

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr), &free);
    return reply ? reply->atom : XCB_ATOM_NONE;
}

QList<xcb_atom_t> atomsOf(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property)
{
    std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, XCB_ATOM_ANY, 0, 64), nullptr), &free);
    QList<xcb_atom_t> atoms;
    if (reply && reply->format == 32) {
        const auto *values = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
        for (int i = 0; i < xcb_get_property_value_length(reply.get()) / 4; ++i)
            atoms << values[i];
    }
    return atoms;
}

xcb_window_t rootOf(xcb_connection_t *c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

} // namespace

WindowManagerDisplay::~WindowManagerDisplay()
{
    for (QProcess *p : {&m_manager, &m_server}) {
        if (p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
            p->waitForFinished(5000);
        }
    }
}

bool WindowManagerDisplay::startServer()
{
    // The server picks a free display and tells it on its standard output.
    m_server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                            QStringLiteral("0"), QStringLiteral("1920x1080x24"),
                                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    const QDeadlineTimer deadline(20000);
    while (!m_server.canReadLine() && m_server.state() != QProcess::NotRunning && !deadline.hasExpired())
        m_server.waitForReadyRead(200);
    const QByteArray line = m_server.readLine().trimmed();
    if (line.isEmpty())
        return false;
    m_name = QStringLiteral(":") + QString::fromLatin1(line);
    return bool(connectTo(m_name));
}

bool WindowManagerDisplay::startWindowManager()
{
    if (m_name.isEmpty() || !m_home.isValid())
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_name);
    env.insert(QStringLiteral("HOME"), m_home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.path());
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.path());
    m_manager.setProcessEnvironment(env);
    m_manager.setProcessChannelMode(QProcess::MergedChannels);
    m_manager.setStandardOutputFile(QProcess::nullDevice());
    m_manager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!m_manager.waitForStarted(10000))
        return false;
    // A manager that has taken the screen names its check window on the root.
    const Connection c = connectTo(m_name);
    if (!c)
        return false;
    const xcb_atom_t check = atom(c.get(), "_NET_SUPPORTING_WM_CHECK");
    const QDeadlineTimer deadline(20000);
    while (atomsOf(c.get(), rootOf(c.get()), check).isEmpty()) {
        if (deadline.hasExpired() || m_manager.state() == QProcess::NotRunning)
            return false;
        QThread::msleep(20);
    }
    return true;
}

bool requestMaximised(unsigned long window, bool maximised)
{
    const Connection c = connectTo({});
    if (!c)
        return false;
    xcb_client_message_event_t message = {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(window);
    message.type = atom(c.get(), "_NET_WM_STATE");
    message.data.data32[0] = maximised ? 1 : 0; // add, remove
    message.data.data32[1] = atom(c.get(), "_NET_WM_STATE_MAXIMIZED_VERT");
    message.data.data32[2] = atom(c.get(), "_NET_WM_STATE_MAXIMIZED_HORZ");
    message.data.data32[3] = 2; // a user's own action
    xcb_send_event(c.get(), 0, rootOf(c.get()),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&message));
    // A round trip: the server has passed the message on before this connection closes.
    std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&free)> sync(
        xcb_get_input_focus_reply(c.get(), xcb_get_input_focus(c.get()), nullptr), &free);
    return bool(sync);
}

bool isMaximisedByWindowManager(unsigned long window)
{
    const Connection c = connectTo({});
    if (!c)
        return false;
    const QList<xcb_atom_t> state = atomsOf(c.get(), xcb_window_t(window), atom(c.get(), "_NET_WM_STATE"));
    return state.contains(atom(c.get(), "_NET_WM_STATE_MAXIMIZED_VERT"))
        && state.contains(atom(c.get(), "_NET_WM_STATE_MAXIMIZED_HORZ"));
}

} // namespace testsupport
