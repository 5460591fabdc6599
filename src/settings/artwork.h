// The settings program's pictures, drawn by the program itself: the product logo (Image1,
// Image2) and the status list's image list (empty, two computers for a running service, a
// red cross for every other state), and the alias grid's four status pictures.
#pragma once

#include <QPixmap>
#include <array>

namespace vrel {

QPixmap ProductLogo(int size);
std::array<QPixmap, 3> ServerImages();
// In status order: unchecked, not a mail user, circular, OK.
std::array<QPixmap, 4> AliasStatusImages();

}  // namespace vrel
