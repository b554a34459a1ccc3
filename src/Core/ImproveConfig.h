#pragma once

class UserDefaults;

// Whether the user shares usage data to improve the service: the boolean user default
// "improveDataSharing", read directly at every call. Absent, or not a boolean, counts as true.
namespace ImproveConfig {

bool enabled();
bool enabled(const UserDefaults &defaults);

// Whether the user has seen the consent page of the first-run guide, where the sharing switches
// are offered. Until then nothing is uploaded: no usage events, no cleanup samples, no crash
// reports (events may wait in the queue). The boolean user default "consentShown"; absent, a
// guide already completed ("onboardingCompleted" true, written before the page was tracked)
// counts as seen, so existing installations go on as they were. Any thread.
bool consentGiven(const UserDefaults &defaults);

// Records whether the consent page has been seen. The guide stores false when it ends before the
// page, so that its "onboardingCompleted" is not taken for an earlier installation's.
void setConsentShown(UserDefaults &defaults, bool shown);

} // namespace ImproveConfig
