// With PELLMARK_PLAIN set (not empty), a test program runs on the plain loops in place of
// the block kernels, so that the same tests hold both to the same results.
#include <stdlib.h>

#include "blocks.h"

static bool plainWanted()
{
    const char *v = getenv("PELLMARK_PLAIN");
    return v != NULL && *v != '\0';
}

[[maybe_unused]] static const bool plain = plainWanted() && (setBlockKernels(0), true);
