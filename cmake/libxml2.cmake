# libxml2 for the Windows builds: Debian's source package, which scripts/install-deps unpacks into
# build/deps/libxml2 (not part of the repository), built by its own CMake build as a static library that the
# news service links as LibXml2::LibXml2, like Debian's library on Linux. The service uses its HTML parser on
# text in memory: no character set libraries (iconv, ICU), no compression (lzma, zlib), no network (HTTP,
# FTP), no catalogs, modules, Python bindings, programs or tests.
set(VXRSS_LIBXML2_DIR "${PROJECT_SOURCE_DIR}/build/deps/libxml2"
    CACHE PATH "Folder holding libxml2's sources from Debian's source package")
if(NOT EXISTS "${VXRSS_LIBXML2_DIR}/CMakeLists.txt")
  message(FATAL_ERROR "No libxml2 sources in ${VXRSS_LIBXML2_DIR}: run scripts/install-deps windows")
endif()

function(vxrss_add_libxml2)
  set(BUILD_SHARED_LIBS OFF)
  foreach(feature ICONV ICU LZMA ZLIB HTTP FTP CATALOG MODULES LEGACY PYTHON PROGRAMS TESTS)
    set(LIBXML2_WITH_${feature} OFF)
  endforeach()
  add_subdirectory("${VXRSS_LIBXML2_DIR}" "${CMAKE_BINARY_DIR}/libxml2" EXCLUDE_FROM_ALL)
  # libxml2's own code: built as its authors intend, without this project's warning flags.
  set_target_properties(LibXml2 PROPERTIES COMPILE_OPTIONS "-w" POSITION_INDEPENDENT_CODE ON)
endfunction()

if(NOT TARGET LibXml2::LibXml2)
  vxrss_add_libxml2()
endif()
