#include "station/publish/broker_secret.h"

#include "platform/secrets.h"
#include "station/publish/broker_tls.h"

namespace tarnwick {
namespace {

std::string urlPasswordWarning() {
  return std::string(
             "the broker password in --publish can be read by every local user in the "
             "process list") +
         (commandLineCanBeHidden() ? " until this station hides it" : "") + "; give it in " +
         kBrokerPasswordVariable + " or --broker-password-file instead";
}

bool parseAll(const std::vector<std::string>& urls, std::vector<BrokerAddress>& brokers,
              std::string& error) {
  brokers.clear();
  for (const std::string& url : urls) {
    BrokerAddress address;
    if (!parseBrokerAddress(url, &address, &error)) return false;
    if (!brokers.empty() && address.target != brokers.front().target) {
      error = "every --publish must name the same address (" + brokers.front().target + ", not " +
              address.target + ")";
      return false;
    }
    brokers.push_back(address);
  }
  return true;
}

// The password shared by every broker, and where it came from.
bool sharedPassword(const BrokerLogin& login, const std::string& environment,
                    const std::vector<BrokerAddress>& brokers, std::string& password,
                    std::vector<std::string>& warnings, std::string& error) {
  for (const BrokerAddress& broker : brokers) {
    if (!broker.passwordInUrl) continue;
    if (!login.passwordFile.empty()) {
      error =
          "the broker password is given twice, in --publish and in --broker-password-file; "
          "leave it out of the URL";
      return false;
    }
    warnings.push_back(urlPasswordWarning());
    password = broker.password;
    return true;
  }
  if (login.passwordFile.empty()) {
    password = environment;
    return true;
  }
  std::string warning;
  if (!readSecretFile(login.passwordFile, password, warning, error)) return false;
  if (!warning.empty()) warnings.push_back(warning);
  return true;
}

// The TLS files, checked, on every broker; all of them then amqps://.
bool applyTlsFiles(const TlsFiles& files, std::vector<BrokerAddress>& brokers, std::string& error) {
  if (files.caFile.empty() && files.certFile.empty() && files.keyFile.empty()) return true;
  if (!checkTlsFiles(files, error)) return false;
  for (BrokerAddress& broker : brokers) {
    if (!broker.tls) {
      error = "--tls-ca, --tls-cert and --tls-key are for amqps:// brokers; " +
              printableBrokerAddress(broker) + " is not one";
      return false;
    }
    broker.tlsFiles = files;
  }
  return true;
}

}  // namespace

bool resolveBrokers(const BrokerLogin& login, const std::string& environment,
                    std::vector<BrokerAddress>& brokers, std::vector<std::string>& warnings,
                    std::string& error) {
  if (!parseAll(login.urls, brokers, error)) return false;
  if (!applyTlsFiles(login.tls, brokers, error)) return false;
  std::string password;
  if (!sharedPassword(login, environment, brokers, password, warnings, error)) return false;
  std::string user;
  for (const BrokerAddress& broker : brokers) {
    if (user.empty()) user = broker.user;
  }
  for (BrokerAddress& broker : brokers) {
    if (broker.user.empty()) broker.user = user;
    if (!broker.passwordInUrl) broker.password = password;
  }
  return true;
}

bool resolveBrokers(const BrokerLogin& login, std::vector<BrokerAddress>& brokers,
                    std::vector<std::string>& warnings, std::string& error) {
  return resolveBrokers(login, environmentText(kBrokerPasswordVariable), brokers, warnings, error);
}

}  // namespace tarnwick
