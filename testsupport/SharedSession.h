#pragma once

// One X session (and input method) for a whole test binary whose tests run the pad in the
// test's own process: it has to be there before the application object.

#include <optional>
#include <string>

#include "testsupport/InputMethodSession.h"
#include "testsupport/XSession.h"

namespace sumiro::testing {

/// The binary's X server with its window manager.
XSession& sharedSession();
/// Its input method; nullptr when none was asked for or it cannot run (see inputMethodMissing).
InputMethodSession* sharedInputMethod();
/// Why the input method asked for cannot run here; empty when it runs or none was asked for.
const std::string& inputMethodMissing();

/// main() of such a binary: starts the session (and the input method `kind`, whose client this
/// process becomes), points Qt at its display, makes the application and runs the tests. Only
/// listing the tests needs no session.
int runInSharedSession(int argc, char** argv,
                       std::optional<InputMethodSession::Kind> kind = std::nullopt);

}  // namespace sumiro::testing
