#pragma once
#include <cstdint>
#include <mutex>
#include <string>

#include "registry_key.h"

namespace ostra {

class PictureControls;
class SensorDevice;

// Numbered sets of camera settings kept in the user's key store, one key per team:
// team n under "Software\VELMAR\Pelion\setup" followed by the letter 'a' + n. The
// number of the team in use is "paraTeam" under team 0's key, written only once team
// 0 has been saved.
//
// Save writes sixteen values in a fixed order; Read applies them in a fixed order
// through the sensor device's setters, so each is clamped and sent as it is applied.
// A value missing from a team keeps the current setting. Teams are letters: numbers
// past 'z' (26 and up) have no key and are refused.
//
// Save, Read and the lookup of the stored number take turns on one lock, since they
// share the open key.
class ParameterTeams {
  public:
    static constexpr int kTeamCount = 26;

    // The key path of `team`, empty for a number without a letter.
    static std::string keyPath(int team);

    // Saves the current settings as team `team` (low byte) and makes it the team in
    // use. False when the team has no letter or its key can be neither opened nor
    // created (nothing written then).
    bool save(int team, SensorDevice& device, const PictureControls& controls);
    // Reads team `team` (low byte) and applies it; it becomes the team in use. False,
    // with nothing changed, when the team has no letter or no key.
    bool read(int team, SensorDevice& device, PictureControls& controls);
    // The low byte of "paraTeam" under team 0's key; 0 when the key or the value is
    // missing.
    std::uint8_t storedTeam();
    // Start-up: takes the stored number as the team in use and reads that team. A
    // stored number without a letter is replaced by team 0.
    void loadStoredTeam(SensorDevice& device, PictureControls& controls);

    std::uint8_t teamInUse() const;

  private:
    bool readLocked(std::uint8_t team, SensorDevice& device, PictureControls& controls);

    mutable std::mutex lock_;
    RegistryKey key_;
    std::uint8_t teamInUse_ = 0;
};

}  // namespace ostra
