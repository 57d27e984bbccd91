// Driver requests of one adapter object: what reaches the driver (code,
// command, length, order, bytes) and how failures are recorded.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kdr770.h"
#include "records.h"
#include "sandbox.h"

namespace {

// What a failed request must leave in the object: the system's text, the
// suffix, at most 80 characters.
std::string ErrorText(int err, const std::string &suffix)
{
    return (std::string(std::strerror(err)) + suffix).substr(0, 80);
}

template <class T>
void Fill(T &record, uint8_t byte)
{
    std::memset(&record, byte, sizeof record);
}

struct Records {
    _STCAPS caps;
    _STSTATUS status;
    _STSTATISTICS32 stats;
    _STMIC mic;
    _STMICSTATISTICS micstats;
    _RID_wep_key key;
    tdsRidZunaPassword pass;
    tdsRidZunaUsername user;
};

struct Call {
    const char *name;
    int command;
    int length;
    const char *suffix;
    std::function<int(kdR770 &, Records &)> run;
    // The record moved: a write must send exactly it, a read must deliver the
    // stand-in's record named by image unchanged.
    std::function<std::vector<uint8_t>(const Records &)> record;
    const char *image;
};

#define RECORD(f) [](const Records &x) { return Bytes(x.f); }

const std::vector<Call> &SingleRequests()
{
    static const std::vector<Call> calls = {
        {"GetCaps", 0, 130, "  kdr770::GetCaps get capabilities ",
         [](kdR770 &r, Records &x) { return r.GetCaps(x.caps); }, RECORD(caps), "caps"},
        {"GetFirstWepKey", 6, 26, "  kdr770::GetFirstWepKey ",
         [](kdR770 &r, Records &x) { return r.GetFirstWepKey(x.key); }, nullptr, nullptr},
        {"GetNextWepKey", 7, 26, "  kdr770::GetNextWepKey ",
         [](kdR770 &r, Records &x) { return r.GetNextWepKey(x.key); }, nullptr, nullptr},
        {"GetStatus", 8, 134, "  kdr770::GetStatus",
         [](kdR770 &r, Records &x) { return r.GetStatus(x.status); }, RECORD(status), "status"},
        {"GetcStats", 9, 544, "  kdr770::GetcStats get statistics",
         [](kdR770 &r, Records &x) { return r.GetcStats(x.stats); }, nullptr, nullptr},
        {"GetStats", 10, 544, "  kdr770::GetStats get statistics32",
         [](kdR770 &r, Records &x) { return r.GetStats(x.stats); }, nullptr, nullptr},
        {"GetMic", 11, 40, "  kdr770::GetMic",
         [](kdR770 &r, Records &x) { return r.GetMic(x.mic); }, RECORD(mic), "mic"},
        {"GetMicStats", 12, 156, "  kdr770::GetMicStats",
         [](kdR770 &r, Records &x) { return r.GetMicStats(x.micstats); }, RECORD(micstats),
         "micstats"},
        {"SetCaps", 50, 130, "  kdr770::SetCaps",
         [](kdR770 &r, Records &x) { return r.SetCaps(x.caps); }, RECORD(caps), nullptr},
        {"ResetStats", 58, 544, "  kdr770::ResetStats clear statistics",
         [](kdR770 &r, Records &x) { return r.ResetStats(x.stats); }, RECORD(stats), nullptr},
        {"WriteWepKey temporary", 59, 26, "  kdr770::WriteWepKwy key",
         [](kdR770 &r, Records &x) { return r.WriteWepKey(x.key, false); }, RECORD(key), nullptr},
        {"WriteWepKey persistent", 60, 26, "  kdr770::WriteWepKwy key",
         [](kdR770 &r, Records &x) { return r.WriteWepKey(x.key, true); }, RECORD(key), nullptr},
        {"WritePassword", 61, 36, "  kdr770::WritePassword",
         [](kdR770 &r, Records &x) { return r.WritePassword(x.pass); }, RECORD(pass), nullptr},
        {"WriteUser", 62, 36, "  kdr770::WriteUser key",
         [](kdR770 &r, Records &x) { return r.WriteUser(x.user); }, RECORD(user), nullptr},
        {"CmdReset", 100, 0, "  kdr770::CmdReset",
         [](kdR770 &r, Records &) { return r.CmdReset(); }, nullptr, nullptr},
        {"Restart", 105, 0, "  kdr770::RESTART",
         [](kdR770 &r, Records &) { return r.Restart(); }, nullptr, nullptr},
    };
    return calls;
}

#undef RECORD

class kdr770Requests : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(radio.InitCard("eth0"), 0);
        sb.clearJournal();
    }

    Sandbox sb{{"eth0"}};
    kdR770 radio{"eth0"};
};

} // namespace

// Each request goes out as one 0x89F0 request with its command and length;
// failures record the system's text plus the request's suffix, a failure
// without an error number keeps the previous text, and a success never
// clears it.
TEST_F(kdr770Requests, EverySingleRequestAndItsFailures)
{
    for (const Call &c : SingleRequests()) {
        SCOPED_TRACE(c.name);
        Records x;
        Fill(x, 0x5c);
        x.user.name_len = 4;  // bit 15 clear: persist 0 sends it as built
        x.pass.hash_len = 32;
        x.key.key_index = 1;
        std::strcpy(radio.errmsg, "earlier");
        radio.lasterr = 77;
        sb.clearJournal();

        ASSERT_EQ(c.run(radio, x), 0);
        EXPECT_STREQ(radio.errmsg, "earlier");
        EXPECT_EQ(radio.lasterr, 77);
        if (c.record && c.image) {
            EXPECT_EQ(c.record(x), sim::GetRecord(sb.dir(), "eth0", c.image));
        }

        sb.fail("eth0", c.command, EIO);
        EXPECT_EQ(c.run(radio, x), -1);
        EXPECT_EQ(radio.lasterr, EIO);
        EXPECT_EQ(radio.errmsg, ErrorText(EIO, c.suffix));

        sb.fail("eth0", c.command, 0);
        errno = EPERM;  // a stale error number must not be taken for the driver's
        EXPECT_EQ(c.run(radio, x), -1);
        EXPECT_EQ(radio.lasterr, EIO);
        EXPECT_EQ(radio.errmsg, ErrorText(EIO, c.suffix));

        sb.fail("eth0", c.command, EAGAIN);  // 11: a busy driver's "try again"
        EXPECT_EQ(c.run(radio, x), -1);
        EXPECT_EQ(radio.lasterr, EAGAIN);
        EXPECT_EQ(radio.errmsg, ErrorText(EAGAIN, c.suffix));

        EXPECT_EQ(c.run(radio, x), 0);
        EXPECT_EQ(radio.lasterr, EAGAIN);
        EXPECT_EQ(radio.errmsg, ErrorText(EAGAIN, c.suffix));

        const auto j = sb.journal();
        ASSERT_EQ(j.size(), 5u);
        const int errs[5] = {0, EIO, 0, EAGAIN, 0};
        for (size_t i = 0; i < j.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(j[i].iface, "eth0");
            EXPECT_EQ(j[i].code, 0x89F0u);
            EXPECT_EQ(j[i].command, c.command);
            EXPECT_EQ(j[i].length, c.length);
            EXPECT_EQ(j[i].result == -1, errs[i] != 0 || i == 2);
            EXPECT_EQ(j[i].err, errs[i]);
            if (c.record && !c.image && i == 0) {
                EXPECT_EQ(j[i].sent, c.record(x));
            }
        }
    }
}

// Reads bring the driver's fixed image whole, texts without terminators
// included; only a bounded copy makes them strings.
TEST_F(kdr770Requests, UnterminatedTextsArriveAsTheDriverWroteThem)
{
    sb.set("eth0", {"status.ssid=" + std::string(32, 'S'),
                    "status.ap_name=" + std::string(16, 'N'),
                    "caps.product_name=" + std::string(16, 'P')});
    _STSTATUS status;
    _STCAPS caps;
    Fill(status, 0);
    Fill(caps, 0);
    ASSERT_EQ(radio.GetStatus(status), 0);
    ASSERT_EQ(radio.GetCaps(caps), 0);
    EXPECT_EQ(Bytes(status), sim::GetRecord(sb.dir(), "eth0", "status"));
    EXPECT_EQ(Bytes(caps), sim::GetRecord(sb.dir(), "eth0", "caps"));

    char text[64];
    FieldText(text, status.ap_name);
    EXPECT_EQ(std::string(text), std::string(16, 'N'));
    FieldText(text, status.ssid);
    EXPECT_EQ(std::string(text), std::string(32, 'S'));
    FieldText(text, caps.product_name);
    EXPECT_EQ(std::string(text), std::string(16, 'P'));
}

// The three reads go in the order configuration, access point list, SSID
// list, and stop at the first failure; what was read stays read.
TEST_F(kdr770Requests, GetConfigurationOrderAndPartialFailure)
{
    struct Case {
        int failing;  // -1: none
        int err;
        std::vector<int> commands;
        const char *suffix;
    };
    const Case cases[] = {
        {-1, 0, {1, 3, 2}, nullptr},
        {1, EIO, {1}, "  kdr770::GetConfiguration  get cfg "},
        {3, EIO, {1, 3}, "  kdr770::GetConfiguration  get aplist"},
        // A long system text: the composition is cut at 80 characters.
        {2, ELIBMAX, {1, 3, 2}, "  kdr770::GetConfiguration  get sysidlist"},
    };
    const int lengths[] = {156, 26, 104};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.failing);
        CFG_R770 cfg;
        _STAPLIST aplist;
        _STSSID ssid;
        Fill(cfg, 0xab);
        Fill(aplist, 0xab);
        Fill(ssid, 0xab);
        sb.clearJournal();
        if (c.failing >= 0)
            sb.fail("eth0", c.failing, c.err);

        EXPECT_EQ(radio.GetConfiguration(cfg, aplist, ssid), c.failing < 0 ? 0 : -1);

        const auto j = sb.journal();
        ASSERT_EQ(j.size(), c.commands.size());
        for (size_t i = 0; i < j.size(); ++i) {
            EXPECT_EQ(j[i].code, 0x89F0u);
            EXPECT_EQ(j[i].command, c.commands[i]);
            EXPECT_EQ(j[i].length, lengths[i]);
        }
        // A record counts as transferred only when its request succeeded.
        const size_t done = c.failing < 0 ? 3 : c.commands.size() - 1;
        const std::vector<uint8_t> untouched(104, 0xab);
        EXPECT_EQ(Bytes(cfg) == sim::GetRecord(sb.dir(), "eth0", "config"), done >= 1);
        EXPECT_EQ(Bytes(aplist) == sim::GetRecord(sb.dir(), "eth0", "aplist"), done >= 2);
        EXPECT_EQ(Bytes(ssid) == sim::GetRecord(sb.dir(), "eth0", "ssid"), done >= 3);
        if (done < 3) {
            EXPECT_EQ(Bytes(ssid), untouched);
        }
        if (c.suffix) {
            EXPECT_EQ(radio.lasterr, c.err);
            EXPECT_EQ(radio.errmsg, ErrorText(c.err, c.suffix));
        }
    }
    EXPECT_EQ(std::strlen(radio.errmsg), 80u);
}

// The lists go before the configuration, and a failure stops the rest.
TEST_F(kdr770Requests, SetConfigurationOrderAndPartialFailure)
{
    struct Case {
        int failing;
        std::vector<int> commands;
        const char *suffix;
    };
    const Case cases[] = {
        {-1, {54, 55, 53}, nullptr},
        {54, {54}, "  kdr770::SetConfiguration set STSSID"},
        {55, {54, 55}, "  kdr770::SetConfiguration set STAPLIST"},
        {53, {54, 55, 53}, "  kdr770::SetConfiguration set CFG"},
    };
    CFG_R770 cfg;
    _STAPLIST aplist;
    _STSSID ssid;
    ASSERT_EQ(radio.GetConfiguration(cfg, aplist, ssid), 0);
    cfg.channel = 7;
    ssid.entry[0].len = 3;
    std::memcpy(ssid.entry[0].text, "abc", 3);
    aplist.mac[1][5] = 0x42;
    const std::vector<uint8_t> sent[] = {Bytes(ssid), Bytes(aplist), Bytes(cfg)};
    const int lengths[] = {104, 26, 156};

    for (const Case &c : cases) {
        SCOPED_TRACE(c.failing);
        sb.clearJournal();
        if (c.failing >= 0)
            sb.fail("eth0", c.failing, EIO);
        EXPECT_EQ(radio.SetConfiguration(cfg, aplist, ssid), c.failing < 0 ? 0 : -1);
        const auto j = sb.journal();
        ASSERT_EQ(j.size(), c.commands.size());
        for (size_t i = 0; i < j.size(); ++i) {
            EXPECT_EQ(j[i].code, 0x89F0u);
            EXPECT_EQ(j[i].command, c.commands[i]);
            EXPECT_EQ(j[i].length, lengths[i]);
            EXPECT_EQ(j[i].sent, sent[i]);
        }
        if (c.suffix) {
            EXPECT_EQ(radio.errmsg, ErrorText(EIO, c.suffix));
        }
    }
}

// The radio switch and the identification carry whatever length the
// request before them left.
TEST_F(kdr770Requests, RadioSwitchAndIdentificationCarryThePreviousLength)
{
    _STSTATUS status;
    _STCAPS caps;
    _STSTATISTICS32 stats;
    ASSERT_EQ(radio.GetStatus(status), 0);
    EXPECT_EQ(radio.SetMac(false), 0);
    ASSERT_EQ(radio.GetCaps(caps), 0);
    EXPECT_EQ(radio.SetMac(true), 0);
    EXPECT_EQ(radio.SetMac(true), 0);
    ASSERT_EQ(radio.GetStats(stats), 0);
    EXPECT_TRUE(radio.isradio());
    EXPECT_EQ(radio.SetMac(false), 0);

    struct Expect {
        unsigned long code;
        int command;
        int length;
    };
    const Expect expected[] = {{0x89F0, 8, 134},    {0x89F0, 57, 134},   {0x89F0, 0, 130},
                               {0x89F0, 56, 130},   {0x89F0, 56, 130},   {0x89F0, 10, 544},
                               {0x89F1, 0x89F1, 544}, {0x89F0, 57, 544}};
    const auto j = sb.journal();
    ASSERT_EQ(j.size(), std::size(expected));
    for (size_t i = 0; i < j.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(j[i].code, expected[i].code);
        EXPECT_EQ(j[i].command, expected[i].command);
        EXPECT_EQ(j[i].length, expected[i].length);
    }

    for (bool on : {false, true}) {
        sb.fail("eth0", on ? 56 : 57, EBUSY);
        EXPECT_EQ(radio.SetMac(on), -1);
        EXPECT_EQ(radio.lasterr, EBUSY);
        EXPECT_EQ(radio.errmsg, ErrorText(EBUSY, "  kdr770::SetMac  radio on/off"));
    }
}

// Only the answer word 0xA55A identifies an adapter of this driver.
TEST_F(kdr770Requests, IsradioAcceptsOnlyTheDriversAnswer)
{
    struct Case {
        const char *name;
        std::vector<std::string> set;
        int failErr;  // -1: no failure
        bool expected;
    };
    const Case cases[] = {
        {"answer", {}, -1, true},
        {"other word", {"ident=0x1234"}, -1, false},
        {"no word", {"ident=none"}, -1, false},
        {"request fails", {}, EIO, false},
        {"fails without error number", {}, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sb.set("eth0", {"ident=0xA55A"});
        if (!c.set.empty())
            sb.set("eth0", c.set);
        if (c.failErr >= 0)
            sb.fail("eth0", 0x89F1, c.failErr);
        std::strcpy(radio.errmsg, "earlier");
        sb.clearJournal();
        EXPECT_EQ(radio.isradio(), c.expected);
        const auto j = sb.journal();
        ASSERT_EQ(j.size(), 1u);
        EXPECT_EQ(j[0].code, 0x89F1u);
        EXPECT_EQ(j[0].command, 0x89F1);
        EXPECT_EQ(radio.errmsg, c.failErr > 0 ? ErrorText(c.failErr, "  kdr770::isradio")
                                              : std::string("earlier"));
    }

    // An interface that does not exist.
    kdR770 other;
    ASSERT_EQ(other.InitCard("eth5"), 0);
    EXPECT_FALSE(other.isradio());
    EXPECT_EQ(other.lasterr, ENODEV);
    EXPECT_EQ(other.errmsg, ErrorText(ENODEV, "  kdr770::isradio"));
}

// Credentials are marked persistent in the caller's own record exactly when
// the object's flag is 1.
TEST_F(kdr770Requests, CredentialsPersistenceBit)
{
    struct Case {
        bool password;
        uint8_t persist;
        uint16_t built;
        uint16_t sent;
    };
    const Case cases[] = {
        {false, 0, 5, 5},           {false, 1, 5, 0x8005}, {false, 2, 5, 5},
        {false, 0, 0x8005, 0x8005}, {true, 0, 32, 32},     {true, 1, 32, 0x8020},
        {true, 3, 32, 32},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.password) + " persist " + std::to_string(c.persist) +
                     " built " + std::to_string(c.built));
        radio.persist = c.persist;
        sb.clearJournal();
        std::vector<uint8_t> expected;
        if (c.password) {
            tdsRidZunaPassword rec;
            Fill(rec, 0x33);
            rec.hash_len = c.built;
            ASSERT_EQ(radio.WritePassword(rec), 0);
            EXPECT_EQ(uint16_t(rec.hash_len), c.sent);
            expected = Bytes(rec);
        } else {
            tdsRidZunaUsername rec;
            Fill(rec, 0x44);
            rec.name_len = c.built;
            ASSERT_EQ(radio.WriteUser(rec), 0);
            EXPECT_EQ(uint16_t(rec.name_len), c.sent);
            expected = Bytes(rec);
        }
        const auto j = sb.journal();
        ASSERT_EQ(j.size(), 1u);
        ASSERT_EQ(j[0].sent.size(), 36u);
        EXPECT_EQ(j[0].sent[2] | j[0].sent[3] << 8, c.sent);
        EXPECT_EQ(j[0].sent, expected);
    }
}

// The monitor character requests report nothing into the error text.
TEST_F(kdr770Requests, FlashCharactersLeaveTheErrorTextAlone)
{
    std::strcpy(radio.errmsg, "earlier");
    radio.lasterr = 77;
    sb.fail("eth0", 101, EIO);
    EXPECT_EQ(radio.FlashGetchar('*'), -1);
    sb.fail("eth0", 103, EIO);
    EXPECT_EQ(radio.FlashPutchar(0x1b), -1);
    EXPECT_STREQ(radio.errmsg, "earlier");
    EXPECT_EQ(radio.lasterr, 77);

    sb.clearJournal();
    radio.FlashPutchar(0x12a);
    const auto j = sb.journal();
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j[0].command, 103);
    EXPECT_EQ(j[0].length, 4);
    EXPECT_EQ(j[0].sent, (std::vector<uint8_t>{0x2a, 0, 0, 0}));
}

// An object whose InitCard never ran has no socket to ask through.
TEST(kdr770Setup, RequestFailsWithBadDescriptor)
{
    Sandbox sb{{"eth0"}};
    kdR770 radio("eth0");
    _STSTATUS status;
    EXPECT_EQ(radio.GetStatus(status), -1);
    EXPECT_EQ(radio.lasterr, EBADF);
    EXPECT_EQ(radio.errmsg, ErrorText(EBADF, "  kdr770::GetStatus"));
    EXPECT_FALSE(radio.isradio());
    EXPECT_EQ(radio.errmsg, ErrorText(EBADF, "  kdr770::isradio"));
}

// InitCard starts from a cleared request structure, keeps one socket however
// often it runs, and the object closes it when it goes.
TEST(kdr770Setup, InitCardClearsNamesAndKeepsOneSocket)
{
    Sandbox sb{{"eth0", "eth1"}};
    const int before = OpenFds();
    {
        kdR770 radio("eth1xyz");
        EXPECT_EQ(radio.opened, 0);
        EXPECT_EQ(radio.persist, 0);
        EXPECT_EQ(radio.cardkind, 0);
        EXPECT_EQ(OpenFds(), before);

        std::memset(&radio.ifr, 0xff, sizeof radio.ifr);
        for (int i = 0; i < 5; ++i)
            ASSERT_EQ(radio.InitCard("eth0"), 0);
        EXPECT_EQ(radio.opened, 1);
        EXPECT_EQ(OpenFds(), before + 1);
        // A program that the suite starts (the help browser) gets no socket.
        EXPECT_TRUE(fcntl(radio.sock, F_GETFD) & FD_CLOEXEC);
        const auto *p = reinterpret_cast<const uint8_t *>(&radio.ifr);
        EXPECT_STREQ(radio.ifr.ifr_name, "eth0");
        for (size_t i = 4; i < sizeof radio.ifr; ++i)
            EXPECT_EQ(p[i], 0) << "byte " << i;

        // Without a name the first five characters of the device name serve.
        ASSERT_EQ(radio.InitCard(), 0);
        EXPECT_STREQ(radio.ifr.ifr_name, "eth1x");
        EXPECT_EQ(OpenFds(), before + 1);

        char out[8];
        std::memset(out, 'Z', sizeof out);
        radio.GetIfName(out);
        EXPECT_EQ(std::string(out, 8), "eth1xZZZ");  // five characters, no terminator

        kdR770 short_name("eth1");
        ASSERT_EQ(short_name.InitCard(), 0);
        std::memset(out, 'Z', sizeof out);
        short_name.GetIfName(out);
        EXPECT_STREQ(out, "eth1");
        sb.clearJournal();
        _STSTATUS status;
        EXPECT_EQ(short_name.GetStatus(status), 0);
        ASSERT_EQ(sb.journal().size(), 1u);
        EXPECT_EQ(sb.journal()[0].iface, "eth1");
    }
    EXPECT_EQ(OpenFds(), before);
}

TEST(kdr770Setup, SocketFailureIsReported)
{
    Sandbox sb{{"eth0"}};
    kdR770 radio("eth0");
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    // The lowest free descriptor becomes the limit: the next socket is refused.
    const int lowest = dup(0);
    ASSERT_GE(lowest, 0);
    close(lowest);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(lowest);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const int rc = radio.InitCard("eth0");
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);

    EXPECT_EQ(rc, -1);
    EXPECT_EQ(radio.opened, 0);
    EXPECT_EQ(radio.lasterr, EMFILE);
    EXPECT_EQ(radio.errmsg, ErrorText(EMFILE, "  kdr770:InitCard socket"));
}
