#include "driver/base/record_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define FCGUARD_RECORDS_ON_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FCGUARD_RECORDS_ON_HEAP 1
#endif
#endif

namespace {

// Allocations still allowed; -1 means no limit.
int allocations_left = -1;

bool AllocationAllowed() {
  if (allocations_left < 0) return true;
  if (allocations_left == 0) return false;
  --allocations_left;
  return true;
}

}  // namespace

void LimitRecordAllocations(int count) { allocations_left = count; }

void* ResizeRecordList(void* list, std::size_t slots, std::size_t pointer_size) {
  if (!AllocationAllowed()) return nullptr;
  if (slots > SIZE_MAX / pointer_size) return nullptr;
  return std::realloc(list, slots * pointer_size);
}

#if defined(FCGUARD_RECORDS_ON_HEAP)

void* AllocateRecord(std::size_t size) {
  if (!AllocationAllowed()) return nullptr;
  return std::calloc(1, size);
}

void ReleaseRecord(void* record) { std::free(record); }

#else

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Address space reserved at a time; memory is only used as records need it.
constexpr std::size_t kReservation = std::size_t{32} << 20;
// Memory populated at a time ahead of the records.
constexpr std::size_t kPopulateStep = std::size_t{256} << 10;

struct Arena {
  char* next = nullptr;       // the next free byte
  char* populated = nullptr;  // the end of the populated memory
  char* end = nullptr;        // the end of the reservation
};
Arena arena;

char* AlignUp(char* address, std::size_t alignment) {
  auto value = reinterpret_cast<std::uintptr_t>(address);
  return reinterpret_cast<char*>((value + alignment - 1) & ~(std::uintptr_t{alignment} - 1));
}

// Starts a new reservation able to hold at least `size` bytes.  What is
// left of the previous one stays unused.
bool Reserve(std::size_t size) {
  std::size_t length = size > kReservation ? size : kReservation;
  if (length > SIZE_MAX - 2 * kHugePage) return false;
  length = (length + kHugePage - 1) & ~(kHugePage - 1);
  void* mapped = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapped == MAP_FAILED) return false;
  char* start = AlignUp(static_cast<char*>(mapped), kHugePage);
  madvise(start, length, MADV_HUGEPAGE);  // a hint; refused where unsupported
  arena = {start, start, start + length};
  return true;
}

// Populates the reservation up to `until` in steps.  Where the kernel
// cannot, the pages are faulted in on first use instead.
void Populate(char* until) {
  while (arena.populated < until) {
    std::size_t left = static_cast<std::size_t>(arena.end - arena.populated);
    std::size_t step = left < kPopulateStep ? left : kPopulateStep;
#ifdef MADV_POPULATE_WRITE
    madvise(arena.populated, step, MADV_POPULATE_WRITE);
#endif
    arena.populated += step;
  }
}

}  // namespace

void* AllocateRecord(std::size_t size) {
  if (!AllocationAllowed()) return nullptr;
  constexpr std::size_t kAlign = alignof(std::max_align_t);
  if (size > SIZE_MAX - kAlign) return nullptr;
  size = (size + kAlign - 1) & ~(kAlign - 1);
  if (size > static_cast<std::size_t>(arena.end - arena.next) && !Reserve(size)) return nullptr;
  char* record = arena.next;
  arena.next += size;
  Populate(arena.next);
  return record;  // fresh anonymous memory is zero
}

void ReleaseRecord(void*) {}

#endif
