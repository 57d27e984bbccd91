#include "firmware_window.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include <gtkmm/frame.h>
#include <gtkmm/label.h>
#include <gtkmm/main.h>

#include "whole_answers.h"
#include "window_util.h"

const char *const FlashResultText[14] = {
    "Firmware update succesful",
    "File not found or unreadable",
    "Invalid file type ",
    "Firmware file checksum error",
    "Cannot allocate memory",
    "Cannot set card in flash update mode",
    "Error getting characters from  radio card",
    "Error writing characters to radio card",
    "Error erasing flash memory",
    "Cannot write firmware block to card",
    "Error in completing firmware updgrade",
    "Error restarting card",
    "Error reseting card",
    "Error communicating with resident monitor",
};

SigMeter *FlashProgressMeter = nullptr;

void ShowFlashProgress(int percent)
{
    if (!FlashProgressMeter)
        return;
    FlashProgressMeter->Update(percent);
    // The flash holds the main loop: the bar goes to the screen at once.
    DrawNow(*FlashProgressMeter);
}

Filesel::Filesel(Flashwin *owner)
    : Gtk::FileChooserDialog("File selection", Gtk::FILE_CHOOSER_ACTION_OPEN), parent(owner)
{
    add_button("Cancel", Gtk::RESPONSE_CANCEL);
    add_button("OK", Gtk::RESPONSE_OK);
    // Opens where the images are usually kept, the working directory's
    // "firmware" folder, when there is one.
    char cwd[PATH_MAX];
    struct stat st;
    if (getcwd(cwd, sizeof cwd) && stat("firmware", &st) == 0 && S_ISDIR(st.st_mode))
        set_current_folder(std::string(cwd) + "/firmware");
    signal_response().connect(sigc::mem_fun(*this, &Filesel::OnResponse));
}

void Filesel::OnResponse(int response)
{
    switch (response) {
    case Gtk::RESPONSE_OK:
        parent->OnFileChosen();
        break;
    case Gtk::RESPONSE_CANCEL:
        DestroyWindow(parent);
        DestroyWindow(this);
        break;
    default:
        // Closed by the window manager: the nested loop ends at once; the
        // firmware window stays hidden and unused.
        Gtk::Main::quit();
        DestroyWindow(this);
        break;
    }
}

Flashwin::Flashwin(kdR770 *radio) : Gtk::Window(Gtk::WINDOW_TOPLEVEL), adapter(radio)
{
    set_modal(true);
    file_dialog = new Filesel(this);
    file_dialog->show_all();
}

Flashwin::~Flashwin()
{
    if (FlashProgressMeter && FlashProgressMeter->get_toplevel() == this)
        FlashProgressMeter = nullptr;
    // The window's end is the end of the loop that the menu command runs.
    Gtk::Main::quit();
}

bool Flashwin::on_delete_event(GdkEventAny *)
{
    if (!flashing)
        DestroyWindow(this);
    return true;
}

void Flashwin::OnFileChosen()
{
    std::snprintf(path, sizeof path, "%s", file_dialog->get_filename().c_str());
    ok_button = Gtk::manage(new Gtk::Button("OK"));
    box = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    FlashProgressMeter = Gtk::manage(new SigMeter);
    FlashProgressMeter->set_size_request(600, 20);
    FlashProgressMeter->set_halign(Gtk::ALIGN_START);
    FlashProgressMeter->SetThreshold(1);
    auto *progress = Gtk::manage(new Gtk::Frame("Firmware update progress"));
    progress->add(*FlashProgressMeter);

    set_size_request(604, 130);
    set_position(Gtk::WIN_POS_CENTER);
    set_modal(true);
    set_title("Updating firmware");
    add(*box);
    box->pack_start(*progress, false, false, 0);
    ok_button->signal_clicked().connect([this] { DestroyWindow(this); });
    flashing = true;
    signal_map_event().connect([this](GdkEventAny *) {
        onscreen = true;
        return false;
    });
    show_all();
    // Off the screen before the flash; deleted once its own response
    // handler, which runs this, has returned.
    file_dialog->hide();
    ShowForFlash();
    Flash();
    flashing = false;
    DestroyWindow(file_dialog);
}

// The flash holds the main loop until it ends: first the window is put on
// the screen and drawn. Meanwhile only this modal window takes input, and it
// cannot be closed.
void Flashwin::ShowForFlash()
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!onscreen && std::chrono::steady_clock::now() < until) {
        if (Gtk::Main::events_pending())
            Gtk::Main::iteration(false);
        else
            g_usleep(1000);
    }
    DrawNow(*this);
}

int Flashwin::Flash()
{
    CFG_R770 cfg{};
    _STAPLIST aplist{};
    _STSSID ssid{};
    _STSTATUS status{};
    // Only a configuration read whole is put back: one that failed or was
    // cut short would replace the adapter's settings with marks or zeros.
    const bool configRead = ReadWholeConfiguration(*adapter, cfg, aplist, ssid) == 0;
    // A status that failed or was cut short tells nothing of the radio: it
    // is switched on then, as after a failed flash, not off on zeros.
    const bool statusRead = ReadWhole([&] { return adapter->GetStatus(status); }, status) == 0;
    adapter->SetMac(false);
    unsigned code = unsigned(adapter->FlashAdapter(path, ShowFlashProgress));
    if (code == 0) {
        if (configRead)
            adapter->SetConfiguration(cfg, aplist, ssid);
        adapter->SetMac(!statusRead || (status.status_word & STATUS_RADIO_ENABLED));
    } else {
        if (code > 13)
            code = 13;
        adapter->SetMac(true);
    }

    auto *result = Gtk::manage(new Gtk::Frame);
    result->add(*Gtk::manage(new Gtk::Label(FlashResultText[code])));
    box->pack_start(*result, false, false, 0);
    auto *row = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    row->pack_start(*ok_button, true, false, 0);
    box->pack_start(*row, false, false, 0);
    show_all();
    return int(code);
}
