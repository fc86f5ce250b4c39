// The failure seams' state, asked by every allocation and file write.
#include "memory/failseam.h"

FailureSeams& PlatformFailureSeams() {
    static FailureSeams seams;
    return seams;
}
