// The client utility's main window in-process: taking up adapters, the status
// line, the error and About windows, and the menu rows wired so far.
#include <gtest/gtest.h>

#include <cstring>

#include <gtkmm/image.h>
#include <gtkmm/main.h>

#include "about_window.h"
#include "command_menus.h"
#include "error_window.h"
#include "globals.h"
#include "gui.h"
#include "latin1_text.h"
#include "main_window.h"
#include "profile_file.h"
#include "properties_window.h"
#include "updater.h"

namespace {

Gtk::Image *FindImage(Gtk::Widget &w)
{
    if (auto *i = dynamic_cast<Gtk::Image *>(&w))
        return i;
    if (auto *c = dynamic_cast<Gtk::Container *>(&w))
        for (auto *child : c->get_children())
            if (Gtk::Image *i = FindImage(*child))
                return i;
    return nullptr;
}

class MainWindowTest : public ::testing::Test {
protected:
    // Makes the adapters, rescans and builds the main window as main does.
    void Start(const std::vector<std::string> &ifaces)
    {
        for (const auto &i : ifaces)
            sb.add(i);
        RescanRadios();
        BuildMainWindow();
        // Read before the main loop runs: the refresher's first tick may
        // come during any step after this one.
        startDate = TheUpdater->datelabel->get_text();
        startStatus = StatusLine();
        ChooseAdapter();
        Step();
    }
    std::string StatusLine() const { return TheUpdater->statuslabel->get_text(); }

    ProcessSandbox sb;
    std::string startDate, startStatus;
};

TEST_F(MainWindowTest, ShowsTitlePictureAndBlankStatusLine)
{
    Start({"eth0"});
    EXPECT_EQ(MainWindow->get_title(), "Vindral Client Utility");
    int w = 0, h = 0;
    ShownSize(*MainWindow, w, h);
    EXPECT_EQ(w, 515);
    EXPECT_EQ(h, 330);
    EXPECT_FALSE(MainWindow->get_resizable());
    EXPECT_EQ(startStatus, std::string(128, ' '));
    EXPECT_FALSE(startDate.empty());
    EXPECT_NE(startDate.back(), '\n');

    Gtk::Image *image = FindImage(*MainWindow);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->get_pixbuf()->get_width(), 424);
    EXPECT_EQ(image->get_pixbuf()->get_height(), 270);
}

TEST_F(MainWindowTest, StatusLineDescribesTheAdapter)
{
    Start({"eth0"});
    struct Case {
        std::vector<std::string> state;
        std::string line;
    } cases[] = {
        {{"status.status_word=0x0002"}, "Your VX1100 is not associated"},
        {{"status.status_word=0x0000"}, "Your VX1100 radio is disabled"},
        // Disabled says so whatever the association bit.
        {{"status.status_word=0x0020", "config.net_type=1"}, "Your VX1100 radio is disabled"},
        {{"status.status_word=0x0020", "config.net_type=0"}, "Your VX1100 radio is disabled"},
        {{"status.status_word=0x0022", "config.net_type=0x0100"}, "Your VX1100 is in Ad hoc mode"},
        {{"status.status_word=0x0022", "config.net_type=0x0000"}, "Your VX1100 is in Ad hoc mode"},
        // Only the low byte tells infrastructure.
        {{"status.status_word=0x0022", "config.net_type=0x0201", "status.ap_ip=10.0.5.200"},
         "Your VX1100 is associated to AP-1 IP address: 10.00.05.200"},
        // Texts that fill their fields are read to the field's end only.
        {{"status.status_word=0x0022", "config.net_type=1", "caps.product_name=ABCDEFGHIJKLMNOP",
          "status.ap_name=QRSTUVWXYZ012345", "status.ap_ip=192.168.1.7"},
         "Your ABCDEFGHIJKLMNOP is associated to QRSTUVWXYZ012345 IP address: 192.168.01.07"},
        // The driver's names are Latin-1, one byte one character.
        {{"status.status_word=0x0022", "config.net_type=1", "caps.product_name=Caf\\xe9",
          "status.ap_name=Z\\xfcrich", "status.ap_ip=10.0.0.1"},
         "Your Caf\u00e9 is associated to Z\u00fcrich IP address: 10.00.00.01"},
        // The longest sentence there is.
        {{"status.status_word=0x0022", "config.net_type=1", "caps.product_name=WWWWWWWWWWWWWWWW",
          "status.ap_name=MMMMMMMMMMMMMMMM", "status.ap_ip=200.200.200.200"},
         "Your WWWWWWWWWWWWWWWW is associated to MMMMMMMMMMMMMMMM IP address: 200.200.200.200"},
    };
    for (const auto &c : cases) {
        sb.set("eth0", c.state);
        EXPECT_TRUE(TheUpdater->Tick(1000));
        EXPECT_EQ(StatusLine(), c.line);
        EXPECT_EQ(Latin1ToUtf8(StatusText), c.line);
    }
    // The longest sentence leaves the window at its fixed size.
    int w = 0, h = 0;
    ShownSize(*MainWindow, w, h);
    EXPECT_EQ(w, 515);
    EXPECT_EQ(h, 330);
    std::string date = TheUpdater->datelabel->get_text();
    EXPECT_FALSE(date.empty());
    EXPECT_NE(date.back(), '\n');
}

// A refresh with the adapter unchanged draws the new date and nothing else.
TEST_F(MainWindowTest, RefreshRedrawsOnlyTheDate)
{
    Start({"eth0"});
    TheUpdater->Stop();  // refreshed by the test alone
    ASSERT_TRUE(TheUpdater->Tick(1000));
    int w = 0, h = 0;
    ShownSize(*MainWindow, w, h);
    Gtk::Image *picture = FindImage(*MainWindow);
    ASSERT_NE(picture, nullptr);
    RedrawCounter counter(*MainWindow, {TheUpdater->statuslabel, TheUpdater->datelabel, picture});
    // The next second's date.
    const std::string shown = TheUpdater->datelabel->get_text();
    for (int i = 0; i < 30 && TheUpdater->datelabel->get_text() == shown; ++i) {
        Step(50);
        EXPECT_TRUE(TheUpdater->Tick(1000));
    }
    ASSERT_NE(TheUpdater->datelabel->get_text(), shown);
    WaitForFrame(*MainWindow);
    EXPECT_EQ(counter.draws()[0], 0);  // the status line
    EXPECT_GE(counter.draws()[1], 1);  // the date
    EXPECT_EQ(counter.draws()[2], 0);  // the picture
}

TEST_F(MainWindowTest, WithoutChosenAdapterSaysNoRadioSelected)
{
    Start({"eth0", "eth1"});
    ASSERT_EQ(CurrentRadio, nullptr);
    sb.clearJournal();
    EXPECT_TRUE(TheUpdater->Tick(1000));
    EXPECT_EQ(StatusLine(), "No radio selected");
    EXPECT_EQ(TheUpdater->datelabel->get_text(), startDate);
    EXPECT_TRUE(sb.journal().empty());
}

TEST_F(MainWindowTest, TransientFailureIsSkippedSilently)
{
    Start({"eth0"});
    ASSERT_TRUE(TheUpdater->Tick(1000));
    const std::string before = StatusLine();
    for (int command : {1, 0, 8}) {
        sb.set("eth0", {"status.status_word=0x0000"});
        // For as long as the check lasts: the refresher's own tick may come
        // meanwhile.
        sb.fail("eth0", command, 11, -1);
        EXPECT_TRUE(TheUpdater->Tick(1000));
        Step();
        EXPECT_EQ(FindWindow("Error message"), nullptr);
        EXPECT_EQ(StatusLine(), before);
        EXPECT_TRUE(TheUpdater->timer.connected());
        sb.set("eth0", {"status.status_word=0x0022", "fail." + std::to_string(command) + "=none"});
    }
}

TEST_F(MainWindowTest, FailureIsReportedOnceAndStopsTheRefresher)
{
    Start({"eth0"});
    struct Case {
        int command;
        int err;
        std::string text;
        std::string reason;
    } cases[] = {
        {1, 5, "Cannot get configuration from radio",
         std::string(strerror(5)) + "  kdr770::GetConfiguration  get cfg "},
        {0, 19, "Cannot get capabilites from radio",
         std::string(strerror(19)) + "  kdr770::GetCaps get capabilities "},
        // No error number: the text of the previous failure is not shown.
        {8, 0, "Cannot get status from radio", "Unknown error"},
    };
    for (const auto &c : cases) {
        CurrentRadio->lasterr = 0;
        TheUpdater->Start();
        ASSERT_TRUE(TheUpdater->timer.connected());
        const std::string before = StatusLine();
        sb.fail("eth0", c.command, c.err);
        EXPECT_FALSE(TheUpdater->Tick(1000));
        Step();
        EXPECT_EQ(TheUpdater->running, 0);
        EXPECT_FALSE(TheUpdater->timer.connected());
        EXPECT_EQ(StatusLine(), before);
        Gtk::Window *err = FindWindow("Error message");
        ASSERT_NE(err, nullptr);
        auto lines = LabelTexts(*err);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], c.text);
        EXPECT_EQ(lines[1], c.reason);
        delete err;
        Step();
    }
}

TEST_F(MainWindowTest, RadioFailureFreezesTheRefresher)
{
    Start({"eth0"});
    TheUpdater->Stop();
    RadioFailed.emit(0);
    EXPECT_EQ(TheUpdater->running, 0);
    RadioFailed.emit(1);
    EXPECT_EQ(TheUpdater->running, 1);
    TheUpdater->Start();
    EXPECT_FALSE(TheUpdater->timer.connected());
    TheUpdater->Start();
    EXPECT_FALSE(TheUpdater->timer.connected());
}

TEST_F(MainWindowTest, StartTwiceConnectsOnce)
{
    Start({"eth0"});
    TheUpdater->Stop();
    TheUpdater->Start();
    TheUpdater->Start();
    sb.clearJournal();
    const auto reads = [&] {
        const auto c = sb.commands("eth0");
        return std::count(c.begin(), c.end(), 8);
    };
    ASSERT_TRUE(RunUntil([&] { return reads() >= 3; }, "three refreshes"));
    // Two connections would read twice a second, at the same moments.
    EXPECT_GE(sb.shortestGap(8), 0.5);
}

TEST_F(MainWindowTest, OneAdapterIsTakenUpAtOnce)
{
    Start({"eth0"});
    EXPECT_EQ(CurrentRadio, Radios[0]);
    EXPECT_FALSE(CommandsItems[ROW_SELECT_RADIO]->get_sensitive());
    EXPECT_TRUE(CommandsMenu->get_sensitive());
    EXPECT_TRUE(CemMenu->get_sensitive());
    // Each row's text, with the trailing blank of the toggle; every row but
    // "Select Radio" (one adapter) and the ZUNA row (its own rule) usable.
    const char *const commands[] = {"About", "Load new Firmware", "Edit Properties",
                                    "Set Zuna Information", "Statistics", "Status",
                                    "Select Radio", "Toggle radio on/off ",
                                    "Select help browser", "Exit"};
    for (int row = 0; row < 10; ++row) {
        EXPECT_EQ(CommandsItems[row]->get_label(), commands[row]) << row;
        if (row != ROW_SELECT_RADIO && row != ROW_ZUNA) {
            EXPECT_TRUE(CommandsItems[row]->get_sensitive()) << commands[row];
        }
    }
    EXPECT_EQ(CemItems[0]->get_label(), "Change Password");
    EXPECT_EQ(CemItems[1]->get_label(), "Enter WEP key");
    EXPECT_TRUE(CemItems[0]->get_sensitive() && CemItems[1]->get_sensitive());
    EXPECT_EQ(std::string(CurrentCaps.product_name), "VX1100");
    // The profile file was made from the adapter on the way.
    EXPECT_EQ(ReadFileBytes(sb.path("etc/eth0.cfg")).size(), 708u);
    EXPECT_EQ(CurrentProfile, 0);

    OnCommandsMenu(ROW_SELECT_RADIO);
    Step();
    EXPECT_EQ(FindWindow("Radio"), nullptr);
}

TEST_F(MainWindowTest, SeveralAdaptersAreOfferedAndMenusWaitForTheChoice)
{
    Start({"eth0", "eth2"});
    Gtk::Window *radio = FindWindow("Radio");
    ASSERT_NE(radio, nullptr);
    EXPECT_TRUE(radio->get_modal());
    EXPECT_EQ(CurrentRadio, nullptr);
    EXPECT_FALSE(CommandsMenu->get_sensitive());
    EXPECT_FALSE(CemMenu->get_sensitive());
    int mx, my, rx, ry;
    MainWindow->get_position(mx, my);
    radio->get_position(rx, ry);
    EXPECT_EQ(rx, mx + 224);
    EXPECT_EQ(ry, my + 130);
    ASSERT_NE(FindButton(*radio, "eth0"), nullptr);
    Gtk::Button *eth2 = FindButton(*radio, "eth2");
    ASSERT_NE(eth2, nullptr);

    eth2->clicked();
    Step();
    EXPECT_EQ(CurrentRadio, Radios[1]);
    EXPECT_EQ(FindWindow("Radio"), nullptr);
    EXPECT_TRUE(CommandsMenu->get_sensitive());
    EXPECT_TRUE(CommandsItems[ROW_SELECT_RADIO]->get_sensitive());

    // "Select Radio" asks again.
    OnCommandsMenu(ROW_SELECT_RADIO);
    Step();
    EXPECT_NE(FindWindow("Radio"), nullptr);
}

TEST_F(MainWindowTest, ClosingTheRadioWindowChoosesNothing)
{
    Start({"eth0", "eth2"});
    Gtk::Window *radio = FindWindow("Radio");
    ASSERT_NE(radio, nullptr);
    radio->close();
    Step();
    EXPECT_EQ(FindWindow("Radio"), nullptr);
    EXPECT_EQ(CurrentRadio, nullptr);
    EXPECT_FALSE(CommandsMenu->get_sensitive());
}

TEST_F(MainWindowTest, ProfileFileDecidesCurrentProfileAndZunaItem)
{
    Start({"eth0"});
    struct Case {
        uint16_t enterpriseAuth;
        int selector;
        uint8_t profile;
        bool zuna;
    } cases[] = {
        {0x1001, 0, 0, true},
        {0x1001, 1, 1, false},
        {0x0001, 0, 0, false},
        {0x0001, 1, 1, false},
    };
    for (const auto &c : cases) {
        ProfileRecord a = EnterpriseProfile, b = HomeProfile;
        a.cfg.auth_mode = c.enterpriseAuth;
        {
            Cfgio file("eth0.cfg");
            ASSERT_EQ(file.wrcfg(a, b, c.selector), 0);
        }
        UseRadio(Radios[0]);
        EXPECT_EQ(CurrentProfile, c.profile);
        EXPECT_EQ(CommandsItems[ROW_ZUNA]->get_sensitive(), c.zuna);
    }
    // A damaged file is made again from the adapter, enterprise current.
    std::vector<uint8_t> bytes = ReadFileBytes(sb.path("etc/eth0.cfg"));
    bytes[200] ^= 0xFF;
    WriteFileBytes(sb.path("etc/eth0.cfg"), bytes);
    UseRadio(Radios[0]);
    EXPECT_EQ(CurrentProfile, 0);
}

TEST_F(MainWindowTest, ErrorWindowStandsOverTheMainWindow)
{
    Start({"eth0"});
    CurrentRadio->lasterr = 5;
    std::snprintf(CurrentRadio->errmsg, sizeof CurrentRadio->errmsg, "%s", "broken  kdr770::GetStatus");
    EXPECT_EQ(ReportRadioError(CurrentRadio, "Cannot get status from radio"), -1);
    Step(50);
    auto *err = dynamic_cast<ErrWin *>(FindWindow("Error message"));
    ASSERT_NE(err, nullptr);
    int mx, my, ex, ey, w, h;
    MainWindow->get_position(mx, my);
    err->get_position(ex, ey);
    EXPECT_EQ(ex, mx);
    EXPECT_EQ(ey, my - 15);
    err->get_size_request(w, h);
    EXPECT_EQ(w, 515);
    EXPECT_EQ(h, 330);
    EXPECT_TRUE(err->get_modal());
    EXPECT_TRUE(err->exitconn.connected());
    EXPECT_EQ(LabelTexts(*err), (std::vector<std::string>{"Cannot get status from radio",
                                                          "broken  kdr770::GetStatus"}));
    // Closed by the window manager, only the window goes.
    err->close();
    Step();
    EXPECT_EQ(FindWindow("Error message"), nullptr);
}

TEST_F(MainWindowTest, ErrorWindowShownForInformationOnlyCloses)
{
    Start({"eth0"});
    auto *err = new ErrWin;
    err->Show("Cannot execute browser!");
    Step();
    EXPECT_FALSE(err->exitconn.connected());
    EXPECT_EQ(LabelTexts(*err), std::vector<std::string>{"Cannot execute browser!"});
    err->okbutton->clicked();
    Step();
    EXPECT_EQ(FindWindow("Error message"), nullptr);
}

TEST_F(MainWindowTest, AboutRunsItsOwnLoopUntilClosed)
{
    Start({"eth0"});
    for (bool byOk : {true, false}) {
        bool seen = false;
        ActOn<About>("About window", [&](About &about) {
            seen = true;
            int mx, my, ax, ay;
            MainWindow->get_position(mx, my);
            about.get_position(ax, ay);
            EXPECT_EQ(ax, mx + 54);
            EXPECT_EQ(ay, my + 100);
            EXPECT_TRUE(about.get_modal());
            int w = 0, h = 0;
            ShownSize(about, w, h);
            EXPECT_EQ(w, 400);
            EXPECT_EQ(h, 120);
            auto lines = LabelTexts(about);
            EXPECT_NE(std::find(lines.begin(), lines.end(),
                                "Vindral Wireless LAN Diagnostic Utility for Linux"),
                      lines.end());
            EXPECT_NE(std::find(lines.begin(), lines.end(), "Version 2.0.8"), lines.end());
            if (byOk)
                about.okbutton->clicked();
            else
                about.close();
        });
        OnCommandsMenu(ROW_ABOUT);  // returns when the nested loop ends
        EXPECT_TRUE(seen);
        Step();
        EXPECT_EQ(FindWindow("About OXU"), nullptr);
    }
}

TEST_F(MainWindowTest, EditPropertiesWithoutAdapterSaysSo)
{
    Start({"eth0", "eth1"});
    testing::internal::CaptureStdout();
    OnCommandsMenu(ROW_PROPERTIES);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "NO WORKING RADIO\n");
}

TEST_F(MainWindowTest, ToggleRadioSwitchesTheOtherWay)
{
    Start({"eth0"});
    struct Case {
        const char *status;
        const char *answer;  // how the status read is answered
        std::vector<int> commands;
    } cases[] = {
        {"status.status_word=0x0022", "short.8=none", {8, 57}},
        {"status.status_word=0x0000", "short.8=none", {8, 56}},
        // Without a whole status nothing is switched: one cut short before
        // its status word would read as a radio that is off.
        {"status.status_word=0x0022", "fail.8=5", {8}},
        {"status.status_word=0x0022", "short.8=0", {8, 8}},
        {"status.status_word=0x0000", "short.8=133", {8, 8}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.answer);
        sb.set("eth0", {c.status, c.answer});
        sb.clearJournal();
        OnCommandsMenu(ROW_TOGGLE_RADIO);
        EXPECT_EQ(sb.commands("eth0"), c.commands);
        EXPECT_TRUE(TheUpdater->timer.connected());
        sb.set("eth0", {"short.8=none"});
    }
}

TEST_F(MainWindowTest, BusyRowsRestartTheRefresher)
{
    Start({"eth0"});
    for (int row : {ROW_FIRMWARE, ROW_PROPERTIES, ROW_TOGGLE_RADIO}) {
        if (row == ROW_FIRMWARE)
            AnswerFileDialogLater(100, Gtk::RESPONSE_CANCEL);
        if (row == ROW_PROPERTIES)
            ActOn<PropWindow>("properties window", [](PropWindow &window) {
                window.buttons[PropWindow::CANCEL]->clicked();
            });
        OnCommandsMenu(row);
        EXPECT_EQ(TheUpdater->running, 1) << row;
        EXPECT_TRUE(TheUpdater->timer.connected()) << row;
    }
}

} // namespace
