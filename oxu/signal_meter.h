// A horizontal bar meter: a percentage drawn from the left, red below a
// threshold and green at or above it, on white. It draws into a backing
// surface of its own size, so the bar survives being covered.
#pragma once

#include <cairomm/surface.h>
#include <gtkmm/drawingarea.h>

class SigMeter : public Gtk::DrawingArea {
public:
    SigMeter();

    void SetThreshold(int value) { threshold = value; }
    void Update(int value);

    // The backing surface: null until the widget has its size.
    Cairo::RefPtr<Cairo::ImageSurface> pixmap;
    int threshold = 25;

protected:
    bool on_draw(const Cairo::RefPtr<Cairo::Context> &cr) override;
    void on_size_allocate(Gtk::Allocation &allocation) override;

private:
    void Fill(int x, int y, int width, int height, double r, double g, double b);

    // What the backing surface shows since it was made: the same value and
    // threshold again would paint the same pixels, so they are not drawn.
    bool drawn = false;
    int drawn_value = 0;
    int drawn_threshold = 0;
};
