// Blank tape: what a machine's tape reader passes over wherever it stands.
//
// Tape feed is the bytes a punch, a teleprinter or a serial link puts on a
// tape between the blocks: NUL (a punch's blank leader and trailer, a
// teleprinter's fill after each line end), DEL (a rubout punched over a
// wrong character) and the device control marks DC1 to DC4 (XON and XOFF
// of a serial link, the DC2 and DC4 that switch a tape punch on and off).
// A reader takes none of them as a character of a block: a block reads the
// same with feed before, after or inside it ("G01X02<NUL>1234" is X 2.1234).
//
// A line that holds no block after its feed, nothing but blanks (space,
// TAB) and DOS end marks (Ctrl-Z) among them, or nothing at all, is blank
// tape as well: no block is made of it. TAB inside a block is a blank.
//
// The tape line reader (swap_filter.h), Drill Import's format guess and the
// text-or-binary check of a tape file all go by these rules.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// The DOS end-of-file mark.
inline constexpr char kDosEndMark = '\x1a';

// What a DOS editor, a padded transfer or a punch leaves behind a tape's
// end: DOS end marks, NULs, blanks and line ends. A DOS end mark or a NUL
// that only such bytes follow ends the tape.
constexpr bool IsDosTailByte(char c) {
  return c == kDosEndMark || c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// NUL, DC1 (XON), DC2, DC3 (XOFF), DC4 or DEL.
constexpr bool IsTapeFeed(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u == 0 || u == 0x7f || static_cast<unsigned char>(u - 0x11) < 4;
}

// A blank: a space or a TAB, inside a block as on a line of blank tape.
constexpr bool IsTapeBlank(char c) { return c == ' ' || c == '\t'; }

// A byte that may stand on a line of blank tape: feed, a blank or a DOS end
// mark.
constexpr bool IsBlankTapeByte(char c) { return IsTapeFeed(c) || IsTapeBlank(c) || c == kDosEndMark; }

// The text holds tape feed.
bool HoldsTapeFeed(std::string_view text);

// What DropTapeFeed took out of a line.
struct TTapeFeedDropped {
  std::size_t Bytes = 0;  // feed bytes taken out
  bool Inside = false;    // some stood between two other characters of the line
};

// Takes the tape feed out of the line.
TTapeFeedDropped DropTapeFeed(std::string& line);

// The line is blank tape: nothing but feed, blanks and DOS end marks.
bool IsBlankTapeLine(std::string_view line);

// A tape reader reads the line (a line end's bytes not in it) as text: its
// feed passed over, it is blank tape or a block holding no byte a tape may
// not carry (HoldsTapeControlChar). A punch's leader, a link's XON and
// XOFF, "<DC2>%" read so; "M48<ESC>" does not.
bool ReadsAsTapeText(std::string_view line);

// Takes the blanks out of a block, as a tape reader reads past them: a
// word reads the same with a space or a TAB inside it.
void DropTapeBlanks(std::string& block);
