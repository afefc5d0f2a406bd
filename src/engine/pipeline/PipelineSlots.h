// The ring of slots OrderedPipeline keeps its tasks in flight in: each
// slot's task, its state, and the pieces of output on their way from the
// thread that runs the task to the calling thread that delivers them.
//
// External interface: SlotState, PipelineSlot, SlotRing (templates over the
// pipeline's client, whose Task and Piece they hold).
//
// Contract: task number n lives in slot n % size, one slot per task the
// window lets be in flight, so a slot is reused only once its task was
// delivered. The calling thread fills a slot's task and empties the slot
// once delivered, both without the pipeline's mutex: no worker reads more
// than the state of a slot it has not claimed, so no task is made or
// destroyed under the mutex. A slot delivered keeps its last state until it
// is reused, for a worker looking for queued slots may read it meanwhile.
// Who touches which part of a slot:
//   state, ready     under the mutex
//   last, error      by the thread running the task, without the mutex;
//                    read by the calling thread once the slot is done
//   task             as above: filled and emptied by the calling thread,
//                    used by the thread that claimed the slot
//   held, declined   the calling thread only
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "engine/pipeline/TaskError.h"

namespace RegexComponent::engine {

enum class SlotState {
  kQueued,   // for a worker, or the calling thread while it waits
  kHeld,     // for the calling thread alone, once its turn comes
  kRunning,  // claimed by a thread
  kDone,     // its run ended, or not in use
};

template <class Client>
struct PipelineSlot {
  using Task = typename Client::Task;
  using Piece = typename Client::Piece;

  std::optional<Task> task;
  SlotState state = SlotState::kDone;
  Piece ready;  // handed over by a worker, not yet taken
  // What the run wrote after its last hand-over. A small file's whole
  // output is its last piece, so ending a run takes no lock.
  Piece last;
  // What a run on the calling thread handed over, in order.
  std::vector<Piece> held;
  bool declined = false;  // by a run on the calling thread
  TaskError error;

  // With the mutex held: whether the calling thread has something to take.
  bool Ready() const { return state == SlotState::kDone || !Client::Empty(ready); }
  // With the mutex held: whether the piece handed over last was taken.
  bool Taken() const { return Client::Empty(ready); }
  // With the mutex held, on a worker once Taken(): `piece` handed over.
  void Give(Piece& piece) { std::swap(ready, piece); }
  // With the mutex held, on the calling thread: what was handed over moved
  // to `taken`, which leaves room for the next piece.
  void Take(Piece& taken) {
    std::swap(taken, ready);
    Client::Clear(ready);
  }
  // At the end of a run, without the mutex: the piece it ended with.
  void KeepLast(Piece& piece) {
    if (!Client::Empty(piece)) std::swap(last, piece);
  }
  // On the calling thread, running the task ahead of its turn: a piece
  // kept until the turn comes.
  void Hold(Piece& piece) {
    if (!Client::Empty(piece)) std::swap(held.emplace_back(), piece);
  }
  // On the calling thread, once delivered: emptied for reuse without the
  // mutex. Its pieces keep their storage for the next task.
  void Recycle() {
    task.reset();
    Client::Clear(ready);
    Client::Clear(last);
    held.clear();
    declined = false;
    error.Clear();
  }
};

// The slots with the numbers of the tasks in flight: from First(), the
// first not delivered (the calling thread's alone), to End(), past the last
// submitted (written by the calling thread under the mutex).
template <class Client>
class SlotRing {
 public:
  using Slot = PipelineSlot<Client>;

  explicit SlotRing(std::size_t size) : slots_(size) {}

  Slot& operator[](std::uint64_t number) { return slots_[number % slots_.size()]; }
  const Slot& operator[](std::uint64_t number) const { return slots_[number % slots_.size()]; }
  std::uint64_t First() const { return first_; }
  std::uint64_t End() const { return end_; }
  std::size_t InFlight() const { return static_cast<std::size_t>(end_ - first_); }
  bool Full() const { return InFlight() >= slots_.size(); }
  Slot& Front() { return (*this)[first_]; }
  // The slot the next task submitted goes to, its last task delivered.
  Slot& Next() { return (*this)[end_]; }
  // With the mutex held: Next() counted among the tasks in flight.
  void Push() { ++end_; }
  // On the calling thread: the front task delivered, its slot emptied.
  void Pop() {
    Front().Recycle();
    ++first_;
  }
  // Once no other thread runs: the tasks left dropped.
  void Drop() {
    for (; first_ != end_; ++first_) (*this)[first_].task.reset();
  }

 private:
  std::vector<Slot> slots_;
  std::uint64_t first_ = 0;
  std::uint64_t end_ = 0;
};

}  // namespace RegexComponent::engine
