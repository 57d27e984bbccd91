#include "wep_key_window.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtkmm/buttonbox.h>
#include <gtkmm/frame.h>
#include <gtkmm/main.h>

#include "busy_retry.h"
#include "latin1_text.h"
#include "styles.h"
#include "window_util.h"

int WepCapable = 0;
int WepHighSpeed = 0;
int Wep128Capable = 0;

namespace {

const char *const Hint40 = "WEP Keys are 5  bytes (10 Hexadecimal digits)";
const char *const Hint128 = "WEP Keys are 13 bytes (26 Hexadecimal digits)";
const char *const HintHome = "HOME Keys are 13 characters (Ascii bytes) ";

const char *const Headings[5] = {"Key\nset", "               ", "Transmit\nKey",
                                 "                            ", "Key Size\n40   128"};

// Characters a hexadecimal key entry keeps: 13 bytes as digits.
constexpr int HexEntryMax = 26;

// The value of a hexadecimal digit of either case, -1 for anything else.
int HexValue(gunichar c)
{
    if (c >= '0' && c <= '9')
        return int(c - '0');
    if (c >= 'A' && c <= 'F')
        return int(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return int(c - 'a' + 10);
    return -1;
}

// A key record as this window fills it; every byte not given is zero.
_RID_wep_key KeyRecord(int index, const uint8_t *key, int len)
{
    _RID_wep_key k{};
    k.length = sizeof k;
    k.key_index = uint16_t(index);
    k.mac[0] = 1;
    k.key_len = uint16_t(len);
    std::memcpy(k.key, key, size_t(std::min(len, int(sizeof k.key))));
    return k;
}

// The hint follows every size radio; a label is re-laid out on every set.
void SetHint(Gtk::Label &hint, const char *text)
{
    if (hint.get_text() != text)
        hint.set_text(text);
}

Gtk::Label *FixedText(const char *text)
{
    auto *label = Gtk::manage(new Gtk::Label(text));
    UseStyle(*label, FIXED_FONT);
    return label;
}

} // namespace

WepKeyEntry::WepKeyEntry(kdR770 *adapter) : Gtk::Window(Gtk::WINDOW_TOPLEVEL), radio(adapter)
{
    set_title("Enter WEP key(s)");
    set_border_width(10);
    set_modal(true);
    set_resizable(false);
    signal_delete_event().connect([this](GdkEventAny *) {
        DestroyWindow(this);
        return true;
    });

    // What could not be read, or was not answered whole, is not shown as a
    // value: a zero configuration would lose HOME mode and its key, zero
    // capabilities would deny WEP.
    if (RetriedWhole(radio, &kdR770::GetConfiguration, config, aplist, ssid) != 0) {
        GiveUp("Error reading configuration from card,Function aborted");
        return;
    }
    if (RetriedWhole(radio, &kdR770::GetCaps, caps) != 0) {
        GiveUp("Error reading capabilities from card,Function aborted");
        return;
    }
    WepHighSpeed = caps.wep_caps & WEPCAP_ALL_RATES;
    WepCapable = caps.cap_flags & CAP_WEP;
    // Afresh every time, so that no value of an earlier adapter lingers.
    Wep128Capable = WepCapable && WepHighSpeed && (caps.wep_caps & WEPCAP_128) &&
                    (caps.cap_flags & CAP_128BIT);
    homemode = config.home_flags & 1;

    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    add(*column);
    hint = Gtk::manage(new Gtk::Label(Hint40));
    column->pack_start(*hint, false, false, 0);
    column->pack_start(*Gtk::manage(new Gtk::Label("")), false, false, 0);
    auto *headings = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0));
    for (const char *text : Headings)
        headings->pack_start(*FixedText(text), false, false, 0);
    column->pack_start(*headings, false, false, 0);

    for (int row = 0; row < HomeRow; ++row)
        column->pack_start(*Gtk::manage(BuildRow(row)), false, false, 0);
    homerow.reset(BuildRow(HomeRow));
    if (homemode) {
        column->pack_start(*homerow, false, false, 0);
        transmit[HomeRow]->set_active(true);
        transmit[HomeRow]->set_sensitive(false);
        for (int row = 0; row < HomeRow; ++row)
            for (Gtk::Widget *w : std::initializer_list<Gtk::Widget *>{
                     transmit[row], entries[row], size40[row], size128[row]})
                w->set_sensitive(false);
        size128[HomeRow]->signal_toggled().connect([this] {
            if (size128[HomeRow]->get_active())
                ShowHintHome();
        });
        size128[HomeRow]->set_active(true);
        size40[HomeRow]->set_sensitive(false);
        size128[HomeRow]->set_sensitive(false);
    }

    int txkey = 0;
    if (ReadKeys(txkey) < 0) {
        GiveUp("Error reading keys from card,Function aborted");
        return;
    }
    ShowRecords();
    if (!homemode) {
        // Row 5 is not shown outside HOME mode, so index 4 names no row either.
        if (txkey >= 0 && txkey < HomeRow)
            transmit[txkey]->set_active(true);
    } else {
        size128[HomeRow]->set_active(true);
    }

    auto *frame = Gtk::manage(new Gtk::Frame("WEP Key Type"));
    auto *types = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    temporary = Gtk::manage(new Gtk::RadioButton("Temporary"));
    Gtk::RadioButton::Group group = temporary->get_group();
    persistant = Gtk::manage(new Gtk::RadioButton(group, "Persistant"));
    types->pack_start(*temporary, false, false, 0);
    types->pack_start(*persistant, false, false, 0);
    frame->add(*types);
    column->pack_start(*frame, false, false, 0);
    temporary->signal_toggled().connect([this] {
        if (temporary->get_active())
            SetTemporary();
    });
    persistant->signal_toggled().connect([this] {
        if (persistant->get_active())
            SetPersistent();
    });
    persistant->set_active(true);
    persistent = 1;

    const char *format = !WepCapable      ? "This %s Does not support WEP"
                         : !WepHighSpeed  ? "The %s Supports WEP at 1 and 2 mbps only "
                         : !Wep128Capable ? "This %s Suports only 40 bit WEP"
                                          : "The %s Supports High speed WEP at 40 and 128 bits";
    const std::string product = Latin1ToUtf8(caps.product_name);
    char line[128];
    std::snprintf(line, sizeof line, format, product.c_str());
    capability = Gtk::manage(new Gtk::Label(line));
    column->pack_start(*capability, false, false, 10);
    if (WepCapable && WepHighSpeed) {
        if (Wep128Capable)
            ShowHint128();
        else
            ShowHint40();
    }

    auto *buttons = Gtk::manage(new Gtk::ButtonBox(Gtk::ORIENTATION_HORIZONTAL));
    buttons->set_layout(Gtk::BUTTONBOX_END);
    buttons->set_spacing(10);
    okbutton = Gtk::manage(new Gtk::Button("OK"));
    applybutton = Gtk::manage(new Gtk::Button("Apply"));
    cancelbutton = Gtk::manage(new Gtk::Button("Cancel"));
    buttons->add(*okbutton);
    buttons->add(*applybutton);
    buttons->add(*cancelbutton);
    column->pack_start(*buttons, false, false, 10);
    okbutton->signal_clicked().connect(sigc::mem_fun(*this, &WepKeyEntry::OnOk));
    applybutton->signal_clicked().connect([this] { Apply(); });
    cancelbutton->signal_clicked().connect([this] { DestroyWindow(this); });

    PlaceOverMain(*this, 58, -15);
    show_all();
}

WepKeyEntry::~WepKeyEntry()
{
    // The window's end is the end of the loop that the menu command runs.
    Gtk::Main::quit();
}

Gtk::Box *WepKeyEntry::BuildRow(int row)
{
    const bool home = row == HomeRow;
    auto *box = new Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 0);
    rowbox = box;

    keyset[row] = Gtk::manage(new Gtk::CheckButton);
    keyset[row]->set_sensitive(home);
    char label[32];
    std::snprintf(label, sizeof label, home ? " HOME Key %1d:     " : " WEP Key %1d:      ", row + 1);
    if (row == 0) {
        transmit[row] = Gtk::manage(new Gtk::RadioButton);
    } else {
        Gtk::RadioButton::Group group = transmit[0]->get_group();
        transmit[row] = Gtk::manage(new Gtk::RadioButton(group));
    }
    entries[row] = Gtk::manage(new Gtk::Entry);
    if (home) {
        LimitToLatin1(*entries[row], int(sizeof keys[row].key));
    } else {
        entries[row]->set_max_length(HexEntryMax);
        entries[row]->set_width_chars(HexEntryMax);
    }
    size40[row] = Gtk::manage(new Gtk::RadioButton);
    Gtk::RadioButton::Group sizes = size40[row]->get_group();
    size128[row] = Gtk::manage(new Gtk::RadioButton(sizes));

    box->pack_start(*keyset[row], false, false, 0);
    box->pack_start(*FixedText(label), false, false, 0);
    box->pack_start(*transmit[row], false, false, 0);
    box->pack_start(*entries[row], false, false, 10);
    box->pack_start(*size40[row], false, false, 0);
    box->pack_end(*size128[row], false, false, 0);

    size40[row]->signal_toggled().connect([this, row] {
        if (size40[row]->get_active())
            ShowHint40();
    });
    size128[row]->signal_toggled().connect([this, row] {
        if (size128[row]->get_active())
            ShowHint128();
    });
    if (!home) {
        if (!(WepCapable && Wep128Capable))
            size128[row]->set_sensitive(false);
        if (!WepCapable) {
            size40[row]->set_sensitive(false);
            entries[row]->set_sensitive(false);
        }
    }
    return box;
}

int WepKeyEntry::ReadKeys(int &txkey)
{
    txkey = 0;
    for (auto &key : keys)
        key = _RID_wep_key{};
    // Five keys at most, then the selector. A readout that breaks off before
    // the selector leaves unknown which keys are stored and which one
    // transmits, so an untouched "OK" could overwrite them: it counts as
    // failed.
    // A record not answered whole (cut short, an index of no key, a
    // selector naming none, a key longer than the record holds) fails the
    // readout too.
    int count = 0;
    for (int read = 0; read <= Rows; ++read) {
        _RID_wep_key record;
        if (RetriedWholeKey(radio, read == 0 ? &kdR770::GetFirstWepKey : &kdR770::GetNextWepKey,
                            record) != 0)
            return -1;
        if (record.key_index == WEP_SELECTOR_INDEX) {
            txkey = record.mac[0] | record.mac[1] << 8;
            return count;
        }
        if (read == Rows)
            return -1;
        keys[record.key_index] = record;
        ++count;
    }
    return -1;
}

void WepKeyEntry::ShowRecords()
{
    for (int row = 0; row < Rows; ++row) {
        const int len = keys[row].key_len;
        keyset[row]->set_active(len != 0);
        (len > 5 ? size128 : size40)[row]->set_active(true);
    }
}

int WepKeyEntry::ParseHexKey(int row)
{
    const Glib::ustring text = entries[row]->get_text();
    const int expected = size40[row]->get_active() ? 10 : 26;
    const int length = int(text.size());
    if (length != expected) {
        Say("Key %d has improper length [%d] should be %d", row + 1, length, expected);
        return -1;
    }
    uint8_t digits[HexEntryMax];
    int pos = 0;
    for (gunichar c : text) {
        const int value = HexValue(c);
        if (value < 0) {
            entries[row]->select_region(pos, pos + 1);
            Say("Key %d has invalid character. Check key window for hi-lighted character and "
                "correct",
                row + 1);
            return -1;
        }
        digits[pos++] = uint8_t(value);
    }
    uint8_t key[sizeof keys[row].key];
    const int bytes = expected / 2;
    for (int b = 0; b < bytes; ++b)
        key[b] = uint8_t(digits[2 * b] << 4 | digits[2 * b + 1]);
    // A fresh record: a shorter key must not keep the tail of a longer one.
    keys[row] = KeyRecord(row, key, bytes);
    changed[row] = 1;
    return 0;
}

int WepKeyEntry::SetHomeKey()
{
    const Glib::ustring text = entries[HomeRow]->get_text();
    // Nothing typed keeps a stored HOME key.
    if (text.empty() && keys[HomeRow].key_len != 0)
        return 0;
    uint8_t key[sizeof keys[HomeRow].key] = {};
    std::string bytes;
    // The entry takes only Latin-1 text of at most 13 characters.
    if (Utf8ToLatin1(text.raw(), bytes))
        std::memcpy(key, bytes.data(), std::min(bytes.size(), sizeof key));
    keys[HomeRow] = KeyRecord(HomeRow, key, int(sizeof key));
    changed[HomeRow] = 1;
    return 0;
}

int WepKeyEntry::Apply()
{
    if (homemode) {
        SetHomeKey();
    } else {
        for (int row = 0; row < Rows; ++row)
            if (!entries[row]->get_text().empty() && ParseHexKey(row) != 0)
                return -1;
    }
    int tx = 0;
    for (int row = 0; row < Rows; ++row)
        if (transmit[row]->get_active())
            tx = row;
    if (keys[tx].key_len == 0) {
        Say("Transmit Key %d length is zero !", tx + 1);
        return -1;
    }
    for (int row = 0; row < Rows; ++row) {
        // A selector naming a key the adapter may not hold is never written.
        if (changed[row] && Retried(radio, &kdR770::WriteWepKey, keys[row], persistent != 0) != 0) {
            Say("Error writing key %d to card,Function aborted", row + 1);
            return -1;
        }
    }
    _RID_wep_key selector = TransmitKeySelector(uint8_t(tx));
    ShowRecords();
    transmit[tx]->set_active(true);
    if (Retried(radio, &kdR770::WriteWepKey, selector, persistent != 0) != 0) {
        Say("Error writing transmit key to card");
        return -1;
    }
    return 0;
}

void WepKeyEntry::OnOk()
{
    // Refused input and failed writes both keep the window open.
    if (Apply() == 0)
        DestroyWindow(this);
}

Gtk::Window *WepKeyEntry::ShowError(const char *const *texts)
{
    auto *window = new Gtk::Window(Gtk::WINDOW_TOPLEVEL);
    window->set_size_request(600, 400);
    window->set_modal(true);
    auto *column = Gtk::manage(new Gtk::Box(Gtk::ORIENTATION_VERTICAL, 0));
    for (; texts && *texts; ++texts)
        column->pack_start(*Gtk::manage(new Gtk::Label(*texts)), true, true, 0);
    auto *ok = Gtk::manage(new Gtk::Button("Ok"));
    ok->set_halign(Gtk::ALIGN_CENTER);
    column->pack_start(*ok, false, false, 0);
    window->add(*column);
    ok->signal_clicked().connect([window] { DestroyWindow(window); });
    window->signal_delete_event().connect([window](GdkEventAny *) {
        DestroyWindow(window);
        return true;
    });
    window->show_all();
    return window;
}

Gtk::Window *WepKeyEntry::Say(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    return ShowError(messages);
}

void WepKeyEntry::GiveUp(const char *why)
{
    // Never shown: once the user has read why, the window goes, and with it
    // the loop that the menu runs for it.
    std::snprintf(message, sizeof message, "%s", why);
    ShowError(messages)->signal_hide().connect(sigc::mem_fun(*this, &WepKeyEntry::Abandon));
}

void WepKeyEntry::Abandon()
{
    DestroyWindow(this);
}

void WepKeyEntry::SetPersistent()
{
    persistent = 1;
}

void WepKeyEntry::SetTemporary()
{
    persistent = 0;
}

void WepKeyEntry::ShowHint40()
{
    SetHint(*hint, Hint40);
}

void WepKeyEntry::ShowHint128()
{
    SetHint(*hint, Hint128);
}

void WepKeyEntry::ShowHintHome()
{
    SetHint(*hint, HintHome);
}
