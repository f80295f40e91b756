#include "pixels/ColourOutput.h"

GetAndOutputColorFunction getAndOutputColorFor(PF_PixelFormat format)
{
    switch (format) {
    case PF_PixelFormat_ARGB32:
        return &getAndOutputColorT<PF_Pixel>;
    case PF_PixelFormat_ARGB64:
        return &getAndOutputColorT<PF_Pixel16>;
    case PF_PixelFormat_ARGB128:
        return &getAndOutputColorT<PF_PixelFloat>;
    default:
        return nullptr;
    }
}

void getAndOutputColor(PFInfo* info, std::uint32_t lineIndex, float pathDistance, Linestra::Int32Point pixel,
                       Linestra::FloatPoint lineOrigin, float directionX, float directionY, float lineDistance,
                       float pathSampleStep, float pathSampleCount)
{
    switch (info->pixelFormat) {
    case PF_PixelFormat_ARGB32:
        getAndOutputColorT<PF_Pixel>(info, lineIndex, pathDistance, pixel, lineOrigin, directionX, directionY,
                                     lineDistance, pathSampleStep, pathSampleCount);
        break;
    case PF_PixelFormat_ARGB64:
        getAndOutputColorT<PF_Pixel16>(info, lineIndex, pathDistance, pixel, lineOrigin, directionX, directionY,
                                       lineDistance, pathSampleStep, pathSampleCount);
        break;
    case PF_PixelFormat_ARGB128:
        getAndOutputColorT<PF_PixelFloat>(info, lineIndex, pathDistance, pixel, lineOrigin, directionX, directionY,
                                          lineDistance, pathSampleStep, pathSampleCount);
        break;
    default:
        break;
    }
}
