#pragma once
// The download pass's places for transfers. An entry thread holds one while it
// downloads and gives it back while it unpacks, checks and marks its file, so
// the next entry's download runs meanwhile and threadcount transfers stay busy.
// A thread that needs another transfer (the plain file after a zipped variant
// failed) takes a place again first.

#include <condition_variable>
#include <memory>
#include <mutex>

namespace rk {

class TransferSlots {
public:
    explicit TransferSlots(long count) : m_free(count) {}
    TransferSlots(const TransferSlots&) = delete;
    TransferSlots& operator=(const TransferSlots&) = delete;

    void take(); // waits for a free place
    void give();

private:
    std::mutex m_lock;
    std::condition_variable m_freed;
    long m_free;
};

// For the life of the object the calling thread holds a place of these slots,
// taken for it by whoever started the thread; given back at the end if still held.
class HeldTransferSlot {
public:
    explicit HeldTransferSlot(std::shared_ptr<TransferSlots> slots);
    ~HeldTransferSlot();
    HeldTransferSlot(const HeldTransferSlot&) = delete;
    HeldTransferSlot& operator=(const HeldTransferSlot&) = delete;

private:
    std::shared_ptr<TransferSlots> m_slots; // outlives the pass that made them
};

// The calling thread's place: given back after a transfer, taken again before
// another. Nothing on a thread that holds none of a pass (a list file's fetch).
void giveBackTransferSlot();
void takeTransferSlotAgain();

} // namespace rk
