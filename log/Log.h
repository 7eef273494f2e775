// Logging call shape used throughout the installer: one macro per level that
// fills in the module name and the caller's source file and line.
//   LOG_ERROR("CreateFile() failed, error code:%d", static_cast<int>(GetLastError()));
#pragma once

#include "log/LogModule.h"

#define QRN_LOG_MODULE "Ovastro"

#define LOG_DEBUG(...) ::qrn::LogDebug(QRN_LOG_MODULE, __FILE_NAME__, __LINE__, __VA_ARGS__)
#define LOG_WARNING(...) ::qrn::LogWarning(QRN_LOG_MODULE, __FILE_NAME__, __LINE__, __VA_ARGS__)
#define LOG_ERROR(...) ::qrn::LogError(QRN_LOG_MODULE, __FILE_NAME__, __LINE__, __VA_ARGS__)
