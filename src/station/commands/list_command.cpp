#include "station/commands/list_command.h"

#include <memory>

#include "discovery/inventory.h"
#include "station/commands/identity_option.h"
#include "station/run/modem_probe.h"
#include "station/views/inventory_json.h"
#include "station/views/inventory_table.h"
#include "station/views/line_writer.h"

namespace tarnwick {
namespace {

bool identitiesOf(const ListOptions& options, std::vector<DeviceIdentity>& identities,
                  StationContext& context) {
  if (options.ids.empty()) {
    identities = defaultIdentityList();
    return true;
  }
  for (const std::string& text : options.ids) {
    DeviceIdentity identity;
    if (!parseIdentityOption(text, identity)) {
      std::fprintf(context.err, "--id: %s\n", checkIdentityOption(text).c_str());
      return false;
    }
    identities.push_back(identity);
  }
  return true;
}

void listWithoutProbe(const std::vector<InventoryModem>& modems, const ListOptions& options,
                      LineWriter& out) {
  if (!options.json) {
    out.write(inventoryTable(modems, nullptr));
    return;
  }
  for (const InventoryModem& modem : modems) out.write(modemJsonLine(modem, nullptr));
}

// JSON lines go out in the order the probes finish; the table waits for all.
void listWithProbe(const std::vector<InventoryModem>& modems, const ListOptions& options,
                   StationContext& context, LineWriter& out) {
  std::vector<ModemProbe> probes(modems.size());
  probeModemsInParallel(modems, context.makePort, [&](std::size_t index, const ModemProbe& probe) {
    // Each thread writes only its own slot; the table reads them after the joins.
    probes[index] = probe;
    if (options.json) out.write(modemJsonLine(modems[index], &probe));
  });
  if (!options.json) out.write(inventoryTable(modems, &probes));
}

}  // namespace

void registerListCommand(CLI::App& app, StationContext& context, ChosenCommand& chosen) {
  auto options = std::make_shared<ListOptions>();
  CLI::App* list =
      app.add_subcommand("list",
                         "List every present modem: location, serial, ids, revision and ports\n"
                         "e.g. tarnwick-station list --probe");
  list->add_option("--id", options->ids,
                   "Modem identity to look for, VID:PID in hex; repeat for several "
                   "(default: the built-in table)")
      ->option_text("VID:PID")
      ->allow_extra_args(false)
      ->check(CLI::Validator(checkIdentityOption, "", "identity"));
  list->add_flag("--probe", options->probe,
                 "Try each modem's ports with the AT handshake; show its AT port and version");
  list->add_flag("--json", options->json, "One JSON object per modem per line");
  list->callback([options, &context, &chosen] {
    chosen.run = [options, &context] { return runList(*options, context); };
  });
}

int runList(const ListOptions& options, StationContext& context) {
  std::vector<DeviceIdentity> identities;
  if (!identitiesOf(options, identities, context)) return kExitBadInvocation;
  std::vector<InventoryModem> modems;
  if (!takeInventory(context.inventory, identities, modems)) {
    std::fprintf(context.err, "tarnwick-station: the system gives no list of USB devices\n");
    return kExitFailed;
  }
  if (modems.empty()) {
    std::fprintf(context.err, "tarnwick-station: no modem found\n");
    return kExitFailed;
  }
  LineWriter out(context.out);
  if (options.probe) {
    listWithProbe(modems, options, context, out);
  } else {
    listWithoutProbe(modems, options, out);
  }
  if (out.failed()) {
    std::fprintf(context.err, "tarnwick-station: standard output could not be written\n");
    return kExitFailed;
  }
  return kExitDone;
}

}  // namespace tarnwick
