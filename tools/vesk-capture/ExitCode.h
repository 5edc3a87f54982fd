// The exit statuses that --help documents; scripts depend on them.
#pragma once

namespace vcap {

constexpr int kExitDone = 0;
constexpr int kExitNoScanner = 1;
constexpr int kExitTimedOut = 2;
constexpr int kExitBadArguments = 3;
constexpr int kExitFailed = 4;

}  // namespace vcap
