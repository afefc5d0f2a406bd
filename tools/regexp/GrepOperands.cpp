#include "GrepOperands.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "engine/files/OpenFile.h"

namespace RegexComponent::tool {

namespace {

using engine::UniqueFd;

bool IsDevice(const struct stat& info) {
  return S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode);
}

// Operands match a glob by any suffix that starts after a '/', so that
// "--exclude=*.o" also skips "dir/x.o".
template <typename Test>
bool AnySuffix(std::string_view name, Test test) {
  if (test(name)) return true;
  for (std::size_t slash = name.find('/'); slash != std::string_view::npos; slash = name.find('/', slash + 1))
    if (slash + 1 < name.size() && name[slash + 1] != '/' && test(name.substr(slash + 1))) return true;
  return false;
}

engine::WalkRules TreeRules(const GrepSettings& s) {
  engine::WalkRules rules;
  rules.links = s.dereferenceRecursive ? engine::WalkRules::Links::kFollow : engine::WalkRules::Links::kSkip;
  rules.order = engine::WalkRules::Order::kByName;
  rules.special = s.devices == Devices::Read;
  return rules;
}

}  // namespace

std::string GrepProblem(const GrepSettings& s, const std::string& name, const std::string& message) {
  return s.noMessages ? std::string() : "regexp: " + name + ": " + message;
}

int GrepFileRef::Open(UniqueFd& fd, struct stat& info) const {
  fd = UniqueFd(engine::OpenForReading(dir ? dir.get() : AT_FDCWD, openName.c_str(),
                                       O_NOCTTY | (follow ? 0 : O_NOFOLLOW)));
  if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) return errno;
  return 0;
}

bool OpenAndSearch(const GrepSettings& s, GrepFileHandler& handler, const GrepFileRef& file) {
  UniqueFd fd(-1);
  struct stat info {};
  if (const int error = file.Open(fd, info)) {
    handler.Report(GrepProblem(s, file.shown, std::strerror(error)), true);
    return true;
  }
  return handler.Search(fd, info, file.shown, file.showName);
}

GrepTreeFilter::GrepTreeFilter(const GrepSettings& s) : WalkFilter(TreeRules(s)) {
  bool sawFileGlob = false;
  for (const NameFilter& filter : s.filters) {
    globs_.push_back({filter.kind, engine::NamePattern(filter.glob)});
    if (filter.kind == NameFilter::Kind::ExcludeDir || sawFileGlob) continue;
    sawFileGlob = true;
    firstIsInclude_ = filter.kind == NameFilter::Kind::Include;
  }
}

bool GrepTreeFilter::Included(std::string_view name, bool operand) const {
  bool included = !firstIsInclude_;
  for (const Glob& glob : globs_) {
    if (glob.kind == NameFilter::Kind::ExcludeDir) continue;
    const auto test = [&](std::string_view n) { return glob.pattern.Matches(n); };
    if (operand ? AnySuffix(name, test) : test(name)) included = glob.kind == NameFilter::Kind::Include;
  }
  return included;
}

bool GrepTreeFilter::DirectoryExcluded(std::string_view name, bool operand) const {
  for (const Glob& glob : globs_) {
    if (glob.kind != NameFilter::Kind::ExcludeDir) continue;
    const auto test = [&](std::string_view n) { return glob.pattern.Matches(n); };
    if (operand ? AnySuffix(name, test) : test(name)) return true;
  }
  return false;
}

// The walk's visitor for one tree: hands its files to the handler unopened,
// and its problems in their turn.
class GrepOperands::Tree final : public engine::FileVisitor,
                                 public engine::ListedFileOpener,
                                 public engine::WalkErrorSink {
 public:
  Tree(const GrepSettings& s, GrepFileHandler& handler) : s_(s), handler_(handler) {
    showName_ = s.withFilename.value_or(true);
  }

  // Only for a file the walk opened itself, which it does not here: the
  // handler opens every listed file (Opener).
  bool Visit(const char* path, int fd, std::uint64_t) override {
    UniqueFd copy(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    struct stat info {};
    if (!copy || ::fstat(copy.get(), &info) != 0) {
      OnWalkError(path, errno);
      return true;
    }
    return handler_.Search(copy, info, path, showName_);
  }
  engine::ListedFileOpener* Opener() override { return this; }
  bool VisitUnopened(const char* path, const engine::SharedFd& dir, const char* name, bool mayBeLink) override {
    return handler_.Search(GrepFileRef{dir, name, mayBeLink, path, showName_});
  }
  bool VisitSpecial(const char* path, UniqueFd& fd, const struct stat& info) override {
    return handler_.Search(fd, info, path, showName_);
  }
  void OnWalkError(const char* path, int error) override {
    handler_.Report(GrepProblem(s_, path, std::strerror(error)), true);
  }
  void OnLoop(const char* path) override {
    handler_.Report(GrepProblem(s_, path, "warning: recursive directory loop"), false);
  }

 private:
  const GrepSettings& s_;
  GrepFileHandler& handler_;
  bool showName_;  // a single directory operand still shows names
};

GrepOperands::GrepOperands(const GrepSettings& s, GrepFileHandler& handler)
    : s_(s), handler_(handler), filter_(s) {}

void GrepOperands::Fail(const std::string& name, const std::string& message) {
  handler_.Report(GrepProblem(s_, name, message), true);
}

bool GrepOperands::Run() {
  if (s_.files.empty()) {
    if (s_.directories != Directories::Recurse) return Operand("-");
    struct stat info {};
    if (::stat(".", &info) != 0) {
      Fail(".", std::strerror(errno));
      return true;
    }
    return Directory(".", "");
  }
  for (const std::string& operand : s_.files)
    if (!Operand(operand)) return false;
  return true;
}

bool GrepOperands::Operand(const std::string& operand) {
  const bool showName = s_.withFilename.value_or(s_.files.size() > 1);
  struct stat info {};
  if (operand == "-") {
    if (::fstat(STDIN_FILENO, &info) != 0) info = {};
    // A copy, so that standard input stays open whoever closes it.
    UniqueFd in(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0));
    return handler_.Search(in, info, s_.label, showName);
  }
  if (::stat(operand.c_str(), &info) != 0) {
    Fail(operand, std::strerror(errno));
    return true;
  }
  if (S_ISDIR(info.st_mode)) {
    if (s_.directories == Directories::Skip) return true;
    if (s_.directories == Directories::Read) {
      Fail(operand, std::strerror(EISDIR));
      return true;
    }
    if (filter_.DirectoryExcluded(operand, true)) return true;
    // grep shows "dir/name" for "dir/" and "dir//" alike.
    std::string shown = operand;
    while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
    return Directory(operand, shown);
  }
  if (!filter_.Included(operand, true)) return true;
  if (IsDevice(info) && s_.devices == Devices::Skip) return true;
  if (S_ISREG(info.st_mode)) return handler_.Search(GrepFileRef{engine::SharedFd(), operand, true, operand, showName});
  return Special(operand, showName);
}

bool GrepOperands::Directory(const std::string& top, const std::string& shown) {
  const std::string prefix = shown.empty() || shown == "/" ? shown : shown + "/";
  Tree tree(s_, handler_);
  return walker_.WalkTree(top, prefix, filter_, tree, &tree);
}

// A file that is not regular (a device, a FIFO) is opened here: opening
// one may wait, which is the walk's to do in its turn.
bool GrepOperands::Special(const std::string& operand, bool showName) {
  UniqueFd fd(engine::OpenForReading(AT_FDCWD, operand.c_str(), O_NOCTTY));
  struct stat info {};
  if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) {
    Fail(operand, std::strerror(errno));
    return true;
  }
  return handler_.Search(fd, info, operand, showName);
}

}  // namespace RegexComponent::tool
