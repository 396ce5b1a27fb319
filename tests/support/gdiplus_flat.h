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
struct GpBrush;
struct GpPen;
struct GpImageAttributes;

typedef int GpStatus;           // 0 is Ok
typedef int GpPixelFormat;
typedef unsigned int GpARGB;
typedef BOOL(CALLBACK* GpDrawImageAbort)(void*);

constexpr GpStatus kGpOk = 0;
constexpr GpPixelFormat kGpPixelFormat24bppRGB = 0x21808;
constexpr int kGpUnitPixel = 2;
constexpr UINT kGpImageLockModeRead = 1;
constexpr UINT kGpImageLockModeWrite = 2;

struct GpRect {
    INT X, Y, Width, Height;
};

struct GpBitmapData {
    UINT Width;
    UINT Height;
    INT Stride;
    GpPixelFormat PixelFormat;
    void* Scan0;
    UINT_PTR Reserved;
};

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
GpStatus WINAPI GdipBitmapLockBits(GpBitmap* bitmap, const GpRect* rect, UINT flags,
                                   GpPixelFormat format, GpBitmapData* data);
GpStatus WINAPI GdipBitmapUnlockBits(GpBitmap* bitmap, GpBitmapData* data);
GpStatus WINAPI GdipGetImageWidth(GpImage* image, UINT* width);
GpStatus WINAPI GdipGetImageHeight(GpImage* image, UINT* height);
GpStatus WINAPI GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics);
GpStatus WINAPI GdipCreateFromHDC(HDC hdc, GpGraphics** graphics);
GpStatus WINAPI GdipDrawImageRectRectI(GpGraphics* graphics, GpImage* image, INT dstx, INT dsty,
                                       INT dstwidth, INT dstheight, INT srcx, INT srcy,
                                       INT srcwidth, INT srcheight, int srcUnit,
                                       const GpImageAttributes* attributes,
                                       GpDrawImageAbort callback, void* callbackData);
GpStatus WINAPI GdipDrawImageI(GpGraphics* graphics, GpImage* image, INT x, INT y);
GpStatus WINAPI GdipCreateSolidFill(GpARGB color, GpBrush** brush);
GpStatus WINAPI GdipFillRectangleI(GpGraphics* graphics, GpBrush* brush, INT x, INT y, INT width,
                                   INT height);
GpStatus WINAPI GdipCreatePen1(GpARGB color, float width, int unit, GpPen** pen);
GpStatus WINAPI GdipDrawRectangleI(GpGraphics* graphics, GpPen* pen, INT x, INT y, INT width,
                                   INT height);
GpStatus WINAPI GdipDeleteBrush(GpBrush* brush);
GpStatus WINAPI GdipDeletePen(GpPen* pen);
GpStatus WINAPI GdipDeleteGraphics(GpGraphics* graphics);
GpStatus WINAPI GdipDisposeImage(GpImage* image);
}

inline GpImage* asImage(GpBitmap* bitmap) { return reinterpret_cast<GpImage*>(bitmap); }
