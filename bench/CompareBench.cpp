// Compares the component's operations with raw Boost.Regex doing the same
// work on the same data in the same process, and prints for each pair a line
// "RATIO <name> <component time / raw Boost time>".
//
// Every side is a Google Benchmark with a fixed iteration count, run once
// per round; in each round the two sides of a pair run back to back, so a
// slow spell of a noisy machine hits both alike. A ratio is the median over
// the rounds of the two sides' per-iteration CPU times divided.
// Before timing, each pair is run once and its results compared, so a ratio
// never compares two different pieces of work (and the page cache is warm).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <boost/regex.hpp>

#include <RegexComponent/RegularExpression.h>

#include "TextGenerator.h"
#include "engine/prefilter/PrefilteredSearch.h"

namespace {

using namespace RegexComponent;
namespace bc = boost::regex_constants;
namespace fs = std::filesystem;

// The component's default match options (MatchDefault) translate to these:
// match_posix is added for leftmost-longest. The raw side uses them too.
const bc::match_flag_type kRawFlags = bc::match_default | bc::match_posix;

struct Expression {
  const char* name;
  const char* pattern;
};
constexpr Expression kExpressions[] = {
    {"literal_alt", "alpha|beta|gamma"},
    {"class_repeat", "[0-9]+"},
    {"backref", "([a-z])\\1"},
    {"never", "zqxj[0-9]{5}"},
};

constexpr const char* kPairPattern = "([a-z]+)=([0-9]+)";
constexpr const char* kShortSubject = "Order 4711 shipped: alpha crates, balloon kit, key=99 (done).";
constexpr const char* kFormat = "<$1|$2>\\t$&\\n";

struct Settings {
  bool quick = false;
  std::size_t subjectBytes = std::size_t{64} << 20;
  // A grep handler is given each match's prefix and suffix as strings, and
  // regex_grep's suffix runs to the end of the subject: over 64 MiB the
  // copies would be terabytes, so this pair works on a head of the subject.
  std::size_t handlerSubjectBytes = std::size_t{256} << 10;
  int rounds = 5;
  double roundSeconds = 0.1;  // at least this long per side and round
  int microRounds = 10;
  benchmark::IterationCount microIterations = 100000;
  std::string tree = "/usr/include";
  std::string treeNote = "system headers";
  bool treeGenerated = false;
  std::string only;  // runs only the comparisons whose names contain a match of this
};
Settings settings;

const std::string& Subject() {
  static const std::string text = bench::MakeText(settings.subjectBytes);
  return text;
}

const std::string& HandlerSubject() {
  static const std::string text = Subject().substr(0, settings.handlerSubjectBytes);
  return text;
}

// Each component holds its own copy of its subject; the raw side of its pair
// gets one too, so that neither side finds its text in the cache just
// because another benchmark used the same buffer.
std::shared_ptr<const std::string> PrivateCopy(const std::string& text) {
  return std::make_shared<const std::string>(text);
}

// A component owned by nothing; the benchmarks keep theirs for the whole run.
std::unique_ptr<RegularExpression> MakeComponent(const char* pattern, const std::string& subject) {
  auto re = std::make_unique<RegularExpression>(nullptr);
  re->Expression = pattern;
  re->StringToMatch = AnsiString(subject);
  if (re->GetMatchFlags() != 0) {
    std::fprintf(stderr, "unexpected match options: the raw side assumes the default\n");
    std::exit(2);
  }
  return re;
}

// ---------------------------------------------------------------------------
// Grep

struct GrepSum {
  std::uint64_t sum = 0;
  void OnGrep(TObject*, const CPPStringArray& parts, unsigned line, unsigned lineStart, bool&) {
    for (const std::string& part : parts) sum += part.size();
    sum += line + lineStart;
  }
};

unsigned RawGrep(const std::string& subject, const boost::regex& re) {
  const char* begin = subject.data();
  return boost::regex_grep([](const boost::cmatch&) { return true; }, begin, begin + subject.size(), re,
                           kRawFlags);
}

// Lines counted by hand as the component counts them: line feeds from the
// previous match on, once over the subject in all.
struct RawLines {
  const char* begin;
  const char* scanned = begin;
  const char* lineStart = begin;
  std::uint64_t line = 1;

  void AdvanceTo(const char* position) {
    while (scanned < position) {
      const void* lf = std::memchr(scanned, '\n', static_cast<std::size_t>(position - scanned));
      if (!lf) {
        scanned = position;
        break;
      }
      scanned = static_cast<const char*>(lf) + 1;
      ++line;
      lineStart = scanned;
    }
  }
  std::uint64_t Start() const { return static_cast<std::uint64_t>(lineStart - begin); }
};

// What a handler is given, built the way the component builds it: the
// groups, an empty string, the prefix and the suffix (regex_grep's prefix
// starts where the previous match ended, its suffix runs to the end), and
// the line found by counting line feeds from the previous match on.
std::uint64_t RawGrepWithParts(const std::string& subject, const boost::regex& re) {
  const char* begin = subject.data();
  RawLines lines{begin};
  std::uint64_t sum = 0;
  const auto text = [](const boost::csub_match& s) { return s.matched ? std::string(s.first, s.second) : std::string(); };
  boost::regex_grep(
      [&](const boost::cmatch& m) {
        std::vector<std::string> parts;
        parts.reserve(m.size() + 3);
        for (std::size_t i = 0; i < m.size(); ++i) parts.emplace_back(text(m[static_cast<int>(i)]));
        parts.emplace_back();
        parts.emplace_back(text(m.prefix()));
        parts.emplace_back(text(m.suffix()));
        lines.AdvanceTo(m[0].first);
        for (const std::string& part : parts) sum += part.size();
        sum += lines.line + lines.Start();
        return true;
      },
      begin, begin + subject.size(), re, kRawFlags);
  return sum;
}

// ForEachMatch's work done by hand: every slot's text as a view, and the
// line and line start of each match.
std::uint64_t RawGrepViews(const std::string& subject, const boost::regex& re) {
  const char* begin = subject.data();
  RawLines lines{begin};
  std::uint64_t sum = 0;
  boost::regex_grep(
      [&](const boost::cmatch& m) {
        for (std::size_t i = 0; i < m.size(); ++i) {
          const auto& s = m[static_cast<int>(i)];
          const std::string_view view = s.matched ? std::string_view(s.first, static_cast<std::size_t>(s.second - s.first))
                                                  : std::string_view();
          sum += view.size();
        }
        lines.AdvanceTo(m[0].first);
        sum += lines.line + lines.Start();
        return true;
      },
      begin, begin + subject.size(), re, kRawFlags);
  return sum;
}

// The same through the component.
std::uint64_t ForEachViews(RegularExpression& re) {
  std::uint64_t sum = 0;
  re.ForEachMatch([&sum](const MatchView& v) {
    for (std::size_t i = 0; i < v.Size(); ++i) sum += v.Str(i).size();
    sum += v.LineIndex() + v.StartOfLine();
  });
  return sum;
}

// ---------------------------------------------------------------------------
// Files

// The engine's reading method: open, fstat, read() into one buffer reused
// across files; then regex_grep over the file's bytes.
class RawTreeGrep {
 public:
  std::uint64_t Run(const std::string& root, const boost::regex& re) {
    return Walk(root, re, [](const char*, const boost::cmatch&) { return std::uint64_t{0}; });
  }

  // ForEachFileMatch's work done by hand: each matched slot's text as a
  // view and its offset from the file's start, summed.
  std::uint64_t RunViews(const std::string& root, const boost::regex& re) {
    return Walk(root, re, [](const char* text, const boost::cmatch& m) {
      std::uint64_t sum = 0;
      for (std::size_t i = 0; i < m.size(); ++i) {
        const auto& s = m[static_cast<int>(i)];
        if (!s.matched) continue;
        const std::string_view view(s.first, static_cast<std::size_t>(s.second - s.first));
        sum += view.size() + static_cast<std::uint64_t>(s.first - text);
      }
      return sum;
    });
  }

 private:
  static constexpr std::size_t kFailed = static_cast<std::size_t>(-1);

  // The count of matches plus what `visit(text, match)` returns for each.
  template <class Visit>
  std::uint64_t Walk(const std::string& root, const boost::regex& re, Visit visit) {
    std::uint64_t sum = 0;
    std::error_code ec;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
      if (!it->is_regular_file(ec)) continue;
      const std::size_t size = ReadFile(it->path().c_str());
      if (size == kFailed) continue;
      const char* text = buffer_.get();
      sum += boost::regex_grep(
          [&](const boost::cmatch& m) {
            sum += visit(text, m);
            return true;
          },
          text, text + size, re, kRawFlags);
    }
    return sum;
  }

  std::size_t ReadFile(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return kFailed;
    struct stat st;
    std::size_t filled = 0;
    if (::fstat(fd, &st) == 0) {
      const auto size = static_cast<std::size_t>(st.st_size);
      if (size > capacity_) {
        buffer_ = std::make_unique_for_overwrite<char[]>(size);
        capacity_ = size;
      }
      while (filled < size) {
        const ssize_t n = ::read(fd, buffer_.get() + filled, size - filled);
        if (n <= 0) break;
        filled += static_cast<std::size_t>(n);
      }
    }
    ::close(fd);
    return filled;
  }

  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
};

std::unique_ptr<RegularExpression> MakeFileComponent(const char* pattern) {
  auto re = std::make_unique<RegularExpression>(nullptr);
  re->Expression = pattern;
  re->FilesToMatch = AnsiString(settings.tree + "/");
  re->DirectoryRecursion = true;
  return re;
}

std::size_t CountFiles(const std::string& root) {
  std::size_t files = 0;
  std::error_code ec;
  fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
  for (; !ec && it != end; it.increment(ec)) files += it->is_regular_file(ec) ? 1 : 0;
  return files;
}

// A stand-in for a machine without enough system headers: C-like files of
// generated text under /tmp.
std::string GenerateTree() {
  const std::string root = "/tmp/rc-bench-tree";
  fs::remove_all(root);
  bench::TextGenerator generator(7);
  for (int d = 0; d < 40; ++d) {
    const std::string dir = root + "/dir" + std::to_string(d);
    fs::create_directories(dir);
    for (int f = 0; f < 100; ++f) {
      std::string text = "#include <stdio.h>\n#include <sys_types.h>\nstatic int counter;\n";
      while (text.size() < 12000) generator.AppendLine(text);
      std::FILE* file = std::fopen((dir + "/file" + std::to_string(f) + ".h").c_str(), "wb");
      if (!file) continue;
      std::fwrite(text.data(), 1, text.size(), file);
      std::fclose(file);
    }
  }
  return root;
}

// ---------------------------------------------------------------------------
// The pairs and their checks

struct Stopwatch {
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  double Seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); }
};

// Calls per timed iteration for work that took `seconds` once, so that one
// round of a side lasts long enough for the clock and a cold cache not to
// matter.
benchmark::IterationCount IterationsFor(double seconds) {
  const double calls = settings.roundSeconds / std::max(seconds, 1e-9);
  return static_cast<benchmark::IterationCount>(std::clamp(calls, 1.0, 1e6));
}

// The target of a row shown for information only.
constexpr double kInformational = 0;

struct Side {
  std::string name;  // benchmark name
  std::function<void(benchmark::State&)> body;  // empty: a side registered by another comparison
};

struct Comparison {
  std::string name;
  std::string group;  // comparisons of one group also get an overall ratio
  double target;
  Side component;
  Side raw;
  benchmark::IterationCount iterations;
  int rounds;
};

std::vector<Comparison> comparisons;
bool checksPassed = true;

bool Wanted(const std::string& name) {
  return settings.only.empty() || boost::regex_search(name, boost::regex(settings.only));
}

void Check(const std::string& name, bool same, const std::string& detail) {
  std::printf("CHECK %s %s (%s)\n", name.c_str(), same ? "same-results" : "MISMATCH", detail.c_str());
  checksPassed = checksPassed && same;
}

void Add(std::string name, std::string group, double target, std::function<void(benchmark::State&)> component,
         std::function<void(benchmark::State&)> raw, benchmark::IterationCount iterations, int rounds) {
  comparisons.push_back(Comparison{name, std::move(group), target, Side{name + "/component", std::move(component)},
                                   Side{name + "/boost", std::move(raw)}, iterations, rounds});
}

void AddGrepNoHandler() {
  for (const Expression& e : kExpressions) {
    if (!Wanted(std::string("grep_nohandler/") + e.name)) continue;
    std::shared_ptr<RegularExpression> re = MakeComponent(e.pattern, Subject());
    auto raw = std::make_shared<boost::regex>(e.pattern, boost::regex::perl);
    const auto text = PrivateCopy(Subject());
    const Stopwatch watch;
    const unsigned a = re->Grep();
    const double seconds = watch.Seconds();
    const unsigned b = RawGrep(*text, *raw);
    Check(std::string("grep_nohandler/") + e.name, a == b, std::to_string(a) + " matches");
    Add(std::string("grep_nohandler/") + e.name, "grep_nohandler", 1.05,
        [re](benchmark::State& state) {
          for (auto _ : state) benchmark::DoNotOptimize(re->Grep());
        },
        [raw, text](benchmark::State& state) {
          for (auto _ : state) benchmark::DoNotOptimize(RawGrep(*text, *raw));
        },
        IterationsFor(seconds), settings.rounds);
  }
}

void AddGrepHandler() {
  for (const Expression& e : kExpressions) {
    if (!Wanted(std::string("grep_handler/") + e.name)) continue;
    auto sink = std::make_shared<GrepSum>();
    std::shared_ptr<RegularExpression> re = MakeComponent(e.pattern, HandlerSubject());
    re->OnGrepping = Bind(sink.get(), &GrepSum::OnGrep);
    auto raw = std::make_shared<boost::regex>(e.pattern, boost::regex::perl);
    const auto text = PrivateCopy(HandlerSubject());
    const Stopwatch watch;
    const unsigned count = re->Grep();
    const double seconds = watch.Seconds();
    const std::uint64_t a = sink->sum, b = RawGrepWithParts(*text, *raw);
    Check(std::string("grep_handler/") + e.name, a == b,
          std::to_string(count) + " matches, checksum " + std::to_string(a));
    Add(std::string("grep_handler/") + e.name, "grep_handler", 1.15,
        [re, sink](benchmark::State& state) {
          for (auto _ : state) benchmark::DoNotOptimize(re->Grep());
          benchmark::DoNotOptimize(sink->sum);
        },
        [raw, text](benchmark::State& state) {
          for (auto _ : state) benchmark::DoNotOptimize(RawGrepWithParts(*text, *raw));
        },
        IterationsFor(seconds), settings.rounds);
  }
}

void AddForEachMatch() {
  for (const Expression& e : kExpressions) {
    const std::string name = std::string("foreach_match/") + e.name;
    if (!Wanted(name)) continue;
    std::shared_ptr<RegularExpression> re = MakeComponent(e.pattern, Subject());
    auto raw = std::make_shared<boost::regex>(e.pattern, boost::regex::perl);
    const auto text = PrivateCopy(Subject());
    const Stopwatch watch;
    const std::uint64_t a = ForEachViews(*re);
    const double seconds = watch.Seconds();
    const std::uint64_t b = RawGrepViews(*text, *raw);
    Check(name, a == b, "checksum " + std::to_string(a));
    Add(name, "foreach_match", 1.05,
        [re](benchmark::State& state) {
          for (auto _ : state) benchmark::DoNotOptimize(ForEachViews(*re));
        },
        [raw, text](benchmark::State& state) {
          for (auto _ : state) benchmark::DoNotOptimize(RawGrepViews(*text, *raw));
        },
        IterationsFor(seconds), settings.rounds);
  }
}

// The literal prefilter's grep against regex_grep, the same expression and
// flags on both sides. The first six are the file-search issue's patterns
// (the generated text holds few or none of their literals, so they measure
// the scan); the next three match often in it, so confirming candidates
// with Boost is measured too; in "e[0-9]" the literal is the commonest
// letter and rarely followed by a digit, the prefilter's worst case; the
// last has no literal and runs unfiltered.
struct PrefilterCase {
  const char* name;
  const char* pattern;
  bc::syntax_option_type options;
  double target;
};
constexpr PrefilterCase kPrefilterCases[] = {
    {"namespace", "namespace", boost::regex::perl, 0.5},
    {"TODO|FIXME", "TODO|FIXME", boost::regex::perl, 0.5},
    {"[A-Z_]+_H", "[A-Z_]+_H", boost::regex::perl, 0.5},
    {"\\bstatic\\b", "\\bstatic\\b", boost::regex::perl, 0.5},
    {"[0-9]{4}-[0-9]{2}", "[0-9]{4}-[0-9]{2}", boost::regex::perl, 0.5},
    {"balloon/icase", "balloon", boost::regex::perl | boost::regex::icase, 0.5},
    {"kernel", "kernel", boost::regex::perl, 0.5},
    {"alpha|omega", "alpha|omega", boost::regex::perl, 0.5},
    {"[a-z]+=[0-9]{5}", "[a-z]+=[0-9]{5}", boost::regex::perl, 0.5},
    {"e[0-9]", "e[0-9]", boost::regex::perl, 1.05},
    {"[[:upper:]][[:digit:]]{3}", "[[:upper:]][[:digit:]]{3}", boost::regex::perl, 1.05},
};

unsigned PrefilteredGrep(const std::string& subject, const boost::regex& re) {
  engine::PrefilteredSearch search(re, kRawFlags);
  const char* begin = subject.data();
  return search.Grep([](const boost::cmatch&) { return true; }, begin, begin + subject.size());
}

void AddGrepPrefilter() {
  for (const PrefilterCase& c : kPrefilterCases) {
    const std::string name = std::string("grep_prefilter/") + c.name;
    if (!Wanted(name)) continue;
    auto re = std::make_shared<boost::regex>(c.pattern, c.options);
    const auto text = PrivateCopy(Subject());
    const auto raw = PrivateCopy(Subject());
    const Stopwatch watch;
    const unsigned a = PrefilteredGrep(*text, *re);
    const double seconds = watch.Seconds();
    const unsigned b = RawGrep(*raw, *re);
    const bool prefiltered = engine::PrefilteredSearch(*re, kRawFlags).Prefiltered();
    Check(name, a == b, std::to_string(a) + " matches, " + (prefiltered ? "prefiltered" : "not prefiltered"));
    Add(name, "", c.target,
        [re, text](benchmark::State& state) {
          for (auto _ : state) benchmark::DoNotOptimize(PrefilteredGrep(*text, *re));
        },
        [re, raw](benchmark::State& state) {
          for (auto _ : state) benchmark::DoNotOptimize(RawGrep(*raw, *re));
        },
        IterationsFor(seconds), settings.rounds);
  }
}

void AddSearchRepeat() {
  const std::string subject = kShortSubject;
  for (const Expression& e : kExpressions) {
    if (!Wanted(std::string("search_repeat/") + e.name)) continue;
    std::shared_ptr<RegularExpression> re = MakeComponent(e.pattern, subject);
    auto raw = std::make_shared<boost::regex>(e.pattern, boost::regex::perl);
    boost::cmatch m;
    const bool a = re->Search();
    const bool b = boost::regex_search(subject.data(), subject.data() + subject.size(), m, *raw, kRawFlags);
    const std::vector<std::string> parts = re->GetMatchingStrings();
    const bool same = a == b && (!a || (parts.size() == m.size() + 3 && parts[0] == m[0].str()));
    Check(std::string("search_repeat/") + e.name, same, a ? "found \"" + m[0].str() + "\"" : "no match");
    Add(std::string("search_repeat/") + e.name, "search_repeat", 1.3,
        [re](benchmark::State& state) {
          for (auto _ : state) benchmark::DoNotOptimize(re->Search());
        },
        [raw, subject](benchmark::State& state) {
          boost::cmatch m;
          const char* begin = subject.data();
          const char* end = begin + subject.size();
          for (auto _ : state) benchmark::DoNotOptimize(boost::regex_search(begin, end, m, *raw, kRawFlags));
        },
        settings.microIterations, settings.microRounds);
  }
}

void RawMerge(const std::string& subject, const boost::regex& re, const std::string& format, std::string& out) {
  out.clear();
  boost::regex_replace(std::back_inserter(out), subject.data(), subject.data() + subject.size(), re, format,
                       kRawFlags | bc::format_all);
}

// Each side merges into one output string kept for the whole run, as a
// program that merges repeatedly would: the time is that of the merging, not
// of faulting in a fresh buffer of the subject's size.
void AddMerge() {
  const std::pair<const char*, const char*> formats[] = {{"whole", "[$&]"}, {"swap", "$2-$1"}};
  for (const auto& [name, format] : formats) {
    if (!Wanted(std::string("merge/") + name)) continue;
    std::shared_ptr<RegularExpression> re = MakeComponent(kPairPattern, Subject());
    re->MergeCopy = true;
    re->FormatString = format;
    auto raw = std::make_shared<boost::regex>(kPairPattern, boost::regex::perl);
    const std::string rawFormat = format;
    const auto text = PrivateCopy(Subject());
    std::string a, b;
    re->Merge(a);
    RawMerge(*text, *raw, rawFormat, b);
    Check(std::string("merge/") + name, a == b, std::to_string(a.size()) + " bytes out");
    Add(std::string("merge/") + name, "merge", 1.0,
        [re, out = std::make_shared<std::string>()](benchmark::State& state) {
          for (auto _ : state) {
            re->Merge(*out);
            benchmark::DoNotOptimize(out->data());
          }
        },
        [raw, rawFormat, text, out = std::make_shared<std::string>()](benchmark::State& state) {
          for (auto _ : state) {
            RawMerge(*text, *raw, rawFormat, *out);
            benchmark::DoNotOptimize(out->data());
          }
        },
        1, settings.rounds);
  }
}

void AddFormat() {
  if (!Wanted("format")) return;
  const std::string subject = kShortSubject;
  std::shared_ptr<RegularExpression> re = MakeComponent(kPairPattern, subject);
  re->FormatString = kFormat;
  re->Search();
  auto raw = std::make_shared<boost::regex>(kPairPattern, boost::regex::perl);
  // The match points into its own copy of the subject, kept alongside it.
  struct HeldRaw {
    std::string text;
    boost::cmatch match;
  };
  const auto held = std::make_shared<HeldRaw>();
  held->text = subject;
  const std::shared_ptr<boost::cmatch> m(held, &held->match);
  const char* first = held->text.data();
  boost::regex_search(first, first + held->text.size(), *m, *raw, kRawFlags);
  const std::string format = kFormat;
  std::string a, b;
  re->Format(a);
  m->format(std::back_inserter(b), format, bc::format_all);
  Check("format", a == b && !a.empty(), std::to_string(a.size()) + " bytes out");
  Add("format", "", 1.0,
      [re](benchmark::State& state) {
        std::string out;
        for (auto _ : state) {
          re->Format(out);
          benchmark::DoNotOptimize(out.data());
        }
      },
      [m, format](benchmark::State& state) {
        std::string out;
        for (auto _ : state) {
          out.clear();
          m->format(std::back_inserter(out), format, bc::format_all);
          benchmark::DoNotOptimize(out.data());
        }
      },
      settings.microIterations, settings.microRounds);
}

void AddFindFiles();
void AddForEachFileMatch();

void AddFiles() {
  const std::pair<const char*, const char*> expressions[] = {{"include", "#include <[a-z_]+\\.h>"},
                                                             {"static", "\\bstatic\\b"}};
  for (const auto& [name, pattern] : expressions) {
    if (!Wanted(std::string("grepfiles/") + name)) continue;
    std::shared_ptr<RegularExpression> re = MakeFileComponent(pattern);
    auto raw = std::make_shared<boost::regex>(pattern, boost::regex::perl);
    auto walker = std::make_shared<RawTreeGrep>();
    const std::uint64_t a = re->GrepFiles(), b = walker->Run(settings.tree, *raw);
    Check(std::string("grepfiles/") + name, a == b, std::to_string(a) + " matches");
    Add(std::string("grepfiles/") + name, "grepfiles", 1.1,
        [re](benchmark::State& state) {
          for (auto _ : state) benchmark::DoNotOptimize(re->GrepFiles());
        },
        [raw, walker](benchmark::State& state) {
          for (auto _ : state) benchmark::DoNotOptimize(walker->Run(settings.tree, *raw));
        },
        1, settings.rounds);
  }
  if (Wanted("findfiles")) AddFindFiles();
  if (Wanted("foreach_file_match")) AddForEachFileMatch();
}

// ForEachFileMatch with a callback that reads every matched slot's view and
// offset, against the raw walk doing the same.
void AddForEachFileMatch() {
  const char* pattern = "#include <([a-z_]+)\\.h>";
  std::shared_ptr<RegularExpression> re = MakeFileComponent(pattern);
  auto raw = std::make_shared<boost::regex>(pattern, boost::regex::perl);
  auto walker = std::make_shared<RawTreeGrep>();
  const auto views = [re] {
    std::uint64_t sum = 0;
    const std::uint64_t count = re->ForEachFileMatch([&sum](std::string_view, const MatchView& v) {
      for (std::size_t i = 0; i < v.Size(); ++i) {
        if (v.Matched(i)) sum += v.Str(i).size() + v.Position(i);
      }
    });
    return count + sum;
  };
  const std::uint64_t a = views(), b = walker->RunViews(settings.tree, *raw);
  Check("foreach_file_match", a == b, "checksum " + std::to_string(a));
  Add("foreach_file_match", "", 1.1,
      [views](benchmark::State& state) {
        for (auto _ : state) benchmark::DoNotOptimize(views());
      },
      [raw, walker](benchmark::State& state) {
        for (auto _ : state) benchmark::DoNotOptimize(walker->RunViews(settings.tree, *raw));
      },
      1, settings.rounds);
}

void AddFindFiles() {
  std::shared_ptr<RegularExpression> find = MakeFileComponent("#");
  std::shared_ptr<RegularExpression> grep = MakeFileComponent("#");
  std::shared_ptr<RegularExpression> floor = MakeFileComponent("^");
  const std::uint32_t files = find->FindFiles(), matches = grep->GrepFiles(), all = floor->FindFiles();
  Check("findfiles", files > 0 && files <= matches && files <= all,
        std::to_string(files) + " of " + std::to_string(all) + " files have a match, " + std::to_string(matches) +
            " matches");
  // Both sides are the component: finding the files with a match against
  // grepping them completely. The floor is a FindFiles whose expression
  // matches at the first byte, i.e. the walk and the reading alone.
  comparisons.push_back(Comparison{"findfiles", "", 1.0,
                                   Side{"findfiles/FindFiles",
                                        [find](benchmark::State& state) {
                                          for (auto _ : state) benchmark::DoNotOptimize(find->FindFiles());
                                        }},
                                   Side{"findfiles/GrepFiles",
                                        [grep](benchmark::State& state) {
                                          for (auto _ : state) benchmark::DoNotOptimize(grep->GrepFiles());
                                        }},
                                   1, settings.rounds});
  comparisons.push_back(Comparison{"findfiles_floor", "", kInformational,
                                   Side{"findfiles/walk_and_read",
                                        [floor](benchmark::State& state) {
                                          for (auto _ : state) benchmark::DoNotOptimize(floor->FindFiles());
                                        }},
                                   Side{"findfiles/GrepFiles", nullptr}, 1, settings.rounds});
}

// ---------------------------------------------------------------------------
// Running and reporting

// Per-iteration times of one side, one entry per round, in round order.
struct Times {
  std::vector<double> cpu, real;
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Shows every run on the console and keeps its times.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  CollectingReporter() : ConsoleReporter(OO_Tabular) {}

  std::map<std::string, Times> times;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
      Times& t = times[run.run_name.function_name];
      t.cpu.push_back(run.cpu_accumulated_time / static_cast<double>(run.iterations));
      t.real.push_back(run.real_accumulated_time / static_cast<double>(run.iterations));
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

// Benchmarks run in registration order. Each round runs both sides of every
// pair back to back, the side that goes first alternating from round to
// round, so the two runs of a pair in one round see the same machine.
void RegisterRounds() {
  int rounds = 0;
  for (const Comparison& c : comparisons) rounds = std::max(rounds, c.rounds);
  for (int round = 0; round < rounds; ++round) {
    for (const Comparison& c : comparisons) {
      if (round >= c.rounds) continue;
      const Side* order[2] = {&c.component, &c.raw};
      if (round % 2) std::swap(order[0], order[1]);
      for (const Side* side : order) {
        if (!side->body) continue;
        benchmark::RegisterBenchmark(side->name.c_str(), side->body)
            ->Iterations(c.iterations)
            ->Unit(c.iterations > 1 ? benchmark::kNanosecond : benchmark::kMillisecond);
      }
    }
  }
}

std::string Pretty(double seconds) {
  char text[32];
  if (seconds >= 1) std::snprintf(text, sizeof text, "%.3f s", seconds);
  else if (seconds >= 1e-3) std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
  else if (seconds >= 1e-6) std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
  else std::snprintf(text, sizeof text, "%.1f ns", seconds * 1e9);
  return text;
}

// One line of the result: the two sides' times round by round (a group's
// rows added up), from which the ratio is the median of the rounds' ratios.
struct Row {
  std::string name;
  double target;
  Times component, raw;

  void Add(const Times& a, const Times& b) {
    const auto add = [](std::vector<double>& sum, const std::vector<double>& v) {
      sum.resize(std::max(sum.size(), v.size()));
      for (std::size_t i = 0; i < v.size(); ++i) sum[i] += v[i];
    };
    add(component.cpu, a.cpu), add(component.real, a.real), add(raw.cpu, b.cpu), add(raw.real, b.real);
  }
  static double PairedRatio(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) ratios.push_back(a[i] / b[i]);
    return Median(ratios);
  }
  double Ratio() const { return PairedRatio(component.cpu, raw.cpu); }
  double WallRatio() const { return PairedRatio(component.real, raw.real); }
};

void PrintRatios(const std::map<std::string, Times>& times) {
  std::vector<Row> rows;
  std::map<std::string, Row> groups;
  for (const Comparison& c : comparisons) {
    const auto a = times.find(c.component.name), b = times.find(c.raw.name);
    if (a == times.end() || b == times.end()) continue;
    rows.push_back(Row{c.name, c.target, {}, {}});
    rows.back().Add(a->second, b->second);
    if (!c.group.empty()) groups.try_emplace(c.group, Row{c.group, c.target, {}, {}}).first->second.Add(a->second, b->second);
  }
  for (auto& [name, g] : groups) rows.push_back(g);
  std::printf("\n");
  for (const Row& r : rows) std::printf("RATIO %s %.3f\n", r.name.c_str(), r.Ratio());
  std::printf("\n%-28s %7s %8s %12s %12s %7s\n", "comparison", "ratio", "target", "component", "raw side", "wall");
  for (const Row& r : rows) {
    const double ratio = r.Ratio();
    char target[16] = "info";
    if (r.target != kInformational) std::snprintf(target, sizeof target, "<= %.2f", r.target);
    std::printf("%-28s %7.3f %8s %12s %12s %7.3f %s\n", r.name.c_str(), ratio, target,
                Pretty(Median(r.component.cpu)).c_str(), Pretty(Median(r.raw.cpu)).c_str(), r.WallRatio(),
                r.target == kInformational ? "" : ratio <= r.target ? "met" : "MISSED");
  }
  std::printf(
      "(ratio: median over the rounds of the component's CPU time / the raw side's CPU time, the two\n"
      " measured back to back; component and raw side: median CPU time per call; wall: the ratio from\n"
      " wall-clock times. findfiles compares FindFiles with GrepFiles, both the component, and\n"
      " findfiles_floor a FindFiles that matches at every file's first byte, i.e. walking and reading\n"
      " alone, with that GrepFiles. A row named after a group adds up the times of its rows.)\n");
}

void ParseArguments(int& argc, char** argv) {
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quick") {
      settings.quick = true;
    } else if (arg.rfind("--only=", 0) == 0) {
      settings.only = arg.substr(7);
    } else if (arg.rfind("--tree=", 0) == 0) {
      settings.tree = arg.substr(7);
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  if (settings.quick) {
    settings.subjectBytes = std::size_t{8} << 20;
    settings.handlerSubjectBytes = std::size_t{64} << 10;
    settings.rounds = 3;
    settings.roundSeconds = 0.03;
    settings.microRounds = 5;
    settings.microIterations = 20000;
  }
}

void ChooseTree() {
  const std::size_t files = CountFiles(settings.tree);
  if (files >= 5000) {
    settings.treeNote = std::to_string(files) + " files";
    return;
  }
  std::printf("note: %s has only %zu files; using a generated tree instead\n", settings.tree.c_str(), files);
  settings.tree = GenerateTree();
  settings.treeGenerated = true;
  settings.treeNote = "generated, " + std::to_string(CountFiles(settings.tree)) + " files";
}

}  // namespace

int main(int argc, char** argv) {
  ParseArguments(argc, argv);
  std::vector<char*> args(argv, argv + argc);
  static char color[] = "--benchmark_color=false";
  args.insert(args.begin() + 1, color);  // given flags come later and win
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

  ChooseTree();
  std::printf("subject %zu MiB (grep_handler: first %zu KiB), tree %s (%s), %d rounds%s\n",
              settings.subjectBytes >> 20, settings.handlerSubjectBytes >> 10, settings.tree.c_str(),
              settings.treeNote.c_str(), settings.rounds, settings.quick ? ", quick run" : "");
  std::fflush(stdout);
  AddGrepNoHandler();
  AddGrepHandler();
  AddForEachMatch();
  AddGrepPrefilter();
  AddSearchRepeat();
  AddMerge();
  AddFormat();
  AddFiles();
  if (!checksPassed) {
    std::printf("the two sides of a pair disagree: no ratios\n");
    if (settings.treeGenerated) fs::remove_all(settings.tree);
    return 1;
  }
  RegisterRounds();
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter.times);
  benchmark::Shutdown();
  if (settings.treeGenerated) fs::remove_all(settings.tree);
  return 0;
}
