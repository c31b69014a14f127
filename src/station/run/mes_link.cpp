#include "station/run/mes_link.h"

#include "platform/build_name.h"
#include "platform/host_name.h"
#include "platform/secrets.h"
#include "station/requests/station_identity.h"
#include "station/run/result_publishing.h"
#include "text/printable_text.h"

namespace tarnwick {
namespace {

// The image's file name without its folders, either build's separators.
std::string fileNameOf(const std::string& path) {
  const std::string::size_type slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where the MES reaches the listener: a wildcard address is no address
// to reach, so the machine's name stands in for it.
std::string reachableUri(const BrokerAddress& bind) {
  const bool wildcard = bind.host == "0.0.0.0" || bind.host == "::" || bind.host.empty();
  const std::string host = wildcard ? hostName() : bind.host;
  const bool ipv6 = host.find(':') != std::string::npos;
  return "amqp://" + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(bind.port);
}

}  // namespace

MesLink::~MesLink() {
  listener_.reset();
}

bool MesLink::start(const MesLinkSettings& settings, const ImageSource& image,
                    std::vector<std::string>& warnings, std::string& why) {
  const std::string handle = settings.handle.empty() ? defaultCfxHandle() : settings.handle;
  if (!settings.validate.empty()) {
    MesInterlockSettings interlock;
    if (!parseCfxEndpoint(settings.validate, interlock.mes, why)) {
      why = "--validate: " + why;
      return false;
    }
    if (interlock.mes.address.passwordInUrl) {
      warnings.push_back(std::string("--validate: the MES's password is in the URL, which every "
                                     "local user can read in the process list") +
                         (commandLineCanBeHidden() ? " until this station hides it" : ""));
    }
    interlock.handle = handle;
    interlock.timeoutSeconds = settings.validateTimeoutSeconds;
    interlock.waitForAnswer = settings.waitForAnswer;
    interlock_ = std::make_unique<MesInterlock>(interlock);
    mesUrl_ = printableText(printableBrokerAddress(interlock.mes.address));
  }
  if (settings.listen.empty()) return true;
  RequestListenerSettings listen;
  if (!parseListenAddress(settings.listen, listen.bind, why)) {
    why = "--cfx-listen: " + why;
    return false;
  }
  std::string warning;
  listen.station.handle = handle;
  listen.station.requestUri = reachableUri(listen.bind);
  listen.station.uniqueIdentifier = stationUniqueIdentifier(warning);
  if (!warning.empty()) warnings.push_back(warning);
  listen.station.friendlyName = "tarnwick-station on " + hostName();
  listen.station.softwareVersion = settings.toolVersion;
  listen.station.operatingSystem = buildName();
  const std::string recipe = fileNameOf(image.path());
  const std::string revision = image.sha256();
  const MesInterlock* interlockSeen = interlock_.get();
  const auto activeFaults = settings.activeFaults;
  listen.facts = [recipe, revision, interlockSeen, activeFaults] {
    CfxStationFacts facts;
    if (activeFaults) {
      facts.activeFaults = activeFaults();
    } else if (interlockSeen != nullptr) {
      facts.activeFaults = mesFaults(interlockSeen->status().view());
    }
    facts.recipeName = recipe;
    facts.recipeRevision = revision;
    return facts;
  };
  listener_ = std::make_unique<RequestListener>(listen);
  if (listener_->start(why)) {
    requestUri_ = listen.station.requestUri;
    return true;
  }
  listener_.reset();
  why = "--cfx-listen: " + why;
  return false;
}

MesStatus::View MesLink::status() const {
  return interlock_ ? interlock_->status().view() : MesStatus::View{};
}

std::string MesLink::news() {
  const MesStatus::View now = status();
  if (now.reachable == !toldUnreachable_) return "";
  toldUnreachable_ = !now.reachable;
  if (now.reachable) return "the MES " + mesUrl_ + " can be reached again";
  return "the MES " + mesUrl_ + " cannot be reached (" + printableText(now.lastError) +
         "): MES_UNREACHABLE";
}

}  // namespace tarnwick
