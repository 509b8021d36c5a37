// Memory for the records of a run: conditions entries and their allowed
// sub-systems, ports and their reports.  The program keeps every record
// until it ends, so records come from an arena that is never given back:
// anonymous memory reserved in large pieces, aligned and marked for huge
// pages, and populated ahead of use in a few steps.  Thousands of records
// then cost a few system calls instead of a page fault each.
//
// In builds with AddressSanitizer every record is an allocation of its own,
// so that the sanitizer checks its bounds and its release.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>

// Zero-filled memory for one record of the given size, or null when memory
// is exhausted.
void* AllocateRecord(std::size_t size);

// Gives a record back.  In the arena this does nothing: the memory stays
// until the program ends.
void ReleaseRecord(void* record);

// A new zero-filled record: every text empty, every number 0, every pointer
// null.
template <typename Record>
Record* NewRecord() {
  static_assert(std::is_trivially_default_constructible_v<Record> &&
                std::is_trivially_destructible_v<Record>);
  void* memory = AllocateRecord(sizeof(Record));
  return memory != nullptr ? ::new (memory) Record : nullptr;
}
