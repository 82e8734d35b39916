#include "rte/platform.h"

ZRT_Platform& zrtPlatform() {
    static ZRT_Platform platform{platformLocalTime};
    return platform;
}
