#include "platform.h"

#include <boost/date_time/posix_time/posix_time.hpp>

namespace {

boost::posix_time::ptime microsecondLocalTime() { return boost::posix_time::microsec_clock::local_time(); }

}  // namespace

ZRT_Platform& zrtPlatform() {
    static ZRT_Platform platform{microsecondLocalTime};
    return platform;
}
