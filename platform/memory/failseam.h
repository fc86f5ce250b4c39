// Platform-internal: the allocation failure seam shared by memory and images.
#pragma once

// True when the allocation being made now is the one the test seam was told to fail.
bool PlatformAllocationShouldFail();
