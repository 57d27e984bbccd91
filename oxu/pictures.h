// Pictures compiled into the client utility as XPM data, for
// Gdk::Pixbuf::create_from_xpm_data; drawn by tools/make_pictures.py.
#pragma once

// 424 x 270, 5 colours: the main window's picture.
extern const char *const MainPicture[];

// 41 x 37: the sign beside an error message.
extern const char *const ErrorPicture[];
