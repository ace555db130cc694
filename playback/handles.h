// Opaque handles of the platform objects the player holds. Each platform
// backend defines the structs; everything else only passes the pointers on.
#pragma once

typedef struct PlatformInstance* InstanceHandle;  // the running program module
typedef struct PlatformWindow* WindowHandle;      // the dialog window
typedef struct PlatformImage* ImageHandle;        // a loaded button bitmap
typedef struct PlatformWaveOut* WaveOutHandle;    // an open wave-output device
