// PieceHandOver: where OrderedPipeline's workers meet its calling thread.
// It holds the mutex that guards the pipeline's shared state (this, the
// slot ring's states and the claim queue), the cancellation flag, and the
// passing of a run's pieces and of its end from a worker to the calling
// thread, which waits for the first task in flight.
//
// External interface: PieceHandOver (a template over the pipeline's client).
//
// Contract: a worker hands over one piece of a task at a time, waiting
// until the calling thread has taken the one before; once the pipeline is
// cancelled nobody waits and what is handed over is dropped. A worker's
// ended runs are marked done together the next time it takes the mutex
// anyway (HandOver, ReportEnded), or at once when the calling thread waits
// for one of them: marking one done is what lets the calling thread read
// its last piece and its error. The calling thread waits only in Take, and
// only for the first task in flight.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "engine/pipeline/PipelineSlots.h"
#include "engine/pipeline/PipelineWaits.h"

namespace RegexComponent::engine {

template <class Client>
class PieceHandOver {
 public:
  using Slot = PipelineSlot<Client>;
  using Piece = typename Client::Piece;
  // A worker's slots whose runs ended, not yet marked done: rather than
  // take the mutex once more for each, a worker marks them all the next
  // time it takes it anyway.
  using Ended = std::vector<Slot*>;

  std::unique_lock<std::mutex> Lock() { return LockSpinning(mutex_); }
  // Also without the mutex: whether the pipeline was cancelled.
  bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
  // Cancels the pipeline, waking the workers waiting to hand a piece over.
  void Cancel() {
    {
      const std::unique_lock lock = Lock();
      cancelled_ = true;
    }
    space_.NotifyAll();
  }

  // On a worker, at a claim, with the mutex held by `lock`: its ended runs
  // marked done; a calling thread waiting for one woken with the mutex let
  // go, so that it does not wake only to wait for it.
  void ReportEnded(std::unique_lock<std::mutex>& lock, Ended& ended) {
    if (!MarkDone(ended)) return;
    lock.unlock();
    progress_.notify_one();
    lock = Lock();
  }
  // On a worker, its run of `slot` over, the error and last piece set in
  // the slot without the mutex: the run counted among the ended ones, all
  // marked done at once when the calling thread waits for this one.
  void RunEnded(Slot& slot, Ended& ended) {
    ended.push_back(&slot);
    if (!Awaited(slot)) return;
    bool wake;
    {
      const std::unique_lock lock = Lock();
      wake = MarkDone(ended);
    }
    if (wake) progress_.notify_one();
  }
  // On a worker: moves `piece` to the slot once the calling thread has
  // taken the previous one, leaving it empty; dropped when the pipeline is
  // cancelled.
  void HandOver(Slot& slot, Piece& piece, Ended& ended);
  // On the calling thread, with the mutex held by `lock`: waits until the
  // first slot has a piece handed over or is done, and moves that piece to
  // `taken`. True when the run is done: its last and held pieces and its
  // error may then be read.
  bool Take(Slot& slot, std::unique_lock<std::mutex>& lock, Piece& taken) {
    awaited_.store(&slot, std::memory_order_relaxed);
    progress_.wait(lock, [&] { return slot.Ready(); });
    awaited_.store(nullptr, std::memory_order_relaxed);
    const bool done = slot.state == SlotState::kDone;
    slot.Take(taken);
    if (space_.Waited()) space_.NotifyAll();
    return done;
  }

 private:
  // With the mutex held: marks the slots that ended done; true when the
  // calling thread waits for one of them, which the caller wakes.
  bool MarkDone(Ended& ended) {
    bool awaited = false;
    for (Slot* slot : ended) {
      slot->state = SlotState::kDone;
      awaited = awaited || Awaited(*slot);
    }
    ended.clear();
    return awaited;
  }
  // Whether the calling thread waits for `slot`.
  bool Awaited(const Slot& slot) const { return awaited_.load(std::memory_order_relaxed) == &slot; }

  std::mutex mutex_;
  std::atomic<bool> cancelled_{false};
  std::condition_variable progress_;  // the first slot has something to deliver
  CountedCondition space_;            // a slot's handed-over piece was taken
  // The slot the calling thread waits for in Take, if it waits: always the
  // first in flight.
  std::atomic<const Slot*> awaited_{nullptr};
};

template <class Client>
void PieceHandOver<Client>::HandOver(Slot& slot, Piece& piece, Ended& ended) {
  if (Client::Empty(piece)) return;
  std::unique_lock lock = Lock();
  // The calling thread may be waiting for a slot this worker ended earlier
  // in its batch, and must deliver that before it can take this piece.
  bool wake = MarkDone(ended);
  if (!Cancelled() && !slot.Taken()) {
    if (wake) progress_.notify_one();
    wake = false;
    space_.Wait(lock, [&] { return Cancelled() || slot.Taken(); });
  }
  if (!Cancelled()) slot.Give(piece);
  Client::Clear(piece);
  wake = wake || Awaited(slot);
  lock.unlock();
  if (wake) progress_.notify_one();
}

}  // namespace RegexComponent::engine
