#include "workspace/startup.h"

#include <unistd.h>

#include <filesystem>
#include <map>

#include "command/command_services.h"
#include "command/command_interpreter.h"
#include "command/rubber_brain.h"
#include "command/user_panel.h"
#include "foundation/display_units.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/single_instance.h"
#include "tapeout/tool_tables.h"
#include "workspace/clock_panel.h"
#include "workspace/workspace.h"

std::function<bool()> JobFileSaveQuery = [] { return true; };
std::string DatabaseFileName;

namespace {
std::string FailingObject;
std::unique_ptr<TWorkspaceViewServices> WorkspaceServices;

// Creates one object into its global; a constructor that throws counts as
// a nil result.
template <class T, class... Args>
bool Make(T*& global, Args&&... args) {
  if (global != nullptr) return true;
  try {
    global = new T(std::forward<Args>(args)...);
  } catch (...) {
    global = nullptr;
  }
  return global != nullptr;
}

template <class T>
void Free(T*& global) {
  T* object = global;
  global = nullptr;
  delete object;
}

TPaintBox* CommandStrip() { return Workspace != nullptr ? &Workspace->CommandPaintBox : nullptr; }
TPaintBox* ClockPanelBox() { return Workspace != nullptr ? &Workspace->ClockPanel : nullptr; }

// Built-in rout tools 1 to 4: diameter, high feed, low feed.
struct TBuiltInRoutTool {
  int32_t Diameter;
  uint16_t HighFeed;
  uint16_t LowFeed;
};
constexpr TBuiltInRoutTool BuiltInRoutTools[4] = {
    {812800, 6350, 2540},
    {1574800, 6350, 2540},
    {2362200, 10160, 5080},
    {3175000, 10160, 5080},
};

// The working folders tested for existence; the others are tested for
// being writable.
bool TestedForExistence(const std::string& name) {
  return name == "DNC" || name == "INDATA" || name == "SWAP";
}

void SetPathsAndFolders() {
  const std::string home = ExecutionPath();
  std::error_code ec;
  std::filesystem::create_directories(NativePath(home), ec);
  if (::chdir(NativePath(home).c_str()) != 0) {
    // The folders below are made by their full names all the same.
  }
  for (const char* name : WorkingDirectoryNames) {
    const std::string folder = home + name + "\\";
    const bool present = TestedForExistence(name) ? DirectoryExists(folder)
                                                   : DirectoryIsWritable(folder);
    if (!present) std::filesystem::create_directory(NativePath(home + name), ec);
  }
  SetLastDirectoryDefaults();
  LoadLastDirectories();
}

void ResetAndLoadSettings() {
  DisplaySequenceNumbers = false;
  ZeroZeroLines = true;
  ShowG93 = true;
  Metric = false;
  Version = 1;
  UnitsPerDisplayUnit = Metric ? MetricUnitsPerDisplayUnit : InchUnitsPerDisplayUnit;
  SnapToGrid = false;
  DisplayGrid = false;
  EditorMode = emCad;
  LoadAllSettings();

  ImportFilters.fill(TFilterRecord{});
  ExportFilters.fill(TFilterRecord{});
  RoutLayerExportFilter.fill(0);
  DrillExportFilter = 0;
  RoutImportFilter = 0;
  DrillImportFilter = 0;
  LoadFilterSettings();

  GerberImportDefaults = TGerberFormatRecord{};
  GerberImportDefaults.ZeroUsage = 1;
  GerberImportDefaults.IntegerDigits = 2;
  GerberImportDefaults.DecimalDigits = 4;
  GerberImportDefaults.IncrementalMode = false;
  GerberImportDefaults.Metric = false;
  LoadGerberImportDefaults();
}

void ResetToolTables() {
  for (int layer = kFirstRoutLayer; layer <= kLastRoutLayer; ++layer)
    RoutToolPages[layer].Fill(TRoutToolRecord{});
  ToolTable.Fill(TToolRecord{});
  LoadDefaultRoutToolPage();
  for (int layer = kFirstRoutLayer; layer <= kLastRoutLayer; ++layer) {
    for (int tool = 1; tool <= 4; ++tool) {
      const TBuiltInRoutTool& builtIn = BuiltInRoutTools[tool - 1];
      TRoutToolRecord& record = RoutToolPages[layer][tool];
      record.Diameter = EquivalentToolSize(builtIn.Diameter, false);
      record.CompDiameter = record.Diameter;
      record.HighFeed = builtIn.HighFeed;
      record.LowFeed = builtIn.LowFeed;
    }
    if (!DefaultToolFile.empty()) LoadRoutToolPage(DefaultToolFile, layer);
    RoutLayerTools[layer] = TRoutLayerTool{1, 1};
  }
}

// The editor mode of a layer: 0..29 CAD, 30..39 drill, 40..44 rout.
uint8_t ModeOfLayer(uint8_t layer) {
  if (layer >= 40) return emRout;
  if (layer >= 30) return emDrill;
  return emCad;
}
}  // namespace

std::string InstanceLockName(const std::string& shortName) {
  return "Orbenwright, Inc. " + shortName + " : Previous Semaphore";
}

void SetFailingObject(const std::string& name) { FailingObject = name; }

const std::vector<TGlobalObject>& GlobalObjects() {
  auto entry = [](std::string name, std::function<bool()> create, std::function<void()> destroy,
                  std::function<bool()> exists) {
    return TGlobalObject{std::move(name), std::move(create), std::move(destroy), std::move(exists)};
  };
  static const std::vector<TGlobalObject> objects = {
      entry("CadUndo", [] { return Make(CadUndo); }, [] { Free(CadUndo); },
            [] { return CadUndo != nullptr; }),
      // The rout and drill journals come with their databases.
      entry("RoutUndo", nullptr, nullptr, nullptr),
      entry("DrillUndo", nullptr, nullptr, nullptr),
      // The view state and the screen picture come with the view.
      entry("MyScreen", nullptr, nullptr, nullptr),
      entry("DBBitmap", nullptr, nullptr, nullptr),
      entry("ButtonManager", [] { return Make(ButtonManagerObject); },
            [] { Free(ButtonManagerObject); }, [] { return ButtonManagerObject != nullptr; }),
      entry("UserPanel",
            [] { return Make(UserPanel, CommandStrip()); },
            [] { Free(UserPanel); }, [] { return UserPanel != nullptr; }),
      entry("UserClock",
            [] { return Make(UserClock, ClockPanelBox()); },
            [] { Free(UserClock); }, [] { return UserClock != nullptr; }),
      entry("DB", [] { return Make(DB); }, [] { Free(DB); }, [] { return DB != nullptr; }),
      entry("ECO", [] { return Make(ECO); }, [] { Free(ECO); }, [] { return ECO != nullptr; }),
      entry("RubberBrain", [] { return Make(RubberBrain); }, [] { Free(RubberBrain); },
            [] { return RubberBrain != nullptr; }),
      entry("RubberPaint", nullptr, nullptr, nullptr),
      entry("RTDB", nullptr, nullptr, nullptr),
      entry("DRDB", nullptr, nullptr, nullptr),
      entry("Seq", nullptr, nullptr, nullptr),
  };
  return objects;
}

const std::vector<std::string>& ShutDownOrder() {
  static const std::vector<std::string> order = {
      "DRDB",    "RTDB",          "Seq",         "RubberBrain", "ECO",      "DB",
      "LayerBar", "UserClock",    "UserPanel",   "ButtonManager", "RubberPaint", "DBBitmap",
      "MyScreen", "CadUndo",      "RoutUndo",    "DrillUndo"};
  return order;
}

TUndoJournal* ModeUndo(uint8_t mode) {
  switch (mode) {
    case emCad: return CadUndo;
    default: return nullptr;
  }
}

void* ModeDatabase(uint8_t mode) {
  switch (mode) {
    case emCad: return DB;
    default: return nullptr;
  }
}

void FailedToStart(const std::string& name) {
  MessageDlg(name + " object failed to start", mtError, mbOKOnly);
  throw EStartupFailed(name + " object failed to start");
}

void CreateGlobalObjects() {
  for (const TGlobalObject& object : GlobalObjects()) {
    if (object.Create) {
      const bool created = object.Name != FailingObject && object.Create();
      if (!created) FailedToStart(object.Name);
    }
    // The three journals exist: the CAD journal is the first active one.
    if (object.Name == "DrillUndo") ActiveUndo = CadUndo;
  }
}

void StartUp() {
  SetPathsAndFolders();
  ResetAndLoadSettings();
  ResetToolTables();
  CreateGlobalObjects();
}

void SetupLayerBar() {
  TControl* panel = Workspace != nullptr ? &Workspace->CadButtonPanel : nullptr;
  ButtonManager().AddButtons(panel);
  ButtonManager().AddCommandHints();
  // The initial layer makes its mode current: menu, tool buttons, ActiveDB
  // and ActiveUndo.
  if (CurrentLayer >= LayerCount) CurrentLayer = 0;
  if (Workspace != nullptr) {
    switch (ModeOfLayer(CurrentLayer)) {
      case emDrill: Workspace->SetDrillMode(); break;
      case emRout: Workspace->SetRoutMode(); break;
      default: Workspace->SetCadMode(); break;
    }
  }
  if (ECO != nullptr) {
    TInputEvent first;
    first.Kind = ievMouseMove;
    ECO->HandleEvent(first);
  }
}

void DeleteScratchFiles() { DeleteMatchingFiles(ExecutionPath() + "SCRATCH\\", "*.TMP"); }

void ShutDown() {
  std::map<std::string, const TGlobalObject*> byName;
  for (const TGlobalObject& object : GlobalObjects()) byName[object.Name] = &object;
  for (const std::string& name : ShutDownOrder()) {
    auto it = byName.find(name);
    if (it != byName.end() && it->second->Destroy) it->second->Destroy();
  }
  ActiveUndo = nullptr;
  ActiveDB = nullptr;
  DeleteScratchFiles();
}

std::unique_ptr<TWorkspace> CreateWorkspace() {
  auto form = std::make_unique<TWorkspace>();
  Workspace = form.get();
  WorkspaceReady = false;
  AppClosing = false;
  ViewServices().SetCursor(crHourGlass);
  ProcessMessages();
  try {
    StartUp();
  } catch (...) {
    Workspace = nullptr;
    ShutDown();
    throw;
  }
  WorkspaceServices = std::make_unique<TWorkspaceViewServices>(*form);
  SetViewServices(WorkspaceServices.get());
  SetUndoWindow(form.get());
  form->BuildMenus();
  form->SetBounds(MainFormBounds.Left, MainFormBounds.Top, MainFormBounds.Width,
                  MainFormBounds.Height);
  SetupLayerBar();
  WorkspaceReady = true;
  form->Show();
  ProcessMessages();
  if (form->ViewResize) form->ViewResize();
  HelpFileName = ExecutionPath() + "HELP\\KORVEX6.HLP";
  ViewServices().SetCursor(crDefault);
  ProcessMessages();
  return form;
}

bool FormCloseQuery() { return JobFileSaveQuery(); }

void FormClose() {
  TWorkspace* form = Workspace;
  if (form != nullptr) {
    form->Hide();
    // The Layout family keeps the window's bounds.
    MainFormBounds = {form->Left(), form->Top(), form->Width(), form->Height()};
  }
  WorkspaceReady = false;
  AppClosing = true;
  ProcessMessages();
  SaveLastDirectories();
  SaveAllSettings();
  SaveFilterSettings();
  if (form != nullptr) form->CloseStatus();
  SetUndoWindow(nullptr);
  SetViewServices(nullptr);
  WorkspaceServices.reset();
  ShutDown();
}

int RunProgram(const std::function<int()>& messageLoop) {
  InitUtilities();
  SeedTempFileCounter(10);
  std::unique_ptr<TWorkspace> form;
  TSingleInstanceLock instance(InstanceLockName(ShortProductName), [] {
    if (Workspace != nullptr) Workspace->BringToFront();
  });
  if (!instance.IsFirst()) {
    DoneUtilities();
    return 0;
  }
  const std::string registryError = OpenPersistentRegistry();
  if (!registryError.empty()) MessageDlg(registryError, mtWarning, mbOKOnly);
  try {
    form = CreateWorkspace();
  } catch (const EStartupFailed&) {
    DoneUtilities();
    return 1;
  }
  OnApplicationHint = [] {
    if (Workspace != nullptr) Workspace->DisplayHint();
  };
  const int rc = messageLoop();
  // A loop that ended without the window's close still shuts down.
  if (Workspace != nullptr && WorkspaceReady) FormClose();
  OnApplicationHint = nullptr;
  Workspace = nullptr;
  form.reset();
  std::string saveError;
  if (!TRegistryStore::Instance().Flush(&saveError)) MessageDlg(saveError, mtError, mbOKOnly);
  DoneUtilities();
  return rc;
}

bool NewJob() {
  if (!JobFileSaveQuery()) return false;
  if (ECO != nullptr) {
    TInputEvent cancel = CommandEvent(cmdCancel);
    ECO->HandleEvent(cancel);
  }
  if (DB != nullptr) DB->Clear();
  ResetLayerMasks();
  DatabaseModified = false;
  DatabaseFileName.clear();
  InitLayerNames();
  if (CadUndo != nullptr) CadUndo->Reset();
  return true;
}
