// The command entry's records: images, parameters, the interaction and
// utility callbacks, PF_InData and PF_OutData, the registration callback,
// and the call macros effects use. Our own text under the host's names.
#pragma once

#include "PF_Types.h"

struct SPBasicSuite;

// ---------------------------------------------------------------------------
// Images. PF_EffectWorld and PF_LayerDef are the same record.
// ---------------------------------------------------------------------------
typedef struct PF_LayerDef {
    void* reserved0;
    void* reserved1;
    PF_WorldFlags world_flags;
    PF_PixelPtr data;
    A_long rowbytes;
    A_long width;
    A_long height;
    PF_LRect extent_hint;
    void* platform_ref;
    A_long reserved_long1;
    void* reserved_long4;
    PF_RationalScale pix_aspect_ratio;
    void* reserved_long2;
    A_long origin_x;
    A_long origin_y;
    A_long reserved_long3;
    A_long dephault;
} PF_LayerDef;
typedef PF_LayerDef PF_EffectWorld;

// ---------------------------------------------------------------------------
// Parameter definitions
// ---------------------------------------------------------------------------
typedef struct {
    PF_ParamValue value;
    A_char value_str[32];
    A_char value_desc[32];
    PF_ParamValue valid_min, valid_max, slider_min, slider_max, dephault;
} PF_SliderDef;

typedef struct {
    PF_Fixed value;
    A_char value_str[32];
    A_char value_desc[32];
    PF_Fixed valid_min, valid_max, slider_min, slider_max, dephault;
    A_short precision;
    A_short display_flags;
} PF_FixedSliderDef;

typedef struct {
    PF_FpLong value;
    PF_FpLong phase;
    A_char value_desc[32];
    PF_FpShort valid_min, valid_max, slider_min, slider_max, dephault;
    A_short precision;
    PF_ValueDisplayFlags display_flags;
    PF_FSliderFlags fs_flags;
    PF_FpShort curve_tolerance;
    PF_Boolean useExponent;
    PF_FpShort exponent;
} PF_FloatSliderDef;

typedef struct {
    PF_Fixed value;
    PF_Fixed dephault;
    PF_Fixed valid_min, valid_max;
} PF_AngleDef;

typedef struct {
    PF_ParamValue value;
    PF_Boolean dephault;
    A_char reserved, reserved1, reserved2;
    union {
        const A_char* nameptr;
    } u;
} PF_CheckBoxDef;

typedef struct {
    PF_Pixel value;
    PF_Pixel dephault;
} PF_ColorDef;

typedef struct {
    PF_Fixed x_value;
    PF_Fixed y_value;
    A_char reserved[3];
    PF_Boolean restrict_bounds;
    PF_Fixed x_dephault;
    PF_Fixed y_dephault;
} PF_PointDef;

typedef struct {
    PF_ParamValue value; // 1-based
    A_short num_choices;
    A_short dephault;
    union {
        const A_char* namesptr; // entries separated by '|'
    } u;
} PF_PopupDef;

typedef struct {
    PF_PathID path_id;
    A_long reserved0;
    A_long dephault; // 0: no mask chosen
} PF_PathDef;

typedef union {
    PF_LayerDef ld;
    PF_SliderDef sd;
    PF_FixedSliderDef fd;
    PF_AngleDef ad;
    PF_CheckBoxDef bd;
    PF_ColorDef cd;
    PF_PointDef td;
    PF_PopupDef pd;
    PF_FloatSliderDef fs_d;
    PF_PathDef path_d;
} PF_ParamDefUnion;

typedef struct PF_ParamDef {
    union {
        A_long id; // disk ID
        PF_ChangeFlags change_flags;
    } uu;
    PF_ParamUIFlags ui_flags;
    A_short ui_width;
    A_short ui_height;
    PF_ParamType param_type;
    A_char name[32];
    PF_ParamFlags flags;
    A_long unused;
    PF_ParamDefUnion u;
} PF_ParamDef;
typedef PF_ParamDef* PF_ParamList[];

// ---------------------------------------------------------------------------
// Interaction callbacks (first argument of each: the instance's effect_ref)
// ---------------------------------------------------------------------------
typedef struct PF_CustomUIInfo PF_CustomUIInfo;

typedef struct {
    PF_Err (*checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time, A_long time_step,
                             A_u_long time_scale, PF_ParamDef* param);
    PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
    PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDef* def);
    PF_Err (*abort)(PF_ProgPtr effect_ref);
    PF_Err (*progress)(PF_ProgPtr effect_ref, A_long current, A_long total);
    PF_Err (*register_ui)(PF_ProgPtr effect_ref, PF_CustomUIInfo* info);
    void* checkout_layer_audio; // audio services: unused by this effect
    void* checkin_layer_audio;
    void* get_audio_data;
    void* reserved_str[3];
    void* reserved[10];
} PF_InteractCallbacks;

typedef struct {
    double (*atan)(double);
    double (*atan2)(double y, double x);
    double (*ceil)(double);
    double (*cos)(double);
    double (*exp)(double);
    double (*fabs)(double);
    double (*floor)(double);
    double (*fmod)(double x, double y);
    double (*hypot)(double x, double y);
    double (*log)(double);
    double (*log10)(double);
    double (*pow)(double x, double y);
    double (*sin)(double);
    double (*sqrt)(double);
    double (*tan)(double);
    int (*sprintf)(A_char* dst, const A_char* fmt, ...);
    A_char* (*strcpy)(A_char* dst, const A_char* src);
    double (*asin)(double);
    double (*acos)(double);
    A_long ansi_procs[1];
} PF_ANSICallbacks;

// Only `ansi` is used by the effect; the other entries keep the layout.
typedef struct _PF_UtilCallbacks {
    void* begin_sampling;
    void* subpixel_sample;
    void* area_sample;
    void* get_batch_func_is_deprecated;
    void* end_sampling;
    void* composite_rect;
    void* blend;
    void* convolve;
    void* copy;
    void* fill;
    void* gaussian_kernel;
    void* iterate;
    void* premultiply;
    void* premultiply_color;
    void* new_world;
    void* dispose_world;
    void* iterate_origin;
    void* iterate_lut;
    void* transfer_rect;
    void* transform_world;
    void* host_new_handle;
    void* host_lock_handle;
    void* host_unlock_handle;
    void* host_dispose_handle;
    void* get_callback_addr;
    void* app;
    PF_ANSICallbacks ansi;
    void* colorCB;
    void* get_platform_data;
    void* host_get_handle_size;
    void* iterate_origin_non_clip_src;
    void* iterate_generic;
    void* host_resize_handle;
    void* subpixel_sample16;
    void* area_sample16;
    void* fill16;
    void* premultiply_color16;
    void* iterate16;
    void* iterate_origin16;
    void* iterate_origin_non_clip_src16;
    void* get_pixel_data8;
    void* get_pixel_data16;
    A_long reserved[1];
} PF_UtilCallbacks;

// ---------------------------------------------------------------------------
// Sound records (present only for the layout of the records below)
// ---------------------------------------------------------------------------
typedef struct {
    PF_FpLong rateF;
    A_short num_channels;
    A_short format;
    A_short bytes_per_sample;
} PF_SoundFormatInfo;

typedef struct {
    PF_SoundFormatInfo fi;
    A_long num_samples;
    void* dataP;
} PF_SoundWorld;

// ---------------------------------------------------------------------------
// PF_InData, PF_OutData
// ---------------------------------------------------------------------------
typedef struct PF_InData {
    PF_InteractCallbacks inter;
    struct _PF_UtilCallbacks* utils;
    PF_ProgPtr effect_ref;
    PF_Quality quality;
    PF_SpecVersion version;
    A_long serial_num;
    A_long appl_id;
    A_long num_params;
    A_long reserved;
    A_long what_cpu;
    A_long what_fpu;
    A_long current_time;
    A_long time_step;
    A_long total_time;
    A_long local_time_step;
    A_u_long time_scale;
    PF_Field field;
    PF_Fixed shutter_angle;
    A_long width;
    A_long height;
    PF_Rect extent_hint;
    A_long output_origin_x;
    A_long output_origin_y;
    PF_RationalScale downsample_x;
    PF_RationalScale downsample_y;
    PF_RationalScale pixel_aspect_ratio;
    PF_InFlags in_flags;
    PF_Handle global_data;
    PF_Handle sequence_data;
    PF_Handle frame_data;
    A_long start_sampL;
    A_long dur_sampL;
    A_long total_sampL;
    PF_SoundWorld src_snd;
    struct SPBasicSuite* pica_basicP;
    A_long pre_effect_source_origin_x;
    A_long pre_effect_source_origin_y;
    PF_Fixed shutter_phase;
} PF_InData;

enum { PF_MAX_EFFECT_MSG_LEN = 255, PF_MAX_EFFECT_NAME_LEN = 31 };

typedef struct PF_OutData {
    A_u_long my_version;
    A_char name[32];
    PF_Handle global_data;
    A_long num_params;
    PF_Handle sequence_data;
    A_long flat_sdata_size;
    PF_Handle frame_data;
    A_long width;
    A_long height;
    PF_Point origin;
    PF_OutFlags out_flags;
    A_char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
    A_long start_sampL;
    A_long dur_sampL;
    PF_SoundWorld dest_snd;
    PF_OutFlags2 out_flags2;
} PF_OutData;

// ---------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------
typedef A_Err (*PF_PluginDataCB)(PF_PluginDataPtr inPtr, const A_u_char* inNameZ, const A_u_char* inMatchNameZ,
                                 const A_u_char* inCategoryZ, const A_u_char* inEntryPointNameZ, A_long inKind,
                                 A_long inApiVersionMajor, A_long inApiVersionMinor, A_long inReservedInfo);

typedef PF_Err (*PF_PluginDataEntryFunctionPtr)(PF_PluginDataPtr inPtr, PF_PluginDataCB inPluginDataCallBackPtr,
                                                struct SPBasicSuite* inSPBasicSuitePtr, const char* inHostName,
                                                const char* inHostVersion);

typedef PF_Err (*PF_EffectMainPtr)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                   PF_LayerDef* output, void* extra);

#define PF_PLUG_IN_VERSION 13
#define PF_PLUG_IN_SUBVERS 27

// Version packing: major bits 19+, minor 15-18, bug fix 11-14, stage 9-10, build 0-8.
#define PF_VERSION(vers, subvers, bugvers, stage, build)                                                          \
    (A_u_long)((((A_u_long)(vers) & 0x1FFF) << 19) | (((A_u_long)(subvers) & 0xF) << 15) |                       \
               (((A_u_long)(bugvers) & 0xF) << 11) | (((A_u_long)(stage) & 0x3) << 9) | ((A_u_long)(build) & 0x1FF))

enum { PF_Stage_DEVELOP, PF_Stage_ALPHA, PF_Stage_BETA, PF_Stage_RELEASE };

// ---------------------------------------------------------------------------
// Call macros. They rely on a variable named in_data in scope.
// ---------------------------------------------------------------------------
#define PF_ADD_PARAM(IN_DATA, INDEX, DEF) ((IN_DATA)->inter.add_param((IN_DATA)->effect_ref, (INDEX), (DEF)))
#define PF_CHECKOUT_PARAM(IN_DATA, INDEX, TIME, STEP, SCALE, PARAM)                                               \
    ((IN_DATA)->inter.checkout_param((IN_DATA)->effect_ref, (INDEX), (TIME), (STEP), (SCALE), (PARAM)))
#define PF_CHECKIN_PARAM(IN_DATA, PARAM) ((IN_DATA)->inter.checkin_param((IN_DATA)->effect_ref, (PARAM)))
#define PF_ABORT(IN_DATA) ((IN_DATA)->inter.abort((IN_DATA)->effect_ref))
#define PF_PROGRESS(IN_DATA, CURR, TOTAL) ((IN_DATA)->inter.progress((IN_DATA)->effect_ref, (CURR), (TOTAL)))
#define PF_SPRINTF (*in_data->utils->ansi.sprintf)
#define PF_STRCPY (*in_data->utils->ansi.strcpy)

#define AEFX_CLR_STRUCT(STRUCT)                                                                                  \
    do {                                                                                                          \
        A_char* _p = reinterpret_cast<A_char*>(&(STRUCT));                                                        \
        for (std::size_t _i = 0; _i < sizeof(STRUCT); ++_i) _p[_i] = 0;                                           \
    } while (0)
