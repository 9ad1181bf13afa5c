// UserClock: the time of day with seconds in the main window's clock panel.
// The 250 ms timer ticks it; it reads the system time adaptively (about
// once a second once settled) and redraws only the character cells that
// changed. Zeros are drawn as the letter "O".
#pragma once
#include <cstdint>
#include <string>

class TPaintBox;

class TUserClock {
 public:
  // Reads the time into both the shown and the read fields. Paints on the
  // panel (null: nothing is painted).
  explicit TUserClock(TPaintBox* panel = nullptr);
  virtual ~TUserClock();
  TUserClock(const TUserClock&) = delete;
  TUserClock& operator=(const TUserClock&) = delete;

  // Full paint of the panel (its holder is sized to the text).
  void Paint();
  // The timer's step.
  void Tick();
  // Reads the time now and shows it; lets pending messages run.
  void Refresh();
  // Called after every change of the shown time.
  virtual void SecondChanged() {}

  // " 9:05:07 pm" for 21:05:07 (zeros not yet replaced).
  static std::string ClockText(int hour, int minute, int second);

  bool Painted = false;
  uint16_t ShownHour = 0, ShownMinute = 0, ShownSecond = 0, ShownMillisecond = 0;
  uint16_t ReadHour = 0, ReadMinute = 0, ReadSecond = 0, ReadMillisecond = 0;
  int32_t PollInterval = 0;
  int32_t PollCountdown = 0;
  int32_t Grace = 0;
  std::string ShownText;
  int32_t CellWidth = 0;

 private:
  void ReadTime();
  void DrawChangedTime();
  std::string DisplayText() const;
  void DrawCell(size_t index, char c);
  TPaintBox* Panel_;
};

// Created eighth at start-up; null before and after.
extern TUserClock* UserClock;
