#pragma once

#include <QProcessEnvironment>
#include <QStringList>

#include <optional>

// The two environment switches of the onboarding wizard: one forces it at launch, the other pins
// it to one page. Each reads the kit's own name first, then the host's further names in order.
namespace OnboardingKitEnv {

inline const QString forcedName = QStringLiteral("TARVOSS_ONBOARDING");
inline const QString pageName = QStringLiteral("TARVOSS_ONBOARDING_PAGE");

// True when any of the names holds exactly "1" ("true", "01" or " 1" do not count).
bool forced(const QStringList &legacy);
bool forced(const QStringList &legacy, const QProcessEnvironment &environment);

// The first of the names whose value is a whole decimal number: an optional single sign, then
// ASCII digits only, within the signed 64-bit range. Negative numbers are returned as they are;
// the caller clamps. An empty or unreadable value passes on to the next name.
std::optional<qint64> pinnedPage(const QStringList &legacy);
std::optional<qint64> pinnedPage(const QStringList &legacy, const QProcessEnvironment &environment);

// The number in `text` by the rule above.
std::optional<qint64> parsePage(const QString &text);

} // namespace OnboardingKitEnv
