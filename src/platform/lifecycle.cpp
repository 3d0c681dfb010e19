#include "platform/lifecycle.h"

#include <atomic>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "platform/codepage.h"

namespace {
std::atomic<FatalErrorHandler> fatalHandler{nullptr};
std::atomic<bool> processEnding{false};
std::atomic<EventPump> eventPump{nullptr};
} // namespace

void FatalError(std::string_view message) {
    if (FatalErrorHandler handler = fatalHandler.load())
        handler(message);
    const std::string line = GbkToUtf8(message) + "\n";
    (void)!write(STDERR_FILENO, line.data(), line.size());
    _exit(255);
}

void SetFatalErrorHandler(FatalErrorHandler handler) {
    fatalHandler.store(handler);
}

void MarkProcessEnding() {
    processEnding.store(true);
}
bool ProcessIsEnding() {
    return processEnding.load(std::memory_order_relaxed);
}

void SetEventPump(EventPump pump) {
    eventPump.store(pump);
}
void PumpEvents() {
    if (EventPump pump = eventPump.load())
        pump();
}
