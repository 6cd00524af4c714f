// With PELLMARK_PLAIN set, a test program runs on the plain loops in place of the block
// kernels, so that the same tests hold both to the same results.
#include <stdlib.h>

#include "blocks.h"

[[maybe_unused]] static const bool plain = getenv("PELLMARK_PLAIN") != NULL && (setBlockKernels(0), true);
