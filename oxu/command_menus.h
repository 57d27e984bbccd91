// The "Commands" and "CEM" menus: their rows and dispatchers.
#pragma once

#include <cstdint>

struct MenuRow {
    const char *label;
    uint8_t sensitive;
};

extern const MenuRow CommandsMenuTable[10];
extern const MenuRow CemMenuTable[2];

void OnCommandsMenu(int row);
void OnCemMenu(int row);
