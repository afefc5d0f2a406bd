#include "engine/RegEx.h"

#include <stdexcept>

#include <boost/regex.hpp>

#include "engine/FileSearch.h"
#include "engine/FileSpec.h"
#include "engine/MatchFlags.h"

namespace RegexComponent {

namespace {

// Marks the object busy for one walk. Re-entering the same object from its
// own callback would replace the expression or the reading buffer under the
// running match, so it is refused.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : busy_(busy) {
    if (busy_) throw std::logic_error("RegEx used from its own callback");
    busy_ = true;
  }
  ~BusyScope() { busy_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& busy_;
};

}  // namespace

struct RegEx::Impl {
  boost::regex expression;
  bool compiled = false;
  bool busy = false;
  engine::FileSearch search;
  // The match a GrepFiles callback is looking at; null outside callbacks.
  const boost::cmatch* current = nullptr;
  const engine::Chunk* currentChunk = nullptr;
};

namespace {

class GrepSink final : public engine::MatchSink {
 public:
  GrepSink(const RegEx& owner, RegEx::GrepFilesCallbackType callback, const boost::cmatch*& current,
           const engine::Chunk*& chunk)
      : owner_(owner), callback_(callback), current_(current), chunk_(chunk) {}

  bool OnMatch(const char* path, const boost::cmatch& match, const engine::Chunk& chunk) override {
    current_ = &match;
    chunk_ = &chunk;
    struct Forget {  // also when the callback throws
      GrepSink& sink;
      ~Forget() {
        sink.current_ = nullptr;
        sink.chunk_ = nullptr;
      }
    } forget{*this};
    return callback_(path, owner_);
  }

 private:
  const RegEx& owner_;
  RegEx::GrepFilesCallbackType callback_;
  const boost::cmatch*& current_;
  const engine::Chunk*& chunk_;
};

class FindSink final : public engine::MatchSink {
 public:
  explicit FindSink(RegEx::FindFilesCallbackType callback) : callback_(callback) {}
  bool OnMatch(const char* path, const boost::cmatch&, const engine::Chunk&) override { return callback_(path); }

 private:
  RegEx::FindFilesCallbackType callback_;
};

class ErrorSink final : public engine::WalkErrorSink {
 public:
  explicit ErrorSink(RegEx::FileErrorCallbackType callback) : callback_(callback) {}
  void OnWalkError(const char* path, int error) override { callback_(path, error); }

 private:
  RegEx::FileErrorCallbackType callback_;
};

}  // namespace

RegEx::RegEx() : impl_(std::make_unique<Impl>()) {}
RegEx::~RegEx() = default;

unsigned RegEx::SetExpression(const char* text, bool icase) {
  const BusyScope busy(impl_->busy);
  impl_->compiled = false;
  impl_->expression.assign(text ? text : "", boost::regex::normal | (icase ? boost::regex::icase : 0));
  impl_->compiled = true;
  return static_cast<unsigned>(impl_->expression.mark_count());
}

unsigned RegEx::GrepFiles(GrepFilesCallbackType callback, const char* files, bool recurse, std::uint32_t matchFlags,
                          FileErrorCallbackType onError) {
  if (!impl_->compiled || files == nullptr || *files == '\0') return 0;
  const BusyScope busy(impl_->busy);
  GrepSink sink(*this, callback, impl_->current, impl_->currentChunk);
  ErrorSink errors(onError);
  return static_cast<unsigned>(impl_->search.Grep(impl_->expression, engine::ParseFileSpec(files), recurse,
                                                  engine::ToBoostMatchFlags(matchFlags), callback ? &sink : nullptr,
                                                  onError ? &errors : nullptr));
}

unsigned RegEx::FindFiles(FindFilesCallbackType callback, const char* files, bool recurse, std::uint32_t matchFlags,
                          FileErrorCallbackType onError) {
  if (!impl_->compiled || files == nullptr || *files == '\0') return 0;
  const BusyScope busy(impl_->busy);
  FindSink sink(callback);
  ErrorSink errors(onError);
  return static_cast<unsigned>(impl_->search.Find(impl_->expression, engine::ParseFileSpec(files), recurse,
                                                  engine::ToBoostMatchFlags(matchFlags), callback ? &sink : nullptr,
                                                  onError ? &errors : nullptr));
}

std::string RegEx::What(int i) const {
  const boost::cmatch* match = impl_->current;
  if (!match || i < 0 || static_cast<std::size_t>(i) >= match->size() || !(*match)[i].matched) return {};
  return (*match)[i].str();
}

unsigned RegEx::Position(int i) const {
  const boost::cmatch* match = impl_->current;
  if (!match || i < 0 || static_cast<std::size_t>(i) >= match->size() || !(*match)[i].matched)
    return static_cast<unsigned>(-1);
  const engine::Chunk& chunk = *impl_->currentChunk;
  return static_cast<unsigned>(chunk.offset + static_cast<std::uint64_t>((*match)[i].first - chunk.begin));
}

}  // namespace RegexComponent
