#include "discovery/default_identities.h"

namespace tarnwick {

// Entry 0: Quectel EC25 LTE module / USB dongle (vendor 2c7c, product 0125).
// Entry 1: Huawei E3372 LTE USB stick in its serial-modem ("stick") mode
//          (vendor 12d1, product 1506), as are other Huawei sticks of that
//          firmware family.
const char* const defaultVendorIds[kDefaultIdentityCount] = {"2c7c", "12d1"};
const char* const defaultProductIds[kDefaultIdentityCount] = {"0125", "1506"};

DeviceIdentity defaultIdentity(unsigned index) {
  return DeviceIdentity{defaultVendorIds[index], defaultProductIds[index]};
}

}  // namespace tarnwick
