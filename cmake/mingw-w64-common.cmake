# Shared part of the MinGW-w64 toolchain files: the caller sets VXRSS_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR.
# Debian's "-posix" compilers are used so that std::thread and std::mutex are available.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

set(CMAKE_C_COMPILER ${VXRSS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VXRSS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VXRSS_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VXRSS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Folders holding the compiler's run-time DLLs (libstdc++, libgcc, winpthread); Wine finds them through
# WINEPATH, so every module of a test shares one C++ run time, as it must when CString crosses DLLs.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll OUTPUT_VARIABLE _vxrss_libstdcxx
                OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(_vxrss_gcc_dll_dir "${_vxrss_libstdcxx}" DIRECTORY)
# Joined with ":" as cmake/wine-run takes them.
set(VXRSS_MINGW_DLL_DIRS "${_vxrss_gcc_dll_dir}:/usr/${VXRSS_MINGW_TRIPLE}/lib")
