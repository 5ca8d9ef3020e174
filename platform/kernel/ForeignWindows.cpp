#include "ForeignWindows.h"

#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace tikora {

namespace {

constexpr uint32_t kWithdrawnState = 0, kIconicState = 3;
constexpr uint32_t kSourcePager = 2;  // requests on the user's behalf, which window managers honour
constexpr uint32_t kStateRemove = 0, kStateAdd = 1;

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T>
Reply<T> Take(T* reply) {
    return Reply<T>(reply, &std::free);
}

struct Property {
    xcb_atom_t type = XCB_NONE;
    uint8_t format = 0;
    std::vector<uint8_t> bytes;

    std::vector<uint32_t> Cards() const {
        std::vector<uint32_t> v;
        if (format != 32) return v;
        v.resize(bytes.size() / 4);
        if (!v.empty()) std::memcpy(v.data(), bytes.data(), v.size() * 4);
        return v;
    }
    std::string Text() const { return std::string(bytes.begin(), bytes.end()); }
};

class Display {
public:
    Display() {
        const char* name = std::getenv("DISPLAY");
        if (!name || !*name) return;
        int screen = 0;
        c_ = xcb_connect(name, &screen);
        if (xcb_connection_has_error(c_)) {
            xcb_disconnect(c_);
            c_ = nullptr;
            return;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (int i = 0; i < screen && it.rem; ++i) xcb_screen_next(&it);
        if (it.rem) root_ = it.data->root;
    }
    ~Display() {
        if (c_) xcb_disconnect(c_);
    }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    explicit operator bool() const { return c_ && root_; }
    xcb_connection_t* Connection() const { return c_; }
    xcb_window_t Root() const { return root_; }

    xcb_atom_t Atom(const std::string& name) {
        auto known = atoms_.find(name);
        if (known != atoms_.end()) return known->second;
        auto r = Take(xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, name.size(), name.c_str()), nullptr));
        return atoms_[name] = r ? r->atom : XCB_NONE;
    }

    Property Get(xcb_window_t w, xcb_atom_t atom) {
        Property p;
        if (atom == XCB_NONE) return p;
        auto r = Take(xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, w, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16), nullptr));
        if (!r || r->type == XCB_NONE) return p;
        p.type = r->type;
        p.format = r->format;
        auto* data = static_cast<const uint8_t*>(xcb_get_property_value(r.get()));
        p.bytes.assign(data, data + xcb_get_property_value_length(r.get()));
        return p;
    }

    bool Exists(xcb_window_t w) {
        return Take(xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, w), nullptr)) != nullptr;
    }

    // The window manager's clients; without one, the root window's children that are shown.
    std::vector<xcb_window_t> Clients() {
        Property list = Get(root_, Atom("_NET_CLIENT_LIST"));
        if (list.type == XCB_ATOM_WINDOW) return list.Cards();
        std::vector<xcb_window_t> shown;
        auto tree = Take(xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr));
        if (!tree) return shown;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            auto a = Take(xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, children[i]), nullptr));
            if (a && a->map_state == XCB_MAP_STATE_VIEWABLE && !a->override_redirect) shown.push_back(children[i]);
        }
        return shown;
    }

    bool Supports(const char* hint) {
        std::vector<uint32_t> supported = Get(root_, Atom("_NET_SUPPORTED")).Cards();
        return std::find(supported.begin(), supported.end(), Atom(hint)) != supported.end();
    }

    // A message to the window manager about `w`, as EWMH pagers and ICCCM clients send them.
    void ToWindowManager(xcb_window_t w, const char* type, std::initializer_list<uint32_t> data) {
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = w;
        e.type = Atom(type);
        std::copy(data.begin(), data.end(), e.data.data32);
        xcb_send_event(c_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&e));
    }

    // Raises and focuses without a window manager.
    void RaiseAndFocus(xcb_window_t w) {
        xcb_map_window(c_, w);
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(c_, w, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_set_input_focus(c_, XCB_INPUT_FOCUS_POINTER_ROOT, w, XCB_CURRENT_TIME);
    }

    // Waits until the server has handled every request sent so far.
    void Sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

private:
    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = 0;
    std::map<std::string, xcb_atom_t> atoms_;
};

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool ClassMatches(const Property& wmClass, const std::string& wanted) {
    if (wanted.empty()) return true;
    // Instance and class, each ended by a zero byte.
    std::string text = wmClass.Text();
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\0', from);
        if (end == std::string::npos) end = text.size();
        if (SameText(text.substr(from, end - from), wanted)) return true;
        from = end + 1;
    }
    return false;
}

std::string Title(Display& d, xcb_window_t w) {
    Property name = d.Get(w, d.Atom("_NET_WM_NAME"));
    if (name.type == XCB_NONE) name = d.Get(w, XCB_ATOM_WM_NAME);
    std::string text = name.Text();
    return text.substr(0, text.find('\0'));
}

ForeignWindowState StateOf(Display& d, xcb_window_t w) {
    ForeignWindowState s;
    s.exists = d.Exists(w);
    if (!s.exists) return s;
    std::vector<uint32_t> wmState = d.Get(w, d.Atom("WM_STATE")).Cards();
    std::vector<uint32_t> netState = d.Get(w, d.Atom("_NET_WM_STATE")).Cards();
    auto has = [&](const char* atom) {
        return std::find(netState.begin(), netState.end(), d.Atom(atom)) != netState.end();
    };
    s.minimized = (!wmState.empty() && wmState[0] == kIconicState) || has("_NET_WM_STATE_HIDDEN");
    s.maximized = has("_NET_WM_STATE_MAXIMIZED_VERT") && has("_NET_WM_STATE_MAXIMIZED_HORZ");
    return s;
}

}  // namespace

uint32_t FindForeignWindow(const WindowQuery& query) {
    Display d;
    if (!d) return 0;
    const xcb_atom_t pidAtom = d.Atom("_NET_WM_PID");
    const uint32_t self = static_cast<uint32_t>(::getpid());
    for (xcb_window_t w : d.Clients()) {
        std::vector<uint32_t> pid = d.Get(w, pidAtom).Cards();
        if (!pid.empty() && pid[0] == self) continue;
        Property wmClass = d.Get(w, XCB_ATOM_WM_CLASS);
        if (wmClass.type == XCB_NONE) continue;  // not a client window
        if (!ClassMatches(wmClass, query.windowClass)) continue;
        if (!query.title.empty() && Title(d, w) != query.title) continue;
        std::vector<uint32_t> state = d.Get(w, d.Atom("WM_STATE")).Cards();
        if (!state.empty() && state[0] == kWithdrawnState) continue;
        return w;
    }
    return 0;
}

bool WaitUntilWithdrawn(uint32_t window, int timeoutMs) {
    Display d;
    if (!d || !window) return true;
    int waited = 0;
    auto waitFor = [&](auto done) {
        for (;; waited += 2) {
            if (done()) return true;
            if (waited >= timeoutMs) return false;
            ::usleep(2000);
        }
    };
    const xcb_atom_t wmState = d.Atom("WM_STATE");
    if (!waitFor([&] {
            std::vector<uint32_t> state = d.Get(window, wmState).Cards();
            return state.empty() || state[0] == kWithdrawnState;
        }))
        return false;
    // The window manager may still hold more notices of the unmapping (the client's own as well as
    // the server's); one still unread when the window is mapped again makes it take the map for
    // undone, and the window is never shown. Its answer to a request sent now comes once it has
    // read them all.
    if (!d.Supports("_NET_REQUEST_FRAME_EXTENTS")) return true;
    const xcb_atom_t extents = d.Atom("_NET_FRAME_EXTENTS");
    xcb_delete_property(d.Connection(), window, extents);
    d.ToWindowManager(window, "_NET_REQUEST_FRAME_EXTENTS", {});
    d.Sync();
    return waitFor([&] { return d.Get(window, extents).type != XCB_NONE; });
}

ForeignWindowState ReadForeignWindowState(uint32_t window) {
    Display d;
    return d ? StateOf(d, window) : ForeignWindowState{};
}

bool ActivateForeignWindow(uint32_t window) {
    Display d;
    if (!d || !d.Exists(window)) return false;
    if (d.Supports("_NET_ACTIVE_WINDOW"))
        d.ToWindowManager(window, "_NET_ACTIVE_WINDOW", {kSourcePager, XCB_CURRENT_TIME, XCB_NONE});
    else
        d.RaiseAndFocus(window);
    d.Sync();
    return true;
}

bool MinimizeForeignWindow(uint32_t window) {
    Display d;
    if (!d || !d.Exists(window)) return false;
    d.ToWindowManager(window, "WM_CHANGE_STATE", {kIconicState});
    d.Sync();
    return true;
}

bool SetForeignWindowMaximized(uint32_t window, bool maximized) {
    Display d;
    if (!d || !d.Exists(window)) return false;
    d.ToWindowManager(window, "_NET_WM_STATE",
                      {maximized ? kStateAdd : kStateRemove, d.Atom("_NET_WM_STATE_MAXIMIZED_VERT"),
                       d.Atom("_NET_WM_STATE_MAXIMIZED_HORZ"), kSourcePager});
    d.Sync();
    return true;
}

}  // namespace tikora
