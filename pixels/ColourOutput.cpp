#include "pixels/ColourOutput.h"

void getAndOutputColor(PFInfo* info, std::uint32_t lineIndex, float pathDistance, Linestra::Int32Point pixel,
                       Linestra::FloatPoint lineOrigin, float directionX, float directionY, float lineDistance,
                       float pathSampleStep, float pathSampleCount)
{
    withPixelType(info->pixelFormat, false, [&]<typename Pixel>(std::type_identity<Pixel>) {
        getAndOutputColorT<Pixel>(info, lineIndex, pathDistance, pixel, lineOrigin, directionX, directionY,
                                  lineDistance, pathSampleStep, pathSampleCount);
        return true;
    });
}
