// Components on different threads run the string operations at the same
// time without taking any lock; ThreadSanitizer checks they share nothing.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include <RegexComponent/RegularExpression.h>

using namespace RegexComponent;

namespace {

struct Counter {
  unsigned events = 0;
  void Grepping(TObject*, const CPPStringArray& parts, unsigned, unsigned, bool&) { events += !parts.empty(); }
};

TEST(Concurrency, ThreadsRunStringOperationsOnTheirOwnComponents) {
  constexpr int kThreads = 4;
  std::vector<std::string> merged(kThreads);
  std::vector<unsigned> grepped(kThreads), events(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      RegularExpression re(nullptr);
      Counter counter;
      re.Expression = "([a-z]+)([0-9]+)";
      re.StringToMatch = "ab12 cd34\nef56 thread" + std::to_string(t);
      re.OnGrepping = Bind(&counter, &Counter::Grepping);
      re.FormatString = "<$2$1>";
      re.MergeCopy = true;
      for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(re.Search());
        grepped[t] = re.Grep();
        re.Merge(merged[t]);
      }
      events[t] = counter.events;
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(grepped[t], 4u);
    EXPECT_EQ(events[t], 200u);
    EXPECT_EQ(merged[t], "<12ab> <34cd>\n<56ef> <" + std::to_string(t) + "thread>");
  }
}

}  // namespace
