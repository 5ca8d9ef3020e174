#pragma once
// The program-wide Player, built by static construction before main runs and destroyed by static
// destruction after it.
#include "Player.h"

extern Player player;
