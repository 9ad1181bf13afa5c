// The ESI laser file: the drill layers written for a laser drill in the ESI
// 5100 dialect, the form the ESI import reads back.
//
//   %
//   (ESI 5100)
//   T0 <tool>        the tool that follows
//   T2 <size>        its diameter
//   T1 1             holes from here on
//   X<x> Y<y>        one line per hole
//   M02
//
// Coordinates and sizes are in thousandths of a millimetre, with up to three
// decimals where the database holds more. Slots, circles, drilled text and
// step-and-repeat are drilled as the single hits they expand to.
#pragma once
#include <string>
#include <vector>

#include "tapeout/drill_tape_writer.h"

// The lines of a program (fully expanded).
std::vector<std::string> BuildEsiLaserLines(const TDrillTapeProgram& program);

// The ESI laser file of the displayed drill layers, in the drilling order of
// the make-tape optimiser, into the file (temporary file and rename). True
// when written; false after a message.
bool WriteEsiLaserFile(const std::string& fileName);

// The menu command: asks for the file ("Save ESI Laser File as:") and writes
// it. True when written.
bool MakeEsiLaserFile();
