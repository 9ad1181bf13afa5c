// The drill data as a Gerber (RS-274X) photoplot file, written beside a drill
// tape when the make-tape options ask for it: one round aperture per tool
// (its diameter), one flash per hit, slots, circles, drilled text and steps
// expanded to their hits. Inch 2.4 or millimetre 3.3 with leading zeros
// omitted, absolute.
#pragma once
#include <string>
#include <vector>

#include "tapeout/drill_tape_writer.h"

std::vector<std::string> BuildDrillGerberLines(const TDrillTapeProgram& program, bool metric);

// The name of the Gerber file of a tape: the folder (the Gerber path, else
// the tape's own folder) and the tape's bare name with ".GBR".
std::string DrillGerberFileName(const std::string& gerberPath, const std::string& tapeName);

// The drill layers as a Gerber file (temporary file and rename); false after
// a message.
bool WriteDrillGerberFile(const std::string& fileName, bool metric);
