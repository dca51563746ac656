// Counts the platform calls the skin makes and keeps the GDI objects it
// creates and has not deleted, by redirecting this executable's imports of
// those functions (Wine has no GetGuiResources count to ask instead).
#pragma once

#include <windows.h>

#include <set>
#include <string>

namespace testing_util {

struct ApiCounts {
  int setTimer = 0;
  int killTimer = 0;
  int trackMouseEvent = 0;
  int alphaBlend = 0;
  int getProcAddress = 0;
  int freeLibrary = 0;
  int gdiCreated = 0;
  // Created through the counted functions and neither deleted nor handed to
  // a window (SetWindowRgn), which then deletes it itself.
  std::set<HGDIOBJ> liveObjects;
  // File calls in order: 'F' FlushFileBuffers, 'T' SetEndOfFile.
  std::string fileCalls;

  size_t LiveGdiObjects() const { return liveObjects.size(); }
};

// Installs the redirections once; later calls only return the counts.
ApiCounts& CountApiCalls();

}  // namespace testing_util
