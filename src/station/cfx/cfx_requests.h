#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "station/cfx/cfx_message.h"
#include "station/cfx/cfx_resource.h"

namespace tarnwick {

// The CFX request/response messages the station sends and answers, as the
// public CFX SDK names them. Requests and answers go straight between two
// endpoints: each envelope names its `Source` and `Target` handles, and an
// answer carries its request's `RequestID`.

// One unit the station asks the MES about before it flashes it.
struct CfxUnitToValidate {
  std::string handle;     // this station's: the envelope's Source
  std::string target;     // the MES's handle: the envelope's Target
  std::string timeStamp;  // ISO 8601 with its UTC offset
  std::string unitIdentifier;
  std::optional<int> positionNumber;  // the slot's place in the slots file, from 1
  std::string positionName;           // the slot's label; empty: none
};

// A request ready to send: its envelope as UTF-8 JSON text, its RequestID
// and UniqueID.
struct CfxRequest {
  std::string body;
  std::string requestId;
  std::string uniqueId;
};

// The CFX.InformationSystem.UnitValidation.ValidateUnitsRequest for one unit
// (UnitRouteValidation). False when `newUuid` gave no UUID.
bool validateUnitsRequest(const CfxUnitToValidate& unit, const UuidSource& newUuid,
                          CfxRequest& request);

// What the MES said of the unit.
struct CfxValidation {
  enum class Verdict { Passed, Failed, Unreadable };
  Verdict verdict = Verdict::Unreadable;
  std::string message;  // the MES's words (Failed), or why it cannot be read (Unreadable)
  int code = 0;         // the MES's FailureCode or ResultCode (Failed)
};

// Reads the ValidateUnitsResponse among `envelopes` whose RequestID is
// `requestId`: Passed only when its Result is Success and the unit's
// ValidationResults entry (else its PrimaryResult) says Passed. None with
// that RequestID: Unreadable.
CfxValidation readValidateUnitsResponse(const std::vector<nlohmann::json>& envelopes,
                                        const std::string& requestId,
                                        const std::string& unitIdentifier);

// Who the station is, as GetEndpointInformation tells it.
struct CfxEndpointInformation {
  std::string handle;
  std::string requestUri;  // "amqp://host:5673"
  std::string uniqueIdentifier;
  std::string friendlyName;
  std::string softwareVersion;
  std::string operatingSystem;  // "Linux", "Windows"
};

// What the station knows now, for the answers that tell it.
struct CfxStationFacts {
  std::vector<CfxFault> activeFaults;  // the station faults active now
  std::string recipeName;              // the image file's name; empty: none
  std::string recipeRevision;          // its SHA-256
};

// The answer to one request envelope: AreYouThere, GetEndpointInformation,
// GetActiveFaults and GetActiveRecipe are answered, any other request gets
// NotSupportedResponse. False with `why` when `request` is no envelope (no
// MessageName text) or `newUuid` gave no UUID: nothing can be answered.
bool answerCfxRequest(const nlohmann::json& request, const CfxEndpointInformation& station,
                      const CfxStationFacts& facts, const std::string& timeStamp,
                      const UuidSource& newUuid, std::string& answer, std::string& why);

// The topics and messages the station publishes and answers, as
// EndpointInformation's SupportedTopics lists them.
nlohmann::json cfxSupportedTopics();

}  // namespace tarnwick
