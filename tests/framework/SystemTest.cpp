// AnsiString, Set and Closure: the value types the components are built on.
#include <gtest/gtest.h>

#include <memory>

#include <RegexComponent/Framework/System.h>

using namespace RegexComponent;

namespace {

TEST(AnsiString, KeepsNulBytesAndReadsAsNulTerminatedText) {
  const AnsiString s("ab\0cd", 5);
  EXPECT_EQ(s.Length(), 5u);
  EXPECT_STREQ(s.c_str(), "ab");  // read as C text it ends at the NUL
  EXPECT_EQ(s.View(), std::string_view("ab\0cd", 5));
  EXPECT_EQ(AnsiString("xyz").Length(), 3u);
  EXPECT_TRUE(AnsiString(static_cast<const char*>(nullptr)).IsEmpty());
  EXPECT_STREQ(AnsiString().c_str(), "");
  EXPECT_EQ(AnsiString("abc")[1], 'a');  // 1-based like the framework's string
  EXPECT_THROW(AnsiString("abc")[4], std::out_of_range);
}

TEST(AnsiString, CopiesShareOneBufferAndAppendingDetaches) {
  AnsiString a("shared text");
  AnsiString b = a;
  EXPECT_EQ(a.c_str(), b.c_str());
  EXPECT_EQ(a.RefCount(), 2);
  b += "!";
  EXPECT_EQ(a, "shared text");
  EXPECT_EQ(b, "shared text!");
  EXPECT_NE(a.c_str(), b.c_str());
  EXPECT_EQ(AnsiString("a") + AnsiString("b"), "ab");
  EXPECT_TRUE(AnsiString("a") < AnsiString("b"));
}

enum Colour { Red, Green, Blue, Violet = 11 };
using Colours = Set<Colour, Red, Violet>;
enum Wide { W0, W15 = 15 };
using WideSet = Set<Wide, W0, W15>;

TEST(Set, OperatorsFollowTheFrameworkSemantics) {
  Colours s;
  EXPECT_TRUE(s.Empty());
  s << Red << Blue;
  EXPECT_TRUE(s.Contains(Red));
  EXPECT_FALSE(s.Contains(Green));
  s >> Red;
  EXPECT_EQ(s, (Colours{Blue}));
  const Colours a{Red, Green}, b{Green, Blue};
  EXPECT_EQ(a + b, (Colours{Red, Green, Blue}));
  EXPECT_EQ(a - b, (Colours{Red}));
  EXPECT_EQ(a * b, (Colours{Green}));
  EXPECT_NE(a, b);
}

TEST(Set, MemberNIsBitNAndWidthFollowsTheLastMember) {
  EXPECT_EQ(sizeof(Colours), 2u);  // ordinals up to 11 need 16 bits
  EXPECT_EQ(sizeof(WideSet), 2u);
  EXPECT_EQ((Colours{Green, Violet}).ToBits(), 0x0802u);
  EXPECT_EQ(WideSet{W15}.ToBits(), 0x8000u);
  EXPECT_EQ(Colours::FromBits(0xFFFF).ToBits(), 0x0FFFu);  // bits past the last member are dropped
  Colours s{Green};
  s = s;  // self-assignment changes nothing
  EXPECT_EQ(s.ToBits(), 0x0002u);
}

struct Counter {
  int total = 0;
  void Add(int n) { total += n; }
  int Twice(int n) const { return 2 * n; }
  void AddRef(int& n) { ++n; }
};

TEST(Closure, EmptyAssignedCallableAndComparable) {
  Closure<void(int)> empty;
  EXPECT_FALSE(empty);
  Counter c;
  auto add = Bind(&c, &Counter::Add);
  ASSERT_TRUE(add);
  add(3);
  add(4);
  EXPECT_EQ(c.total, 7);
  EXPECT_EQ(add.Object(), &c);
  EXPECT_EQ(Bind(&c, &Counter::Twice)(21), 42);

  Counter other;
  EXPECT_EQ(add, Bind(&c, &Counter::Add));
  EXPECT_FALSE(add == Bind(&other, &Counter::Add));
  add = nullptr;
  EXPECT_FALSE(add);

  int n = 0;
  Bind(&c, &Counter::AddRef)(n);  // reference parameters reach the handler
  EXPECT_EQ(n, 1);
}

TEST(Closure, ErasedFormRoundTripsOnlyToTheSameSignature) {
  Counter c;
  const TMethod m = Bind(&c, &Counter::Add).Method();
  EXPECT_TRUE(m.IsAssigned());
  auto back = Closure<void(int)>::FromMethod(m);
  ASSERT_TRUE(back);
  back(5);
  EXPECT_EQ(c.total, 5);
  EXPECT_FALSE(Closure<int(int)>::FromMethod(m));  // another signature gives an empty closure
  EXPECT_FALSE(Closure<void(int)>::FromMethod(TMethod{}));
}

int Doubled(int n) { return 2 * n; }

TEST(Closure, LambdasAndPlainFunctionsAreOwnedCallables) {
  int seen = 0;
  Closure<void(int)> add = [&seen](int n) { seen += n; };
  ASSERT_TRUE(add);
  add(2);
  EXPECT_EQ(seen, 2);
  EXPECT_FALSE(add.Method().IsMemberBinding());  // forms never name a lambda
  Counter c;
  EXPECT_TRUE(Bind(&c, &Counter::Add).Method().IsMemberBinding());

  Closure<int(int)> twice = &Doubled;
  EXPECT_EQ(twice(21), 42);
  int (*none)(int) = nullptr;
  EXPECT_FALSE(Closure<int(int)>(none));  // a null function pointer stays empty

  // A mutable lambda keeps its state in the one copy every closure shares.
  Closure<int()> next = [k = 0]() mutable { return ++k; };
  Closure<int()> alias = next;
  EXPECT_EQ(next(), 1);
  EXPECT_EQ(alias(), 2);
  EXPECT_EQ(next, alias);
  Closure<int()> separate = [k = 0]() mutable { return ++k; };
  EXPECT_FALSE(next == separate);
}

TEST(Closure, OwnedCallableOutlivesTheClosureItCameFrom) {
  auto counter = std::make_shared<int>(0);
  std::weak_ptr<int> watch = counter;
  TMethod erased;
  {
    Closure<void(int)> add = [counter](int n) { *counter += n; };
    counter.reset();
    erased = add.Method();
  }
  auto back = Closure<void(int)>::FromMethod(erased);
  ASSERT_TRUE(back);
  back(5);
  ASSERT_FALSE(watch.expired());
  EXPECT_EQ(*watch.lock(), 5);
  EXPECT_FALSE(Closure<int(int)>::FromMethod(erased));  // another signature gives an empty closure
  erased = TMethod{};
  back = nullptr;
  EXPECT_TRUE(watch.expired());  // the last holder frees the callable and what it captured
}

}  // namespace
