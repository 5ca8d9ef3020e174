#pragma once
#include "StdCtrls.h"
