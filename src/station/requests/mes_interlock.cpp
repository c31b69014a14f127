#include "station/requests/mes_interlock.h"

#include <cstdio>

#include "platform/random_uuid.h"
#include "station/cfx/cfx_envelope.h"
#include "station/requests/cfx_requester.h"

namespace tarnwick {
namespace {

const char kValidateUnits[] = "CFX.InformationSystem.UnitValidation.ValidateUnitsRequest";

std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

}  // namespace

MesGateAnswer mesGateAnswer(const CfxValidation& validation) {
  switch (validation.verdict) {
    case CfxValidation::Verdict::Passed:
      return {MesGateAnswer::Kind::Passed, ""};
    case CfxValidation::Verdict::Failed:
      return {MesGateAnswer::Kind::Refused, "the MES refused the unit: " + validation.message +
                                                " (code " + std::to_string(validation.code) + ")"};
    case CfxValidation::Verdict::Unreadable:
      break;
  }
  return {MesGateAnswer::Kind::NoAnswer, "the MES's answer cannot be read: " + validation.message};
}

std::string mesSilenceReason(double timeoutSeconds, bool timedOut, const std::string& why) {
  if (timedOut) return "the MES did not answer within " + secondsText(timeoutSeconds) + " s";
  return "the MES did not answer: it cannot be reached (" + why + ")";
}

MesGateAnswer MesInterlock::ask(const CfxUnitToValidate& asked) {
  CfxUnitToValidate unit = asked;
  unit.handle = settings_.handle;
  unit.target = settings_.mes.handle;
  unit.timeStamp = cfxNow();
  CfxRequest request;
  if (!validateUnitsRequest(unit, randomUuid, request)) {
    return {MesGateAnswer::Kind::NoAnswer, "the system gave no random number for the request"};
  }
  const CfxOutgoingRequest outgoing{request.body, kValidateUnits, request.requestId,
                                    request.uniqueId, settings_.handle};
  const CfxExchange exchange = exchangeCfxRequest(
      settings_.mes, outgoing, static_cast<int>(settings_.timeoutSeconds * 1000));
  using Outcome = CfxExchange::Outcome;
  status_.reached(exchange.outcome != Outcome::Unreachable, exchange.why);
  switch (exchange.outcome) {
    case Outcome::Answered:
      return mesGateAnswer(
          readValidateUnitsResponse(exchange.envelopes, request.requestId, unit.unitIdentifier));
    case Outcome::Unreadable:
      return {MesGateAnswer::Kind::NoAnswer, "the MES's answer cannot be read: " + exchange.why};
    case Outcome::TimedOut:
    case Outcome::Unreachable:
      break;
  }
  return {MesGateAnswer::Kind::NoAnswer,
          mesSilenceReason(settings_.timeoutSeconds, exchange.outcome == Outcome::TimedOut,
                           exchange.why)};
}

}  // namespace tarnwick
