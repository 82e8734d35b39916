// The test host's eigenvalue routine: the system LAPACK's dgeev behind the
// simulator interface's linear-algebra table, as a host would offer it.
#pragma once

#include "ZRT_HostInterface.h"

namespace testhost {

// The table every TestHost installs: slot 0 calls LAPACK's dgeev.
ZRT_LinAlgTable* lapackTable();

}  // namespace testhost
