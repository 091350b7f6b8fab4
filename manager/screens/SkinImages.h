// The skin artwork: vector images compiled into the program, rendered once at their own pixel size.
#pragma once

#include <QPixmap>

namespace velmo::manager {

// The image with the given resource id at its designed size; a null pixmap for an unknown id.
QPixmap Skin(int id);

// The resource path of an id ("" when unknown).
QString SkinPath(int id);

// The application's font: the desktop's sans-serif face, 12 pixels high. Every window is laid out for it.
void SetApplicationFont();

}  // namespace velmo::manager
