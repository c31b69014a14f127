#pragma once

#include <string>
#include <vector>

#include "station/publish/outbox.h"

namespace tarnwick {

// `tarnwick-station outbox`: one line per waiting result, oldest first,
// "UNIQUE_ID  MESSAGE  CREATED  ATTEMPTS  LAST_ERROR" (two spaces apart; the
// first four never hold a space, the last error is the rest of the line,
// "-" for none). Control bytes in the error are shown as \xHH.
std::string outboxListingText(const std::vector<OutboxEntry>& entries);

// `tarnwick-station outbox --json`: one object per line with unique_id,
// message, created, attempts and last_error (null for none).
std::string outboxListingJson(const std::vector<OutboxEntry>& entries);

}  // namespace tarnwick
