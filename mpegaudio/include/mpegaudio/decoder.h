/* MPEG audio decoding library: the decoder object, its module slots, filters and properties.
 *
 * Everything here is plain C. Every function takes the Decoder first and returns a signed
 * 32-bit status: 0 on success or one of the negative MPA_E_* codes (registering functions
 * return the new id instead). Nothing is thrown across this interface.
 *
 * Threads: a Decoder is used by one thread at a time and holds no lock; different decoders
 * may run on different threads at once, since the library keeps no shared mutable state.
 * The error callback, property watchers and the modules' methods run on the thread that
 * called into the decoder, inside that call, never after it has returned. */
#ifndef MPEGAUDIO_DECODER_H
#define MPEGAUDIO_DECODER_H

#include <stdint.h>

#if defined(__GNUC__)
#define MPA_API __attribute__((visibility("default")))
#else
#define MPA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes. */
enum {
    MPA_OK = 0,
    MPA_E_NOT_POSSIBLE = -1,
    MPA_E_NO_MEMORY = -100,
    MPA_E_BAD_ARGUMENT = -102,
    MPA_E_INTERNAL = -103,
    MPA_E_VERSION = -106,
    MPA_E_OPEN_FAILED = -500,
    MPA_E_PERMISSION = -504,
    MPA_E_UNKNOWN_ID = -507,
    MPA_E_NO_INPUT_MODULE = -508,
    MPA_E_NO_OUTPUT_MODULE = -509,
    MPA_E_WRITE_FAILED = -510, /* the output stored nothing of a decoded block */
    MPA_E_FILE_NOT_FOUND = -513,
    MPA_E_END_OF_INPUT = -514,
    MPA_E_NO_CODEC = -600,
    MPA_E_FATAL = -700,
    /* Recoverable stream errors: never returned, only reported to the error callback (its
     * status argument) with the frame that follows them; decoding goes on. */
    MPA_E_LOST_SYNC = -701,        /* the next frame was not where the last one ended */
    MPA_E_BAD_HEADER = -702,       /* a damaged frame header was skipped */
    MPA_E_MAIN_DATA = -703,        /* Layer III main data reaches before the data received */
    MPA_E_HUFFMAN_OVERRUN = -704,  /* Layer III big values ran past their granule's bits */
    MPA_E_NO_PROPERTY = -900,
    MPA_E_PROPERTY_TYPE = -901
};

/* Modules and filters carry this version word; only (word & MPA_VERSION_MASK) is compared. */
#define MPA_MODULE_VERSION 0x040300u
#define MPA_VERSION_MASK 0xFFFF00u

/* ModuleInfo query flags. */
enum {
    MPA_QUERY_NAME = 1,         /* module name and version text */
    MPA_QUERY_DEVICE_COUNT = 2, /* number of devices into index */
    MPA_QUERY_DEVICE = 4,       /* name and description of device [index] */
    MPA_QUERY_MAX_BYTES = 8,    /* largest PCM bytes per decode */
    MPA_QUERY_CAPABILITIES = 16 /* capability word into device_flag */
};

/* Option masks for the codec's set-options / read-options slots. */
enum { MPA_OPTION_CHANNELS = 1, MPA_OPTION_DOWNSAMPLING = 2, MPA_OPTION_EQUALIZER = 4 };

/* Channel modes and downsampling values of DecoderOptions. */
enum { MPA_CHANNELS_BOTH = 0, MPA_CHANNELS_LEFT = 1, MPA_CHANNELS_RIGHT = 2, MPA_CHANNELS_MIX = 3 };
enum { MPA_RATE_FULL = 0, MPA_RATE_HALF = 1, MPA_RATE_QUARTER = 2 };

/* StreamInfo change flags. */
enum { MPA_INFO_PROPERTIES = 1, MPA_INFO_FORMAT = 2, MPA_INFO_CONTENT_TYPE = 4 };

/* Default output capability word, and the bit that asks for the output tag. */
#define MPA_OUTPUT_DEFAULT_CAPS 0x7FBFFFFFu
#define MPA_OUTPUT_CAP_TAG 0x00400000u

#define MPA_EQUALIZER_STEPS 64
#define MPA_INTERNAL_PCM_BYTES 8192
#define MPA_INFO_TEXT 256

typedef struct Decoder Decoder;
typedef struct PropertyList PropertyList;
typedef struct PropertyWatcher PropertyWatcher;
typedef struct FilterLink FilterLink;
typedef struct ModuleRecord ModuleRecord;

typedef struct TimeCode {
    int32_t hours;
    int32_t minutes;
    int32_t seconds;
    int32_t hundredths;
} TimeCode;

typedef struct StreamInfo {
    uint32_t flags;           /* MPA_INFO_* bits; 7 after a successful stream analysis */
    uint32_t duration_ms;     /* 0 when unknown */
    uint32_t sample_rate;     /* Hz */
    uint32_t bitrate;         /* kbit/s */
    uint32_t channels;        /* 1 or 2 */
    const char *content_type; /* static text, or null */
    PropertyList *properties; /* the stream properties ("id3/...", "mpeg/...") */
} StreamInfo;

typedef struct PcmBlock {
    uint32_t flags; /* bit 0 sample width, bits 1 and 2 channels, bit 2 sample rate changed */
    void *buffer;
    uint32_t samples;          /* per channel */
    uint32_t bytes_per_sample; /* always 2 */
    uint32_t channels;
    uint32_t sample_rate; /* after downsampling */
    uintptr_t tag;        /* filled by the output chain's tag slot */
} PcmBlock;

typedef struct DecoderOptions {
    int32_t channel_mode; /* MPA_CHANNELS_* */
    int32_t downsampling; /* MPA_RATE_* */
    int8_t *equalizer;    /* MPA_EQUALIZER_STEPS steps owned by the decoder, or null */
} DecoderOptions;

typedef struct ModuleInfo {
    int32_t index;       /* in: device index asked for; out: number of devices */
    int32_t device_flag; /* 1 the device takes a name; capability word with MPA_QUERY_CAPABILITIES */
    char name[MPA_INFO_TEXT];
    char description[MPA_INFO_TEXT];
    int32_t max_bytes; /* codecs: largest PCM bytes per decode */
} ModuleInfo;

/* The format record handed to the output's set-format slot. */
typedef struct PcmFormat {
    uint32_t bytes_per_sample;
    uint32_t sample_rate;
    uint32_t channels;
} PcmFormat;

/* Output control block; words[2..6] get 2, 100, 100, 50, 1 when no link handles it. */
typedef struct OutputControlBlock {
    int32_t words[8];
} OutputControlBlock;

typedef int32_t (*MpaMatchFn)(const char *name);
typedef int32_t (*MpaQueryFn)(ModuleInfo *info, uint32_t flags);
typedef int32_t (*MpaDeleteFn)(void *instance);
typedef int32_t (*MpaInstanceFn)(void *instance);
typedef int32_t (*MpaControlFn)(void *instance, intptr_t a, intptr_t b, intptr_t c);

typedef struct InputMethods {
    MpaMatchFn match;
    MpaQueryFn query;
    int32_t (*create)(void **instance, const char *name, const ModuleRecord *record, Decoder *decoder);
    MpaDeleteFn destroy;
    MpaInstanceFn open;
    MpaInstanceFn close;
    int32_t (*read)(void *instance, void *buffer, int32_t count); /* bytes read; <= 0 failure */
    int32_t (*seek)(void *instance, uint64_t position);            /* 0 ok */
    MpaInstanceFn can_seek;                                        /* 1 or 0 */
    uint64_t (*size)(void *instance);                              /* bytes, 0 unknown */
    MpaControlFn control;
} InputMethods;

typedef struct OutputMethods {
    MpaMatchFn match;
    MpaQueryFn query;
    int32_t (*create)(void **instance, const char *name, const ModuleRecord *record, Decoder *decoder);
    MpaDeleteFn destroy;
    MpaInstanceFn open;
    MpaInstanceFn close;
    int32_t (*write)(void *instance, const void *buffer, int32_t bytes, int32_t bytes_per_sample,
                     int32_t channels, int32_t sample_rate); /* bytes written, 0 failure */
    void *(*get_buffer)(void *instance, int32_t bytes);
    int32_t (*set_format)(void *instance, const PcmFormat *format, uint32_t flags);
    int32_t (*control_block)(void *instance, OutputControlBlock *block, int32_t value);
    int32_t (*tag)(void *instance, uintptr_t *word);
    uint32_t (*capabilities)(void *instance);
    MpaControlFn control;
} OutputMethods;

typedef struct CodecMethods {
    int32_t (*probe)(const char *content_type, const char *name);
    MpaQueryFn query;
    int32_t (*create)(void **instance, const char *content_type, const char *name,
                      const ModuleRecord *record, Decoder *decoder);
    MpaDeleteFn destroy;
    int32_t (*decode)(void *instance, PcmBlock *pcm, StreamInfo *info);
    int32_t (*analyse)(void *instance, StreamInfo *info);
    float (*position_to_fraction)(void *instance, uint64_t position);
    float (*map_fraction)(void *instance, float fraction);
    int32_t (*start)(void *instance, const char *content_type, const char *name);
    int32_t (*input_closed)(void *instance);
    int32_t (*seek_notify)(void *instance, uint64_t position);
    int32_t (*reset)(void *instance);
    int32_t (*set_options)(void *instance, const DecoderOptions *options, uint32_t mask);
    int32_t (*read_options)(void *instance, DecoderOptions *options, uint32_t mask);
    void *reserved;
} CodecMethods;

/* A module: the version word, then the slots of its kind. */
typedef struct ModuleDescriptor {
    uint32_t version;
    union {
        InputMethods input;
        OutputMethods output;
        CodecMethods codec;
    };
} ModuleDescriptor;

/* The decoder's copy of a registered descriptor, with the id it was given. */
struct ModuleRecord {
    ModuleDescriptor descriptor;
    int32_t id;
};

/* Filters sit in the input or output chain above the module. Each method gets its instance
 * and the next link; a null method passes the call on to the next link. Use the
 * decoder_input_link_* / decoder_output_link_* functions to forward a call. */
typedef struct InputFilterMethods {
    int32_t (*open)(void *instance, FilterLink *next);
    int32_t (*close)(void *instance, FilterLink *next);
    int32_t (*read)(void *instance, FilterLink *next, void *buffer, int32_t count);
    int32_t (*seek)(void *instance, FilterLink *next, uint64_t position);
    int32_t (*can_seek)(void *instance, FilterLink *next);
    uint64_t (*size)(void *instance, FilterLink *next);
    int32_t (*control)(void *instance, FilterLink *next, intptr_t a, intptr_t b, intptr_t c);
} InputFilterMethods;

typedef struct OutputFilterMethods {
    int32_t (*open)(void *instance, FilterLink *next);
    int32_t (*close)(void *instance, FilterLink *next);
    int32_t (*write)(void *instance, FilterLink *next, const void *buffer, int32_t bytes,
                     int32_t bytes_per_sample, int32_t channels, int32_t sample_rate);
    void *(*get_buffer)(void *instance, FilterLink *next, int32_t bytes);
    int32_t (*set_format)(void *instance, FilterLink *next, const PcmFormat *format, uint32_t flags);
    int32_t (*control_block)(void *instance, FilterLink *next, OutputControlBlock *block, int32_t value);
    int32_t (*tag)(void *instance, FilterLink *next, uintptr_t *word);
    uint32_t (*capabilities)(void *instance, FilterLink *next);
    int32_t (*control)(void *instance, FilterLink *next, intptr_t a, intptr_t b, intptr_t c);
} OutputFilterMethods;

typedef struct FilterDescriptor {
    uint32_t version;
    const char *(*name)(void);
    int32_t (*init)(void **instance, int32_t id, Decoder *decoder); /* null: instance is null */
    int32_t (*destroy)(void *instance);
    union {
        InputFilterMethods input;
        OutputFilterMethods output;
    };
} FilterDescriptor;

/* Property watcher: value points to the int32_t or to the text (const char) that was set,
 * and is null just before the property is deleted. Only global properties are watched. */
typedef void (*PropertyWatchFn)(uintptr_t user, const char *name, const void *value);

/* status is 0 for the decoder's own messages (summary "internal error"), or the MPA_E_ code
 * of a recoverable stream error (summary "stream error"). The return value is ignored. */
typedef int32_t (*ErrorCallback)(void *user, int32_t module_id, int32_t status, const char *summary,
                                 const char *detail);

typedef struct DecoderServices {
    int32_t (*read_input)(Decoder *d, void *buffer, int32_t count);
    int32_t (*seek_bytes)(Decoder *d, uint64_t position);
    int32_t (*reset_codec)(Decoder *d);
    int32_t (*set_stream_int)(Decoder *d, const char *name, int32_t value);
    int32_t (*get_stream_int)(Decoder *d, const char *name, int32_t *value);
    int32_t (*set_stream_string)(Decoder *d, const char *name, const char *text);
    int32_t (*get_stream_string)(Decoder *d, const char *name, char *out, uint32_t capacity);
    int32_t (*delete_stream)(Decoder *d, const char *name);
    int32_t (*set_global_int)(Decoder *d, const char *name, int32_t value);
    int32_t (*get_global_int)(Decoder *d, const char *name, int32_t *value);
    int32_t (*set_global_string)(Decoder *d, const char *name, const char *text);
    int32_t (*get_global_string)(Decoder *d, const char *name, char *out, uint32_t capacity);
    int32_t (*delete_global)(Decoder *d, const char *name);
    int32_t (*add_watcher)(Decoder *d, const char *name, uintptr_t user, PropertyWatchFn callback,
                           PropertyWatcher **handle);
    int32_t (*remove_watcher)(Decoder *d, PropertyWatcher *handle);
} DecoderServices;

typedef struct InputState {
    int32_t open;           /* 0 closed, 1 open */
    uint32_t flags;         /* bit 0: the input can seek */
    uint64_t position;      /* bytes consumed through the read service */
    uint64_t size;          /* bytes, 0 unknown */
    void *instance;         /* the module's instance */
    const ModuleRecord *module;
    const char *name;         /* the decoder's copy of the attached name */
    const char *content_type; /* "unknown" once opened */
} InputState;

typedef struct OutputState {
    int32_t open;
    uint32_t capabilities;
    void *instance;
    const ModuleRecord *module;
    const char *name;
} OutputState;

typedef struct CodecState {
    void *instance;
    const ModuleRecord *codec;
    int32_t max_bytes;
    uint32_t capabilities;
} CodecState;

typedef struct ModuleCounts {
    int32_t inputs;
    int32_t outputs;
    int32_t codecs;
} ModuleCounts;

typedef struct PlayStatus {
    float fraction; /* 0..1 of the stream played */
    StreamInfo info;
    TimeCode elapsed;
} PlayStatus;

typedef struct DecoderPrivate DecoderPrivate;

/* One per stream. Modules read the state fields; callers set on_error and error_user. */
struct Decoder {
    InputState input;
    OutputState output;
    CodecState codec;
    ModuleCounts counts;
    PlayStatus status;
    PcmBlock pcm;
    void *error_user;
    ErrorCallback on_error;
    DecoderServices services;
    DecoderPrivate *priv;
};

/* Creation and modules. */
MPA_API int32_t decoder_create(Decoder **out);
MPA_API int32_t decoder_destroy(Decoder *d);
MPA_API int32_t decoder_register_input(Decoder *d, const ModuleDescriptor *module);
MPA_API int32_t decoder_register_output(Decoder *d, const ModuleDescriptor *module);
MPA_API int32_t decoder_register_codec(Decoder *d, const ModuleDescriptor *module);
MPA_API int32_t decoder_query_input_module(Decoder *d, int32_t id, ModuleInfo *info, uint32_t flags);
MPA_API int32_t decoder_query_output_module(Decoder *d, int32_t id, ModuleInfo *info, uint32_t flags);
MPA_API int32_t decoder_query_codec(Decoder *d, int32_t id, ModuleInfo *info, uint32_t flags);

/* Filters. */
MPA_API int32_t decoder_add_input_filter(Decoder *d, const FilterDescriptor *filter, int32_t position);
MPA_API int32_t decoder_add_output_filter(Decoder *d, const FilterDescriptor *filter, int32_t position);
MPA_API int32_t decoder_remove_input_filter(Decoder *d, const char *name, int32_t key);
MPA_API int32_t decoder_remove_output_filter(Decoder *d, const char *name, int32_t key);
MPA_API int32_t decoder_each_input_filter(Decoder *d, uintptr_t user,
                                          int32_t (*fn)(uintptr_t user, FilterLink *link));
MPA_API int32_t decoder_each_output_filter(Decoder *d, uintptr_t user,
                                           int32_t (*fn)(uintptr_t user, FilterLink *link));
MPA_API int32_t filter_link_id(const FilterLink *link);
MPA_API void *filter_link_instance(const FilterLink *link);
MPA_API const char *filter_link_name(const FilterLink *link);

/* Forwarding along a chain, for filters: the call goes to the first link at or below
 * `link` that has the method, and finally to the module instance. */
MPA_API int32_t decoder_input_link_open(FilterLink *link);
MPA_API int32_t decoder_input_link_close(FilterLink *link);
MPA_API int32_t decoder_input_link_read(FilterLink *link, void *buffer, int32_t count);
MPA_API int32_t decoder_input_link_seek(FilterLink *link, uint64_t position);
MPA_API int32_t decoder_input_link_can_seek(FilterLink *link);
MPA_API uint64_t decoder_input_link_size(FilterLink *link);
MPA_API int32_t decoder_input_link_control(FilterLink *link, intptr_t a, intptr_t b, intptr_t c);
MPA_API int32_t decoder_output_link_open(FilterLink *link);
MPA_API int32_t decoder_output_link_close(FilterLink *link);
MPA_API int32_t decoder_output_link_write(FilterLink *link, const void *buffer, int32_t bytes,
                                          int32_t bytes_per_sample, int32_t channels, int32_t sample_rate);
MPA_API void *decoder_output_link_get_buffer(FilterLink *link, int32_t bytes);
MPA_API int32_t decoder_output_link_set_format(FilterLink *link, const PcmFormat *format, uint32_t flags);
MPA_API int32_t decoder_output_link_control_block(FilterLink *link, OutputControlBlock *block, int32_t value);
MPA_API int32_t decoder_output_link_tag(FilterLink *link, uintptr_t *word);
MPA_API uint32_t decoder_output_link_capabilities(FilterLink *link);
MPA_API int32_t decoder_output_link_control(FilterLink *link, intptr_t a, intptr_t b, intptr_t c);

/* Input side. */
MPA_API int32_t decoder_attach_input(Decoder *d, const char *name, int32_t module_id);
MPA_API int32_t decoder_detach_input(Decoder *d);
MPA_API int32_t decoder_open_input(Decoder *d);
MPA_API int32_t decoder_close_input(Decoder *d);
MPA_API int32_t decoder_read_input(Decoder *d, void *buffer, int32_t count);
MPA_API int32_t decoder_input_control(Decoder *d, intptr_t a, intptr_t b, intptr_t c);

/* Decoding and seeking. A caller's buffer must hold codec.max_bytes bytes. */
MPA_API int32_t decoder_decode(Decoder *d, void *buffer);
MPA_API int32_t decoder_reset_codec(Decoder *d);
MPA_API int32_t decoder_seek_bytes(Decoder *d, uint64_t position);
MPA_API int32_t decoder_seek_fraction(Decoder *d, float fraction);
MPA_API int32_t decoder_seek_seconds(Decoder *d, float seconds);
MPA_API int32_t decoder_seek_time(Decoder *d, const TimeCode *time);

/* Output side. */
MPA_API int32_t decoder_attach_output(Decoder *d, const char *name, int32_t module_id);
MPA_API int32_t decoder_detach_output(Decoder *d);
MPA_API int32_t decoder_open_output(Decoder *d);
MPA_API int32_t decoder_close_output(Decoder *d);
MPA_API int32_t decoder_write_output(Decoder *d, const void *buffer, int32_t bytes, int32_t bytes_per_sample,
                                     int32_t channels, int32_t sample_rate);
MPA_API int32_t decoder_set_output_format(Decoder *d, const PcmFormat *format, uint32_t flags);
MPA_API int32_t decoder_output_control(Decoder *d, OutputControlBlock *block, int32_t value);
MPA_API int32_t decoder_output_filter_control(Decoder *d, intptr_t a, intptr_t b, intptr_t c);
MPA_API int32_t decoder_decode_to_output(Decoder *d);

/* Options. */
MPA_API int32_t decoder_set_channel_mode(Decoder *d, int32_t mode);
MPA_API int32_t decoder_get_channel_mode(Decoder *d);
MPA_API int32_t decoder_set_downsampling(Decoder *d, int32_t value);
MPA_API int32_t decoder_get_downsampling(Decoder *d);
MPA_API int32_t decoder_set_equalizer(Decoder *d, const int8_t *steps);
MPA_API int32_t decoder_get_equalizer(Decoder *d, int8_t *steps);

/* Properties: the stream list (reset at every open) and the global list (watched). A string
 * is copied with its terminator into out; a buffer smaller than that gives MPA_E_BAD_ARGUMENT. */
MPA_API int32_t decoder_set_stream_int(Decoder *d, const char *name, int32_t value);
MPA_API int32_t decoder_get_stream_int(Decoder *d, const char *name, int32_t *value);
MPA_API int32_t decoder_set_stream_string(Decoder *d, const char *name, const char *text);
MPA_API int32_t decoder_get_stream_string(Decoder *d, const char *name, char *out, uint32_t capacity);
MPA_API int32_t decoder_delete_stream(Decoder *d, const char *name);
MPA_API int32_t decoder_set_global_int(Decoder *d, const char *name, int32_t value);
MPA_API int32_t decoder_get_global_int(Decoder *d, const char *name, int32_t *value);
MPA_API int32_t decoder_set_global_string(Decoder *d, const char *name, const char *text);
MPA_API int32_t decoder_get_global_string(Decoder *d, const char *name, char *out, uint32_t capacity);
MPA_API int32_t decoder_delete_global(Decoder *d, const char *name);
MPA_API int32_t decoder_add_watcher(Decoder *d, const char *name, uintptr_t user, PropertyWatchFn callback,
                                   PropertyWatcher **handle);
MPA_API int32_t decoder_remove_watcher(Decoder *d, PropertyWatcher *handle);

/* Sends a report to the decoder's error callback, when one is set. Modules use it too:
 * decoder_report with status 0, decoder_report_status with a status code. */
MPA_API void decoder_report(Decoder *d, int32_t module_id, const char *summary, const char *detail);
MPA_API void decoder_report_status(Decoder *d, int32_t module_id, int32_t status, const char *summary,
                                   const char *detail);

#ifdef __cplusplus
}
#endif

#endif
