#include "pixels/TexturePreparation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "host/SuiteScoper.h"
#include "pixels/DefaultTexture.h"
#include "pixels/PixelTraits.h"

namespace {

// A built-in picture pixel (red, green, blue bytes) in the render's format.
template <typename T>
T fromPictureBytes(const unsigned char* rgb);

template <>
PF_Pixel fromPictureBytes<PF_Pixel>(const unsigned char* rgb)
{
    return PF_Pixel{255, rgb[0], rgb[1], rgb[2]};
}

template <>
PF_Pixel16 fromPictureBytes<PF_Pixel16>(const unsigned char* rgb)
{
    // 255 maps to 32767, one below the format's white.
    constexpr double scale = 32767.0 / 255.0;
    auto channel = [](unsigned char b) { return static_cast<A_u_short>(std::round(static_cast<double>(b) * scale)); };
    return PF_Pixel16{32767, channel(rgb[0]), channel(rgb[1]), channel(rgb[2])};
}

template <>
PF_PixelFloat fromPictureBytes<PF_PixelFloat>(const unsigned char* rgb)
{
    constexpr double scale = 1.0 / 255.0;
    auto channel = [](unsigned char b) { return static_cast<float>(static_cast<double>(b) * scale); };
    return PF_PixelFloat{1.0f, channel(rgb[0]), channel(rgb[1]), channel(rgb[2])};
}

template <typename T>
std::uint16_t pitchOf(const PF_LayerDef& world)
{
    return static_cast<std::uint16_t>(world.rowbytes / static_cast<A_long>(sizeof(T)));
}

template <typename T>
T* rowOf(const PF_LayerDef& world, A_long y)
{
    return reinterpret_cast<T*>(static_cast<unsigned char*>(world.data) +
                                static_cast<std::ptrdiff_t>(y) * static_cast<std::ptrdiff_t>(world.rowbytes));
}

// Makes a new image in `record`; a refusal of the host ends the preparation
// with the host's error code.
template <typename T>
void newWorld(PF_InData* in_data, const PF_WorldSuite2* worldSuite, A_long width, A_long height,
              PF_EffectWorld* record)
{
    const PF_Err err = worldSuite->PF_NewWorld(in_data->effect_ref, width, height, false, PixelTraits<T>::format, record);
    if (err != PF_Err_NONE)
        throw err;
}

// One axis of the placeholder's size at the render's downsample factor,
// truncating; a factor the host should never send (zero denominator,
// negative numerator) is refused.
A_long scaledPlaceholderSize(int size, const PF_RationalScale& factor)
{
    if (factor.den == 0 || factor.num < 0)
        throw PF_Err{PF_Err_BAD_CALLBACK_PARAM};
    const std::uint64_t scaled =
        static_cast<std::uint64_t>(size) * static_cast<std::uint64_t>(factor.num) / factor.den;
    if (scaled > static_cast<std::uint64_t>(std::numeric_limits<A_long>::max()))
        throw PF_Err{PF_Err_OUT_OF_MEMORY};
    return static_cast<A_long>(scaled);
}

} // namespace

void PreparedTexture::begin(PFInfo* info)
{
    layerRecord_ = info->textureWorld;
    current_ = nullptr;
}

PF_Err PreparedTexture::dispose(PFInfo* info, PF_InData* in_data, const PF_WorldSuite2* worldSuite) noexcept
{
    PF_Err err = PF_Err_NONE;
    if (current_ != nullptr) {
        err = worldSuite->PF_DisposeWorld(in_data->effect_ref, current_);
        current_ = nullptr;
    }
    info->doubledTextureWorld = nullptr;
    if (layerRecord_ != nullptr)
        info->textureWorld = layerRecord_;
    return err;
}

template <typename T>
void PreparedTexture::replaceTexture(PFInfo* info, PF_InData* in_data, const PF_WorldSuite2* worldSuite,
                                     PF_EffectWorld* made)
{
    if (current_ != nullptr) {
        // The replaced image is no longer read; a failed disposal leaves
        // nothing the render could do about it.
        static_cast<void>(worldSuite->PF_DisposeWorld(in_data->effect_ref, current_));
    }
    current_ = made;
    info->textureWorld = made;
    info->texturePitch = pitchOf<T>(*made);
}

template <typename T>
void outputDefaultTexture(PFInfo* info, PF_InData* in_data, PF_OutData* out_data, PreparedTexture* prepared)
{
    if (info->textureWorld->width != 0)
        return; // a layer is chosen

    AEFX_SuiteScoper<PF_WorldSuite2> worldSuite(in_data, kPFWorldSuite, kPFWorldSuiteVersion2, out_data);
    const A_long width = scaledPlaceholderSize(kDefaultTextureWidth, in_data->downsample_x);
    const A_long height = scaledPlaceholderSize(kDefaultTextureHeight, in_data->downsample_y);
    PF_EffectWorld* made = &prepared->defaultWorld_;
    newWorld<T>(in_data, worldSuite.get(), width, height, made);
    prepared->replaceTexture<T>(info, in_data, worldSuite.get(), made);

    if (width < 1 || height < 1)
        return;
    // Every n-th pixel of every n-th row of the picture at a downsample of
    // 1/n. Other factors could point past the picture; the source is kept
    // on its last column and row.
    const std::uint64_t stepX = in_data->downsample_x.den;
    const std::uint64_t stepY = in_data->downsample_y.den;
    constexpr auto lastColumn = static_cast<std::uint64_t>(kDefaultTextureWidth - 1);
    constexpr auto lastRow = static_cast<std::uint64_t>(kDefaultTextureHeight - 1);
    for (A_long r = 0; r < height; ++r) {
        const std::uint64_t sourceRow = std::min(static_cast<std::uint64_t>(r) * stepY, lastRow);
        T* row = rowOf<T>(*made, r);
        for (A_long c = 0; c < width; ++c) {
            const std::uint64_t sourceColumn = std::min(static_cast<std::uint64_t>(c) * stepX, lastColumn);
            const std::size_t offset = static_cast<std::size_t>(
                (sourceRow * static_cast<std::uint64_t>(kDefaultTextureWidth) + sourceColumn) * 3);
            row[c] = fromPictureBytes<T>(default_texture_arr + offset);
        }
    }
}

template <typename T>
void flipAndMirrorTexture(PFInfo* info, PF_InData* in_data, PF_OutData* out_data, PreparedTexture* prepared)
{
    if (info->useOriginalFrame)
        return; // the texture is not sampled at all
    AEFX_SuiteScoper<PF_WorldSuite2> worldSuite(in_data, kPFWorldSuite, kPFWorldSuiteVersion2, out_data);

    if (info->flipTextureHorizontally || info->flipTextureVertically) {
        const PF_LayerDef& source = *info->textureWorld;
        const A_long width = source.width;
        const A_long height = source.height;
        PF_EffectWorld* made = &prepared->flippedWorld_;
        newWorld<T>(in_data, worldSuite.get(), width, height, made);
        const bool horizontal = info->flipTextureHorizontally;
        const bool vertical = info->flipTextureVertically;
        for (A_long r = 0; r < height; ++r) {
            const T* from = rowOf<T>(source, vertical ? height - 1 - r : r);
            T* to = rowOf<T>(*made, r);
            for (A_long c = 0; c < width; ++c)
                to[c] = from[horizontal ? width - 1 - c : c];
        }
        prepared->replaceTexture<T>(info, in_data, worldSuite.get(), made);
    }

    if (info->repeatMirroredY) {
        const PF_LayerDef& source = *info->textureWorld;
        const A_long width = source.width;
        const A_long height = source.height;
        if (height > std::numeric_limits<A_long>::max() / 2)
            throw PF_Err{PF_Err_OUT_OF_MEMORY};
        PF_EffectWorld* made = &prepared->doubledWorld_;
        newWorld<T>(in_data, worldSuite.get(), width, 2 * height, made);
        for (A_long r = 0; r < height; ++r) {
            const T* from = rowOf<T>(source, r);
            std::copy(from, from + width, rowOf<T>(*made, r));
            std::copy(from, from + width, rowOf<T>(*made, 2 * height - 1 - r));
        }
        prepared->replaceTexture<T>(info, in_data, worldSuite.get(), made);
        info->doubledTextureWorld = made;
    }
}

template void outputDefaultTexture<PF_Pixel>(PFInfo*, PF_InData*, PF_OutData*, PreparedTexture*);
template void outputDefaultTexture<PF_Pixel16>(PFInfo*, PF_InData*, PF_OutData*, PreparedTexture*);
template void outputDefaultTexture<PF_PixelFloat>(PFInfo*, PF_InData*, PF_OutData*, PreparedTexture*);
template void flipAndMirrorTexture<PF_Pixel>(PFInfo*, PF_InData*, PF_OutData*, PreparedTexture*);
template void flipAndMirrorTexture<PF_Pixel16>(PFInfo*, PF_InData*, PF_OutData*, PreparedTexture*);
template void flipAndMirrorTexture<PF_PixelFloat>(PFInfo*, PF_InData*, PF_OutData*, PreparedTexture*);

namespace {

template <void (*Routine8)(PFInfo*, PF_InData*, PF_OutData*, PreparedTexture*),
          void (*Routine16)(PFInfo*, PF_InData*, PF_OutData*, PreparedTexture*),
          void (*RoutineFloat)(PFInfo*, PF_InData*, PF_OutData*, PreparedTexture*)>
PF_Err runForFormat(PFInfo* info, PF_InData* in_data, PF_OutData* out_data, PreparedTexture* prepared)
{
    try {
        withPixelType(info->pixelFormat, false, [&]<typename Pixel>(std::type_identity<Pixel>) {
            if constexpr (std::is_same_v<Pixel, PF_Pixel>)
                Routine8(info, in_data, out_data, prepared);
            else if constexpr (std::is_same_v<Pixel, PF_Pixel16>)
                Routine16(info, in_data, out_data, prepared);
            else
                RoutineFloat(info, in_data, out_data, prepared);
            return true;
        });
    } catch (PF_Err err) {
        return err;
    }
    return PF_Err_NONE;
}

} // namespace

PF_Err outputDefaultTextureForFormat(PFInfo* info, PF_InData* in_data, PF_OutData* out_data,
                                     PreparedTexture* prepared)
{
    return runForFormat<&outputDefaultTexture<PF_Pixel>, &outputDefaultTexture<PF_Pixel16>,
                        &outputDefaultTexture<PF_PixelFloat>>(info, in_data, out_data, prepared);
}

PF_Err flipAndMirrorTextureForFormat(PFInfo* info, PF_InData* in_data, PF_OutData* out_data,
                                     PreparedTexture* prepared)
{
    return runForFormat<&flipAndMirrorTexture<PF_Pixel>, &flipAndMirrorTexture<PF_Pixel16>,
                        &flipAndMirrorTexture<PF_PixelFloat>>(info, in_data, out_data, prepared);
}
