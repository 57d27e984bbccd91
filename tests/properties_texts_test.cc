// What the enterprise profile's pages are made of: every text they show, in
// display order; on the RF Network and both advanced pages, which radio
// button stores which value, and the range of every scale at both of its ends.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtkmm/bin.h>
#include <gtkmm/radiobutton.h>

#include "adhoc_page.h"
#include "infrastructure_page.h"
#include "properties_fixture.h"
#include "rf_page.h"
#include "security_page.h"
#include "system_page.h"

namespace {

class PageTextsTest : public PropertiesTest {};

// Every text under a widget in tree order, each marked with what carries it:
// "frame" titles, "label"s, "radio", "check" and "button" labels, and the
// items of drop-down lists ("list" with the items joined by '|').
void CollectTexts(Gtk::Widget &w, std::vector<std::string> &out)
{
    if (auto *list = dynamic_cast<Gtk::ComboBoxText *>(&w)) {
        std::string items;
        for (const std::string &item : Items(*list))
            items += (items.empty() ? "" : "|") + item;
        out.push_back("list " + items);
        return;
    }
    if (auto *button = dynamic_cast<Gtk::Button *>(&w)) {
        const char *kind = dynamic_cast<Gtk::RadioButton *>(&w)   ? "radio "
                           : dynamic_cast<Gtk::CheckButton *>(&w) ? "check "
                                                                  : "button ";
        out.push_back(kind + std::string(button->get_label()));
        return;
    }
    if (auto *label = dynamic_cast<Gtk::Label *>(&w)) {
        out.push_back("label " + std::string(label->get_text()));
        return;
    }
    if (auto *frame = dynamic_cast<Gtk::Frame *>(&w)) {
        if (!frame->get_label().empty())
            out.push_back("frame " + std::string(frame->get_label()));
        if (Gtk::Widget *child = frame->get_child())
            CollectTexts(*child, out);
        return;
    }
    if (auto *container = dynamic_cast<Gtk::Container *>(&w))
        for (Gtk::Widget *child : container->get_children())
            CollectTexts(*child, out);
}

std::vector<std::string> Texts(Gtk::Widget &page)
{
    std::vector<std::string> out;
    if (auto *frame = dynamic_cast<Gtk::Frame *>(&page)) {
        EXPECT_EQ(frame->get_label(), "");  // the tab carries the name
        if (Gtk::Widget *child = frame->get_child())
            CollectTexts(*child, out);
    }
    return out;
}

const std::vector<std::string> AntennaTexts = {
    "frame Antenna Mode [Receive]:",   "radio Diversity [Both]", "radio Right Antenna Only",
    "radio Left  Antenna Only",        "frame Antenna Mode [Transmit]):",
    "radio Diversity [Both]",          "radio Right Antenna Only",
    "radio Left  Antenna Only",
};

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts)
{
    std::vector<std::string> out;
    for (const auto &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// The default adapter (region 0, levels 1, 5, 20, 30, 50, on channel 6) with
// its own profile.
TEST_F(PageTextsTest, TextsOfTheEnterprisePages)
{
    Start();
    PropWindow w(CurrentRadio);
    std::vector<std::string> rows = {"label  Client Name:", "label "};
    for (int i = 1; i <= 3; ++i) {
        rows.push_back("label  SSID" + std::to_string(i) + ":      ");
        rows.push_back("label ");
    }
    EXPECT_EQ(Texts(*w.system_page),
              Join({rows,
                    {"frame Power Save Mode", "radio CAM (Constantly Awake Mode)",
                     "radio PSP (Power Save Mode)", "radio Fast PSP (Fast Power Save Mode)",
                     "frame Network Type", "radio Ad Hoc", "radio Infrastructure",
                     "frame Current Profile", "radio Use Enterprise Configuration",
                     "radio Use Home Network Configuration", "button  Defaults "}}));

    EXPECT_EQ(Texts(*w.security_page),
              (std::vector<std::string>{
                  "frame Server Based Authentication", "radio Disable", "radio ZUNA",
                  "frame Access Point Authentication", "radio Open Authentication",
                  "radio Shared Key Authentication", "check Allow Association To Mixed Cells",
                  "check Enable WEP (Wired Equivalant Privacy)", "button  Defaults "}));

    EXPECT_EQ(Texts(*w.rf_page),
              (std::vector<std::string>{
                  "frame Data Rate:", "radio Auto Rate Selection", "radio 1 Mbps Only",
                  "radio 2 Mbps Only", "radio 5.5 Mbps Only", "radio 11 Mbps Only",
                  "check Use Short Radio Headers", "check World Mode", "label Data Retries",
                  "label Fragment Threshold", "label Transmit Power", "label Channel",
                  "list 50  mW|1   mW|5   mW|20  mW|30  mW",
                  "list 6  (2437 MHz)|1  (2412 MHz)|2  (2417 MHz)|3  (2422 MHz)|4  (2427 MHz)|"
                  "5  (2432 MHz)|7  (2442 MHz)|8  (2447 MHz)|9  (2452 MHz)|10  (2457 MHz)|"
                  "11  (2462 MHz)",
                  "button  Defaults "}));

    // Each access point row: its label, the entry, an empty label.
    std::vector<std::string> points;
    for (int i = 1; i <= 4; ++i) {
        points.push_back("label               Specified Access Point " + std::to_string(i) +
                         ": ");
        points.push_back("label ");
    }
    EXPECT_EQ(Texts(*w.infr_page),
              Join({AntennaTexts, {"label "}, points,
                    {"label RTS Threshold", "label RTS Retry Limit", "button  Defaults "}}));

    EXPECT_EQ(Texts(*w.adhoc_page),
              Join({AntennaTexts,
                    {"label ", "label RTS Threshold", "label RTS Retry Limit",
                     "label Wake Duration [Kus]", "label Beacon Period [Kus]",
                     "button  Defaults "}}));
}

// Which radio button stores which value: found by its text, not its place.
TEST_F(PageTextsTest, EachRadioButtonStoresItsOwnValue)
{
    Start();
    using R = std::vector<uint8_t>;
    const struct {
        const char *text;
        R rates;
    } rates[] = {
        {"Auto Rate Selection", {2, 4, 11, 22, 0, 0, 0, 0}},
        {"1 Mbps Only", {2, 0, 0, 0, 0, 0, 0, 0}},
        {"2 Mbps Only", {4, 0, 0, 0, 0, 0, 0, 0}},
        {"5.5 Mbps Only", {11, 0, 0, 0, 0, 0, 0, 0}},
        {"11 Mbps Only", {22, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto &c : rates) {
        SCOPED_TRACE(c.text);
        // Another item stored, so that every pick changes the rates.
        std::memset(EnterpriseProfile.cfg.rates, 0, 8);
        EnterpriseProfile.cfg.rates[0] = c.rates[0] == 22 ? 2 : 22;
        const CFG_R770 sent = OkOnNewWindow([&](PropWindow &w) {
            Gtk::Button *button = FindButton(*w.rf_page, c.text);
            ASSERT_NE(button, nullptr);
            button->clicked();
        });
        EXPECT_EQ(R(sent.rates, sent.rates + 8), c.rates);
    }

    const struct {
        const char *text;
        uint8_t byte;
    } antennas[] = {{"Diversity [Both]", 3}, {"Right Antenna Only", 1}, {"Left  Antenna Only", 2}};
    for (bool adhoc : {false, true})
        for (int id : {1, 2})
            for (const auto &c : antennas) {
                SCOPED_TRACE(testing::Message() << (adhoc ? "ad hoc, " : "infrastructure, ")
                                                << (id == 1 ? "receive, " : "transmit, ") << c.text);
                // Both groups stored on another item, so that the pick changes one.
                const uint16_t other = c.byte == 3 ? 1 : 3;
                EnterpriseProfile.cfg.net_type = adhoc ? 0 : 1;
                EnterpriseProfile.cfg.antenna = uint16_t(other << 8 | other);
                const CFG_R770 sent = OkOnNewWindow([&](PropWindow &w) {
                    auto &groups = adhoc ? w.adhoc_page->groups : w.infr_page->groups;
                    ConfigGrp *group = FindGroup(groups, id);
                    ASSERT_NE(group, nullptr);
                    Gtk::Button *button = FindButton(*group, c.text);
                    ASSERT_NE(button, nullptr);
                    button->clicked();
                });
                const uint16_t want =
                    id == 1 ? uint16_t(other << 8 | c.byte) : uint16_t(c.byte << 8 | other);
                EXPECT_EQ(uint16_t(sent.antenna), want) << std::hex << uint16_t(sent.antenna);
            }
}

// Every scale: its range, shown without decimals; a stored value at either
// end is shown and stored as it is, one past an end comes back as that end.
TEST_F(PageTextsTest, ScaleRangesAtBothEnds)
{
    Start();
    struct Scale {
        const char *name;
        bool adhoc;  // the page applies in this network type only
        std::function<Gtk::Scale *(PropWindow &)> scale;
        le16 CFG_R770::*field;
        int lower, upper;
    } scales[] = {
        {"Data Retries", false, [](PropWindow &w) { return w.rf_page->retry_scale; },
         &CFG_R770::short_retry, 1, 128},
        {"Fragment Threshold", false, [](PropWindow &w) { return w.rf_page->frag_scale; },
         &CFG_R770::frag_threshold, 256, 2312},
        {"Data Retries, ad hoc", true, [](PropWindow &w) { return w.rf_page->retry_scale; },
         &CFG_R770::short_retry, 1, 128},
        {"Fragment Threshold, ad hoc", true, [](PropWindow &w) { return w.rf_page->frag_scale; },
         &CFG_R770::frag_threshold, 256, 2312},
        {"RTS Threshold", false, [](PropWindow &w) { return w.infr_page->rts_threshold_scale; },
         &CFG_R770::rts_threshold, 0, 2312},
        {"RTS Retry Limit", false, [](PropWindow &w) { return w.infr_page->rts_retry_scale; },
         &CFG_R770::long_retry, 1, 128},
        {"RTS Threshold, ad hoc", true,
         [](PropWindow &w) { return w.adhoc_page->rts_threshold_scale; }, &CFG_R770::rts_threshold,
         0, 2312},
        {"RTS Retry Limit, ad hoc", true,
         [](PropWindow &w) { return w.adhoc_page->rts_retry_scale; }, &CFG_R770::long_retry, 1,
         128},
        {"Wake Duration [Kus]", true, [](PropWindow &w) { return w.adhoc_page->wake_scale; },
         &CFG_R770::wake_duration, 5, 60},
        {"Beacon Period [Kus]", true, [](PropWindow &w) { return w.adhoc_page->beacon_scale; },
         &CFG_R770::beacon_period, 20, 976},
    };
    const ProfileRecord base = EnterpriseProfile;
    // Each round puts every scale's field at one place of its range at once.
    enum Place { LOWER, UPPER, BELOW, ABOVE };
    for (bool adhoc : {false, true})
        for (Place place : {LOWER, UPPER, BELOW, ABOVE}) {
            SCOPED_TRACE(testing::Message() << (adhoc ? "ad hoc, " : "infrastructure, ")
                                            << "place " << place);
            ProfileRecord p = base;
            p.cfg.net_type = adhoc ? 0 : 1;
            auto stored = [&](const Scale &s) {
                switch (place) {
                case LOWER: return s.lower;
                case UPPER: return s.upper;
                case BELOW: return s.lower > 0 ? s.lower - 1 : s.lower;
                case ABOVE: break;
                }
                return s.upper + 1;
            };
            auto kept = [&](const Scale &s) {
                return place == LOWER || place == BELOW ? s.lower : s.upper;
            };
            for (const Scale &s : scales)
                if (s.adhoc == adhoc)
                    p.cfg.*s.field = uint16_t(stored(s));
            EnterpriseProfile = p;
            sb.clearJournal();
            {
                PropWindow w(CurrentRadio);
                for (const Scale &s : scales) {
                    if (s.adhoc != adhoc)
                        continue;
                    SCOPED_TRACE(s.name);
                    Gtk::Scale *scale = s.scale(w);
                    auto range = scale->get_adjustment();
                    EXPECT_EQ(range->get_lower(), s.lower);
                    EXPECT_EQ(range->get_upper(), s.upper);
                    EXPECT_EQ(range->get_step_increment(), 10);
                    EXPECT_EQ(range->get_page_increment(), 1);
                    EXPECT_EQ(range->get_page_size(), 0);
                    EXPECT_EQ(scale->get_digits(), 0);
                    EXPECT_EQ(scale->get_value(), kept(s));
                }
                w.buttons[PropWindow::OK]->clicked();
            }
            Step();
            const CFG_R770 sent = Sent<CFG_R770>(53);
            for (const Scale &s : scales) {
                if (s.adhoc == adhoc) {
                    EXPECT_EQ(uint16_t(sent.*s.field), kept(s)) << s.name;
                }
            }
        }
}

} // namespace
