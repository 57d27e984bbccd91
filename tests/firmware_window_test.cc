// "Load new Firmware": the file dialog, the flash with its progress bar, the
// adapter's radio and configuration afterwards, and the result text.
#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include <sstream>

#include <gtkmm/label.h>
#include <gtkmm/main.h>

#include "command_menus.h"
#include "firmware_flash.h"
#include "firmware_window.h"
#include "globals.h"
#include "gui.h"
#include "main_window.h"
#include "updater.h"

namespace {

std::vector<uint8_t> Image(uint8_t type = 0x90)
{
    std::vector<uint8_t> f(FIRMWARE_FILE_SIZE, 0);
    for (size_t i = FIRMWARE_HEADER_SIZE; i < f.size(); ++i)
        f[i] = uint8_t(i * 13 + 5);
    f[FIRMWARE_TYPE_OFFSET] = type;
    uint16_t sum = FirmwareSum(f.data() + FIRMWARE_HEADER_SIZE, FIRMWARE_IMAGE_SIZE);
    f[FIRMWARE_SUM_OFFSET] = uint8_t(sum);
    f[FIRMWARE_SUM_OFFSET + 1] = uint8_t(sum >> 8);
    return f;
}

class FirmwareWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartMainWindow(sb, {"eth0"});
        TheUpdater->Stop();
        TheUpdater->Start();
    }
    // Runs the menu command, answering the file dialog with the image, and
    // returns the result window's texts (empty when it never came).
    std::vector<std::string> Load(const std::vector<uint8_t> &image)
    {
        const std::string file = sb.path("image.bin");
        WriteFileBytes(file, image);
        std::vector<std::string> texts;
        AnswerFileDialogLater(100, Gtk::RESPONSE_OK, file);
        // The result view is there once the window holds its "OK".
        sigc::connection result = ActOnWindow(
            "firmware result window",
            [] {
                Gtk::Window *w = FindWindow("Updating firmware");
                return w && FindButton(*w, "OK") ? w : nullptr;
            },
            [&](Gtk::Window &w) {
                texts = LabelTexts(w);
                barFull = onePercentGreen = false;
                if (FlashProgressMeter && FlashProgressMeter->pixmap) {
                    auto surface = FlashProgressMeter->pixmap;
                    const auto pixel = [&](int x) {
                        surface->flush();
                        const auto *row = reinterpret_cast<const uint32_t *>(surface->get_data() + surface->get_stride() * 10);
                        return row[x] & 0xFFFFFF;
                    };
                    barFull = pixel(1) == 0x00FF00 && pixel(599) == 0x00FF00;
                    FlashProgressMeter->Update(1);
                    onePercentGreen = pixel(1) == 0x00FF00;
                }
                FindButton(w, "OK")->clicked();
            });
        OnCommandsMenu(ROW_FIRMWARE);  // returns when the window is gone
        // Without a result window the poll would outlive what it fills in.
        result.disconnect();
        Step();
        return texts;
    }
    std::vector<int> Commands() const { return sb.commands("eth0"); }

    ProcessSandbox sb;
    bool barFull = false;  // the progress bar green to its end when the result showed
    bool onePercentGreen = false;  // and 1 % drawn green on it afterwards
};

bool Contains(const std::vector<std::string> &v, const std::string &s)
{
    return std::find(v.begin(), v.end(), s) != v.end();
}

TEST_F(FirmwareWindowTest, CancelTouchesNothingAndEndsTheLoop)
{
    sb.clearJournal();
    AnswerFileDialogLater(100, Gtk::RESPONSE_CANCEL);
    OnCommandsMenu(ROW_FIRMWARE);
    Step();
    for (int c : Commands())
        EXPECT_TRUE(c == 0 || c == 1 || c == 2 || c == 3 || c == 8) << c;  // the status line only
    EXPECT_EQ(FindWindow("File selection"), nullptr);
    EXPECT_EQ(FindWindow("Updating firmware"), nullptr);
    EXPECT_TRUE(TheUpdater->timer.connected());
}

// The helper that drives the file dialog, when it fails, still answers it:
// the command ends at once rather than wait for its loop's guard, which
// would add a failure of its own.
void ChooseMissingFile()
{
    AnswerFileDialogLater(100, Gtk::RESPONSE_OK, "/nonexistent/image.bin");
    OnCommandsMenu(ROW_FIRMWARE);
}

TEST_F(FirmwareWindowTest, FailingFileDialogHelperStillEndsTheCommand)
{
    sb.clearJournal();
    EXPECT_FATAL_FAILURE(ChooseMissingFile(), "no file to choose: /nonexistent/image.bin");
    Step();
    EXPECT_EQ(FindWindow("File selection"), nullptr);
    EXPECT_EQ(FindWindow("Updating firmware"), nullptr);
    EXPECT_TRUE(TheUpdater->timer.connected());
    for (int c : Commands())
        EXPECT_LT(c, 50) << "nothing is written: " << c;
}

TEST_F(FirmwareWindowTest, WrongFileSwitchesTheRadioBackOnWithoutRewritingTheConfiguration)
{
    TheUpdater->Stop();
    sb.set("eth0", {"status.status_word=0x0000"});
    sb.clearJournal();
    auto image = Image();
    image.pop_back();
    auto texts = Load(image);
    EXPECT_TRUE(Contains(texts, "Invalid file type ")) << texts.size();
    // Configuration and status saved, radio off, then on again; nothing written back.
    EXPECT_EQ(Commands(), (std::vector<int>{1, 3, 2, 8, 57, 56}));
}

TEST_F(FirmwareWindowTest, SuccessRestoresTheConfigurationAndTheRadioState)
{
    struct Case {
        std::vector<std::string> state;
        int radio;
        bool restored;
    } cases[] = {
        {{"status.status_word=0x0000"}, 57, true},
        {{"status.status_word=0x0022"}, 56, true},
        // A configuration answered short is not put back: it would be marks.
        {{"status.status_word=0x0022", "short.1=78"}, 56, false},
        // A status that failed or was cut short tells nothing of the radio:
        // it is switched on, as after a failed flash.
        {{"status.status_word=0x0022", "fail.8=5"}, 56, true},
        {{"status.status_word=0x0022", "short.8=0"}, 56, true},
        {{"status.status_word=0x0000", "short.8=133"}, 56, true},
    };
    for (const auto &c : cases) {
        TheUpdater->Stop();
        sb.set("eth0", {"short.1=none", "short.8=none"});
        sb.set("eth0", c.state);
        sb.clearJournal();
        auto texts = Load(Image());
        EXPECT_TRUE(Contains(texts, "Firmware update succesful"));
        auto cmds = Commands();
        ASSERT_GE(cmds.size(), 4u);
        // The saved records go back, then the radio as it was.
        if (c.restored) {
            EXPECT_EQ(std::vector<int>(cmds.end() - 4, cmds.end()),
                      (std::vector<int>{54, 55, 53, c.radio}));
        } else {
            EXPECT_EQ(std::count(cmds.begin(), cmds.end(), 53), 0);
            EXPECT_EQ(cmds.back(), c.radio);
        }
        auto blocks = sim::FlashBlocks(sb.dir(), "eth0");
        ASSERT_EQ(blocks.size(), 4u);
        auto image = Image();
        EXPECT_TRUE(std::equal(blocks[0].begin(), blocks[0].end(), image.begin() + FIRMWARE_HEADER_SIZE));
        EXPECT_TRUE(barFull);
        EXPECT_TRUE(onePercentGreen);
        // The window is gone, and its progress bar with it.
        EXPECT_EQ(FlashProgressMeter, nullptr);
    }
}

TEST_F(FirmwareWindowTest, ProgressIsOnTheScreenWhileTheFlashRuns)
{
    TheUpdater->Stop();
    // Watched from outside: the program's own loop is held by the flash.
    Program watch(sb, "XDRIVE", {"bar", "Updating firmware", std::to_string(WaitSeconds), "File selection"});
    ASSERT_TRUE(Contains(Load(Image()), "Firmware update succesful"));
    ASSERT_EQ(watch.Wait(), 0) << watch.Err();
    std::istringstream seen(watch.Out());
    bool at80 = false;
    for (int bar = 0, dialog = 0; seen >> bar >> dialog;) {
        // The card takes two seconds to write its flash at 80 %: 6 pixels a percent.
        at80 = at80 || bar == 480;
        EXPECT_TRUE(bar == 0 || dialog == 0) << "the file dialog was still shown at " << bar;
    }
    EXPECT_TRUE(at80) << watch.Out();
}

TEST_F(FirmwareWindowTest, FailedFlashLeavesTheRadioOnAndSaysWhy)
{
    struct Case {
        std::vector<std::string> state;
        const char *text;
    } cases[] = {
        {{"monitor_refuse=1"}, "Cannot set card in flash update mode"},
        {{"monitor_fail_block=2"}, "Cannot write firmware block to card"},
        {{"monitor_drop=0"}, "Error communicating with resident monitor"},
    };
    for (const auto &c : cases) {
        TheUpdater->Stop();
        sb.set("eth0", {"status.status_word=0x0000", "monitor_refuse=0", "monitor_fail_block=-1",
                        "monitor_drop=-1"});
        sb.set("eth0", c.state);
        sb.clearJournal();
        auto texts = Load(Image());
        EXPECT_TRUE(Contains(texts, c.text)) << c.text;
        auto cmds = Commands();
        ASSERT_FALSE(cmds.empty());
        EXPECT_EQ(cmds.back(), 56) << c.text;
        EXPECT_EQ(std::count(cmds.begin(), cmds.end(), 53), 0) << c.text;
    }
}

} // namespace
