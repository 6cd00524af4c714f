// Writes the benchmarks' text with LF line ends to a file, for the whole-program comparison.
// usage: maketext FILE MIB
#include <stdio.h>
#include <stdlib.h>

#include "text.h"

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    size_t size = (size_t)atoi(argv[2]) << 20;
    char *t = (char *)malloc(size);
    FILE *f = fopen(argv[1], "wb");
    if (t == NULL || f == NULL)
        return 1;
    makeText(t, size, "\n");
    int ok = fwrite(t, 1, size, f) == size;
    return fclose(f) == 0 && ok ? 0 : 1;
}
