#include "render/StagedFile.h"

#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvane {
namespace render {

namespace {

// Staged paths the signal handler removes. A slot's path is written before the
// slot is armed and only read while armed.
constexpr int kSlots = 4;
char sPaths[kSlots][PATH_MAX];
volatile sig_atomic_t sArmed[kSlots] = {};
volatile sig_atomic_t sSignal = 0;

extern "C" void OnSignal(int sig) {
  const int savedErrno = errno;
  for (int i = 0; i < kSlots; ++i) {
    if (sArmed[i]) unlink(sPaths[i]);
  }
  if (sSignal != 0) {
    // Second signal: the program did not stop in time; stop it now.
    signal(sig, SIG_DFL);
    raise(sig);
  }
  sSignal = sig;
  errno = savedErrno;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

StagedFile::StagedFile(const std::string& finalPath, ExitCode code)
    : mFinal(finalPath), mCode(code) {
  const std::string dir = DirectoryOf(finalPath);
  std::string pattern = dir + "/." + BaseOf(finalPath) + ".XXXXXX";
  const int fd = mkstemp(&pattern[0]);
  if (fd < 0) {
    throw RenderError(code, "cannot create a file in '" + dir + "' for '" + finalPath +
                                "': " + std::strerror(errno));
  }
  close(fd);
  mTemp = pattern;
  if (mTemp.size() < PATH_MAX) {
    for (int i = 0; i < kSlots; ++i) {
      if (!sArmed[i]) {
        std::memcpy(sPaths[i], mTemp.c_str(), mTemp.size() + 1);
        sArmed[i] = 1;
        mSlot = i;
        break;
      }
    }
  }
}

StagedFile::~StagedFile() {
  if (mSlot >= 0) sArmed[mSlot] = 0;
  if (!mCommitted) unlink(mTemp.c_str());
}

void StagedFile::Commit() {
  const mode_t mask = umask(0);
  umask(mask);
  if (chmod(mTemp.c_str(), 0666 & ~mask) != 0 || rename(mTemp.c_str(), mFinal.c_str()) != 0) {
    throw RenderError(mCode,
                      "cannot move the finished file to '" + mFinal + "': " + std::strerror(errno));
  }
  mCommitted = true;
  if (mSlot >= 0) sArmed[mSlot] = 0;
}

void StagedFile::InstallSignalCleanup() {
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // Block the other cleanup signals while one is handled.
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaddset(&action.sa_mask, SIGHUP);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

int StagedFile::Interrupted() { return sSignal; }

}  // namespace render
}  // namespace tolvane
