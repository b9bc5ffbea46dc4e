#include "tray/PanelWindowing.h"

#include <QGuiApplication>
#include <QHash>
#include <QRect>
#include <QSocketNotifier>
#include <QWindow>

#include <cstdlib>
#include <memory>

#include <xcb/shape.h>
#include <xcb/xcb.h>
#ifdef QUORLANE_HAVE_XINPUT
#include <xcb/xinput.h>
#endif

namespace PanelWindowing {
namespace {

struct FreeDeleter
{
    void operator()(void *p) const { std::free(p); }
};
template<typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

// Qt's own connection when the application runs on X11 (natively or through XWayland).
xcb_connection_t *qtConnection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The screen number DISPLAY names (":0.1" is screen 1); the tray selection is per screen.
int displayScreen()
{
    const QByteArray display = qgetenv("DISPLAY");
    const qsizetype dot = display.indexOf('.', display.lastIndexOf(':'));
    return dot < 0 ? 0 : display.mid(dot + 1).toInt();
}

xcb_window_t rootWindow(xcb_connection_t *c, int screen)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem; ++i, xcb_screen_next(&it)) {
        if (i == screen)
            return it.data->root;
    }
    return XCB_NONE;
}

// Remembered: each lookup is a round trip to the server, and opening the panel needs several.
xcb_atom_t atom(xcb_connection_t *c, const QByteArray &name)
{
    static QHash<QByteArray, xcb_atom_t> known;
    if (const auto it = known.constFind(name); it != known.cend())
        return *it;
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr));
    if (!reply)
        return XCB_ATOM_NONE;
    known.insert(name, reply->atom);
    return reply->atom;
}

#ifdef QUORLANE_HAVE_XINPUT
// Raw button events on the root window: the X server sends them to every client that asks,
// whoever holds a grab, so watching needs no grab of our own and never steals a click.
class RawPressWatcher : public QObject
{
public:
    static std::unique_ptr<RawPressWatcher> create(std::function<void()> onPress)
    {
        int screen = 0;
        xcb_connection_t *c = xcb_connect(nullptr, &screen);
        if (xcb_connection_has_error(c)) {
            xcb_disconnect(c);
            return nullptr;
        }
        std::unique_ptr<RawPressWatcher> watcher(new RawPressWatcher(c, std::move(onPress)));
        if (!watcher->select(rootWindow(c, screen)))
            return nullptr;
        return watcher;
    }
    ~RawPressWatcher() override { xcb_disconnect(m_connection); }

private:
    RawPressWatcher(xcb_connection_t *c, std::function<void()> onPress)
        : m_connection(c), m_onPress(std::move(onPress))
    {}

    bool select(xcb_window_t root)
    {
        const xcb_query_extension_reply_t *extension = xcb_get_extension_data(m_connection, &xcb_input_id);
        if (!root || !extension || !extension->present)
            return false;
        m_opcode = extension->major_opcode;
        // Raw events reach clients that are not grabbing from version 2.1 on.
        const Reply<xcb_input_xi_query_version_reply_t> version(xcb_input_xi_query_version_reply(
            m_connection, xcb_input_xi_query_version(m_connection, 2, 2), nullptr));
        if (!version || version->major_version < 2 ||
            (version->major_version == 2 && version->minor_version < 1))
            return false;
        struct
        {
            xcb_input_event_mask_t head;
            uint32_t bits;
        } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
        xcb_input_xi_select_events(m_connection, root, 1, &mask.head);
        xcb_flush(m_connection);
        m_notifier =
            std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { drain(); });
        return true;
    }

    void drain()
    {
        bool pressed = false;
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            const Reply<xcb_generic_event_t> owned(event);
            if ((event->response_type & 0x7f) != XCB_GE_GENERIC)
                continue;
            const auto *generic = reinterpret_cast<xcb_ge_generic_event_t *>(event);
            if (generic->extension != m_opcode || generic->event_type != XCB_INPUT_RAW_BUTTON_PRESS)
                continue;
            const auto *raw = reinterpret_cast<xcb_input_raw_button_press_event_t *>(event);
            pressed = pressed || raw->detail == 1 || raw->detail == 3; // left, right; not wheels
        }
        if (xcb_connection_has_error(m_connection))
            m_notifier->setEnabled(false); // the display is gone; the application ends anyway
        if (pressed)
            m_onPress();
    }

    xcb_connection_t *m_connection;
    std::function<void()> m_onPress;
    uint8_t m_opcode = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
#endif

// Whoever holds a manager selection of this screen ("_NET_SYSTEM_TRAY_S0", "_NET_WM_CM_S0").
bool screenSelectionOwned(const QByteArray &prefix)
{
    xcb_connection_t *c = qtConnection();
    if (!c)
        return false;
    const xcb_atom_t selection = atom(c, prefix + QByteArray::number(displayScreen()));
    const Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    return owner && owner->owner != XCB_NONE;
}

} // namespace

void becomeAccessory() {}

void keepLevelAfterFlagChange(QWindow *) {}

bool hasEmbeddedTray()
{
    return screenSelectionOwned("_NET_SYSTEM_TRAY_S");
}

bool hasCompositor()
{
    // Wayland compositors composite by definition; on X11 the compositing manager holds its
    // selection while it runs.
    return !qtConnection() || screenSelectionOwned("_NET_WM_CM_S");
}

void setInputRegion(QWindow *window, const QRect &region)
{
    xcb_connection_t *c = qtConnection();
    if (!c || !window || !window->handle())
        return;
    const xcb_rectangle_t rectangle{int16_t(region.x()), int16_t(region.y()), uint16_t(region.width()),
                                    uint16_t(region.height())};
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                         xcb_window_t(window->winId()), 0, 0, 1, &rectangle);
    xcb_flush(c);
}

void keepOffTaskbar(QWindow *window)
{
    xcb_connection_t *c = qtConnection();
    if (!c || !window)
        return;
    const auto id = xcb_window_t(window->winId());
    // Appended: Qt merges its own states into what is there when it maps the window, and the
    // window manager drops them all when the window is withdrawn, so this runs before each show.
    const xcb_atom_t states[] = {atom(c, "_NET_WM_STATE_SKIP_TASKBAR"), atom(c, "_NET_WM_STATE_SKIP_PAGER"),
                                 atom(c, "_NET_WM_STATE_STICKY")};
    xcb_change_property(c, XCB_PROP_MODE_APPEND, id, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 3, states);
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, atom(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    xcb_flush(c);
}

std::unique_ptr<QObject> watchGlobalPresses(std::function<void()> onPress)
{
#ifdef QUORLANE_HAVE_XINPUT
    if (qtConnection())
        return RawPressWatcher::create(std::move(onPress));
#else
    Q_UNUSED(onPress);
#endif
    return nullptr;
}

WId activeWindow()
{
    xcb_connection_t *c = qtConnection();
    if (!c)
        return 0;
    const Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c,
                               xcb_get_property(c, 0, rootWindow(c, displayScreen()),
                                                atom(c, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1),
                               nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return 0;
    return *static_cast<const xcb_window_t *>(xcb_get_property_value(reply.get()));
}

void activate(WId window)
{
    xcb_connection_t *c = qtConnection();
    if (!c || !window)
        return;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window);
    event.type = atom(c, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 2; // from a pager-like tool: window managers honour it without a timestamp
    event.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_window_t root = rootWindow(c, displayScreen());
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(c);
}

} // namespace PanelWindowing
