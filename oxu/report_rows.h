// Pieces shared by the fixed-pitch report windows.
#pragma once

#include <cstdint>
#include <cstddef>

#include <gtkmm/box.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

#include "records.h"

// The up time as the reports show it: "hh:mm:ss", "1 Day hh:mm:ss" or
// "N Days hh:mm:ss".
void FormatUptime(uint32_t seconds, char *out, size_t size);

// A report row: a left-aligned label in the fixed font, in a frame without a
// shadow, packed at the start of box.
Gtk::Label *AddReportRow(Gtk::Box &box, const char *text);

// A report window opened from the menu: listed among the open report windows
// while it lives, and its end is the end of the nested loop run for it.
class ReportWindow : public Gtk::Window {
public:
    ReportWindow();
    ~ReportWindow() override;

    // Removes this window from the open report windows (the first entry).
    void Unregister();
    // " Ok " / "OK": unregistered, then destroyed.
    void Close();
    // The title: format with the adapter's product name in its %s.
    void TitleWithProduct(const char *format, const _STCAPS &caps);
    // "Help": this window's own page.
    void ShowOwnHelp();

protected:
    // Closed by the window manager: the same as its own button.
    bool on_delete_event(GdkEventAny *event) override;
    // This window's row of the help pages, current from now on.
    void SetHelpPage(const char *const *page);

private:
    const char *const *help_page = nullptr;
};
