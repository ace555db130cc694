// The player's whole life on the scripted fake platform: launch, the silent
// start, the refills, the end of the message, pause, rewind, closing, and
// the failures of the sound device.
//
// The message files hold marked blocks: a recording frame decoder turns
// every frame of block n into 80 samples of value n + 1, so each queued
// buffer tells which block of the file it was refilled from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/player.h"
#include "resources/resource_ids.h"
#include "codec/block_decoder.h"
#include "platform/fake/fake_platform.h"
#include "playback/container.h"
#include "playback/engine.h"
#include "playback/player_state.h"
#include "tests/support/test_support.h"

namespace {

const int SILENT = -1;  // a buffer of zeros
const int MIXED = -2;   // anything else

int instanceToken;
InstanceHandle const INSTANCE = reinterpret_cast<InstanceHandle>(&instanceToken);

// Frame decoder that writes the frame's block mark instead of speech.
void markFrame(const uint8_t* frameBytes, int, Word16* pcm) {
  Word16 mark = static_cast<Word16>((frameBytes[2] << 8 | frameBytes[3]) + 1);
  for (int i = 0; i < 80; i++) pcm[i] = mark;
}

// Block `n` of a 6.4 kbit/s message, scrambled: every 8-byte frame carries n.
std::vector<uint8_t> markedBlock(int n) {
  std::vector<uint8_t> plain(BLOCK_BYTES);
  for (int i = 0; i < BLOCK_BYTES; i += 8) {
    const uint8_t frame[8] = {
        0x41, 0x41, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n), 0x41, 0x41, 0x41, 0x41};
    for (int k = 0; k < 8; k++) plain[i + k] = frame[k];
  }
  std::vector<uint8_t> block(BLOCK_BYTES);
  scramble_bytes(plain.data(), block.data(), BLOCK_BYTES);
  return block;
}

// Which block a buffer was refilled from, or SILENT or MIXED.
int blockIn(const std::vector<int16_t>& samples) {
  if (samples.empty()) return MIXED;
  for (int16_t s : samples)
    if (s != samples[0]) return MIXED;
  return samples[0] == 0 ? SILENT : samples[0] - 1;
}

std::vector<int> writtenBlocks() {
  std::vector<int> blocks;
  for (const auto& buffer : fakePlatform.written) blocks.push_back(blockIn(buffer.samples));
  return blocks;
}

// What was heard, one entry per buffer of `bufferSamples`.
std::vector<int> playedBlocks(size_t bufferSamples) {
  std::vector<int> blocks;
  const auto& played = fakePlatform.played;
  for (size_t i = 0; i + bufferSamples <= played.size(); i += bufferSamples)
    blocks.push_back(
        blockIn(std::vector<int16_t>(played.begin() + i, played.begin() + i + bufferSamples)));
  return blocks;
}

std::string violations() {
  std::string all;
  for (const auto& v : fakePlatform.violations) all += v + "; ";
  return all;
}

const FakeControl& control(int id) { return fakePlatform.controls.at(id); }

class Player : public ::testing::Test {
 protected:
  void SetUp() override {
    fakeReset();
    set_block_frame_decoder(markFrame);
  }
  void TearDown() override { set_block_frame_decoder(nullptr); }

  // Writes a program file: the player's bytes, then (when `header`) the
  // message header and `blocks` marked blocks.
  void writeMessage(const std::string& name, uint8_t rateCode, int blocks, bool header = true,
                    uint8_t effectId = 0, uint8_t depthByte = 0) {
    std::vector<uint8_t> payload;
    if (header) payload = {1, 2, 3, 4, 5, 6, 7, 8, rateCode, 9, effectId, depthByte};
    for (int n = 0; n < blocks; n++) {
      std::vector<uint8_t> block = markedBlock(n);
      payload.insert(payload.end(), block.begin(), block.end());
    }
    fakePlatform.programPath = testsupport::writeMessageFile(name, payload, 0x90);
    ASSERT_FALSE(fakePlatform.programPath.empty());
  }

  // Runs the program with `script` as the user and the device; the script
  // must end the dialog.
  void run(std::function<void()> script) {
    fakePlatform.script = std::move(script);
    EXPECT_EQ(playerMain(INSTANCE), 0);
    EXPECT_EQ(fakePlatform.violations.size(), 0u) << violations();
    EXPECT_FALSE(fakePlatform.deviceOpen);
    EXPECT_EQ(playerState.payloadFile.file, nullptr);
  }

  // The player shows the idle state: Play with its idle image, enabled.
  static void expectIdle() {
    EXPECT_FALSE(playerState.playing);
    EXPECT_FALSE(fakePlatform.deviceOpen);
    EXPECT_EQ(control(ID_PLAY).imageId, BITMAP_PLAY);
    EXPECT_TRUE(control(ID_PLAY).enabled);
  }

  static void expectPlaying() {
    EXPECT_TRUE(playerState.playing);
    EXPECT_TRUE(fakePlatform.deviceOpen);
    EXPECT_EQ(control(ID_PLAY).imageId, BITMAP_PLAYING);
    EXPECT_FALSE(control(ID_PLAY).enabled);
  }

  // Neither button keeps the default-button border or the focus.
  static void expectButtonsReleased() {
    EXPECT_EQ(control(ID_PLAY).style & PLATFORM_BS_DEFPUSHBUTTON, 0u);
    EXPECT_EQ(control(ID_STOP).style & PLATFORM_BS_DEFPUSHBUTTON, 0u);
    EXPECT_EQ(fakePlatform.focus, ID_PROGRAM_NAME);
  }
};

TEST_F(Player, LaunchPlaysTheMessageToItsEndAndStopsByItself) {
  writeMessage("three.exe", 0, 3);  // 3 blocks of 0.64 s: 1.92 s, shown as 2 s
  run([] {
    // Launch: the dialog starts playing without a click, two silent buffers.
    EXPECT_EQ(fakePlatform.templateId, DIALOG_PLAYER);
    EXPECT_EQ(fakePlatform.title, "QLO [00:00:00]-[00:00:02]");
    EXPECT_EQ(control(ID_STOP).imageId, BITMAP_STOP);
    expectPlaying();
    expectButtonsReleased();
    EXPECT_EQ(writtenBlocks(), (std::vector<int>{SILENT, SILENT}));
    EXPECT_EQ(fakeWrittenSamples(0).size(), 5120u);
    EXPECT_EQ(fakePlatform.openedFormat.channels, 1);
    EXPECT_EQ(fakePlatform.openedFormat.samplesPerSecond, 8000u);
    EXPECT_EQ(fakePlatform.openedFormat.bytesPerSecond, 16000u);
    EXPECT_EQ(fakePlatform.openedFormat.blockAlign, 2);
    EXPECT_EQ(fakePlatform.openedFormat.bitsPerSample, 16);
    EXPECT_EQ(fakePlatform.queryCount, 1u);

    // Each finished buffer comes back with the next block; the title follows.
    ASSERT_TRUE(fakeFinishBuffer());
    EXPECT_EQ(fakePlatform.title, "QLO [00:00:01]-[00:00:02]");  // 0.64 s
    ASSERT_TRUE(fakeFinishBuffer());
    EXPECT_EQ(fakePlatform.title, "QLO [00:00:01]-[00:00:02]");  // 1.28 s
    ASSERT_TRUE(fakeFinishBuffer());
    EXPECT_EQ(fakePlatform.title, "QLO [00:00:02]-[00:00:02]");  // 1.92 s
    EXPECT_EQ(writtenBlocks(), (std::vector<int>{SILENT, SILENT, 0, 1, 2}));

    // The file is exhausted: the buffer is refilled once more from the last
    // block read, the title stays and reading ends.
    ASSERT_TRUE(fakeFinishBuffer());
    EXPECT_FALSE(playerState.reading);
    EXPECT_EQ(playerState.blockPosition, 0);
    EXPECT_EQ(fakePlatform.title, "QLO [00:00:02]-[00:00:02]");
    EXPECT_TRUE(playerState.playing);

    // The buffer of the last block finishes: playback stops, and the
    // duplicate is discarded unheard.
    ASSERT_TRUE(fakeFinishBuffer());
    expectIdle();
    EXPECT_EQ(fakePlatform.resetCount, 1u);
    EXPECT_EQ(fakePlatform.closeCount, 1u);
    EXPECT_EQ(playedBlocks(5120), (std::vector<int>{SILENT, SILENT, 0, 1, 2}));
    EXPECT_EQ(fakePlatform.titles.size(), 4u);

    // Play starts again from the beginning; the title keeps the last
    // position until the first block is read.
    size_t before = fakePlatform.written.size();
    ASSERT_TRUE(fakeClick(ID_PLAY));
    expectPlaying();
    expectButtonsReleased();
    EXPECT_EQ(fakePlatform.title, "QLO [00:00:02]-[00:00:02]");
    ASSERT_TRUE(fakeFinishBuffer());
    EXPECT_EQ(fakePlatform.title, "QLO [00:00:01]-[00:00:02]");
    EXPECT_EQ(blockIn(fakeWrittenSamples(before + 2)), 0);
    fakePressEscape();
  });
  EXPECT_EQ(fakePlatform.endResult, 1);
}

TEST_F(Player, PauseResumesOneBlockBeforeThePositionReached) {
  writeMessage("six.exe", 0, 6);
  run([] {
    for (int i = 0; i < 3; i++) ASSERT_TRUE(fakeFinishBuffer());
    EXPECT_EQ(playerState.blockPosition, 3);  // blocks 0, 1, 2 read
    std::string title = fakePlatform.title;

    ASSERT_TRUE(fakeClick(ID_STOP));  // pause
    expectIdle();
    expectButtonsReleased();
    EXPECT_EQ(fakePlatform.title, title);
    EXPECT_EQ(playerState.blockPosition, 3);
    EXPECT_EQ(playerState.payloadFile.file, nullptr);

    size_t before = fakePlatform.written.size();
    ASSERT_TRUE(fakeClick(ID_PLAY));  // resume
    expectPlaying();
    // Reading starts at block 2 (file offset 98,316 + 2 x 512).
    EXPECT_EQ(playerState.blockPosition, 2);
    EXPECT_EQ(ftell(playerState.payloadFile.file), FIRST_BLOCK_OFFSET + 2 * BLOCK_BYTES);
    for (int i = 0; i < 4; i++) ASSERT_TRUE(fakeFinishBuffer());
    std::vector<int> all = writtenBlocks();
    std::vector<int> resumed(all.begin() + before, all.end());
    EXPECT_EQ(resumed, (std::vector<int>{SILENT, SILENT, 2, 3, 4, 5}));
    EXPECT_EQ(fakePlatform.openCount, 2u);
    fakeCloseBox();
  });
  EXPECT_EQ(fakePlatform.endResult, 1);
}

TEST_F(Player, StopTwiceRewindsToTheBeginning) {
  writeMessage("rewind.exe", 0, 8);  // 5.12 s: 5 s
  run([] {
    for (int i = 0; i < 5; i++) ASSERT_TRUE(fakeFinishBuffer());
    EXPECT_EQ(fakePlatform.title, "QLO [00:00:03]-[00:00:05]");  // 5 x 0.64 = 3.2 s

    ASSERT_TRUE(fakeClick(ID_STOP));
    EXPECT_EQ(fakePlatform.title, "QLO [00:00:03]-[00:00:05]");
    ASSERT_TRUE(fakeClick(ID_STOP));
    EXPECT_EQ(fakePlatform.title, "QLO [00:00:00]-[00:00:05]");
    EXPECT_EQ(playerState.blockPosition, 0);
    expectIdle();
    expectButtonsReleased();

    // A third Stop changes nothing; Play then starts at block 0.
    ASSERT_TRUE(fakeClick(ID_STOP));
    EXPECT_EQ(fakePlatform.closeCount, 1u);
    size_t before = fakePlatform.written.size();
    ASSERT_TRUE(fakeClick(ID_PLAY));
    ASSERT_TRUE(fakeFinishBuffer());
    EXPECT_EQ(blockIn(fakeWrittenSamples(before + 2)), 0);
    fakePressEscape();
  });
}

TEST_F(Player, EnterAndUnknownCommandsDoNothing) {
  writeMessage("enter.exe", 0, 4);
  run([] {
    ASSERT_TRUE(fakeFinishBuffer());
    std::string title = fakePlatform.title;
    size_t written = fakePlatform.written.size();

    fakePressEnter();  // the invisible default button
    fakeCommand(ID_DEFAULT_BUTTON);
    fakeCommand(1);
    fakeCommand(ID_PROGRAM_NAME);
    EXPECT_EQ(fakeSend(PLATFORM_WM_COMMAND, ID_DEFAULT_BUTTON, 0), 1);
    EXPECT_EQ(fakeSend(0x0200, 0, 0), 0);  // not a message of the player

    EXPECT_TRUE(fakePlatform.dialogOpen);
    expectPlaying();
    EXPECT_EQ(fakePlatform.title, title);
    EXPECT_EQ(fakePlatform.written.size(), written);
    EXPECT_TRUE(fakePlatform.messageBoxes.empty());
    fakePressEscape();
  });
}

TEST_F(Player, EscapeAndTheCloseBoxEndTheDialogAndStopPlayback) {
  for (auto close : {fakePressEscape, fakeCloseBox}) {
    fakeReset();
    writeMessage("close.exe", 0, 4);
    run([close] {
      ASSERT_TRUE(fakeFinishBuffer());
      ASSERT_TRUE(playerState.playing);
      close();
      EXPECT_FALSE(fakePlatform.dialogOpen);
      EXPECT_FALSE(playerState.playing);
      EXPECT_FALSE(fakePlatform.deviceOpen);
      EXPECT_TRUE(fakePlatform.posted.empty());  // gone with the window
    });
    EXPECT_EQ(fakePlatform.endResult, 1);
    EXPECT_EQ(fakePlatform.resetCount, 1u);
  }
}

TEST_F(Player, NoUsableDeviceShowsTheMessageBoxAndPlayCanBeTriedAgain) {
  struct Failure {
    const char* name;
    std::function<void(bool)> set;
  };
  const Failure failures[] = {
      {"no device", [](bool on) { fakePlatform.deviceCount = on ? 0 : 1; }},
      {"format refused", [](bool on) { fakePlatform.refuseFormat = on; }},
      {"open fails", [](bool on) { fakePlatform.failOpen = on; }},
      {"no buffer prepared", [](bool on) { fakePlatform.failPrepareMask = on ? 3 : 0; }},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE(failure.name);
    fakeReset();
    writeMessage("nodevice.exe", 0, 3);
    failure.set(true);
    run([&failure] {
      ASSERT_EQ(fakePlatform.messageBoxes.size(), 1u);
      EXPECT_EQ(fakePlatform.messageBoxes[0].text, "Can not open sound device.");
      EXPECT_EQ(fakePlatform.messageBoxes[0].caption, "QLO");
      EXPECT_TRUE(fakePlatform.written.empty());
      EXPECT_TRUE(fakePlatform.prepared.empty());
      EXPECT_EQ(playerState.payloadFile.file, nullptr);
      expectIdle();
      expectButtonsReleased();
      EXPECT_EQ(fakePlatform.title, "QLO [00:00:00]-[00:00:02]");

      ASSERT_TRUE(fakeClick(ID_PLAY));  // still no device: the box again
      EXPECT_EQ(fakePlatform.messageBoxes.size(), 2u);
      expectIdle();

      failure.set(false);
      ASSERT_TRUE(fakeClick(ID_PLAY));
      expectPlaying();
      EXPECT_EQ(writtenBlocks(), (std::vector<int>{SILENT, SILENT}));
      fakePressEscape();
    });
  }
}

TEST_F(Player, OneUnpreparedBufferLeavesTheOtherToPlayEveryBlockOnce) {
  writeMessage("onebuffer.exe", 0, 3);
  fakePlatform.failPrepareMask = 1;  // the first buffer's header
  run([] {
    EXPECT_TRUE(fakePlatform.messageBoxes.empty());
    expectPlaying();
    EXPECT_EQ(writtenBlocks(), (std::vector<int>{SILENT}));
    int notifications = 0;
    while (fakeFinishBuffer()) notifications++;
    EXPECT_EQ(notifications, 4);
    expectIdle();
    EXPECT_EQ(playedBlocks(5120), (std::vector<int>{SILENT, 0, 1, 2}));
    fakePressEscape();
  });
}

TEST_F(Player, NotificationsAfterAStopNeverReachReleasedBuffers) {
  writeMessage("late.exe", 0, 10);
  run([] {
    for (int i = 0; i < 2; i++) ASSERT_TRUE(fakeFinishBuffer());

    // Stop with both buffers queued: the reset posts their notifications,
    // which arrive after the headers are gone.
    ASSERT_EQ(fakePlatform.deviceQueue.size(), 2u);
    ASSERT_TRUE(fakeClick(ID_STOP));
    EXPECT_EQ(fakePlatform.posted.size(), 2u);
    size_t written = fakePlatform.written.size();
    fakePump();
    EXPECT_EQ(fakePlatform.written.size(), written);
    expectIdle();
    EXPECT_EQ(playerState.blockPosition, 2);

    // Stop and Play again before the late notifications are handled: the
    // new buffers (perhaps at the old addresses) stay queued and untouched.
    ASSERT_TRUE(fakeClick(ID_PLAY));
    ASSERT_TRUE(fakeFinishBuffer());  // silent buffer back with block 1
    ASSERT_TRUE(fakeClick(ID_STOP));
    ASSERT_TRUE(fakeClick(ID_PLAY));
    EXPECT_EQ(fakePlatform.posted.size(), 2u);
    written = fakePlatform.written.size();
    fakePump();
    EXPECT_EQ(fakePlatform.written.size(), written);
    EXPECT_EQ(fakePlatform.deviceQueue.size(), 2u);
    expectPlaying();

    // Playback goes on from where it resumed.
    ASSERT_TRUE(fakeFinishBuffer());
    EXPECT_EQ(blockIn(fakeWrittenSamples(written)), 1);

    // Late notifications handled inside the message box of a failed start.
    ASSERT_TRUE(fakeClick(ID_STOP));
    fakePlatform.deviceCount = 0;
    ASSERT_TRUE(fakeClick(ID_PLAY));
    EXPECT_EQ(fakePlatform.messageBoxes.size(), 1u);
    EXPECT_TRUE(fakePlatform.posted.empty());
    fakePlatform.deviceCount = 1;
    ASSERT_TRUE(fakeClick(ID_PLAY));
    ASSERT_TRUE(fakeFinishBuffer());
    EXPECT_EQ(blockIn(fakePlatform.written.back().samples), 1);
    fakePressEscape();
  });
}

TEST_F(Player, APayloadOfExactlyOneBlockPlaysIt) {
  writeMessage("oneblock.exe", 0, 1);  // 0.64 s: 1 s
  run([] {
    EXPECT_EQ(fakePlatform.title, "QLO [00:00:00]-[00:00:01]");
    ASSERT_TRUE(fakeFinishBuffer());
    EXPECT_EQ(fakePlatform.title, "QLO [00:00:01]-[00:00:01]");
    ASSERT_TRUE(fakeFinishBuffer());  // nothing more to read
    EXPECT_TRUE(playerState.playing);
    ASSERT_TRUE(fakeFinishBuffer());  // the block has played
    expectIdle();
    EXPECT_FALSE(fakeFinishBuffer());
    EXPECT_EQ(playedBlocks(5120), (std::vector<int>{SILENT, SILENT, 0}));
    fakePressEscape();
  });
}

TEST_F(Player, AProgramFileWithoutPayloadPlaysTwoSilentBuffersAndStops) {
  // A bare player, and a program whose own path cannot be had.
  for (bool pathKnown : {true, false}) {
    SCOPED_TRACE(pathKnown ? "bare player" : "no program path");
    fakeReset();
    writeMessage("bare.exe", 0, 0, false);
    if (!pathKnown) fakePlatform.programPath.clear();
    run([] {
      EXPECT_EQ(fakePlatform.title, "QLO [00:00:00]-[00:00:00]");
      ASSERT_TRUE(fakeFinishBuffer());  // reads nothing, refills from the zeroed block
      EXPECT_FALSE(playerState.reading);
      ASSERT_TRUE(fakeFinishBuffer());
      expectIdle();
      EXPECT_EQ(fakePlatform.titles.size(), 1u);
      EXPECT_EQ(playedBlocks(5120), (std::vector<int>{SILENT, SILENT}));
      fakePressEscape();
    });
  }
}

TEST_F(Player, TheHeaderChoosesTheEffectAndItsDepth) {
  // Depth byte 127 is depth 0: the reverberator runs but is not heard.
  writeMessage("dry.exe", 0, 3, true, 1, 127);
  run([] {
    for (int i = 0; i < 3; i++) ASSERT_TRUE(fakeFinishBuffer());
    EXPECT_EQ(writtenBlocks(), (std::vector<int>{SILENT, SILENT, 0, 1, 2}));
    fakePressEscape();
  });
  // Depth byte 0 is the full depth: every refilled buffer is changed.
  fakeReset();
  writeMessage("wet.exe", 0, 3, true, 1, 0);
  run([] {
    for (int i = 0; i < 3; i++) ASSERT_TRUE(fakeFinishBuffer());
    std::vector<int> blocks = writtenBlocks();
    ASSERT_EQ(blocks.size(), 5u);
    for (int n = 0; n < 3; n++) EXPECT_NE(blocks[2 + n], n);
    fakePressEscape();
  });
}

TEST_F(Player, BufferSizeAndTimeFollowTheRateCode) {
  struct Case {
    uint8_t rateCode;
    uint32_t bufferBytes;
    const char* title;  // after 50 blocks of a 100-block message
  };
  const Case cases[] = {
      {0, 10240, "QLO [00:00:32]-[00:01:04]"},
      {1, 8160, "QLO [00:00:25]-[00:00:51]"},  // 50 x 0.51 stays below 25.5
      {2, 4480, "QLO [00:00:14]-[00:00:28]"},
      {255, 4480, "QLO [00:00:14]-[00:00:28]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.rateCode));
    fakeReset();
    writeMessage("rates.exe", c.rateCode, 100);
    run([&c] {
      for (int i = 0; i < 50; i++) ASSERT_TRUE(fakeFinishBuffer());
      EXPECT_EQ(fakePlatform.title, c.title);
      for (const auto& buffer : fakePlatform.written)
        ASSERT_EQ(buffer.samples.size() * 2, c.bufferBytes);
      fakePressEscape();
    });
  }
}

TEST_F(Player, TitlesBeyondNinetyNineHoursShowAllTheirHours) {
  char text[64];
  formatTitle(text, sizeof text, 0, 83);
  EXPECT_STREQ(text, "QLO [00:00:00]-[00:01:23]");
  formatTitle(text, sizeof text, 99 * 3600 + 59 * 60 + 59, 100 * 3600);
  EXPECT_STREQ(text, "QLO [99:59:59]-[100:00:00]");
  formatTitle(text, sizeof text, 2147483647, 2147483647);
  EXPECT_STREQ(text, "QLO [596523:14:07]-[596523:14:07]");

  writeMessage("long.exe", 0, 2);
  run([] {
    playerState.totalSeconds = 1000 * 3600 + 1;
    showTitle(fakePlatform.window, 562500);  // 562,500 x 0.64 s = 100 h
    EXPECT_EQ(fakePlatform.title, "QLO [100:00:00]-[1000:00:01]");
    showTitle(fakePlatform.window, 11);  // 7.04 s
    EXPECT_EQ(fakePlatform.title, "QLO [00:00:07]-[1000:00:01]");
    fakePressEscape();
  });
}

}  // namespace
