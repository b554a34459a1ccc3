#pragma once

class UserDefaults;

// Whether the user shares usage data to improve the service: the boolean user default
// "improveDataSharing", read directly at every call. Absent, or not a boolean, counts as true.
namespace ImproveConfig {

bool enabled();
bool enabled(const UserDefaults &defaults);

} // namespace ImproveConfig
