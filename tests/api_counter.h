// Counts the platform calls the skin makes and keeps the GDI objects it
// creates and has not deleted, by redirecting this executable's imports of
// those functions (Wine has no GetGuiResources count to ask instead).
#pragma once

#include <windows.h>

#include <set>

namespace testing_util {

struct ApiCounts {
  int setTimer = 0;
  int killTimer = 0;
  int trackMouseEvent = 0;
  int alphaBlend = 0;
  int gdiCreated = 0;
  std::set<HGDIOBJ> liveObjects;  // created through the counted functions, not yet deleted

  // Live objects that still exist: the system deletes a window's old region
  // itself, without DeleteObject.
  size_t LiveGdiObjects() const {
    size_t n = 0;
    for (HGDIOBJ object : liveObjects) n += GetObjectType(object) != 0;
    return n;
  }
};

// Installs the redirections once; later calls only return the counts.
ApiCounts& CountApiCalls();

}  // namespace testing_util
