// The players the tool puts in front of a message, found relative to the
// tool's own program file: installed (PREFIX/bin/quillo with the players in
// PREFIX/share/quillo/) or in a build tree (build/PRESET/tools/quillo with
// build/PRESET/platform/sdl/quillo-player and the Windows build beside it,
// build/windows*/platform/win32/Quillo.exe). The self-playing page's
// template, message.html, is found the same way: installed beside the
// players, or in the web build's site (build/web/site/message.html).
// QUILLO_PLAYER_DIR, when set, is the only folder looked in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// PLAYER_HTML: no program in front, the message goes into the self-playing
// page's template instead (html_message.h).
enum PlayerKind { PLAYER_NONE, PLAYER_LINUX, PLAYER_WINDOWS, PLAYER_FILE, PLAYER_HTML };

// The player an output name asks for: NAME.exe Windows, NAME.qlo none (a
// plain message), NAME.html the self-playing page, anything else the Linux
// player.
PlayerKind playerKindForOutput(const std::string& outPath);

// "windows", "linux", "none", "html", or PLAYER_FILE for anything else.
PlayerKind playerKindOf(const std::string& option);

// Finds the program file of the Windows or Linux player, or the page's
// template. On failure returns false with a line saying where it looked and
// how to get it.
bool findPlayer(PlayerKind kind, std::string* path, std::string* error);

// "Windows player", "Linux player", "self-playing page's template".
const char* playerKindName(PlayerKind kind);

// What the program part of a message (its first PAYLOAD_OFFSET bytes) is:
// "none" (all zeros: a plain message), a player this tool ships (its
// platform and version), or an unknown program; with the SHA-256 of the
// bytes. Known players are recognised by the SHA-256 of the players found as
// findPlayer finds them, padded with zeros as a message carries them.
std::string describeProgram(const uint8_t* program, size_t size, bool* known);
