// Montgomery multiplication for dh: the generic N-word steps, and the
// three-word ones of the fixed group's size, which specialise them and must
// be seen before any use.
#pragma once

#include "dh/montgomery_generic.h"
#include "dh/montgomery_three_words.h"
