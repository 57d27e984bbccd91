// The value range behind the property pages' scales: it keeps its value a
// whole number, whatever the scale is dragged to.
#pragma once

#include <glibmm/refptr.h>
#include <gtkmm/adjustment.h>

class sadjustment : public Gtk::Adjustment {
public:
    static Glib::RefPtr<sadjustment> create(float value, float lower, float upper, float step,
                                            float page, float page_size);

protected:
    sadjustment(float value, float lower, float upper, float step, float page, float page_size);
    void on_value_changed() override;
};
