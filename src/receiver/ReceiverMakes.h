#pragma once

// The receiver makes (kReceiverMakes, ReceiverMakeOf and the names): one row
// per make, kept with the decoders that read them; see decode/ReceiverMakes.h.
#include "decode/ReceiverMakes.h"
