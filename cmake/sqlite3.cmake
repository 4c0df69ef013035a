# SQLite for the Windows builds: the amalgamation that scripts/install-deps makes from Debian's source
# package (build/deps/sqlite3, not part of the repository), compiled by the cross compiler into a static
# library that the news service links as SQLite::SQLite3, like Debian's library on Linux.
set(VXRSS_SQLITE_DIR "${PROJECT_SOURCE_DIR}/build/deps/sqlite3"
    CACHE PATH "Folder holding sqlite3.c and sqlite3.h made from Debian's source package")
if(NOT EXISTS "${VXRSS_SQLITE_DIR}/sqlite3.c")
  message(FATAL_ERROR "No SQLite amalgamation in ${VXRSS_SQLITE_DIR}: run scripts/install-deps windows")
endif()
if(NOT TARGET SQLite::SQLite3)
  enable_language(C)
  add_library(vxrss_sqlite3 STATIC "${VXRSS_SQLITE_DIR}/sqlite3.c")
  # SQLite's own code: built as its authors intend, without this project's warning flags; with FTS5, which
  # the archive's search index is.
  set_target_properties(vxrss_sqlite3 PROPERTIES COMPILE_OPTIONS "-w" POSITION_INDEPENDENT_CODE ON)
  target_compile_definitions(vxrss_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0
                                                   SQLITE_ENABLE_FTS5)
  target_include_directories(vxrss_sqlite3 SYSTEM PUBLIC "${VXRSS_SQLITE_DIR}")
  add_library(SQLite::SQLite3 ALIAS vxrss_sqlite3)
endif()
