// VXRSS_API marks what the vxRSS library exports to its host.
#pragma once

#if defined(_WIN32) && defined(VXRSS_BUILDING_DLL)
#define VXRSS_API __declspec(dllexport)
#elif defined(_WIN32) && defined(VXRSS_USING_DLL)
#define VXRSS_API __declspec(dllimport)
#elif defined(__GNUC__)
#define VXRSS_API __attribute__((visibility("default")))
#else
#define VXRSS_API
#endif
