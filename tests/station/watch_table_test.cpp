// Watch's live table: one row per slot in the file's order, a row marked
// for a location outside the list, per-slot counts that agree with the
// totals, and the units per hour.
#include "station/watch_table.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tarnwick {
namespace {

// The words of each line, so that the test does not depend on how wide
// the columns are laid out.
std::vector<std::vector<std::string>> wordsOfLines(const std::string& text) {
  std::vector<std::vector<std::string>> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    lines.emplace_back();
    for (std::string word; words >> word;) lines.back().push_back(word);
  }
  return lines;
}

std::vector<std::string> wordsOf(const std::string& line) {
  return wordsOfLines(line).front();
}

class WatchTable : public ::testing::Test {
 protected:
  // A cycle at `location` whose flash ended with `result` and, unless
  // `verified` is None, whose check ended with it; with `lost` the flash's
  // record could not be written.
  void cycle(const std::string& location, FlashResult result, Verification verified,
             bool lost = false) {
    FlashTarget target;
    target.location = location;
    target.ports.push_back({7, "", "00"});
    const std::size_t row = board_.addRow(target, 100);
    StationEvent end;
    end.kind = EventKind::ModemEnd;
    end.modem = row;
    end.record.watchCycle = true;
    end.record.result = result;
    end.record.port = 7;
    end.record.versionBefore = "V1";
    end.record.bytesSent = result == FlashResult::Pass ? 100 : 40;
    end.recordWritten = !lost;
    board_.apply(end);
    end.recordWritten = true;
    if (verified == Verification::None && result == FlashResult::Pass) return;
    StationEvent cycleEnd = end;
    cycleEnd.kind = EventKind::CycleEnd;
    cycleEnd.record.verified = verified;
    board_.apply(cycleEnd);
  }

  RunBoard board_{{}, 100};
};

TEST_F(WatchTable, SlotsInFileOrderThenLocationsOutsideTheList) {
  cycle("1-2", FlashResult::Pass, Verification::Verified);
  cycle("1-1", FlashResult::Fail, Verification::None);
  cycle("1-1", FlashResult::Pass, Verification::None);  // waiting for its re-plug
  cycle("3-9", FlashResult::Pass, Verification::Mismatch);
  const std::vector<Slot> slots{{"A1", "1-1"}, {"A2", "1-2"}, {"A3", "1-3"}};

  const auto lines = wordsOfLines(watchTableText(board_, slots, 0.5));

  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], wordsOf("SLOT LOCATION PORT VERSION STATE DONE PASS FAIL VERIFIED MISMATCH"));
  EXPECT_EQ(lines[1], wordsOf("A1 1-1 COM7 V1 PASS 100% 1 1 0 0"));
  EXPECT_EQ(lines[2], wordsOf("A2 1-2 COM7 V1 VERIFIED 100% 1 0 1 0"));
  EXPECT_EQ(lines[3], wordsOf("A3 1-3 - - empty - 0 0 0 0"));
  EXPECT_EQ(lines[4], wordsOf("(not a slot) 3-9 COM7 V1 MISMATCH 100% 1 0 0 1"));
  // Three cycles ended in half an hour; the one waiting is in progress.
  EXPECT_EQ(lines[5], wordsOf("3 units: 3 passed, 1 failed, 1 verified, 1 mismatch; 1 in "
                              "progress; 6.0 units/h"));
}

TEST_F(WatchTable, WithoutSlotsEachLocationSeenHasItsRow) {
  cycle("2-1", FlashResult::Fail, Verification::None, true);
  cycle("2-4", FlashResult::Pass, Verification::Unverified);
  board_.markDuplicate(1);

  const auto lines = wordsOfLines(watchTableText(board_, {}, 0));

  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[4], wordsOf("1 record could not be written to the record file"));
  EXPECT_EQ(lines[1], wordsOf("- 2-1 COM7 V1 FAIL 40% 0 1 0 0"));
  EXPECT_EQ(lines[2], wordsOf("- 2-4 COM7 V1 UNVERIFIED (duplicate serial) 100% 1 0 0 0"));
  EXPECT_EQ(lines[3], wordsOf("2 units: 1 passed, 1 failed, 0 verified, 0 mismatch; 0 in "
                              "progress; 0.0 units/h"));
}

}  // namespace
}  // namespace tarnwick
