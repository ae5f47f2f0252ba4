#pragma once
// The updater program: refuses to run without the hand-over, runs once at a time, clears what the
// last update left, shows its dialog and empties its "temp" folder at the end.

namespace pavoline::updater {

constexpr unsigned kInstanceWaitMs = 10000;

// main(): the exit code.
int NovarelMain(int argc, char** argv);

} // namespace pavoline::updater
