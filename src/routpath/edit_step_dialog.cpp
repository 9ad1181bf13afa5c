#include "routpath/edit_step_dialog.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "foundation/display_units.h"
#include "foundation/nc_format.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "platform/message_box.h"
#include "foundation/nc_word_decoder.h"

namespace {

constexpr const char* kOrientationWords[8] = {"",    "M70",    "M80",    "M70M80",
                                              "M90", "M70M90", "M80M90", "M70M80M90"};

std::string NumberText(int32_t offset, const TStepTextFormat& f) {
  const double value = double(offset) / double(f.UnitsPerDisplayUnit);
  const int32_t total = f.IntegerDigits + f.DecimalDigits;
  switch (f.ZerosUsed) {
    case 1: return FormatNCNumberLZ(f.DecimalDigits, value);
    case 2: return FormatNCNumber(f.IntegerDigits, total, value);
    case 3: return FormatDecimalNumber(f.DecimalDigits, value);
    default: return FormatNCNumberTZ(f.IntegerDigits, total, value);
  }
}

std::string CheckLineText(int32_t line) { return "\r\nCheck line " + std::to_string(line) + " for errors."; }

}  // namespace

TStepTextFormat CurrentStepTextFormat(bool routEditing) {
  TStepTextFormat f;
  const uint8_t integer = routEditing ? (Metric ? RoutOutputFormat.MetricIntegerDigits
                                                : RoutOutputFormat.IntegerDigits)
                                      : (Metric ? DrillOutputFormat.MetricIntegerDigits
                                                : DrillOutputFormat.IntegerDigits);
  const uint8_t decimal = routEditing ? (Metric ? RoutOutputFormat.MetricDecimalDigits
                                                : RoutOutputFormat.DecimalDigits)
                                      : (Metric ? DrillOutputFormat.MetricDecimalDigits
                                                : DrillOutputFormat.DecimalDigits);
  f.IntegerDigits = integer;
  f.DecimalDigits = decimal;
  f.ZerosUsed = routEditing ? RoutOutputFormat.ZerosUsed : DrillOutputFormat.ZerosUsed;
  f.Version = Version;
  f.UnitsPerDisplayUnit = UnitsPerDisplayUnit > 0 ? UnitsPerDisplayUnit : InchUnitsPerDisplayUnit;
  return f;
}

std::vector<std::string> StepListText(const TStepCommandList& list, const TStepTextFormat& format) {
  std::vector<std::string> lines{"M01"};
  for (std::size_t i = 0; i < list.size(); ++i) {
    const TStepCommand& c = list[i];
    if (c.Command != 0) continue;  // pattern marks are not written
    int32_t x = 0, y = 0;
    OrientPoint(c.DX, c.DY, format.Version, x, y);
    uint8_t code = 0;
    if (!ConvertOrientationVersion(c.Orientation, 1, code, format.Version)) code = 0;
    const std::string nx = NumberText(x, format), ny = NumberText(y, format);
    // Only a plain closing zero step is the bare "M02"; a repeated or turned
    // one keeps its R and orientation words.
    if (i + 1 == list.size() && x == 0 && y == 0 && c.Count <= 1 && (code & 7) == 0) {
      lines.push_back("M02");
      continue;
    }
    std::string line = c.Count > 1 ? "R" + std::to_string(c.Count) : std::string();
    line += "M02X" + nx + "Y" + ny + kOrientationWords[code & 7];
    lines.push_back(line);
  }
  return lines;
}

TStepTextReading ReadStepText(std::array<std::vector<std::string>, 3>& panes,
                              const TStepTextFormat& format) {
  TStepTextReading r;
  SetNcWordFormats(0, format.ZerosUsed == 0 || format.ZerosUsed == 2, format.IntegerDigits,
                   format.DecimalDigits, format.ZerosUsed == 3);
  const double scale = double(format.UnitsPerDisplayUnit) /
                       std::pow(10.0, format.DecimalDigits < 0 ? 0 : format.DecimalDigits);
  int32_t earlierLines = 0;
  bool ended = false;
  for (int k = 0; k < 3 && !ended; ++k) {
    std::vector<std::string> kept;
    for (const std::string& raw : panes[k]) {
      const std::string line = CleanUpperCase(raw);
      if (!line.empty()) kept.push_back(line);
    }
    panes[k] = kept;  // blank lines go from the pane
    TStepCommandList& list = r.Lists[k];
    for (std::size_t n = 0; n < kept.size() && !ended; ++n) {
      auto fail = [&]() {
        r.Ok = false;
        r.ErrorPane = k;
        r.ErrorLine = int32_t(n) + 1;
        r.ErrorNumber = earlierLines + r.ErrorLine;
      };
      std::array<char, MaxNcWords> letters{};
      std::array<int32_t, MaxNcWords> values{};
      const int32_t count = DecodeNcBlock(kept[n], letters, values);
      int32_t first = 0;
      if (count > 1 && letters[0] == 'R') first = 1;
      if (count < 1 || letters[first] != 'M') {
        fail();
        return r;
      }
      const int32_t kind = values[first];
      if (kind == 1 || kind == 24) {
        if (n != 0) {
          fail();
          return r;
        }
        list.push_back({1, 1, 0, 0, 0});
      } else if (kind == 2 || kind == 26) {
        if (n == 0) list.push_back({1, 1, 0, 0, 0});
        int32_t repeat = 1, x = 0, y = 0;
        bool hasR = false, hasX = false, hasY = false;
        uint8_t flags = 0;
        for (int32_t w = 0; w < count; ++w) {
          const char l = letters[w];
          const int32_t v = values[w];
          if (l == 'R' && !hasR) repeat = v, hasR = true;
          else if (l == 'X' && !hasX) x = v, hasX = true;
          else if (l == 'Y' && !hasY) y = v, hasY = true;
          else if (l == 'M' && (v == 70 || v == 23)) flags |= 1;
          else if (l == 'M' && (v == 80 || v == 21)) flags |= 2;
          else if (l == 'M' && (v == 90 || v == 22)) flags |= 4;
        }
        // A repeat beyond what one expansion may make is refused here,
        // before anything is built from it.
        if (repeat < 1 || repeat > kMaxStepCopies) {
          fail();
          return r;
        }
        uint8_t code = 0;
        if (!ConvertOrientationVersion(flags, format.Version, code, 1)) code = 0;
        int32_t ux = 0, uy = 0;
        UnorientPoint(x, y, format.Version, ux, uy);
        const int32_t dx = SaturatingRound(ux * scale), dy = SaturatingRound(uy * scale);
        if (std::llabs(int64_t{dx}) >= 2147483647 || std::llabs(int64_t{dy}) >= 2147483647) {
          fail();
          return r;
        }
        list.push_back({0, repeat, dx, dy, code});
        r.LastStepLines[k] = int32_t(n) + 1;
      } else if (kind == 8 || kind == 27) {
        ended = true;
      } else {
        fail();
        return r;
      }
    }
    earlierLines += int32_t(kept.size());
  }
  return r;
}

TEditStepDialog::TEditStepDialog(const TStepTextFormat& format)
    : TForm("TEditStepDialog"), format_(format) {
  SetCaption("Edit Steps");
  SetSizeable(true);
  SetClientSize(kMinWidth, kMinHeight);
  auto& buttons = Add<TPanel>("ButtonPanel");
  buttons.SetAlign(alBottom);
  buttons.SetBevel(bvNone);
  TButton& ok = buttons.Add<TButton>("OKButton", "OK", mrOk).SetDefault(true);
  TButton& cancel = buttons.Add<TButton>("CancelButton", "Cancel", mrCancel).SetCancel(true);
  // OK 20 pixels left of the strip's centre, Cancel 20 pixels right of it.
  const TPoint size = cancel.PreferredSize();
  buttons.SetHeight(size.Y + 16);
  buttons.OnResize = [&ok, &cancel, size](TControl& strip) {
    ok.SetBounds(strip.Width() / 2 - 20 - size.X, 8, size.X, size.Y);
    cancel.SetBounds(strip.Width() / 2 + 20, 8, size.X, size.Y);
  };
  auto& area = Add<TPanel>("PanePanel");
  area.SetAlign(alClient);
  area.SetBevel(bvNone);
  for (int k = 0; k < 3; ++k) {
    TMemo& memo = area.Add<TMemo>("Step" + std::to_string(k + 1) + "Memo");
    memo.SetWordWrap(false);
    memo.SetScrollBars(true);
    memo.OnChange = [this, k](TControl&) {
      if (!filling_) modified_[k] = true;
    };
    panes_[k] = &memo;
  }
  // The panes shown share the pane area's height equally.
  area.OnResize = [this](TControl& panes) {
    std::vector<TMemo*> shown;
    for (TMemo* pane : panes_)
      if (pane->Visible()) shown.push_back(pane);
    if (shown.empty()) return;
    const int height = panes.Height() / int(shown.size());
    for (std::size_t k = 0; k < shown.size(); ++k)
      shown[k]->SetBounds(0, int(k) * height, panes.Width(), height);
  };
  // The window keeps room for its panes and buttons.
  OnResize = [this](TControl&) {
    if (Width() < kMinWidth || Height() < kMinHeight)
      SetClientSize(std::max(Width(), kMinWidth), std::max(Height(), kMinHeight));
  };
  // The first pane has the focus when the dialog opens (after a refused
  // table, the pane to correct: see ShowError).
  OnShow = [this](TForm&) {
    if (ErrorPane < 0) Pane(0)->SetFocus();
  };
  // OK ends the dialog only on a valid table.
  OnCloseQuery = [this](TForm& form, bool& canClose) {
    if (form.ModalResult() == mrOk && !Validate()) canClose = false;
  };
}

void TEditStepDialog::SetTable(const TEditStepLists& table) {
  filling_ = true;
  int last = -1;
  for (int k = 0; k < 3; ++k) {
    std::vector<std::string> lines;
    if (table[k]) {
      lines = StepListText(*table[k], format_);
      last = k;
    }
    Pane(k)->SetLines(lines);
  }
  if (last >= 0) {
    std::vector<std::string> lines = Pane(last)->Lines();
    lines.push_back("M08");
    Pane(last)->SetLines(lines);
  }
  // Levels 2 and 3 show only when they hold a list.
  const int shown = 3 - (table[1] ? 0 : 1) - (table[2] ? 0 : 1);
  for (int k = 0; k < 3; ++k) Pane(k)->SetVisible(k < shown);
  modified_ = {};
  filling_ = false;
}

bool TEditStepDialog::Validate() {
  std::array<std::vector<std::string>, 3> panes;
  for (int k = 0; k < 3; ++k) panes[k] = Pane(k)->Lines();
  const std::array<bool, 3> modified = modified_;
  TStepTextReading r = ReadStepText(panes, format_);
  filling_ = true;
  for (int k = 0; k < 3; ++k)
    if (panes[k] != Pane(k)->Lines()) Pane(k)->SetLines(panes[k]);
  filling_ = false;
  modified_ = modified;
  ErrorPane = -1;
  ErrorLine = 0;
  if (!r.Ok) {
    ErrorBox("Step && Repeat error." + CheckLineText(r.ErrorNumber));
    ErrorPane = r.ErrorPane;
    ErrorLine = r.ErrorLine;
    ShowError();
    return false;
  }
  TStepCommandList joined;
  for (const TStepCommandList& l : r.Lists) joined.insert(joined.end(), l.begin(), l.end());
  TStepCommandList offsets;
  int32_t position = 0;
  if (!ExpandStepList(false, joined, offsets, position)) {
    int32_t n = position;
    int pane = 0;
    const int32_t c1 = int32_t(r.Lists[0].size()), c2 = int32_t(r.Lists[1].size());
    if (n > c1) {
      n -= c1;
      pane = 1;
      if (n > c2) {
        n -= c2;
        pane = 2;
      }
    }
    ErrorBox("Step && Repeat out of bounds." + CheckLineText(position));
    ErrorPane = pane;
    ErrorLine = n;
    ShowError();
    return false;
  }
  // The last step of a level closes it and makes no copy of its own (a
  // tape's M08 closes its last level instead). A level typed as a tape, its
  // last step moving or repeating with no bare M02 after it, would lose
  // that copy unsaid; a table that makes no copy at all would give the
  // entity a pattern of none. Both are refused at the step to correct.
  int pane = -1;
  for (int k = 0; k < 3 && pane < 0; ++k) {
    const TStepCommandList& l = r.Lists[k];
    if (!l.empty() && l.back().Command == 0 && (l.back().DX != 0 || l.back().DY != 0 || l.back().Count > 1))
      pane = k;
  }
  if (pane < 0 && offsets.empty() && !joined.empty()) {
    // The line to correct: the last M02, else the first line of the table.
    for (int k = 3; k-- > 0 && pane < 0;)
      if (r.LastStepLines[k] > 0) pane = k;
    if (pane < 0) pane = r.Lists[0].empty() ? r.Lists[1].empty() ? 2 : 1 : 0;
  }
  if (pane >= 0) {
    ErrorPane = pane;
    ErrorLine = std::max(r.LastStepLines[pane], 1);
    int32_t number = ErrorLine;
    for (int k = 0; k < pane; ++k) number += int32_t(panes[k].size());
    ErrorBox("Step && Repeat makes no copy.\r\nThe last M02 of a level closes it and makes no copy of its own: "
             "end the level with a line M02 after its last step." +
             CheckLineText(number));
    ShowError();
    return false;
  }
  read_ = std::move(r.Lists);
  return true;
}

void TEditStepDialog::ShowError() {
  TMemo* pane = Pane(ErrorPane);
  pane->SetFocus();
  pane->SetSelection(pane->LineStart(ErrorLine - 1), 0);
}

void TEditStepDialog::GetTable(TEditStepLists& table) const {
  for (int k = 0; k < 3; ++k) {
    if (!modified_[k]) continue;
    if (read_[k].empty())
      table[k].reset();
    else
      table[k] = read_[k];
  }
}

bool RunEditStepDialog(TEditStepLists& table, bool routEditing) {
  TEditStepDialog dialog(CurrentStepTextFormat(routEditing));
  dialog.SetTable(table);
  if (dialog.ShowModal() != mrOk) return false;
  dialog.GetTable(table);
  return true;
}
