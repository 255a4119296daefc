#include "ui/AboutTaskDialog.h"

#include <cstdio>
#include <string>

#include "platform/widetext.h"
#include "ui/SvgIcon.h"

namespace {

// The value of `name` in the string block `block`; false when it is missing.
bool QueryString(const CVersionResource* resource, const std::string& block, const char* name, std::string& value) {
  const std::string path = "\\StringFileInfo\\" + block + "\\" + name;
  const void* buffer = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(resource, path.c_str(), &buffer, &length) || length == 0) return false;
  value.assign(static_cast<const char*>(buffer), length - 1);
  return true;
}

}  // namespace

CAboutTaskDialog::CAboutTaskDialog(QWidget* pParent, const CVersionResource* pResource) {
  m_dwFlags = kDefaultFlags;
  m_pParent = pParent;
  m_mainIcon = LoadSvgIcon(QStringLiteral(":/icons/aerlume.svg"));

  const void* buffer = nullptr;
  UINT bytes = 0;
  if (!VerQueryValueA(pResource, "\\VarFileInfo\\Translation", &buffer, &bytes)) return;
  const auto* translations = static_cast<const LANGANDCODEPAGE*>(buffer);
  const std::size_t count = bytes / sizeof(LANGANDCODEPAGE);

  // A missing field leaves out its own line (and the blank line before a
  // missing description or comment) rather than show "Version " with
  // nothing after it; a missing product name or copyright keeps the value of
  // an earlier translation, or none.
  std::string instruction;
  std::string content;
  std::string footer;
  for (std::size_t i = 0; i < count; ++i) {
    char block[9];
    std::snprintf(block, sizeof block, "%04x%04x", translations[i].wLanguage, translations[i].wCodePage);
    std::string value;
    if (QueryString(pResource, block, "ProductName", value)) instruction = value;
    // Blocks are kept apart by an empty line: a block ends with its comment
    // and no line break, so the next "Version" line would otherwise run on
    // from it.
    std::string lines;
    if (QueryString(pResource, block, "ProductVersion", value)) lines += "Version " + value + "\n";
    if (QueryString(pResource, block, "CompanyName", value)) lines += "By " + value + "\n";
    if (QueryString(pResource, block, "FileDescription", value)) lines += "\n" + value + "\n";
    if (QueryString(pResource, block, "Comments", value)) lines += "\n" + value;
    const std::size_t first = lines.find_first_not_of('\n');
    lines.erase(0, first == std::string::npos ? lines.size() : first);
    while (!lines.empty() && lines.back() == '\n') lines.pop_back();
    if (!lines.empty()) {
      if (!content.empty()) content += "\n\n";
      content += lines;
    }
    if (QueryString(pResource, block, "LegalCopyright", value)) footer = value;
  }
  // The title is the program's name, as a dialog without a title of its own
  // would show it, spelt as the product name rather than the file name.
  m_strTitle = Utf8ToWide(instruction);
  m_strMainInstruction = Utf8ToWide(instruction);
  m_strContent = Utf8ToWide(content);
  m_strFooter = Utf8ToWide(footer);
}
