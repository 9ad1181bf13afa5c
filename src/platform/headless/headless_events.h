// The headless events backend: a virtual clock.
//
// Time stands still until a test advances it. HeadlessAdvanceTime fires
// every timer that falls due within the step, in the order of the due
// times (timers due at the same moment in the order they were started),
// with the clock set to each due time while its handler runs. A timer due
// several times within one step fires each time. ProcessMessages runs the
// hook a test installed (for example to press Cancel, or to advance the
// clock while a long operation polls) and then the timers already due.
#pragma once
#include <cstdint>
#include <functional>

#include "platform/events.h"

void HeadlessAdvanceTime(uint32_t ms);
// Milliseconds since the virtual clock was last reset (not wrapped).
uint64_t HeadlessElapsed();
// Sets the local date and time that the virtual clock shows now; it runs on
// from there as time is advanced.
void HeadlessSetLocalTime(const TDateTimeParts& now);
// Runs on every ProcessMessages (not re-entered from within itself); an
// empty function removes it.
void HeadlessSetProcessMessagesHook(std::function<void()> hook);
// Back to the start: the clock at 0 with the local time taken from the
// system clock, no hook, running timers restarted from 0.
void HeadlessResetEvents();

// The headless backend object (the default of EventsBackend()).
TEventsBackend& HeadlessEventsBackend();
