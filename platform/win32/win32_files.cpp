// The program's own path, and files opened by name, on Windows.
//
// A name travels through the shared code as UTF-8, converted from and to the
// system's UTF-16 here, so that no character of a folder or file name is
// lost to the ANSI code page. An unpaired surrogate, which NTFS names may
// hold, is encoded as any other 16-bit unit is (three bytes, the scheme
// known as WTF-8): every name the system hands out comes back unchanged.
// Paths of MAX_PATH units or more are opened in their "\\?\" form, which the
// system takes without a length limit.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "app/dialog_services.h"
#include "playback/file_access.h"
#include "platform/win32/win32_internal.h"

// Longest path, in UTF-16 units, that Windows can hand out.
const DWORD LONGEST_PATH_UNITS = 32767;

static bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
static bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

size_t win32Utf8FromWide(const wchar_t* wide, size_t units, char* out, size_t size) {
  static const uint8_t LEAD_BITS[5] = {0, 0x00, 0xC0, 0xE0, 0xF0};  // by sequence length
  if (!out || size == 0) return 0;
  size_t n = 0;
  for (size_t i = 0; i < units; i++) {
    uint32_t c = static_cast<uint16_t>(wide[i]);
    if (isHighSurrogate(c) && i + 1 < units && isLowSurrogate(static_cast<uint16_t>(wide[i + 1]))) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(wide[i + 1]) - 0xDC00);
      i++;
    }
    size_t length = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    if (n + length >= size) {
      out[0] = '\0';
      return 0;
    }
    out[n++] = static_cast<char>(LEAD_BITS[length] | (c >> (6 * (length - 1))));
    for (size_t k = length - 1; k-- > 0;)
      out[n++] = static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
  }
  out[n] = '\0';
  return n;
}

bool win32WideFromUtf8(const char* text, wchar_t* out, size_t size) {
  static const uint32_t SMALLEST[4] = {0, 0x80, 0x800, 0x10000};  // by continuation bytes
  if (!out || size == 0) return false;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
  size_t n = 0;
  while (*p) {
    uint32_t c = *p++;
    int more = c < 0x80 ? 0 : c < 0xC2 ? -1 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : c < 0xF5 ? 3 : -1;
    if (more < 0) return false;
    if (more > 0) c &= 0x3Fu >> more;
    for (int k = 0; k < more; k++) {
      if ((*p & 0xC0) != 0x80) return false;  // also the terminating zero
      c = (c << 6) | (*p++ & 0x3Fu);
    }
    if (c < SMALLEST[more] || c > 0x10FFFF) return false;
    size_t units = c < 0x10000 ? 1 : 2;
    if (n + units >= size) return false;
    if (units == 1) {
      out[n++] = static_cast<wchar_t>(c);
    } else {
      out[n++] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      out[n++] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  out[n] = L'\0';
  return true;
}

wchar_t* win32ExtendedLengthPath(const wchar_t* name) {
  if (std::wcslen(name) < MAX_PATH) return nullptr;
  if (name[0] == L'\\' && name[1] == L'\\' && (name[2] == L'?' || name[2] == L'.') &&
      name[3] == L'\\')
    return nullptr;  // already in a form the system does not parse
  DWORD units = GetFullPathNameW(name, 0, nullptr, nullptr);  // with its zero
  const size_t ROOM = 8;  // for the prefix written in front of the full path
  wchar_t* buffer =
      units ? static_cast<wchar_t*>(std::malloc((units + ROOM) * sizeof(wchar_t))) : nullptr;
  if (!buffer) return nullptr;
  wchar_t* full = buffer + ROOM;
  DWORD got = GetFullPathNameW(name, units, full, nullptr);
  if (got == 0 || got >= units) {
    std::free(buffer);
    return nullptr;
  }
  bool network = full[0] == L'\\' && full[1] == L'\\';
  const wchar_t* prefix = network ? L"\\\\?\\UNC" : L"\\\\?\\";
  size_t prefixUnits = std::wcslen(prefix);
  wchar_t* rest = network ? full + 1 : full;  // "\server\share\..." or "C:\..."
  std::wmemcpy(rest - prefixUnits, prefix, prefixUnits);
  std::wmemmove(buffer, rest - prefixUnits, prefixUnits + std::wcslen(rest) + 1);
  return buffer;
}

FILE* platformOpenForReading(const char* path) {
  if (!path) return nullptr;
  size_t bytes = std::strlen(path);
  // UTF-16 never takes more units than UTF-8 takes bytes.
  wchar_t* wide = static_cast<wchar_t*>(std::malloc((bytes + 1) * sizeof(wchar_t)));
  FILE* file = nullptr;
  if (wide && win32WideFromUtf8(path, wide, bytes + 1)) {
    wchar_t* extended = win32ExtendedLengthPath(wide);
    file = _wfopen(extended ? extended : wide, L"rb");
    std::free(extended);
  }
  std::free(wide);
  return file;
}

size_t platformProgramPath(InstanceHandle instance, char* buffer, size_t size) {
  if (!buffer || size == 0) return 0;
  buffer[0] = '\0';
  size_t length = 0;
  // A path that fills the whole buffer was cut short: try again with twice
  // the room, up to the longest path there is.
  for (DWORD capacity = MAX_PATH;; capacity *= 2) {
    wchar_t* wide = static_cast<wchar_t*>(std::malloc(capacity * sizeof(wchar_t)));
    if (!wide) break;
    DWORD units = GetModuleFileNameW(reinterpret_cast<HMODULE>(instance), wide, capacity);
    bool whole = units > 0 && units < capacity;
    if (whole) length = win32Utf8FromWide(wide, units, buffer, size);
    std::free(wide);
    if (whole || units == 0 || capacity > LONGEST_PATH_UNITS) break;
  }
  return length;
}
