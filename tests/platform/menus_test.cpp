#include <gtest/gtest.h>

#include "korvex_test.h"
#include "platform/forms.h"
#include "platform/headless/headless_menus.h"
#include "platform/menus.h"

namespace {

class MenusTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessMenus();
    OnApplicationHint = nullptr;
    SetApplicationHint("");
  }
};

// The shape of a mode menu: a File menu, a View menu with a radio sub-menu,
// an Edit menu whose drop-down enables Undo.
struct TModeMenu {
  TMainMenu Menu{"CadMenu"};
  std::vector<std::string> log;
  bool undoAvailable = false;

  TModeMenu() {
    auto& file = Menu.Add("&File", "File1");
    file.Add("&Open", "Open1").SetShortCut("F3").OnClick = [this](TMenuItem& i) { log.push_back(i.Name()); };
    file.AddSeparator();
    file.Add("E&xit", "Exit1").OnClick = [this](TMenuItem& i) { log.push_back(i.Name()); };
    auto& units = Menu.Add("&View", "View1").Add("&Units", "Units1");
    units.Add("&Inches", "Inches1").SetRadioItem(true, 1).SetChecked(true);
    units.Add("&Millimeters", "Millimeters1").SetRadioItem(true, 1);
    for (auto& item : units.Items())
      item->OnClick = [this](TMenuItem& i) {
        i.SetChecked(true);
        log.push_back(i.Name());
      };
    auto& edit = Menu.Add("&Edit", "Edit3");
    edit.OnPopup = [this](TMenuItem& e) {
      log.push_back("popup " + e.Name());
      e.Find("&UnDo")->SetEnabled(undoAvailable);
    };
    edit.Add("&UnDo", "UnDo1").SetShortCut("Alt+Backspace").SetHint("[OO] Undo").OnClick =
        [this](TMenuItem& i) { log.push_back(i.Name()); };
  }
};

TEST_F(MenusTest, ClickingByCaptionPathRunsDropDownsThenTheItem) {
  TModeMenu m;
  EXPECT_TRUE(ClickMenu(m.Menu, "&File|&Open"));
  EXPECT_TRUE(ClickMenu(m.Menu, "File|Exit"));  // the marks may be left out
  EXPECT_FALSE(ClickMenu(m.Menu, "&File|&Close"));
  EXPECT_FALSE(ClickMenu(m.Menu, "&File|-"));
  EXPECT_EQ(m.log, (std::vector<std::string>{"Open1", "Exit1"}));

  // The drop-down decides whether Undo can be chosen.
  m.log.clear();
  EXPECT_FALSE(ClickMenu(m.Menu, "&Edit|&UnDo"));
  m.undoAvailable = true;
  EXPECT_TRUE(ClickMenu(m.Menu, "&Edit|&UnDo"));
  EXPECT_EQ(m.log, (std::vector<std::string>{"popup Edit3", "popup Edit3", "UnDo1"}));
  EXPECT_TRUE(ClickMenu(m.Menu, "&Edit"));  // only drops down
  EXPECT_EQ(m.log.back(), "popup Edit3");

  // A hidden or disabled menu on the way blocks everything below it.
  m.log.clear();
  m.Menu.FindItem("File1")->SetEnabled(false);
  EXPECT_FALSE(ClickMenu(m.Menu, "&File|&Open"));
  EXPECT_FALSE(m.Menu.ClickShortCut("F3"));
  m.Menu.FindItem("File1")->SetEnabled(true);
  EXPECT_TRUE(m.Menu.ClickShortCut("f3"));
  EXPECT_FALSE(m.Menu.ClickShortCut("F4"));
  EXPECT_EQ(m.log, std::vector<std::string>{"Open1"});

  // A shortcut drops down the menus above its item first: Undo, disabled
  // when the menu last opened, acts once there is something to undo.
  m.undoAvailable = false;
  EXPECT_TRUE(ClickMenu(m.Menu, "&Edit"));
  m.undoAvailable = true;
  m.log.clear();
  EXPECT_TRUE(m.Menu.ClickShortCut("Alt+Backspace"));
  EXPECT_EQ(m.log, (std::vector<std::string>{"popup Edit3", "UnDo1"}));
}

TEST_F(MenusTest, RadioItemsTickOneOfTheirGroupAndHintsReachTheApplication) {
  TModeMenu m;
  auto* inches = FindMenuItem(m.Menu, "&View|&Units|&Inches");
  auto* mm = FindMenuItem(m.Menu, "&View|&Units|&Millimeters");
  ASSERT_TRUE(inches && mm);
  EXPECT_TRUE(ClickMenu(m.Menu, "&View|&Units|&Millimeters"));
  EXPECT_TRUE(mm->Checked());
  EXPECT_FALSE(inches->Checked());
  // Plain ticks are independent.
  auto& a = m.Menu.Items().Add("A");
  auto& b = m.Menu.Items().Add("B");
  a.SetChecked(true);
  b.SetChecked(true);
  EXPECT_TRUE(a.Checked());

  int hints = 0;
  OnApplicationHint = [&] { ++hints; };
  m.Menu.FindItem("UnDo1")->Highlight();
  EXPECT_EQ(ApplicationHint(), "[OO] Undo");
  m.Menu.FindItem("UnDo1")->Highlight();
  EXPECT_EQ(hints, 1);
  OnApplicationHint = nullptr;
  EXPECT_EQ(StripAccelerator("Re&Do && more&"), "ReDo & more");
}

TEST_F(MenusTest, FormsSwapMainMenusAndForgetDestroyedOnes) {
  TForm form("TWorkspace");
  TModeMenu cad;
  TMainMenu working("WorkingMenu");
  working.Add("Working...");
  form.SetMenu(&cad.Menu);
  EXPECT_EQ(form.Menu(), &cad.Menu);
  form.SetMenu(&working);
  EXPECT_EQ(form.Menu(), &working);
  EXPECT_TRUE(cad.Menu.Forms().empty());
  EXPECT_EQ(working.Forms(), std::vector<TForm*>{&form});
  {
    TMainMenu temporary("Temp");
    form.SetMenu(&temporary);
  }
  EXPECT_EQ(form.Menu(), nullptr);
  form.SetMenu(&working);
}

TEST_F(MenusTest, PopupMenusDropDownAndRecordWhereTheyShowed) {
  TPopupMenu popup("LayerPopup");
  int popups = 0;
  popup.OnPopup = [&](TPopupMenu&) { ++popups; };
  bool erased = false;
  popup.Add("&Erase").OnClick = [&](TMenuItem&) { erased = true; };
  popup.Popup(120, 40);
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(LastPopupMenu(), &popup);
  EXPECT_EQ(LastPopupPoint(), (TPoint{120, 40}));
  EXPECT_TRUE(ClickMenu(*LastPopupMenu(), "Erase"));
  EXPECT_TRUE(erased);
  {
    TPopupMenu gone;
    gone.Popup(0, 0);
  }
  EXPECT_EQ(LastPopupMenu(), nullptr);
}

}  // namespace
