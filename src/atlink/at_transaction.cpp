// AT transactions on the link: collect a reply until its final result,
// send a command and split its reply, open the link with the "AT" handshake.
#include <algorithm>

#include "atlink/at_commands.h"
#include "atlink/at_interface.h"
#include "atlink/link_limits.h"
#include "atlink/reply_scan.h"
#include "diag/report_system_error.h"
#include "platform/last_error.h"

namespace tarnwick {

// Takes the fetched bytes in runs: each run is scanned in bulk, and a fetch
// is made only when the bytes fetched before are used up, so nothing past
// the terminator is read from the port.
bool AtInterface::collectResponse(std::string& reply, const std::string& terminatorA,
                                  const std::string& terminatorB, int budgetMs) {
  reply.clear();
  readErrorCode_ = 0;
  replyCapped_ = false;
  if (comNumber_ == 0 || budgetMs <= 0) return false;
  const bool terminated = !terminatorA.empty() || !terminatorB.empty();
  bool found = false;
  std::size_t received = 0;
  while (!(terminated && found)) {
    if (inputStart_ == inputEnd_ && !fetchInput()) {
      budgetMs -= kEmptyReadCharge;
      if (budgetMs <= 0) break;
      continue;
    }
    // Every byte counts toward the cap, the NUL bytes that are dropped
    // too: a line that sends nothing but NULs must end as well. The byte
    // past the cap is taken and ends the collection.
    if (received == kReplyCap) {
      ++inputStart_;
      replyCapped_ = true;
      return false;
    }
    const std::size_t run = std::min(inputEnd_ - inputStart_, kReplyCap - received);
    const ReplyScan scan = scanReplyRun(input_ + inputStart_, run, terminatorA, terminatorB, reply);
    inputStart_ += scan.consumed;
    received += scan.consumed;
    found = scan.found;
  }
  return found;
}

bool AtInterface::sendCommand(const std::string& command, std::string& rawReply,
                              std::string& body) {
  lastCommand_ = command;
  lastFailure_ = LinkFailure();
  rawReply.clear();
  body.clear();
  bool answered = false;
  if (!writeLine(command)) {
    noteFailure(FailureKind::WriteFailed);
  } else {
    collectResponse(rawReply, OkTerminator, ErrorTerminator, kTransactionBudget);
    if (!rawReply.empty()) {
      std::size_t echo = rawReply.find(command);
      std::size_t bodyStart = echo == std::string::npos ? 0 : echo + command.size();
      body.assign(rawReply, bodyStart, std::string::npos);
      std::size_t ok = body.find(OkTerminator);
      if (ok != std::string::npos) {
        body.resize(ok);
        answered = true;
      }
    }
    if (!answered) classifyFailedAnswer(rawReply);
  }
  if (!answered) closePort();
  return answered;
}

void AtInterface::noteFailure(FailureKind kind, int errorCode) {
  lastFailure_.kind = kind;
  lastFailure_.errorCode = errorCode;
  lastFailure_.errorText.clear();
  if (errorCode != 0 && systemErrorText(errorCode, lastFailure_.errorText)) {
    while (!lastFailure_.errorText.empty() &&
           (lastFailure_.errorText.back() == '\n' || lastFailure_.errorText.back() == '\r')) {
      lastFailure_.errorText.pop_back();
    }
  }
}

void AtInterface::classifyFailedAnswer(const std::string& rawReply) {
  if (replyCapped_) {
    noteFailure(FailureKind::ReplyTooLong);
  } else if (rawReply.find(ErrorTerminator) != std::string::npos) {
    noteFailure(FailureKind::ErrorAnswer);
  } else if (readErrorCode_ != 0) {
    noteFailure(FailureKind::ReadError, readErrorCode_);
  } else {
    noteFailure(FailureKind::NoAnswer);
  }
}

bool AtInterface::initialise(int n) {
  closePort();
  lastCommand_.clear();
  rawReply_.clear();
  replyBody_.clear();
  lastFailure_ = LinkFailure();
  if (!openPort(n)) {
    const int code = lastErrorCode();
    reportSystemError(*sink_, "Tarnwick Failed to connect to port\n");
    const std::string detail = port_->openFailureDetail();
    if (!detail.empty()) sink_->warning(detail);
    rawReply_ = "Failed to connect to port " + std::to_string(n);
    noteFailure(FailureKind::OpenFailed, code);
    return false;
  }
  flushInput();
  if (!sendCommand(at_command::kAttention, rawReply_, replyBody_)) {
    reportSystemError(*sink_, "initialise - AT interface failed");
    return false;
  }
  return true;
}

}  // namespace tarnwick
