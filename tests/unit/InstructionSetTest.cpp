#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "common/FatalError.h"
#include "isa/InstructionSet.h"
#include "loader/SourceParser.h"
#include "stages/DecodeUnit.h"
#include "tests/support/CapturedTrace.h"
#include "tests/support/EventLog.h"
#include "trace/ConsoleTrace.h"

namespace fivestage {
namespace {

// Rows are tried in table order, so a mnemonic that begins a later one (add,
// addi) must not take that one's lines.
TEST(InstructionSet, EveryOpcodeIsReadByItsOwnRowUnderItsOwnName) {
  for (const OpcodeRow& row : instructionSet()) {
    SourceParser parser;
    std::ostringstream log;
    const std::string line = std::string(row.mnemonic) + " $1, $2, $3";
    EXPECT_EQ(SourceParser::rowOpcodeOf(line), row.mnemonic);
    const auto parsed = parser.parseLine(line, log);
    ASSERT_TRUE(parsed.has_value()) << row.mnemonic;
    EXPECT_EQ(parsed->opcode(), row.mnemonic);
    EXPECT_EQ(parsed->decoded(), row.opcode) << row.mnemonic;
    EXPECT_EQ(&opcodeRow(row.opcode), &row);
  }
}

TEST(InstructionSet, AnOpcodeHasControlSignalsExactlyWhenItHasDecodeEnergyFigures) {
  int decodable = 0;
  for (const OpcodeRow& row : instructionSet()) {
    EXPECT_EQ(row.control.has_value(), row.decodeEnergyFolder.has_value()) << row.mnemonic;
    if (row.decodeEnergyFolder) {
      EXPECT_EQ(*row.decodeEnergyFolder, row.mnemonic);
    }
    decodable += row.control.has_value() ? 1 : 0;
  }
  EXPECT_EQ(decodable, 10);  // all but xor and nop
}

TEST(InstructionSet, OpcodesAreNamedExactly) {
  EXPECT_EQ(opcodeNamed("addi"), Opcode::Addi);
  EXPECT_EQ(opcodeNamed("j"), Opcode::J);
  for (const char* other : {"ADD", "addx", "ori", "jal", "add ", ""}) EXPECT_EQ(opcodeNamed(other), std::nullopt);
}

// The signals of each opcode must agree with one another, whatever their values.
TEST(InstructionSet, ControlSignalsAreConsistent) {
  for (const OpcodeRow& row : instructionSet()) {
    if (!row.control) continue;
    const ControlSignals& s = *row.control;
    SCOPED_TRACE(std::string(row.mnemonic));
    // A branch or jump steers the PC through the gate; nothing else does.
    EXPECT_EQ(s.pcsel, s.branch.has_value());
    EXPECT_EQ(s.pcsrc, s.branch.has_value());
    // Conditional branches compare by subtracting.
    if (s.branch == BranchKind::IfEqual || s.branch == BranchKind::IfNotEqual) {
      EXPECT_EQ(s.aluop, AluOperation::Sub);
    }
    // A register written gets its value from somewhere, and only then.
    EXPECT_EQ(s.regwrite, s.memtoreg.has_value());
    // A loaded word goes to a register; a stored one comes from one.
    EXPECT_EQ(s.memread, s.memtoreg == WriteBackSource::LoadedWord);
    EXPECT_FALSE(s.memread && s.memwrite);
    // Addresses are computed from the immediate offset.
    if (s.memread || s.memwrite) {
      EXPECT_EQ(s.alusrc, AluSource::Immediate);
    }
  }
}

struct PrintCase {
  Opcode opcode;
  std::optional<RegisterNumber> rgFromRegisterRead;
  std::string block;
};

TEST(ProduceControlSignals, StoresTheSignalsAndTheConsolePrintsTheBlock) {
  const PrintCase cases[] = {
      {Opcode::Sw, 5,
       "\t Producing Control signals : \n\n\t C1  \n"
       "\t D.0 : pcsel     = 0\n\t D.1 : pcsrc     = 0\n\t D.2 : branch    = indifferent \n"
       "\t D.3 : alusrc    = 1\n\t D.4 : aluop     = 0\n\t C2  \n"
       "\t D.5 : memread   = 1\n\t D.6 : memwrite  = 0\n\t C3  \n"
       "\t D.7 : memtoreg  = 1\n\t D.8 : regwrite  = 1\n\t D.9 : Rg        = $5\n\n\n"},
      {Opcode::J, 7,
       "\t Producing Control signals : \n\n\t C1  \n"
       "\t D.0 : pcsel     = 1\n\t D.1 : pcsrc     = 1\n\t D.2 : branch    = 2\n"
       "\t D.3 : alusrc    = indifferent \n\t D.4 : aluop     = 0\n\t C2  \n"
       "\t D.5 : memread   = 0\n\t D.6 : memwrite  = 0\n\t C3  \n"
       "\t D.7 : memtoreg  = indifferent \n\t D.8 : regwrite  = 0\n\t D.9 : Rg        = indifferent \n\n\n"},
      {Opcode::Add, 0,
       "\t Producing Control signals : \n\n\t C1  \n"
       "\t D.0 : pcsel     = 0\n\t D.1 : pcsrc     = 0\n\t D.2 : branch    = indifferent \n"
       "\t D.3 : alusrc    = 0\n\t D.4 : aluop     = 0\n\t C2  \n"
       "\t D.5 : memread   = 0\n\t D.6 : memwrite  = 0\n\t C3  \n"
       "\t D.7 : memtoreg  = 0\n\t D.8 : regwrite  = 1\n\t D.9 : Rg        = $0\n\n\n"},
  };
  for (const PrintCase& c : cases) {
    testing::CapturedTrace out;
    ConsoleTrace trace(out);
    Datapath datapath(MachineState(), InputFolder(""), &trace);
    datapath.DecodeLatch.Rg = c.rgFromRegisterRead;
    DecodeUnit().produceControlSignals(datapath, c.opcode);
    EXPECT_EQ(out.str(), c.block);
    const ControlSignals& s = *opcodeRow(c.opcode).control;
    EXPECT_EQ(datapath.DecodeLatch.regwrite, s.regwrite);
    // Only an instruction that writes a register keeps its rd as Rg.
    EXPECT_EQ(datapath.DecodeLatch.Rg, s.regwrite ? c.rgFromRegisterRead : std::nullopt);
  }
}

TEST(ProduceControlSignals, RefusesAnOpcodeWithoutSignals) {
  for (const std::optional<Opcode> opcode :
       {std::optional(Opcode::Xor), std::optional(Opcode::Nop), std::optional<Opcode>()}) {
    Datapath datapath(MachineState(), InputFolder(""), nullptr);
    EXPECT_THROW(DecodeUnit().produceControlSignals(datapath, opcode), FatalError);
  }
}

}  // namespace
}  // namespace fivestage
