// The echo-service record a pinger's worker fills once and keeps for its
// whole life: which library gives the echo calls and their entry points.
//
// The entry points are looked up by library name and entry name, first in
// "Iphlpapi.dll", then in "ICMP.DLL"; a library lacking any of the three is
// not used. Here the libraries are a process-wide table: "Iphlpapi.dll" gives
// the ICMP echo service of platform/icmpapi.h and "ICMP.DLL" is absent. Tests
// replace a library's entry points with IcmpTestSetLibrary (null entries make
// it incomplete, a null table removes it) and put the table back with
// IcmpTestResetLibraries; a worker sees the table as it was when it started.
#pragma once

#include "platform/icmpapi.h"

using PFN_IcmpCreateFile = HANDLE (*)();
using PFN_IcmpSendEcho = DWORD (*)(HANDLE IcmpHandle, IPAddr DestinationAddress, PVOID RequestData,
                                   WORD RequestSize, IP_OPTION_INFORMATION* RequestOptions, PVOID ReplyBuffer,
                                   DWORD ReplySize, DWORD Timeout);
using PFN_IcmpCloseHandle = BOOL (*)(HANDLE IcmpHandle);

// The three entry points of one library; any may be missing (null).
struct CIcmpEntryPoints {
  PFN_IcmpCreateFile pfnIcmpCreateFile = nullptr;
  PFN_IcmpSendEcho pfnIcmpSendEcho = nullptr;
  PFN_IcmpCloseHandle pfnIcmpCloseHandle = nullptr;
};

struct CIcmpLibrary {
  // Name of the library in use; null when no library gives all three calls.
  const char* hLibrary = nullptr;
  PFN_IcmpCreateFile pfnIcmpCreateFile = nullptr;
  PFN_IcmpSendEcho pfnIcmpSendEcho = nullptr;
  PFN_IcmpCloseHandle pfnIcmpCloseHandle = nullptr;
  // Set by an echo whose host name did not resolve, cleared by one that did.
  bool bLookupFailed = false;

  // Fills the record from the first library that has all three entry points
  // (or leaves it empty) and clears the lookup-failed flag.
  void Load();
  // Lets go of the library; the record is empty afterwards.
  void Free();
};

// ---- Test hooks (process-wide; a test restores the table before it ends).

// Replaces the entry points of the library `name` ("Iphlpapi.dll" or
// "ICMP.DLL"); null removes the library.
void IcmpTestSetLibrary(const char* name, const CIcmpEntryPoints* entries);
// "Iphlpapi.dll" with the platform's echo calls, no "ICMP.DLL".
void IcmpTestResetLibraries();
