// The effect's parameters by index, as the host hands them back in the
// params array of every command, and the values of its two popups.
//
// Indices are fixed by the order in which ParamsSetup declares the
// parameters; the disk IDs under which the host stores them in projects are
// different numbers and live in ParamsSetup.cpp.
#pragma once

enum {
    PARAM_INPUT = 0, // the layer the effect is applied to, supplied by the host
    PARAM_PATH,
    PARAM_PATH_EXPAND_CONTRACT,
    PARAM_TEXTURE_SETTINGS_START,
    PARAM_TEXTURE_SOURCE,
    PARAM_TEXTURE_LAYER,
    PARAM_SCALE_X_GRADIENT,
    PARAM_SCALE_X_START,
    PARAM_SCALE_X_END,
    PARAM_SCALE_X,
    PARAM_SCALE_Y,
    PARAM_TEXTURE_OFFSET,
    PARAM_MIRROR_X,
    PARAM_MIRROR_Y,
    PARAM_REPEAT_MIRRORED_X,
    PARAM_REPEAT_MIRRORED_Y,
    PARAM_MIRROR_TILE_AT_EDGE,
    PARAM_TEXTURE_ORIGIN,
    PARAM_POINT,
    PARAM_TEXTURE_SETTINGS_END,
    PARAM_STROKE_SETTINGS_START,
    PARAM_STROKE_LENGTH,
    PARAM_TO_EDGE,
    PARAM_FADE_IN,
    PARAM_FADE_OUT,
    PARAM_STOP_FADE_AT_EDGE,
    PARAM_COMPOSITE_ON_ORIGINAL,
    PARAM_STROKE_SETTINGS_END,
    PARAM_COUNT
};
static_assert(PARAM_STROKE_SETTINGS_END == 27 && PARAM_COUNT == 28);

// Texture Source popup (1-based). Any value other than Original Frame is
// treated as Specified Layer.
enum {
    TEXTURE_SOURCE_SPECIFIED_LAYER = 1,
    TEXTURE_SOURCE_ORIGINAL_FRAME = 2
};

// Texture Origin popup (1-based).
enum {
    TEXTURE_ORIGIN_START_OF_PATH = 1,
    TEXTURE_ORIGIN_NEAREST_TO_POINT = 2
};
