#include "fault_plan.h"

namespace modemsim {
namespace {

bool at(const PositionSet& positions, std::uint64_t position) {
  return position != 0 && positions.count(position) != 0;
}

}  // namespace

Misbehaviour FaultPlan::next(CommandKind kind) {
  const std::uint64_t command = ++commandCount_;
  const std::uint64_t packet = kind == CommandKind::ImagePacket ? ++packetCount_ : 0;
  const SimOptions& o = options_;
  // When several apply to one command, the most drastic one wins.
  if (at(o.vanishAtCommand, command) || at(o.vanishAtPacket, packet)) return Misbehaviour::Vanish;
  if (at(o.silentAtCommand, command) || at(o.silentAtPacket, packet)) return Misbehaviour::Silent;
  if (at(o.floodAtCommand, command)) return Misbehaviour::Flood;
  if (at(o.errorAtCommand, command) || at(o.errorAtPacket, packet)) return Misbehaviour::Error;
  if (o.errorAtEnd && kind == CommandKind::EndDownload) return Misbehaviour::Error;
  if (o.cgmrError && kind == CommandKind::Version) return Misbehaviour::Error;
  if (at(o.noFinalAtCommand, command)) return Misbehaviour::NoFinal;
  return Misbehaviour::None;
}

}  // namespace modemsim
