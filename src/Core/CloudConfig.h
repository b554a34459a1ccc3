#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// The cloud service's base address: the one origin (scheme, host and port, no path) that every
// request to the service goes to.
//
// The build's default origin serves everyone; the environment variable "SONORVELLE_CLOUD_URL"
// replaces it for a run (a staging service, or a loopback server under test) when it holds an
// absolute https origin, or an http origin on a loopback address. The choice is made once, at the
// first call (the launch makes it), and kept for the rest of the run.
namespace CloudConfig {

// The origin used when the environment names none.
inline constexpr char defaultBaseURL[] = "https://cloud.sonorvelle.org";
// The environment variable that replaces the default.
inline constexpr char overrideVariable[] = "SONORVELLE_CLOUD_URL";

// The base address of this run. Any thread.
QUrl baseURL();

// The address of an API endpoint: the base address followed by "api" and `path`, which may hold
// slashes of its own ("app/token" gives <base>/api/app/token).
QUrl endpoint(const QString &path);
QUrl endpoint(const QUrl &base, const QString &path);

// The base address chosen for an override text (empty: none). An override that is not an absolute
// http(s) origin (no host, another scheme, a path, a query, user information), or that is plain
// http to anything but a loopback address ("localhost", 127.0.0.0/8, ::1), is refused with a
// warning, and the default stands. Trailing slashes are dropped.
QUrl resolveBaseURL(const QByteArray &overrideText);

} // namespace CloudConfig
