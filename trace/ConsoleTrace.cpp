#include "trace/ConsoleTrace.h"

#include <string>
#include <string_view>

#include "trace/EnergyText.h"

namespace fivestage {
namespace {

// Writes one event's lines, and notes where the stages' blocks begin and end.
class Renderer {
 public:
  Renderer(TraceWriter& out, StageSpans* spans) : out_(out), spans_(spans) {}

  void operator()(const CycleStarted& e) {
    endBlock();
    out_ << "\n\n --------------------- Cpu Cycle " << e.CycleCounter << " ---------------------------- \n\n";
  }

  void operator()(const StageEntered& e) {
    if (e.stage == Stage::WriteBack) {
      // The line that sets Write-back apart belongs to no stage.
      endBlock();
      out_ << " ----------------------------------------------------------------- \n\n";
    }
    beginBlock(e.stage);
    switch (e.stage) {
      case Stage::Fetch:
        header(" Fetching : E(", e);
        out_ << "\t F.Pc = " << e.instruction.index << "\n";
        // The instruction register is shown as the instruction's source text.
        out_ << "\t F.Ir = " << e.text << "\n";
        break;
      case Stage::Decode: header(" Decoding : E(", e); break;
      case Stage::Execute: header(" Executing : E(", e); break;
      case Stage::Memory: header(" Memory Access : E(", e); break;
      case Stage::WriteBack: header(" Writing Register File  : E(", e); break;
    }
  }

  void operator()(const HazardChecked& e) {
    out_ << "\t Danger Detection Unit : \n\n";
    pendingWrite("\t E.rg = $", e.execute, "\n\t R1 = $", e.rs, "\n\t E.Regwrite = ");
    pendingWrite("\t E.rg = $", e.execute, "\n\t R2 = $", e.rt, "\n\t E.Regwrite = ");
    pendingWrite("\t M.rg = $", e.memory, "\n\t R1 = $", e.rs, "\n\t M.Regwrite = ");
    pendingWrite("\t M.rg = $", e.memory, "\n\t R2 = $", e.rt, "\n\t M.Regwrite = ");
    verdict(e.stall, e.blockedRegister);
  }

  void operator()(const LoadUseChecked& e) {
    out_ << "\t Danger Detection Unit (forwarding) : \n\n";
    if (e.execute) {
      out_ << "\t E.rg = $" << onBus(e.execute->rg) << "\n";
      out_ << "\t R1 = $" << onBus(e.rs) << "\n";
      out_ << "\t R2 = $" << onBus(e.rt) << "\n";
      out_ << "\t E.memRead = " << bit(e.execute->memRead) << "\n\n";
    } else {
      out_ << "\t E : empty \n\n";
    }
    verdict(e.stall, e.blockedRegister);
  }

  void operator()(const RegisterReadStarted&) { out_ << "\t Reading Register File : \n\n"; }

  void operator()(const RegistersRead& e) {
    out_ << "\t D.Pc    : " << e.Pc << "\n";
    operands(e.rs, e.a, e.rt, e.b);
    orIndifferent("\t D.imm   : ", onBus(e.imm));
    if (e.Label) {
      out_ << "\t D.Label : E(" << *e.Label << ") \n\n";
    } else {
      out_ << "\t D.Label : indifferent \n\n";
    }
  }

  // An idle charge names its stage first: " Idle : Mem \n", or
  // " Idle : Decode (stall) \n" for a stage a stall holds. It belongs to the
  // stage's block, which it begins when the stage held no instruction.
  void operator()(const EnergyCharged& e) {
    if (e.use != EnergyUse::Work) {
      if (spans_ && spans_->openStage() != e.file.stage) beginBlock(e.file.stage);
      out_ << " Idle : " << stageName(e.file.stage) << (e.use == EnergyUse::Stalled ? " (stall)" : "") << " \n";
    }
    out_ << "\n Energy Consumed until now : " << formatEnergy(e.total) << "\n\n";
  }

  void operator()(const ControlSignalsProduced& e) {
    const ControlSignals& s = e.signals;
    out_ << "\t Producing Control signals : \n\n";
    out_ << "\t C1  \n";
    out_ << "\t D.0 : pcsel     = " << bit(s.pcsel) << "\n";
    out_ << "\t D.1 : pcsrc     = " << bit(s.pcsrc) << "\n";
    orIndifferent("\t D.2 : branch    = ", onBus(s.branch));
    orIndifferent("\t D.3 : alusrc    = ", onBus(s.alusrc));
    out_ << "\t D.4 : aluop     = " << static_cast<int>(s.aluop) << "\n";
    out_ << "\t C2  \n";
    out_ << "\t D.5 : memread   = " << bit(s.memread) << "\n";
    out_ << "\t D.6 : memwrite  = " << bit(s.memwrite) << "\n";
    out_ << "\t C3  \n";
    orIndifferent("\t D.7 : memtoreg  = ", onBus(s.memtoreg));
    out_ << "\t D.8 : regwrite  = " << bit(s.regwrite) << "\n";
    orIndifferent("\t D.9 : Rg        = ", onBus(e.Rg), "\n", "$");
    out_ << "\n\n";
  }

  void operator()(const StallTriggered& e) { out_ << "\t Stall : E(" << e.instruction.index << ") \n\n"; }

  // The instruction released goes on to Execute: its lines are Execute's.
  void operator()(const StallReleased& e) {
    beginBlock(Stage::Execute);
    out_ << " Stall Released : E(" << e.instruction.index << ")   " << e.text << "\n\n";
    operands(e.rs, e.a, e.rt, e.b);
    out_ << "\n";
  }

  void operator()(const ExecuteSignalsPassed& e) {
    out_ << "\t C2         : \n";
    out_ << "\t E.memRead  = " << bit(e.memRead) << "\n";
    out_ << "\t E.memWrite = " << bit(e.memWrite) << "\n";
    out_ << "\t C3          : \n";
    out_ << "\t E.memToreg  = " << onBus(e.memToreg) << "\n";
    out_ << "\t E.regWrite  = " << bit(e.regWrite) << "\n";
    out_ << "\t E.rg        = " << onBus(e.rg) << "\n";
  }

  void operator()(const OperandsForwarded& e) {
    if (!e.a && !e.b) {
      out_ << "\t Forwarding Unit : nothing to forward \n\n";
      return;
    }
    out_ << "\t Forwarding Unit : \n";
    forwarded("\t a : $", e.a);
    forwarded("\t b : $", e.b);
    out_ << "\n";
  }

  void operator()(const AluInputSelected& e) {
    out_ << "\t Alu input 2 :  \n";
    out_ << "\t Alu src     : " << onBus(e.select) << "\n";
    if (e.select == AluSource::RegisterB) {
      out_ << "\t D.B         : " << e.b << "\n\n";
    } else {
      out_ << "\t D.Imm       : " << e.imm << "\n\n";
    }
  }

  void operator()(const AluComputed& e) {
    out_ << "\t Alu Operation : " << aluOperationName(e.operation) << " \n";
    out_ << "\t Operants      : \n";
    out_ << "\t input 1       : " << e.input1 << "\n";
    out_ << "\t input 2       : " << e.input2 << "\n";
    out_ << "\t Result        : " << e.result << "\n\n";
  }

  void operator()(const ExecuteResultLatched& e) {
    out_ << "\t E.AluOut = " << e.AluOut << "\n";
    orIndifferent("\t E.A2 = ", onBus(e.A2), "\n\n");
  }

  void operator()(const GateEvaluated& e) {
    out_ << "\t To Mux3 Gate     : \n";
    out_ << "\t Input 1 (PCrsrc) : " << bit(e.pcsrc) << "\n";
    out_ << "\t Input 2 (Zero)   : " << bit(e.zero) << "\n";
    orIndifferent("\t Input 3 (Branch) : ", onBus(e.branch));
    out_ << "\t Result           : " << bit(e.passed) << "\n\n";
  }

  void operator()(const Mux3Selected& e) {
    if (e.gate) {
      out_ << "\t Mux3 Signal  : " << onBus(e.label) << "\n\n";
    } else {
      out_ << "\t Mux3  : " << e.pc << "\n\n";
    }
  }

  void operator()(const PcMuxSelected& e) {
    // The two PC lines differ in their blanks.
    if (e.pcsel) {
      out_ << "\t PC  : " << onBus(e.selected) << "\n";
    } else {
      out_ << "\t PC    : " << e.pc << "\n";
    }
    out_ << "\t PcSel : " << bit(e.pcsel) << "\n\n";
  }

  void operator()(const InstructionCancelled& e) {
    out_ << "\t Flush : E(" << e.instruction.index << ") cancelled, fetched behind the "
         << (e.byTaken ? "taken" : "not taken") << " E(" << e.by.index << ") \n\n";
  }

  // Closes Fetch's block: "\t Prediction : entry 3 = 1 (weakly not taken) : not taken, next E(4) \n\n".
  void operator()(const BranchPredicted& e) {
    out_ << "\t Prediction : ";
    if (e.jump) {
      out_ << "jump";
    } else {
      if (e.entry) out_ << "entry " << e.entry->index << " = " << stateText(e.predictor, e.entry->state) << " : ";
      out_ << takenText(e.taken);
    }
    out_ << ", next E(" << e.next << ") \n\n";
  }

  // After the PC lines: "\t Branch Outcome : taken, predicted not taken : wrong \n", then the entry's update.
  // The not-taken machine is the flush machine, whose trace has never had these lines.
  void operator()(const BranchResolved& e) {
    if (e.predictor == Predictor::NotTaken) return;
    out_ << "\t Branch Outcome : " << takenText(e.taken) << ", predicted " << takenText(e.predictedTaken) << " : "
         << (e.right() ? "right" : "wrong") << " \n";
    if (e.before && e.after) {
      out_ << "\t Entry " << e.before->index << " : " << stateText(e.predictor, e.before->state) << " -> "
           << stateText(e.predictor, *e.after) << " \n";
    }
    out_ << "\n";
  }

  void operator()(const MemorySignalsPassed& e) {
    out_ << "\t C3         : \n";
    orIndifferent("\t M.memToreg = ", onBus(e.memToreg));
    out_ << "\t M.regWrite = " << bit(e.regWrite) << "\n";
    orIndifferent("\t M.rg       = ", onBus(e.rg), "\n\n", "$");
    out_ << "\t M.AluOut   = " << e.AluOut << "\n\n";
  }

  void operator()(const MemoryAccessChosen& e) {
    if (e.access == MemoryAccess::Store) out_ << "\t Writing to Memory  : \n\n";
    if (e.access == MemoryAccess::None) out_ << "\t No memory Access \n\n";
  }

  void operator()(const MemoryRead& e) {
    out_ << "\t Reading from Memory : \n";
    access(e.data, e.address);
  }

  void operator()(const MemoryWritten& e) { access(e.data, e.address); }

  void operator()(const MemToRegSelected& e) {
    if (e.select == WriteBackSource::AluResult) {
      out_ << "\t MemToReg          : 0\n";
      out_ << "\t Data from AluOut  : " << e.aluResult << "\n\n";
      return;
    }
    // "Indifferent" has its capital here.
    if (e.select) {
      out_ << "\t MemToReg          : " << static_cast<int>(*e.select) << "\n";
    } else {
      out_ << "\t MemToReg          : Indifferent \n";
    }
    out_ << "\t Data from Dr      : " << e.loadedWord << "\n\n";
  }

  void operator()(const RegisterWriteDecided& e) {
    if (!e.regWrite) {
      out_ << "\t No Writing Register File (regWrite=0)  \n\n";
      return;
    }
    out_ << "\t Writing Register File (regWrite=1) : \n";
    out_ << "\t Data   : " << e.value << "\n";
    out_ << "\t Rg     : $" << onBus(e.rg) << "\n\n";
  }

  // How the run ended is no stage's.
  void operator()(const RunEnded& e) {
    endBlock();
    if (e.end == RunEnd::Failed) out_ << e.message;
  }

  // The console says nothing of a Fetch that fetches nothing, of the
  // register written (Write-back's lines have said it) nor of an
  // instruction leaving the pipeline, and keeps no accounts.
  using Ignored = EventList<FetchIdle, RegisterWritten, InstructionRetired, InstructionFetched, InstructionStalled,
                            DecodeWaited, RanBehindTakenBranch, StallEnded, StallSettled, FetchCyclesSettled,
                            CycleEnded>;

 private:
  static int bit(bool flag) { return flag ? 1 : 0; }

  static std::string_view takenText(bool taken) { return taken ? "taken" : "not taken"; }

  // A table's state with what it predicts: "1 (weakly not taken)".
  static std::string stateText(Predictor predictor, std::int32_t state) {
    return std::to_string(state) + " (" + std::string(tableStateMeaning(predictor, state)) + ")";
  }

  void beginBlock(Stage stage) {
    if (spans_) spans_->open(stage, out_.written());
  }
  void endBlock() {
    if (spans_) spans_->close(out_.written());
  }

  void header(std::string_view title, const StageEntered& e) {
    out_ << title << e.instruction.index << ")   " << e.text << "\n\n";
  }

  // `label`, then either `valuePrefix` and the value, or the word
  // indifferent and a blank when the value is -1; then `end`.
  void orIndifferent(std::string_view label, std::int32_t value, std::string_view end = "\n",
                     std::string_view valuePrefix = "") {
    out_ << label;
    if (value == -1) {
      out_ << "indifferent ";
    } else {
      out_ << valuePrefix << value;
    }
    out_ << end;
  }

  // "\t D.a     : $1 = 10": whether a line says indifferent depends on the
  // value read, so a register holding -1 reads as indifferent too.
  void operand(std::string_view label, std::optional<RegisterNumber> number, std::optional<Word> value) {
    if (onBus(value) == -1) {
      orIndifferent(label, -1);
    } else {
      out_ << label << "$" << onBus(number) << " = " << *value << "\n";
    }
  }

  void operands(std::optional<RegisterNumber> rs, std::optional<Word> a, std::optional<RegisterNumber> rt,
                std::optional<Word> b) {
    operand("\t D.a     : ", rs, a);
    operand("\t D.b     : ", rt, b);
  }

  void pendingWrite(std::string_view destinationLabel, const PendingWrite& write, std::string_view sourceLabel,
                    std::optional<RegisterNumber> source, std::string_view flagLabel) {
    out_ << destinationLabel << onBus(write.rg) << sourceLabel << onBus(source) << flagLabel << bit(write.regWrite)
         << "\n\n";
  }

  // The hazard check's last lines, the same with forwarding and without.
  void verdict(bool stall, std::optional<RegisterNumber> blockedRegister) {
    if (stall) {
      out_ << "\t Register $" << onBus(blockedRegister) << " cant be readen \n";
      out_ << "\t Stall Triggering ... \n\n";
    } else {
      out_ << "\t No Danger Detected \n\n";
    }
  }

  // "\t a : $1 = 5 from E(0) in Memory \n", when the operand was forwarded.
  void forwarded(std::string_view label, const std::optional<Forwarded>& operand) {
    if (!operand) return;
    out_ << label << operand->number << " = " << operand->value << " from E(" << operand->from.index << ") in "
         << (operand->stage == Stage::Memory ? "Memory" : "Write-back") << " \n";
  }

  void access(Word data, Address address) {
    out_ << "\t Data                : " << data << "\n";
    out_ << "\t Adresse             : " << address << "\n\n";
  }

  TraceWriter& out_;
  StageSpans* spans_;
};

static_assert(checkEveryEvent<Renderer>());

}  // namespace

void ConsoleTrace::observe(const Event& event) {
  Renderer renderer(out_, spans_);
  handOn(renderer, event);
}

EventKinds ConsoleTrace::interests() const { return handledKinds<Renderer>(); }

}  // namespace fivestage
