// Program start-up, the fifteen global objects and shutdown.
//
// RunProgram is the whole program: the single-instance check, the main
// window's creation (which loads the settings and creates the global
// objects in their fixed order), the message loop, and the way out (the
// settings saved, the objects destroyed in their fixed order, the scratch
// files deleted). The Qt entry point and the headless tests both run it.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class TJobDatabase;
#include "model/editor_state.h"  // DatabaseFileName

class TWorkspace;
class TUndoJournal;

// The short product name of the single-instance lock.
inline constexpr const char* ShortProductName = "KORVEX";
// "Orbenwright, Inc. " + name + " : Previous Semaphore".
std::string InstanceLockName(const std::string& shortName);

// A global object could not be created: its message was shown and the
// program stops without saving anything.
class EStartupFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One entry of the creation order: the object's name, whether it exists,
// and how it is created (a nil result is a failure) and destroyed. An
// object whose unit is not part of the program yet has no creator and is
// skipped.
struct TGlobalObject {
  std::string Name;
  std::function<bool()> Create;
  std::function<void()> Destroy;
  std::function<bool()> Exists;
};
// The fifteen objects in creation order.
const std::vector<TGlobalObject>& GlobalObjects();
// The destruction order (by name); LayerBar sits among them.
const std::vector<std::string>& ShutDownOrder();

// Creation of one object fails (tests): the name's creator returns nil.
void SetFailingObject(const std::string& name);

// Installs what the model asks of the subsystems above it (the compensator,
// the clean-up, the tool buttons, the interpreter's arc parameters).
void InstallModelServices();

// Start-up steps. StartUp: install the model's services, clear the object
// pointers, set the paths and create the working folders, reset and load the
// settings, reset the tool tables, CreateGlobalObjects.
void StartUp();
void CreateGlobalObjects();
// Shows Name + " object failed to start" in an error box and throws
// EStartupFailed.
[[noreturn]] void FailedToStart(const std::string& name);
// Tool buttons, the compensation button, the layer bar (which selects the
// first editor mode) and the interpreter's first pointer event.
void SetupLayerBar();
// Destroys the global objects in shutdown order, then DeleteScratchFiles.
void ShutDown();
// Erases ExecutionPath + "SCRATCH\*.TMP"; errors are ignored.
void DeleteScratchFiles();
// Erases only the empty ones (left by a run that did not reach its exit).
void DeleteEmptyScratchFiles();

// The main window's creation (its FormCreate): returns the ready window.
// Throws EStartupFailed when an object failed to start.
std::unique_ptr<TWorkspace> CreateWorkspace();
// The main window's close: false when the user cancelled (the job was not
// saved). FormClose then saves the settings and shuts down.
bool FormCloseQuery();
void FormClose();

// The program. messageLoop runs the event loop until the main window has
// closed (or, in tests, drives the window); it is not called in a second
// instance. Returns the exit code: 0, or 1 when start-up failed.
int RunProgram(const std::function<int()>& messageLoop);

// The job: New clears the three databases, the layer masks, the modified
// flags and file names, the layer names and the three journals, after the
// running command was cancelled. False when the user kept the job.
bool NewJob();
// New without the question: the running command cancelled, the three
// databases, layer masks, modified flags, file names, layer names and
// journals cleared.
void ClearJob();
// Asks whether to save a modified job before it is dropped: true when the
// caller may go on. The job file unit sets it; until then there is no job
// file to save and the answer is always yes.
extern std::function<bool()> JobFileSaveQuery;

// The undo journal and the database of an editor mode.
TUndoJournal* ModeUndo(uint8_t mode);
TJobDatabase* ModeDatabase(uint8_t mode);
