// Hooks of the delay-load helper, which loads the system DLLs of
// qrn_system_dlls at their first call (cmake/QrnTargets.cmake).
#pragma once

namespace qrn {

// A DLL first needed while the calling thread has file-system redirection
// switched off is loaded with redirection on for that moment (see
// LoadLibraryRedirected), wherever that first call happens.
//
// A DLL or function that cannot be had never returns to its caller: the
// helper would raise an exception that nothing catches (MinGW has no
// __try), and a stub standing in for the function cannot know how many
// argument bytes a 32-bit stdcall function must pop. Instead the failure
// hook ends the calling thread or the process:
//   - on a thread inside a DelayLoadFailureExit, the exit's report runs with
//     the failure line ("delay load failed, dll:... function:... error
//     code:N"), then the thread ends with the exit's code;
//   - on any other thread the hook logs the failure line and "delay load
//     failed, the program ends with exit code N", and the process exits
//     with `processExitCode`.
// Call once, at start-up, before any other thread runs.
void InstallDelayLoadHooks(unsigned processExitCode);

// Declares, for its lifetime on the thread that made it, that this thread
// can end alone when a system DLL or function it needs cannot be loaded.
// The thread ends where the failing call was made: nothing on its stack is
// unwound, so it must hold no lock when it calls a delay-loaded function and
// whatever it owns on its stack is left to the process's end (the report
// should free what matters). The report runs on the failing thread, once,
// with the declaration already gone: a second failure inside it ends the
// process. Declarations nest; the innermost one counts.
class DelayLoadFailureExit {
 public:
  // `failure` is the failure line, without level or source; the report logs
  // it or keeps it, as the thread's owner needs.
  using Report = void (*)(void* context, const char* failure);

  // The thread ends as _endthreadex(threadExitCode) after `report`.
  DelayLoadFailureExit(Report report, void* context, unsigned threadExitCode);
  ~DelayLoadFailureExit();
  DelayLoadFailureExit(const DelayLoadFailureExit&) = delete;
  DelayLoadFailureExit& operator=(const DelayLoadFailureExit&) = delete;

 private:
  friend struct DelayLoadFailureExitAccess;
  Report report_;
  void* context_;
  unsigned threadExitCode_;
  DelayLoadFailureExit* outer_;
};

}  // namespace qrn
