// The quillo tool's subcommands. Each takes the arguments after its own name
// and returns the process exit status.
#pragma once

// quillo decode --frames RATE FILE -o OUT | --g192 FILE -o OUT
int cmd_decode_stream(int argc, char** argv);

// quillo decode MESSAGE -o OUT [--dry]
int cmd_decode_message(int argc, char** argv);

// quillo info MESSAGE
int cmd_info(int argc, char** argv);

// quillo pack --rate RATE [--effect N] [--depth-byte B] [--player FILE] FRAMES -o MESSAGE
int cmd_pack(int argc, char** argv);

// quillo effect ID DEPTH IN -o OUT
int cmd_effect(int argc, char** argv);

// quillo encode --rate RATE[,RATE...] IN -o OUT [--g192]
int cmd_encode(int argc, char** argv);

// quillo make INPUT -o OUTPUT [options]
int cmd_make(int argc, char** argv);

// quillo record -o OUTPUT [options]
int cmd_record(int argc, char** argv);

// quillo effects
int cmd_effects(int argc, char** argv);

// quillo play MESSAGE
int cmd_play(int argc, char** argv);

// Prints "quillo: <text>" on standard error and returns `status`.
int tool_error(int status, const char* format, ...);
