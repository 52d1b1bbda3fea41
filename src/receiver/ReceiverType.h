#pragma once

// The make enumeration and its names, for the receiver link and above; both
// live with the make catalogue in the decoding layer.
#include "decode/ReceiverMakes.h"
#include "decode/ReceiverType.h"
