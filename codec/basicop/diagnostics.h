// The decoder's diagnostic lines (LSP stability warnings, division errors).
// They go to standard output unless a program installs another sink, for
// example a tool that writes PCM to standard output.
#pragma once

typedef void (*DecoderMessageSink)(const char* line);

// Writes one diagnostic line (the text carries its own newline).
void decoder_message(const char* line);

// Replaces the sink; nullptr restores standard output.
void set_decoder_message_sink(DecoderMessageSink sink);
