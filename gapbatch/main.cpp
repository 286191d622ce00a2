#include <malloc.h>

#include "gapbatch.h"

int main(int argc, char** argv) {
    // A photograph's pixels are tens of megabytes, allocated and freed once a photograph. Kept
    // in the heap rather than mapped afresh each time (up to the largest threshold the
    // allocator allows, 32 MB), the next photograph of the same size reuses pages already
    // touched instead of pages the kernel must first clear.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    return cli::main_of(argc, argv, run_gapbatch);
}
