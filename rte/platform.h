// Calls into the operating system that the runtime makes itself, gathered in
// one table so that each platform build supplies its own and tests can stand
// in a fixed clock. The runtime only reads the table.
#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>

struct ZRT_Platform {
    // The present local wall-clock time with microsecond resolution. Throws
    // std::runtime_error "could not convert calendar time to local time" when
    // the conversion to local time fails.
    boost::posix_time::ptime (*localTime)();
};

ZRT_Platform& zrtPlatform();
