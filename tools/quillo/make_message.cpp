#include "tools/quillo/make_message.h"

#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "codec/decoder.h"
#include "tools/quillo/audio_input.h"
#include "tools/quillo/commands.h"
#include "tools/quillo/effect_names.h"
#include "tools/quillo/html_message.h"
#include "tools/quillo/message_file.h"
#include "tools/quillo/message_writer.h"
#include "tools/quillo/output_file.h"
#include "tools/quillo/players.h"
#include "tools/quillo/speech_encoder.h"

namespace {

const int OUTPUT_RATE = 8000;
const size_t CHUNK_FRAMES = 4096;
// Levels of the 8 kHz signal, as fractions of full scale: --normalize brings
// the peak to -3 dBFS, leaving room for the encoder's own overshoot; a peak
// below -30 dBFS counts as very quiet.
const double NORMALIZED_PEAK = 0.7079;
const double QUIET_PEAK = 0.0316;

const char USAGE_MAKE[] =
    "usage: quillo make INPUT -o OUTPUT [--rate 6.4|8|11.8] [--effect ID|NAME] [--mix PERCENT] "
    "[--depth-byte B] [--player windows|linux|none|html|FILE] [--normalize]";
const char USAGE_RECORD[] =
    "usage: quillo record -o OUTPUT [--seconds N] [--save FILE.wav] [--rate 6.4|8|11.8] "
    "[--effect ID|NAME] [--mix PERCENT] [--depth-byte B] [--player windows|linux|none|html|FILE] "
    "[--normalize]";

// What the 8 kHz signal looked like.
struct Levels {
  double peak = 0;       // largest magnitude before clipping, of full scale
  uint64_t clipped = 0;  // samples at full scale in runs of two or more
  uint64_t samples = 0;  // samples at 8 kHz
  uint64_t inputFrames = 0;
  uint64_t run = 0;  // full-scale samples in a row so far
};

// Float samples of full scale 1.0 to 16-bit, rounded, saturated (NaN as
// silence); counts full-scale runs.
void toPcm16(const float* in, size_t n, double gain, Levels* levels, int16_t* out) {
  for (size_t i = 0; i < n; i++) {
    double v = static_cast<double>(in[i]) * gain;
    double magnitude = std::fabs(v);
    if (magnitude > levels->peak) levels->peak = magnitude;
    double scaled = std::floor(v * 32768.0 + 0.5);
    if (std::isnan(scaled)) scaled = 0;  // a float recording may hold NaN
    int16_t s = static_cast<int16_t>(scaled > 32767.0    ? 32767
                                     : scaled < -32768.0 ? -32768
                                                         : scaled);
    if (s < 32767 && s > -32767)
      levels->run = 0;
    else if (++levels->run >= 2)
      levels->clipped += levels->run == 2 ? 2 : 1;
    out[i] = s;
  }
  levels->samples += n;
}

// Progress on a terminal: "quillo: 0:40 of 5:00 (13 %)", updated in place.
struct Progress {
  bool shown = false;
  std::chrono::steady_clock::time_point next = std::chrono::steady_clock::now();
};

std::string minutes(double seconds) {
  char text[32];
  long s = static_cast<long>(seconds);
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

void showProgress(Progress* p, const AudioInput& in, uint64_t frames) {
  auto now = std::chrono::steady_clock::now();
  if (now < p->next) return;
  p->next = now + std::chrono::milliseconds(250);
  double done = static_cast<double>(frames) / in.info.samplerate;
  if (in.info.frames > 0 && in.info.frames < SF_COUNT_MAX) {
    double total = static_cast<double>(in.info.frames) / in.info.samplerate;
    std::fprintf(stderr, "\rquillo: %s of %s (%d %%) ", minutes(done).c_str(),
                 minutes(total).c_str(), static_cast<int>(100.0 * done / total));
  } else {
    std::fprintf(stderr, "\rquillo: %s ", minutes(done).c_str());
  }
  p->shown = true;
}

void endProgress(Progress* p) {
  if (p->shown) std::fputs("\r                                        \r", stderr);
}

typedef std::function<bool(const int16_t* samples, size_t count)> PcmSink;

// Reads the whole input: mono mix, resampling to 8 kHz, gain, 16-bit
// samples to `sink`. False with `error` set on a resampler failure, or
// when `sink` stopped.
bool convertInput(AudioInput* in, double gain, bool progress, Levels* levels, const PcmSink& sink,
                  std::string* error) {
  const int channels = in->info.channels;
  const double inRate = in->info.samplerate;
  soxr_t resampler = nullptr;
  if (in->info.samplerate != OUTPUT_RATE) {
    soxr_error_t why = nullptr;
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    resampler = soxr_create(inRate, OUTPUT_RATE, 1, &why, &io, &quality, nullptr);
    if (!resampler) {
      *error = in->name + ": cannot resample from " + std::to_string(in->info.samplerate) +
               " Hz: " + (why ? why : "");
      return false;
    }
  }
  std::vector<float> frames(CHUNK_FRAMES * static_cast<size_t>(channels));
  std::vector<float> mono(CHUNK_FRAMES);
  const size_t outCapacity = CHUNK_FRAMES * 2 + 256;
  std::vector<float> resampled(outCapacity);
  std::vector<int16_t> pcm(outCapacity);
  Progress shown;
  bool ok = true;
  // Hands n samples of `samples` to the sink.
  auto deliver = [&](const float* samples, size_t n) {
    toPcm16(samples, n, gain, levels, pcm.data());
    return n == 0 || sink(pcm.data(), n);
  };
  size_t n;
  while (ok && (n = audio_input_read_float(in, frames.data(), CHUNK_FRAMES)) > 0) {
    levels->inputFrames += n;
    for (size_t i = 0; i < n; i++) {
      double sum = 0;
      for (int c = 0; c < channels; c++) sum += frames[i * static_cast<size_t>(channels) + c];
      mono[i] = static_cast<float>(sum / channels);
    }
    if (!resampler) {
      ok = deliver(mono.data(), n);
    } else {
      size_t used = 0;
      while (ok && used < n) {
        size_t consumed = 0, produced = 0;
        soxr_process(resampler, mono.data() + used, n - used, &consumed, resampled.data(),
                     outCapacity, &produced);
        used += consumed;
        ok = deliver(resampled.data(), produced);
        if (consumed == 0 && produced == 0) break;
      }
    }
    if (progress) showProgress(&shown, *in, levels->inputFrames);
  }
  size_t produced = 1;
  while (ok && resampler && produced > 0) {  // the resampler's last samples
    soxr_process(resampler, nullptr, 0, nullptr, resampled.data(), outCapacity, &produced);
    ok = deliver(resampled.data(), produced);
  }
  if (resampler) soxr_delete(resampler);
  endProgress(&shown);
  return ok;
}

// The player bytes for the options, or the page's template into `page`;
// false with `error` when it is missing.
bool loadPlayer(const MakeOptions& o, PlayerKind* kind, std::string* path,
                std::vector<uint8_t>* bytes, unsigned* mode, HtmlMessage* page,
                std::string* error) {
  *kind = o.player ? playerKindOf(o.player) : playerKindForOutput(o.output);
  *mode = 0;
  if (*kind == PLAYER_NONE) return true;
  if (*kind == PLAYER_HTML)
    return findPlayer(*kind, path, error) && html_message_load(page, *path, error);
  if (*kind == PLAYER_FILE)
    *path = o.player;
  else if (!findPlayer(*kind, path, error))
    return false;
  struct stat st;
  if (stat(path->c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > PAYLOAD_OFFSET) {
    *error = *path + ": " + std::to_string(st.st_size) + " bytes, more than the " +
             std::to_string(PAYLOAD_OFFSET) + " bytes a player may have";
    return false;
  }
  if (!readInputFile(path->c_str(), bytes, error)) return false;
  if (stat(path->c_str(), &st) == 0) *mode = (st.st_mode & 07777) | S_IRUSR | S_IWUSR;
  return true;
}

std::string withThousands(uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); i++) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

void reportLevels(const std::string& name, const Levels& l, bool normalized) {
  if (l.clipped > 0)
    std::fprintf(stderr, "quillo: warning: %s clips: %s samples at full scale%s\n", name.c_str(),
                 withThousands(l.clipped).c_str(),
                 normalized ? " (clipped in the recording itself)"
                            : "; --normalize lowers the peak to -3 dBFS (clipping already in "
                              "the recording stays)");
  else if (!normalized && l.peak > 0 && l.peak < QUIET_PEAK)
    std::fprintf(stderr,
                 "quillo: warning: %s is very quiet (peak %.1f dBFS); --normalize "
                 "brings its peak to -3 dBFS\n",
                 name.c_str(), 20.0 * std::log10(l.peak));
}

}  // namespace

int depthByteForMix(int percent) { return 127 - (percent * 127 + 50) / 100; }

int parseMakeOptions(int argc, char** argv, bool record, MakeOptions* o, std::string* error) {
  const char* usage = record ? USAGE_RECORD : USAGE_MAKE;
  bool mixGiven = false;
  for (int i = 0; i < argc; i++) {
    std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    bool takesValue = a == "-o" || a == "--rate" || a == "--effect" || a == "--mix" ||
                      a == "--depth-byte" || a == "--player" ||
                      (record && (a == "--seconds" || a == "--save"));
    if (takesValue && !value) {
      *error = a + " needs a value";
      return 2;
    }
    if (takesValue) i++;
    int v;
    if (a == "-o") {
      o->output = value;
    } else if (a == "--rate") {
      o->rate = rateModeOfName(value);
      if (o->rate < 0) {
        *error = std::string("--rate ") + value + ": the rate is 6.4, 8 or 11.8";
        return 2;
      }
    } else if (a == "--effect") {
      o->effect = effectIdOf(value);
      if (o->effect < 0) {
        *error = std::string("--effect ") + value +
                 ": not an effect (a number 0 to 16 or a name; 'quillo effects' lists them)";
        return 2;
      }
    } else if (a == "--mix") {
      if (!parseWholeNumber(value, 0, 100, &v)) {
        *error = std::string("--mix ") + value + ": the mix is a percentage from 0 to 100";
        return 2;
      }
      o->mixPercent = v;
      mixGiven = true;
    } else if (a == "--depth-byte") {
      if (!parseWholeNumber(value, 0, 255, &v)) {
        *error = std::string("--depth-byte ") + value + ": the depth byte is a number 0 to 255";
        return 2;
      }
      o->depthByte = v;
      o->depthByteGiven = true;
    } else if (a == "--player") {
      o->player = value;
    } else if (a == "--seconds") {
      char* end = nullptr;
      o->seconds = std::strtod(value, &end);
      if (end == value || *end != '\0' || !(o->seconds > 0 && o->seconds <= 86400)) {
        *error = std::string("--seconds ") + value + ": give a number of seconds above 0";
        return 2;
      }
    } else if (a == "--save") {
      o->save = value;
    } else if (a == "--normalize") {
      o->normalize = true;
    } else if (!record && !o->input && (a == "-" || a[0] != '-')) {
      o->input = argv[i];
    } else {
      *error = usage;
      return 2;
    }
  }
  if ((!record && !o->input) || !o->output) {
    *error = usage;
    return 2;
  }
  if (mixGiven && o->depthByteGiven) {
    *error = "give --mix or --depth-byte, not both";
    return 2;
  }
  if (!o->depthByteGiven) o->depthByte = depthByteForMix(o->mixPercent);
  return 0;
}

int makeMessage(const MakeOptions& o) {
  std::string error;
  AudioInput in;
  if (!audio_input_open(&in, o.input, INPUT_ANY_STDIN, &error))
    return tool_error(1, "%s", error.c_str());
  if (in.info.samplerate <= 0 || in.info.channels <= 0 || in.info.frames == 0) {
    audio_input_close(&in);
    return tool_error(1, "%s: no sound in it (0 samples)", in.name.c_str());
  }
  PlayerKind kind;
  std::string playerPath;
  std::vector<uint8_t> player;
  unsigned mode;
  HtmlMessage page;
  if (!loadPlayer(o, &kind, &playerPath, &player, &mode, &page, &error)) {
    audio_input_close(&in);
    return tool_error(1, "%s", error.c_str());
  }
  const bool progress = isatty(2) != 0;
  double gain = 1.0;
  Levels levels;
  if (o.normalize) {
    auto discard = [](const int16_t*, size_t) { return true; };
    if (!convertInput(&in, 1.0, progress, &levels, discard, &error) || !audio_input_rewind(&in)) {
      audio_input_close(&in);
      return tool_error(
          1, "%s", error.empty() ? (in.name + ": cannot read it twice").c_str() : error.c_str());
    }
    if (levels.peak > 0) gain = NORMALIZED_PEAK / levels.peak;
    levels = Levels();
  }

  OutputFile out;
  if (!output_open(&out, o.output, &error)) {
    audio_input_close(&in);
    return tool_error(1, "%s", error.c_str());
  }
  ByteSink toFile = [&](const uint8_t* data, size_t size) {
    return output_write(&out, data, size, &error);
  };
  const bool html = kind == PLAYER_HTML;
  ByteSink write = html ? html_message_sink(&page, toFile) : toFile;
  MessageWriter writer;
  SpeechEncoder encoder;
  speech_encoder_start(&encoder, &o.rate, 1);
  FrameSink addFrame = [&](const uint8_t* frame, int) {
    return message_writer_add_frame(&writer, frame, write);
  };
  PcmSink encode = [&](const int16_t* samples, size_t count) {
    return speech_encoder_push(&encoder, samples, count, addFrame);
  };
  bool ok = message_writer_start(&writer, o.rate, o.effect, o.depthByte, player, write) &&
            convertInput(&in, gain, progress, &levels, encode, &error) &&
            speech_encoder_finish(&encoder, addFrame) && message_writer_finish(&writer, write) &&
            (!html || html_message_finish(&page, toFile));
  audio_input_close(&in);
  if (ok && levels.samples == 0) {
    ok = false;
    error = in.name + ": no sound in it (0 samples)";
  }
  if (!ok) {
    output_abort(&out);
    return tool_error(1, "%s", error.c_str());
  }
  if (!output_commit(&out, mode, &error)) return tool_error(1, "%s", error.c_str());

  reportLevels(in.name, levels, o.normalize);
  std::string effect = o.effect == 0
                           ? std::string("no effect")
                           : "effect " + std::to_string(o.effect) + " " + effectName(o.effect) +
                                 " at depth byte " + std::to_string(o.depthByte);
  if (o.effect != 0 && !o.depthByteGiven)
    effect = "effect " + std::to_string(o.effect) + " " + effectName(o.effect) + " (mix " +
             std::to_string(o.mixPercent) + " %)";
  std::string playerText = kind == PLAYER_NONE
                               ? "no player (plain message)"
                               : std::string(playerKindName(kind)) + " " + playerPath;
  FILE* summary = std::strcmp(o.output, "-") == 0 ? stderr : stdout;
  const uint64_t bytes = html ? page.written : message_size(o.rate, encoder.frames);
  std::fprintf(summary, "%s: %.1f s of sound, %s kbit/s, %s, %s bytes, %s\n", o.output,
               static_cast<double>(levels.inputFrames) / in.info.samplerate, rateName(o.rate),
               effect.c_str(), withThousands(bytes).c_str(), playerText.c_str());
  return 0;
}
