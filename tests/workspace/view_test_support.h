// Fixture of the view and layer tests: a small form holding the drawing
// area's controls, MyScreen and RubberPaint on it, and MyScreen serving the
// view calls of the databases.
#pragma once
#include <memory>

#include "command/command_services.h"
#include "foundation/display_units.h"
#include "foundation/settings.h"
#include "korvex_test.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/view_services.h"
#include "platform/forms.h"
#include "platform/headless/headless_dialogs.h"
#include "platform/headless/headless_forms.h"
#include "platform/paths.h"
#include "workspace/layers.h"
#include "workspace/my_screen.h"
#include "workspace/view_mapping.h"

class TViewForm : public TForm {
 public:
  TViewForm() : TForm("TViewForm") {
    SetClientSize(400, 300);
    PaintBox = &Add<TPaintBox>("PaintBox");
    PaintBox->SetBounds(0, 0, 300, 200);
    XRoot = &Add<TPanel>("XScrollbarRoot");
    XRoot->SetBounds(0, 200, 300, 17);
    Horizontal = &XRoot->Add<TScrollBar>("HorizontalScrollbar", sbHorizontal);
    YRoot = &Add<TPanel>("YScrollbarRoot");
    YRoot->SetBounds(300, 0, 17, 200);
    Vertical = &YRoot->Add<TScrollBar>("VerticalScrollbar", sbVertical);
    Coordinates = &Add<TPaintBox>("CoordinatePanel");
    Coordinates->SetBounds(0, 230, 200, 20);
    LayerPanel = &Add<TPanel>("LayerPanel");
    LayerPanel->SetBounds(320, 0, 80, 300);
  }
  TViewControls Controls() {
    return {PaintBox, Horizontal, Vertical, XRoot, YRoot, Coordinates};
  }
  TPaintBox* PaintBox;
  TPanel* XRoot;
  TScrollBar* Horizontal;
  TPanel* YRoot;
  TScrollBar* Vertical;
  TPaintBox* Coordinates;
  TPanel* LayerPanel;
};

class TViewTest : public TKorvexTest {
 protected:
  void SetUp() override {
    TKorvexTest::SetUp();
    ResetHeadlessViewServices();
    ResetModalScripts();
    ViewHooks = {};
    LayerHooks = {};
    CurrentCompensationSide = nullptr;
    ResetLayerMasks();
    CurrentLayer = 0;
    EditorMode = emCad;
    GridStep = 1.0;
    HeadlessButtonBar().States.clear();
    Form = std::make_unique<TViewForm>();
    Paint = std::make_unique<TRubberPaint>();
    RubberPaint = Paint.get();
    // The screen picture the view renders into, as start-up makes it (the
    // fixed buffer of a deep display).
    Offscreen = std::make_unique<TEncapsulatingBitmap>(1200, 900, 32);
    OffscreenBitmap = Offscreen.get();
    Picture = std::make_unique<TDBBitmap>(*Offscreen);
    DBBitmap = Picture.get();
    Screen = std::make_unique<TMyScreen>();
    MyScreen = Screen.get();
    Screen->Attach(Form->Controls());
    Services = std::make_unique<TMyScreenViewServices>(*Screen);
    SetViewServices(Services.get());
  }
  void TearDown() override {
    SetViewServices(nullptr);
    delete LayerBar;
    LayerBar = nullptr;
    Services.reset();
    MyScreen = nullptr;
    Screen.reset();
    DBBitmap = nullptr;
    Picture.reset();
    OffscreenBitmap = nullptr;
    Offscreen.reset();
    RubberPaint = nullptr;
    Paint.reset();
    Form.reset();
    if (DB != nullptr) {
      delete DB;
      DB = nullptr;
      delete CadUndo;
      CadUndo = nullptr;
      ActiveUndo = nullptr;
    }
    ViewHooks = {};
    LayerHooks = {};
    ResetModalScripts();
    ResetHeadlessViewServices();
    TKorvexTest::TearDown();
  }
  void CreateDatabase() {
    ASSERT_TRUE(EnsureWorkingDirectories());
    CadUndo = new TCadUndo();
    ActiveUndo = CadUndo;
    DB = new TCadDatabase();
  }
  // Counts full renders of the picture.
  int CountRenders() {
    auto count = std::make_shared<int>(0);
    Renders = count;
    ViewHooks.DrawOriginMarks = [count] { ++*count; };
    return 0;
  }
  std::shared_ptr<int> Renders;
  std::unique_ptr<TViewForm> Form;
  std::unique_ptr<TRubberPaint> Paint;
  std::unique_ptr<TEncapsulatingBitmap> Offscreen;
  std::unique_ptr<TDBBitmap> Picture;
  std::unique_ptr<TMyScreen> Screen;
  std::unique_ptr<TMyScreenViewServices> Services;
};

constexpr double UnitsPerInchD = 25400000.0;
