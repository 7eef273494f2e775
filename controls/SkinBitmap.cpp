#include "controls/SkinBitmap.h"

namespace qrn {

UniqueHBitmap LoadSkinBitmap(UINT id) {
  return UniqueHBitmap(::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id)));
}

SIZE SkinBitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof info, &info) == 0) return SIZE{0, 0};
  return SIZE{info.bmWidth, info.bmHeight};
}

void DrawSkinBitmap(HDC dc, int x, int y, int width, int height, HBITMAP bitmap, int sourceX, int sourceY) {
  if (bitmap == nullptr) return;
  UniqueHdc memory(::CreateCompatibleDC(dc));
  if (!memory) return;
  SelectObjectScope select(memory.get(), bitmap);
  ::BitBlt(dc, x, y, width, height, memory.get(), sourceX, sourceY, SRCCOPY);
}

}  // namespace qrn
