// Skin pictures: bitmap resources of the executable and copying a part of
// one onto a device context.
#pragma once

#include <windows.h>

#include "base/Owners.h"

namespace qrn {

// Bitmap resource `id` of the executable; empty when it cannot be loaded.
UniqueHBitmap LoadSkinBitmap(UINT id);

// Width and height of `bitmap`; 0 x 0 for an empty one.
SIZE SkinBitmapSize(HBITMAP bitmap);

// Copies the `width` x `height` part of `bitmap` at (sourceX, sourceY) to
// (x, y) of `dc` (SRCCOPY, no stretching). Nothing is drawn for an empty
// bitmap, which is how a picture that failed to load shows.
void DrawSkinBitmap(HDC dc, int x, int y, int width, int height, HBITMAP bitmap, int sourceX = 0, int sourceY = 0);

}  // namespace qrn
