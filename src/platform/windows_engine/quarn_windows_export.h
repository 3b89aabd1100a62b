// What quarn.dll exports (class quarn, class NTFSRecover): exported while
// the DLL is built, imported by the programs that link it. The Linux build
// of the same classes is a static library and needs neither.
#pragma once

#if defined(_WIN32) && defined(QUARN_WINDOWS_BUILDING)
#define QUARN_WINDOWS_API __declspec(dllexport)
#elif defined(_WIN32)
#define QUARN_WINDOWS_API __declspec(dllimport)
#else
#define QUARN_WINDOWS_API
#endif
