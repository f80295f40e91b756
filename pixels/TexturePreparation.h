// Texture preparation: before the background and the lines are drawn, the
// render makes the texture image that the "Specified Layer" source samples.
// With no layer chosen it is the built-in placeholder picture; the texture
// is then flipped ("Mirror X", "Mirror Y", a negative "Stroke Length") and
// doubled with its mirror image ("Repeat Mirrored Y") as the render context
// says. The "Original Frame" source samples the input instead: the render
// need not call flipAndMirrorTexture then (it returns at once if it does).
//
// Use in the render pass, after the Specified Layer has been checked out,
// info->textureWorld points at its image record and info->texturePitch holds
// its pitch:
//
//     PreparedTexture texture;              // lives until the render ends
//     texture.begin(info);
//     err = outputDefaultTextureForFormat(info, in_data, out_data, &texture);
//     if (!err && !info->useOriginalFrame)
//         err = flipAndMirrorTextureForFormat(info, in_data, out_data, &texture);
//     ...                                   // background, lines
//     texture.dispose(info, in_data, worldSuite);   // on every path
//
// Errors. The templates throw the host's error code as a PF_Err: 13 when the
// "PF World Suite" cannot be acquired (the message for the user is set in
// out_data first), or the error the host answered when it could not create
// an image (typically out of memory). The ...ForFormat functions catch that
// code and return it instead, so the render pass can end the command with
// it. Either way every image made before the failure stays recorded in the
// PreparedTexture and is disposed by dispose().
//
// Ownership. Every image is made through "PF World Suite" 2 in the render's
// pixel format, without clearing, and is owned by the PreparedTexture until
// dispose(). Its image records are members of the PreparedTexture: the record
// of the chosen layer (the checked-out parameter's) is never written, only
// info->textureWorld is pointed at the current texture's record. The record
// of the doubled texture is also the one info->doubledTextureWorld points to.
#pragma once

#include "HostAPI.h"
#include "render/PFInfo.h"

class PreparedTexture {
public:
    PreparedTexture() = default;
    PreparedTexture(const PreparedTexture&) = delete;
    PreparedTexture& operator=(const PreparedTexture&) = delete;

    // Notes the chosen layer's record (info->textureWorld) as the current
    // texture; nothing has been made yet.
    void begin(PFInfo* info);

    // Whether info->textureWorld currently describes an image this render made.
    bool madeCurrentTexture() const { return current_ != nullptr; }

    // Disposes the image this render made, if any, through `worldSuite`;
    // clears info->doubledTextureWorld and points info->textureWorld back at
    // the chosen layer's record. Never throws; returns the host's error from
    // the disposal (0 for success). Calling it again does nothing.
    PF_Err dispose(PFInfo* info, PF_InData* in_data, const PF_WorldSuite2* worldSuite) noexcept;

private:
    template <typename T>
    friend void outputDefaultTexture(PFInfo*, PF_InData*, PF_OutData*, PreparedTexture*);
    template <typename T>
    friend void flipAndMirrorTexture(PFInfo*, PF_InData*, PF_OutData*, PreparedTexture*);

    // Makes `made` (a member record holding a new image) the texture:
    // disposes the image it replaces when this render made that one, and
    // points info->textureWorld at `made`, with its pitch.
    template <typename T>
    void replaceTexture(PFInfo* info, PF_InData* in_data, const PF_WorldSuite2* worldSuite, PF_EffectWorld* made);

    PF_LayerDef* layerRecord_ = nullptr;
    PF_EffectWorld* current_ = nullptr; // record of the image made last, while it is the texture
    PF_EffectWorld defaultWorld_{};
    PF_EffectWorld flippedWorld_{};
    PF_EffectWorld doubledWorld_{};
};

// Builds the placeholder texture when no layer is chosen (the current
// texture has width 0): 300 x 1200 pixels scaled by the input's downsample
// factors, converted from the built-in RGB picture (8-bit: alpha 255;
// 16-bit: alpha 32767, channels x 32767/255 rounded; float: alpha 1,
// channels / 255). Returns at once when a layer is chosen. Throws a PF_Err
// (see above).
template <typename T>
void outputDefaultTexture(PFInfo* info, PF_InData* in_data, PF_OutData* out_data, PreparedTexture* prepared);

// Replaces the texture with its flipped copy when info->flipTextureHorizontally
// or info->flipTextureVertically is set, then with a copy of twice its height
// whose lower half is the upper half upside down when info->repeatMirroredY
// is set. An image this render made and no longer needs is disposed at once.
// Does nothing under "Original Frame" (info->useOriginalFrame). Throws a PF_Err (see above).
template <typename T>
void flipAndMirrorTexture(PFInfo* info, PF_InData* in_data, PF_OutData* out_data, PreparedTexture* prepared);

// The two routines in the format of info->pixelFormat, with a thrown error
// code returned instead. An unknown format prepares nothing and returns 0
// (the background pass reports it).
PF_Err outputDefaultTextureForFormat(PFInfo* info, PF_InData* in_data, PF_OutData* out_data,
                                     PreparedTexture* prepared);
PF_Err flipAndMirrorTextureForFormat(PFInfo* info, PF_InData* in_data, PF_OutData* out_data,
                                     PreparedTexture* prepared);
