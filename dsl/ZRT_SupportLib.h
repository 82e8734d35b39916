// The runtime's support library: guarded mathematics, noise, analog
// operators, events, arrays, strings, random numbers and system tasks.
// Each topic has its own header, included here.
#pragma once

#include "ZRT_CommonInterface.h"

// Topic headers of the support library, one per topic.
#include "ZRT_StateSerialization.h"
