// What the station sends to the broker: the CFX messages of a modem's
// result, and the outbox the results wait in on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/random_uuid.h"
#include "platform/state_folder.h"
#include "station/cfx/cfx_endpoint.h"
#include "station/cfx/cfx_message.h"
#include "station/cfx/cfx_requests.h"
#include "station/cfx/cfx_resource.h"
#include "station/cfx/cfx_work.h"
#include "station/publish/outbox.h"
#include "station/publish/outbox_listing.h"
#include "station/publish/outbox_sender.h"
#include "station/requests/cfx_body.h"
#include "station/requests/mes_interlock.h"
#include "station/run/result_message.h"
#include "support/temp_dir.h"

namespace tarnwick::testing {
namespace {

using Json = nlohmann::ordered_json;

UuidSource countingUuids() {
  auto count = std::make_shared<int>(0);
  return [count] { return "uuid-" + std::to_string(++*count); };
}

CfxUnitResult flashedUnit() {
  CfxUnitResult unit;
  unit.handle = "Tarnwick.Station.bench1";
  unit.timeStamp = "2026-12-07T16:05:09.123+01:00";
  unit.imageName = "fw.bin";
  unit.imageSha256 = "ab12";
  unit.imei = "356938035643809";
  unit.serial = "SN1";
  unit.location = "1-1";
  unit.slotIndex = 3;
  unit.slotLabel = "A3";
  unit.port = "COM7";
  unit.started = "2026-12-07T16:04:00.000+01:00";
  unit.ended = unit.timeStamp;
  unit.versionBefore = "V1";
  unit.stage = "end";
  return unit;
}

struct UnitsTestedCase {
  const char* name;
  std::function<void(CfxUnitResult&)> change;
  const char* overall;
  Json downloadError;
  const char* check;  // the VERSION_CHECK result; nullptr: no such test
};

const UnitsTestedCase kUnitsTestedCases[] = {
    {"flash_pass", [](CfxUnitResult&) {}, "Passed", nullptr, nullptr},
    {"flash_fail_with_reason",
     [](CfxUnitResult& unit) {
       unit.download = CfxResult::Failed;
       unit.reason = "ERROR answer";
     },
     "Failed", "ERROR answer", nullptr},
    {"watch_mismatch_fails_the_unit",
     [](CfxUnitResult& unit) {
       unit.check = CfxVersionCheck{CfxResult::Failed, "V1", "V2", "", ""};
     },
     "Failed", nullptr, "Failed"},
    {"watch_unverified_is_skipped",
     [](CfxUnitResult& unit) {
       unit.check = CfxVersionCheck{CfxResult::Skipped, "", "V2", "", ""};
     },
     "Passed", nullptr, "Skipped"},
    {"already_on_the_version_is_a_good_unit",
     [](CfxUnitResult& unit) { unit.download = CfxResult::Skipped; }, "Passed", nullptr, nullptr},
};

// A record as the broker's unit result: the check only for a watch cycle
// whose flash passed, times with their offset, the port as COMn.
struct RecordCase {
  FlashResult result;
  bool watchCycle;
  Verification verified;
  std::optional<CfxResult> check;  // none: no VERSION_CHECK
  CfxResult download;
};

const RecordCase kRecordCases[] = {
    {FlashResult::Pass, true, Verification::Mismatch, CfxResult::Failed, CfxResult::Passed},
    {FlashResult::Pass, true, Verification::Unverified, CfxResult::Skipped, CfxResult::Passed},
    {FlashResult::Fail, true, Verification::None, std::nullopt, CfxResult::Failed},
    {FlashResult::Aborted, false, Verification::None, std::nullopt, CfxResult::Aborted},
};

TEST(CfxMessage, RecordBecomesTheUnitResult) {
  for (const RecordCase& row : kRecordCases) {
    ModemRecord record;
    record.image = "/images/fw.bin";
    record.port = 7;
    record.slotIndex = 2;
    record.started = "2026-12-07T16:04:00.000Z";
    record.result = row.result;
    record.watchCycle = row.watchCycle;
    record.verified = row.verified;
    const CfxUnitResult unit = unitResultOf(record, "H", "2026-12-07T16:05:00.000Z", "V2");
    EXPECT_EQ(unit.imageName, "fw.bin");
    EXPECT_EQ(unit.port, "COM7");
    EXPECT_EQ(unit.slotIndex, 2);
    EXPECT_EQ(unit.started, "2026-12-07T16:04:00.000+00:00");
    EXPECT_EQ(unit.timeStamp, "2026-12-07T16:05:00.000+00:00");
    EXPECT_EQ(unit.download, row.download);
    ASSERT_EQ(unit.check.has_value(), row.check.has_value());
    if (row.check) {
      EXPECT_EQ(unit.check->result, *row.check);
      EXPECT_EQ(unit.check->expectedVersion, "V2");
    }
  }
}

TEST(CfxMessage, UnitsTestedEnvelopeAndBody) {
  for (const UnitsTestedCase& row : kUnitsTestedCases) {
    SCOPED_TRACE(row.name);
    CfxUnitResult unit = flashedUnit();
    row.change(unit);
    CfxMessage message;
    ASSERT_TRUE(unitsTestedMessage(unit, countingUuids(), message));
    const Json whole = Json::parse(message.body);
    EXPECT_EQ(whole.begin().key(), "MessageName");
    EXPECT_EQ(whole["MessageName"], "CFX.Production.TestAndInspection.UnitsTested");
    EXPECT_EQ(whole["Version"], "2.1");
    EXPECT_EQ(whole["TimeStamp"], unit.timeStamp);
    EXPECT_EQ(whole["UniqueID"], message.messageId);
    EXPECT_EQ(whole["Source"], unit.handle);
    EXPECT_TRUE(whole["Target"].is_null() && whole["RequestID"].is_null());
    EXPECT_EQ(message.subject, unit.handle + ".CFX.Production.TestAndInspection.UnitsTested");
    EXPECT_EQ(message.topic, "CFX.Production.TestAndInspection");
    const Json& body = whole["MessageBody"];
    EXPECT_TRUE(body["TransactionId"].is_string());
    EXPECT_EQ(body["TestMethod"], "Automated");
    EXPECT_EQ(body["RecipeName"], "fw.bin");
    EXPECT_EQ(body["RecipeRevision"], "ab12");
    ASSERT_EQ(body["TestedUnits"].size(), 1u);
    const Json& tested = body["TestedUnits"][0];
    EXPECT_EQ(tested["UnitPositionNumber"], 3);
    EXPECT_EQ(tested["OverallResult"], row.overall);
    const Json& download = tested["Tests"][0];
    EXPECT_EQ(download["TestName"], "FIRMWARE_DOWNLOAD");
    EXPECT_EQ(download["Error"], row.downloadError);
    EXPECT_EQ(download["TestStartTime"], unit.started);
    std::vector<std::string> names;
    for (const Json& measurement : download["Measurements"]) {
      EXPECT_EQ(measurement.begin().key(), "$type");
      EXPECT_EQ(measurement["$type"], "CFX.Structures.TextMeasurement, CFX");
      names.push_back(measurement["MeasurementName"].get<std::string>() + "=" +
                      measurement["Value"].get<std::string>());
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"VERSION_BEFORE=V1", "STAGE=end", "SLOT=A3", "PORT=COM7"}));
    ASSERT_EQ(tested["Tests"].size(), row.check ? 2u : 1u);
    if (row.check) {
      const Json& check = tested["Tests"][1];
      EXPECT_EQ(check["TestName"], "VERSION_CHECK");
      EXPECT_EQ(check["Result"], row.check);
      EXPECT_EQ(check["Measurements"][0]["MeasurementName"], "VERSION_AFTER");
      EXPECT_EQ(check["Measurements"][0]["ExpectedValue"], "V2");
    }
  }
}

TEST(CfxMessage, UnitIsKnownByImeiElseSerialElseLocation) {
  const std::vector<std::vector<std::string>> cases = {
      {"356938035643809", "SN1", "1-1", "356938035643809"},
      {"", "SN1", "1-1", "SN1"},
      {"", "", "1-1", "1-1"},
  };
  for (const auto& row : cases) {
    CfxUnitResult unit = flashedUnit();
    unit.imei = row[0];
    unit.serial = row[1];
    unit.location = row[2];
    CfxMessage message;
    ASSERT_TRUE(unitsTestedMessage(unit, countingUuids(), message));
    EXPECT_EQ(Json::parse(message.body)["MessageBody"]["TestedUnits"][0]["UnitIdentifier"], row[3]);
  }
}

// Every message's body keys in the SDK's order and spelling, and the AMQP
// fields beside it.
struct MessageCase {
  const char* name;
  std::function<bool(const UuidSource&, CfxMessage&)> build;
  std::vector<std::string> keys;
  std::function<void(const Json&)> check;
};

CfxFault slotFault() {
  return CfxFault{"MechanicalFailure", "Warning",
                  "SLOT_FAILING",      "f-1",
                  "slot A3: ...",      "2026-12-07T16:05:09.123+00:00"};
}

CfxUnitResult workUnit() {
  CfxUnitResult unit = flashedUnit();
  unit.uniqueId = "units-tested-id";  // the UnitsTested's: never the work messages' own
  unit.transactionId = "t-1";
  return unit;
}

const std::vector<std::string> kUnitKeys = {
    "UnitIdentifier", "PositionNumber", "PositionName", "X",     "Y",
    "Rotation",       "FlipX",          "FlipY",        "Status"};

const MessageCase kMessageCases[] = {
    {"CFX.Production.WorkStarted",
     [](const UuidSource& ids, CfxMessage& m) { return workStartedMessage(workUnit(), ids, m); },
     {"PrimaryIdentifier", "HermesIdentifier", "TransactionID", "Lane", "UnitCount", "Units",
      "RecipeName", "Revision", "WorkOrderIdentifier"},
     [](const Json& body) {
       EXPECT_EQ(body["TransactionID"], "t-1");
       EXPECT_EQ(body["PrimaryIdentifier"], "356938035643809");
       EXPECT_EQ(body["Units"][0]["PositionNumber"], 3);
       EXPECT_EQ(body["Units"][0]["PositionName"], "A3");
       EXPECT_EQ(body["RecipeName"], "fw.bin");
       EXPECT_EQ(body["Revision"], "ab12");
     }},
    {"CFX.Production.WorkCompleted",
     [](const UuidSource& ids, CfxMessage& m) {
       return workCompletedMessage(workUnit(), CfxWorkResult::Failed, ids, m);
     },
     {"TransactionID", "Result", "PrimaryIdentifier", "HermesIdentifier", "UnitCount", "Units",
      "PerformanceImpacts"},
     [](const Json& body) {
       EXPECT_EQ(body["Result"], "Failed");
       EXPECT_EQ(body["UnitCount"], 1);
       EXPECT_EQ(body["Units"][0]["Status"], "Fail");
     }},
    {"CFX.ResourcePerformance.StationStateChanged",
     [](const UuidSource& ids, CfxMessage& m) {
       return stationStateChangedMessage(cfxEnvelopeFrom("H", "2026-12-07T16:05:09.123+01:00"),
                                         CfxStateChange{2202, 5250, 1100}, ids, m);
     },
     {"OldState", "OldStateDuration", "NewState", "RelatedFault"},
     [](const Json& body) {
       EXPECT_EQ(body["OldState"], "2202");
       EXPECT_EQ(body["OldStateDuration"], "00:00:05.2500000");
       EXPECT_EQ(body["NewState"], "1100");
     }},
    {"CFX.ResourcePerformance.FaultOccurred",
     [](const UuidSource& ids, CfxMessage& m) {
       return faultOccurredMessage(cfxEnvelopeFrom("H", ""), slotFault(), ids, m);
     },
     {"Fault"},
     [](const Json& body) {
       std::vector<std::string> keys;
       for (const auto& field : body["Fault"].items()) keys.push_back(field.key());
       EXPECT_EQ(keys, (std::vector<std::string>{
                           "TransactionID", "Cause", "Severity", "FaultCode", "FaultOccurrenceId",
                           "Lane", "Stage", "SideLocation", "AccessType", "Description",
                           "DescriptionTranslations", "OccurredAt", "DueDateTime"}));
       EXPECT_EQ(body["Fault"]["Severity"], "Warning");
     }},
    {"CFX.ResourcePerformance.FaultCleared",
     [](const UuidSource& ids, CfxMessage& m) {
       return faultClearedMessage(cfxEnvelopeFrom("H", ""), "f-1", ids, m);
     },
     {"FaultOccurrenceId", "Operator"},
     [](const Json& body) { EXPECT_EQ(body["FaultOccurrenceId"], "f-1"); }},
    {"CFX.EndpointConnected",
     [](const UuidSource& ids, CfxMessage& m) {
       return endpointConnectedMessage("H", "", "2026-12-07T16:05:09.123Z", ids, m);
     },
     {"CFXHandle", "RequestNetworkUri", "RequestTargetAddress"},
     [](const Json& body) { EXPECT_TRUE(body["RequestNetworkUri"].is_null()); }},
    {"CFX.EndpointShuttingDown",
     [](const UuidSource& ids, CfxMessage& m) {
       return endpointShuttingDownMessage("H", "", ids, m);
     },
     {"CFXHandle"},
     [](const Json& body) { EXPECT_EQ(body["CFXHandle"], "H"); }},
    {"CFX.Heartbeat",
     [](const UuidSource& ids, CfxMessage& m) {
       CfxHeartbeat heartbeat;
       heartbeat.handle = "H";
       heartbeat.frequencySeconds = 60;
       heartbeat.activeFaults = std::vector<CfxFault>{slotFault()};
       heartbeat.activeRecipes = std::vector<CfxRecipe>{{"fw.bin", "ab12"}};
       return heartbeatMessage(heartbeat, ids, m);
     },
     {"CFXHandle", "HeartbeatFrequency", "ActiveFaults", "ActiveRecipes"},
     [](const Json& body) {
       EXPECT_EQ(body["HeartbeatFrequency"], "00:01:00");
       EXPECT_EQ(body["ActiveFaults"][0]["FaultCode"], "SLOT_FAILING");
       EXPECT_EQ(body["ActiveRecipes"][0]["RecipeName"], "fw.bin");
     }},
};

TEST(CfxMessage, EveryMessageAsTheSdkNamesIt) {
  for (const MessageCase& row : kMessageCases) {
    SCOPED_TRACE(row.name);
    CfxMessage message;
    ASSERT_TRUE(row.build(countingUuids(), message));
    const Json whole = Json::parse(message.body);
    EXPECT_EQ(whole["MessageName"], row.name);
    EXPECT_EQ(whole["UniqueID"], message.messageId);
    EXPECT_NE(message.messageId, "units-tested-id");
    EXPECT_EQ(message.messageName, row.name);
    EXPECT_EQ(message.subject, std::string(whole["Source"]) + "." + row.name);
    EXPECT_TRUE(whole["Target"].is_null() && message.target.empty());
    std::vector<std::string> keys;
    for (const auto& field : whole["MessageBody"].items()) keys.push_back(field.key());
    EXPECT_EQ(keys, row.keys);
    if (whole["MessageBody"].contains("Units")) {
      keys.clear();
      for (const auto& field : whole["MessageBody"]["Units"][0].items())
        keys.push_back(field.key());
      EXPECT_EQ(keys, kUnitKeys);
    }
    row.check(whole["MessageBody"]);
    EXPECT_FALSE(row.build([] { return std::string(); }, message));
  }
  // The TimeStamp as the AMQP creation-time, its offset taken off.
  CfxMessage message;
  ASSERT_TRUE(kMessageCases[2].build(countingUuids(), message));
  EXPECT_EQ(message.creationTimeMs, cfxTimeMs("2026-12-07T15:05:09.123Z"));
  EXPECT_EQ(cfxTimeMs("2026-12-07T15:05:09.123Z") % 1000, 123);
  EXPECT_EQ(cfxTimeSpan(86400000 + 3723000), "1.01:02:03");
}

// How a unit's work ended, as WorkCompleted says it.
TEST(CfxMessage, RecordBecomesTheWorkResult) {
  const std::vector<std::tuple<FlashResult, Verification, CfxWorkResult>> rows = {
      {FlashResult::Pass, Verification::None, CfxWorkResult::Completed},
      {FlashResult::Pass, Verification::Verified, CfxWorkResult::Completed},
      {FlashResult::Pass, Verification::Unverified, CfxWorkResult::Completed},
      {FlashResult::Pass, Verification::Mismatch, CfxWorkResult::Failed},
      {FlashResult::Fail, Verification::None, CfxWorkResult::Failed},
      {FlashResult::Aborted, Verification::None, CfxWorkResult::Aborted},
      {FlashResult::Skipped, Verification::None, CfxWorkResult::Skipped},
  };
  for (const auto& [result, verified, expected] : rows) {
    ModemRecord record;
    record.result = result;
    record.verified = verified;
    EXPECT_EQ(workResultOf(record), expected) << resultName(result);
  }
}

TEST(CfxMessage, Uuids) {
  const unsigned char ones[16] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                  0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
  EXPECT_EQ(uuidTextV4(ones), "ffffffff-ffff-4fff-bfff-ffffffffffff");
  const std::string first = randomUuid();
  EXPECT_EQ(first.size(), 36u);
  EXPECT_NE(first, randomUuid());
}

TEST(CfxRequests, ValidateUnitsRequestNamesTheUnitAndItsSlot) {
  CfxUnitToValidate unit{"St7", "MES", "2026-12-07T16:05:09+00:00", "SN1", 3, "A3"};
  CfxRequest request;
  ASSERT_TRUE(validateUnitsRequest(unit, countingUuids(), request));
  const Json whole = Json::parse(request.body);
  EXPECT_EQ(whole["MessageName"], "CFX.InformationSystem.UnitValidation.ValidateUnitsRequest");
  EXPECT_EQ(whole["Source"], "St7");
  EXPECT_EQ(whole["Target"], "MES");
  EXPECT_EQ(whole["RequestID"], request.requestId);
  EXPECT_EQ(whole["UniqueID"], request.uniqueId);
  EXPECT_NE(request.requestId, request.uniqueId);
  const Json& body = whole["MessageBody"];
  EXPECT_EQ(body["Validations"], Json::array({"UnitRouteValidation"}));
  EXPECT_EQ(body["PrimaryIdentifier"], "SN1");
  EXPECT_EQ(body["Units"],
            Json::parse(R"([{"UnitIdentifier":"SN1","PositionNumber":3,"PositionName":"A3"}])"));
}

// What the MES's answer makes of the unit: only a Success with the unit
// Passed lets it be flashed.
TEST(CfxRequests, ValidateUnitsResponseVerdicts) {
  using Verdict = CfxValidation::Verdict;
  const std::string ok = R"("Result":{"Result":"Success","ResultCode":0,"Message":null})";
  const std::string name =
      R"("MessageName":"CFX.InformationSystem.UnitValidation.ValidateUnitsResponse")";
  struct Row {
    std::string envelope;
    Verdict verdict;
    std::string message;
    int code;
  };
  const std::vector<Row> rows = {
      {"{" + name + R"(,"RequestID":"r1","MessageBody":{)" + ok +
           R"(,"ValidationResults":[{"UniqueIdentifier":"SN9","Result":"Failed"},{"UniqueIdentifier":"SN1","Result":"Passed"}]}})",
       Verdict::Passed, "", 0},
      {"{" + name + R"(,"RequestID":"r1","MessageBody":{)" + ok +
           R"(,"ValidationResults":[{"UniqueIdentifier":"SN1","Result":"Failed","FailureCode":7,"Message":"on hold"}]}})",
       Verdict::Failed, "on hold", 7},
      {"{" + name + R"(,"RequestID":"r1","MessageBody":{)" + ok +
           R"(,"PrimaryResult":{"Result":"Passed"}}})",
       Verdict::Passed, "", 0},
      {"{" + name +
           R"(,"RequestID":"r1","MessageBody":{"Result":{"Result":"Failed","ResultCode":3,"Message":"route unknown"},"PrimaryResult":{"Result":"Passed"}}})",
       Verdict::Failed, "route unknown", 3},
      {R"({"MessageName":"CFX.NotSupportedResponse","RequestID":"r1","MessageBody":{"RequestResult":{"Result":"Failed","ResultCode":1,"Message":"no"}}})",
       Verdict::Failed, "it does not support unit validation: no", 1},
      {"{" + name + R"(,"RequestID":"other","MessageBody":{)" + ok +
           R"(,"PrimaryResult":{"Result":"Passed"}}})",
       Verdict::Unreadable, "no answer carries the request's RequestID", 0},
      {"{" + name + R"(,"RequestID":"r1","MessageBody":{)" + ok + "}}", Verdict::Unreadable,
       "the answer says nothing of unit SN1", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.envelope);
    const CfxValidation seen =
        readValidateUnitsResponse({nlohmann::json::parse(row.envelope)}, "r1", "SN1");
    EXPECT_EQ(seen.verdict, row.verdict);
    EXPECT_EQ(seen.message, row.message);
    EXPECT_EQ(seen.code, row.code);
  }
  EXPECT_EQ(mesGateAnswer({Verdict::Failed, "on hold", 7}).reason,
            "the MES refused the unit: on hold (code 7)");
  EXPECT_EQ(mesSilenceReason(2.5, true, ""), "the MES did not answer within 2.5 s");
}

TEST(CfxRequests, EachRequestGetsItsAnswerAndTheRestNotSupported) {
  CfxEndpointInformation station{"St7", "amqp://st7:5673", "u-1", "st7", "1.0.0", "Linux"};
  CfxStationFacts facts;
  CfxFault unreachable;
  unreachable.code = "MES_UNREACHABLE";
  facts.activeFaults = {unreachable};
  facts.recipeName = "fw.bin";
  facts.recipeRevision = "ab12";
  const std::vector<std::vector<std::string>> rows = {
      {"CFX.AreYouThereRequest", "CFX.AreYouThereResponse", "/CFXHandle", "\"St7\""},
      {"CFX.GetEndpointInformationRequest", "CFX.GetEndpointInformationResponse",
       "/EndpointInformation/UniqueIdentifier", "\"u-1\""},
      {"CFX.ResourcePerformance.GetActiveFaultsRequest",
       "CFX.ResourcePerformance.GetActiveFaultsResponse", "/ActiveFaults/0/FaultCode",
       "\"MES_UNREACHABLE\""},
      {"CFX.Production.GetActiveRecipeRequest", "CFX.Production.GetActiveRecipeResponse",
       "/ActiveRecipeRevision", "\"ab12\""},
      {"CFX.Production.LoadRecipeRequest", "CFX.NotSupportedResponse", "/RequestResult/Result",
       "\"Failed\""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    const nlohmann::json request = {
        {"MessageName", row[0]}, {"Source", "MES"}, {"RequestID", "r9"}, {"MessageBody", {}}};
    std::string answer;
    std::string why;
    ASSERT_TRUE(answerCfxRequest(request, station, facts, "t", countingUuids(), answer, why));
    const nlohmann::json whole = nlohmann::json::parse(answer);
    EXPECT_EQ(whole["MessageName"], row[1]);
    EXPECT_EQ(whole["Source"], "St7");
    EXPECT_EQ(whole["Target"], "MES");
    EXPECT_EQ(whole["RequestID"], "r9");
    EXPECT_EQ(whole["MessageBody"].at(nlohmann::json::json_pointer(row[2])),
              nlohmann::json::parse(row[3]));
  }
  std::string answer;
  std::string why;
  EXPECT_FALSE(answerCfxRequest(nlohmann::json::parse(R"({"RequestID":"r9"})"), station, facts, "t",
                                countingUuids(), answer, why));
  EXPECT_EQ(why, "not a CFX envelope (no MessageName)");
}

std::string gzipped(const std::string& text) {
  z_stream stream{};
  deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, text.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// Bodies as the SDK sends them, and what no reader may take.
TEST(CfxRequests, BodiesGzippedOrNotOneEnvelopeOrAnArray) {
  const std::string one = R"({"MessageName":"A"})";
  const std::string two = R"([{"MessageName":"A"},{"MessageName":"B"}])";
  const std::string inflatesLarge = gzipped("[" + std::string(kCfxBodyLimit, ' ') + "]");
  struct Row {
    std::string bytes;
    bool gzip;
    std::size_t envelopes;  // 0: refused with `why`
    std::string why;
  };
  const std::vector<Row> rows = {
      {one, false, 1, ""},
      {two, false, 2, ""},
      {gzipped(two), true, 2, ""},
      {gzipped(one), false, 1, ""},  // known by its magic bytes
      {"[" + std::string(kCfxBodyLimit, ' ') + "]", false, 0, "the body is larger than 1 MiB"},
      {inflatesLarge, true, 0, "the body inflates to more than 1 MiB"},
      {gzipped(two).substr(0, 20), true, 0, "the body is not valid gzip"},
      {"{no JSON", false, 0, "the body is not JSON"},
      {"[1,2]", false, 0, "the body's array holds something other than envelopes"},
      {"\"text\"", false, 0, "the body is neither an envelope nor an array of envelopes"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    std::vector<nlohmann::json> envelopes;
    std::string why;
    EXPECT_EQ(readCfxBody(row.bytes, row.gzip, envelopes, why), row.envelopes > 0);
    EXPECT_EQ(envelopes.size(), row.envelopes);
    EXPECT_EQ(why, row.why);
  }
}

// The outbox's default folder: XDG_STATE_HOME when it is an absolute path,
// else under HOME.
TEST(Outbox, DefaultFolderFollowsTheStateHome) {
  const char* const home = std::getenv("HOME");
  const char* const state = std::getenv("XDG_STATE_HOME");
  const bool hadState = state != nullptr;
  const std::string savedHome = home ? home : "", savedState = hadState ? state : "";
  const std::vector<std::vector<std::string>> cases = {
      {"/srv/state/", "/home/op", "/srv/state/tarnwick/outbox"},
      {"", "/home/op", "/home/op/.local/state/tarnwick/outbox"},
      {"relative/state", "/home/op", "/home/op/.local/state/tarnwick/outbox"},
  };
  for (const auto& row : cases) {
    setenv("XDG_STATE_HOME", row[0].c_str(), 1);
    setenv("HOME", row[1].c_str(), 1);
    std::string folder, why;
    EXPECT_TRUE(defaultOutboxFolder(folder, why));
    EXPECT_EQ(folder, row[2]);
  }
  setenv("HOME", savedHome.c_str(), 1);
  if (!hadState) unsetenv("XDG_STATE_HOME");
  if (hadState) setenv("XDG_STATE_HOME", savedState.c_str(), 1);
}

CfxMessage waitingMessage(const std::string& id) {
  CfxMessage message;
  message.body = "{\"UniqueID\":\"" + id + "\"}";
  message.messageId = id;
  message.messageName = "CFX.Production.TestAndInspection.UnitsTested";
  message.topic = "CFX.Production.TestAndInspection";
  message.handle = "H";
  message.subject = "H." + message.messageName;
  message.target = "MES." + id;  // the AMQP fields are kept beside the body
  message.creationTimeMs = 1765123509123;
  return message;
}

std::vector<std::string> waitingIds(const Outbox& outbox, OutboxListing& listing) {
  std::string why;
  EXPECT_TRUE(outbox.pending(listing, why)) << why;
  std::vector<std::string> ids;
  for (const OutboxEntry& entry : listing.entries) ids.push_back(entry.message.messageId);
  return ids;
}

// Round trip, oldest first, attempts counted, a rejected result moved
// aside with the broker's error; leftovers of a crash while writing are
// cleaned, and a file that is no result stays untouched and unsent.
TEST(Outbox, ResultsWaitOnDiskUntilAcceptedOrRejected) {
  namespace fs = std::filesystem;
  TempDir dir;
  const std::string folder = dir.path() + "/outbox";
  std::string why;
  {
    Outbox first(folder);
    ASSERT_TRUE(first.open(why)) << why;
    for (const char* id : {"b-2", "a-1", "c-3"}) {
      ASSERT_TRUE(first.put(waitingMessage(id), "2026-12-07T16:05:09.123Z", why)) << why;
    }
  }
  const std::string corrupt = "{\"unique_id\": \"torn";
  dir.writeFile("outbox/00000000000000000001-d-4.json", corrupt);
  const fs::path oldTemp = dir.writeFile("outbox/00000000000000000002-e-5.json.tmp", "{");
  fs::last_write_time(oldTemp, fs::file_time_type::clock::now() - std::chrono::hours(1));
  const fs::path youngTemp = dir.writeFile("outbox/00000000000000000003-f-6.json.tmp", "{");

  Outbox outbox(folder);
  ASSERT_TRUE(outbox.open(why)) << why;
  EXPECT_FALSE(fs::exists(oldTemp));
  EXPECT_TRUE(fs::exists(youngTemp));
  OutboxListing listing;
  EXPECT_EQ(waitingIds(outbox, listing), (std::vector<std::string>{"b-2", "a-1", "c-3"}));
  EXPECT_EQ(listing.unreadable,
            (std::vector<std::string>{"00000000000000000001-d-4.json: is not JSON"}));
  EXPECT_EQ(listing.entries[1].message.body, "");  // a listing leaves the bodies out
  OutboxEntry whole;
  ASSERT_TRUE(outbox.read("a-1", whole, why)) << why;
  EXPECT_EQ(whole.message.body, waitingMessage("a-1").body);
  EXPECT_EQ(listing.entries[1].message.subject, waitingMessage("a-1").subject);
  EXPECT_EQ(listing.entries[1].message.target, "MES.a-1");
  EXPECT_EQ(whole.message.creationTimeMs, 1765123509123);
  EXPECT_EQ(listing.entries[1].created, "2026-12-07T16:05:09.123Z");

  ASSERT_TRUE(outbox.noteAttempt("a-1", "connection refused", why)) << why;
  ASSERT_TRUE(outbox.noteAttempt("a-1", "released", why)) << why;
  ASSERT_TRUE(outbox.reject("c-3", "amqp:not-found", why)) << why;
  ASSERT_TRUE(outbox.remove("b-2", why)) << why;
  EXPECT_FALSE(outbox.remove("b-2", why));
  EXPECT_EQ(waitingIds(outbox, listing), (std::vector<std::string>{"a-1"}));
  EXPECT_EQ(listing.entries[0].attempts, 2);
  EXPECT_EQ(listing.entries[0].lastError, "released");
  EXPECT_EQ(readFile(folder + "/00000000000000000001-d-4.json"), corrupt);
  std::vector<fs::path> rejected;
  for (const auto& file : fs::directory_iterator(folder + "/rejected")) rejected.push_back(file);
  ASSERT_EQ(rejected.size(), 1u);
  const Json moved = Json::parse(readFile(rejected[0].string()));
  EXPECT_EQ(moved["unique_id"], "c-3");
  EXPECT_EQ(moved["rejected_error"], "amqp:not-found");

  // Put back: after what waits, without the broker's error, gone from rejected/.
  std::size_t back = 0;
  ASSERT_TRUE(outbox.retryRejected(back, why)) << why;
  EXPECT_EQ(back, 1u);
  EXPECT_EQ(waitingIds(outbox, listing), (std::vector<std::string>{"a-1", "c-3"}));
  EXPECT_TRUE(fs::is_empty(folder + "/rejected"));
  for (const auto& file : fs::directory_iterator(folder)) {
    if (file.path().filename().u8string().find("c-3") == std::string::npos) continue;
    EXPECT_FALSE(Json::parse(readFile(file.path().string())).contains("rejected_error"));
  }
}

// Under any umask, what the outbox creates is the user's alone; the write
// check leaves nothing behind.
TEST(Outbox, PrivateToTheUserAndCheckedWritable) {
  namespace fs = std::filesystem;
  TempDir dir;
  const std::string folder = dir.path() + "/state/outbox";
  const mode_t saved = ::umask(0);
  Outbox outbox(folder);
  std::string why;
  const bool opened = outbox.open(why) && outbox.put(waitingMessage("a-1"), "", why);
  ::umask(saved);
  ASSERT_TRUE(opened) << why;
  ASSERT_TRUE(outbox.checkWritable(why)) << why;
  const auto mode = [](const fs::path& path) { return fs::status(path).permissions(); };
  for (const char* made : {"/state", "/state/outbox", "/state/outbox/rejected"}) {
    EXPECT_EQ(mode(dir.path() + made), fs::perms::owner_all) << made;
  }
  ASSERT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
  for (const auto& file : fs::directory_iterator(folder)) {
    if (!file.is_regular_file()) continue;
    EXPECT_EQ(mode(file), fs::perms::owner_read | fs::perms::owner_write);
  }
  fs::remove_all(folder);
  EXPECT_FALSE(outbox.checkWritable(why));
}

// Flashing threads put while the sender takes: none is lost, none is seen
// half written, and each thread's results go in the order it put them.
TEST(Outbox, PuttersAndASenderAtOnce) {
  TempDir dir;
  Outbox outbox(dir.path());
  std::string why;
  ASSERT_TRUE(outbox.open(why)) << why;
  constexpr std::size_t kEach = 10;
  const auto putAll = [&outbox](const std::string& prefix) {
    std::string error;
    for (std::size_t i = 0; i < kEach; ++i) {
      outbox.put(waitingMessage(prefix + std::to_string(i)), "", error);
    }
  };
  std::thread first(putAll, "a-");
  std::thread second(putAll, "b-");
  std::vector<std::string> sent;
  std::size_t halfWritten = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (sent.size() < 2 * kEach && std::chrono::steady_clock::now() < deadline) {
    OutboxListing listing;
    std::string error;
    outbox.pending(listing, error);
    halfWritten += listing.unreadable.size();
    for (const OutboxEntry& entry : listing.entries) {
      if (outbox.remove(entry.message.messageId, error)) sent.push_back(entry.message.messageId);
    }
  }
  first.join();
  second.join();
  EXPECT_EQ(halfWritten, 0u);
  for (const std::string prefix : {"a-", "b-"}) {
    std::vector<std::string> order;
    for (const std::string& id : sent) {
      if (id.rfind(prefix, 0) == 0) order.push_back(id);
    }
    ASSERT_EQ(order.size(), kEach);
    for (std::size_t i = 0; i < kEach; ++i) EXPECT_EQ(order[i], prefix + std::to_string(i));
  }
}

// With no broker to reach (nothing listens on port 1): the count is told,
// `drain` gives up on the failed connection, only the oldest is tried (the
// others wait for a link), and every result stays with the error.
TEST(OutboxSender, UnreachableBrokerKeepsEveryResultAndTriesTheOldest) {
  TempDir dir;
  Outbox outbox(dir.path());
  std::string why;
  ASSERT_TRUE(outbox.open(why)) << why;
  ASSERT_TRUE(outbox.put(waitingMessage("a-1"), "2026-12-07T16:05:01Z", why)) << why;
  ASSERT_TRUE(outbox.put(waitingMessage("b-2"), "2026-12-07T16:05:02Z", why)) << why;
  std::mutex mutex;
  std::vector<OutboxNotice> notices;
  BrokerAddress address;
  ASSERT_TRUE(parseBrokerAddress("amqp://u:p@127.0.0.1:1/amq/queue/q", &address, &why)) << why;
  OutboxSender sender(outbox, address, [&](const OutboxNotice& notice) {
    std::lock_guard<std::mutex> lock(mutex);
    notices.push_back(notice);
  });
  ASSERT_TRUE(sender.start(why)) << why;
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_FALSE(sender.drain(20000, true));
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(10));
  EXPECT_EQ(sender.pending(), 2u);
  sender.stop();
  ASSERT_FALSE(notices.empty());
  EXPECT_EQ(notices[0].kind, OutboxNotice::Kind::State);
  EXPECT_EQ(notices[0].pending, 2u);
  EXPECT_EQ(notices[0].oldestCreated, "2026-12-07T16:05:01Z");
  OutboxListing listing;
  EXPECT_EQ(waitingIds(outbox, listing), (std::vector<std::string>{"a-1", "b-2"}));
  EXPECT_GE(listing.entries[0].attempts, 1);
  EXPECT_EQ(listing.entries[0].lastError.rfind("cannot connect to the broker", 0), 0u)
      << listing.entries[0].lastError;
  EXPECT_EQ(listing.entries[1].attempts, 0);
}

TEST(OutboxListing, OneLinePerResultAndTheJsonForm) {
  OutboxEntry waiting;
  waiting.message = waitingMessage("a-1");
  waiting.created = "2026-12-07T16:05:09.123Z";
  OutboxEntry retried = waiting;
  retried.message.messageId = "b-2";
  retried.attempts = 3;
  retried.lastError = "connection refused\nby 127.0.0.1";
  EXPECT_EQ(outboxListingText({waiting, retried}),
            "a-1  CFX.Production.TestAndInspection.UnitsTested  2026-12-07T16:05:09.123Z  0  -\n"
            "b-2  CFX.Production.TestAndInspection.UnitsTested  2026-12-07T16:05:09.123Z  3  "
            "connection refused\\x0aby 127.0.0.1\n");
  EXPECT_EQ(outboxListingJson({waiting, retried}),
            "{\"unique_id\":\"a-1\",\"message\":\"CFX.Production.TestAndInspection.UnitsTested\","
            "\"created\":\"2026-12-07T16:05:09.123Z\",\"attempts\":0,\"last_error\":null}\n"
            "{\"unique_id\":\"b-2\",\"message\":\"CFX.Production.TestAndInspection.UnitsTested\","
            "\"created\":\"2026-12-07T16:05:09.123Z\",\"attempts\":3,"
            "\"last_error\":\"connection refused\\nby 127.0.0.1\"}\n");
}

}  // namespace
}  // namespace tarnwick::testing
