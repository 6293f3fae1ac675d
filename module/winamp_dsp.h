#pragma once
/* The published DSP plug-in interface, version 2, as both sides of it see it: the library
 * exports winampDSPGetHeader2, which returns the header; the header's getModule hands out the
 * module records. Field order, widths and entry signatures are those of the published
 * interface; window and instance handles take the platform's pointer width. */

#ifdef __cplusplus
extern "C" {
#endif

typedef struct winampDSPModule {
    char* description;
    void* hwndParent;   /* owner window of the module's control panel */
    void* hDllInstance; /* the library's instance handle */
    void (*Config)(struct winampDSPModule* this_mod);
    int (*Init)(struct winampDSPModule* this_mod);
    /* Processes numsamples frames of interleaved 16-bit samples in place; returns frames. */
    int (*ModifySamples)(struct winampDSPModule* this_mod, short int* samples, int numsamples, int bps, int nch,
                         int srate);
    void (*Quit)(struct winampDSPModule* this_mod);
    void* userData;
} winampDSPModule;

typedef struct {
    int version;
    char* description;
    winampDSPModule* (*getModule)(int index);
} winampDSPHeader;

typedef winampDSPHeader* (*winampDSPGetHeaderType)(void);

#ifdef __cplusplus
}
#endif
