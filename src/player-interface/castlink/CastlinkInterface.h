#pragma once

namespace quillon::castlink {

// How the application and the Castlink helper tool talk: the tool is a service on the system
// bus, and these names and signatures are the whole contract between the two (the tool is built
// on its own, so neither side may change them alone).
//
//   IsPrivilegedHelperRunning() -> ()
//       Any reply means that the tool still runs; only the bus's answer that nobody owns the
//       service name (ServiceUnknown, NameHasNoOwner) means that it has gone.
//   GetPrivilegedHelperVersion() -> (ay archive)
//       The installed version: a keyed archive whose root object is a PrivilegedHelperVersion,
//       stored under its class name kPrivilegedHelperVersionClassName.
//   UninstallPrivilegedHelper() -> (b failed, s domain, x code, s description)
//       failed false: the tool removed itself (domain, code and description are empty or 0).
//       failed true: why it could not, as an error of that domain and code; an empty
//       description leaves the text to the application.
//
// A D-Bus error reply to any call is a failure of the connection, not of the tool's work.
inline constexpr const char* kServiceName = "org.quillon.player.mac.castlink";
inline constexpr const char* kObjectPath = "/org/quillon/player/mac/castlink";
inline constexpr const char* kInterfaceName = "org.quillon.player.mac.castlink.CastlinkInterface";

inline constexpr const char* kIsPrivilegedHelperRunningMethod = "IsPrivilegedHelperRunning";
inline constexpr const char* kGetPrivilegedHelperVersionMethod = "GetPrivilegedHelperVersion";
inline constexpr const char* kUninstallPrivilegedHelperMethod = "UninstallPrivilegedHelper";

}  // namespace quillon::castlink
