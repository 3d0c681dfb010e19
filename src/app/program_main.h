#pragma once
// The program's life: start-up, the message loop and the end sequence.

#include <functional>

class MainWindow;

// Runs the program and returns its exit code, 0 after the main window has been closed. A fatal
// error ends the process instead, with exit status 255. `afterShown` lets a test drive the
// shown window from inside the message loop.
int ProgramMain(int argc, char** argv,
                const std::function<void(MainWindow&)>& afterShown = nullptr);

// For tests: called each time the exit routine runs.
void SetExitRoutineObserverForTesting(void (*observer)());
