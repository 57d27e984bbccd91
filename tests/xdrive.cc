// xdrive: drives a GUI program from outside on $DISPLAY, the way a user and
// a window manager would, so that tests can run the real program unchanged.
//
//   xdrive wait TITLE [SECONDS]   until a viewable window has TITLE; prints
//                                 "0xID X Y WIDTH HEIGHT" (root coordinates)
//   xdrive gone TITLE [SECONDS]   until no viewable window has TITLE
//   xdrive close TITLE            WM_DELETE_WINDOW, as a window manager sends
//   xdrive click TITLE X Y        button 1 at X,Y from the window's top-left
//   xdrive key TITLE KEY...       keysym names; "Control_L+q" holds the first
//   xdrive bar TITLE SECONDS [OTHER]
//                                 watches the window's pixels: prints the
//                                 longest row of pure green pixels in it (a
//                                 meter's bar) and 1 or 0 for whether a
//                                 window titled OTHER is viewable, a line
//                                 each time either changes; ends when the
//                                 window has come and gone, or after SECONDS
//
// wait and gone give up after 60 s unless told otherwise; close, click and
// key wait up to 30 s for the window, so that a test need not call wait
// first. Generous, for a sanitized program on a loaded machine: only a
// failing test waits them out. Exit status: 0 done, 1 failed or timed out,
// 2 usage.

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kUsage[] =
    "usage: xdrive wait TITLE [SECONDS]\n"
    "       xdrive gone TITLE [SECONDS]\n"
    "       xdrive close TITLE\n"
    "       xdrive click TITLE X Y\n"
    "       xdrive key TITLE KEY...   (keysym names, e.g. F10 Down Return a;\n"
    "                                  A+B presses A, then B, releases both)\n"
    "       xdrive bar TITLE SECONDS [OTHER]\n";

const double kImplicitWait = 30.0;

Display *dpy = nullptr;

// Windows may vanish while we look at them; such errors are expected and
// must not end the program the way Xlib's default handler would.
int IgnoreXError(Display *, XErrorEvent *) { return 0; }

[[noreturn]] void Usage(const char *why)
{
    std::fprintf(stderr, "xdrive: %s\n%s", why, kUsage);
    std::exit(2);
}

[[noreturn]] void Fail(const std::string &why)
{
    std::fprintf(stderr, "xdrive: %s\n", why.c_str());
    std::exit(1);
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool ParseDouble(const char *s, double &out)
{
    char *end = nullptr;
    out = std::strtod(s, &end);
    return end != s && *end == '\0' && out >= 0;
}

bool ParseInt(const char *s, int &out)
{
    char *end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (end == s || *end != '\0' || v < -100000 || v > 100000)
        return false;
    out = static_cast<int>(v);
    return true;
}

// _NET_WM_NAME is what GTK 3 sets in UTF-8; WM_NAME is the older one.
bool HasTitle(Window w, const std::string &title)
{
    static Atom net_wm_name = XInternAtom(dpy, "_NET_WM_NAME", False);
    static Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(dpy, w, net_wm_name, 0, 4096, False, utf8, &type, &format, &n, &after,
                           &data) == Success &&
        data) {
        bool same = type == utf8 && format == 8 &&
                    std::string(reinterpret_cast<char *>(data), n) == title;
        XFree(data);
        if (same)
            return true;
    }
    XTextProperty tp;
    if (!XGetWMName(dpy, w, &tp) || !tp.value)
        return false;
    bool same = false;
    char **list = nullptr;
    int count = 0;
    if (Xutf8TextPropertyToTextList(dpy, &tp, &list, &count) >= Success && list) {
        same = count > 0 && title == list[0];
        XFreeStringList(list);
    } else {
        same = std::string(reinterpret_cast<char *>(tp.value), tp.nitems) == title;
    }
    XFree(tp.value);
    return same;
}

// Depth-first from the root: without a window manager the program's windows
// are children of the root, with one they sit inside its frames. Children
// come bottom to top, so the last match is the topmost one.
void Search(Window w, const std::string &title, Window &found)
{
    XWindowAttributes wa;
    if (!XGetWindowAttributes(dpy, w, &wa) || wa.map_state != IsViewable)
        return;
    if (HasTitle(w, title)) {
        found = w;
        return;
    }
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(dpy, w, &root, &parent, &children, &n))
        return;
    for (unsigned int i = 0; i < n; ++i)
        Search(children[i], title, found);
    if (children)
        XFree(children);
}

Window Find(const std::string &title)
{
    Window found = None;
    Search(DefaultRootWindow(dpy), title, found);
    return found;
}

// Polls rather than listening for events: titles and map states change in
// several ways, and a poll every 50 ms sees them all.
Window WaitFor(const std::string &title, double seconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        Window w = Find(title);
        if (w != None)
            return w;
        if (std::chrono::steady_clock::now() >= deadline)
            return None;
        Sleep(50);
    }
}

Window Need(const std::string &title, double seconds)
{
    Window w = WaitFor(title, seconds);
    if (w == None)
        Fail("no viewable window titled '" + title + "'");
    return w;
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

Geometry GeometryOf(Window w)
{
    XWindowAttributes wa;
    Window child;
    Geometry g;
    if (!XGetWindowAttributes(dpy, w, &wa) ||
        !XTranslateCoordinates(dpy, w, wa.root, 0, 0, &g.x, &g.y, &child))
        Fail("the window went away");
    g.width = wa.width;
    g.height = wa.height;
    return g;
}

// Raises the frame or window that is a child of the root, so that the
// pointer lands on this window and not on one above it.
void Raise(Window w)
{
    for (;;) {
        Window root, parent, *children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(dpy, w, &root, &parent, &children, &n))
            return;
        if (children)
            XFree(children);
        if (parent == root || parent == None)
            break;
        w = parent;
    }
    XRaiseWindow(dpy, w);
    XSync(dpy, False);
}

void MoveTo(int x, int y)
{
    XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
    XFlush(dpy);
    Sleep(80);  // the toolkit sees the pointer enter before anything else
}

int Close(const std::string &title)
{
    Window w = Need(title, kImplicitWait);
    XEvent ev;
    std::memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    if (!XSendEvent(dpy, w, False, NoEventMask, &ev))
        Fail("cannot send WM_DELETE_WINDOW");
    XSync(dpy, False);
    return 0;
}

int Click(const std::string &title, int x, int y)
{
    Window w = Need(title, kImplicitWait);
    Raise(w);
    Geometry g = GeometryOf(w);
    MoveTo(g.x + x, g.y + y);
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XFlush(dpy);
    Sleep(40);
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    XSync(dpy, False);
    Sleep(40);
    return 0;
}

// A keysym with no key in the current map gets a spare keycode for the
// moment; the map is put back afterwards.
struct Key {
    KeyCode code = 0;
    bool shift = false;
    bool borrowed = false;
};

Key KeyFor(const std::string &name)
{
    KeySym sym = XStringToKeysym(name.c_str());
    if (sym == NoSymbol)
        Fail("unknown keysym '" + name + "'");
    Key k;
    k.code = XKeysymToKeycode(dpy, sym);
    if (k.code) {
        // Upper case letters and the like sit on the shifted level.
        k.shift = XkbKeycodeToKeysym(dpy, k.code, 0, 0) != sym &&
                  XkbKeycodeToKeysym(dpy, k.code, 0, 1) == sym;
        return k;
    }
    int min, max, per;
    XDisplayKeycodes(dpy, &min, &max);
    KeySym *map = XGetKeyboardMapping(dpy, min, max - min + 1, &per);
    for (int c = max; c >= min && !k.code; --c) {
        bool empty = true;
        for (int i = 0; i < per; ++i)
            empty = empty && map[(c - min) * per + i] == NoSymbol;
        if (empty)
            k.code = static_cast<KeyCode>(c);
    }
    XFree(map);
    if (!k.code)
        Fail("no spare keycode for '" + name + "'");
    KeySym both[2] = {sym, sym};
    XChangeKeyboardMapping(dpy, k.code, 2, both, 1);
    XSync(dpy, False);
    Sleep(50);  // clients learn of the new map through MappingNotify
    k.borrowed = true;
    return k;
}

void GiveBack(const Key &k)
{
    if (!k.borrowed)
        return;
    KeySym none[2] = {NoSymbol, NoSymbol};
    XChangeKeyboardMapping(dpy, k.code, 2, none, 1);
    XSync(dpy, False);
}

void Press(const std::string &chord)
{
    std::vector<Key> keys;
    size_t start = 0;
    for (;;) {
        size_t plus = chord.find('+', start);
        std::string part = chord.substr(start, plus == std::string::npos ? plus : plus - start);
        if (part.empty())
            Fail("bad key '" + chord + "'");
        keys.push_back(KeyFor(part));
        if (plus == std::string::npos)
            break;
        start = plus + 1;
    }
    KeyCode shift = XKeysymToKeycode(dpy, XK_Shift_L);
    for (const Key &k : keys) {
        if (k.shift && shift)
            XTestFakeKeyEvent(dpy, shift, True, CurrentTime);
        XTestFakeKeyEvent(dpy, k.code, True, CurrentTime);
        XFlush(dpy);
        Sleep(20);
    }
    for (auto k = keys.rbegin(); k != keys.rend(); ++k) {
        XTestFakeKeyEvent(dpy, k->code, False, CurrentTime);
        if (k->shift && shift)
            XTestFakeKeyEvent(dpy, shift, False, CurrentTime);
        XFlush(dpy);
        Sleep(20);
    }
    XSync(dpy, False);
    for (const Key &k : keys)
        GiveBack(k);
}

int Keys(const std::string &title, const std::vector<std::string> &keys)
{
    Window w = Need(title, kImplicitWait);
    Raise(w);
    Geometry g = GeometryOf(w);
    MoveTo(g.x + g.width / 2, g.y + g.height / 2);
    // Without a window manager nobody gives the window the focus; with one
    // this only does early what the click-to-focus would do.
    XSetInputFocus(dpy, w, RevertToPointerRoot, CurrentTime);
    XSync(dpy, False);
    Sleep(100);
    Window focus;
    int revert;
    XGetInputFocus(dpy, &focus, &revert);
    if (focus != w)
        Fail("the window did not take the keyboard focus");
    for (const auto &k : keys) {
        Press(k);
        Sleep(30);
    }
    return 0;
}

// The longest run of pure green pixels in any row of the window's content
// as the server has it; -1 when it cannot be read.
int GreenRun(Window w)
{
    XWindowAttributes wa;
    if (!XGetWindowAttributes(dpy, w, &wa) || wa.map_state != IsViewable)
        return -1;
    XImage *img = XGetImage(dpy, w, 0, 0, unsigned(wa.width), unsigned(wa.height), AllPlanes, ZPixmap);
    if (!img)
        return -1;
    const unsigned long rgb = img->red_mask | img->green_mask | img->blue_mask;
    int longest = 0;
    for (int y = 0; y < img->height; ++y) {
        int run = 0;
        for (int x = 0; x < img->width; ++x) {
            run = (XGetPixel(img, x, y) & rgb) == img->green_mask ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    XDestroyImage(img);
    return longest;
}

int Bar(const std::string &title, double seconds, const std::string &other)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    bool seen = false;
    int lastBar = -2, lastOther = -1;
    while (std::chrono::steady_clock::now() < deadline) {
        Window w = Find(title);
        if (w == None && seen)
            break;
        if (w != None) {
            seen = true;
            const int bar = GreenRun(w);
            const int shown = !other.empty() && Find(other) != None;
            if (bar >= 0 && (bar != lastBar || shown != lastOther)) {
                std::printf("%d %d\n", bar, shown);
                std::fflush(stdout);
                lastBar = bar;
                lastOther = shown;
            }
        }
        Sleep(10);
    }
    return seen ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        Usage(argc < 2 ? "no command" : "no TITLE");
    std::string verb = argv[1];
    std::string title = argv[2];
    double seconds = 60;
    int x = 0, y = 0;
    if (verb == "wait" || verb == "gone") {
        if (argc > 4 || (argc == 4 && !ParseDouble(argv[3], seconds)))
            Usage("SECONDS is a number");
    } else if (verb == "close") {
        if (argc != 3)
            Usage("close takes TITLE");
    } else if (verb == "click") {
        if (argc != 5 || !ParseInt(argv[3], x) || !ParseInt(argv[4], y))
            Usage("click takes TITLE X Y");
    } else if (verb == "key") {
        if (argc < 4)
            Usage("key takes TITLE KEY...");
    } else if (verb == "bar") {
        if (argc < 4 || argc > 5 || !ParseDouble(argv[3], seconds))
            Usage("bar takes TITLE SECONDS [OTHER]");
    } else {
        Usage("unknown command");
    }

    dpy = XOpenDisplay(nullptr);
    if (!dpy)
        Fail(std::string("cannot open display '") + XDisplayName(nullptr) + "'");
    XSetErrorHandler(IgnoreXError);
    int ev, err, major, minor;
    if (verb == "click" || verb == "key")
        if (!XTestQueryExtension(dpy, &ev, &err, &major, &minor))
            Fail("the X server has no XTEST extension");

    int rc = 0;
    if (verb == "wait") {
        Window w = Need(title, seconds);
        Geometry g = GeometryOf(w);
        std::printf("0x%lx %d %d %d %d\n", static_cast<unsigned long>(w), g.x, g.y, g.width,
                    g.height);
    } else if (verb == "gone") {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (Find(title) != None) {
            if (std::chrono::steady_clock::now() >= deadline)
                Fail("a window titled '" + title + "' is still there");
            Sleep(50);
        }
    } else if (verb == "close") {
        rc = Close(title);
    } else if (verb == "click") {
        rc = Click(title, x, y);
    } else if (verb == "bar") {
        rc = Bar(title, seconds, argc == 5 ? argv[4] : "");
    } else {
        rc = Keys(title, std::vector<std::string>(argv + 3, argv + argc));
    }
    XCloseDisplay(dpy);
    return rc;
}
