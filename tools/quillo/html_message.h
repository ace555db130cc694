// The self-playing page of a message: the web build's template
// (message.html) with its word QUILLO_MESSAGE (the first one) replaced by
// the message's header and blocks in base64url without padding; the player
// part is left out. The web page's own .html download writes the same bytes.
// Written as a stream: the message's bytes pass through the sink of
// html_message_sink as the message writer makes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/quillo/message_writer.h"

struct HtmlMessage {
  std::string before, after;  // the template around the word
  uint64_t seen = 0;          // message bytes received, the player part included
  uint8_t pending[3];         // bytes waiting for a whole group of three
  size_t pendingBytes = 0;
  uint64_t written = 0;  // bytes of the page written so far
};

// Reads the template. False with "PATH: <problem>" when it cannot be read or
// has no QUILLO_MESSAGE in it.
bool html_message_load(HtmlMessage* page, const std::string& templatePath, std::string* error);

// A sink for the whole message file's bytes (player part, header, blocks)
// that writes the page to `out`: the template before the word at the first
// byte, then the base64url of everything behind the player part.
ByteSink html_message_sink(HtmlMessage* page, const ByteSink& out);

// Writes the last base64url characters and the rest of the template.
bool html_message_finish(HtmlMessage* page, const ByteSink& out);
