// The runtime's support library: guarded mathematics, noise, analog
// operators, events, arrays, strings, random numbers and system tasks.
// Each topic has its own header, included here.
#pragma once

#include "rte/ZRT_CommonInterface.h"

// Topic headers of the support library, one per topic.
#include "dsl/checked_math.h"
#include "dsl/noise.h"
#include "dsl/noise_tables.h"
#include "dsl/soft_exp.h"
#include "dsl/concat_strings.h"
#include "dsl/file_tasks.h"
#include "dsl/ZRT_StateSerialization.h"
#include "dsl/operator_frame.h"
#include "dsl/absdelay.h"
#include "dsl/limiters.h"
#include "dsl/random.h"
#include "dsl/sim_params.h"
#include "dsl/number_text.h"
#include "dsl/bits_vectors.h"
#include "dsl/mixed_signal.h"
#include "dsl/last_crossing.h"
#include "dsl/ac_stimulus.h"
#include "dsl/transition.h"
#include "dsl/system_state_vars.h"
#include "dsl/ddt_idt.h"
#include "dsl/slew.h"
#include "dsl/cross_events.h"
#include "dsl/polynomial_factoring.h"
#include "dsl/zi.h"
#include "dsl/laplace.h"
#include "dsl/saved_payloads.h"
