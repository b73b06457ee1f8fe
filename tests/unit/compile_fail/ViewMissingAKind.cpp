// Must not compile: this view neither handles nor ignores RunEnded. The test
// Events.AViewThatMissesAKindDoesNotCompile compiles it and expects the
// compiler to say so.
#include "vocabulary/Events.h"

namespace fivestage {

template <typename... Handled>
struct EveryKindBut {
  static constexpr EventKinds kinds = everyEventKind & ~eventKinds<Handled...>();
};

class MissesRunEnded final : public EventView<MissesRunEnded> {
 public:
  void operator()(const CycleStarted&) {}
  using Ignored = EveryKindBut<CycleStarted, RunEnded>;
};

}  // namespace fivestage

int main() {
  const fivestage::MissesRunEnded view;
  return view.interests() == 0 ? 1 : 0;
}
