// quillo record -o OUTPUT [--seconds N] [--save FILE.wav] [make's options]:
// records 8 kHz mono speech from the default capture device, showing the
// elapsed time and a level meter on the terminal, until Enter, Ctrl-C or N
// seconds; then makes the message from the recording as quillo make does.
// The recording goes to FILE.wav, or to a temporary file removed afterwards.
#include <poll.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/quillo/capture.h"
#include "tools/quillo/commands.h"
#include "tools/quillo/make_message.h"
#include "tools/quillo/pcm_output.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

// True once a whole line (Enter) has arrived on standard input; an input
// that ends without one never stops the recording.
bool enterPressed(bool* stdinOpen) {
  if (!*stdinOpen) return false;
  pollfd p = {0, POLLIN, 0};
  if (poll(&p, 1, 0) <= 0) return false;
  char c;
  while (read(0, &c, 1) == 1)
    if (c == '\n') return true;
  *stdinOpen = false;
  return false;
}

// "quillo: recording 0:07  [##########----------]  -12 dBFS", in place.
void showMeter(uint64_t samples, int peak) {
  const int width = 20;
  double db = peak > 0 ? 20.0 * std::log10(peak / 32768.0) : -99.0;
  int bars = db <= -60 ? 0 : static_cast<int>((db + 60) / 60 * width + 0.5);
  std::string meter(static_cast<size_t>(bars), '#');
  meter.resize(static_cast<size_t>(width), '-');
  uint64_t s = samples / 8000;
  std::fprintf(stderr, "\rquillo: recording %llu:%02llu  [%s] %4.0f dBFS  (Enter stops) ",
               static_cast<unsigned long long>(s / 60), static_cast<unsigned long long>(s % 60),
               meter.c_str(), db);
}

}  // namespace

int cmd_record(int argc, char** argv) {
  MakeOptions options;
  std::string error;
  int status = parseMakeOptions(argc, argv, true, &options, &error);
  if (status != 0) return tool_error(status, "%s", error.c_str());

  std::string recording;
  if (options.save) {
    recording = options.save;
  } else {
    const char* tmp = std::getenv("TMPDIR");
    recording = std::string(tmp && *tmp ? tmp : "/tmp") + "/quillo-record-" +
                std::to_string(static_cast<long>(getpid())) + ".wav";
  }
  PcmOutput out;
  if (!pcm_output_open(&out, recording.c_str(), &error)) return tool_error(1, "%s", error.c_str());
  if (!capture_open(&error)) {
    pcm_output_abort(&out);
    return tool_error(1, "%s", error.c_str());
  }
  interrupted = 0;
  std::signal(SIGINT, onInterrupt);
  const bool terminal = isatty(2) != 0;
  const uint64_t limit = static_cast<uint64_t>(options.seconds * 8000 + 0.5);
  bool stdinOpen = true, ok = true;
  uint64_t total = 0;
  int peak = 0;
  int16_t samples[1024];
  while (ok && !interrupted && !enterPressed(&stdinOpen) && (limit == 0 || total < limit)) {
    size_t n = capture_read(samples, sizeof samples / sizeof *samples);
    if (limit > 0 && total + n > limit) n = static_cast<size_t>(limit - total);
    for (size_t i = 0; i < n; i++) {
      int magnitude = samples[i] < 0 ? -samples[i] : samples[i];
      if (magnitude > peak) peak = magnitude;
    }
    ok = pcm_output_write(&out, samples, n, &error);
    total += n;
    if (terminal && (total / 800 != (total - n) / 800 || n == 0)) {
      showMeter(total, peak);
      peak = 0;
    }
  }
  capture_close();
  std::signal(SIGINT, SIG_DFL);
  if (terminal) std::fputs("\n", stderr);
  if (!ok) {
    pcm_output_abort(&out);
    return tool_error(1, "%s", error.c_str());
  }
  if (!pcm_output_close(&out, &error)) return tool_error(1, "%s", error.c_str());
  options.input = recording.c_str();
  status = makeMessage(options);
  if (!options.save) std::remove(recording.c_str());
  return status;
}
