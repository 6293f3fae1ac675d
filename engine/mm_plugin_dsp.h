#pragma once
/* The engine's own DSP plug-in interface (the "engine kind"), exported as winampDSPGetHeader or
 * MMPlugInDSPGetHeader. The host writes the stream's rate, channel count and frames per buffer
 * into the module record before Init; the processing entry works in place and never changes
 * the length. Pointer fields take the platform's width; the reserved fields keep every entry
 * at its place in the record's order. */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TMMPlugInDSPModule {
    char* description;
    void* hwndParent;
    void* hDllInstance;
    uint32_t SampleRate;
    uint32_t Channels;
    uint32_t FramesPerBuffer;
    void (*Config)(struct TMMPlugInDSPModule* this_mod);
    int (*Init)(struct TMMPlugInDSPModule* this_mod);
    void* Reserved1;
    void (*ProcessSamples)(struct TMMPlugInDSPModule* this_mod, short int* samples);
    void* Reserved2;
    void* Reserved3;
    void (*Quit)(struct TMMPlugInDSPModule* this_mod);
    void* userData;
} TMMPlugInDSPModule;

typedef struct {
    int version;
    char* description;
    TMMPlugInDSPModule* (*getModule)(int index);
} TMMPlugInDSPHeader;

#ifdef __cplusplus
}
#endif
