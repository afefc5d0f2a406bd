// Components, ownership, class references, property proxies, the palette
// and the critical section.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <RegexComponent/Framework/Classes.h>
#include <RegexComponent/Framework/SyncObjs.h>

using namespace RegexComponent;

namespace {

std::atomic<int> destroyed{0};

struct Probe : TComponent {
  explicit Probe(TComponent* owner) : TComponent(owner) {}
  ~Probe() override { ++destroyed; }
};

TEST(TComponent, OwnedComponentsAreDestroyedWithTheirOwner) {
  destroyed = 0;
  {
    TComponent owner(nullptr);
    auto* a = new Probe(&owner);
    auto* b = new Probe(a);  // grandchild
    new Probe(&owner);
    EXPECT_EQ(owner.ComponentCount(), 2);
    EXPECT_EQ(a->GetOwner(), &owner);
    EXPECT_EQ(b->GetOwner(), a);
    delete a;  // a child deleted early leaves its owner's list
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(owner.ComponentCount(), 1);
  }
  EXPECT_EQ(destroyed, 3);
}

TEST(TComponent, NamesAreIdentifiersUniqueWithinTheOwner) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  auto* b = new TComponent(&owner);
  a->Name = "First";
  EXPECT_EQ(a->Name, AnsiString("First"));
  EXPECT_EQ(owner.FindComponent("First"), a);
  EXPECT_THROW(b->Name = "First", EComponentError);
  EXPECT_THROW(b->Name = "1abc", EComponentError);
  EXPECT_THROW(b->Name = "a b", EComponentError);
  b->Name = "Second_2";
  EXPECT_EQ(owner.FindComponent("Second_2"), b);
  a->Tag = 42;
  EXPECT_EQ(a->Tag, 42);
}

TEST(TComponent, ClassReferenceIsAVirtualConstructor) {
  TComponent owner(nullptr);
  TComponentClass cls = TComponent::StaticClass();
  TComponent* made = cls->Create(&owner);
  EXPECT_EQ(made->GetOwner(), &owner);
  EXPECT_EQ(made->ClassName(), "TComponent");
  const TPropList& props = cls->PublishedProperties();
  ASSERT_EQ(props.size(), 2u);
  EXPECT_EQ(props[0].Name, "Name");
  EXPECT_EQ(props[1].Name, "Tag");
  props[1].Write(*made, std::int64_t{7});
  EXPECT_EQ(made->Tag, 7);
  EXPECT_EQ(std::get<std::int64_t>(props[1].Read(*made)), 7);
}

TEST(Palette, RecordsClassesPerPageOnce) {
  const TComponentClass classes[2] = {TComponent::StaticClass(), TComponent::StaticClass()};
  RegisterComponents("TestPage", classes, 1);
  RegisterComponents("TestPage", classes, 0);
  const auto onPage = PaletteClasses("TestPage");
  ASSERT_EQ(onPage.size(), 1u);
  EXPECT_EQ(onPage[0], TComponent::StaticClass());
  EXPECT_TRUE(PaletteClasses("NoSuchPage").empty());
  EXPECT_EQ(FindRegisteredClass("TComponent"), TComponent::StaticClass());
}

TEST(TCriticalSection, ReentrantForItsHolderExclusiveForOthers) {
  TCriticalSection section;
  section.Enter();
  section.Enter();  // the holder gets in again
  std::atomic<bool> otherGotIn{false};
  std::thread other([&] {
    section.Enter();
    otherGotIn = true;
    section.Leave();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(otherGotIn);
  section.Leave();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(otherGotIn);  // still held once
  section.Leave();
  other.join();
  EXPECT_TRUE(otherGotIn);
}

}  // namespace
