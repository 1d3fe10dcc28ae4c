/* The interface of frame hook plug-ins ("vhook").
 *
 * A frame hook is a shared library that sees, and may change in place, every
 * decoded video picture of a conversion before it is filtered and encoded. It
 * exports three C functions under these names:
 *
 *   Configure (optional unless arguments follow the library name) is called
 *   once when the hook is added, with the "vhook" value split into arguments
 *   (argv[0] is the library's file name, argv[argc] is NULL). It may store a
 *   context of its own in *context; a non-zero result refuses the hook.
 *
 *   Process (required) is called for every picture with that context, the
 *   picture's planes, its FFmpeg pixel format (AVPixelFormat), its size and its
 *   presentation time in microseconds. The planes are writable.
 *
 *   Release (optional) is called once when the task ends.
 *
 * Calls come from the conversion task's own thread; one library may serve
 * several tasks at the same time, each with its own context.
 */
#ifndef ZORVEX_FRAME_HOOK_PLUGIN_H
#define ZORVEX_FRAME_HOOK_PLUGIN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ZorvexHookPicture {
    uint8_t* data[4];
    int linesize[4];
} ZorvexHookPicture;

typedef int (*ZorvexHookConfigureFn)(void** context, int argc, char* argv[]);
typedef void (*ZorvexHookProcessFn)(void* context, ZorvexHookPicture* picture, int pixelFormat,
                                    int width, int height, int64_t pts);
typedef void (*ZorvexHookReleaseFn)(void* context);

#define ZORVEX_HOOK_CONFIGURE "Configure"
#define ZORVEX_HOOK_PROCESS "Process"
#define ZORVEX_HOOK_RELEASE "Release"

#ifdef __cplusplus
}
#endif

#endif
