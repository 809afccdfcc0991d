#pragma once

// The vendor web server, as host[:port], that every online feature talks
// to: the update check, score posting, the online score list and the links
// of the about window. It comes from the build (PEGSQUARE_VENDOR_HOST) so
// that a build for players and a local test set-up differ in one place.
inline constexpr char kVendorHost[] = PEGSQUARE_VENDOR_HOST;
