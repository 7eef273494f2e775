# 32-bit Windows: the installer, its tests and the 32-bit stand-ins.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QRN_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QRN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QRN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QRN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QRN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# 32-bit Windows aligns thread stacks to 4 bytes only (and so do callbacks
# from system code); GCC's default assumes 16. Told the truth, it realigns
# the stack in the few functions that need more (vector code).
set(CMAKE_C_FLAGS_INIT "-mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-mincoming-stack-boundary=2")
