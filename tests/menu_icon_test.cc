// The installed menu icons of oxu: square PNGs showing the main window's
// picture (424 x 270) scaled to the icon's width, centred between
// transparent bands.
#include <gtest/gtest.h>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>
#include <string>

namespace {

struct Pixel {
    uint8_t r, g, b, a;
};

class Icon {
public:
    explicit Icon(const std::string &path) : pb_(gdk_pixbuf_new_from_file(path.c_str(), nullptr)) {}
    ~Icon()
    {
        if (pb_)
            g_object_unref(pb_);
    }
    Icon(const Icon &) = delete;
    Icon &operator=(const Icon &) = delete;

    bool loaded() const { return pb_ != nullptr; }
    int width() const { return gdk_pixbuf_get_width(pb_); }
    int height() const { return gdk_pixbuf_get_height(pb_); }
    bool hasAlpha() const { return gdk_pixbuf_get_has_alpha(pb_); }
    Pixel at(int x, int y) const
    {
        const guint8 *p = gdk_pixbuf_read_pixels(pb_) + y * gdk_pixbuf_get_rowstride(pb_) +
                          x * gdk_pixbuf_get_n_channels(pb_);
        return {p[0], p[1], p[2], p[3]};
    }

private:
    GdkPixbuf *pb_;
};

void ExpectColour(const Icon &icon, int x, int y, uint32_t rgb, const char *what)
{
    Pixel p = icon.at(x, y);
    SCOPED_TRACE(std::string(what) + " at " + std::to_string(x) + "," + std::to_string(y));
    EXPECT_EQ(p.a, 255);
    EXPECT_NEAR(p.r, (rgb >> 16) & 0xFF, 2);
    EXPECT_NEAR(p.g, (rgb >> 8) & 0xFF, 2);
    EXPECT_NEAR(p.b, rgb & 0xFF, 2);
}

// A point of the picture (in its own 424 x 270 pixels) in an icon of the size.
int Scaled(int v, int size) { return v * size / 424; }

TEST(MenuIcon, IsTheMainWindowPictureLetterboxedInASquare)
{
    for (int size : {48, 256}) {
        SCOPED_TRACE("icon " + std::to_string(size));
        Icon icon(std::string(ICON_DIR) + "/" + std::to_string(size) + "/oxu.png");
        ASSERT_TRUE(icon.loaded());
        ASSERT_EQ(icon.width(), size);
        ASSERT_EQ(icon.height(), size);
        ASSERT_TRUE(icon.hasAlpha());

        // The picture is 270 / 424 of the icon's height, in its middle.
        int top = (size - 270 * size / 424) / 2;
        int bottom = top + 270 * size / 424;
        EXPECT_EQ(icon.at(size / 2, 0).a, 0);
        EXPECT_EQ(icon.at(size / 2, top - 2).a, 0);
        EXPECT_EQ(icon.at(size / 2, bottom + 1).a, 0);
        EXPECT_EQ(icon.at(size / 2, size - 1).a, 0);

        // Sky at the top left, hills at the bottom left, and the card's dark
        // body just right of its metal connector edge.
        ExpectColour(icon, Scaled(20, size), top + Scaled(20, size), 0xD6E8F5, "sky");
        ExpectColour(icon, Scaled(20, size), top + Scaled(262, size), 0x9DC4A4, "hills");
        ExpectColour(icon, Scaled(71, size), top + Scaled(175, size), 0x24385A, "card");
    }
}

} // namespace
