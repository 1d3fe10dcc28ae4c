/* A frame hook plug-in for the engine tests, built in several variants:
 * ZHOOK_INVERT      Configure/Process/Release: luma := amount - luma
 * ZHOOK_NO_PROCESS  no Process export
 * ZHOOK_NO_CONFIGURE Process only
 * ZHOOK_BAD_CONFIGURE Configure refuses
 * The Test* exports let the tests see what the hook was given. */
#include <stdlib.h>

#include "media/engine/frame_hook_plugin.h"

#define EXPORT __attribute__((visibility("default")))

static int processed;
static int released;
static int last_format;
static int last_width;
static int last_height;
static int64_t last_pts;

typedef struct {
    int amount;
} Context;

EXPORT int TestHookProcessed(void) {
    return processed;
}
EXPORT int TestHookReleased(void) {
    return released;
}
EXPORT int64_t TestHookLastPts(void) {
    return last_pts;
}
EXPORT int TestHookLastFormat(void) {
    return last_format;
}
EXPORT int TestHookLastWidth(void) {
    return last_width;
}
EXPORT int TestHookLastHeight(void) {
    return last_height;
}

#if !defined(ZHOOK_NO_PROCESS) && !defined(ZHOOK_NO_CONFIGURE)
EXPORT int Configure(void** context, int argc, char* argv[]) {
#ifdef ZHOOK_BAD_CONFIGURE
    (void)context;
    (void)argc;
    (void)argv;
    return -1;
#else
    Context* c = calloc(1, sizeof *c);
    if (c == NULL || argv[argc] != NULL) return -1;
    c->amount = argc > 1 ? atoi(argv[1]) : 255;
    *context = c;
    return 0;
#endif
}
#endif

#ifndef ZHOOK_NO_PROCESS
EXPORT void Process(void* context, ZorvexHookPicture* picture, int pixelFormat, int width,
                    int height, int64_t pts) {
    const Context* c = context;
    const int amount = c != NULL ? c->amount : 255;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture->data[0] + y * picture->linesize[0];
        for (int x = 0; x < width; ++x) row[x] = (uint8_t)(amount - row[x]);
    }
    ++processed;
    last_format = pixelFormat;
    last_width = width;
    last_height = height;
    last_pts = pts;
}
#endif

#if !defined(ZHOOK_NO_CONFIGURE)
EXPORT void Release(void* context) {
    free(context);
    ++released;
}
#endif
