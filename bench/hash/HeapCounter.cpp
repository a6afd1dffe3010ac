#include "HeapCounter.h"

#include <atomic>
#include <cerrno>
#include <malloc.h>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *pointer);
}

namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

void *added(void *pointer)
{
    if (pointer) {
        const std::size_t now = liveBytes.fetch_add(malloc_usable_size(pointer)) + malloc_usable_size(pointer);
        std::size_t peak = peakBytes.load();
        while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
        }
    }
    return pointer;
}

void removed(void *pointer)
{
    if (pointer)
        liveBytes.fetch_sub(malloc_usable_size(pointer));
}

} // namespace

namespace HeapCounter {
std::size_t live() { return liveBytes.load(); }
std::size_t peak() { return peakBytes.load(); }
void resetPeak() { peakBytes.store(liveBytes.load()); }
} // namespace HeapCounter

extern "C" {

void *malloc(size_t size) { return added(__libc_malloc(size)); }
void *calloc(size_t count, size_t size) { return added(__libc_calloc(count, size)); }
void free(void *pointer)
{
    removed(pointer);
    __libc_free(pointer);
}
void *realloc(void *pointer, size_t size)
{
    removed(pointer);
    void *moved = __libc_realloc(pointer, size);
    if (!moved && size) {
        // The old block stays allocated when realloc fails.
        added(pointer);
        return nullptr;
    }
    return added(moved);
}
void *memalign(size_t alignment, size_t size) { return added(__libc_memalign(alignment, size)); }
void *aligned_alloc(size_t alignment, size_t size) { return added(__libc_memalign(alignment, size)); }
int posix_memalign(void **out, size_t alignment, size_t size)
{
    void *pointer = __libc_memalign(alignment, size);
    if (!pointer)
        return ENOMEM;
    *out = added(pointer);
    return 0;
}
void *valloc(size_t size) { return added(__libc_memalign(4096, size)); }
void *pvalloc(size_t size) { return added(__libc_memalign(4096, (size + 4095) & ~size_t(4095))); }
}
