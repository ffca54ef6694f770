#pragma once

#include <QIcon>

namespace telva {

// The program's images, drawn in code so they scale and need no files.
QIcon connectionIcon(bool connected);
QIcon installCertificateIcon();
QIcon refreshReportIcon();
QIcon showSourceIcon();
// The program's own icon, in every size made from its drawing at build time.
QIcon programIcon();

} // namespace telva
