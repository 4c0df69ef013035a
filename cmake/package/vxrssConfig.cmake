# find_package(vxrss): the vxRSS library with its C interface (vxrss/vxrss.h) and the header-only C++
# layer (vxrss/vxrss.hpp), as the imported target vxrss::vxrss.
include(${CMAKE_CURRENT_LIST_DIR}/vxrssTargets.cmake)
