#include "banner.h"

#include <objidl.h>
// After windows.h and objidl.h, which it needs.
#include <gdiplus.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace nurv::winui {

namespace {

void ReleaseStream(IStream* stream) { stream->Release(); }
using UniqueStream = platform::win32::UniqueHandle<IStream*, &ReleaseStream>;
// GDI+ from its start-up to its shutdown, by the token the start-up gave.
using GdiplusSession = platform::win32::UniqueHandle<ULONG_PTR, &Gdiplus::GdiplusShutdown>;

// The GIF as a stream over a copy of the resource; GDI+ reads the frames from it.
UniqueStream ResourceStream() {
  HRSRC resource = FindResourceW(nullptr, L"BANNER", MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!resource) return {};
  const DWORD size = SizeofResource(nullptr, resource);
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return {};
  platform::win32::UniqueGlobalMemory copy(GlobalAlloc(GMEM_MOVEABLE, size));
  if (!copy) return {};
  std::memcpy(GlobalLock(copy.Get()), data, size);
  GlobalUnlock(copy.Get());
  IStream* stream = nullptr;
  if (CreateStreamOnHGlobal(copy.Get(), TRUE, &stream) != S_OK) return {};
  copy.Release();  // the stream frees it now
  return UniqueStream(stream);
}

GdiplusSession StartGdiplus() {
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return {};
  return GdiplusSession(token);
}

}  // namespace

Banner::Banner() {
  const GdiplusSession gdiplus = StartGdiplus();
  if (!gdiplus) return;
  if (const UniqueStream stream = ResourceStream()) {
    Gdiplus::Bitmap gif(stream.Get());
    GUID dimension = Gdiplus::FrameDimensionTime;
    const UINT count = gif.GetLastStatus() == Gdiplus::Ok ? gif.GetFrameCount(&dimension) : 0;
    // Frame delays in hundredths of a second, one 32-bit number per frame.
    std::vector<unsigned> hundredths;
    const UINT property_size = count ? gif.GetPropertyItemSize(PropertyTagFrameDelay) : 0;
    if (property_size > sizeof(Gdiplus::PropertyItem)) {
      std::unique_ptr<char[]> buffer(new char[property_size]);
      auto* item = reinterpret_cast<Gdiplus::PropertyItem*>(buffer.get());
      if (gif.GetPropertyItem(PropertyTagFrameDelay, property_size, item) == Gdiplus::Ok) {
        const auto* values = static_cast<const std::uint32_t*>(item->value);
        hundredths.assign(values, values + item->length / sizeof(std::uint32_t));
      }
    }
    for (UINT i = 0; i < count; ++i) {
      if (gif.SelectActiveFrame(&dimension, i) != Gdiplus::Ok) break;
      HBITMAP bitmap = nullptr;
      if (gif.GetHBITMAP(Gdiplus::Color(0x41, 0x41, 0x41), &bitmap) != Gdiplus::Ok) break;
      frames_.emplace_back(bitmap);
      const unsigned delay = i < hundredths.size() && hundredths[i] > 0 ? hundredths[i] * 10 : 50;
      delays_.push_back(delay);
    }
  }
}

}  // namespace nurv::winui
