// The few functions of the GDI+ flat interface that the preview's reference
// paint (preview_reference.h) and the start-up benchmark's reference program
// use, declared with opaque object types (the full SDK headers drag in the
// C++ wrapper classes). The program itself never uses GDI+.
#pragma once
#include <windows.h>

extern "C" {
struct GpImage;
struct GpBitmap;   // a GpImage
struct GpGraphics;
struct GpImageAttributes;

typedef int GpStatus;           // 0 is Ok
typedef int GpPixelFormat;
typedef BOOL(CALLBACK* GpDrawImageAbort)(void*);

constexpr GpStatus kGpOk = 0;
constexpr GpPixelFormat kGpPixelFormat24bppRGB = 0x21808;
constexpr int kGpUnitPixel = 2;

struct GpStartupInput {
    UINT32 GdiplusVersion;
    void* DebugEventCallback;
    BOOL SuppressBackgroundThread;
    BOOL SuppressExternalCodecs;
};

GpStatus WINAPI GdiplusStartup(ULONG_PTR* token, const GpStartupInput* input, void* output);
void WINAPI GdiplusShutdown(ULONG_PTR token);

GpStatus WINAPI GdipCreateBitmapFromScan0(INT width, INT height, INT stride, GpPixelFormat format,
                                          BYTE* scan0, GpBitmap** bitmap);
GpStatus WINAPI GdipCreateFromHDC(HDC hdc, GpGraphics** graphics);
GpStatus WINAPI GdipDrawImageRectRectI(GpGraphics* graphics, GpImage* image, INT dstx, INT dsty,
                                       INT dstwidth, INT dstheight, INT srcx, INT srcy,
                                       INT srcwidth, INT srcheight, int srcUnit,
                                       const GpImageAttributes* attributes,
                                       GpDrawImageAbort callback, void* callbackData);
GpStatus WINAPI GdipDeleteGraphics(GpGraphics* graphics);
GpStatus WINAPI GdipDisposeImage(GpImage* image);
}

inline GpImage* asImage(GpBitmap* bitmap) { return reinterpret_cast<GpImage*>(bitmap); }
