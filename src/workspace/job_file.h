// Opening and saving the job database file "*.ZUL": the open dialog, open
// with a wait box, save under the job's name with the previous file kept as
// "*.~ZU", save under a new name with an overwrite question, and the
// question whether to save before the job is dropped.
//
// All of them run inside the main window's modal bracket. A save writes a
// temporary file and renames it over the old one, so a failed save reports
// the system's error text and leaves the old file, the job's name and the
// modified flags as they were. An open reads and checks the whole file before
// the job is touched: a file that cannot be read leaves the job as it was.
#pragma once
#include <cstdint>
#include <string>

#include "model/editor_state.h"  // RoutLayerFileNames

// Job file extension, the dialogs' filter and proposal, the backup extension.
inline constexpr const char* JobFileExtension = "ZUL";
inline constexpr const char* JobFileMask = "*.ZUL";
inline constexpr const char* JobBackupExtension = "~ZU";

// The open dialog "Select file to open", proposing DatabasePath + "*.ZUL";
// true when a file was chosen (put into name) and exists; a folder or a
// missing file chosen is refused with a message.
bool OpenJobFileDialog(std::string& name, int maxLength = 255);

// Reads and checks the file; when it is sound, the job is cleared as New
// clears it (ClearJob: the running command, the three databases, layer
// masks, flags, names and journals), the file's contents put in,
// the view zoomed to the extents, DatabasePath and DatabaseFileName set and
// the job counted as not modified; records the file holds that this version
// does not know are counted and their lines named in a warning. False, with
// the job untouched, when the
// file does not exist or cannot be read (the fault is reported). A job that
// cannot be saved without loss (a name over 255 characters, a read-only
// file) is refused with a message before anything is written.
bool OpenJobFile(const std::string& name);

// The File Open command: ConfirmSaveJobFile, OpenJobFileDialog, OpenJobFile,
// the caption brought up to date. True when a job was opened.
bool OpenJobCommand();

// Saves under DatabaseFileName (the extension made "ZUL"), keeping the
// previous file as "~ZU"; runs SaveJobFileAs when the job has no name.
bool SaveJobFile();
// The job is no longer the one of the file it was read from or written to
// (ClearJob): a Save under a name an import gave it asks before it
// replaces a job file of that name, as it does for a job read from a file
// of another extension than "ZUL".
void ForgetJobFile();
// Asks for a name ("Save Database as:") and saves; false when cancelled or
// when the save failed.
bool SaveJobFileAs();
// True when the caller may drop the job: it is not modified, or the user
// answered No, or Yes and the job was saved under a name asked for.
bool ConfirmSaveJobFile();

// The name a job is saved under: the name as typed when its extension is
// already "ZUL" in any case, else with the extension made "ZUL". File names
// tell case apart here, so no letter of the name is changed.
std::string JobFileNameOf(const std::string& name);

// Makes the main window's save question before a new job or the exit the
// job file's ConfirmSaveJobFile.
void InstallJobFileOperations();
