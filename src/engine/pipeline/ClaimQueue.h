// ClaimQueue: which of OrderedPipeline's slots wait for a worker to take
// them, where the workers look for them, and the workers asleep waiting for
// one.
//
// External interface: ClaimQueue (a template over the pipeline's client).
//
// Contract: every member but Published() is called with the pipeline's
// mutex held. The calling thread queues slots (Queued, Requeue) and moves
// the search past the slots it delivered (Forget); workers take queued
// slots in submission order, several at a time (Take), and sleep in Wait
// when there are none. Queuing says when a sleeping worker is to be woken;
// the caller wakes it, usually once it has let the mutex go.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/pipeline/PipelineSlots.h"
#include "engine/pipeline/PipelineWaits.h"

namespace RegexComponent::engine {

template <class Client>
class ClaimQueue {
 public:
  using Slot = PipelineSlot<Client>;

  // `claimBatch` is at least 1.
  ClaimQueue(SlotRing<Client>& ring, unsigned workers, std::size_t claimBatch, std::size_t wakeBatch)
      : ring_(ring), workers_(workers), claimBatch_(claimBatch), wakeBatch_(wakeBatch) {}

  // Whether a queued slot waits, the search moved up to it.
  bool NextQueued() {
    while (unclaimed_ < ring_.End() && ring_[unclaimed_].state != SlotState::kQueued) ++unclaimed_;
    return unclaimed_ < ring_.End();
  }
  // The number of the first queued slot the calling thread has not declined
  // to run, or End() when there is none.
  std::uint64_t NextUndeclined() const {
    std::uint64_t number = unclaimed_;
    while (number < ring_.End() && (ring_[number].state != SlotState::kQueued || ring_[number].declined)) ++number;
    return number;
  }
  // The slots before `first` are delivered, their slots free for reuse:
  // the search starts at `first` at the earliest.
  void Forget(std::uint64_t first) { unclaimed_ = std::max(unclaimed_, first); }
  // The slot just pushed was queued: true when a worker is to be woken,
  // one sleeping and enough queued to be worth its two context switches.
  bool Queued() {
    Announce();
    return work_.Waited() && ring_.End() - unclaimed_ >= wakeBatch_;
  }
  // Slot `number`, which the calling thread took and declined, queued again
  // where the workers look for it: true when a worker is to be woken.
  bool Requeue(std::uint64_t number) {
    Slot& slot = ring_[number];
    slot.declined = true;
    slot.state = SlotState::kQueued;
    unclaimed_ = std::min(unclaimed_, number);
    Announce();
    return work_.Waited();
  }
  // On a worker: the next queued slots in order, marked running, into
  // `batch`: at most claimBatch and a worker's share of those waiting, for
  // taking all that waits would leave the other workers nothing.
  void Take(std::vector<Slot*>& batch) {
    const std::size_t waiting = static_cast<std::size_t>(ring_.End() - unclaimed_);
    const std::size_t share = std::clamp<std::size_t>(waiting / workers_, 1, claimBatch_);
    while (batch.size() < share && NextQueued()) {
      Slot& slot = ring_[unclaimed_++];
      slot.state = SlotState::kRunning;
      batch.push_back(&slot);
    }
  }
  // On a worker: sleeps until `done()`.
  template <class Done>
  void Wait(std::unique_lock<std::mutex>& lock, Done done) {
    work_.Wait(lock, done);
  }
  // Whether a worker sleeps in Wait.
  bool Idle() const { return work_.Waited(); }
  void WakeOne() { work_.NotifyOne(); }
  void WakeAll() { work_.NotifyAll(); }
  // Also without the mutex: how many times a slot was queued. A worker that
  // found nothing polls it while it yields, to see more come without taking
  // the mutex.
  std::uint64_t Published() const { return shared_.load(std::memory_order_relaxed); }

 private:
  // Written only with the mutex held, so a load and a store suffice.
  void Announce() { shared_.store(shared_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }

  SlotRing<Client>& ring_;
  const unsigned workers_;
  const std::size_t claimBatch_;
  const std::size_t wakeBatch_;
  std::uint64_t unclaimed_ = 0;  // number from which workers look for queued slots
  std::atomic<std::uint64_t> shared_{0};
  CountedCondition work_;  // a slot was queued, or the end came
};

}  // namespace RegexComponent::engine
