#pragma once
// The process-wide life-cycle hooks that every layer may use without knowing the application:
// the fatal-error path, the "process is ending" mark, and the event pump of the calling thread.

#include <string_view>

// Ends the process on an unrecoverable error; `message` is GBK text naming the error. Runs the
// installed handler (the application shows a box and ends with exit status 255); without one
// it writes the message to standard error and exits with 255. Never returns.
[[noreturn]] void FatalError(std::string_view message);

// The handler must not return; if it does, the process exits with 255 anyway.
using FatalErrorHandler = void (*)(std::string_view message);
void SetFatalErrorHandler(FatalErrorHandler handler);

// Set once by the end sequence; long-running work (transfers, control operations, pattern
// matching) checks it and gives up with its empty result.
void MarkProcessEnding();
bool ProcessIsEnding();

// Lets the user-interface toolkit process pending events when a routine on its thread waits
// for the network. The installed pump decides itself whether the calling thread is its own.
using EventPump = void (*)();
void SetEventPump(EventPump pump);
void PumpEvents();
