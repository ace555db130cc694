#include "tools/quillo/audio_input.h"

#include "tools/quillo/riff_check.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static bool endsWithNoCase(const std::string& s, const char* suffix) {
  size_t n = std::strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; i++) {
    char c = s[s.size() - n + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

bool isRawPcmName(const std::string& path) {
  return endsWithNoCase(path, ".raw") || endsWithNoCase(path, ".pcm");
}

// sf_open with standard error silenced: the MP3 decoder behind libsndfile
// prints notes there while it probes a file that is not MP3.
static SNDFILE* openQuietly(const char* path, SF_INFO* info) {
  std::fflush(stderr);
  int saved = dup(2);
  int null = open("/dev/null", O_WRONLY);
  if (saved >= 0 && null >= 0) dup2(null, 2);
  SNDFILE* file = sf_open(path, SFM_READ, info);
  if (saved >= 0 && null >= 0) dup2(saved, 2);
  if (null >= 0) close(null);
  if (saved >= 0) close(saved);
  return file;
}

static void setRawFormat(SF_INFO* info) {
  info->samplerate = 8000;
  info->channels = 1;
  info->format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
}

static bool openedOrError(AudioInput* in, std::string* error) {
  if (in->file) return true;
  *error = in->name + ": not a sound file that can be read (" + sf_strerror(nullptr) +
           "); raw 16-bit 8 kHz samples need a .raw or .pcm name";
  audio_input_close(in);
  return false;
}

// A copy of standard input in an unnamed temporary file, which every format
// can seek in.
static FILE* spoolStdin(std::string* error) {
  FILE* spool = std::tmpfile();
  if (!spool) {
    *error = std::string("standard input: cannot make a temporary copy: ") + std::strerror(errno);
    return nullptr;
  }
  char buffer[65536];
  size_t n;
  bool ok = true;
  while (ok && (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
    ok = std::fwrite(buffer, 1, n, spool) == n;
  if (!ok || std::ferror(stdin) || std::fflush(spool) != 0 || std::fseek(spool, 0, SEEK_SET)) {
    *error = "standard input: cannot make a temporary copy";
    std::fclose(spool);
    return nullptr;
  }
  return spool;
}

// Virtual I/O over the input's bytes, in memory or behind its descriptor,
// with the hidden chunk names of a WAV file shown as "JUNK".
static sf_count_t viewSize(const AudioInput* in) { return in->size + (in->view.pad_byte ? 1 : 0); }
static sf_count_t viewLength(void* user) { return viewSize(static_cast<AudioInput*>(user)); }
static sf_count_t viewSeek(sf_count_t offset, int whence, void* user) {
  AudioInput* in = static_cast<AudioInput*>(user);
  sf_count_t base = whence == SEEK_CUR ? in->at : whence == SEEK_END ? viewSize(in) : 0;
  if (offset < -base || offset > viewSize(in) - base) return -1;
  in->at = base + offset;
  return in->at;
}
static sf_count_t viewRead(void* ptr, sf_count_t count, void* user) {
  AudioInput* in = static_cast<AudioInput*>(user);
  sf_count_t n = count < viewSize(in) - in->at ? count : viewSize(in) - in->at;
  if (n <= 0) return 0;
  sf_count_t real = n < in->size - in->at ? n : in->size - in->at;  // the rest is the pad byte
  if (in->memory) {
    std::memcpy(ptr, in->memory + in->at, static_cast<size_t>(real));
  } else if (real > 0) {
    ssize_t got = pread(in->fd, ptr, static_cast<size_t>(real), static_cast<off_t>(in->at));
    if (got <= 0) return 0;
    if (got < real) n = real = got;
  }
  if (real < n) static_cast<uint8_t*>(ptr)[real] = 0;
  riffApply(in->view, static_cast<uint64_t>(in->at), static_cast<uint8_t*>(ptr),
            static_cast<size_t>(n));
  in->at += n;
  return n;
}
static sf_count_t viewWrite(const void*, sf_count_t, void*) { return 0; }
static sf_count_t viewTell(void* user) { return static_cast<AudioInput*>(user)->at; }

static SNDFILE* openView(AudioInput* in) {
  static SF_VIRTUAL_IO io = {viewLength, viewSeek, viewRead, viewWrite, viewTell};
  in->at = 0;
  return sf_open_virtual(&io, SFM_READ, &in->info, in);
}

// Prepares the view of a regular file behind `fd` (sized from it). False,
// with "NAME: <problem>" in `error`, for a WAV file libsndfile could not
// parse safely.
static bool prepareFileView(AudioInput* in, int fd, std::string* error) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return true;
  ReadAt read = [fd](uint64_t offset, uint8_t* out, size_t size) {
    return pread(fd, out, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
  };
  std::string why;
  if (!riffPrepare(read, static_cast<uint64_t>(st.st_size), &in->view, &why)) {
    *error = in->name + ": " + why;
    return false;
  }
  in->fd = fd;
  in->size = st.st_size;
  return true;
}

bool audio_input_open(AudioInput* in, const char* path, InputKind kind, std::string* error) {
  in->info = SF_INFO();
  if (std::strcmp(path, "-") == 0) {
    in->name = "standard input";
    if (kind != INPUT_ANY_STDIN) {
      setRawFormat(&in->info);
      in->file = sf_open_fd(0, SFM_READ, &in->info, SF_FALSE);
    } else {
      in->spool = spoolStdin(error);
      if (!in->spool) return false;
      if (!prepareFileView(in, fileno(in->spool), error)) {
        audio_input_close(in);
        return false;
      }
      in->file = in->view.riff ? openView(in)
                               : sf_open_fd(fileno(in->spool), SFM_READ, &in->info, SF_FALSE);
    }
    return openedOrError(in, error);
  }
  in->name = path;
  struct stat st;
  if (stat(path, &st) != 0) {
    *error = in->name + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *error = in->name + ": is a directory";
    return false;
  }
  if (kind == INPUT_RAW || isRawPcmName(path)) {
    if (S_ISREG(st.st_mode) && st.st_size % 2 != 0) {
      *error = in->name + ": odd number of bytes for 16-bit samples";
      return false;
    }
    setRawFormat(&in->info);
  } else {
    int fd = open(path, O_RDONLY);
    if (fd >= 0) {
      if (!prepareFileView(in, fd, error)) {
        close(fd);
        return false;
      }
      if (in->view.riff) {
        in->ownFd = true;
        in->file = openView(in);
        return openedOrError(in, error);
      }
      close(fd);
      in->fd = -1;
    }
  }
  in->file = openQuietly(path, &in->info);
  if (!in->file && errno == EACCES) {
    *error = in->name + ": " + std::strerror(EACCES);
    return false;
  }
  return openedOrError(in, error);
}

bool audio_input_open_memory(AudioInput* in, const uint8_t* data, size_t size, std::string* error) {
  in->name = "input";
  ReadAt read = [data, size](uint64_t offset, uint8_t* out, size_t count) {
    if (offset > size || count > size - offset) return false;
    std::memcpy(out, data + offset, count);
    return true;
  };
  std::string why;
  if (!riffPrepare(read, size, &in->view, &why)) {
    *error = in->name + ": " + why;
    return false;
  }
  in->info = SF_INFO();
  in->memory = data;
  in->size = static_cast<sf_count_t>(size);
  in->file = openView(in);
  return openedOrError(in, error);
}

static std::string formatName(int format, int command) {
  SF_FORMAT_INFO info = {};
  info.format = format;
  if (sf_command(nullptr, command, &info, sizeof info) != 0 || !info.name) return "unknown";
  return info.name;
}

std::string audio_input_describe(const AudioInput& in) {
  std::string major = formatName(in.info.format & SF_FORMAT_TYPEMASK, SFC_GET_FORMAT_INFO);
  std::string sub = formatName(in.info.format & SF_FORMAT_SUBMASK, SFC_GET_FORMAT_INFO);
  return major + " " + sub + ", " + std::to_string(in.info.samplerate) + " Hz, " +
         std::to_string(in.info.channels) + (in.info.channels == 1 ? " channel" : " channels");
}

bool audio_input_is_8k_mono16(const AudioInput& in, std::string* error) {
  if ((in.info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 && in.info.channels == 1 &&
      in.info.samplerate == 8000)
    return true;
  *error = in.name + ": " + audio_input_describe(in) +
           "; need 16-bit PCM, 1 channel, 8000 Hz (quillo make takes any recording)";
  return false;
}

size_t audio_input_read16(AudioInput* in, int16_t* samples, size_t frames) {
  sf_count_t n = sf_readf_short(in->file, samples, static_cast<sf_count_t>(frames));
  return n > 0 ? static_cast<size_t>(n) : 0;
}

size_t audio_input_read_float(AudioInput* in, float* samples, size_t frames) {
  sf_count_t n = sf_readf_float(in->file, samples, static_cast<sf_count_t>(frames));
  return n > 0 ? static_cast<size_t>(n) : 0;
}

bool audio_input_rewind(AudioInput* in) { return sf_seek(in->file, 0, SEEK_SET) == 0; }

void audio_input_close(AudioInput* in) {
  if (in->file) sf_close(in->file);
  if (in->spool) std::fclose(in->spool);
  if (in->ownFd && in->fd >= 0) close(in->fd);
  in->file = nullptr;
  in->spool = nullptr;
  in->fd = -1;
  in->ownFd = false;
}
