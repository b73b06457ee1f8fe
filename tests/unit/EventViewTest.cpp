// A view says what it does with every kind of event: it handles it or it
// ignores it, never both, and nothing takes any kind unseen. Checked by the
// compiler; the kinds a view looks at follow from its handlers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vocabulary/Events.h"

namespace fivestage {
namespace {

// In these tests only: every kind of event but the ones named, ignored.
template <typename... Handled>
struct EveryKindBut {
  static constexpr EventKinds kinds = everyEventKind & ~eventKinds<Handled...>();
};

// Handles two kinds and ignores the rest.
struct Complete {
  void operator()(const CycleStarted&) { seen.push_back("cycle"); }
  void operator()(const StageEntered&) { seen.push_back("stage"); }
  using Ignored = EveryKindBut<CycleStarted, StageEntered>;
  std::vector<std::string> seen;
};

// Forgets RunEnded: neither handled nor ignored.
struct MissesAKind {
  void operator()(const CycleStarted&) {}
  using Ignored = EveryKindBut<CycleStarted, RunEnded>;
};

// Handles StageEntered and ignores it too.
struct HandlesAnIgnoredKind {
  void operator()(const CycleStarted&) {}
  void operator()(const StageEntered&) {}
  using Ignored = EveryKindBut<CycleStarted>;
};

// A handler that takes anything would take every new kind unseen.
struct TakesAnything {
  template <typename Kind>
  void operator()(const Kind&) {}
  using Ignored = EventList<>;
};

static_assert(saysWhatItDoesWithEveryEvent<Complete>());
static_assert(!saysWhatItDoesWithEveryEvent<MissesAKind>());
static_assert(!saysWhatItDoesWithEveryEvent<HandlesAnIgnoredKind>());
static_assert(!saysWhatItDoesWithEveryEvent<TakesAnything>());

// What it looks at is what it handles.
static_assert(handledKinds<Complete>() == eventKinds<CycleStarted, StageEntered>());
static_assert(handledKinds<HandlesAnIgnoredKind>() == eventKinds<CycleStarted, StageEntered>());
static_assert(everyEventKind == (EventKinds{1} << std::variant_size_v<Event>) - 1);

// The same as an observer of a run.
class CountingView final : public EventView<CountingView> {
 public:
  void operator()(const StageEntered&) { ++stages; }
  void operator()(const RunEnded&) { ++ends; }
  using Ignored = EveryKindBut<StageEntered, RunEnded>;
  int stages = 0;
  int ends = 0;
};

TEST(EventView, HandsOnOnlyTheKindsItHandles) {
  Complete view;
  const Event events[] = {CycleStarted{1, 1}, FetchIdle{false, true}, StageEntered{Stage::Fetch, {0, 1}, "addi"},
                          RunEnded{RunEnd::Completed, "", 0}, StageEntered{Stage::Decode, {0, 1}, "addi"}};
  for (const Event& event : events) handOn(view, event);
  EXPECT_EQ(view.seen, (std::vector<std::string>{"cycle", "stage", "stage"}));
}

TEST(EventView, AnObserverLooksAtTheKindsItHandles) {
  CountingView view;
  RunObserver& observer = view;
  EXPECT_EQ(observer.interests(), (eventKinds<StageEntered, RunEnded>()));
  for (const Event& event : {Event{CycleStarted{1, 1}}, Event{StageEntered{Stage::Fetch, {0, 1}, "addi"}},
                             Event{RunEnded{RunEnd::Failed, "no", 1}}}) {
    observer.observe(event);
  }
  EXPECT_EQ(view.stages, 1);
  EXPECT_EQ(view.ends, 1);
}

}  // namespace
}  // namespace fivestage
