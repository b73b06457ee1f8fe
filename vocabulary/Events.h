#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "common/Machine.h"
#include "energy/EnergySource.h"
#include "isa/InstructionSet.h"
#include "vocabulary/MachineOptions.h"
#include "vocabulary/RunEnd.h"

namespace fivestage {

// What the machine does, step by step, in the order the console trace shows
// it. The stages and the scheduler report these to the run's observer; the
// console trace is one observer, the report another. Texts are views of the
// run's source lines and stay valid for the run.

// A clock cycle begins. `cycle` counts every cycle run, from 1;
// `CycleCounter` is the number the console's banner shows, which counts the
// newlines read at the prompts.
struct CycleStarted {
  Cycle cycle;
  Cycle CycleCounter;
};

// Fetch fetches nothing this cycle: a stall has frozen it, or the program
// counter stands at the end of the program (where a branch still in the
// pipeline may yet lead it back).
struct FetchIdle {
  bool frozen;
  bool atProgramEnd;
};

// A stage takes up an instruction.
struct StageEntered {
  Stage stage;
  InstructionTag instruction;
  std::string_view text;
};

// The state of one of the two pipeline registers the hazard check reads.
struct PendingWrite {
  std::optional<RegisterNumber> rg;
  bool regWrite;
};

// Decode's hazard check (the Danger Detection Unit): the instruction's source
// registers against the registers still to be written by the instructions in
// Execute and Memory, and the verdict.
struct HazardChecked {
  std::optional<RegisterNumber> rs, rt;
  PendingWrite execute, memory;
  bool stall;
  std::optional<RegisterNumber> blockedRegister;  // when stalling: the register that cannot be read yet
  std::optional<InstructionTag> waitsFor;         // when stalling: the instruction still to write it
};

// The hazard check of a machine with forwarding: every result reaches
// Execute in time but a loaded word, which comes a cycle later, so only an
// instruction that reads what the instruction right ahead of it loads waits.
struct ExecutedInstruction {
  std::optional<RegisterNumber> rg;
  bool memRead;  // a load
};
struct LoadUseChecked {
  std::optional<ExecutedInstruction> execute;  // what Execute ran in this cycle, if anything
  std::optional<RegisterNumber> rs, rt;
  bool stall;
  std::optional<RegisterNumber> blockedRegister;  // when stalling: the register loaded too late
  std::optional<InstructionTag> waitsFor;         // when stalling: the load
};

// Decode begins to read the register file: a register outside it ends the
// run before the values are known.
struct RegisterReadStarted {};

// Decode has read the source registers and the instruction's fields into
// the Decode pipeline register.
struct RegistersRead {
  InstructionIndex Pc;
  std::optional<RegisterNumber> rs, rt;
  std::optional<Word> a, b, imm;
  std::optional<InstructionIndex> Label;
};

// What a charge pays for: a stage's work, or a cycle in which the stage did
// no work, having nothing to do or being held by a stall.
enum class EnergyUse { Work, Idle, Stalled };

// A stage adds one energy file's figures to the running total: its working
// figures, or its idle figures in a cycle it did no work.
struct EnergyCharged {
  EnergyFile file;
  std::int64_t added;  // exact sum of the file's lines
  double total;        // the running total after this charge
  EnergyUse use = EnergyUse::Work;
};

struct ControlSignalsProduced {
  ControlSignals signals;
  std::optional<RegisterNumber> Rg;
};

// Decode has found a hazard: the instruction waits, already decoded, and the
// scheduler freezes Fetch and Execute.
struct StallTriggered {
  InstructionTag instruction;
  std::optional<RegisterNumber> blockedRegister;
  std::optional<InstructionTag> waitsFor;
};

// The instruction it waited for has been written back: the waiting
// instruction reads its source registers again and the pipeline moves on.
struct StallReleased {
  InstructionTag instruction;
  std::string_view text;
  std::optional<RegisterNumber> rs, rt;
  std::optional<Word> a, b;
};

// Execute passes the memory and write-back signals on to its pipeline register.
struct ExecuteSignalsPassed {
  bool memRead, memWrite;
  std::optional<WriteBackSource> memToreg;
  bool regWrite;
  std::optional<RegisterNumber> rg;
};

// The forwarding unit hands Execute a source register's newest value, from
// the instruction in Memory or the one Write-back wrote in this cycle.
struct Forwarded {
  RegisterNumber number;
  Word value;
  InstructionTag from;
  Stage stage;  // Memory or WriteBack
};
struct OperandsForwarded {
  std::optional<Forwarded> a, b;
};

struct AluInputSelected {
  std::optional<AluSource> select;
  Word b, imm;  // the two candidates as the wires carry them
  Word chosen;
};

// Zero is inverted in this machine: true when Sub's inputs differ.
struct AluComputed {
  AluOperation operation;
  Word input1, input2, result;
  bool zero;
};

struct ExecuteResultLatched {
  Word AluOut;
  std::optional<Word> A2;
};

// The gate in front of Mux3 decides whether a branch or jump is taken.
struct GateEvaluated {
  bool pcsrc, zero;
  std::optional<BranchKind> branch;
  bool passed;
};

struct Mux3Selected {
  bool gate;
  InstructionIndex pc;
  std::optional<InstructionIndex> label;
  std::optional<InstructionIndex> selected;
};

// The PC multiplexer: with pcsel the instruction is a branch or jump, taken
// when `newPc` is set; the scheduler then fetches from there.
struct PcMuxSelected {
  bool pcsel;
  InstructionIndex pc;
  std::optional<InstructionIndex> selected;
  std::optional<InstructionIndex> newPc;
};

// A branch or jump has cancelled the instruction fetched behind it on the
// wrong path, which leaves the pipeline without being decoded: behind a
// taken branch or jump that Fetch did not follow, or, with a predictor, at
// the label of a branch predicted taken that was not.
struct InstructionCancelled {
  InstructionTag instruction;
  std::string_view text;
  InstructionTag by;           // the branch or jump
  bool byTaken = true;         // whether `by` was taken
  std::int64_t fetchWork = 0;  // what Fetch charged for it: all it did
};

// A branch's entry in a predictor's table and the state it holds: for the
// 1-bit table the last outcome (0 not taken, 1 taken), for the 2-bit table
// a saturating counter from 0 (strongly not taken) to 3 (strongly taken).
struct TableEntry {
  std::int32_t index;
  std::int32_t state;

  bool operator==(const TableEntry&) const = default;
};

// What a table's state predicts, in words: "not taken" or "taken" for the
// 1-bit table, "strongly not taken" to "strongly taken" for the 2-bit one.
constexpr std::string_view tableStateMeaning(Predictor predictor, std::int32_t state) {
  constexpr std::string_view counter[] = {"strongly not taken", "weakly not taken", "weakly taken", "strongly taken"};
  if (predictor == Predictor::TwoBit) return counter[static_cast<std::size_t>(state & 3)];
  return state == 1 ? "taken" : "not taken";
}

// Fetch has predicted where the branch it fetched leads (with any predictor
// but not-taken, which fetches on in order), or sent a jump to its label.
struct BranchPredicted {
  InstructionTag branch;
  Predictor predictor;
  bool jump;
  std::optional<TableEntry> entry;  // the entry read, for the 1-bit and 2-bit tables
  bool taken;
  InstructionIndex next;  // the instruction Fetch fetches next
};

// Execute has resolved a conditional branch on a machine that cancels the
// wrong path: its outcome against the prediction Fetch made, and the state
// of its entry before and after the update, which takes effect at the end
// of this cycle.
struct BranchResolved {
  InstructionTag branch;
  Predictor predictor;
  bool predictedTaken;
  bool taken;
  std::optional<TableEntry> before;
  std::optional<std::int32_t> after;

  bool right() const { return predictedTaken == taken; }
};

// The Memory stage passes the write-back signals and the ALU result on.
struct MemorySignalsPassed {
  std::optional<WriteBackSource> memToreg;
  bool regWrite;
  std::optional<RegisterNumber> rg;
  Word AluOut;
};

enum class MemoryAccess { Load, Store, None };

// Which access the Memory stage makes, before it makes it.
struct MemoryAccessChosen {
  MemoryAccess access;
};

struct MemoryRead {
  Address address;
  Word data;
};

struct MemoryWritten {
  Address address;
  Word data;
};

// Write-back's MemToReg multiplexer.
struct MemToRegSelected {
  std::optional<WriteBackSource> select;
  Word aluResult, loadedWord, value;
};

// Whether Write-back writes a register, before it writes it.
struct RegisterWriteDecided {
  bool regWrite;
  Word value;
  std::optional<RegisterNumber> rg;
};

struct RegisterWritten {
  RegisterNumber number;
  Word value;
};

// An instruction has left Write-back, and with it the pipeline: it has
// completed.
struct InstructionRetired {
  InstructionTag instruction;
};

// The run is over: the last instruction has left the pipeline, the run
// cannot go on (the message and exit status the console shows), or it was
// stopped from outside after its last cycle.
struct RunEnded {
  RunEnd end;
  std::string_view message;
  int exitStatus;
};

// ---- An instruction's life, as the core accounts for it --------------------
// The stages report what they do. The core adds where each instruction is in
// the cycles no stage works on it, and what each stall and each idle cycle
// of Fetch cost once that is known, so that every view records the same
// accounts and none works them out again.

// A stall, from the cycle Decode found the hazard, as far as it is known.
struct StallAccount {
  Cycle cycle;  // when Decode found the hazard
  InstructionTag waiting;
  std::optional<RegisterNumber> blockedRegister;
  std::optional<InstructionTag> waitsFor;
  std::optional<Cycle> writtenBack;  // when waitsFor wrote the register back
  std::optional<Cycle> released;     // when the waiting instruction read its registers again
  // What the stall cost the run, in one of two ways: cycles in which Fetch
  // stood still with an instruction to fetch, or, when the waiting
  // instruction was the last one fetched, the cycles the run ended later.
  Cycle fetchHeld = 0;
  Cycle endDelay = 0;

  Cycle cyclesLost() const { return fetchHeld + endDelay; }
};

// Fetch is about to fetch the instruction (its StageEntered follows). When a
// stall kept Fetch from fetching it, the cycles the stall held Fetch beyond
// the waiting instruction's own wait are charged to it: it waited to be
// fetched (the chart's f cells, before its F).
struct InstructionFetched {
  InstructionTag instruction;
  Cycle heldCycles;
  std::optional<InstructionTag> heldBy;  // the waiting instruction of that stall
};

// In this cycle a stall holds the instruction, decoded, in Execute's slot
// until the instruction it waits for has written its register back (the
// chart's s). Told as the cycle begins, before the stages' events.
struct InstructionStalled {
  InstructionTag instruction;
  std::string_view text;
  std::optional<RegisterNumber> blockedRegister;
  std::optional<InstructionTag> waitsFor;
};

// In this cycle the instruction, fetched, waits in Decode's slot while a
// stall holds Decode (with forwarding; the chart's w). Told as the cycle begins.
struct DecodeWaited {
  InstructionTag instruction;
};

// A machine without flush: the instruction fetched behind a branch or jump
// goes on to Decode although the branch was taken in this cycle.
struct RanBehindTakenBranch {
  InstructionTag branch;
  InstructionTag behind;
};

// A stall has ended: its instruction read its registers again (after the
// StallReleased). Its account so far; what it cost is settled later.
struct StallEnded {
  StallAccount stall;
};

// What a stall cost is known: the cycles it held Fetch, once Fetch fetched
// again after its release, or at the run's end the cycles the run ended
// later; a run cut short settles what its last stall cost so far.
struct StallSettled {
  StallAccount stall;
};

// Cycles no instruction that ran made use of, once that is known: Fetch at
// the program's end with nothing to fetch, and the fetch of an instruction a
// taken branch cancelled (but for those in the last instruction's drain).
struct FetchCyclesSettled {
  Cycle nothingToFetch;
  Cycle cancelled;
};

// What one stage did in a cycle, as the core counts it.
struct StageWork {
  std::optional<InstructionTag> instruction;  // the instruction it took up, if any
  std::optional<EnergyUse> charged;           // what its charge paid for, when it charged
  std::int64_t energy = 0;                    // the exact sum of the figures charged
};

// The cycle is over: what each stage did in it, by Stage, and the
// instruction that left the pipeline. Told after the stages' events, even
// when the cycle ended the run: a view that only counts hears this once a
// cycle rather than every stage's entry and charge.
struct CycleEnded {
  Cycle cycle;
  std::array<StageWork, stageCount> stages;  // by Stage
  std::optional<InstructionTag> retired;
};

using Event = std::variant<CycleStarted, FetchIdle, StageEntered, HazardChecked, LoadUseChecked, RegisterReadStarted,
                           RegistersRead, EnergyCharged, ControlSignalsProduced, StallTriggered, StallReleased,
                           ExecuteSignalsPassed, OperandsForwarded, AluInputSelected, AluComputed, ExecuteResultLatched,
                           GateEvaluated, Mux3Selected, PcMuxSelected, InstructionCancelled, MemorySignalsPassed,
                           MemoryAccessChosen, MemoryRead, MemoryWritten, MemToRegSelected, RegisterWriteDecided,
                           RegisterWritten, InstructionRetired, RunEnded, InstructionFetched, InstructionStalled,
                           DecodeWaited, RanBehindTakenBranch, StallEnded, StallSettled, FetchCyclesSettled,
                           BranchPredicted, BranchResolved, CycleEnded>;

// Kinds of event, one bit per alternative of Event.
using EventKinds = std::uint64_t;
static_assert(std::variant_size_v<Event> < 64, "one bit per kind of event");

template <typename Kind, std::size_t index = 0>
constexpr EventKinds eventKind() {
  if constexpr (std::is_same_v<std::variant_alternative_t<index, Event>, Kind>) {
    return EventKinds{1} << index;
  } else {
    return eventKind<Kind, index + 1>();
  }
}

template <typename... Kinds>
constexpr EventKinds eventKinds() {
  return (EventKinds{0} | ... | eventKind<Kinds>());
}

inline constexpr EventKinds everyEventKind = (EventKinds{1} << std::variant_size_v<Event>) - 1;

// A list of kinds of event, as a view names those it ignores.
template <typename... Kinds>
struct EventList {
  static constexpr EventKinds kinds = eventKinds<Kinds...>();
};

// Receives a run's events as they happen.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void observe(const Event& event) = 0;
  // The kinds of event it looks at: the stages do not even make the others
  // for it.
  virtual EventKinds interests() const = 0;
  // A cycle begins: it hears of it, and says what it looks at in this
  // cycle, now that it knows which cycle it is. One call, since the core
  // makes it every cycle.
  virtual EventKinds beginCycle(const CycleStarted& started) {
    observe(started);
    return interests();
  }
};

// ---- Views: what each does with every kind of event -----------------------
// A view has a handler, an operator() taking the event, for each kind it
// uses, and names the kinds it ignores in its member list `Ignored`. Every
// kind of event is one or the other, which the compiler checks: a new kind
// of event does not compile until every view has said what it does with it.
// The kinds a view looks at are those it has handlers for.

template <typename View, typename Kind>
concept HandlesEvent = requires(View& view, const Kind& event) { view(event); };

template <typename View, typename Kind>
constexpr bool ignoresEvent = (View::Ignored::kinds & eventKind<Kind>()) != 0;

// The kinds of event `View` has handlers for.
template <typename View>
constexpr EventKinds handledKinds() {
  return []<std::size_t... index>(std::index_sequence<index...>) {
    return (EventKinds{0} | ... |
            (HandlesEvent<View, std::variant_alternative_t<index, Event>> ? EventKinds{1} << index : 0));
  }(std::make_index_sequence<std::variant_size_v<Event>>());
}

// Not a kind of event: a view that takes it takes anything, which would
// ignore every new kind of event unseen.
struct NotAnEvent {};

// Whether `View` handles or ignores every kind of event, and each kind only
// one way, with no handler that takes anything.
template <typename View>
constexpr bool saysWhatItDoesWithEveryEvent() {
  const EventKinds handled = handledKinds<View>();
  return !HandlesEvent<View, NotAnEvent> && (handled & View::Ignored::kinds) == 0 &&
         (handled | View::Ignored::kinds) == everyEventKind;
}

// The same check, failing to compile with the kind of event at fault in the
// compiler's message.
template <typename View, typename Kind>
constexpr bool checkKind() {
  static_assert(HandlesEvent<View, Kind> || ignoresEvent<View, Kind>,
                "this view neither handles nor ignores this kind of event: add a handler, or name it in Ignored");
  static_assert(!(HandlesEvent<View, Kind> && ignoresEvent<View, Kind>),
                "this view both handles and ignores this kind of event");
  return true;
}

template <typename View>
constexpr bool checkEveryEvent() {
  static_assert(!HandlesEvent<View, NotAnEvent>, "a view has a handler for each kind it uses, none that takes anything");
  return []<std::size_t... index>(std::index_sequence<index...>) {
    return (checkKind<View, std::variant_alternative_t<index, Event>>() && ...);
  }(std::make_index_sequence<std::variant_size_v<Event>>());
}

// Hands the event to the view's handler for its kind; an ignored kind goes nowhere.
template <typename View>
void handOn(View& view, const Event& event) {
  std::visit(
      [&view](const auto& kind) {
        if constexpr (HandlesEvent<View, std::decay_t<decltype(kind)>>) view(kind);
      },
      event);
}

// The observer a view is: it looks at the kinds it handles.
template <typename View>
class EventView : public RunObserver {
 public:
  void observe(const Event& event) override { handOn(static_cast<View&>(*this), event); }
  EventKinds interests() const override { return handledKinds<View>(); }
  // Straight to the view's own handler and interests, with no event to
  // make and no second call: for a final view both calls are direct.
  EventKinds beginCycle(const CycleStarted& started) override {
    View& view = static_cast<View&>(*this);
    if constexpr (HandlesEvent<View, CycleStarted>) view(started);
    return view.interests();
  }

 protected:
  EventView() { static_assert(checkEveryEvent<View>()); }
};

// Hands every event to several observers, in the order they were added.
// Each hears only the kinds it looks at in the cycle, as a lone observer
// does: the stages make an event when any observer looks at it, and the
// others are spared it. Every observer hears each cycle's start, after which
// it says what it looks at in that cycle.
class RunObservers final : public RunObserver {
 public:
  void add(RunObserver& observer) { observers_.push_back({&observer, observer.interests()}); }
  void observe(const Event& event) override {
    const EventKinds kind = EventKinds{1} << event.index();
    for (const Member& member : observers_) {
      if ((member.interests & kind) != 0) member.observer->observe(event);
    }
  }
  EventKinds interests() const override {
    EventKinds kinds = 0;
    for (const Member& member : observers_) kinds |= member.interests;
    return kinds;
  }
  EventKinds beginCycle(const CycleStarted& started) override {
    EventKinds kinds = 0;
    for (Member& member : observers_) {
      member.interests = member.observer->beginCycle(started);
      kinds |= member.interests;
    }
    return kinds;
  }

  // The observer to hand a run: the only one itself when there is just one,
  // which spares a call for every event of every cycle.
  RunObserver* asOne() { return observers_.size() == 1 ? observers_.front().observer : this; }

 private:
  struct Member {
    RunObserver* observer;
    EventKinds interests;  // as it said last: when added, and at every cycle's start
  };
  std::vector<Member> observers_;
};

}  // namespace fivestage
