// The CEM password dialog and the "CEM" menu around it.
#include <gtest/gtest.h>

#include <cerrno>

#include <glibmm/main.h>
#include <gtkmm/main.h>

#include "command_menus.h"
#include "error_window.h"
#include "globals.h"
#include "gui.h"
#include "main_window.h"
#include "password_dialog.h"
#include "wep_key_window.h"

namespace {

class PasswordDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StartMainWindow(sb, {"eth0"});
    }
    // Runs a CEM row; act gets the dialog once it is up (false: none came).
    bool Cem(int row, const std::function<void(cempass &)> &act)
    {
        bool seen = false;
        // The dialog, when the row asks for a password, is up before the
        // row's loop runs; when it does not ask, none comes.
        sigc::connection ask = ActOn<cempass>("password dialog", [&](cempass &d) {
            seen = true;
            act(d);
        });
        // An unlocked "Enter WEP key" goes on to the WEP key window: close it.
        wepOpened = false;
        sigc::connection closer = Glib::signal_timeout().connect(
            [this] {
                if (auto *w = ShownWindow<WepKeyEntry>()) {
                    wepOpened = true;
                    w->close();
                }
                return true;
            },
            50);
        OnCemMenu(row);  // returns when the dialog is gone
        // Neither may outlive what they refer to.
        ask.disconnect();
        closer.disconnect();
        Step();
        return seen;
    }
    // The row labels in the order shown, and the size asked for the dialog
    // (its rows need more than that).
    static void ExpectRows(cempass &d, const std::vector<std::string> &rows, int height)
    {
        std::vector<std::string> shown;
        for (const std::string &t : LabelTexts(d))
            if (!t.empty() && t.back() == ':')
                shown.push_back(t);
        EXPECT_EQ(shown, rows);
        int w = 0, h = 0;
        d.get_size_request(w, h);
        EXPECT_EQ(w, 300);
        EXPECT_EQ(h, height);
    }
    static void Type(cempass &d, const char *old, const char *fresh, const char *verify)
    {
        d.oldentry->set_text(old);
        d.newentry->set_text(fresh);
        d.verifyentry->set_text(verify);
    }

    ProcessSandbox sb;
    bool wepOpened = false;  // by the last Cem
};

TEST_F(PasswordDialogTest, ChangeChecksTheOldPasswordAndTheVerifyField)
{
    ThePrefs.SetPassword("Orvik");
    EXPECT_TRUE(Cem(0, [](cempass &d) {
        EXPECT_EQ(d.get_title(), "Change CEM Password");
        EXPECT_EQ(d.heading->get_text(), "Set CEM Password");
        int mx, my, x, y;
        MainWindow->get_position(mx, my);
        d.get_position(x, y);
        EXPECT_EQ(x, mx + 108);
        EXPECT_EQ(y, my + 121);
        ExpectRows(d, {"   Old password:", "   New Password:", "Verify Password:"}, 125);
        Type(d, "orvik", "new", "new");
        d.ok->clicked();
        EXPECT_EQ(d.heading->get_text(), "Original password incorrect, Please try again");
        Type(d, "Orvik", "new", "New");
        d.ok->clicked();
        EXPECT_EQ(d.heading->get_text(), "New Passwords donot match , Please try again");
        EXPECT_STREQ(ThePrefs.GetPassword(), "Orvik");
        Type(d, "Orvik", "new", "new");
        d.ok->clicked();
    }));
    EXPECT_STREQ(ThePrefs.GetPassword(), "new");

    // An empty new password means none, whatever the verify field holds; the
    // old one is then a single blank.
    EXPECT_TRUE(Cem(0, [](cempass &d) {
        Type(d, "new", "", "ignored");
        d.ok->clicked();
    }));
    EXPECT_STREQ(ThePrefs.GetPassword(), " ");
    EXPECT_TRUE(Cem(0, [](cempass &d) {
        Type(d, "", "x", "x");
        d.ok->clicked();
        EXPECT_EQ(d.heading->get_text(), "Original password incorrect, Please try again");
        Type(d, " ", "x", "x");
        d.ok->clicked();
    }));
    EXPECT_STREQ(ThePrefs.GetPassword(), "x");
}

TEST_F(PasswordDialogTest, EnterUnlocksOnlyWithTheStoredPassword)
{
    ThePrefs.SetPassword("Orvik");
    EXPECT_TRUE(Cem(1, [](cempass &d) {
        EXPECT_EQ(d.get_title(), "Enter CEM Password");
        EXPECT_EQ(d.heading->get_text(), "Enter CEM  Password");
        ExpectRows(d, {"       Password:"}, 90);
        d.newentry->set_text("");
        d.ok->clicked();  // nothing typed: nothing said
        EXPECT_EQ(d.heading->get_text(), "Enter CEM  Password");
        d.newentry->set_text("orvik");
        d.newentry->activate();
        EXPECT_EQ(d.heading->get_text(), "Password incorrect , Please try again");
        EXPECT_EQ(ThePrefs.IsUnlocked(), 0);
        d.newentry->set_text("Orvik");
        d.newentry->activate();  // Enter acts as Ok
    }));
    EXPECT_EQ(ThePrefs.IsUnlocked(), 1);

    // Every CEM command locks again first; a cancelled prompt leaves it locked.
    EXPECT_TRUE(Cem(1, [](cempass &d) {
        d.newentry->set_text("wrong");
        d.ok->clicked();
        d.cancel->clicked();
    }));
    EXPECT_EQ(ThePrefs.IsUnlocked(), 0);
    EXPECT_TRUE(Cem(1, [](cempass &d) { d.close(); }));
    EXPECT_EQ(ThePrefs.IsUnlocked(), 0);
}

// Only a stored password of exactly one blank opens the key window without
// asking; every CEM command locks it again, so an earlier correct password
// opens nothing later.
TEST_F(PasswordDialogTest, EnterWepKeyAsksUnlessExactlyOneBlankIsStored)
{
    const struct {
        const char *stored;
        const char *typed;  // null: the prompt is cancelled
        bool asked, opened;
    } cases[] = {
        {" ", nullptr, false, true},
        {" secret", nullptr, true, false},
        {" secret", " secret", true, true},
        {"  ", "  ", true, true},
        {"Orvik", "Orvik", true, true},
        {"Orvik", nullptr, true, false},
        {"Orvik", "Orvik", true, true},
    };
    for (const auto &c : cases) {
        ThePrefs.SetPassword(c.stored);
        EXPECT_EQ(Cem(1, [&](cempass &d) {
            if (c.typed) {
                d.newentry->set_text(c.typed);
                d.ok->clicked();
            } else {
                d.cancel->clicked();
            }
        }), c.asked) << '"' << c.stored << '"';
        EXPECT_EQ(wepOpened, c.opened) << '"' << c.stored << '"';
    }
    // "Change Password", cancelled, locks as well.
    ASSERT_EQ(ThePrefs.IsUnlocked(), 1);
    EXPECT_TRUE(Cem(0, [](cempass &d) { d.cancel->clicked(); }));
    EXPECT_EQ(ThePrefs.IsUnlocked(), 0);
}

TEST_F(PasswordDialogTest, NoPasswordSetUnlocksWithoutAsking)
{
    ThePrefs.SetPassword(" ");
    EXPECT_FALSE(Cem(1, [](cempass &d) { d.close(); }));
    EXPECT_EQ(ThePrefs.IsUnlocked(), 1);
    // "Change Password" always asks, and locks.
    EXPECT_TRUE(Cem(0, [](cempass &d) { d.cancel->clicked(); }));
    EXPECT_EQ(ThePrefs.IsUnlocked(), 0);
}

TEST_F(PasswordDialogTest, TypedPasswordsFitTheStoredField)
{
    ThePrefs.SetPassword("Orvik");
    const std::string longest(200, 'p');
    EXPECT_TRUE(Cem(0, [&](cempass &d) {
        Type(d, "Orvik", longest.c_str(), longest.c_str());
        d.ok->clicked();
    }));
    ASSERT_NE(ThePrefs.GetPassword(), nullptr);
    const std::string stored = ThePrefs.GetPassword();
    EXPECT_EQ(stored, std::string(79, 'p'));
    // What was typed is accepted again.
    EXPECT_TRUE(Cem(1, [&](cempass &d) {
        d.newentry->set_text(longest);
        d.ok->clicked();
    }));
    EXPECT_EQ(ThePrefs.IsUnlocked(), 1);
}

// A password of letters beyond ASCII is stored one byte per character, so
// that 79 of them fit whole and the same letters typed again unlock.
TEST_F(PasswordDialogTest, PasswordsAreStoredAsLatinOneCharacters)
{
    ThePrefs.SetPassword("Orvik");
    std::string many;
    for (int i = 0; i < 100; ++i)
        many += "\u00e9";
    EXPECT_TRUE(Cem(0, [&](cempass &d) {
        Type(d, "Orvik", many.c_str(), many.c_str());
        // A character that Latin-1 lacks cannot be typed at all.
        d.verifyentry->set_text("\u20ac");
        EXPECT_EQ(d.verifyentry->get_text(), "");
        d.verifyentry->set_text(many);
        d.ok->clicked();
    }));
    ASSERT_NE(ThePrefs.GetPassword(), nullptr);
    EXPECT_EQ(std::string(ThePrefs.GetPassword()), std::string(79, '\xe9'));

    EXPECT_TRUE(Cem(1, [&](cempass &d) {
        d.newentry->set_text(many.substr(0, 2 * 78));
        d.ok->clicked();
        EXPECT_EQ(d.heading->get_text(), "Password incorrect , Please try again");
        d.newentry->set_text(many);
        d.ok->clicked();
    }));
    EXPECT_EQ(ThePrefs.IsUnlocked(), 1);

    // The old password is compared as Latin-1 as well.
    EXPECT_TRUE(Cem(0, [&](cempass &d) {
        Type(d, many.c_str(), "caf\u00e9", "caf\u00e9");
        d.ok->clicked();
    }));
    EXPECT_EQ(std::string(ThePrefs.GetPassword()), "caf\xe9");
}

// A new password the file may not hold (its flush failed) closes the dialog
// and holds for the run; the error window says it was not saved, and its Ok
// only closes.
TEST_F(PasswordDialogTest, PasswordNotSavedIsTold)
{
    const struct {
        const char *fresh;
        int err;
        const char *told;
        const char *held;
    } cases[] = {
        {"new", EIO, "Password not saved: Input/output error", "new"},
        {"", ENOSPC, "Password not saved: No space left on device", " "},
    };
    for (const auto &c : cases) {
        ThePrefs.SetPassword("Orvik");
        sb.fileFail("opt/tavlo/OXU.PRFS", "sync", c.err);
        EXPECT_TRUE(Cem(0, [&](cempass &d) {
            Type(d, "Orvik", c.fresh, c.fresh);
            d.ok->clicked();
        }));
        sb.fileFail("opt/tavlo/OXU.PRFS", "none", 0);
        auto *err = dynamic_cast<ErrWin *>(FindWindow("Error message"));
        ASSERT_NE(err, nullptr) << c.told;
        EXPECT_EQ(LabelTexts(*err), std::vector<std::string>{c.told});
        EXPECT_FALSE(err->exitconn.connected());
        EXPECT_STREQ(ThePrefs.GetPassword(), c.held);
        err->okbutton->clicked();
        Step();
        EXPECT_EQ(FindWindow("Error message"), nullptr);
    }
    // Saved: nothing said.
    EXPECT_TRUE(Cem(0, [](cempass &d) {
        Type(d, " ", "x", "x");
        d.ok->clicked();
    }));
    EXPECT_EQ(FindWindow("Error message"), nullptr);
    EXPECT_STREQ(ThePrefs.GetPassword(), "x");
}

} // namespace
