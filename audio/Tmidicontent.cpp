#include "Tmidicontent.h"

Player player;
