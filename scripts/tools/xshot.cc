// xshot TITLE FILE.png [SECONDS]: waits for the top-level window with that
// title on $DISPLAY and writes a picture of it as PNG. Used by the demo to
// show the client utility without a display of the user's.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Title(Display *dpy, Window w)
{
    Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    Atom netName = XInternAtom(dpy, "_NET_WM_NAME", False);
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char *data = nullptr;
    std::string title;
    if (XGetWindowProperty(dpy, w, netName, 0, 1024, False, utf8, &type, &format, &n, &after,
                           &data) == Success && data) {
        title.assign(reinterpret_cast<char *>(data), n);
        XFree(data);
        return title;
    }
    char *name = nullptr;
    if (XFetchName(dpy, w, &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

Window Find(Display *dpy, Window w, const std::string &title)
{
    XWindowAttributes attr;
    if (XGetWindowAttributes(dpy, w, &attr) && attr.map_state == IsViewable && Title(dpy, w) == title)
        return w;
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(dpy, w, &root, &parent, &children, &n))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < n && !found; ++i)
        found = Find(dpy, children[i], title);
    if (children)
        XFree(children);
    return found;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: xshot TITLE FILE.png [SECONDS]\n");
        return 2;
    }
    gdk_set_allowed_backends("x11");
    if (!gdk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "xshot: cannot open the display\n");
        return 1;
    }
    GdkDisplay *display = gdk_display_get_default();
    Display *dpy = gdk_x11_display_get_xdisplay(display);
    double wait = argc > 3 ? std::atof(argv[3]) : 10.0;
    Window w = 0;
    for (int tries = 0; !w && tries <= int(wait * 10); ++tries) {
        w = Find(dpy, DefaultRootWindow(dpy), argv[1]);
        if (!w)
            usleep(100000);
    }
    if (!w) {
        std::fprintf(stderr, "xshot: no window \"%s\"\n", argv[1]);
        return 1;
    }
    usleep(500000);  // let the program finish drawing
    XWindowAttributes attr;
    XGetWindowAttributes(dpy, w, &attr);
    GdkWindow *gw = gdk_x11_window_foreign_new_for_display(display, w);
    GdkPixbuf *pixbuf = gw ? gdk_pixbuf_get_from_window(gw, 0, 0, attr.width, attr.height) : nullptr;
    GError *error = nullptr;
    if (!pixbuf || !gdk_pixbuf_save(pixbuf, argv[2], "png", &error, nullptr)) {
        std::fprintf(stderr, "xshot: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
