#pragma once

#include <string>

#include "render/RenderError.h"

namespace tolvane {
namespace render {

/// A file written under a temporary name in the directory of its final path and
/// renamed into place only when complete, so a failed or interrupted run never
/// leaves a partial file behind and never clobbers an existing one.
///
/// The temporary file is removed when the object is destroyed without Commit,
/// and, once InstallSignalCleanup has run, by the handler of SIGINT, SIGTERM or
/// SIGHUP (with unlink, which is safe in a signal handler). [main-thread]
class StagedFile {
 public:
  /// Creates the temporary file. Throws RenderError(`code`) when the directory
  /// does not allow it.
  StagedFile(const std::string& finalPath, ExitCode code);
  ~StagedFile();

  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  const std::string& TempPath() const { return mTemp; }
  const std::string& FinalPath() const { return mFinal; }

  /// Gives the file the permissions of a newly created file (0666 less the
  /// umask) and renames it to the final path. Throws RenderError(code) on failure.
  void Commit();

  /// Installs handlers for SIGINT, SIGTERM and SIGHUP: the first removes every
  /// staged file and records the signal for Interrupted(); a second one ends the
  /// process at once with the signal's default action.
  static void InstallSignalCleanup();

  /// The signal received since InstallSignalCleanup, or 0. [any-thread]
  static int Interrupted();

 private:
  std::string mFinal;
  std::string mTemp;
  ExitCode mCode;
  int mSlot = -1;
  bool mCommitted = false;
};

}  // namespace render
}  // namespace tolvane
