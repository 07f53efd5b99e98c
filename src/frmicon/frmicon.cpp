#include "frmicon/frmicon.h"

namespace frmicon {

QIcon ProgramIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/frmicon/excel2dbf-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/frmicon/excel2dbf-32.png"), QSize(32, 32));
  return icon;
}

}  // namespace frmicon
