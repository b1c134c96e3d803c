// Values of the setup database, test-mail and time-server options.
#include "option_values.h"

namespace orva::sim::detail {

bool ApplySetupOption(const std::string& name, const std::string& value, SimConfig& config,
                      bool& ok, std::string& error) {
  SimSetupConfig& setup = config.setup;
  if (name == "setup-version") {
    ok = ParseVersion(value, setup.major, setup.minor, error);
  } else if (name == "setup-fragment-bytes") {
    ok = ParseIn(value, 16, 65535, setup.fragmentBytes, error);
  } else if (name == "db-info-nack") {
    ok = ParseIn(value, INT32_MIN, INT32_MAX, setup.infoNack, error);
  } else if (name == "db-update-nack") {
    ok = ParseIn(value, INT32_MIN, INT32_MAX, setup.updateNack, error);
  } else if (name == "db-init-nack") {
    ok = ParseIn(value, INT32_MIN, INT32_MAX, setup.initNack, error);
  } else if (name == "test-mail-nack") {
    ok = ParseIn(value, INT32_MIN, INT32_MAX, setup.testMailNack, error);
  } else if (name == "setup-file") {
    ok = !value.empty();
    if (ok) {
      setup.file = value;
    } else {
      error = "a setup file needs a path";
    }
  } else if (name == "sys-etc-bytes") {
    ok = ParseIn(value, 0, 65535, setup.sysEtcBytes, error);
  } else if (name == "sys-etc-ex-bytes") {
    ok = ParseIn(value, 0, 65535, setup.sysEtcExBytes, error);
  } else if (name == "time-port") {
    ok = ParseIn(value, 0, 65535, setup.timePort, error);
  } else if (name == "time-offset") {
    // Up to one wrap of the protocol's 32-bit field either way.
    ok = ParseIn(value, -4294967296LL, 4294967296LL, setup.timeOffset, error);
  } else {
    return false;
  }
  return true;
}

}  // namespace orva::sim::detail
