// Entry point of the in-process window tests: the toolkit is started once,
// as the client utility's own main does, before the tests build windows.
#include <gtest/gtest.h>
#include <gtkmm/main.h>

#include "styles.h"

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    Gtk::Main kit(argc, argv);
    InstallStyles();
    return RUN_ALL_TESTS();
}
