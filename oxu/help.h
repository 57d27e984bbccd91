// The help pages: an external HTML browser started on the page of the window
// that asks, and the dialog that asks for that browser's path.
#pragma once

#include <glibmm/ustring.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/buttonbox.h>
#include <gtkmm/entry.h>
#include <gtkmm/widget.h>
#include <gtkmm/window.h>

// 0-5 the properties notebook's pages in tab order, 6 statistics, 7 status.
extern const char *const HelpPages[8];
// The row of HelpPages that "Help" shows; null until a window sets it.
extern const char *const *CurrentHelpPage;
// 1 while the last request went to a running browser's remote control.
extern int HelpRemoteFlag;

// Shows the current help page in the browser, asking for its path first
// when none is stored.
void ShowHelp();
// The stored browser path; asks for it when there is none. Null when the
// user gave none.
const char *HelpBrowserPath();
// SIGCHLD handler: only wakes the main loop, which collects the children.
void HelpChildExited(int signo);
// Index of the first occurrence of pattern in text; -1 when there is none
// or the text is empty.
int FindSubstring(const char *text, const char *pattern);
// The notebook's page switch: the help page follows the page shown.
void SelectHelpPage(Gtk::Widget *page, guint number);
// Leaves the innermost main loop.
void QuitMainLoop();

// Asks for the browser's path; shown by its constructor. Its destruction
// leaves the innermost main loop.
class browse : public Gtk::Window {
public:
    browse();
    ~browse() override;

    const char *CurrentBrowser();
    void OnOk();

    Gtk::ButtonBox *buttons;
    Gtk::Box *outer;
    Gtk::Box *promptbox;
    Gtk::Entry *entry;
    Gtk::Button *okbutton;

private:
    bool OnDelete(GdkEventAny *);
    void Close();

    bool closing = false;
};
