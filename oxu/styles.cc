#include "styles.h"

#include <gtkmm/cssprovider.h>
#include <gtkmm/stylecontext.h>

void InstallStyles()
{
    static Glib::RefPtr<Gtk::CssProvider> provider;
    if (provider)
        return;
    provider = Gtk::CssProvider::create();
    provider->load_from_data(".fixed { font-family: monospace; font-size: 10pt; }\n"
                             ".smallsans { font-family: Sans; font-size: 10px; }\n"
                             ".compact { font-family: Sans; font-size: 12px; }\n"
                             ".compact entry { min-height: 16px; padding-top: 0; padding-bottom: 0; }\n"
                             ".compact button { min-height: 16px; padding: 1px 6px; }\n"
                             ".compact radiobutton, .compact checkbutton { padding: 0; min-height: 0; }\n"
                             ".compact tab { min-height: 0; padding: 1px 4px; }\n"
                             ".compact tab label { font-size: 9px; }\n"
                             ".red { color: red; }\n"
                             ".blue { color: blue; }\n");
    Gtk::StyleContext::add_provider_for_screen(Gdk::Screen::get_default(), provider,
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void UseStyle(Gtk::Widget &widget, const char *style)
{
    widget.get_style_context()->add_class(style);
}
