#include "report_rows.h"

#include <algorithm>
#include <cstdio>

#include <gtkmm/frame.h>
#include <gtkmm/main.h>

#include "globals.h"
#include "help.h"
#include "latin1_text.h"
#include "styles.h"
#include "window_util.h"

void FormatUptime(uint32_t seconds, char *out, size_t size)
{
    const unsigned h = seconds / 3600, m = (seconds % 3600) / 60, s = seconds % 60, d = h / 24;
    if (d >= 2)
        snprintf(out, size, "%u Days %02u:%02u:%02u", d, h - 24 * d, m, s);
    else if (d == 1)
        snprintf(out, size, "%u Day %02u:%02u:%02u", d, h - 24, m, s);
    else
        snprintf(out, size, "%02u:%02u:%02u", h, m, s);
}

Gtk::Label *AddReportRow(Gtk::Box &box, const char *text)
{
    auto *frame = Gtk::manage(new Gtk::Frame);
    frame->set_shadow_type(Gtk::SHADOW_NONE);
    auto *label = FixedLabel(text);
    frame->add(*label);
    box.pack_start(*frame, false, false, 0);
    return label;
}

ReportWindow::ReportWindow() : Gtk::Window(Gtk::WINDOW_TOPLEVEL)
{
    // Refreshed once a second: a changed row is all that is drawn again.
    RedrawOnlyWhatChanges(*this);
}

ReportWindow::~ReportWindow()
{
    Unregister();
    Gtk::Main::quit();
}

void ReportWindow::Unregister()
{
    auto it = std::find(OpenWindows.begin(), OpenWindows.end(), this);
    if (it == OpenWindows.end())
        return;
    OpenWindows.erase(it);
    // Unless another window has taken the current help page since, the page
    // of the report window opened last of those still open is current again.
    if (CurrentHelpPage != help_page)
        return;
    for (auto other = OpenWindows.rbegin(); other != OpenWindows.rend(); ++other)
        if (auto *report = dynamic_cast<ReportWindow *>(*other)) {
            CurrentHelpPage = report->help_page;
            return;
        }
}

void ReportWindow::SetHelpPage(const char *const *page)
{
    help_page = page;
    CurrentHelpPage = page;
}

void ReportWindow::ShowOwnHelp()
{
    CurrentHelpPage = help_page;
    ShowHelp();
}

void ReportWindow::Close()
{
    Unregister();
    DestroyWindow(this);
}

void ReportWindow::TitleWithProduct(const char *format, const _STCAPS &caps)
{
    char product[sizeof caps.product_name + 1];
    FieldText(product, caps.product_name);
    char title[64];
    snprintf(title, sizeof title, format, product);
    set_title(Latin1ToUtf8(title));
    set_border_width(5);
}

bool ReportWindow::on_delete_event(GdkEventAny *)
{
    Close();
    return true;
}
