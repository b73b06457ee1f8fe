#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/NumberText.h"

namespace fivestage {
namespace {

struct AtoiCase {
  std::string text;
  std::int32_t value;
};

// Names the case by its text (the default would dump the object's bytes, padding included).
void PrintTo(const AtoiCase& c, std::ostream* out) { *out << '"' << c.text.substr(0, 40) << '"'; }

class AtoiSaturated : public ::testing::TestWithParam<AtoiCase> {};

TEST_P(AtoiSaturated, ReadsLikeAtoiAndSaturates) {
  EXPECT_EQ(atoiSaturated(GetParam().text), GetParam().value) << "text: \"" << GetParam().text << "\"";
}

INSTANTIATE_TEST_SUITE_P(Table, AtoiSaturated,
                         ::testing::Values(AtoiCase{"", 0}, AtoiCase{"x", 0}, AtoiCase{"12", 12},
                                           AtoiCase{"  -3 apples", -3}, AtoiCase{"+7", 7}, AtoiCase{"2.5", 2},
                                           AtoiCase{"\t 42", 42}, AtoiCase{"00012", 12}, AtoiCase{"- 5", 0},
                                           AtoiCase{"+-5", 0}, AtoiCase{"0x10", 0}, AtoiCase{"12abc", 12},
                                           AtoiCase{"2147483647", 2147483647}, AtoiCase{"-2147483648", INT32_MIN},
                                           AtoiCase{"2147483648", INT32_MAX}, AtoiCase{"-2147483649", INT32_MIN},
                                           AtoiCase{"99999999999", INT32_MAX}, AtoiCase{"-99999999999", INT32_MIN},
                                           AtoiCase{std::string(5000, '9'), INT32_MAX},
                                           AtoiCase{std::string("7\0"
                                                                "8",
                                                                3),
                                                    7}));

TEST(LabelIndex, NamesTheInstructionBeforeTheLabelNumberWithWrapAround) {
  EXPECT_EQ(labelIndex(1), 0);
  EXPECT_EQ(labelIndex(5), 4);
  EXPECT_EQ(labelIndex(0), -1);
  EXPECT_EQ(labelIndex(-3), -4);
  EXPECT_EQ(labelIndex(INT32_MIN), INT32_MAX);
}

}  // namespace
}  // namespace fivestage
