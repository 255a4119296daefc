#include "ui/VersionInfo.h"

#include <cctype>
#include <string_view>

#ifndef AERLUME_PRODUCT_VERSION
#error "AERLUME_PRODUCT_VERSION must come from the build (the CMake project version)"
#endif

const char kAerlumeProductVersion[] = AERLUME_PRODUCT_VERSION;

const CVersionResource& GetAerlumeVersionResource() {
  static const CVersionResource resource{
      {{0x0409, 0x04E4}},
      {{"040904e4",
        {
            {"CompanyName", "The Aerlume developers"},
            {"FileDescription", "Aerlume Wi-Fi monitor"},
            {"ProductName", "Aerlume"},
            {"ProductVersion", kAerlumeProductVersion},
            {"Comments", "Watches nearby wireless networks and the link you are on."},
            {"LegalCopyright", "Copyright (C) 2026 The Aerlume developers"},
        }}},
  };
  return resource;
}

namespace {

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// Splits a path into its non-empty components ("\A\\B\" gives A, B).
std::vector<std::string_view> SplitPath(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

}  // namespace

BOOL VerQueryValueA(const CVersionResource* resource, const char* subBlock, const void** lplpBuffer,
                    UINT* puLen) {
  if (!resource || !subBlock || !lplpBuffer || !puLen) return FALSE;
  const std::vector<std::string_view> parts = SplitPath(subBlock);

  if (parts.size() == 2 && SameText(parts[0], "VarFileInfo") && SameText(parts[1], "Translation")) {
    if (resource->translations.empty()) return FALSE;
    *lplpBuffer = resource->translations.data();
    *puLen = static_cast<UINT>(resource->translations.size() * sizeof(LANGANDCODEPAGE));
    return TRUE;
  }

  if (parts.size() == 3 && SameText(parts[0], "StringFileInfo")) {
    for (const CVersionStringTable& table : resource->stringTables) {
      if (!SameText(table.strBlock, parts[1])) continue;
      for (const auto& [name, value] : table.values) {
        if (!SameText(name, parts[2])) continue;
        *lplpBuffer = value.c_str();
        *puLen = static_cast<UINT>(value.size() + 1);
        return TRUE;
      }
      return FALSE;
    }
  }
  return FALSE;
}
