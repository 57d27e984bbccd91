#include "signal_meter.h"

#include <cairomm/context.h>

SigMeter::SigMeter()
{
    add_events(Gdk::EXPOSURE_MASK | Gdk::POINTER_MOTION_MASK | Gdk::POINTER_MOTION_HINT_MASK |
               Gdk::BUTTON_PRESS_MASK | Gdk::LEAVE_NOTIFY_MASK);
}

void SigMeter::on_size_allocate(Gtk::Allocation &allocation)
{
    Gtk::DrawingArea::on_size_allocate(allocation);
    // Every new size starts blank until the next value.
    pixmap = Cairo::ImageSurface::create(Cairo::FORMAT_RGB24, allocation.get_width(),
                                         allocation.get_height());
    drawn = false;
    Fill(0, 0, allocation.get_width(), allocation.get_height(), 1, 1, 1);
}

bool SigMeter::on_draw(const Cairo::RefPtr<Cairo::Context> &cr)
{
    if (pixmap) {
        cr->set_source(pixmap, 0, 0);
        cr->paint();
    }
    return false;
}

void SigMeter::Fill(int x, int y, int width, int height, double r, double g, double b)
{
    if (width <= 0 || height <= 0)
        return;
    auto cr = Cairo::Context::create(pixmap);
    cr->set_antialias(Cairo::ANTIALIAS_NONE);
    cr->set_source_rgb(r, g, b);
    cr->rectangle(x, y, width, height);
    cr->fill();
}

void SigMeter::Update(int value)
{
    if (!pixmap || (drawn && value == drawn_value && threshold == drawn_threshold))
        return;
    drawn = true;
    drawn_value = value;
    drawn_threshold = threshold;
    const int w = uint16_t(get_allocated_width()), h = uint16_t(get_allocated_height());
    // The ground is cleared from the value itself; the bar then covers the
    // part between. The width is a whole number of pixels per percent, so a
    // meter narrower than 100 pixels shows no bar. The fields are 16 bits
    // wide, so a negative value's bar wraps to one across the whole meter.
    const int clearX = int16_t(value), clearW = uint16_t(w - value);
    // A negative value has no bar (its 16-bit width would wrap round to a
    // bar across the whole meter).
    const int barW = value > 0 ? uint16_t((w / 100) * value) : 0;
    Fill(clearX, 1, clearW, h, 1, 1, 1);
    queue_draw_area(clearX, 1, clearW, h);
    const bool low = value < threshold;
    Fill(1, 1, barW, h, low ? 1 : 0, low ? 0 : 1, 0);
    queue_draw_area(1, 1, barW, h);
}
