// The program's version resource, compiled in: one list of (language, code
// page) translations and, per translation, a block of named strings. Read
// back by path with VerQueryValueA, as the About box does.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/wintypes.h"

// The product version, from the build's project version.
extern const char kAerlumeProductVersion[];

// One entry of "\VarFileInfo\Translation".
struct LANGANDCODEPAGE {
  WORD wLanguage;
  WORD wCodePage;
};

// One block of "\StringFileInfo": its name is the language and code page in
// eight lower-case hexadecimal digits ("040904e4").
struct CVersionStringTable {
  std::string strBlock;
  std::vector<std::pair<std::string, std::string>> values;  // name, UTF-8 value
};

struct CVersionResource {
  std::vector<LANGANDCODEPAGE> translations;
  std::vector<CVersionStringTable> stringTables;
};

// The program's own resource: "Aerlume" and its version under the one
// translation 0x0409 / 0x04E4 (block "040904e4"), with the fields
// ProductName, ProductVersion, CompanyName, FileDescription, Comments and
// LegalCopyright.
const CVersionResource& GetAerlumeVersionResource();

// Looks up `subBlock` in `resource`. Path components are separated by
// backslashes and compared without regard to case.
// - "\VarFileInfo\Translation": *lplpBuffer points at the LANGANDCODEPAGE
//   array and *puLen is its size in bytes.
// - "\StringFileInfo\<block>\<name>": *lplpBuffer points at the
//   NUL-terminated UTF-8 value and *puLen is its length in characters
//   including the NUL.
// Returns FALSE (outputs untouched) for any other path, a missing block or
// name, or an empty translation list; also for null arguments.
BOOL VerQueryValueA(const CVersionResource* resource, const char* subBlock, const void** lplpBuffer,
                    UINT* puLen);
