// File names on Windows: every character survives the way from the
// system's UTF-16 names through the UTF-8 the shared code holds and back,
// whatever the ANSI code page, and paths longer than MAX_PATH open as well.
// The files are made with the system's wide functions and read back through
// the message container.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/dialog_services.h"
#include "playback/file_access.h"
#include "playback/wave_output.h"
#include "platform/win32/win32_internal.h"
#include "playback/container.h"
#include "tests/support/test_support.h"

namespace {

std::string utf8Of(const std::wstring& wide) {
  std::vector<char> out(4 * wide.size() + 1);
  size_t n = win32Utf8FromWide(wide.data(), wide.size(), out.data(), out.size());
  return std::string(out.data(), n);
}

TEST(Win32Names, Utf16AndUtf8ConvertBothWaysWithoutLoss) {
  // Cyrillic, Greek, CJK, emoji (surrogate pairs) and unpaired surrogates,
  // which NTFS names may hold.
  const std::wstring names[] = {L"C:\\Сообщения\\привет.exe", L"Μηνύματα", L"留言 メッセージ",
                                L"\U0001F399\U0001F48C.exe",  L"a\xD800z", L"\xDC00\xD83D"};
  for (const std::wstring& name : names) {
    std::string text = utf8Of(name);
    ASSERT_FALSE(text.empty());
    std::vector<wchar_t> back(name.size() + 1);
    ASSERT_TRUE(win32WideFromUtf8(text.c_str(), back.data(), back.size()));
    EXPECT_EQ(std::wstring(back.data()), name);
  }
  EXPECT_EQ(utf8Of(L"Сообщения"), u8"Сообщения");
  EXPECT_EQ(utf8Of(L"\U0001F399"), "\xF0\x9F\x8E\x99");  // one code point, not two halves
  EXPECT_EQ(utf8Of(L"\xD800"), "\xED\xA0\x80");

  // Not UTF-8: a stray continuation byte, a cut sequence, an overlong form,
  // a code point beyond U+10FFFF, a byte that never occurs.
  wchar_t wide[16];
  for (const char* bad :
       {"\x80", "a\xE2\x82", "\xC0\xAF", "\xE0\x80\xAF", "\xF4\x90\x80\x80", "\xFF"})
    EXPECT_FALSE(win32WideFromUtf8(bad, wide, 16)) << bad;

  // Exactly enough room, and one unit or byte short.
  char bytes[3];
  EXPECT_EQ(win32Utf8FromWide(L"Ж", 1, bytes, 3), 2u);
  EXPECT_EQ(win32Utf8FromWide(L"Ж", 1, bytes, 2), 0u);
  EXPECT_STREQ(bytes, "");
  EXPECT_TRUE(win32WideFromUtf8(u8"\U0001F399", wide, 3));
  EXPECT_FALSE(win32WideFromUtf8(u8"\U0001F399", wide, 2));
}

TEST(Win32Names, PathsOfMaxPathUnitsAndMoreTakeTheExtendedLengthForm) {
  const std::wstring name(300, L'n');
  struct Case {
    std::wstring path, expected;
  } cases[] = {
      {L"C:\\folder\\..\\" + name, L"\\\\?\\C:\\" + name},
      {L"C:/folder/" + name, L"\\\\?\\C:\\folder\\" + name},
      {L"\\\\server\\share\\" + name, L"\\\\?\\UNC\\server\\share\\" + name},
  };
  for (const Case& c : cases) {
    wchar_t* extended = win32ExtendedLengthPath(c.path.c_str());
    ASSERT_NE(extended, nullptr);
    EXPECT_EQ(std::wstring(extended), c.expected);
    std::free(extended);
  }
  EXPECT_EQ(win32ExtendedLengthPath(L"C:\\short\\message.exe"), nullptr);
  EXPECT_EQ(win32ExtendedLengthPath((L"\\\\?\\C:\\" + name).c_str()), nullptr);
}

// Makes the folders of `folders` below `base` and a message file named
// `file` in the last one, with the system's wide functions (in the "\\?\"
// form, so that any length is taken). Returns that form of the file's path,
// or empty.
std::wstring makeMessage(const std::wstring& base, const std::vector<std::wstring>& folders,
                         const std::wstring& file, const std::vector<uint8_t>& bytes) {
  std::wstring path = L"\\\\?\\" + base;
  for (const std::wstring& folder : folders) {
    path += L"\\" + folder;
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return L"";
  }
  path += L"\\" + file;
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (!out) return L"";
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) != 0 || !written) return L"";
  return path;
}

// Removes the file at `path` and the `folders` folders it is in.
void removeMessage(std::wstring path, size_t folders) {
  DeleteFileW(path.c_str());
  for (size_t i = 0; i < folders; i++) {
    path.erase(path.rfind(L'\\'));
    RemoveDirectoryW(path.c_str());
  }
}

TEST(Win32Files, MessagesInFoldersAndUnderNamesOutsideTheCodePage) {
  // A player's worth of zeros, a header at 8 kbit/s with effect 7, and two
  // blocks: 1 s.
  std::vector<uint8_t> message(PAYLOAD_OFFSET + HEADER_BYTES + 2 * BLOCK_BYTES, 0);
  message[PAYLOAD_OFFSET + 8] = 1;
  message[PAYLOAD_OFFSET + 10] = 7;
  message[FIRST_BLOCK_OFFSET] = 0xA5;

  std::string temp = testsupport::tempDir();
  ASSERT_FALSE(temp.empty());
  wchar_t base[MAX_PATH];
  ASSERT_GT(
      GetFullPathNameW(std::wstring(temp.begin(), temp.end()).c_str(), MAX_PATH, base, nullptr),
      0u);

  const std::wstring longName(100, L'д');
  struct Case {
    std::vector<std::wstring> folders;
    std::wstring file;
  } cases[] = {
      {{L"Сообщения"}, L"message.exe"},
      {{L"Μηνύματα"}, L"μήνυμα.exe"},
      {{L"留言"}, L"メッセージ.exe"},
      {{L"\U0001F399 voice"}, L"\U0001F48C.exe"},
      {{L"long", longName, longName, longName}, L"послание.exe"},
  };
  for (const Case& c : cases) {
    std::wstring made = makeMessage(base, c.folders, c.file, message);
    ASSERT_FALSE(made.empty()) << utf8Of(c.file);
    std::wstring path = made.substr(4);  // as the program path names it
    std::string name = utf8Of(path);
    SCOPED_TRACE(name);
    if (c.folders.size() > 1) {
      ASSERT_GT(path.size(), static_cast<size_t>(MAX_PATH));
    }

    std::memset(&playerState, 0, sizeof playerState);
    ASSERT_TRUE(setProgramPath(name.c_str()));
    EXPECT_EQ(readMessageHeader(), 1);
    EXPECT_EQ(playerState.rateCode, 1);
    EXPECT_EQ(playerState.effectId, 7);
    openPayloadAt();
    EXPECT_EQ(readBlock(), BLOCK_BYTES);
    EXPECT_EQ(playerState.blockBuffer[0], 0xA5);
    closePayload();
    removeMessage(made, c.folders.size());
  }
}

}  // namespace
