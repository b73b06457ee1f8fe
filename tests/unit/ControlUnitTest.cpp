#include <gtest/gtest.h>

#include <string>

#include "stages/DecodeUnit.h"
#include "stages/Latches.h"
#include "tests/support/CapturedTrace.h"

namespace fivestage {
namespace {

TEST(ControlTable, SignalsOfEveryOpcode) {
  struct Row {
    const char* opcode;
    ControlSignals signals;
  };
  const Row rows[] = {
      // pcsel pcsrc branch alusrc aluop memread memwrite memtoreg regwrite keepsRg
      {"lw", {0, 0, -1, 1, 0, 0, 1, -1, 0, false}},  // this machine's lw stores
      {"sw", {0, 0, -1, 1, 0, 1, 0, 1, 1, true}},    // and its sw loads
      {"add", {0, 0, -1, 0, 0, 0, 0, 0, 1, true}},  {"addi", {0, 0, -1, 1, 0, 0, 0, 0, 1, true}},
      {"sub", {0, 0, -1, 0, 1, 0, 0, 0, 1, true}},  {"beq", {1, 1, 0, 0, 1, 0, 0, -1, 0, false}},
      {"bne", {1, 1, 1, 0, 1, 0, 0, -1, 0, false}}, {"and", {0, 0, -1, 0, 2, 0, 0, 0, 1, true}},
      {"or", {0, 0, -1, 0, 3, 0, 0, 0, 1, true}},   {"j", {1, 1, 2, -1, 0, 0, 0, -1, 0, false}},
  };
  for (const Row& row : rows) EXPECT_EQ(controlSignalsFor(row.opcode), row.signals) << row.opcode;
  const ControlSignals indifferent{-1, -1, -1, -1, -1, -1, -1, -1, -1, false};
  for (const char* other : {"xor", "nop", "ADD", "addx", "ori", ""}) {
    EXPECT_EQ(controlSignalsFor(other), indifferent) << other;
  }
}

struct PrintCase {
  const char* opcode;
  std::int32_t rgFromRegisterRead;
  std::string block;
};

TEST(ProduceControlSignals, StoresAndPrintsTheBlock) {
  const PrintCase cases[] = {
      {"sw", 5,
       "\t Producing Control signals : \n\n\t C1  \n"
       "\t D.0 : pcsel     = 0\n\t D.1 : pcsrc     = 0\n\t D.2 : branch    = indifferent \n"
       "\t D.3 : alusrc    = 1\n\t D.4 : aluop     = 0\n\t C2  \n"
       "\t D.5 : memread   = 1\n\t D.6 : memwrite  = 0\n\t C3  \n"
       "\t D.7 : memtoreg  = 1\n\t D.8 : regwrite  = 1\n\t D.9 : Rg        = $5\n\n\n"},
      {"j", 7,
       "\t Producing Control signals : \n\n\t C1  \n"
       "\t D.0 : pcsel     = 1\n\t D.1 : pcsrc     = 1\n\t D.2 : branch    = 2\n"
       "\t D.3 : alusrc    = indifferent \n\t D.4 : aluop     = 0\n\t C2  \n"
       "\t D.5 : memread   = 0\n\t D.6 : memwrite  = 0\n\t C3  \n"
       "\t D.7 : memtoreg  = indifferent \n\t D.8 : regwrite  = 0\n\t D.9 : Rg        = indifferent \n\n\n"},
      {"nop", 3,
       "\t Producing Control signals : \n\n\t C1  \n"
       "\t D.0 : pcsel     = -1\n\t D.1 : pcsrc     = -1\n\t D.2 : branch    = indifferent \n"
       "\t D.3 : alusrc    = indifferent \n\t D.4 : aluop    = indifferent \n\t C2  \n"
       "\t D.5 : memread   = -1\n\t D.6 : memwrite  = -1\n\t C3  \n"
       "\t D.7 : memtoreg  = indifferent \n\t D.8 : regwrite  = -1\n\t D.9 : Rg        = indifferent \n\n\n"},
      {"add", 0,
       "\t Producing Control signals : \n\n\t C1  \n"
       "\t D.0 : pcsel     = 0\n\t D.1 : pcsrc     = 0\n\t D.2 : branch    = indifferent \n"
       "\t D.3 : alusrc    = 0\n\t D.4 : aluop     = 0\n\t C2  \n"
       "\t D.5 : memread   = 0\n\t D.6 : memwrite  = 0\n\t C3  \n"
       "\t D.7 : memtoreg  = 0\n\t D.8 : regwrite  = 1\n\t D.9 : Rg        = $0\n\n\n"},
  };
  for (const PrintCase& c : cases) {
    resetLatches();
    DecodeLatch.Rg = c.rgFromRegisterRead;
    testing::CapturedTrace out;
    DecodeUnit().produceControlSignals(out, c.opcode);
    EXPECT_EQ(out.str(), c.block) << c.opcode;
    const ControlSignals s = controlSignalsFor(c.opcode);
    EXPECT_EQ(DecodeLatch.regwrite, s.regwrite);
    EXPECT_EQ(DecodeLatch.Rg, s.keepsRg ? c.rgFromRegisterRead : -1) << c.opcode;
  }
  resetLatches();
}

}  // namespace
}  // namespace fivestage
