// The About box: a task dialog filled from a version resource.
#pragma once

#include "ui/TaskDialog.h"
#include "ui/VersionInfo.h"

class CAboutTaskDialog : public CTaskDialog {
 public:
  // Title and main instruction: the product name; content: version, company,
  // description and comments; footer: the copyright; main icon: the
  // application's icon. With several translations the content holds one
  // block per translation, in the resource's order, and the main instruction
  // and footer are the last translation's. A null resource, or one without
  // translations, leaves every text empty.
  explicit CAboutTaskDialog(QWidget* pParent, const CVersionResource* pResource = &GetAerlumeVersionResource());
};
