#include <cstdlib>

#include "cgc/movecheck.h"

// The engine's only allocator, kept in its own file so that a program can
// supply its own pair (for instance one that fails on demand).
void* cgc_alloc(std::size_t size)
{
    return std::calloc(1, size);
}

void cgc_release(void* block)
{
    std::free(block);
}
