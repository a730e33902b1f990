#pragma once
// COM for the few requests that need it (the shell's document launchers and what they
// hand to shell extensions). Most runs of a tray program never open a link, so ole32 is
// loaded, and the apartment entered, only when the first such request comes.
#include <windows.h>

#include "win32/scoped.h"

namespace vantrel {

class Com {
 public:
  Com() = default;
  ~Com();
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;

  // Enters a single-threaded apartment on the calling thread the first time; false
  // while COM cannot be had (ole32 missing, the apartment refused).
  bool Enter();

  // An entry point of ole32, null before Enter or where it is missing.
  template <typename Function>
  Function Find(const char* name) const {
    return ole32_ ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(ole32_.get(), name)))
                  : nullptr;
  }

 private:
  scoped::Module ole32_;
  bool tried_ = false;
  bool entered_ = false;
};

}  // namespace vantrel
