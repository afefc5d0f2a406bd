// MatchView: one match described by plain 64-bit offsets, handed to the
// callbacks of RegularExpressionCustom::ForEachMatch; and CallbackRef, the
// non-owning, non-allocating reference to such a callback.
//
// A view copies no text: every string_view it gives points into the text
// being searched and is valid only while the callback it was passed to runs.
// A caller that keeps anything copies it (std::string(view.Str(0))).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <type_traits>

#include "RegexComponent/Export.h"

namespace RegexComponent {

class RC_API MatchView {
 public:
  // Where one slot lies in the searched input: its offset from the input's
  // first byte and its length.
  struct Slot {
    std::uint64_t Position;
    std::uint64_t Length;
  };
  // The Position of a slot that took no part in the match (its Length is 0).
  static constexpr std::uint64_t NoPosition = UINT64_MAX;

  // `text` points at the byte at offset `textOffset` of the input, and every
  // slot that took part lies at or after it in the same buffer. Over a
  // string in memory that is the string's start and offset 0; over a file
  // read in chunks it is the chunk's buffer and the chunk's offset in the
  // file. `slots` (`size` of them) stays owned by the caller.
  MatchView(const char* text, std::uint64_t textOffset, const Slot* slots, std::size_t size,
            std::string_view prefix, std::string_view suffix, std::uint64_t lineIndex,
            std::uint64_t startOfLine) noexcept
      : text_(text), textOffset_(textOffset), slots_(slots), size_(size), prefix_(prefix), suffix_(suffix),
        lineIndex_(lineIndex), startOfLine_(startOfLine) {}

  // Number of slots: slot 0 is the whole match, slot i the i-th
  // parenthesised sub-expression. An index past the last slot reads as a
  // slot that took no part.
  std::size_t Size() const noexcept { return size_; }
  bool Matched(std::size_t i) const noexcept { return i < size_ && slots_[i].Position != NoPosition; }
  // Offset of the slot's first byte from the start of the input, or NoPosition.
  std::uint64_t Position(std::size_t i) const noexcept { return i < size_ ? slots_[i].Position : NoPosition; }
  std::uint64_t Length(std::size_t i) const noexcept { return i < size_ ? slots_[i].Length : 0; }
  // The slot's text; empty when the slot took no part.
  std::string_view Str(std::size_t i) const noexcept {
    if (!Matched(i)) return {};
    return {text_ + (slots_[i].Position - textOffset_), static_cast<std::size_t>(slots_[i].Length)};
  }

  // From the end of the previous match (for the first match, the start of
  // the input) to the start of this one; as the prefix of a grep match.
  // Empty where the input is not in memory as a whole (a file).
  std::string_view Prefix() const noexcept { return prefix_; }
  // From the end of this match to the end of the input; empty where the
  // input is not in memory as a whole.
  std::string_view Suffix() const noexcept { return suffix_; }

  // The 1-based number of the line on which the match begins (only the line
  // feed ends a line), and the offset of that line's first byte from the
  // start of the input. Both are 0 when the producer counts no lines.
  std::uint64_t LineIndex() const noexcept { return lineIndex_; }
  std::uint64_t StartOfLine() const noexcept { return startOfLine_; }

 private:
  const char* text_;
  std::uint64_t textOffset_;
  const Slot* slots_;
  std::size_t size_;
  std::string_view prefix_;
  std::string_view suffix_;
  std::uint64_t lineIndex_;
  std::uint64_t startOfLine_;
};

// A callable that CallbackRef<Args...> accepts: invocable with Args...,
// returning bool or nothing.
template <class F, class... Args>
concept CallbackFor = std::is_invocable_v<F&, Args...> &&
                      (std::is_void_v<std::invoke_result_t<F&, Args...>> ||
                       std::is_same_v<std::invoke_result_t<F&, Args...>, bool>);

// CallbackRef<Args...>: a reference to a callable taking Args... that returns
// bool (false asks the caller to stop) or nothing (which always goes on).
// It owns nothing and allocates nothing; it is meant as a by-value parameter,
// referring to a callable that lives at least as long as the call it is
// passed to (a lambda written in the call's argument list does). Plain
// functions and function pointers are held by value.
template <class... Args>
class CallbackRef {
 public:
  template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, CallbackRef> && CallbackFor<std::remove_reference_t<F>, Args...>)
  CallbackRef(F&& f) noexcept {  // NOLINT: implicit, so a lambda can be passed where a CallbackRef is expected
    using Target = std::remove_reference_t<F>;
    if constexpr (std::is_function_v<Target>) {
      Hold(&f);
    } else if constexpr (std::is_pointer_v<Target> && std::is_function_v<std::remove_pointer_t<Target>>) {
      Hold(f);
    } else {
      target_.object = const_cast<void*>(static_cast<const void*>(std::addressof(f)));
      invoke_ = [](Target_ t, Args... args) -> bool { return Call(*static_cast<Target*>(t.object), static_cast<Args&&>(args)...); };
    }
  }

  // Calls the callable; true when it asks to go on.
  bool operator()(Args... args) const { return invoke_(target_, static_cast<Args&&>(args)...); }

 private:
  union Target_ {
    void* object;
    void (*function)();
  };

  template <class G>
  static bool Call(G& g, Args... args) {
    if constexpr (std::is_void_v<std::invoke_result_t<G&, Args...>>) {
      g(static_cast<Args&&>(args)...);
      return true;
    } else {
      return g(static_cast<Args&&>(args)...);
    }
  }

  template <class Function>
  void Hold(Function* function) noexcept {
    // A function pointer survives a round trip through another function
    // pointer type; it cannot go through void*.
    target_.function = reinterpret_cast<void (*)()>(function);
    invoke_ = [](Target_ t, Args... args) -> bool {
      return Call(*reinterpret_cast<Function*>(t.function), static_cast<Args&&>(args)...);
    };
  }

  Target_ target_;
  bool (*invoke_)(Target_, Args...);
};

// The callback of RegularExpressionCustom::ForEachMatch.
using MatchCallback = CallbackRef<const MatchView&>;
// The callback of RegularExpressionCustom::ForEachFileMatch: the name of the
// file that holds the match (valid during the call only), and the match.
using FileMatchCallback = CallbackRef<std::string_view, const MatchView&>;

}  // namespace RegexComponent
