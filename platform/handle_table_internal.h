// The table behind the layer's handles: a handle is a checked id, never the
// address of its record. An id names a slot and the generation the slot had
// when the record was added; removing a record moves the slot to the next
// generation, so an old id of a reused slot no longer matches and is refused
// like a made-up value. Ids also carry the kind of table that issued them, so
// a window's id given to a kernel call (or the other way round) is refused too.
//
// The table neither locks nor owns: each kind of handle wraps one table with
// its own lock and its own rule for how long a record lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// Which table issued an id; kept in its low bits. Zero is never used, so no
// id is 0 (a null handle).
enum class HandleKind : uintptr_t { Kernel = 1, Window = 2, AcmStream = 3 };

template <typename Record>
class HandleTable {
  public:
    explicit HandleTable(HandleKind kind) : kind_(kind) {}

    // The id of a new entry for `record`, never a value with all bits set
    // (INVALID_HANDLE_VALUE and the pseudo-handles below it); 0 when the table
    // is full.
    uintptr_t Add(Record* record) {
        uint32_t slot;
        if (!free_.empty()) {
            // The slot freed last, which keeps the table small; its new
            // generation tells the new id from the stale ones.
            slot = free_.back();
            free_.pop_back();
        } else if (slots_.size() < (size_t{1} << kSlotBits)) {
            slot = static_cast<uint32_t>(slots_.size());
            slots_.push_back(Slot{});
        } else {
            return 0;
        }
        slots_[slot].record = record;
        return IdOf(slot, slots_[slot].generation);
    }

    // The record of a live id, or null for a stale, made-up or foreign one.
    Record* Find(uintptr_t id) const {
        const Slot* slot = SlotOf(id);
        return slot == nullptr ? nullptr : slot->record;
    }

    // Ends the id (and every copy of it); returns its record, null when the
    // id was not live.
    Record* Remove(uintptr_t id) {
        Slot* slot = const_cast<Slot*>(SlotOf(id));
        if (slot == nullptr) {
            return nullptr;
        }
        Record* record = slot->record;
        slot->record = nullptr;
        slot->generation = slot->generation == kMaxGeneration ? 1 : slot->generation + 1;
        free_.push_back(static_cast<uint32_t>(slot - slots_.data()));
        return record;
    }

  private:
    static constexpr int kKindBits = 4;
    static constexpr int kSlotBits = 28;
    static constexpr uint32_t kMaxGeneration = 0x7FFFFFFFu;  // keeps the top bit clear

    struct Slot {
        Record* record = nullptr;
        uint32_t generation = 1;
    };

    uintptr_t IdOf(uint32_t slot, uint32_t generation) const {
        return (static_cast<uintptr_t>(generation) << (kKindBits + kSlotBits)) |
               (static_cast<uintptr_t>(slot) << kKindBits) | static_cast<uintptr_t>(kind_);
    }

    const Slot* SlotOf(uintptr_t id) const {
        if ((id & ((uintptr_t{1} << kKindBits) - 1)) != static_cast<uintptr_t>(kind_)) {
            return nullptr;
        }
        uintptr_t slot = (id >> kKindBits) & ((uintptr_t{1} << kSlotBits) - 1);
        uintptr_t generation = id >> (kKindBits + kSlotBits);
        if (slot >= slots_.size()) {
            return nullptr;
        }
        const Slot& entry = slots_[slot];
        if (entry.record == nullptr || entry.generation != generation) {
            return nullptr;
        }
        return &entry;
    }

    HandleKind kind_;
    std::vector<Slot> slots_;
    std::vector<uint32_t> free_;
};

}  // namespace platform
