#pragma once

// The names of the D-Bus interface that Sumiro's fcitx5 addon exports on fcitx5's own
// session-bus connection. Shared by the addon and the pad; free of Qt and fcitx headers.

namespace sumiro::fcitx5 {

/// Bus name the addon owns while it is loaded, never queued for and never handed over while
/// it lives; no activation file exists for it, so calling it never starts anything.
inline constexpr char service[] = "jp.local.Sumiro.Fcitx5";
inline constexpr char path[] = "/jp/local/Sumiro";
inline constexpr char interface[] = "jp.local.Sumiro.Fcitx5";

// Methods (arguments → results):
//   Commit(s text, s pad) → s program     commits text to the focused input context
//   PressKey(u keysym, s pad) → s program  forwards a bare key press and release to it
//   FocusedProgram() → (b focused, s program)
//   Version() → s
// Signal: FocusChanged(b focused, s program), on every focus-in and focus-out of a context.
// `pad` is the pad's own program name: a context of that program (the pad's own search field)
// is refused. The program name is empty where the frontend does not tell (Wayland).
// Only the pad may call Commit, PressKey and FocusedProgram: a caller whose executable is not
// the pad's is refused, and so are texts with control characters or longer than maxText
// scalars, and keys other than those of input/Keys.h.
inline constexpr char noFocusError[] = "jp.local.Sumiro.Error.NoFocus";
inline constexpr char padFocusedError[] = "jp.local.Sumiro.Error.PadFocused";
inline constexpr char refusedError[] = "jp.local.Sumiro.Error.Refused";
inline constexpr unsigned maxText = 32;
/// Executables, besides the pad's own, whose calls the addon accepts: a colon-separated list
/// in fcitx5's environment, for tests that deliver from their own process.
inline constexpr char extraPadsVariable[] = "SUMIRO_FCITX5_EXTRA_PADS";

}  // namespace sumiro::fcitx5
