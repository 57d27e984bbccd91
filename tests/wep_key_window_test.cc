// The "Enter WEP key(s)" window behind the CEM menu: what it shows of the
// stored keys, what it refuses, and the key records it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include <glibmm/main.h>
#include <gtkmm/main.h>

#include "command_menus.h"
#include "globals.h"
#include "gui.h"
#include "main_window.h"
#include "password_dialog.h"
#include "wep_key_window.h"
#include "wep_records.h"

namespace {

const char *const Hint40 = "WEP Keys are 5  bytes (10 Hexadecimal digits)";
const char *const Hint128 = "WEP Keys are 13 bytes (26 Hexadecimal digits)";
const char *const HintHome = "HOME Keys are 13 characters (Ascii bytes) ";
const char *const KeysUnread = "Error reading keys from card,Function aborted";

// The visible error windows: untitled, with an "Ok".
std::vector<Gtk::Window *> ErrorWindows()
{
    std::vector<Gtk::Window *> out;
    for (Gtk::Window *w : Gtk::Window::list_toplevels())
        if (w->get_visible() && w->get_title().empty() && FindButton(*w, "Ok"))
            out.push_back(w);
    return out;
}

// The texts of the one error window that is up, which is then closed.
std::vector<std::string> TakeError()
{
    Step();
    auto windows = ErrorWindows();
    EXPECT_EQ(windows.size(), 1u);
    if (windows.empty())
        return {};
    std::vector<std::string> texts = LabelTexts(*windows[0]);
    FindButton(*windows[0], "Ok")->clicked();
    Step();
    return texts;
}

// The WEP key window that is up, or null.
WepKeyEntry *Shown()
{
    for (Gtk::Window *t : Gtk::Window::list_toplevels())
        if (auto *e = dynamic_cast<WepKeyEntry *>(t); e && e->get_visible())
            return e;
    return nullptr;
}

struct Write {
    int command;  // 59 temporary, 60 persistent
    _RID_wep_key record;
};

class WepKeyWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartMainWindow(sb, {"eth0"});
        ThePrefs.SetPassword(" ");  // no password: the window opens at once
    }
    // Runs "Enter WEP key"; act gets the window once it is up and must close
    // it. False when no window came.
    bool Wep(const std::function<void(WepKeyEntry &)> &act)
    {
        bool seen = false;
        sb.clearJournal();
        // The window, or an error window in its place, is up before the
        // command's loop runs.
        sigc::connection drive = Glib::signal_timeout().connect([&] {
            WepKeyEntry *w = Shown();
            if (!w) {
                // An error window in its place: close it, which ends the
                // command.
                if (!ErrorWindows().empty())
                    for (const std::string &text : TakeError())
                        ADD_FAILURE() << "no key window but an error: " << text;
                return false;
            }
            seen = true;
            act(*w);
            Step();
            if ((w = Shown())) {
                ADD_FAILURE() << "the window was left open";
                w->close();
            }
            return false;
        }, 0);
        OnCemMenu(1);  // returns when the window is gone
        // Without a loop it has not run: it must not outlive what it refers to.
        drive.disconnect();
        Step();
        return seen;
    }
    // Runs "Enter WEP key" where a read is to fail: the texts of the error
    // window that comes in place of the key window.
    std::vector<std::string> Refused()
    {
        std::vector<std::string> texts;
        bool shown = false;
        sb.clearJournal();
        sigc::connection take = Glib::signal_timeout().connect([&] {
            if (WepKeyEntry *w = Shown()) {
                shown = true;
                w->close();
            } else {
                texts = TakeError();
            }
            return false;
        }, 0);
        OnCemMenu(1);  // the error window's Ok ends the command
        take.disconnect();
        Step();
        EXPECT_FALSE(shown) << "the key window is never shown";
        return texts;
    }
    // The key writes since the window opened, failed ones included.
    std::vector<Write> Writes() const
    {
        std::vector<Write> out;
        for (const auto &e : sb.journal())
            if (e.command == 59 || e.command == 60)
                out.push_back({e.command, FromBytes<_RID_wep_key>(e.sent)});
        return out;
    }
    // The key reads since the window opened.
    std::vector<int> Reads() const
    {
        std::vector<int> out;
        for (int c : sb.commands("eth0"))
            if (c == 6 || c == 7)
                out.push_back(c);
        return out;
    }

    ProcessSandbox sb;
};

std::vector<bool> Indicators(WepKeyEntry &w)
{
    std::vector<bool> out;
    for (auto *k : w.keyset)
        out.push_back(k->get_active());
    return out;
}

std::vector<bool> Wide(WepKeyEntry &w)
{
    std::vector<bool> out;
    for (auto *k : w.size128)
        out.push_back(k->get_active());
    return out;
}

int TransmitRow(WepKeyEntry &w)
{
    for (int i = 0; i < 5; ++i)
        if (w.transmit[i]->get_active())
            return i + 1;
    return 0;
}

bool InWindow(Gtk::Widget &w, WepKeyEntry &window)
{
    return w.get_toplevel() == &window;
}

TEST_F(WepKeyWindowTest, ShowsWhetherKeysAreStoredButNeverTheirBytes)
{
    sb.set("eth0", {"wep.2=00112233445566778899aabbcc", "wep.tx=2"});
    EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
        EXPECT_EQ(w.get_title(), "Enter WEP key(s)");
        int mx, my, x, y;
        MainWindow->get_position(mx, my);
        w.get_position(x, y);
        EXPECT_EQ(x, mx + 58);
        EXPECT_EQ(y, my - 15);
        EXPECT_TRUE(w.get_modal());
        EXPECT_EQ(Indicators(w), (std::vector<bool>{true, true, true, false, false}));
        EXPECT_EQ(Wide(w), (std::vector<bool>{false, false, true, false, false}));
        EXPECT_EQ(TransmitRow(w), 3);
        for (auto *e : w.entries)
            EXPECT_EQ(e->get_text(), "");
        EXPECT_FALSE(InWindow(*w.entries[4], w)) << "row 5 belongs to HOME mode";
        const auto texts = LabelTexts(w);
        for (const char *t : {" WEP Key 1:      ", " WEP Key 4:      ", "Key\nset",
                              "Transmit\nKey", "Key Size\n40   128", "WEP Key Type",
                              "The VX1100 Supports High speed WEP at 40 and 128 bits"})
            EXPECT_NE(std::find(texts.begin(), texts.end(), t), texts.end()) << t;
        EXPECT_EQ(w.hint->get_text(), Hint128);
        EXPECT_TRUE(w.persistant->get_active());
        // Keys 0, 1, 2 and the selector: nothing is read past the selector.
        EXPECT_EQ(Reads(), (std::vector<int>{6, 7, 7, 7}));
        w.cancelbutton->clicked();
    }));
    EXPECT_TRUE(Writes().empty()) << "Cancel writes nothing";
    EXPECT_TRUE(Wep([&](WepKeyEntry &w) { w.close(); })) << "closing ends the loop as well";
    // A window-manager close still queued when Cancel is pressed: the window
    // goes once.
    EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
        w.close();
        w.cancelbutton->clicked();
    }));
}

// Every text of the window in its place, and what the buttons and radios
// named by their texts do.
TEST_F(WepKeyWindowTest, TextsOfTheWindowAndWhatTheyName)
{
    const std::vector<std::string> top = {"", "Key\nset", std::string(15, ' '), "Transmit\nKey",
                                          std::string(28, ' '), "Key Size\n40   128",
                                          " WEP Key 1:      ", " WEP Key 2:      ",
                                          " WEP Key 3:      ", " WEP Key 4:      "};
    auto labels = [&](const char *hint, std::vector<std::string> rest) {
        std::vector<std::string> all = {hint};
        all.insert(all.end(), top.begin(), top.end());
        all.insert(all.end(), rest.begin(), rest.end());
        return all;
    };
    EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
        EXPECT_EQ(LabelTexts(w),
                  labels(Hint128, {"WEP Key Type", "The VX1100 Supports High speed WEP at 40 and 128 bits"}));
        for (const char *text : {"Temporary", "Persistant", "OK", "Apply", "Cancel"})
            EXPECT_NE(FindButton(w, text), nullptr) << text;
        for (int row = 0; row < 4; ++row) {
            w.size128[row]->set_active(true);
            EXPECT_EQ(w.hint->get_text(), Hint128) << row;
            w.size40[row]->set_active(true);
            EXPECT_EQ(w.hint->get_text(), Hint40) << row;
        }
        FindButton(w, "Cancel")->clicked();
    }));
    EXPECT_TRUE(Writes().empty()) << "\"Cancel\" writes nothing";

    // The HOME hint stays where no capability hint replaces it.
    sb.set("eth0", {"config.home_flags=1", "caps.wep_caps=0x10"});
    EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
        EXPECT_EQ(LabelTexts(w), labels(HintHome, {" HOME Key 5:     ", "WEP Key Type",
                                                   "The VX1100 Supports WEP at 1 and 2 mbps only "}));
        w.cancelbutton->clicked();
    }));
    sb.set("eth0", {"config.home_flags=0", "caps.wep_caps=0x14"});

    const struct {
        const char *radio;
        int command;
    } types[] = {{"Temporary", 59}, {"Persistant", 60}};
    for (const auto &t : types) {
        EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
            auto *radio = dynamic_cast<Gtk::RadioButton *>(FindButton(w, t.radio));
            ASSERT_NE(radio, nullptr);
            // From the other one, so that the choice is made here.
            (radio == w.temporary ? w.persistant : w.temporary)->set_active(true);
            radio->set_active(true);
            w.entries[0]->set_text("0102030405");
            FindButton(w, "Apply")->clicked();
            EXPECT_TRUE(w.get_visible()) << "\"Apply\" keeps the window";
            EXPECT_EQ(Writes().size(), 2u) << t.radio;
            FindButton(w, "OK")->clicked();
        })) << t.radio;
        const auto writes = Writes();
        ASSERT_EQ(writes.size(), 4u) << t.radio;
        for (const auto &wr : writes)
            EXPECT_EQ(wr.command, t.command) << t.radio;
    }
}

// HOME mode is bit 0 of the configuration's HOME flags; the other bits are
// not the window's.
TEST_F(WepKeyWindowTest, HomeModeIsBitZeroAlone)
{
    const struct {
        const char *flags;
        bool home;
    } cases[] = {{"0x01", true}, {"0xff", true}, {"0xfe", false}, {"0x02", false}};
    for (const auto &[flags, home] : cases) {
        sb.set("eth0", {std::string("config.home_flags=") + flags});
        EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
            EXPECT_EQ(InWindow(*w.entries[4], w), home) << flags;
            EXPECT_EQ(w.entries[0]->get_sensitive(), !home) << flags;
            EXPECT_EQ(TransmitRow(w), home ? 5 : 1) << flags;
            w.cancelbutton->clicked();
        })) << flags;
    }
}

TEST_F(WepKeyWindowTest, CapabilityLineAndGreyingFollowTheAdapter)
{
    // A 128-bit adapter first, so that what it set cannot linger.
    const struct {
        const char *cap_flags, *wep_caps;
        const char *line;
        bool entry, size40, size128;
        const char *hint;
    } cases[] = {
        {"0x1102", "0x14", "The K\xc3\xa4rt Supports High speed WEP at 40 and 128 bits", true, true, true,
         Hint128},
        {"0x1102", "0x10", "The K\xc3\xa4rt Supports WEP at 1 and 2 mbps only ", true, true, false,
         Hint40},
        {"0x1002", "0x14", "This K\xc3\xa4rt Suports only 40 bit WEP", true, true, false, Hint40},
        {"0x1102", "0x04", "This K\xc3\xa4rt Suports only 40 bit WEP", true, true, false, Hint40},
        {"0x1100", "0x14", "This K\xc3\xa4rt Does not support WEP", false, false, false, Hint40},
    };
    for (const auto &c : cases) {
        sb.set("eth0", {std::string("caps.cap_flags=") + c.cap_flags,
                        std::string("caps.wep_caps=") + c.wep_caps, "caps.product_name=K\\xe4rt"});
        EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
            EXPECT_EQ(w.capability->get_text(), c.line);
            for (int row = 0; row < 4; ++row) {
                EXPECT_EQ(w.entries[row]->get_sensitive(), c.entry) << c.line << row;
                EXPECT_EQ(w.size40[row]->get_sensitive(), c.size40) << c.line << row;
                EXPECT_EQ(w.size128[row]->get_sensitive(), c.size128) << c.line << row;
            }
            EXPECT_EQ(w.hint->get_text(), c.hint) << c.line;
            w.cancelbutton->clicked();
        }));
    }
}

// Capabilities of values an adapter may report, however unusual, open the
// window, and an untouched OK writes what it writes on the usual ones.
TEST_F(WepKeyWindowTest, UnusualCapabilitiesOpenTheWindow)
{
    const auto untouchedOk = [&](const std::string &line) {
        std::vector<std::pair<int, std::string>> writes;
        EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
            EXPECT_EQ(w.capability->get_text(), line);
            w.okbutton->clicked();
        })) << line;
        for (const Write &wr : Writes())
            writes.emplace_back(wr.command, HexImage(wr.record));
        return writes;
    };
    const char *const line = "The VX1100 Supports High speed WEP at 40 and 128 bits";
    const auto usual = untouchedOk(line);
    ASSERT_EQ(usual, (std::vector<std::pair<int, std::string>>{{60, HexImage(Selector(0))}}));
    const struct {
        const char *caps;
        const char *line;
    } cases[] = {
        {"caps.power_levels=1,5,20,100,1001", line},
        {"caps.power_levels=100,2000", line},
        {"caps.supported_rates=1,2,4,11,22", line},
        {"caps.product_name=VX\\x99", "The VX\xc2\x99 Supports High speed WEP at 40 and 128 bits"},
    };
    for (const auto &c : cases) {
        sb.add("eth0");
        sb.set("eth0", {c.caps});
        EXPECT_EQ(untouchedOk(c.line), usual) << c.caps;
    }
}

TEST_F(WepKeyWindowTest, TypedKeysOfTheWrongLengthOrCharacterAreRefused)
{
    const struct {
        int row;
        bool wide;
        const char *typed;
        const char *message;
        int selected;  // the character selected, -1 none
    } cases[] = {
        {0, false, "0123456789abcdef0123456789", "Key 1 has improper length [26] should be 10", -1},
        {0, false, "012345678", "Key 1 has improper length [9] should be 10", -1},
        {2, true, "0123456789", "Key 3 has improper length [10] should be 26", -1},
        {1, false, "012345678g",
         "Key 2 has invalid character. Check key window for hi-lighted character and correct", 9},
        {1, false, "01234567G9",
         "Key 2 has invalid character. Check key window for hi-lighted character and correct", 8},
        {0, false, "0123:56789",
         "Key 1 has invalid character. Check key window for hi-lighted character and correct", 4},
        {0, false, "@123456789",
         "Key 1 has invalid character. Check key window for hi-lighted character and correct", 0},
        {3, true, "00112233445566778899aab\xc3\xa9" "cc",
         "Key 4 has invalid character. Check key window for hi-lighted character and correct", 23},
    };
    EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
        for (const auto &c : cases) {
            for (auto *e : w.entries)
                e->set_text("");
            (c.wide ? w.size128 : w.size40)[c.row]->set_active(true);
            w.entries[c.row]->set_text(c.typed);
            w.okbutton->clicked();
            EXPECT_EQ(TakeError(), (std::vector<std::string>{c.message})) << c.typed;
            int start = -1, end = -1;
            if (w.entries[c.row]->get_selection_bounds(start, end))
                EXPECT_EQ(std::make_pair(start, end), std::make_pair(c.selected, c.selected + 1))
                    << c.typed;
            else
                EXPECT_EQ(c.selected, -1) << c.typed;
            EXPECT_TRUE(w.get_visible()) << "the window stays for correction";
        }
        // A refusal in a later row leaves nothing written, even for the
        // rows before it that were good.
        for (auto *e : w.entries)
            e->set_text("");
        w.size40[0]->set_active(true);
        w.entries[0]->set_text("0123456789");
        w.entries[1]->set_text("012345678");
        w.applybutton->clicked();
        EXPECT_EQ(TakeError(), (std::vector<std::string>{"Key 2 has improper length [9] should be 10"}));
        w.cancelbutton->clicked();
    }));
    EXPECT_TRUE(Writes().empty());
}

TEST_F(WepKeyWindowTest, ErrorWindowIsModalOfItsOwnSizeAndDoesNotWait)
{
    EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
        const char *lines[] = {"first line", "second line", nullptr};
        Gtk::Window *error = w.ShowError(lines);  // returns at once
        Step(100);
        EXPECT_TRUE(error->get_modal());
        EXPECT_EQ(error->get_transient_for(), nullptr);
        EXPECT_EQ(error->get_allocated_width(), 600);
        EXPECT_EQ(error->get_allocated_height(), 400);
        EXPECT_EQ(TakeError(), (std::vector<std::string>{"first line", "second line"}));
        EXPECT_TRUE(ErrorWindows().empty()) << "Ok closes it";

        // The longest message does not widen it; the window manager closes it.
        w.size40[1]->set_active(true);
        w.entries[1]->set_text("012345678g");
        w.applybutton->clicked();
        Step(100);
        auto windows = ErrorWindows();
        ASSERT_EQ(windows.size(), 1u);
        EXPECT_EQ(windows[0]->get_allocated_width(), 600);
        EXPECT_EQ(windows[0]->get_allocated_height(), 400);
        windows[0]->close();
        Step();
        EXPECT_TRUE(ErrorWindows().empty());
        w.cancelbutton->clicked();
    }));
}

TEST_F(WepKeyWindowTest, OnlyChangedRecordsAreWrittenThenTheSelector)
{
    EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
        w.size128[2]->set_active(true);
        w.entries[2]->set_text("00112233445566778899aAbBcC");
        w.transmit[2]->set_active(true);
        w.applybutton->clicked();
        auto writes = Writes();
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[0].command, 60);
        EXPECT_EQ(HexImage(writes[0].record),
                  HexImage(Record(2, {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
                                      0xaa, 0xbb, 0xcc})));
        EXPECT_EQ(writes[1].command, 60);
        EXPECT_EQ(HexImage(writes[1].record), HexImage(Selector(2)));

        // Temporary: every record of the next Apply, the selector included.
        // The key typed before stays changed and goes again.
        sb.clearJournal();
        w.temporary->set_active(true);
        w.entries[0]->set_text("A1b2C3d4E5");
        w.okbutton->clicked();
        writes = Writes();
        ASSERT_EQ(writes.size(), 3u);
        for (const auto &wr : writes)
            EXPECT_EQ(wr.command, 59);
        EXPECT_EQ(HexImage(writes[0].record), HexImage(Record(0, {0xa1, 0xb2, 0xc3, 0xd4, 0xe5})));
        EXPECT_EQ(writes[1].record.key_index, 2);
        EXPECT_EQ(HexImage(writes[2].record), HexImage(Selector(2)));
    }));
    EXPECT_EQ(sb.get("eth0", "wep.1"), "a1b2c3d4e5") << "the key left empty is kept";
    EXPECT_EQ(sb.get("eth0", "wep.0"), "a1b2c3d4e5");
}

TEST_F(WepKeyWindowTest, ShorterKeyOverALongerOneLeavesNoStaleBytes)
{
    sb.set("eth0", {"wep.0=ffffffffffffffffffffffffff"});
    EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
        EXPECT_TRUE(w.size128[0]->get_active());
        w.size40[0]->set_active(true);
        w.entries[0]->set_text("0102030405");
        w.okbutton->clicked();
    }));
    auto writes = Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(HexImage(writes[0].record), HexImage(Record(0, {1, 2, 3, 4, 5})));
    EXPECT_EQ(sb.get("eth0", "wep.0"), "0102030405");
}

TEST_F(WepKeyWindowTest, TransmitKeyWithoutAKeyIsRefused)
{
    EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
        w.transmit[2]->set_active(true);
        w.okbutton->clicked();
        EXPECT_EQ(TakeError(), (std::vector<std::string>{"Transmit Key 3 length is zero !"}));
        EXPECT_TRUE(w.get_visible());
        w.cancelbutton->clicked();
    }));
    EXPECT_TRUE(Writes().empty());
}

TEST_F(WepKeyWindowTest, IndicatorsAndSizeRadiosShowTheRecordsAfterApply)
{
    EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
        w.size128[0]->set_active(true);  // a size changed but no key typed
        w.size128[3]->set_active(true);
        w.entries[3]->set_text("0123456789abcdef0123456789");
        EXPECT_EQ(w.hint->get_text(), Hint128);
        w.applybutton->clicked();
        EXPECT_EQ(Indicators(w), (std::vector<bool>{true, true, false, true, false}));
        EXPECT_EQ(Wide(w), (std::vector<bool>{false, false, false, true, false}));
        EXPECT_EQ(TransmitRow(w), 1);
        w.cancelbutton->clicked();
    }));
    EXPECT_EQ(sb.get("eth0", "wep.3"), "0123456789abcdef0123456789");
}

TEST_F(WepKeyWindowTest, HomeModeWritesTheHomeKeyAndKeepsAStoredOne)
{
    const struct {
        const char *stored;  // wep.4 before
        const char *typed;
        bool written;
        std::vector<uint8_t> key;
    } cases[] = {
        {"none", "", true, std::vector<uint8_t>(13, 0)},
        {"6162636465666768696a6b6c6d", "", false, {}},
        {"none", "ABCDEFGHIJKLMNOPQRST", true,
         {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M'}},
        {"6162636465666768696a6b6c6d", "K\xc3\xa4rt", true, {'K', 0xe4, 'r', 't', 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    sb.set("eth0", {"config.home_flags=1"});
    for (const auto &c : cases) {
        sb.set("eth0", {std::string("wep.4=") + c.stored});
        EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
            EXPECT_TRUE(InWindow(*w.entries[4], w));
            EXPECT_EQ(LabelTexts(*w.rowbox)[0], " HOME Key 5:     ");
            EXPECT_TRUE(w.transmit[4]->get_active());
            EXPECT_TRUE(w.size128[4]->get_active());
            for (Gtk::Widget *g : std::initializer_list<Gtk::Widget *>{
                     w.transmit[4], w.size40[4], w.size128[4], w.transmit[0], w.entries[1],
                     w.size40[2], w.size128[3]})
                EXPECT_FALSE(g->get_sensitive());
            EXPECT_TRUE(w.entries[4]->get_sensitive());
            w.entries[4]->set_text(c.typed);
            w.okbutton->clicked();
        })) << c.typed;
        auto writes = Writes();
        ASSERT_EQ(writes.size(), c.written ? 2u : 1u) << c.typed;
        if (c.written) {
            EXPECT_EQ(HexImage(writes[0].record), HexImage(Record(4, c.key))) << c.typed;
        }
        EXPECT_EQ(HexImage(writes.back().record), HexImage(Selector(4))) << c.typed;
    }
}

TEST_F(WepKeyWindowTest, KeyRecordsOfACarelessDriverAreBoundedAndSafe)
{
    const auto k = [](uint16_t i) { return Record(i, {1, 2, 3, 4, 5}); };
    const struct {
        const char *what;
        std::vector<_RID_wep_key> readout;
        const char *end;
        std::vector<bool> set;
        int transmit;
        std::vector<int> reads;
    } cases[] = {
        {"a selector naming a key not stored", {k(0), Selector(3)}, "repeat",
         {true, false, false, false, false}, 4, {6, 7}},
        {"transmit index 4 outside HOME mode", {k(0), k(4), Selector(4)}, "repeat",
         {true, false, false, false, true}, 1, {6, 7, 7}},
        {"a selector that is not repeated", {k(0), k(1), Selector(1)}, "fail",
         {true, true, false, false, false}, 2, {6, 7, 7}},
        {"a readout that starts again", {k(0), k(3), Selector(1)}, "wrap",
         {true, false, false, true, false}, 2, {6, 7, 7}},
        {"five keys, then the selector", {k(0), k(1), k(2), k(3), k(4), Selector(3)}, "fail",
         {true, true, true, true, true}, 4, {6, 7, 7, 7, 7, 7}},
        {"a key given twice", {k(1), k(1), Selector(1)}, "fail",
         {false, true, false, false, false}, 2, {6, 7, 7}},
    };
    for (const auto &c : cases) {
        sb.set("eth0", {Readout(c.readout), std::string("wep.end=") + c.end});
        EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
            EXPECT_EQ(Indicators(w), c.set) << c.what;
            EXPECT_EQ(TransmitRow(w), c.transmit) << c.what;
            EXPECT_EQ(Reads(), c.reads) << c.what;
            EXPECT_TRUE(ErrorWindows().empty()) << c.what;
            w.cancelbutton->clicked();
        })) << c.what;
    }
}

// A read that fails, or is not answered whole, while the window is built is
// said and opens nothing, so that nothing it could not read is overwritten:
// here the HOME mode, HOME key and transmit index of a HOME adapter.
TEST_F(WepKeyWindowTest, FailedReadsAreReportedAndOpenNothing)
{
    const char *const config = "Error reading configuration from card,Function aborted";
    const char *const caps = "Error reading capabilities from card,Function aborted";
    const auto k = [](uint16_t i) { return Record(i, {1, 2, 3, 4, 5}); };
    const struct {
        const char *what;
        std::vector<std::string> settings;
        const char *message;
    } cases[] = {
        {"configuration", {"fail.1=5"}, config},
        {"configuration, errno 0", {"fail.1=0"}, config},
        {"access point list", {"fail.3=5"}, config},
        {"SSID list", {"fail.2=19"}, config},
        // The HOME bit at 0x7c lies past half the record.
        {"configuration answered with nothing", {"short.1=0"}, config},
        {"configuration answered by half", {"short.1=78"}, config},
        {"configuration answered but its last byte", {"short.1=155"}, config},
        {"SSID list answered by half", {"short.2=52"}, config},
        {"access point list answered short", {"short.3=20"}, config},
        {"configuration of no MAC address", {"config.mac_addr=00:00:00:00:00:00"}, config},
        {"configuration of a group address", {"config.mac_addr=01:00:5e:00:00:01"}, config},
        {"capabilities", {"fail.0=5"}, caps},
        {"capabilities answered with nothing", {"short.0=0"}, caps},
        {"capabilities answered by half", {"short.0=65"}, caps},
        {"capabilities of no product name", {"caps.product_name="}, caps},
        {"capabilities of a garbled product name", {"caps.product_name=V\\x01"}, caps},
        {"capabilities of no power level", {"caps.power_levels=0"}, caps},
        {"capabilities of no rate", {"caps.supported_rates=0"}, caps},
        {"first key", {"fail.6=5"}, KeysUnread},
        {"next key", {"fail.7=5"}, KeysUnread},
        {"next key, errno 0", {"fail.7=0"}, KeysUnread},
        {"a key answered short", {"short.7=10"}, KeysUnread},
        {"a selector answered short", {"short.6=2"}, KeysUnread},
        {"a first key answered with nothing", {"short.6=0"}, KeysUnread},
        {"a key length above 13", {Readout({k(0), Record(1, {1}, 40), k(4), Selector(4)})},
         KeysUnread},
        {"a first record of no key", {Readout({Record(9, {1, 2, 3, 4, 5}), k(4), Selector(4)})},
         KeysUnread},
        {"a record of no key before the HOME key", {Readout({k(0), Record(0x1234), k(4), Selector(4)})},
         KeysUnread},
        {"a record of index 5", {Readout({k(0), Record(5, {1, 2, 3, 4, 5}), k(4), Selector(4)})},
         KeysUnread},
        {"a selector naming no key", {"wep.tx=9"}, KeysUnread},
        {"a selector of index 257, which is no key 1", {"wep.tx=257"}, KeysUnread},
        {"five keys, no selector", {Readout({k(0), k(1), k(2), k(3), k(4)}), "wep.end=wrap"},
         KeysUnread},
        {"more than five records",
         {Readout({k(0), k(1), k(1), k(2), k(2), k(4), Selector(4)})}, KeysUnread},
    };
    const std::vector<std::string> home = {"config.home_flags=1",
                                           "wep.4=6162636465666768696a6b6c6d", "wep.tx=4"};
    for (const auto &c : cases) {
        sb.add("eth0");
        sb.set("eth0", home);
        sb.set("eth0", c.settings);
        EXPECT_EQ(Refused(), (std::vector<std::string>{c.message})) << c.what;
        EXPECT_TRUE(Writes().empty()) << c.what;
        sb.add("eth0");
        sb.set("eth0", home);
        // The next command opens the window as usual, and an untouched OK
        // keeps the HOME key.
        EXPECT_TRUE(Wep([](WepKeyEntry &w) {
            EXPECT_TRUE(w.keyset[4]->get_active());
            EXPECT_TRUE(w.transmit[4]->get_active());
            w.okbutton->clicked();
        })) << c.what;
        ASSERT_EQ(Writes().size(), 1u) << c.what;
        EXPECT_EQ(HexImage(Writes()[0].record), HexImage(Selector(4))) << c.what;
    }
    EXPECT_EQ(sb.get("eth0", "wep.4"), "6162636465666768696a6b6c6d");
}

// "Try again" is no failure yet: each read answered so once is made again.
TEST_F(WepKeyWindowTest, ReadsAnsweredTryAgainAreMadeAgain)
{
    sb.set("eth0", {"config.home_flags=1", "wep.4=6162636465666768696a6b6c6d", "wep.tx=4"});
    for (int command : {0, 1, 2, 3, 6, 7}) {
        sb.fail("eth0", command, EAGAIN);
        EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
            EXPECT_TRUE(ErrorWindows().empty()) << command;
            EXPECT_TRUE(InWindow(*w.entries[4], w)) << command;
            EXPECT_EQ(Indicators(w), (std::vector<bool>{true, true, false, false, true})) << command;
            EXPECT_EQ(w.capability->get_text(), "The VX1100 Supports High speed WEP at 40 and 128 bits");
            w.cancelbutton->clicked();
        })) << command;
        // The configuration is read again from its first request on.
        const auto journal = sb.journal();
        const auto refused = std::find_if(journal.begin(), journal.end(),
                                          [](const sim::JournalEntry &e) { return e.err == EAGAIN; });
        ASSERT_TRUE(refused != journal.end() && refused + 1 != journal.end()) << command;
        EXPECT_EQ(refused->command, command);
        EXPECT_EQ(refused[1].command, command == 2 || command == 3 ? 1 : command);
        EXPECT_EQ(refused[1].result, 0) << command;
    }
    // Answered so for ever, it fails in the end.
    sb.fail("eth0", 6, EAGAIN, -1);
    EXPECT_EQ(Refused(), (std::vector<std::string>{KeysUnread}));
}

TEST_F(WepKeyWindowTest, FailedWritesAreReportedAndKeepTheWindowOpen)
{
    EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
        // Nothing typed: only the selector goes, and fails.
        sb.fail("eth0", 60, EIO);
        w.okbutton->clicked();
        EXPECT_EQ(TakeError(), (std::vector<std::string>{"Error writing transmit key to card"}));
        EXPECT_TRUE(w.get_visible());
        EXPECT_EQ(Writes().size(), 1u);

        // A failed key: no selector follows it.
        sb.clearJournal();
        sb.fail("eth0", 60, EIO);
        w.entries[1]->set_text("0102030405");
        w.okbutton->clicked();
        EXPECT_EQ(TakeError(),
                  (std::vector<std::string>{"Error writing key 2 to card,Function aborted"}));
        EXPECT_TRUE(w.get_visible());
        EXPECT_EQ(Writes().size(), 1u);

        sb.clearJournal();
        w.okbutton->clicked();
    }));
    auto writes = Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(HexImage(writes[0].record), HexImage(Record(1, {1, 2, 3, 4, 5})));
    EXPECT_EQ(HexImage(writes[1].record), HexImage(Selector(0)));
}

// "Try again" is no failure of a write either: the key and the selector
// answered so once are written again, and nothing is said.
TEST_F(WepKeyWindowTest, WritesAnsweredTryAgainAreMadeAgain)
{
    for (int command : {60, 59}) {
        SCOPED_TRACE(command);
        const auto writes = [this] {
            std::vector<std::pair<int, int>> out;
            for (const auto &e : sb.journal())
                if (e.command == 59 || e.command == 60)
                    out.emplace_back(e.command, e.result);
            return out;
        };
        // A key typed: its first write is answered so.
        EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
            if (command == 59)
                w.temporary->clicked();
            w.entries[1]->set_text("0a0b0c0d0e");
            sb.fail("eth0", command, EAGAIN);
            w.okbutton->clicked();
            EXPECT_TRUE(ErrorWindows().empty());
        }));
        EXPECT_EQ(writes(), (std::vector<std::pair<int, int>>{
                                {command, -1}, {command, 0}, {command, 0}}));
        EXPECT_EQ(sb.get("eth0", "wep.1"), "0a0b0c0d0e");
        // Nothing typed: the selector alone, answered so once.
        EXPECT_TRUE(Wep([&](WepKeyEntry &w) {
            if (command == 59)
                w.temporary->clicked();
            sb.fail("eth0", command, EAGAIN);
            w.okbutton->clicked();
            EXPECT_TRUE(ErrorWindows().empty());
        }));
        EXPECT_EQ(writes(), (std::vector<std::pair<int, int>>{{command, -1}, {command, 0}}));
        EXPECT_EQ(HexImage(Writes().back().record), HexImage(Selector(0)));
    }
}

TEST_F(WepKeyWindowTest, OpensOnlyUnlockedAndWithAnAdapter)
{
    ThePrefs.SetPassword("Orvik");
    bool prompted = false;
    sigc::connection prompt = ActOn<cempass>("password dialog", [&](cempass &d) {
        prompted = true;
        d.close();
    });
    EXPECT_FALSE(Wep([](WepKeyEntry &w) { w.close(); })) << "a cancelled password opens nothing";
    prompt.disconnect();
    EXPECT_TRUE(prompted);

    ThePrefs.SetPassword(" ");
    kdR770 *radio = CurrentRadio;
    CurrentRadio = nullptr;
    EXPECT_FALSE(Wep([](WepKeyEntry &w) { w.close(); }));
    CurrentRadio = radio;
}

} // namespace
