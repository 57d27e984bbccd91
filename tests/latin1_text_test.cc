// Record texts (Latin-1) at the boundary of the toolkit's UTF-8 widgets.
#include <gtest/gtest.h>

#include <cstring>

#include <gtkmm/entry.h>

#include "latin1_text.h"

namespace {

TEST(Latin1TextTest, EveryByteSurvivesTheRoundTrip)
{
    char field[255];
    for (int i = 0; i < 255; ++i)
        field[i] = char(i + 1);
    const std::string shown = Latin1ToUtf8(field);
    EXPECT_TRUE(g_utf8_validate(shown.data(), shown.size(), nullptr));
    EXPECT_EQ(g_utf8_strlen(shown.data(), shown.size()), 255);

    char back[255];
    ASSERT_EQ(StoreLatin1(shown, back), 255);
    EXPECT_EQ(0, std::memcmp(field, back, sizeof field));
}

TEST(Latin1TextTest, ShowsUpToTheFirstNulAndNeverPastTheField)
{
    const char ssid[4] = {'\xE9', 't', '\xE9', 'X'};  // no terminator
    EXPECT_EQ(Latin1ToUtf8(ssid, 3), "\xC3\xA9t\xC3\xA9");
    const char name[6] = "ab\0cd";
    EXPECT_EQ(Latin1ToUtf8(name), "ab");
}

TEST(Latin1TextTest, StoringPadsWithZerosAndRefusesWhatDoesNotFit)
{
    char field[8];
    std::memset(field, 'x', sizeof field);
    EXPECT_EQ(StoreLatin1("\xC3\xA9t\xC3\xA9", field), 3);
    EXPECT_EQ(std::string(field, sizeof field), std::string("\xE9t\xE9\0\0\0\0\0", 8));

    // Refusals leave the field as it was.
    const std::string before(field, sizeof field);
    for (const char *text : {"\xE2\x82\xAC",        // U+20AC, above Latin-1
                             "\xC3",                // cut UTF-8
                             "\xC0\xA9",            // overlong form
                             "123456789"}) {        // one byte too many
        SCOPED_TRACE(text);
        EXPECT_EQ(StoreLatin1(text, field), -1);
        EXPECT_EQ(std::string(field, sizeof field), before);
    }
    EXPECT_EQ(StoreLatin1("12345678", field), 8);  // exactly full: no terminator
    EXPECT_EQ(std::string(field, sizeof field), "12345678");
}

TEST(Latin1TextTest, EntryRefusesCharactersAboveLatin1AndCountsCharacters)
{
    Gtk::Entry entry;
    LimitToLatin1(entry, 4);
    entry.set_text("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");  // five é
    EXPECT_EQ(entry.get_text(), "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
    entry.set_text("ab");
    int pos = 1;
    entry.insert_text("\xE2\x82\xAC", -1, pos);  // €
    EXPECT_EQ(entry.get_text(), "ab");
    entry.insert_text("\xC3\xBF", -1, pos);  // ÿ, the last Latin-1 character
    EXPECT_EQ(entry.get_text(), "a\xC3\xBF" "b");
    entry.set_text("x\xE2\x82\xAC");
    EXPECT_EQ(entry.get_text(), "");
}

} // namespace
