#include "workspace/startup.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "command/command_interpreter.h"
#include "command/command_services.h"
#include "command/rubber_brain.h"
#include "command/user_panel.h"
#include "foundation/display_units.h"
#include "foundation/file_utils.h"
#include "foundation/settings.h"
#include "foundation/settings_families.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/drill_tools.h"
#include "model/rout_database.h"
#include "model/rout_entities.h"
#include "model/rout_handles.h"
#include "model/rout_sequence.h"
#include "model/step_connections.h"
#include "model/drill_tools.h"
#include "model/tool_tables.h"
#include "platform/canvas.h"
#include "platform/events.h"
#include "platform/message_box.h"
#include "platform/file_ops.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/single_instance.h"
#include "plot/plot_device.h"
#include "routpath/edit_step_dialog.h"
#include "routpath/slot_settings_dialogs.h"
#include "tapeout/make_drill_tape.h"
#include "routpath/step_repeat_dialog.h"
#include "routpath/contour_offset.h"
#include "workspace/clock_panel.h"
#include "workspace/db_bitmap.h"
#include "workspace/error_inspector.h"
#include "workspace/error_log.h"
#include "workspace/import_host_adapter.h"
#include "workspace/job_file.h"
#include "workspace/layer_dialogs.h"
#include "workspace/layers.h"
#include "workspace/my_screen.h"
#include "workspace/offscreen_bitmaps.h"
#include "workspace/small_dialogs.h"
#include "workspace/view_mapping.h"
#include "workspace/view_setup.h"
#include "workspace/workspace.h"
#include "workspace/workspace_rout_services.h"

std::function<bool()> JobFileSaveQuery = [] { return true; };

namespace {
std::string FailingObject;
std::unique_ptr<TWorkspaceViewServices> WorkspaceServices;
std::unique_ptr<TWorkspaceDialogHost> WorkspaceDialogs;
std::unique_ptr<TWorkspaceRoutEditServices> WorkspaceRoutServices;
std::unique_ptr<TWorkspaceImportHost> WorkspaceImportHost;

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
    const std::string folder = home + name + PathDelim;
    const bool present = TestedForExistence(name) ? DirectoryExists(folder)
                                                   : DirectoryIsWritable(folder);
    if (!present) std::filesystem::create_directory(NativePath(home + name), ec);
  }
  // A fresh install has no paper list yet: without one no plot file can be made.
  WriteDefaultPaperSpecsIfMissing();
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
  MainFormMaximized = LoadMainFormMaximized();

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
  ToolTable.Fill(TToolRecord{});
  LoadDefaultRoutToolPage();
  const TRoutToolPage defaults = DefaultRoutToolPage();
  for (int layer = kFirstRoutLayer; layer <= kLastRoutLayer; ++layer) {
    RoutToolPages[layer] = defaults;
    RoutLayerTools[layer] = TRoutLayerTool{1, 1};
  }
}

// The off-screen bitmap: three times the screen each way, at the screen's
// colour depth.
void CreateOffscreenBitmap() {
  if (OffscreenBitmap != nullptr) return;
  const TScreenMetrics screen = ScreenMetrics();
  OffscreenBitmap =
      new TEncapsulatingBitmap(3 * screen.Width, 3 * screen.Height, screen.BitsPerPixel);
}

void FreeOffscreenBitmap() { Free(OffscreenBitmap); }

bool CreateScreenPicture() {
  if (OffscreenBitmap == nullptr) return false;
  if (!Make(DBBitmap, *OffscreenBitmap)) return false;
  DrawSurface = DBBitmap;
  return true;
}

void FreeScreenPicture() {
  if (DrawSurface == DBBitmap) DrawSurface = nullptr;
  Free(DBBitmap);
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
      entry("RoutUndo", [] { return Make(RoutUndo); }, [] { Free(RoutUndo); },
            [] { return RoutUndo != nullptr; }),
      entry("DrillUndo", [] { return Make(DrillUndo); }, [] { Free(DrillUndo); },
            [] { return DrillUndo != nullptr; }),
      entry("MyScreen", CreateMyScreen, FreeMyScreen, [] { return MyScreen != nullptr; }),
      // The screen picture on the off-screen bitmap; every entity draws
      // through it.
      entry("DBBitmap", CreateScreenPicture, FreeScreenPicture,
            [] { return DBBitmap != nullptr; }),
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
      entry("RubberPaint", CreateRubberPaint, FreeRubberPaint,
            [] { return RubberPaint != nullptr; }),
      entry("RTDB", [] { return Make(RTDB); }, [] { Free(RTDB); }, [] { return RTDB != nullptr; }),
      entry("DRDB", [] { return Make(DRDB); }, [] { Free(DRDB); }, [] { return DRDB != nullptr; }),
      entry("Seq", [] { return Make(Seq); }, [] { Free(Seq); }, [] { return Seq != nullptr; }),
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
    case emDrill: return DrillUndo;
    case emRout: return RoutUndo;
    default: return CadUndo;
  }
}

TJobDatabase* ModeDatabase(uint8_t mode) {
  switch (mode) {
    case emDrill: return DRDB;
    case emRout: return RTDB;
    default: return DB;
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
  InstallModelServices();
  // A file size limit makes every writer (job, tapes, tables) report a write
  // error instead of ending the program.
  IgnoreFileSizeSignal();
  SetPathsAndFolders();
  ResetAndLoadSettings();
  // The 45 layers carry their default names ("0".."29", "D0".."D9",
  // "R0".."R4") from the start, as after File New.
  InitLayerNames();
  ResetToolTables();
  // A run that ended without its exit (killed, or the machine went down)
  // left its scratch files; the empty ones (journals that never held a
  // change) go before this run's journals make theirs. Anything with
  // contents stays until the normal exit clears the folder.
  DeleteEmptyScratchFiles();
  CreateGlobalObjects();
  // The program starts with an empty, unnamed job that has nothing to save.
  DatabaseModified = false;
  RoutLayerModified.Fill(false);
  DatabaseFileName.clear();
  DrillTapeFileName.clear();
  RoutLayerFileNames.Fill(std::string());
  InstallJobFileOperations();
  // The step commands of both editors reach each other's database and the
  // Edit Steps dialog.
  InstallStepConnections();
  SetEditStepDialog([](TEditStepLists& table) {
    TModalBracket bracket;
    return RunEditStepDialog(table, EditorMode == emRout);
  });
  // Make Drill Tape's "C&ircle/Slot" button, in the tape's units.
  SetSlotAlgorithmDialog([](bool metric) { ExecuteSlotAlgorithmDialog(metric); });
  SetStepRepeatDialog([] {
    TModalBracket bracket;
    return ExecuteStepRepeatDialog();
  });
  // The tape reader offsets compensated moves through the contour engine.
  InstallContourOffsetEngine();
}

void ConnectWorkspace(TWorkspace& form) {
  // The view works on the window's drawing area and serves the view calls;
  // the layer model and the databases reach the window through it.
  ConnectView(form, *WorkspaceServices);
  // The error log's "Last command" line.
  SetCurrentCommandHook([] {
    std::string text;
    if (ECO != nullptr) ECO->GetCurrentCommand(text);
    return text;
  });
  WorkspaceDialogs = std::make_unique<TWorkspaceDialogHost>(form);
  SetDialogHost(WorkspaceDialogs.get());
  WorkspaceRoutServices = std::make_unique<TWorkspaceRoutEditServices>();
  SetRoutEditServices(WorkspaceRoutServices.get());
  WorkspaceImportHost = std::make_unique<TWorkspaceImportHost>();
  SetImportHost(WorkspaceImportHost.get());
}

void SetupLayerBar() {
  TControl* panel = Workspace != nullptr ? &Workspace->CadButtonPanel : nullptr;
  ButtonManager().AddButtons(panel);
  ButtonManager().AddCommandHints();
  // The play buttons wait for a single-step play.
  for (int32_t c : {PlayNextCutCommand, PlayNextPathCommand, PlayBackCutCommand, PlayBackPathCommand})
    ButtonManager().DisableButton(c);
  // The compensation button of RTDB's side goes down, and the menu agrees.
  if (RTDB != nullptr) {
    const int32_t sideCommands[] = {47, 46, 48};
    ButtonManager().Press(sideCommands[RTDB->AutoRoutCompensation <= 2 ? RTDB->AutoRoutCompensation : 0]);
  }
  if (Workspace != nullptr) Workspace->ShowCompensationSide();
  if (DBBitmap != nullptr) DBBitmap->Reset();
  // The layer bar makes the initial layer current, which selects its mode:
  // menu, tool buttons, ActiveDB and ActiveUndo.
  if (Workspace != nullptr) ConnectLayerBar(*Workspace);
  if (ECO != nullptr) {
    TInputEvent first;
    first.Kind = ievMouseMove;
    ECO->HandleEvent(first);
  }
}

void DeleteScratchFiles() { DeleteMatchingFiles(ExecutionPath() + "SCRATCH" + PathDelim, "*.TMP"); }

void DeleteEmptyScratchFiles() {
  const std::string folder = ExecutionPath() + "SCRATCH" + PathDelim;
  std::vector<std::string> empty;
  TDirSearch search;
  TSearchRec rec;
  for (bool more = search.FindFirst(folder + "*.TMP", faArchive, rec); more; more = search.FindNext(rec))
    if (FileSizeOf(folder + rec.Name) == 0) empty.push_back(folder + rec.Name);
  search.FindClose();
  for (const std::string& name : empty) ::unlink(NativePath(name).c_str());
}

void ShutDown() {
  std::map<std::string, const TGlobalObject*> byName;
  for (const TGlobalObject& object : GlobalObjects()) byName[object.Name] = &object;
  for (const std::string& name : ShutDownOrder()) {
    if (name == "LayerBar") {
      delete LayerBar;  // its destructor clears the global
      LayerBar = nullptr;
      continue;
    }
    auto it = byName.find(name);
    if (it != byName.end() && it->second->Destroy) it->second->Destroy();
  }
  DisconnectView(WorkspaceServices.get());
  SetCurrentCommandHook(nullptr);
  RemoveStepConnections();
  SetEditStepDialog(nullptr);
  SetSlotAlgorithmDialog(nullptr);
  SetStepRepeatDialog(nullptr);
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
  ShowSplash();
  try {
    CreateOffscreenBitmap();
    StartUp();
  } catch (...) {
    Workspace = nullptr;
    HideSplash();
    ShutDown();
    FreeOffscreenBitmap();
    throw;
  }
  WorkspaceServices = std::make_unique<TWorkspaceViewServices>(*form);
  SetViewServices(WorkspaceServices.get());
  SetUndoWindow(form.get());
  ConnectWorkspace(*form);
  // The panels the user hid in Options stay hidden, and the drawing area
  // takes the chosen background, as the Options dialog leaves them.
  DialogHost().ShowLayerPanel(ShowLayerButtons);
  DialogHost().ShowToolbarPanel(ShowToolbar);
  DialogHost().SetDrawingAreaColor(BackgroundColor);
  form->BuildMenus();
  // The about box in its start-up form; closing it takes the splash away.
  ViewServices().SetCursor(crDefault);
  ShowAboutBox(true);
  ViewServices().SetCursor(crHourGlass);
  ProcessMessages();
  // The window opens centred on the screen. Its design size is a small
  // window: on a first start (the Layout family still holds the design
  // bounds) it takes most of the screen instead.
  {
    const TScreenMetrics screen = ScreenMetrics();
    int32_t width = MainFormBounds.Width, height = MainFormBounds.Height;
    if (MainFormBounds == TMainFormBounds{}) {
      width = std::max(width, screen.Width * 9 / 10);
      height = std::max(height, screen.Height * 9 / 10);
    }
    const int32_t left = std::max((screen.Width - width) / 2, 0);
    const int32_t top = std::max((screen.Height - height) / 2, 0);
    form->SetBounds(left, top, width, height);
    form->SetScreenCentred(true);
    form->SetClientSize(width, height);
    form->SetMaximized(MainFormMaximized);
  }
  SetupLayerBar();
  OnApplicationHint = [] {
    if (Workspace != nullptr) Workspace->DisplayHint();
  };
  WorkspaceReady = true;
  form->Show();
  ProcessMessages();
  if (form->ViewResize) form->ViewResize();
  HelpFileName = ExecutionPath() + "HELP" + PathDelim + "KORVEX6.HLP";
  ViewServices().SetCursor(crDefault);
  ProcessMessages();
  return form;
}

bool FormCloseQuery() { return JobFileSaveQuery(); }

void FormClose() {
  TWorkspace* form = Workspace;
  if (form != nullptr) {
    MainFormMaximized = form->Maximized();
    form->Hide();
    // The Layout family keeps the window's bounds: those of the normal
    // window, also when it is maximised or minimised now.
    const TRect normal = form->NormalBounds();
    MainFormBounds = {normal.Left, normal.Top, normal.Width(), normal.Height()};
  }
  WorkspaceReady = false;
  AppClosing = true;
  OnApplicationHint = nullptr;
  ProcessMessages();
  SaveLastDirectories();
  SaveAllSettings();
  SaveMainFormMaximized(MainFormMaximized);
  SaveFilterSettings();
  if (form != nullptr) {
    form->CloseStatus();
    form->HidePleaseWait();
  }
  SetUndoWindow(nullptr);
  SetViewServices(nullptr);
  SetDialogHost(nullptr);
  SetRoutEditServices(nullptr);
  ShutDown();
  FreeOffscreenBitmap();
  WorkspaceDialogs.reset();
  WorkspaceRoutServices.reset();
  SetImportHost(nullptr);
  WorkspaceImportHost.reset();
  WorkspaceServices.reset();
  // The main window's close is the end of the program.
  TerminateApplication();
}

int RunProgram(const std::function<int()>& messageLoop) {
  std::unique_ptr<TWorkspace> form;
  TSingleInstanceLock instance(InstanceLockName(ShortProductName), [] {
    // A later start comes here: the user must see a window, hidden or not.
    if (Workspace == nullptr || !WorkspaceReady) return;
    if (!Workspace->Showing()) Workspace->Show();
    Workspace->BringToFront();
  });
  // A second instance has asked the first to come forward: it ends here,
  // before it touches anything, saying why (started from a shell, on another
  // display or with no display, nothing else would tell).
  if (!instance.IsFirst()) {
    std::fprintf(stderr, "%s is already running for this user: that copy was asked to show its window, and this one ends.\n",
                 ShortProductName);
    return 0;
  }
  InitUtilities();
  SeedTempFileCounter(10);
  const std::string registryError = OpenPersistentRegistry();
  if (!registryError.empty()) MessageDlg(registryError, mtWarning, mbOKOnly);
  try {
    form = CreateWorkspace();
  } catch (const EStartupFailed&) {
    DoneUtilities();
    return 1;
  }
  // Run-time errors that escape an operation go to the error log.
  InstallErrorInspector();
  const int rc = messageLoop();
  // A loop that ended without the window's close still shuts down.
  if (Workspace != nullptr && WorkspaceReady) FormClose();
  OnApplicationHint = nullptr;
  Workspace = nullptr;
  form.reset();
  DoneErrorInspector();
  std::string saveError;
  if (!TRegistryStore::Instance().Flush(&saveError)) MessageDlg(saveError, mtError, mbOKOnly);
  DoneUtilities();
  return rc;
}

bool NewJob() {
  if (!JobFileSaveQuery()) return false;
  ClearJob();
  return true;
}

void ClearJob() {
  if (ECO != nullptr) {
    TInputEvent cancel = CommandEvent(cmdCancel);
    ECO->HandleEvent(cancel);
  }
  if (DB != nullptr) DB->Clear();
  if (RTDB != nullptr) RTDB->Clear();
  if (DRDB != nullptr) DRDB->Clear();
  ResetLayerMasks();
  DatabaseModified = false;
  RoutLayerModified.Fill(false);
  DrillTapeFileName.clear();
  DatabaseFileName.clear();
  ForgetJobFile();
  InitLayerNames();
  RoutLayerFileNames.Fill(std::string());
  for (TUndoJournal* journal : {ModeUndo(emCad), ModeUndo(emRout), ModeUndo(emDrill)})
    if (journal != nullptr) journal->Reset();
}
