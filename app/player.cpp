// The player's dialog procedure and the operations behind its buttons.
#include "app/player.h"

#include <cstdio>

#include "resources/resource_ids.h"
#include "codec/decoder.h"
#include "playback/container.h"
#include "playback/engine.h"
#include "playback/player_state.h"

namespace {

// Takes the default-button border off `buttonId` and the keyboard focus off
// both buttons after a click.
void releaseButton(WindowHandle window, int buttonId) {
  uint32_t style = platformGetControlStyle(window, buttonId);
  platformSetControlStyle(window, buttonId, style & ~PLATFORM_BS_DEFPUSHBUTTON);
  platformFocusControl(window, ID_PROGRAM_NAME);
}

void initDialog(WindowHandle window) {
  playerState.playImage = platformLoadBitmap(playerState.instance, BITMAP_PLAY);
  playerState.playingImage = platformLoadBitmap(playerState.instance, BITMAP_PLAYING);
  platformSetButtonImage(window, ID_PLAY, playerState.playImage);
  platformSetButtonImage(window, ID_STOP, platformLoadBitmap(playerState.instance, BITMAP_STOP));
  if (platformProgramPath(playerState.instance, playerState.programPath, PROGRAM_PATH_SIZE) == 0)
    playerState.programPath[0] = '\0';
  readMessageHeader();
  showTitle(window, 0);
  startOrResume(window);
}

void onCommand(WindowHandle window, unsigned controlId) {
  switch (controlId) {
    case PLATFORM_IDCANCEL:
      platformEndDialog(window, 1);
      break;
    case ID_PLAY:
      startOrResume(window);
      break;
    case ID_STOP:
      if (playerState.playing) {
        stopPlayer(window);
      } else {
        playerState.blockPosition = 0;
        showTitle(window, 0);
      }
      releaseButton(window, ID_STOP);
      break;
    default:
      break;
  }
}

// A buffer has finished playing: refill it with the next block, or end the
// playback once the buffer holding the last block is done.
void onBufferDone(WindowHandle window, WaveHeader* header) {
  if (!acceptFinishedBuffer(header)) return;
  if (!playerState.reading) {
    stopPlayer(window);
    return;
  }
  int n = readBlock();
  if (n == 0 && !anyBufferQueued()) {
    // Only one buffer takes part and the last block has just played: a
    // refill would be heard, as nothing else is queued for a stop to discard.
    playerState.reading = false;
    playerState.blockPosition = 0;
    stopPlayer(window);
    return;
  }
  refillBuffer(header, playerState.blockBuffer);
  playerState.blockPosition++;
  if (n != 0) {
    showTitle(window, playerState.blockPosition);
  } else {
    playerState.reading = false;
    playerState.blockPosition = 0;
  }
}

}  // namespace

int playerMain(InstanceHandle instance) {
  playerState = PlayerState();
  decoder_program_start();
  playerState.instance = instance;
  platformRunDialog(instance, DIALOG_PLAYER, playerDialogProc, 0);
  return 0;
}

intptr_t playerDialogProc(WindowHandle window, unsigned message, uintptr_t wParam,
                          intptr_t lParam) {
  switch (message) {
    case PLATFORM_WM_INITDIALOG:
      initDialog(window);
      return 1;
    case PLATFORM_WM_COMMAND:
      onCommand(window, static_cast<unsigned>(wParam & 0xFFFF));
      return 1;
    case PLATFORM_WOM_DONE:
      onBufferDone(window, reinterpret_cast<WaveHeader*>(lParam));
      return 1;
    case PLATFORM_WM_DESTROY:
      if (playerState.playing) stopPlayer(window);
      releaseLateHeaders();
      return 1;
    default:
      return 0;
  }
}

void startOrResume(WindowHandle window) {
  if (playerState.playing) return;
  int result = startPlayback(window, playerState.effectId, depthOfByte(playerState.depthByte));
  if (result == 0) {
    platformSetButtonImage(window, ID_PLAY, playerState.playingImage);
    platformEnableControl(window, ID_PLAY, false);
    openPayloadAt();
    playerState.reading = true;
    playerState.playing = true;
  } else {
    platformMessageBox(window, "Can not open sound device.", "QLO");
  }
  releaseButton(window, ID_PLAY);
}

void stopPlayer(WindowHandle window) {
  if (!playerState.playing) return;
  stopPlayback();
  closePayload();
  playerState.playing = false;
  playerState.reading = false;
  platformSetButtonImage(window, ID_PLAY, playerState.playImage);
  platformEnableControl(window, ID_PLAY, true);
}

void showTitle(WindowHandle window, int32_t position) {
  char text[64];
  formatTitle(text, sizeof text, positionSeconds(playerState.rateCode, position),
              playerState.totalSeconds);
  platformSetTitle(window, text);
}
