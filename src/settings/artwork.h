// The settings program's pictures, drawn by the program itself: the product logo (Image1,
// Image2), the status list's image list (empty, two computers for a running service, a
// red cross for every other state), the log options tree's pictures and the alias grid's
// four status pictures.
#pragma once

#include <QPixmap>
#include <array>

namespace vrel {

QPixmap ProductLogo(int size);
std::array<QPixmap, 3> ServerImages();
// The log options tree's pictures: 1 an event, 2 a field, 3 the blank state picture that
// reserves room for a check box, 4 the root; 0 is empty.
std::array<QPixmap, 5> LogFileImages();
// In status order: unchecked, not a mail user, circular, OK.
std::array<QPixmap, 4> AliasStatusImages();

}  // namespace vrel
