#pragma once

#include <functional>
#include <ostream>
#include <span>
#include <string>

namespace sumiro {

/// Seconds on some clock; the self-test reads the wall clock, tests inject their own.
using SecondsClock = std::function<double()>;

/// The wall clock in seconds since the epoch.
double wallClockSeconds();

/// True when any argument is exactly "--self-test".
bool wantsSelfTest(std::span<const std::string> arguments);

/// Loads the data from the last argument's directory, runs the fourteen checks, writes one
/// PASS/FAIL line each and the closing line to `out`; returns the exit status (0 or 1).
/// A load failure writes only the error's description and returns 1.
int runSelfTest(std::span<const std::string> arguments, std::ostream& out,
                const SecondsClock& clock = wallClockSeconds);

/// Seconds in the shortest decimal that reads back to the same double, always with a fraction
/// ("2.5", "12.0").
std::string formatSeconds(double seconds);

}  // namespace sumiro
