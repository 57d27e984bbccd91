// make_icon SIZE FILE.png: writes the client utility's main window picture as
// a square PNG icon of SIZE x SIZE pixels, the whole picture scaled to fit
// and centred between transparent bands, so that the menu entry shows
// what the program's window shows.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdio>
#include <cstdlib>

#include "pictures.h"

int main(int argc, char **argv)
{
    int size = argc == 3 ? std::atoi(argv[1]) : 0;
    if (size < 16 || size > 1024) {
        std::fprintf(stderr, "usage: make_icon SIZE FILE.png (SIZE 16 to 1024)\n");
        return 2;
    }
    GdkPixbuf *picture = gdk_pixbuf_new_from_xpm_data(const_cast<const char **>(MainPicture));
    if (!picture) {
        std::fprintf(stderr, "make_icon: the picture data cannot be read\n");
        return 1;
    }
    int w = gdk_pixbuf_get_width(picture);
    int h = gdk_pixbuf_get_height(picture);
    // The longer side fills the icon.
    int longest = w > h ? w : h;
    int scaledW = (w * size + longest / 2) / longest;
    int scaledH = (h * size + longest / 2) / longest;
    GdkPixbuf *scaled = gdk_pixbuf_scale_simple(picture, scaledW, scaledH, GDK_INTERP_HYPER);
    GdkPixbuf *icon = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, size, size);
    GError *error = nullptr;
    bool ok = scaled && icon;
    if (ok) {
        gdk_pixbuf_fill(icon, 0x00000000);
        gdk_pixbuf_copy_area(scaled, 0, 0, scaledW, scaledH, icon, (size - scaledW) / 2,
                             (size - scaledH) / 2);
        ok = gdk_pixbuf_save(icon, argv[2], "png", &error, nullptr);
    }
    if (!ok)
        std::fprintf(stderr, "make_icon: cannot write %s: %s\n", argv[2],
                     error ? error->message : "out of memory");
    if (error)
        g_error_free(error);
    if (icon)
        g_object_unref(icon);
    if (scaled)
        g_object_unref(scaled);
    g_object_unref(picture);
    return ok ? 0 : 1;
}
