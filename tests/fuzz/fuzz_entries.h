// The readers as a fuzzer or the regression driver feeds them: each entry
// takes the bytes of one input, puts them where the program would find them
// and runs the program's own import, open or load on them. A fresh headless
// program (all global objects, an empty job) is made once per process; what
// an input changed in the job is undone before the next one (and by
// ReleaseFuzzInput), what it left alone is not touched again.
//
// Inputs of the tape imports may begin with the byte 0x01 and four option
// bytes answering the import's format dialog: byte 1 bit 0 metric; byte 2
// the integer digits typed (low four bits) and the decimal digits typed
// (high four bits); byte 3 bit 0 trailing zeros kept, bit 1 incremental;
// byte 4 the axis version (modulo 8, plus 1). Without them the dialog is
// accepted as it comes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using TFuzzEntry = void (*)(const uint8_t* data, std::size_t size);

// The target names: "nc_reader", "drill_import", "rout_import",
// "cad_import", "gerber", "job_file", "swap_basic", "swap_filter",
// "filter_lists", "registry_file", "dxf", "odb", "odb_tree", "lzw", "hpgl", "ipc", "esi",
// "igi_post", "gcadd", "detect", "editor_file", "plot_spec", "tool_tables",
// "error_log", "settings".
const std::vector<std::string>& FuzzTargetNames();
// The entry of a target, nullptr for an unknown name.
TFuzzEntry FindFuzzEntry(const std::string& name);

// Removes the homes (korvex_fuzz_PID_*) in the folder of fuzz processes that
// are no longer running. The fuzzer ends most runs without the process's
// exit handlers, which would have removed its own home.
void RemoveEndedFuzzHomes(const std::string& folder);

// What the last input made the program show (message box texts), for the
// regression driver's log.
const std::vector<std::string>& LastFuzzMessages();
// Drops what the last input left for the log, so that an input ends with
// the allocations it began with, but for the job.
void ReleaseFuzzInput();

// A long reading (a tape of a few bytes may repeat its holes up to the
// reader's limits of 100,000 a line and 1,000,000 a tape, and its lines up
// to 4,000,000) is cut once it has made more than the limit of holes, moves
// or entities, ten lines read counting as one: the import's Cancel is
// pressed, the counting reader stops. 0, the start value, for no limit. The
// fuzzer sets kFuzzWorkLimit; the regression driver runs each input without
// a limit, and again with it when it went past.
constexpr int64_t kFuzzWorkLimit = 500;
void SetFuzzWorkLimit(int64_t limit);
// The most work (as above) one import of the last input made.
int64_t LastFuzzWork();
