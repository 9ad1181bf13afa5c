// Moved to foundation/report_windows.h; this name keeps older includes building.
#pragma once
#include "foundation/report_windows.h"
