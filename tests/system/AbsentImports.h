// Delay-loaded imports that cannot be had, from the delay-load libraries
// made of absent-dll.def.in and absent-function.def.in (qrn_absent_imports):
// stdcall functions with 8 bytes of arguments, as most system functions are.
#pragma once

#include <windows.h>

extern "C" {
// In qrn-absent.dll, a DLL that exists nowhere.
int WINAPI QrnAbsentDllProbe(int a, int b);
// In version.dll, which does not export it.
int WINAPI QrnAbsentFunctionProbe(int a, int b);
}
