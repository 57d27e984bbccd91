// The adapter list: which driver directory decides the family, which
// interfaces are tried and kept, and that nothing is left open behind it.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "kdr770.h"
#include "radio_list.h"
#include "sandbox.h"

namespace {

std::vector<std::string> Names(const RadioList &list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list[i]->ifr.ifr_name);
    return out;
}

// A driver directory as the stand-in shows it in place of the fixed path.
bool MakeDriverDirectory(const Sandbox &sb, const std::string &fixed)
{
    std::error_code ec;
    std::filesystem::create_directories(sb.path(fixed.substr(1)), ec);
    return !ec;
}

} // namespace

TEST(radio_list, FindsAdaptersInOrderWithTheFamilysCardKind)
{
    struct Case {
        const char *name;
        std::string family;
        std::vector<std::string> adapters;
        std::vector<std::string> set;  // assignments for the first adapter
        std::vector<std::string> found;
        int cardkind;
    };
    const Case cases[] = {
        {"two adapters", "vindral", {"eth0", "eth1"}, {}, {"eth0", "eth1"}, 0},
        {"second family", "tsv240", {"eth0", "eth1"}, {}, {"eth0", "eth1"}, 6},
        {"gap", "vindral", {"eth3"}, {}, {"eth3"}, 0},
        {"gaps", "tsv240", {"eth1", "eth4"}, {}, {"eth1", "eth4"}, 6},
        {"eth5 is never tried", "vindral", {"eth2", "eth5"}, {}, {"eth2"}, 0},
        {"another answer word", "vindral", {"eth0", "eth2"}, {"ident=0x1234"}, {"eth2"}, 0},
        {"no answer word", "vindral", {"eth0", "eth2"}, {"ident=none"}, {"eth2"}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sb(c.adapters, c.family);
        if (!c.set.empty())
            sb.set(c.adapters[0], c.set);
        sb.clearJournal();
        const int before = OpenFds();
        {
            RadioList list;
            EXPECT_EQ(list.Count(), int(c.found.size()));
            EXPECT_EQ(Names(list), c.found);
            for (int i = 0; i < list.Count(); ++i) {
                EXPECT_EQ(list[i]->cardkind, c.cardkind);
                EXPECT_EQ(list[i]->persist, 0);
                EXPECT_EQ(list[i]->opened, 1);
            }
            EXPECT_EQ(list[list.Count()], nullptr);

            // One identification request per interface eth0..eth4, in order.
            const auto j = sb.journal();
            ASSERT_EQ(j.size(), 5u);
            for (size_t i = 0; i < j.size(); ++i) {
                EXPECT_EQ(j[i].iface, "eth" + std::to_string(i));
                EXPECT_EQ(j[i].code, 0x89F1u);
            }
            // Only the entries keep a socket.
            EXPECT_EQ(OpenFds(), before + list.Count());

            // Each entry addresses its own interface.
            sb.clearJournal();
            for (int i = 0; i < list.Count(); ++i) {
                _STSTATUS status;
                EXPECT_EQ(list[i]->GetStatus(status), 0);
            }
            std::vector<std::string> asked;
            for (const auto &e : sb.journal())
                asked.push_back(e.iface);
            EXPECT_EQ(asked, c.found);
        }
        EXPECT_EQ(OpenFds(), before);
    }
}

TEST(radio_list, NoDriverDirectoryTriesNoInterface)
{
    Sandbox sb({"eth0", "eth1"}, "none");
    sb.clearJournal();
    const int before = OpenFds();
    RadioList list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list[0], nullptr);
    EXPECT_TRUE(sb.journal().empty());
    EXPECT_EQ(OpenFds(), before);
}

// Any one of the four directories finds the driver; the first present
// decides the family.
TEST(radio_list, EachDriverDirectoryAndItsFamily)
{
    struct Case {
        std::vector<std::string> dirs;
        int cardkind;
    };
    const Case cases[] = {
        {{"/proc/vindral"}, 0},
        {{"/proc/driver/vindral"}, 0},
        {{"/proc/driver/tsv240"}, 6},
        {{"/proc/tsv240"}, 6},
        {{"/proc/driver/vindral", "/proc/tsv240"}, 0},
        {{"/proc/driver/tsv240", "/proc/tsv240"}, 6},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.dirs[0]);
        Sandbox sb({"eth0"}, "none");
        for (const std::string &d : c.dirs)
            ASSERT_TRUE(MakeDriverDirectory(sb, d)) << d;
        RadioList list;
        ASSERT_EQ(list.Count(), 1);
        EXPECT_EQ(list[0]->cardkind, c.cardkind);
    }
}
