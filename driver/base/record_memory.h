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

// The list of record pointers (from the heap, given back with free()) grown
// to `slots` pointers of `pointer_size` bytes, or null, with the list as it
// was, when memory is exhausted.
void* ResizeRecordList(void* list, std::size_t slots, std::size_t pointer_size);

// Appends a record to a null-terminated list of record pointers that holds
// *count of them in *slots slots.  The list grows geometrically, so that
// appending thousands stays linear.  False, with nothing changed, when the
// list cannot grow.
template <typename Record, typename Count>
bool AppendToRecordList(Record*** list, Count* count, std::size_t* slots, Record* record) {
  std::size_t used = static_cast<std::size_t>(*count);
  if (*list == nullptr || used + 2 > *slots) {
    std::size_t grown_slots = *slots * 2 > used + 2 ? *slots * 2 : used + 2;
    void* grown = ResizeRecordList(*list, grown_slots, sizeof(Record*));
    if (grown == nullptr) return false;
    *list = static_cast<Record**>(grown);
    *slots = grown_slots;
  }
  (*list)[used] = record;
  (*list)[used + 1] = nullptr;
  ++*count;
  return true;
}

// A new zero-filled record appended to such a list, or null, with nothing
// changed, when memory is exhausted.
template <typename Record, typename Count>
Record* NewRecordInList(Record*** list, Count* count, std::size_t* slots) {
  Record* record = NewRecord<Record>();
  if (record == nullptr) return nullptr;
  if (AppendToRecordList(list, count, slots, record)) return record;
  ReleaseRecord(record);
  return nullptr;
}

// Lets the next count allocations of records and record lists succeed and
// fails the ones after them; -1 (the start) lifts the limit.  For the tests
// of the out-of-memory paths.
void LimitRecordAllocations(int count);
