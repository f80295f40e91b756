// The one header through which the effect's sources see the host's API.
//
// By default it includes our own declarations (api/standin). A build
// configured with -DLINESTRA_HOST_SDK_DIR=<vendor SDK headers> defines
// LINESTRA_USE_VENDOR_SDK and includes the vendor's headers instead; every
// identifier the effect uses is the host's own, so the sources are the same
// either way.
#pragma once

#if defined(LINESTRA_USE_VENDOR_SDK)
#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "AE_EffectSuites.h"
#include "AE_Macros.h"
#include "AE_EffectPixelFormat.h"
#include "SPBasic.h"
#else
#include "standin/PF_Types.h"
#include "standin/PF_Effect.h"
#include "standin/PF_SmartRender.h"
#include "standin/PF_Suites.h"
#endif

// Exported entry points: C linkage, plain names, default visibility.
#if defined(_WIN32)
#define LINESTRA_EXPORT extern "C" __declspec(dllexport)
#else
#define LINESTRA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// The editor host's application id and its 8-bit pixel-format code that the
// effect declares there.
constexpr A_long kLinestraPremiereApplId = 0x50724D72; // 'PrMr'
constexpr A_long kLinestraPremierePixelFormat = 0x61795556;
