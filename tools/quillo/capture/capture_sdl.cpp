// Capture through SDL2: a capture device opened at exactly 8000 Hz, mono,
// signed 16-bit (SDL converts from what the device has), read by queueing.
#include <SDL.h>

#include "tools/quillo/capture.h"

static SDL_AudioDeviceID device = 0;

bool capture_open(std::string* error) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    *error = std::string("no capture device: ") + SDL_GetError();
    return false;
  }
  SDL_AudioSpec want = {};
  want.freq = 8000;
  want.format = AUDIO_S16SYS;
  want.channels = 1;
  want.samples = 256;
  SDL_AudioSpec have;
  device = SDL_OpenAudioDevice(nullptr, 1, &want, &have, 0);
  if (device == 0) {
    *error = std::string("no capture device: ") + SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  SDL_PauseAudioDevice(device, 0);
  return true;
}

size_t capture_read(int16_t* samples, size_t max) {
  Uint32 got = SDL_DequeueAudio(device, samples, static_cast<Uint32>(max * sizeof *samples));
  if (got == 0) {
    SDL_Delay(20);
    got = SDL_DequeueAudio(device, samples, static_cast<Uint32>(max * sizeof *samples));
  }
  return got / sizeof *samples;
}

void capture_close() {
  if (device != 0) SDL_CloseAudioDevice(device);
  device = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
