#include "workspace/job_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include "command/command_services.h"
#include "foundation/file_dialogs.h"
#include "foundation/file_utils.h"
#include "foundation/settings_families.h"
#include "foundation/utilities.h"
#include "model/cad_database.h"
#include "model/cad_undo.h"
#include "model/drill_database.h"
#include "model/drill_tools.h"
#include "model/job_file_reader.h"
#include "model/job_file_writer.h"
#include "model/rout_database.h"
#include "model/rout_handles.h"
#include "model/view_services.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/types.h"
#include "workspace/layers.h"
#include "workspace/startup.h"


namespace {

void UpdateCaption() {
  if (LayerHooks.UpdateCaption) LayerHooks.UpdateCaption();
}

void ResetJournals() {
  if (CadUndo != nullptr) CadUndo->Reset();
  if (RoutUndo != nullptr) RoutUndo->Reset();
  if (DrillUndo != nullptr) DrillUndo->Reset();
}

// True when name is an existing file; otherwise says why it cannot be opened.
bool JobFileExists(const std::string& name) {
  if (FileExistsNoWild(name)) return true;
  ErrorBox(DirectoryExists(name) ? "<" + name + "> is a folder, not a job file!"
                                 : "File does not exist!");
  return false;
}

// False, with the reason shown, when the job cannot be saved under name
// without losing something: the name is longer than the program keeps names
// (it would be cut on the next save), or the file is read-only.
bool JobFileNameFits(const std::string& name) {
  if (name.size() > 255) {
    ErrorBox("The name <" + name + "> is too long!\r\nA job file name may hold at most 255 characters.");
    return false;
  }
  struct stat st;
  const std::string path = NativeSavePath(name);
  // The file's own read-only mark: its owner's write bit for the owner, any
  // write bit for the others (the folder's permissions are the save's own
  // business and reported by it).
  const bool readOnly = ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) &&
                        (st.st_uid == ::geteuid() ? (st.st_mode & S_IWUSR) == 0
                                                  : (st.st_mode & 0222) == 0);
  if (readOnly) {
    ErrorBox("File <" + name + "> is read-only!\r\nThe job was not saved.");
    return false;
  }
  return true;
}

// The warning after an open that passed records over: how many, on which
// lines, and that a save leaves them out.
std::string SkippedRecordsText(const std::string& name, const TJobContents& contents) {
  const int32_t count = contents.SkippedRecords;
  std::string lines;
  for (const int32_t line : contents.SkippedLines)
    lines += (lines.empty() ? "" : ", ") + std::to_string(line);
  if (std::size_t(count) > contents.SkippedLines.size()) lines += ", ...";
  const bool one = count == 1;
  return std::to_string(count) + (one ? " record" : " records") + " of the file <" + name +
         "> could not be read and " + (one ? "was" : "were") + " left out: " +
         (one ? "its name is" : "their names are") + " unknown (" + (one ? "line " : "lines ") +
         lines + ").\r\nSaving the job will write the file without " + (one ? "it." : "them.");
}

// The warning after an open that put entities in without their step
// patterns: how many, the first of them by name, and that a save writes
// them so.
std::string UnappliedStepsText(const std::string& name, const TJobContents& contents) {
  const int64_t count = contents.UnappliedSteps;
  const bool one = count == 1;
  std::string text = std::string(one ? "The step pattern of 1 entity" : "The step patterns of ") +
                     (one ? "" : Int64ToStrGrouped(count) + " entities") + " of the file <" + name +
                     "> cannot be expanded where " + (one ? "it stands: it" : "they stand: they") +
                     " would make more than " + IntToStrGrouped(kMaxStepCopies) +
                     " copies or move outside the coordinate range. The repeats were not applied to:";
  for (const std::string& entity : contents.StepNotices) text += "\r\n" + entity;
  if (count > int64_t(contents.StepNotices.size()))
    text += "\r\n(" + Int64ToStrGrouped(count - int64_t(contents.StepNotices.size())) + " more)";
  return text + "\r\nSaving the job will write " + (one ? "it" : "them") + " without " +
         (one ? "its pattern." : "their patterns.");
}

// The job file this job was read from or last written to (empty for a new
// job, and for one named after an imported file).
std::string JobsOwnFile;

// Writes the job; on success the job is named and not modified, on failure
// the system's error text is shown and nothing changes. A job saved whose
// previous version could not take the backup's name is saved; the user is
// told where that version was kept instead.
bool WriteJobAs(const std::string& name, const std::string& backup) {
  if (!JobFileNameFits(name)) return false;
  // A file whose patterns pass what the reader takes would not open again:
  // such a job is not written, and the file keeps what it held.
  if (const int64_t work = JobStepWork(); work > JobFileStepWorkLimit()) {
    ErrorBox("The job's step patterns come to " + Int64ToStrGrouped(work) +
             " commands and copies; a job file opens with at most " + Int64ToStrGrouped(JobFileStepWorkLimit()) +
             ".\r\nThe job was not saved.");
    return false;
  }
  int error = 0, backupError = 0;
  std::string kept;
  {
    THourGlassCursor cursor;
    error = WriteJobFile(name, backup, &backupError, &kept);
  }
  if (error != 0) {
    ReportIOError(error, "saving the job file " + name);
    return false;
  }
  DatabaseFileName = name;
  JobsOwnFile = name;
  DatabaseModified = false;
  RoutLayerModified.Fill(false);
  if (backupError != 0) {
    // The kept file lies beside the backup (or beside the file a link there
    // leads to): in the backup's own folder it is named as the user spelt
    // that folder.
    const std::string nativeBackup = NativeSavePath(backup);
    const std::size_t slash = kept.find_last_of('/');
    const std::string keptName =
        slash != std::string::npos && nativeBackup.find_last_of('/') == slash &&
                nativeBackup.compare(0, slash, kept, 0, slash) == 0
            ? FolderOf(backup) + kept.substr(slash + 1)
            : kept;
    WarningBox("The job was saved as <" + name + ">, but its previous version could not be kept as <" +
               backup + ">:\r\n" + SystemErrorText(backupError) +
               (kept.empty() ? "\r\nThe previous version is lost."
                             : "\r\nThe previous version was kept as <" + keptName + ">."));
  }
  return true;
}

}  // namespace

std::string JobFileNameOf(const std::string& name) {
  const std::string ext = FileExtension3(name);
  if (ext.size() == 3 && UpperCaseStr(ext) == JobFileExtension &&
      name.size() >= 4 && name[name.size() - 4] == '.')
    return name;
  return ChangeFileExtension(name, JobFileExtension);
}

bool OpenJobFileDialog(std::string& name, int maxLength) {
  TModalBracket bracket;
  name = DatabasePath + JobFileMask;
  if (maxLength >= 0 && name.size() > std::size_t(maxLength)) name.resize(std::size_t(maxLength));
  if (!ExecuteOpenFileDialog("Select file to open", name, maxLength)) return false;
  return JobFileExists(name);
}

bool OpenJobFile(const std::string& name) {
  if (!JobFileExists(name)) return false;
  TModalBracket bracket;
  TJobContents contents;
  {
    THourGlass wait;
    wait.Show(" Opening Orbenwright Database file...");
    if (!ReadJobFile(name, contents)) return false;
    // The file is sound: only now is the present job dropped.
    ClearJob();
    CommitJobContents(contents);
    // The loaded entities are the start of the job, not undoable adds.
    ResetJournals();
    if (DB != nullptr) DB->ZoomExtents();
  }
  DatabasePath = FolderOf(name);
  // Named as the file read is spelt, whatever case the name was typed in,
  // so that Save writes that file again and not a second one beside it.
  DatabaseFileName = ExistingFileName(name);
  // The file read is the job's own; a Save that changes its extension to
  // "ZUL" writes another file, which may be another job's.
  JobsOwnFile = DatabaseFileName;
  DatabaseModified = false;
  RoutLayerModified.Fill(false);
  RoutLayerFileNames.Fill(std::string());
  DrillTapeFileName.clear();
  if (contents.SkippedRecords > 0) WarningBox(SkippedRecordsText(DatabaseFileName, contents));
  if (contents.UnappliedSteps > 0) WarningBox(UnappliedStepsText(DatabaseFileName, contents));
  return true;
}

bool OpenJobCommand() {
  if (!ConfirmSaveJobFile()) return false;
  std::string name;
  if (!OpenJobFileDialog(name)) return false;
  const bool opened = OpenJobFile(name);
  UpdateCaption();
  return opened;
}

void ForgetJobFile() { JobsOwnFile.clear(); }

bool SaveJobFile() {
  if (DatabaseFileName.empty()) return SaveJobFileAs();
  TModalBracket bracket;
  const std::string name = JobFileNameOf(DatabaseFileName);
  // A job named after an imported file, or read from a file of another
  // extension, was never read from that name: a job file there is another
  // job (yesterday's board of the same name), replaced only when the user
  // says so; otherwise the name is asked for.
  struct stat present;
  if (name != JobsOwnFile && ::stat(NativeSavePath(name).c_str(), &present) == 0 &&
      !ConfirmOverwrite(name))
    return SaveJobFileAs();
  const bool saved = WriteJobAs(name, ChangeFileExtension(name, JobBackupExtension));
  UpdateCaption();
  return saved;
}

bool SaveJobFileAs() {
  TModalBracket bracket;
  std::string proposal = DatabaseFileName.empty()
                             ? DatabasePath + JobFileMask
                             : ChangeFileExtension(DatabaseFileName, JobFileExtension);
  std::string name, backup;
  bool settled = false;
  for (;;) {
    std::string chosen = proposal;
    if (!ExecuteSaveFileDialog("Save Database as:", chosen, 255)) break;
    name = JobFileNameOf(chosen);
    backup = ChangeFileExtension(chosen, JobBackupExtension);
    // A file of the name in another case is the one the question is about
    // and the one replaced.
    if (FileExistsNoWild(name)) {
      name = ExistingFileName(name);
      backup = ChangeFileExtension(name, JobBackupExtension);
    }
    if (!FileExistsNoWild(name) || ConfirmOverwrite(name)) {
      settled = true;
      break;
    }
    proposal = FolderOf(chosen) + JobFileMask;
  }
  bool saved = false;
  if (settled && WriteJobAs(name, backup)) {
    DatabasePath = FolderOf(name);
    saved = true;
  }
  UpdateCaption();
  return saved;
}

bool ConfirmSaveJobFile() {
  if (!DatabaseModified) return true;
  switch (ConfirmSaveDatabase()) {
    case mrYes: return SaveJobFileAs();
    case mrNo: return true;
    default: return false;
  }
}

void InstallJobFileOperations() { JobFileSaveQuery = ConfirmSaveJobFile; }
