// The property pages' building blocks: the option group, the pick-only list
// and the whole-number scale range.
#include <gtest/gtest.h>

#include <gtkmm/scale.h>

#include "config_group.h"
#include "gui.h"
#include "list_selector.h"
#include "scale_adjustment.h"

namespace {

TEST(ConfigGrpTest, ButtonsFormOneGroupFoundByIndexAndId)
{
    ConfigGrp group("Network Type", 0, Gtk::BUTTONBOX_START, 7, RadioButtons({"A", "B", "C"}));
    EXPECT_EQ(group.get_label(), "Network Type");
    EXPECT_EQ(group.GetValue(), 7);
    EXPECT_EQ(group.GetActive(), 0);
    group.SetActive(2);
    EXPECT_EQ(group.GetActive(), 2);
    EXPECT_FALSE(group.GetButton(0)->get_active());
    group.GetButton(1)->clicked();
    EXPECT_EQ(group.GetActive(), 1);
    EXPECT_FALSE(group.GetButton(2)->get_active());
    // Past the last button there is none; choosing it changes nothing.
    EXPECT_EQ(group.GetButton(3), nullptr);
    EXPECT_EQ(group.GetButton(~0u), nullptr);
    group.SetActive(3);
    group.SetActive(-1);
    EXPECT_EQ(group.GetActive(), 1);

    std::vector<ConfigGrp *> list = {&group};
    EXPECT_EQ(FindGroup(list, 7), &group);
    EXPECT_EQ(FindGroup(list, 0), nullptr);
}

TEST(ListSelectorTest, FillShowsTheFirstItemAndReportsNoEmptyText)
{
    ListSelector list;
    std::vector<std::string> seen;
    list.signal_text_changed().connect([&] { seen.push_back(list.get_active_text()); });
    list.SetItems({"50 mW", "1  mW", "5  mW"});
    EXPECT_EQ(list.get_active_text(), "50 mW");
    list.SetItems({"6  (2437 MHz)", "1  (2412 MHz)"});
    EXPECT_EQ(list.get_active_text(), "6  (2437 MHz)");
    list.set_active(1);
    EXPECT_EQ(seen, (std::vector<std::string>{"50 mW", "6  (2437 MHz)", "1  (2412 MHz)"}));
    // Only picks change it: there is no entry to type into.
    EXPECT_FALSE(list.get_has_entry());
}

TEST(ScaleAdjustmentTest, ValuesAreCutToWholeNumbers)
{
    struct Case {
        float lower, upper;
        double set, kept;
    } cases[] = {
        {20, 976, 975.6, 975}, {0, 2312, 2311.9, 2311}, {0, 2312, 2312, 2312}, {1, 128, 16.999, 16},
    };
    for (const auto &c : cases) {
        auto adjustment = sadjustment::create(c.lower, c.lower, c.upper, 10, 1, 0);
        Gtk::Scale scale(adjustment, Gtk::ORIENTATION_HORIZONTAL);
        scale.set_digits(0);
        int changes = 0;
        adjustment->signal_value_changed().connect([&] { ++changes; });
        adjustment->set_value(c.set);
        EXPECT_EQ(adjustment->get_value(), c.kept) << c.set;
        EXPECT_EQ(scale.get_value(), c.kept) << c.set;
        EXPECT_GE(changes, 1);
    }
}

} // namespace
