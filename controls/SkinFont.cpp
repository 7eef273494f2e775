#include "controls/SkinFont.h"

namespace qrn {
namespace {

const wchar_t kFace[] = L"微软雅黑";

}  // namespace

UniqueHFont CreateSkinFont(int height) {
  return UniqueHFont(::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS,
                                   CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, kFace));
}

UniqueHFont CreateSkinPointFont(int tenthsOfPoint) {
  UniqueWindowDc screen(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  return CreateSkinFont(-::MulDiv(dpi, tenthsOfPoint, 720));
}

}  // namespace qrn
