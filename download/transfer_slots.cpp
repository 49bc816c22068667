#include "download/transfer_slots.h"

namespace rk {
namespace {

// The slots of the pass that started this thread (kept alive by its
// HeldTransferSlot), and whether it holds a place.
thread_local TransferSlots* t_slots = nullptr;
thread_local bool t_held = false;

} // namespace

void TransferSlots::take()
{
    std::unique_lock<std::mutex> hold(m_lock);
    m_freed.wait(hold, [this] { return m_free > 0; });
    --m_free;
}

void TransferSlots::give()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        ++m_free;
    }
    m_freed.notify_one();
}

HeldTransferSlot::HeldTransferSlot(std::shared_ptr<TransferSlots> slots) : m_slots(std::move(slots))
{
    t_slots = m_slots.get();
    t_held = t_slots != nullptr;
}

HeldTransferSlot::~HeldTransferSlot()
{
    giveBackTransferSlot();
    t_slots = nullptr;
}

void giveBackTransferSlot()
{
    if (t_slots && t_held) {
        t_held = false;
        t_slots->give();
    }
}

void takeTransferSlotAgain()
{
    if (t_slots && !t_held) {
        t_slots->take();
        t_held = true;
    }
}

} // namespace rk
