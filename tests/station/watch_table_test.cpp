// Watch's live table: one row per slot in the file's order, a row marked
// for a location outside the list, per-slot counts that agree with the
// totals, and the units per hour.
#include "station/views/watch_table.h"

#include <gtest/gtest.h>

#include <sstream>

#include "station/views/state_colour.h"
#include "station/views/summary.h"

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
             const std::string& reason = "", bool lost = false) {
    FlashTarget target;
    target.location = location;
    target.ports.push_back({7, "", 0});
    const std::size_t row = board_.addRow(target, 100);
    StationEvent end;
    end.kind = EventKind::ModemEnd;
    end.modem = row;
    end.record.watchCycle = true;
    end.record.result = result;
    end.record.port = 7;
    end.record.versionBefore = "V1";
    end.record.bytesSent = result == FlashResult::Pass ? 100 : 40;
    end.record.reason = reason;
    end.recordWritten = !lost;
    board_.apply(end);
    end.recordWritten = true;
    if (verified == Verification::None && result == FlashResult::Pass) return;
    StationEvent cycleEnd = end;
    cycleEnd.kind = EventKind::CycleEnd;
    cycleEnd.record.verified = verified;
    board_.apply(cycleEnd);
  }

  // A watch that began half an hour ago.
  static WatchClock halfAnHourIn() {
    const auto now = StationEvent::Clock::now();
    return {now - std::chrono::minutes(30), now};
  }

  RunBoard board_{{}, 100};
};

TEST_F(WatchTable, SlotsInFileOrderThenLocationsOutsideTheList) {
  cycle("1-2", FlashResult::Pass, Verification::Verified);
  cycle("1-1", FlashResult::Fail, Verification::None);
  cycle("1-1", FlashResult::Pass, Verification::None);  // waiting for its re-plug
  cycle("3-9", FlashResult::Pass, Verification::Mismatch);
  const std::vector<Slot> slots{{"A1", "1-1"}, {"A2", "1-2"}, {"A3", "1-3"}};

  const auto lines = wordsOfLines(watchTableText(board_, slots, halfAnHourIn()));

  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0],
            wordsOf("SLOT LOCATION PORT VERSION STATE DONE PASS FAIL VERIFIED MISMATCH REASON"));
  EXPECT_EQ(lines[1], wordsOf("A1 1-1 COM7 V1 PASS 100% 1 1 0 0"));
  EXPECT_EQ(lines[2], wordsOf("A2 1-2 COM7 V1 VERIFIED 100% 1 0 1 0"));
  EXPECT_EQ(lines[3], wordsOf("A3 1-3 - - empty - 0 0 0 0"));
  EXPECT_EQ(lines[4], wordsOf("(not a slot) 3-9 COM7 V1 MISMATCH 100% 1 0 0 1 came back with -"));
  // Three cycles ended in half an hour; the one waiting is in progress.
  EXPECT_EQ(lines[5], wordsOf("4 units: 1 in progress, 3 ended (1 verified, 1 mismatch, 1 "
                              "failed); 6.0 units/h"));
}

TEST_F(WatchTable, WithoutSlotsEachLocationSeenHasItsRow) {
  cycle("2-1", FlashResult::Fail, Verification::None, "", true);
  cycle("2-4", FlashResult::Pass, Verification::Unverified);
  board_.markDuplicate(1);

  const auto lines = wordsOfLines(watchTableText(board_, {}, halfAnHourIn()));

  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[4], wordsOf("1 record could not be written to the record file"));
  // With results waiting for the broker, a line under them says so.
  board_.setOutbox(3, std::chrono::system_clock::now() - std::chrono::seconds(42));
  const auto waiting = wordsOfLines(watchTableText(board_, {}, halfAnHourIn()));
  ASSERT_EQ(waiting.size(), 6u);
  EXPECT_EQ(waiting[5], wordsOf("3 results wait for the broker (oldest 42 s)"));
  // Publishing through a cluster: the broker in use is named.
  board_.setOutbox(3, std::chrono::system_clock::now() - std::chrono::seconds(42),
                   "amqp://line1@b:5672/q");
  EXPECT_EQ(wordsOfLines(watchTableText(board_, {}, halfAnHourIn()))[5],
            wordsOf("3 results wait for the broker amqp://line1@b:5672/q (oldest 42 s)"));
  board_.setOutboxUnreadable(2);
  EXPECT_EQ(wordsOfLines(watchTableText(board_, {}, halfAnHourIn()))[5],
            wordsOf("3 results wait for the broker amqp://line1@b:5672/q (oldest 42 s); 2 files "
                    "in the outbox cannot be read"));
  EXPECT_EQ(lines[1], wordsOf("- 2-1 COM7 V1 FAIL 40% 0 1 0 0"));
  EXPECT_EQ(lines[2], wordsOf("- 2-4 COM7 V1 UNVERIFIED (duplicate serial) 100% 1 0 0 0"));
  // Fewer than three cycles ended: no rate yet.
  EXPECT_EQ(lines[3], wordsOf("2 units: 0 in progress, 2 ended (0 verified, 0 mismatch, 1 "
                              "failed, 1 unverified); - units/h"));
}

// On an 80-column terminal every line fits (the widest cells cut, never
// wrapped), and a device's control bytes do not reach the screen.
TEST_F(WatchTable, FitsTheTerminalAndShowsDeviceBytesEscaped) {
  cycle("1-1", FlashResult::Pass, Verification::Verified);
  cycle("1-2", FlashResult::Fail, Verification::None, "ERROR answer at packet 5 of 12");
  StationEvent version;
  version.kind = EventKind::Version;
  version.modem = 0;
  version.text = "V\x1b[2J";
  board_.apply(version);

  const std::string text =
      watchTableText(board_, {{"BENCH-" + std::string(60, 'L'), "1-1"}}, halfAnHourIn(), {79});

  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 79u) << line;
  EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
  EXPECT_NE(text.find(" ERR"), std::string::npos) << "the FAIL's reason, cut to fit:\n" << text;
  EXPECT_NE(text.find(" V\\x1b"), std::string::npos) << text;
  // The count columns' headers went short before any cell was cut.
  EXPECT_EQ(text.rfind("SLOT  ", 0), 0u) << text;
  EXPECT_NE(text.find("  P  F  V  M  REASON\n"), std::string::npos) << text;
}

// Each row in its state's colour on a terminal; the same text without.
TEST_F(WatchTable, RowsCarryTheirStatesColoursOnlyWhenAsked) {
  cycle("1-1", FlashResult::Pass, Verification::Verified);
  cycle("1-2", FlashResult::Fail, Verification::None, "ERROR answer");
  cycle("1-3", FlashResult::Aborted, Verification::None);
  cycle("1-4", FlashResult::Pass, Verification::None);
  StationEvent replug;
  replug.kind = EventKind::Replug;
  replug.modem = 3;
  board_.apply(replug);
  // The station's faults: a slot's (Warning) and the records' (Error), the
  // first then cleared and raised again.
  StationEvent fault;
  fault.kind = EventKind::FaultRaised;
  fault.fault.code = "SLOT_FAILING";
  fault.fault.slot = "1-2";
  fault.fault.description = "location 1-2: the last 3 units failed";
  board_.apply(fault);
  fault.kind = EventKind::FaultCleared;
  board_.apply(fault);
  fault.kind = EventKind::FaultRaised;
  board_.apply(fault);
  StationEvent records = fault;
  records.fault =
      StationFault{"RECORD_WRITE", "", FaultSeverity::Error, "", "records lost", "", ""};
  board_.apply(records);

  const std::string plain = watchTableText(board_, {}, halfAnHourIn(), {0, false});
  const auto lines = wordsOfLines(watchTableText(board_, {}, halfAnHourIn(), {0, true}));

  EXPECT_EQ(plain.find('\x1b'), std::string::npos) << plain;
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0].front(), "SLOT");  // the header stays plain
  EXPECT_EQ(lines[1].front(), "\x1b[32m-");
  EXPECT_EQ(lines[2][0], "\x1b[1;31m!");  // the faulty slot's row is marked
  EXPECT_EQ(lines[2][1], "-");
  EXPECT_EQ(lines[2].back(), "answer\x1b[0m");  // the reason on the FAIL's row
  EXPECT_EQ(lines[3].front(), "\x1b[33m-");
  EXPECT_EQ(lines[4].front(), "\x1b[7;32m-");  // waits for the operator's re-plug
  EXPECT_EQ(lines[6].front(), "\x1b[33m!");    // a Warning in yellow, once
  EXPECT_EQ(lines[6].back(), "failed\x1b[0m");
  EXPECT_EQ(lines[7].front(), "\x1b[1;31m!");  // an Error in red
}

// The summary at the end of a watch on a 100-column terminal: the columns
// the records keep go first, then the serial is cut; the version, result,
// stage, reason and verdict are shown whole.
TEST_F(WatchTable, SummaryOnANarrowTerminalKeepsWhatTheOperatorReads) {
  cycle("1-1", FlashResult::Fail, Verification::None, "ERROR answer");
  cycle("1-2", FlashResult::Pass, Verification::Unverified);
  for (std::size_t row = 0; row < 2; ++row) {
    StationEvent end;
    end.kind = EventKind::CycleEnd;
    end.modem = row;
    end.record = board_.rows()[row].record;
    end.record.serial = "SN0123456789AB";
    end.record.versionBefore = "EC25EFAR06A06M4G";
    end.record.stage = row == 0 ? "packet size" : "end";
    end.record.seconds = 93.4;
    end.record.kibPerS = 412.5;
    end.record.slot = "A" + std::to_string(row + 1);
    end.record.attempt = 1;
    end.record.hasVersionAfter = row == 1;
    end.record.versionAfter = "EC25EFAR06A08M4G";
    board_.apply(end);
  }
  const std::string wide = summaryTable(board_, {0});
  EXPECT_EQ(wordsOf(wide), wordsOf("LOCATION SERIAL PORT VERSION RESULT STAGE SECONDS KIB/S REASON "
                                   "SLOT ATTEMPT AFTER VERIFIED"));

  const auto lines = wordsOfLines(summaryTable(board_, {99}));

  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], wordsOf("LOCATION SERIAL PORT VERSION RESULT STAGE REASON SLOT VERIFIED"));
  EXPECT_EQ(lines[1],
            wordsOf("1-1 SN012345678~ COM7 EC25EFAR06A06M4G FAIL packet size ERROR answer A1 -"));
  EXPECT_EQ(lines[2], wordsOf("1-2 SN012345678~ COM7 EC25EFAR06A06M4G PASS end - A2 UNVERIFIED"));
}

TEST(Colour, OnlyWhereAskedAndTakenAndNeverWithNoColor) {
  struct Case {
    ColorMode mode;
    bool terminal, escapesTaken;
    const char* noColor;
    bool wanted;
  };
  const Case cases[] = {
      {ColorMode::Auto, true, true, nullptr, true},
      {ColorMode::Auto, false, false, nullptr, false},
      {ColorMode::Auto, true, false, nullptr, false},  // a console that refuses escape codes
      {ColorMode::Auto, true, true, "1", false},
      {ColorMode::Auto, true, true, "", true},
      {ColorMode::Always, false, false, nullptr, true},
      {ColorMode::Always, true, true, "1", false},
      {ColorMode::Never, true, true, nullptr, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(colourWanted(c.mode, c.terminal, c.escapesTaken, c.noColor), c.wanted)
        << static_cast<int>(c.mode) << c.terminal << c.escapesTaken
        << (c.noColor ? c.noColor : "-");
  }
}

}  // namespace
}  // namespace tarnwick
