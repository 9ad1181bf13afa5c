// The rout-mode file commands around the rout tape import: open a rout tape
// into a layer, save a layer as a tape, write a layer to a scratch tape and
// read it back.
//
// A command that fails or is cancelled leaves the layer, its file name and
// its modified flag as they were; a tape saved over an existing one keeps
// the old one as a "~RT" backup, which comes back when the save fails.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/settings_families.h"
#include "model/editor_state.h"  // RoutLayerFileNames

// True when the layer may be replaced: unchanged, or the user answered No,
// or Yes and the save went through.
bool ConfirmRoutLayerSave(uint8_t layer);
// The Open Rout Tape command.
void OpenRoutTape(uint8_t layer);
// File dialog and import into the current rout layer; true when a tape was
// read.
bool SelectAndImportRoutFile();
// Imports with the output format and the current import filter, no dialog;
// true when the tape was read.
bool ReimportRoutFile(const std::string& fileName);
// "Save Rout file as:"; true when the tape was written.
bool SaveRoutFileAs(uint8_t layer);
// Writes the layer to a new scratch tape (SCRATCH\NNNNNNNN.TMP) through its
// export filter without a dialog; false (name empty) when it failed.
bool SaveRoutLayerToScratch(uint8_t layer, std::string& fileName);
// Before the layer is edited as the text of its tape: an information box
// naming the step patterns the tape cannot state as patterns and writes as
// plain copies, which the text read back makes of them. No box when there
// are none.
void TellRoutPatternsWrittenAsCopies(uint8_t layer);
// Replaces the current rout layer by the tape's content; the layer stays as
// it was when the tape cannot be read. The layer's G93 origin stays unless
// the tape sets one. True when it was replaced.
bool ReloadRoutLayer(const std::string& fileName);
