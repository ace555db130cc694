#include "tools/quillo/html_message.h"

#include <vector>

#include "playback/message_format.h"
#include "tools/quillo/message_file.h"

namespace {

const char TOKEN[] = "QUILLO_MESSAGE";
const char ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

bool writeText(HtmlMessage* page, const char* text, size_t size, const ByteSink& out) {
  page->written += size;
  return size == 0 || out(reinterpret_cast<const uint8_t*>(text), size);
}

// The base64url characters of `n` (1 to 3) bytes: n + 1 of them.
size_t encodeGroup(const uint8_t* in, size_t n, char* text) {
  uint32_t v = static_cast<uint32_t>(in[0]) << 16;
  if (n > 1) v |= static_cast<uint32_t>(in[1]) << 8;
  if (n > 2) v |= in[2];
  for (size_t i = 0; i <= n; i++) text[i] = ALPHABET[(v >> (18 - 6 * i)) & 63];
  return n + 1;
}

bool writeMessage(HtmlMessage* page, const uint8_t* data, size_t size, const ByteSink& out) {
  if (page->seen == 0 && !writeText(page, page->before.data(), page->before.size(), out))
    return false;
  const uint64_t offset = static_cast<uint64_t>(PAYLOAD_OFFSET);
  uint64_t skip = page->seen < offset ? offset - page->seen : 0;
  page->seen += size;
  if (skip >= size) return true;
  data += skip;
  size -= static_cast<size_t>(skip);
  char text[4 * 1024];
  size_t used = 0;
  while (size > 0) {
    page->pending[page->pendingBytes++] = *data++;
    size--;
    if (page->pendingBytes == 3) {
      used += encodeGroup(page->pending, 3, text + used);
      page->pendingBytes = 0;
    }
    if (used + 4 > sizeof text || size == 0) {
      if (!writeText(page, text, used, out)) return false;
      used = 0;
    }
  }
  return true;
}

}  // namespace

bool html_message_load(HtmlMessage* page, const std::string& templatePath, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!readInputFile(templatePath.c_str(), &bytes, error)) return false;
  std::string text(bytes.begin(), bytes.end());
  size_t at = text.find(TOKEN);
  if (at == std::string::npos) {
    *error = templatePath + ": not the self-playing page's template (no " + TOKEN + " in it)";
    return false;
  }
  page->before = text.substr(0, at);
  page->after = text.substr(at + sizeof TOKEN - 1);
  page->seen = page->written = 0;
  page->pendingBytes = 0;
  return true;
}

ByteSink html_message_sink(HtmlMessage* page, const ByteSink& out) {
  return
      [page, out](const uint8_t* data, size_t size) { return writeMessage(page, data, size, out); };
}

bool html_message_finish(HtmlMessage* page, const ByteSink& out) {
  char text[4];
  size_t n = page->pendingBytes > 0 ? encodeGroup(page->pending, page->pendingBytes, text) : 0;
  page->pendingBytes = 0;
  return writeText(page, text, n, out) &&
         writeText(page, page->after.data(), page->after.size(), out);
}
