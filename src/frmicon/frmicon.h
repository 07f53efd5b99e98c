#pragma once

#include <QIcon>

// The program's icon: a green recycling symbol at 16 x 16 and 32 x 32, in
// 256 colours, held in this folder's resource collection.
namespace frmicon {

// Both sizes in one icon; the window and the application use it.
QIcon ProgramIcon();

}  // namespace frmicon
