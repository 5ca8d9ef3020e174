// Kept apart so that programs which hand the engine a Player of their own (tests, measurements)
// do not pull in the program-wide one and the output device it opens at static construction.
#include "Tmetronomgame.h"
#include "Tmidicontent.h"

TMetronomeGame::TMetronomeGame() : TMetronomeGame(&player) {}
