# One line per test program.
add_suite(records_test records_test.cc)
add_suite(simdriver_test simdriver_test.cc)
add_suite(kdr770_test kdr770_test.cc)
add_suite(radio_list_test radio_list_test.cc)
add_suite(zuna_test zuna_test.cc)
add_suite(profile_file_test profile_file_test.cc)
add_suite(firmware_flash_test firmware_flash_test.cc)
add_suite(ostrel_test ostrel_test.cc)
