// Firmware flash: the result and progress of every way the sequence can end,
// what reaches the resident monitor, and what the sequence leaves behind.
#include <gtest/gtest.h>

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "firmware_flash.h"
#include "kdr770.h"
#include "sandbox.h"

namespace {

namespace fs = std::filesystem;

std::vector<int> g_progress;
std::vector<std::chrono::steady_clock::time_point> g_progress_times;
std::string g_sandbox;
int g_fail_at_100 = -1;  // command made to fail once progress reaches 100

void RecordProgress(int percent)
{
    g_progress.push_back(percent);
    g_progress_times.push_back(std::chrono::steady_clock::now());
    if (percent == 100 && g_fail_at_100 >= 0)
        sim::Fail(g_sandbox, "eth0", g_fail_at_100, EIO);
}

// A well-formed image: distinct bytes in every block, the given type, and the
// sum word over the image.
std::vector<uint8_t> Image(uint8_t type, bool all_ff = false)
{
    std::vector<uint8_t> f(FIRMWARE_FILE_SIZE);
    for (size_t i = 0; i < f.size(); ++i)
        f[i] = all_ff ? 0xFF : uint8_t(i * 31 + i / 251);
    f[0x81] = type;
    uint32_t sum = 0;
    for (size_t i = 0x100; i < f.size(); ++i)
        sum += f[i];
    f[0x8A] = uint8_t(sum);
    f[0x8B] = uint8_t(sum >> 8);
    return f;
}

bool Mapped(const std::string &path)
{
    std::ifstream in("/proc/self/maps");
    const std::string maps(std::istreambuf_iterator<char>(in), {});
    return maps.find(path) != std::string::npos;
}

using MakeFile = void (*)(const std::string &path);

void Good(const std::string &p) { WriteFileBytes(p, Image(0x90)); }

struct FlashCase {
    const char *name;
    MakeFile file;
    int code;
    std::vector<int> progress;
    int last_command = -1;  // the request that ended the sequence; -1: none made
    std::vector<std::string> behaviours = {};
    std::vector<int> failing = {};  // commands whose next request fails
    uint8_t cardkind = 0;
    int fail_at_100 = -1;
    const char *perror_text = "";  // what standard error starts with; "" for nothing
};

void PrintTo(const FlashCase &c, std::ostream *os) { *os << c.name; }

const std::vector<int> kUpTo20 = {5, 10, 20};
const std::vector<int> kUpTo80 = {5, 10, 20, 35, 50, 65, 80};
const std::vector<int> kUpTo100 = {5, 10, 20, 35, 50, 65, 80, 100};
// perror's text for a prompt that did not come, followed by the system's.
const char kGetchar[] = "Err in kdR770::Fgetchar(): ";

const FlashCase kCases[] = {
    // Files refused before the card is touched.
    {"MissingFile", [](const std::string &) {}, 1, {}},
    {"Directory", [](const std::string &p) { fs::create_directory(p); }, 2, {}},
    {"NamedPipe", [](const std::string &p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, 2, {}},
    {"OneByteShort", [](const std::string &p) { auto f = Image(0x90); f.pop_back(); WriteFileBytes(p, f); }, 2, {}},
    {"OneByteLong", [](const std::string &p) { auto f = Image(0x90); f.push_back(0); WriteFileBytes(p, f); }, 2, {}},
    {"TypeZero", [](const std::string &p) { WriteFileBytes(p, Image(0x00)); }, 2, {}},
    {"TypeUnknown", [](const std::string &p) { WriteFileBytes(p, Image(0x92)); }, 2, {}},
    {"TypeOfFirstFamilyOnSecond", Good, 2, {}, -1, {}, {}, CARDKIND_TSV240},
    {"ChecksumOffByOne", [](const std::string &p) { auto f = Image(0x90); f[0x8B] ^= 1; WriteFileBytes(p, f); }, 3, {}},

    // Accepted files; the card's reset is refused so the sequence ends early.
    {"AllFFWithZeroSum", [](const std::string &p) { WriteFileBytes(p, Image(0x91, true)); }, 12, {}, 100, {}, {100}},
    {"Type90", Good, 12, {}, 100, {}, {100}},
    {"Type91", [](const std::string &p) { WriteFileBytes(p, Image(0x91)); }, 12, {}, 100, {}, {100}},
    {"TypeB0", [](const std::string &p) { WriteFileBytes(p, Image(0xB0)); }, 12, {}, 100, {}, {100}},
    {"TypeB1", [](const std::string &p) { WriteFileBytes(p, Image(0xB1)); }, 12, {}, 100, {}, {100}},
    {"TypeC0", [](const std::string &p) { WriteFileBytes(p, Image(0xC0)); }, 12, {}, 100, {}, {100}},
    {"TypeC1", [](const std::string &p) { WriteFileBytes(p, Image(0xC1)); }, 12, {}, 100, {}, {100}},
    {"TypeD0", [](const std::string &p) { WriteFileBytes(p, Image(0xD0)); }, 12, {}, 100, {}, {100}},
    {"TypeD0OnSecondFamily", [](const std::string &p) { WriteFileBytes(p, Image(0xD0)); }, 12, {}, 100, {}, {100},
     CARDKIND_TSV240},

    // The monitor dialogue failing at each step.
    {"MonitorRefused", Good, 5, {5}, 102, {"monitor_refuse=1"}},
    {"NoFirstPrompt", Good, 13, {5}, 101, {"monitor_drop=0"}, {}, 0, -1, kGetchar},
    {"LoadCommandRefused", Good, 7, {5, 10}, 103, {}, {103}},
    {"NoPromptBeforeBlock1", Good, 8, kUpTo20, 101, {"monitor_drop=1"}, {}, 0, -1, kGetchar},
    {"NoPromptBeforeBlock2", Good, 8, {5, 10, 20, 35}, 101, {"monitor_drop=2"}, {}, 0, -1, kGetchar},
    {"NoPromptBeforeBlock3", Good, 8, {5, 10, 20, 35, 50}, 101, {"monitor_drop=3"}, {}, 0, -1, kGetchar},
    {"NoPromptBeforeBlock4", Good, 8, {5, 10, 20, 35, 50, 65}, 101, {"monitor_drop=4"}, {}, 0, -1, kGetchar},
    {"Block1Refused", Good, 9, kUpTo20, 104, {"monitor_fail_block=0"}},
    {"Block2Refused", Good, 9, {5, 10, 20, 35}, 104, {"monitor_fail_block=1"}},
    {"Block3Refused", Good, 9, {5, 10, 20, 35, 50}, 104, {"monitor_fail_block=2"}},
    {"Block4Refused", Good, 9, {5, 10, 20, 35, 50, 65}, 104, {"monitor_fail_block=3"}},
    {"NoEndOfProgramming", Good, 10, kUpTo80, 101, {"monitor_drop=5"}, {}, 0, -1, kGetchar},
    // These pass the 2-second wait for the flash to be written.
    {"NoFinalPrompt", Good, 13, kUpTo100, 101, {"monitor_drop=6"}, {}, 0, -1, kGetchar},
    {"GoCommandRefused", Good, 13, kUpTo100, 103, {}, {}, 0, 103},
    {"RestartFails", Good, 11, kUpTo100, 105, {}, {105}, 0, -1, "kdr770::flashrestart:: : "},
};

class FirmwareFlash : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(radio.InitCard("eth0"), 0);
        g_progress.clear();
        g_progress_times.clear();
        g_sandbox = sb.dir();
        g_fail_at_100 = -1;
    }

    Sandbox sb;
    kdR770 radio{"eth0"};
    const std::string image = sb.path("firmware.bin");
};

class FlashTest : public FirmwareFlash, public ::testing::WithParamInterface<FlashCase> {};

TEST_P(FlashTest, EndsWithItsCodeAndReleasesEverything)
{
    const FlashCase &c = GetParam();
    c.file(image);
    if (!c.behaviours.empty())
        sb.set("eth0", c.behaviours);
    for (int command : c.failing)
        sb.fail("eth0", command, EIO);
    g_fail_at_100 = c.fail_at_100;
    radio.cardkind = c.cardkind;
    sb.clearJournal();

    const int fds = OpenFds();
    testing::internal::CaptureStderr();
    EXPECT_EQ(radio.FlashAdapter(image.c_str(), RecordProgress), c.code);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.substr(0, std::strlen(c.perror_text)), c.perror_text);
    if (!*c.perror_text)
        EXPECT_EQ(err, "");
    else
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(g_progress, c.progress);
    EXPECT_EQ(OpenFds(), fds);
    EXPECT_FALSE(Mapped(image));

    const auto commands = sb.commands();
    if (c.last_command < 0) {
        EXPECT_TRUE(commands.empty());
    } else {
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.back(), c.last_command) << "a request followed the failing one";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FlashTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FlashCase> &info) { return info.param.name; });

TEST_F(FirmwareFlash, SendsTheImageInFourBlocksAndRestarts)
{
    const auto file = Image(0xD0);
    WriteFileBytes(image, file);
    radio.cardkind = CARDKIND_TSV240;
    sb.clearJournal();
    const int fds = OpenFds();

    EXPECT_EQ(radio.FlashAdapter(image.c_str(), RecordProgress), 0);
    EXPECT_EQ(g_progress, kUpTo100);
    EXPECT_EQ(OpenFds(), fds);
    EXPECT_FALSE(Mapped(image));
    // The card is given its time to write the flash between the end mark and 100.
    ASSERT_EQ(g_progress_times.size(), kUpTo100.size());
    EXPECT_GE(g_progress_times[7] - g_progress_times[6], std::chrono::milliseconds(1900));

    const auto blocks = sim::FlashBlocks(sb.dir(), "eth0");
    ASSERT_EQ(blocks.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        const auto from = file.begin() + std::ptrdiff_t(0x100 + i * FIRMWARE_BLOCK_SIZE);
        EXPECT_EQ(blocks[i], std::vector<uint8_t>(from, from + FIRMWARE_BLOCK_SIZE)) << "block " << i;
    }

    const std::vector<int> dialogue = {100, 102, 101, 103, 103, 101, 104, 101, 104, 101, 104,
                                       101, 104, 101, 101, 103, 103, 105};
    EXPECT_EQ(sb.commands(), dialogue);
    std::vector<int> sent_chars;
    for (const auto &e : sb.journal())
        if (e.command == 103 && e.sent.size() == 4)
            sent_chars.push_back(e.sent[0] | e.sent[1] << 8 | e.sent[2] << 16 | e.sent[3] << 24);
    EXPECT_EQ(sent_chars, (std::vector<int>{'L', 0x0D, 'g', 0x0D}));
}

// Every shared mapping of a file fails from here on in this process, as it
// would on a kernel out of mappings; anonymous memory is untouched.
bool RefuseFileMappings()
{
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_mmap, 0, 5),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[3])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, MAP_SHARED, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[4])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0xFFFFFFFFu, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENODEV),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog prog = {sizeof filter / sizeof filter[0], filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

using FirmwareFlashDeathTest = FirmwareFlash;

TEST_F(FirmwareFlashDeathTest, ImageThatCannotBeMappedGives1)
{
    WriteFileBytes(image, Image(0x90));
    sb.clearJournal();
    EXPECT_EXIT(
        {
            if (!RefuseFileMappings())
                _exit(100);
            const int fds = OpenFds();
            const int rc = radio.FlashAdapter(image.c_str(), RecordProgress);
            _exit(OpenFds() != fds ? 101 : !g_progress.empty() ? 102 : rc);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_TRUE(sb.journal().empty());
}

} // namespace
