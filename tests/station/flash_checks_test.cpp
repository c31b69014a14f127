// Which modems the --port values choose, and when they are refused.
#include <gtest/gtest.h>

#include "station/port_choice.h"

namespace tarnwick::testing {
namespace {

// Two modems: 1-1 with COM3 and COM4, 1-2 with COM7.
std::vector<FlashTarget> presentModems() {
  return {{"1-1", "A", "1234", "5678", {{3, "", "00"}, {4, "", "02"}}},
          {"1-2", "B", "1234", "5678", {{7, "", ""}}}};
}

struct PortCase {
  const char* name;
  std::vector<int> ports;
  bool accepted;
  std::string why;                  // when refused
  std::vector<std::string> chosen;  // "location:COM" in order, when accepted
  std::vector<int> missing;
};

class NamedPorts : public ::testing::TestWithParam<PortCase> {};

TEST_P(NamedPorts, ChooseEachModemOnceOnItsNamedPort) {
  const PortCase& c = GetParam();
  PortChoice choice;
  std::string why;
  ASSERT_EQ(modemsOnNamedPorts(presentModems(), c.ports, choice, why), c.accepted) << why;
  if (!c.accepted) {
    EXPECT_EQ(why, c.why);
    return;
  }
  std::vector<std::string> chosen;
  for (const FlashTarget& target : choice.targets) {
    ASSERT_EQ(target.ports.size(), 1u) << "only the named port is tried";
    chosen.push_back(target.location + ":" + std::to_string(target.ports[0].comNumber));
  }
  EXPECT_EQ(chosen, c.chosen);
  EXPECT_EQ(choice.missing, c.missing);
}

const PortCase kPortCases[] = {
    {"second_port_of_a_modem", {4}, true, "", {"1-1:4"}, {}},
    {"two_modems_in_the_order_given", {7, 3}, true, "", {"1-2:7", "1-1:3"}, {}},
    {"one_missing", {9, 7}, true, "", {"1-2:7"}, {9}},
    {"two_ports_of_one_modem", {4, 3}, false, "--port 3 and --port 4 name the same modem (1-1)"},
    {"the_same_port_twice", {7, 7}, false, "--port 7 is given twice"},
};

INSTANTIATE_TEST_SUITE_P(Ports, NamedPorts, ::testing::ValuesIn(kPortCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnwick::testing
