#pragma once
#include "Forms.h"
