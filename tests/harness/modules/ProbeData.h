// What the probe module saw during a pre-render, handed to the host as its
// pre-render data. Tests read it through Host::onPreRenderData.
#pragma once

#include <cstdint>

#include "HostAPI.h"

namespace probe {

// Parameter indices of the probe module.
enum Param {
    kInput = 0,
    kAmount,         // float slider -100..100, default 10
    kAngle,          // angle
    kFlag,           // checkbox
    kChoice,         // popup "One|Two|Three"
    kSpot,           // point
    kTexture,        // layer
    kMask,           // path
    kAbortQuestions, // float slider 0..64: abort questions asked in pre-render
    kCount
};

inline constexpr std::uint32_t kMagic = 0x50524F42; // "PROB"
inline constexpr int kMaxQuestions = 64;

struct ProbeData {
    std::uint32_t magic = kMagic;
    const int* deletions = nullptr; // the module's count of deleted ProbeData

    // in_data
    A_long layerWidth = 0, layerHeight = 0;
    PF_RationalScale downsampleX{}, downsampleY{};
    A_long time = 0, timeStep = 0;
    A_u_long timeScale = 0;

    // parameters as checked out
    double amount = 0;
    PF_Fixed angle = 0;
    A_long flag = 0;
    A_long choice = 0;
    PF_Fixed spotX = 0, spotY = 0;
    PF_PathID pathId = 0;
    A_long textureWidth = 0, textureHeight = 0, textureRowBytes = 0;
    PF_PixelFormat textureFormat = 0;
    PF_Pixel16 textureFirst16{}; // first pixel of a 16-bit texture

    // input checkout
    PF_CheckoutResult input{};

    // abort questions
    int asked = 0;
    PF_Err answers[kMaxQuestions] = {};

    // path
    A_long segments = -1;
    PF_Boolean open = 0;
    double pathLength = 0;
    double half[4] = {}; // x, y, dx, dy of segment 0 at half its length
};

} // namespace probe
