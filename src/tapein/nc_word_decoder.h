// Moved to foundation/nc_word_decoder.h; this name keeps older includes building.
#pragma once
#include "foundation/nc_word_decoder.h"
