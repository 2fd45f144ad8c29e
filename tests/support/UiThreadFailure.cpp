// Linked into every test program: an editor entry point reached from a thread other than
// the editor's fails the running test (or, outside any test, the program) with the entry
// point's name, instead of passing unnoticed as it would in a plug-in.

#include <gtest/gtest.h>

#include <cstdio>

#include "kantele/ThreadCheck.h"

namespace {

void FailLoudly(const char* entryPoint) {
  std::fprintf(stderr, "%s ran off its user-interface thread\n", entryPoint);
  ADD_FAILURE() << entryPoint << " ran off its user-interface thread";
}

const bool sInstalled = (kantele::UiThreadCheck::SetFailureHandler(FailLoudly), true);

}  // namespace
