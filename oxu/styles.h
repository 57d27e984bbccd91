// Fonts and colours of the client utility's widgets, as style classes.
#pragma once

#include <gtkmm/widget.h>

// The fixed-pitch font of the report windows and entry rows.
inline constexpr const char *FIXED_FONT = "fixed";
// The small proportional font of the main window.
inline constexpr const char *SMALL_FONT = "smallsans";
// The properties window: the toolkit's plain font and tight spacing, so that
// every page fits its 540 x 320 notebook.
inline constexpr const char *COMPACT = "compact";

// Installs the style classes for the default screen; once, after the toolkit
// has started.
void InstallStyles();

// Gives a widget one of the style classes above.
void UseStyle(Gtk::Widget &widget, const char *style);
