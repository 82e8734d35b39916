// The runtime's support library: guarded mathematics, noise, analog
// operators, events, arrays, strings, random numbers and system tasks.
// Each topic has its own header, included here.
#pragma once

#include "ZRT_CommonInterface.h"

// Topic headers of the support library, one per topic.
#include "checked_math.h"
#include "noise.h"
#include "noise_tables.h"
#include "soft_exp.h"
#include "concat_strings.h"
#include "file_tasks.h"
#include "ZRT_StateSerialization.h"
#include "operator_frame.h"
#include "absdelay.h"
#include "limiters.h"
#include "random.h"
#include "sim_params.h"
#include "number_text.h"
#include "bits_vectors.h"
#include "mixed_signal.h"
#include "last_crossing.h"
#include "ac_stimulus.h"
#include "transition.h"
#include "system_state_vars.h"
#include "ddt_idt.h"
#include "slew.h"
#include "cross_events.h"
#include "polynomial_factoring.h"
#include "zi.h"
#include "laplace.h"
#include "saved_payloads.h"
