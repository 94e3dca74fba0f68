// The Windows SDK headers of the Windows platform layer, in the one order they compile in
// (Winsock before windows.h, windows.h before the rest). Sources include this, never the SDK
// headers themselves.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>
#include <windows.h>
#include <aclapi.h>
#include <bcrypt.h>
#include <iphlpapi.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
// clang-format on
