#include "tools/quillo/pcm_output.h"

#include <cstdio>

#include "tools/quillo/audio_input.h"

bool pcm_output_open(PcmOutput* out, const char* path, std::string* error) {
  if (!output_open(&out->out, path, error)) return false;
  SF_INFO info = {};
  info.samplerate = 8000;
  info.channels = 1;
  bool wav = out->out.file != stdout && !isRawPcmName(out->out.path);
  info.format =
      wav ? SF_FORMAT_WAV | SF_FORMAT_PCM_16 : SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
  std::fflush(out->out.file);
  out->file = sf_open_fd(fileno(out->out.file), SFM_WRITE, &info, SF_FALSE);
  if (!out->file) {
    *error = out->out.path + ": cannot write: " + sf_strerror(nullptr);
    output_abort(&out->out);
    return false;
  }
  return true;
}

bool pcm_output_write(PcmOutput* out, const int16_t* samples, size_t count, std::string* error) {
  sf_count_t n = static_cast<sf_count_t>(count);
  if (sf_write_short(out->file, samples, n) == n) return true;
  *error =
      (out->out.file == stdout ? std::string("standard output") : out->out.path) + ": write failed";
  return false;
}

bool pcm_output_close(PcmOutput* out, std::string* error) {
  if (!out->file) return false;
  bool ok = sf_close(out->file) == 0;
  out->file = nullptr;
  if (!ok) {
    *error = out->out.path + ": write failed";
    output_abort(&out->out);
    return false;
  }
  return output_commit(&out->out, 0, error);
}

void pcm_output_abort(PcmOutput* out) {
  if (out->file) sf_close(out->file);
  out->file = nullptr;
  output_abort(&out->out);
}
