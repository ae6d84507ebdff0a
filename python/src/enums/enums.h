#pragma once

// The twelve enumeration classes of the module.

#include "python/src/enums/event_enums.h"
#include "python/src/enums/result_enums.h"
#include "python/src/enums/scan_enums.h"
