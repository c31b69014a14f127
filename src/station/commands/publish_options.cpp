#include "station/commands/publish_options.h"

namespace tarnwick {

CLI::Option* addPublishOption(CLI::App& command, std::vector<std::string>& urls,
                              const std::string& what) {
  return command.add_option("--publish", urls, what)->allow_extra_args(false)->option_text("URL");
}

CLI::Option* addPasswordFileOption(CLI::App& command, std::string& passwordFile) {
  return command
      .add_option("--broker-password-file", passwordFile,
                  "The broker's password is this file's first line (keep it readable by its "
                  "owner only); else it is TARNWICK_BROKER_PASSWORD's")
      ->option_text("FILE");
}

void addTlsOptions(CLI::App& command, TlsFiles& files) {
  command
      .add_option("--tls-ca", files.caFile,
                  "amqps://: trust the broker's certificate when this CA (PEM) signed it, "
                  "instead of the system's trusted roots")
      ->option_text("FILE");
  command
      .add_option("--tls-cert", files.certFile,
                  "amqps://: present this client certificate (PEM), with --tls-key; without a "
                  "password the certificate is the login (SASL EXTERNAL)")
      ->option_text("FILE");
  command
      .add_option("--tls-key", files.keyFile,
                  "amqps://: the client certificate's private key (PEM, not encrypted)")
      ->option_text("FILE");
}

void addPublishOptions(CLI::App& command, PublishOptions& options) {
  addPublishOption(command, options.urls,
                   "Send each result as an IPC-CFX UnitsTested message to this AMQP 1.0 broker "
                   "address, through the outbox; repeat it for each broker of a cluster");
  addPasswordFileOption(command, options.passwordFile);
  addTlsOptions(command, options.tls);
  command
      .add_option("--outbox", options.outbox,
                  "Where results wait until the broker takes them (default: the user's state "
                  "folder)")
      ->option_text("DIR");
  command
      .add_option("--cfx-handle", options.handle,
                  "This station's CFX handle (default Tarnwick.Station.<host name>)")
      ->option_text("HANDLE");
}

}  // namespace tarnwick
