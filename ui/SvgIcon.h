// Icons drawn as SVG files (resources/*.svg, compiled in under ":/icons/").
#pragma once

#include <QIcon>
#include <QString>

// The icon rendered at the sizes menus, tool bars, title bars and the tray
// ask for, so no icon-engine plugin is needed at run time. A null icon when
// the file is missing or not valid SVG.
QIcon LoadSvgIcon(const QString& path);
