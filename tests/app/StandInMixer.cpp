// A stand-in for the desktop's mixer (pavucontrol): one top-level window away from the screen's top
// left corner, of the class its name gives and titled "Volume Control", or as `-T title` says, as a
// terminal takes it (other arguments are ignored); with TIKORA_MIXER_MAXIMIZED set it asks to be
// shown maximised. It runs until it is ended or its X server goes away.
#include <unistd.h>
#include <xcb/xcb.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    xcb_atom_t atom = r ? r->atom : XCB_NONE;
    std::free(r);
    return atom;
}

void Set(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type, int format, uint32_t count,
         const void* data) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, format, count, data);
}
}  // namespace

int main(int argc, char** argv) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) return 1;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const int16_t x = 700, y = 500;
    const uint16_t width = 320, height = 200;
    xcb_window_t w = xcb_generate_id(c);
    const uint32_t background = 0x3070c0;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, x, y, width, height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL, &background);

    // Instance and class: the program's name, and capitalised.
    std::string name = argv[0];
    name = name.substr(name.rfind('/') + 1);
    std::string wmClass = name + '\0' + name + '\0';
    wmClass[name.size() + 1] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    std::string title = "Volume Control";
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "-T") title = argv[i + 1];
    const uint32_t pid = static_cast<uint32_t>(::getpid());
    // WM_NORMAL_HINTS: the user asked for this position and size.
    uint32_t hints[18] = {1 | 2, static_cast<uint32_t>(x), static_cast<uint32_t>(y), width, height};
    Set(c, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, wmClass.size(), wmClass.data());
    Set(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, title.size(), title.data());
    Set(c, w, Atom(c, "_NET_WM_NAME"), Atom(c, "UTF8_STRING"), 8, title.size(), title.data());
    Set(c, w, Atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    Set(c, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    if (std::getenv("TIKORA_MIXER_MAXIMIZED")) {
        const xcb_atom_t state[2] = {Atom(c, "_NET_WM_STATE_MAXIMIZED_VERT"), Atom(c, "_NET_WM_STATE_MAXIMIZED_HORZ")};
        Set(c, w, Atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 2, state);
    }
    xcb_map_window(c, w);
    xcb_flush(c);

    while (xcb_generic_event_t* e = xcb_wait_for_event(c)) std::free(e);
    xcb_disconnect(c);
    return 0;
}
