// The receive and transmit antenna groups that both advanced pages show, and
// the antenna word they stand for: low byte receive, high byte transmit; in
// each byte 1 the right antenna, 2 the left one, 3 both (diversity).
#pragma once

#include <cstdint>
#include <vector>

#include <gtkmm/box.h>

#include "config_group.h"

enum { ANTENNA_RECEIVE = 1, ANTENNA_TRANSMIT = 2 };

// Makes the two groups (receive first, appended to groups) and returns the
// row that holds them side by side.
Gtk::Box *AntennaGroupRow(std::vector<ConfigGrp *> &groups);

// Chooses each group's item from the word; a byte of no known coding leaves
// its group as it is.
void LoadAntenna(const std::vector<ConfigGrp *> &groups, uint16_t word);

// The word that the groups' choices stand for.
uint16_t AntennaWord(const std::vector<ConfigGrp *> &groups);
