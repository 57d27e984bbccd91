// ZUNA logins: the MD4 digest, the credential records, the order and content
// of what the logins send, and how the searching login waits.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "kdr770.h"
#include "md4.h"
#include "records.h"
#include "sandbox.h"
#include "zuna_login.h"

namespace {

constexpr int IDENT = 0x89F1;

std::string Hex(const uint8_t *p, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

std::vector<uint8_t> Md4(const std::vector<uint8_t> &in)
{
    std::vector<uint8_t> d(16);
    MD4_calc(d.data(), in.data(), in.size());
    return d;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The bytes of the first request with this command; empty when none was made.
std::vector<uint8_t> SentBy(const std::vector<sim::JournalEntry> &j, int command)
{
    for (const auto &e : j)
        if (e.command == command)
            return e.sent;
    return {};
}

int CountOf(const std::vector<int> &commands, int command)
{
    int n = 0;
    for (int c : commands)
        n += c == command;
    return n;
}

bool WritesAnything(const std::vector<int> &commands)
{
    for (int c : commands)
        if (c >= 50 && c != IDENT)
            return true;
    return false;
}

// The password record that a login must send for this password.
std::vector<uint8_t> PasswordImage(const std::string &password, uint16_t lenword = 32)
{
    std::vector<uint8_t> wide;
    for (unsigned char ch : password) {
        wide.push_back(ch);
        wide.push_back(0);
    }
    std::vector<uint8_t> first = Md4(wide);
    std::vector<uint8_t> second = Md4(first);
    std::vector<uint8_t> rec = {0, 0, uint8_t(lenword), uint8_t(lenword >> 8)};
    rec.insert(rec.end(), first.begin(), first.end());
    rec.insert(rec.end(), second.begin(), second.end());
    return rec;
}

} // namespace

TEST(zunaMd4, KnownDigestsWholeAndInPieces)
{
    const struct {
        std::string in;
        const char *digest;
    } vectors[] = {
        {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
        {"a", "bde52cb31de33e46245e05fbdbd6fb24"},
        {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
        {"message digest", "d9130a8164549fe818874806e1c7014b"},
        {"abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "043f8582f241db351ce627e153e7f0e4"},
        {"1234567890123456789012345678901234567890"
         "1234567890123456789012345678901234567890",
         "e33b4ddc9c38f2199c3e7b164fcc0536"},
        // Lengths about the padding and block boundaries.
        {std::string(55, 'a'), "c889c81dd86c4d2e025778944ea02881"},
        {std::string(56, 'a'), "d5f9a9e9257077a5f08b0b92f348b0ad"},
        {std::string(63, 'a'), "7ea3da77432d44c323671097d1348fc8"},
        {std::string(64, 'a'), "52f5076fabd22680234a3fa9f9dc5732"},
        {std::string(119, 'a'), "e65dd227ccef97fa1d34d70189120f76"},
        {std::string(120, 'a'), "b03ddbd470b47c013e0c7ab2ddd763db"},
        {std::string(128, 'a'), "cb4a20a561558e29460190c91dced59f"},
        {std::string(200, 'a'), "e4720c787792df1ec36423b1f3fb0ee6"},
    };
    for (const auto &v : vectors) {
        SCOPED_TRACE(v.in.substr(0, 20) + " (" + std::to_string(v.in.size()) + ")");
        const auto *in = reinterpret_cast<const uint8_t *>(v.in.data());
        uint8_t digest[16];
        MD4_calc(digest, in, v.in.size());
        EXPECT_EQ(Hex(digest, 16), v.digest);

        // Pieces that end inside, exactly at and across the 64-byte block.
        for (size_t piece : {size_t(1), size_t(7), size_t(63), size_t(64), size_t(65)}) {
            SCOPED_TRACE(piece);
            MD4_CTX ctx;
            MD4Init(&ctx);
            for (size_t at = 0; at < v.in.size(); at += piece)
                MD4Update(&ctx, in + at, std::min(piece, v.in.size() - at));
            std::memset(digest, 0, sizeof digest);
            MD4Final(digest, &ctx);
            EXPECT_EQ(Hex(digest, 16), v.digest);
            const MD4_CTX cleared{};
            EXPECT_EQ(std::memcmp(&ctx, &cleared, sizeof ctx), 0);
        }
    }
}

TEST(zunaHashPass, FormsTheRecordFromTheWidePassword)
{
    const std::string chars32(32, 'k');
    for (const std::string &pw : {std::string(""), std::string("password"), chars32,
                                  std::string("caf\xe9"), std::string("\x80\xff")}) {
        SCOPED_TRACE(pw);
        // As an earlier persistent write leaves it: stale digests, bit 15 set.
        PasswordRecord = tdsRidZunaPassword{};
        std::memset(PasswordRecord.hash, 0xee, sizeof PasswordRecord.hash);
        PasswordRecord.hash_len = 0x8020;
        ASSERT_EQ(hashpass(pw.c_str()), 0);
        EXPECT_EQ(Bytes(PasswordRecord), PasswordImage(pw));
    }

    // The published NT hash of "password" is the first digest.
    ASSERT_EQ(hashpass("password"), 0);
    EXPECT_EQ(Hex(PasswordRecord.hash, 16), "8846f7eaee8fb117ad06bdd830b7586c");
    ASSERT_EQ(hashpass(""), 0);
    EXPECT_EQ(Hex(PasswordRecord.hash, 16), "31d6cfe0d16ae931b73c59d7e0c089c0");

    // A character of 0x80 or above enters as itself with a zero high byte.
    ASSERT_EQ(hashpass("\xe9"), 0);
    EXPECT_EQ(Bytes(PasswordRecord), PasswordImage(std::string("\xe9")));
    EXPECT_EQ(Md4({0xe9, 0x00}), std::vector<uint8_t>(PasswordRecord.hash, PasswordRecord.hash + 16));

    // One character too many leaves the record as it was.
    ASSERT_EQ(hashpass("password"), 0);
    const std::vector<uint8_t> before = Bytes(PasswordRecord);
    EXPECT_EQ(hashpass(std::string(33, 'k').c_str()), 1);
    EXPECT_EQ(Bytes(PasswordRecord), before);
}

// What a user types arrives as UTF-8 and is hashed as the characters typed,
// each as 16-bit little-endian units; bytes that are not UTF-8 are one
// character each. The digests were computed once with OpenSSL's MD4
// (legacy provider) over the units written out by hand, e.g. for "été"
// printf '\xe9\x00t\x00\xe9\x00' | openssl dgst -md4 -provider legacy.
TEST(zunaHashPass, HashesTheCharactersTyped)
{
    std::string e32, e33;
    for (int i = 0; i < 32; ++i)
        e32 += "\u00e9";
    e33 = e32 + "\u00e9";
    const struct {
        const char *what;
        std::string password;
        const char *first, *second;
    } cases[] = {
        {"UTF-8 \"\u00e9t\u00e9\": E9 00 74 00 E9 00", "\u00e9t\u00e9",
         "6fd6e4578aa492f412c1c83ae40432c8", "9a444d8558fcc8c00e87fc64bd792d77"},
        {"32 UTF-8 \"\u00e9\", 64 bytes typed", e32, "d7569420b242afc52e1c64b418f48a27",
         "ac235ce588cce2f4caee92d2805ad570"},
        {"Latin-1 bytes \"caf\\xe9\"", "caf\xe9", "b1db12409c00d1fc586fc48ecadc36a1",
         "f503a022245e284441fd5622f5363949"},
        {"U+20AC: AC 20", "\u20ac", "030926b781938db4365d46adc7cfbcb8",
         "0276847d1fb30b7bc62fd108d0e9968e"},
        {"U+1F600: the pair D83D DE00", "\U0001F600", "4b58a10cc20a4e7d808d218e1f80aabc",
         "453f8f21d2f78015d918918141aaa61c"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        PasswordRecord = tdsRidZunaPassword{};
        ASSERT_EQ(hashpass(c.password.c_str()), 0);
        EXPECT_EQ(Hex(PasswordRecord.hash, 16), c.first);
        EXPECT_EQ(Hex(PasswordRecord.hash + 16, 16), c.second);
        EXPECT_EQ(PasswordRecord.hash_len, 32);
    }
    // The limit counts characters, not the bytes of their UTF-8 form.
    ASSERT_EQ(hashpass("x"), 0);
    const std::vector<uint8_t> before = Bytes(PasswordRecord);
    EXPECT_EQ(hashpass(e33.c_str()), 1);
    EXPECT_EQ(Bytes(PasswordRecord), before);
}

namespace {

// The two login entry points, run on a one-adapter sandbox.
struct Login {
    const char *name;
    bool searching;
    uint16_t authbits;
};

void PrintTo(const Login &login, std::ostream *os) { *os << login.name; }

const Login Logins[] = {{"kdR770Authuser", true, 0x1100}, {"kdR770::AuthUser", false, 0x1000}};

class zunaLogin : public ::testing::TestWithParam<Login> {
protected:
    void SetUp() override
    {
        AuthWait = 3;
        sb.set("eth0", {"auth_after=0"});  // authenticated at the first status read
        ASSERT_EQ(radio.InitCard("eth0"), 0);
        sb.clearJournal();
    }

    int Run(const char *user, const char *password)
    {
        return GetParam().searching ? kdR770Authuser(user, password)
                                    : radio.AuthUser(user, password);
    }

    // What the login reads before it writes anything.
    std::vector<int> Reads(std::vector<int> tail) const
    {
        std::vector<int> out;
        if (GetParam().searching)
            out.push_back(IDENT);
        out.insert(out.end(), tail.begin(), tail.end());
        return out;
    }

    Sandbox sb{{"eth0"}};
    kdR770 radio{"eth0"};
};

} // namespace

// Reads, radio off, configuration with the login's bits, credentials, radio
// on, status: in that order, everything else sent exactly as read.
TEST_P(zunaLogin, SendsTheSequenceAndKeepsWhatItRead)
{
    sb.set("eth0", {"config.auth_mode=0x0203", "config.channel=9",
                    "ssid.1.text=corp"});
    const auto cfg = sim::GetRecord(sb.dir(), "eth0", "config");
    const auto ssid = sim::GetRecord(sb.dir(), "eth0", "ssid");
    const auto aplist = sim::GetRecord(sb.dir(), "eth0", "aplist");

    EXPECT_EQ(Run("alice", "secret"), 0);

    EXPECT_EQ(sb.commands(), Reads({0, 1, 3, 2, 57, 54, 55, 53, 62, 61, 56, 8}));
    const auto j = sb.journal();
    for (const auto &e : j)
        EXPECT_EQ(e.iface, "eth0");

    std::vector<uint8_t> expectCfg = cfg;
    const size_t at = offsetof(CFG_R770, auth_mode);
    const uint16_t mode = uint16_t(0x0203 | GetParam().authbits);
    expectCfg[at] = uint8_t(mode);
    expectCfg[at + 1] = uint8_t(mode >> 8);
    EXPECT_EQ(SentBy(j, 53), expectCfg);
    EXPECT_EQ(SentBy(j, 54), ssid);
    EXPECT_EQ(SentBy(j, 55), aplist);
    EXPECT_EQ(SentBy(j, 61), PasswordImage("secret"));
}

// The user record: the name's first 32 characters, zero padded, no
// terminator, its length in the length word.
TEST_P(zunaLogin, UserRecord)
{
    const std::string forty = "abcdefghijklmnopqrstuvwxyz0123456789ABCD";
    for (const std::string &user : {std::string(""), std::string("bob"), forty.substr(0, 32), forty}) {
        SCOPED_TRACE(user);
        sb.clearJournal();
        Run(user.c_str(), "pw");
        const auto j = sb.journal();
        const size_t n = std::min<size_t>(user.size(), 32);
        std::vector<uint8_t> expected(36, 0);
        expected[2] = uint8_t(n);
        std::memcpy(expected.data() + 4, user.data(), n);
        EXPECT_EQ(SentBy(j, 62), expected);
    }

    // The record holds Latin-1 bytes: a name typed as UTF-8 is stored one
    // byte per character, a name in Latin-1 bytes as it is.
    std::string fortyE;
    for (int i = 0; i < 40; ++i)
        fortyE += "\u00e9";
    const struct {
        std::string user;
        std::string bytes;
    } latin1[] = {
        {"J\u00fcrgen", "J\xfcrgen"},
        {"J\xfcrgen", "J\xfcrgen"},
        {fortyE, std::string(32, '\xe9')},
    };
    for (const auto &c : latin1) {
        SCOPED_TRACE(c.user);
        sb.clearJournal();
        EXPECT_EQ(Run(c.user.c_str(), "pw"), 0);
        std::vector<uint8_t> expected(36, 0);
        expected[2] = uint8_t(c.bytes.size());
        std::memcpy(expected.data() + 4, c.bytes.data(), c.bytes.size());
        EXPECT_EQ(SentBy(sb.journal(), 62), expected);
    }
}

// Refusals come before anything is written to the adapter.
TEST_P(zunaLogin, RefusalsWriteNothing)
{
    struct Case {
        const char *name;
        std::vector<std::string> set;
        int failing;  // command that fails, -1 none
        std::string password;
        std::vector<int> reads;
        std::string user = "alice";
    };
    const Case cases[] = {
        {"not ZUNA capable", {"caps.cap_flags=0x0102"}, -1, "pw", {0}},
        {"capabilities unreadable", {}, 0, "pw", {0}},
        {"configuration unreadable", {}, 1, "pw", {0, 1}},
        {"access point list unreadable", {}, 3, "pw", {0, 1, 3}},
        {"password too long", {}, -1, std::string(33, 'p'), {0, 1, 3, 2}},
        {"user name beyond Latin-1", {}, -1, "pw", {0, 1, 3, 2}, "\u03a9mega"},
        // Asked again for the marks: an answer cut short is never written back.
        {"configuration answered short", {"short.1=78"}, -1, "pw", {0, 1, 3, 2, 1, 3, 2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sb.set("eth0", {"caps.cap_flags=0x1102"});
        if (!c.set.empty())
            sb.set("eth0", c.set);
        if (c.failing >= 0)
            sb.fail("eth0", c.failing, EIO);
        ASSERT_EQ(hashpass("earlier"), 0);
        const auto before = Bytes(PasswordRecord);
        sb.clearJournal();

        EXPECT_EQ(Run(c.user.c_str(), c.password.c_str()), -1);
        EXPECT_EQ(sb.commands(), Reads(c.reads));
        EXPECT_FALSE(WritesAnything(sb.commands()));
        EXPECT_EQ(Bytes(PasswordRecord), before);
    }
}

INSTANTIATE_TEST_SUITE_P(BothLogins, zunaLogin, ::testing::ValuesIn(Logins),
                         [](const auto &info) { return info.param.searching ? "Searching" : "OnAdapter"; });

// The client's login reads the status once, right after the radio is on.
TEST(zunaAuthUser, OneStatusReadDecides)
{
    struct Case {
        const char *name;
        std::vector<std::string> set;
        bool failStatus;
        int expected;
    };
    const Case cases[] = {
        {"authenticated at once", {"auth_after=0"}, false, 0},
        {"later", {"auth_after=1"}, false, -1},
        {"status unreadable", {"auth_after=0"}, true, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sb{{"eth0"}};
        sb.set("eth0", c.set);
        kdR770 radio("eth0");
        ASSERT_EQ(radio.InitCard(), 0);
        if (c.failStatus)
            sb.fail("eth0", 8, EIO);
        const int waitBefore = AuthWait;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(radio.AuthUser("alice", "pw"), c.expected);
        EXPECT_LT(Seconds(start), 0.9);  // no one-second wait
        EXPECT_EQ(CountOf(sb.commands(), 8), 1);
        EXPECT_EQ(AuthWait, waitBefore);
    }
}

// A persistent login marks both records, and the process's password record
// keeps the mark.
TEST(zunaAuthUser, PersistFlagMarksBothRecords)
{
    Sandbox sb{{"eth0"}};
    kdR770 radio("eth0");
    ASSERT_EQ(radio.InitCard(), 0);
    radio.persist = 1;
    radio.AuthUser("carol", "pw");
    const auto j = sb.journal();
    const std::vector<uint8_t> user = SentBy(j, 62);
    ASSERT_EQ(user.size(), 36u);
    EXPECT_EQ(user[2], 5);
    EXPECT_EQ(user[3], 0x80);
    EXPECT_EQ(SentBy(j, 61), PasswordImage("pw", 0x8020));
    EXPECT_EQ(uint16_t(PasswordRecord.hash_len), 0x8020);
}

// The searching login waits up to AuthWait status reads, one second apart.
TEST(zunaAuthuser, WaitsForTheAuthenticatedBit)
{
    struct Case {
        const char *name;
        std::string authAfter;
        bool failFirstStatus;
        int wait;
        int expected;
        int reads;
        double minSeconds, maxSeconds;
    };
    const Case cases[] = {
        {"at the first read", "0", false, 5, 0, 1, 0, 0.9},
        {"at the second read", "1", false, 3, 0, 2, 0.9, 1.9},
        {"never", "-1", false, 1, -1, 1, 0.9, 1.9},
        {"a failed read counts as not yet", "0", true, 1, -1, 1, 0.9, 1.9},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sb{{"eth0"}};
        sb.set("eth0", {"auth_after=" + c.authAfter});
        if (c.failFirstStatus)
            sb.fail("eth0", 8, EIO);
        AuthWait = c.wait;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(kdR770Authuser("alice", "pw"), c.expected);
        const double took = Seconds(start);
        EXPECT_GE(took, c.minSeconds);
        EXPECT_LT(took, c.maxSeconds);
        EXPECT_EQ(CountOf(sb.commands(), 8), c.reads);
        EXPECT_EQ(AuthWait, c.wait);
    }
}

TEST(zunaAuthuser, UnsetWaitBecomesTen)
{
    Sandbox sb{{"eth0"}};
    sb.set("eth0", {"auth_after=0"});
    AuthWait = 0;
    EXPECT_EQ(kdR770Authuser("alice", "pw"), 0);
    EXPECT_EQ(AuthWait, 10);
}

TEST(zunaAuthuser, NoAdapterAnswers)
{
    Sandbox sb({}, "vindral");
    AuthWait = 1;
    EXPECT_EQ(kdR770Authuser("alice", "pw"), -1);
    EXPECT_EQ(sb.commands(), std::vector<int>(5, IDENT));
    EXPECT_EQ(kdR770Nulluser(), -1);
    EXPECT_EQ(sb.commands(), std::vector<int>(10, IDENT));
}

// findfirst settles on the first interface that answers, and each call
// replaces the object it made before without leaving sockets behind.
TEST(zunaFindFirst, FirstAnsweringInterface)
{
    Sandbox sb({"eth3", "eth4"});
    ASSERT_EQ(findfirst(), 3);
    const int held = OpenFds();  // curadio's one socket included
    for (int round = 0; round < 3; ++round) {
        sb.clearJournal();
        ASSERT_EQ(findfirst(), 3);
        ASSERT_NE(curadio, nullptr);
        EXPECT_STREQ(curadio->ifr.ifr_name, "eth3");
        EXPECT_EQ(curadio->persist, 0);
        EXPECT_EQ(curadio->cardkind, 0);
        EXPECT_EQ(OpenFds(), held);
        _STSTATUS status;
        EXPECT_EQ(curadio->GetStatus(status), 0);
        const auto j = sb.journal();
        ASSERT_EQ(j.size(), 5u);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(j[size_t(i)].iface, "eth" + std::to_string(i));
        EXPECT_EQ(j[4].iface, "eth3");
        EXPECT_EQ(j[4].command, 8);
    }

    Sandbox none({}, "vindral");
    EXPECT_EQ(findfirst(), -1);
    EXPECT_EQ(OpenFds(), held);  // the last probe's socket, held by curadio
}

// The empty login: zero records, both mode bits, no capabilities, no wait.
TEST(zunaNulluser, WritesEmptyCredentials)
{
    Sandbox sb({"eth1"});
    sb.set("eth1", {"config.auth_mode=0x0001"});
    const auto cfg = sim::GetRecord(sb.dir(), "eth1", "config");
    ASSERT_EQ(hashpass("earlier"), 0);
    EXPECT_EQ(kdR770Nulluser(), -1);

    EXPECT_EQ(sb.commands("eth1"), (std::vector<int>{IDENT, 1, 3, 2, 57, 54, 55, 53, 62, 61, 56}));
    const auto j = sb.journal();
    EXPECT_EQ(SentBy(j, 62), std::vector<uint8_t>(36, 0));
    EXPECT_EQ(SentBy(j, 61), std::vector<uint8_t>(36, 0));
    EXPECT_EQ(Bytes(PasswordRecord), std::vector<uint8_t>(36, 0));
    std::vector<uint8_t> expectCfg = cfg;
    expectCfg[offsetof(CFG_R770, auth_mode)] = 0x01;
    expectCfg[offsetof(CFG_R770, auth_mode) + 1] = 0x11;
    EXPECT_EQ(SentBy(j, 53), expectCfg);

    // Without a configuration to write back, nothing is written.
    sb.clearJournal();
    sb.fail("eth1", 2, EIO);
    EXPECT_EQ(kdR770Nulluser(), -1);
    EXPECT_EQ(sb.commands("eth1"), (std::vector<int>{IDENT, 1, 3, 2}));
    sb.clearJournal();
    sb.set("eth1", {"short.1=0"});
    EXPECT_EQ(kdR770Nulluser(), -1);
    EXPECT_EQ(sb.commands("eth1"), (std::vector<int>{IDENT, 1, 3, 2, 1, 3, 2}));
}
