#include "scale_adjustment.h"

#include <cmath>

Glib::RefPtr<sadjustment> sadjustment::create(float value, float lower, float upper, float step,
                                              float page, float page_size)
{
    return Glib::RefPtr<sadjustment>(new sadjustment(value, lower, upper, step, page, page_size));
}

sadjustment::sadjustment(float value, float lower, float upper, float step, float page,
                         float page_size)
    : Gtk::Adjustment(value, lower, upper, step, page, page_size)
{
}

void sadjustment::on_value_changed()
{
    // Setting the whole number raises one more change, which finds nothing
    // left to cut and ends there.
    const double whole = std::trunc(get_value());
    if (whole != get_value())
        set_value(whole);
    Gtk::Adjustment::on_value_changed();
}
