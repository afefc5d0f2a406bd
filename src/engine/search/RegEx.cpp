#include "engine/search/RegEx.h"

#include <stdexcept>

#include <boost/regex.hpp>

#include "engine/expression/FileSearchSyntax.h"
#include "engine/expression/MatchFlags.h"
#include "engine/files/FileSpec.h"
#include "engine/pipeline/ParallelFileSearch.h"
#include "engine/search/LineCounter.h"

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
  engine::ParallelFileSearch search;
  // The match a GrepFiles callback is looking at; null outside callbacks.
  const MatchView* current = nullptr;
};

namespace {

class GrepSink final : public engine::FileMatchSink {
 public:
  GrepSink(const RegEx& owner, RegEx::GrepFilesCallbackType callback, const MatchView*& current)
      : owner_(owner), callback_(callback), current_(current) {}

  bool OnFileMatch(const char* path, const MatchView& match) override {
    current_ = &match;
    struct Forget {  // also when the callback throws
      GrepSink& sink;
      ~Forget() { sink.current_ = nullptr; }
    } forget{*this};
    return callback_(path, owner_);
  }

 private:
  const RegEx& owner_;
  RegEx::GrepFilesCallbackType callback_;
  const MatchView*& current_;
};

class FindSink final : public engine::FileMatchSink {
 public:
  explicit FindSink(RegEx::FindFilesCallbackType callback) : callback_(callback) {}
  bool OnFileMatch(const char* path, const MatchView&) override { return callback_(path); }

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
  impl_->expression = engine::CompileForFileSearch(text ? text : "", icase);
  impl_->compiled = true;
  return static_cast<unsigned>(impl_->expression.mark_count());
}

unsigned RegEx::GrepFiles(GrepFilesCallbackType callback, const char* files, bool recurse, std::uint32_t matchFlags,
                          FileErrorCallbackType onError) {
  if (!impl_->compiled || files == nullptr || *files == '\0') return 0;
  const BusyScope busy(impl_->busy);
  GrepSink sink(*this, callback, impl_->current);
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

void RegEx::SetFileSearchWorkers(unsigned workers) { impl_->search.SetWorkers(workers); }

std::string RegEx::What(int i) const {
  const MatchView* match = impl_->current;
  if (!match || i < 0) return {};
  return std::string(match->Str(static_cast<std::size_t>(i)));
}

unsigned RegEx::Position(int i) const {
  const MatchView* match = impl_->current;
  if (!match || i < 0 || !match->Matched(static_cast<std::size_t>(i))) return static_cast<unsigned>(-1);
  return engine::Saturate32(match->Position(static_cast<std::size_t>(i)));
}

}  // namespace RegexComponent
