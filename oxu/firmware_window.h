// "Load new Firmware": a file dialog for the image, then the window that
// shows the flash's progress and its result.
#pragma once

#include <climits>

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/filechooserdialog.h>
#include <gtkmm/window.h>

#include "kdr770.h"
#include "signal_meter.h"

extern const char *const FlashResultText[14];
// The progress bar of the window in use.
extern SigMeter *FlashProgressMeter;
void ShowFlashProgress(int percent);

class Flashwin;

class Filesel : public Gtk::FileChooserDialog {
public:
    explicit Filesel(Flashwin *parent);

private:
    void OnResponse(int response);
    Flashwin *parent;
};

class Flashwin : public Gtk::Window {
public:
    explicit Flashwin(kdR770 *adapter);
    ~Flashwin() override;

    void OnFileChosen();
    int Flash();

    Gtk::Button *ok_button = nullptr;
    Gtk::Box *box = nullptr;
    Filesel *file_dialog;
    // Any path the file dialog can give fits.
    char path[PATH_MAX] = {};
    kdR770 *adapter;

protected:
    bool on_delete_event(GdkEventAny *event) override;

private:
    void ShowForFlash();
    // From the file's choice to the flash's end: the window cannot be closed.
    bool flashing = false;
    bool onscreen = false;
};
