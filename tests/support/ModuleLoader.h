#pragma once

#include <string>

namespace kantele::test {

/// Loads a plug-in module the way a host does: `dlopen` (immediate binding, local symbols) on
/// Linux, `LoadLibraryA` on Windows. Closing drops this loader's reference; the system unloads
/// the module when no reference is left. One loader holds at most one module.
///
/// Paths. On Windows a path that starts with '/' is taken as an absolute path of the build
/// machine and opened through Wine's Z: drive (the cross build records its paths that way);
/// every other path is passed on as it is. [main-thread]
class ModuleLoader {
 public:
  ModuleLoader() = default;
  /// Closes the module when one is open.
  ~ModuleLoader();
  ModuleLoader(const ModuleLoader&) = delete;
  ModuleLoader& operator=(const ModuleLoader&) = delete;

  /// Opens the module at `path`, closing any module held before. Answers false and fills
  /// `Error` when the system refuses.
  bool Open(const std::string& path);

  /// The address of the exported symbol `name`, or null (and `Error` filled) when the module
  /// exports no such name or none is open.
  void* Find(const char* name);

  /// Drops the reference; answers false (and fills `Error`) when the system refuses, true also
  /// when nothing was open.
  bool Close();

  bool IsOpen() const { return mHandle != nullptr; }
  /// The system's handle of the open module (what a VST 3 host passes to ModuleEntry), or null.
  void* Handle() const { return mHandle; }

  /// The system's text for the last failure of this loader.
  const std::string& Error() const { return mError; }

  /// Whether the module at `path` is mapped in this process now, by anyone. Never loads it.
  static bool IsResident(const std::string& path);

  /// `path` as the system's loader wants it (see Paths above).
  static std::string SystemPath(const std::string& path);

 private:
  void* mHandle = nullptr;
  std::string mError;
};

}  // namespace kantele::test
