#include "station/cfx/cfx_requests.h"

#include "station/cfx/cfx_envelope.h"

namespace tarnwick {
namespace {

using Json = nlohmann::json;
using OrderedJson = CfxJson;

const char kValidateUnitsRequest[] = "CFX.InformationSystem.UnitValidation.ValidateUnitsRequest";
const char kCfxVersion[] = "2.1";

// The last part of a message name: "ValidateUnitsResponse".
std::string shortName(const std::string& name) {
  const std::string::size_type dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

std::string textOf(const Json& object, const char* key) {
  if (!object.is_object()) return "";
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

int intOf(const Json& object, const char* key) {
  if (!object.is_object()) return 0;
  const auto found = object.find(key);
  return found != object.end() && found->is_number_integer() ? found->get<int>() : 0;
}

const Json& memberOf(const Json& object, const char* key) {
  static const Json kNull;
  if (!object.is_object()) return kNull;
  const auto found = object.find(key);
  return found == object.end() ? kNull : *found;
}

// A request's or an answer's envelope, built as every message is; its
// UniqueID is always given.
std::string envelopeText(const std::string& name, const CfxEnvelope& fields, OrderedJson body) {
  static const UuidSource kNoNewIds;
  CfxIdentifiers ids(kNoNewIds);
  CfxMessage message;
  cfxEnvelope(name, fields, std::move(body), ids, message);
  return message.body;
}

OrderedJson requestResult(const char* result, int code, const std::string& message) {
  OrderedJson entry;
  entry["Result"] = result;
  entry["ResultCode"] = code;
  entry["Message"] = cfxTextOrNull(message);
  return entry;
}

OrderedJson endpointInformation(const CfxEndpointInformation& station) {
  OrderedJson info;
  info["CFXHandle"] = station.handle;
  info["CFXVersion"] = kCfxVersion;
  info["RequestNetworkUri"] = cfxTextOrNull(station.requestUri);
  info["RequestTargetAddress"] = station.handle;
  info["UniqueIdentifier"] = station.uniqueIdentifier;
  info["FriendlyName"] = cfxTextOrNull(station.friendlyName);
  info["Vendor"] = "Tarnwick";
  info["ModelNumber"] = "tarnwick-station";
  info["SerialNumber"] = nullptr;
  info["SoftwareVersion"] = cfxTextOrNull(station.softwareVersion);
  info["FirmwareVersion"] = nullptr;
  info["OperatingSystem"] = cfxTextOrNull(station.operatingSystem);
  info["OperatingSystemPlatform"] = nullptr;
  info["OperatingSystemVersion"] = nullptr;
  info["Stages"] = OrderedJson::array();
  info["NumberOfLanes"] = 1;
  info["SupportedTopics"] = OrderedJson::parse(cfxSupportedTopics().dump());
  return info;
}

// The answer's name and body for the request named `name` (its last part);
// NotSupportedResponse for any other.
std::pair<std::string, OrderedJson> answerFor(const std::string& name,
                                              const CfxEndpointInformation& station,
                                              const CfxStationFacts& facts) {
  OrderedJson body;
  const OrderedJson success = requestResult("Success", 0, "");
  if (name == "AreYouThereRequest") {
    body["Result"] = success;
    body["CFXHandle"] = station.handle;
    body["RequestNetworkUri"] = cfxTextOrNull(station.requestUri);
    body["RequestTargetAddress"] = station.handle;
    return {"CFX.AreYouThereResponse", body};
  }
  if (name == "GetEndpointInformationRequest") {
    body["Result"] = success;
    body["EndpointInformation"] = endpointInformation(station);
    return {"CFX.GetEndpointInformationResponse", body};
  }
  if (name == "GetActiveFaultsRequest") {
    body["Result"] = success;
    body["ActiveFaults"] = OrderedJson::array();
    for (const CfxFault& fault : facts.activeFaults)
      body["ActiveFaults"].push_back(cfxFaultJson(fault));
    return {"CFX.ResourcePerformance.GetActiveFaultsResponse", body};
  }
  if (name == "GetActiveRecipeRequest") {
    body["Result"] = success;
    body["ActiveRecipeName"] = cfxTextOrNull(facts.recipeName);
    body["ActiveRecipeRevision"] = cfxTextOrNull(facts.recipeRevision);
    return {"CFX.Production.GetActiveRecipeResponse", body};
  }
  body["RequestResult"] = requestResult("Failed", 0, "not supported by this station: " + name);
  return {"CFX.NotSupportedResponse", body};
}

CfxValidation failed(const std::string& message, int code) {
  return CfxValidation{CfxValidation::Verdict::Failed, message, code};
}

CfxValidation unreadable(const std::string& why) {
  return CfxValidation{CfxValidation::Verdict::Unreadable, why, 0};
}

// One ValidationResult (a PrimaryResult may also be its bare Result text).
CfxValidation verdictOf(const Json& result) {
  const std::string said =
      result.is_string() ? result.get<std::string>() : textOf(result, "Result");
  if (said == "Passed") return CfxValidation{CfxValidation::Verdict::Passed, "", 0};
  if (said.empty()) return unreadable("the answer gives the unit no result");
  std::string message = textOf(result, "Message");
  if (message.empty()) message = said;
  return failed(message, intOf(result, "FailureCode"));
}

CfxValidation verdictOfBody(const std::string& name, const Json& body,
                            const std::string& unitIdentifier) {
  if (name == "NotSupportedResponse") {
    const Json& result = memberOf(body, "RequestResult");
    return failed("it does not support unit validation: " + textOf(result, "Message"),
                  intOf(result, "ResultCode"));
  }
  if (name != "ValidateUnitsResponse") return unreadable("the answer is a " + name);
  const Json& result = memberOf(body, "Result");
  if (textOf(result, "Result") != "Success") {
    std::string message = textOf(result, "Message");
    if (message.empty()) message = "the request's result is not Success";
    return failed(message, intOf(result, "ResultCode"));
  }
  const Json& results = memberOf(body, "ValidationResults");
  if (results.is_array()) {
    for (const Json& entry : results) {
      if (textOf(entry, "UniqueIdentifier") == unitIdentifier) return verdictOf(entry);
    }
  }
  const Json& primary = memberOf(body, "PrimaryResult");
  if (!primary.is_null()) return verdictOf(primary);
  return unreadable("the answer says nothing of unit " + unitIdentifier);
}

}  // namespace

bool validateUnitsRequest(const CfxUnitToValidate& unit, const UuidSource& newUuid,
                          CfxRequest& request) {
  request.requestId = newUuid ? newUuid() : "";
  request.uniqueId = newUuid ? newUuid() : "";
  if (request.requestId.empty() || request.uniqueId.empty()) return false;
  OrderedJson position;
  position["UnitIdentifier"] = unit.unitIdentifier;
  // Without a slot the position is left out: the SDK reads it as a number.
  if (unit.positionNumber) position["PositionNumber"] = *unit.positionNumber;
  position["PositionName"] = cfxTextOrNull(unit.positionName);
  OrderedJson body;
  body["Validations"] = OrderedJson::array({"UnitRouteValidation"});
  body["PrimaryIdentifier"] = unit.unitIdentifier;
  body["HermesIdentifier"] = nullptr;
  body["Units"] = OrderedJson::array({position});
  body["Lane"] = nullptr;
  request.body = envelopeText(
      kValidateUnitsRequest,
      CfxEnvelope{unit.handle, unit.timeStamp, request.uniqueId, unit.target, request.requestId},
      std::move(body));
  return true;
}

CfxValidation readValidateUnitsResponse(const std::vector<Json>& envelopes,
                                        const std::string& requestId,
                                        const std::string& unitIdentifier) {
  for (const Json& envelope : envelopes) {
    if (textOf(envelope, "RequestID") != requestId) continue;
    return verdictOfBody(shortName(textOf(envelope, "MessageName")),
                         memberOf(envelope, "MessageBody"), unitIdentifier);
  }
  return unreadable("no answer carries the request's RequestID");
}

bool answerCfxRequest(const Json& request, const CfxEndpointInformation& station,
                      const CfxStationFacts& facts, const std::string& timeStamp,
                      const UuidSource& newUuid, std::string& answer, std::string& why) {
  const std::string name = textOf(request, "MessageName");
  if (name.empty()) {
    why = "not a CFX envelope (no MessageName)";
    return false;
  }
  const std::string uniqueId = newUuid ? newUuid() : "";
  if (uniqueId.empty()) {
    why = "the system gave no random number for the answer's id";
    return false;
  }
  auto [answerName, body] = answerFor(shortName(name), station, facts);
  answer = envelopeText(answerName,
                        CfxEnvelope{station.handle, timeStamp, uniqueId, textOf(request, "Source"),
                                    textOf(request, "RequestID")},
                        std::move(body));
  return true;
}

nlohmann::json cfxSupportedTopics() {
  const auto topic = [](const char* name, const char* support, std::vector<std::string> messages) {
    return Json{{"TopicName", name},
                {"TopicSupportType", support},
                {"SupportedMessages", std::move(messages)}};
  };
  return Json::array(
      {topic("CFX", "PublisherConsumer",
             {"CFX.EndpointConnected", "CFX.EndpointShuttingDown", "CFX.Heartbeat",
              "CFX.AreYouThereRequest", "CFX.GetEndpointInformationRequest"}),
       topic("CFX.Production.TestAndInspection", "Publisher",
             {"CFX.Production.TestAndInspection.UnitsTested"}),
       topic("CFX.InformationSystem.UnitValidation", "Publisher", {kValidateUnitsRequest}),
       topic("CFX.ResourcePerformance", "PublisherConsumer",
             {"CFX.ResourcePerformance.StationStateChanged",
              "CFX.ResourcePerformance.FaultOccurred", "CFX.ResourcePerformance.FaultCleared",
              "CFX.ResourcePerformance.GetActiveFaultsRequest"}),
       topic("CFX.Production", "PublisherConsumer",
             {"CFX.Production.WorkStarted", "CFX.Production.WorkCompleted",
              "CFX.Production.GetActiveRecipeRequest"})});
}

}  // namespace tarnwick
