// The bar meter in-process: what Update paints on the backing surface, and
// that the screen shows that surface.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

#include <gdkmm/pixbuf.h>
#include <gtkmm/window.h>

#include "gui.h"
#include "signal_meter.h"

namespace {

char Colour(uint32_t rgb)
{
    switch (rgb) {
    case 0xFFFFFF: return 'W';
    case 0xFF0000: return 'R';
    case 0x00FF00: return 'G';
    default: return '?';
    }
}

// Pixels as runs of colour, "W1 R40 W359".
class RunWriter {
public:
    void Add(char c)
    {
        if (n_ && c != cur_)
            Flush();
        cur_ = c;
        ++n_;
    }
    std::string Done()
    {
        Flush();
        return out_;
    }

private:
    void Flush()
    {
        if (!n_)
            return;
        out_ += (out_.empty() ? "" : " ") + std::string(1, cur_) + std::to_string(n_);
        n_ = 0;
    }
    std::string out_;
    char cur_ = 0;
    int n_ = 0;
};

// One row of an RGB24 surface: native 32-bit words, 0x00RRGGBB.
std::string SurfaceRow(const Cairo::RefPtr<Cairo::ImageSurface> &s, int y)
{
    s->flush();
    const unsigned char *row = s->get_data() + y * s->get_stride();
    RunWriter runs;
    for (int x = 0; x < s->get_width(); ++x) {
        uint32_t px;
        std::memcpy(&px, row + 4 * x, 4);
        runs.Add(Colour(px & 0xFFFFFF));
    }
    return runs.Done();
}

std::string PixbufRow(const Glib::RefPtr<Gdk::Pixbuf> &p, int y)
{
    const guint8 *row = p->get_pixels() + y * p->get_rowstride();
    RunWriter runs;
    for (int x = 0; x < p->get_width(); ++x) {
        const guint8 *px = row + x * p->get_n_channels();
        runs.Add(Colour(uint32_t(px[0]) << 16 | uint32_t(px[1]) << 8 | px[2]));
    }
    return runs.Done();
}

class SigMeterTest : public ::testing::Test {
protected:
    // The window follows the meter's size both ways.
    SigMeterTest() { window.set_resizable(false); }

    // Shows the meter at this size and waits until its surface has it.
    void Show(int width, int height = 20)
    {
        meter->set_size_request(width, height);
        if (!meter->get_parent())
            window.add(*meter);
        window.show_all();
        RunUntil(
            [&] {
                return meter->pixmap && meter->pixmap->get_width() == width &&
                       meter->pixmap->get_height() == height;
            },
            "the meter's surface at " + std::to_string(width) + " x " + std::to_string(height));
        ASSERT_TRUE(meter->pixmap);
        ASSERT_EQ(meter->get_allocated_width(), width);
        ASSERT_EQ(meter->pixmap->get_width(), width);
        ASSERT_EQ(meter->pixmap->get_height(), height);
    }

    // The rows that Update paints are all alike; row 0 it never touches.
    void ExpectBar(const std::string &painted)
    {
        const int w = meter->pixmap->get_width(), h = meter->pixmap->get_height();
        EXPECT_EQ(SurfaceRow(meter->pixmap, 0), "W" + std::to_string(w));
        EXPECT_EQ(SurfaceRow(meter->pixmap, 1), painted);
        EXPECT_EQ(SurfaceRow(meter->pixmap, h - 1), painted);
    }

    Gtk::Window window;
    SigMeter *meter = Gtk::manage(new SigMeter);
};

TEST_F(SigMeterTest, UpdateBeforeTheFirstAllocationDrawsNothing)
{
    meter->Update(50);
    EXPECT_FALSE(meter->pixmap);
    Show(400);
    ExpectBar("W400");
}

TEST_F(SigMeterTest, BarLengthAndColourFollowValueAndThreshold)
{
    Show(400);
    EXPECT_EQ(meter->threshold, 25);
    struct Case {
        int threshold;
        int value;
        const char *painted;
    } cases[] = {
        {25, 10, "W1 R40 W359"},
        {25, 24, "W1 R96 W303"},
        {25, 25, "W1 G100 W299"},
        {25, 50, "W1 G200 W199"},
        // A shorter bar after a longer one: the rest is cleared.
        {25, 10, "W1 R40 W359"},
        {25, 100, "W1 G399"},
        {25, 0, "W400"},
        // Not clamped: the bar runs to the edge.
        {25, 150, "W1 G399"},
        {25, 1, "W1 R4 W395"},
        // A negative percentage has no bar; the clearing reaches column 0.
        {25, -5, "W400"},
        // The firmware progress threshold: 0 would be red but has no width.
        {1, 0, "W400"},
        {1, 1, "W1 G4 W395"},
        {1, 24, "W1 G96 W303"},
        {1, 100, "W1 G399"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.threshold) + "/" + std::to_string(c.value));
        meter->SetThreshold(c.threshold);
        meter->Update(c.value);
        ExpectBar(c.painted);
    }
}

TEST_F(SigMeterTest, ResizeBlanksAndBarGrowsInWholePixelsPerPercent)
{
    Show(400);
    meter->Update(50);
    ExpectBar("W1 G200 W199");
    struct Case {
        int width, height;
        const char *painted;  // for 50 %
    } cases[] = {
        {600, 30, "W1 G300 W299"},
        {250, 20, "W1 G100 W149"},
        {100, 20, "W1 G50 W49"},
        // Narrower than 100 pixels: no bar at all.
        {99, 20, "W99"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.width);
        Show(c.width, c.height);
        ExpectBar("W" + std::to_string(c.width));
        meter->Update(50);
        ExpectBar(c.painted);
    }
}

TEST_F(SigMeterTest, ScreenShowsTheSurfaceAndKeepsItWhenRedrawn)
{
    Show(400);
    meter->Update(10);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        // The second pass redraws without a new value.
        if (pass)
            meter->queue_draw();
        std::string shown;
        RunUntil(
            [&] {
                auto pixbuf = Gdk::Pixbuf::create(meter->get_window(), 0, 0, 400, 20);
                shown = PixbufRow(pixbuf, 0) + "|" + PixbufRow(pixbuf, 10);
                return shown == "W400|W1 R40 W359";
            },
            "the bar on the screen");
        EXPECT_EQ(shown, "W400|W1 R40 W359");
    }
}

} // namespace
