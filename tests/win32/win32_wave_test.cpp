// The Win32 wave output under Wine: buffer-done notifications reach the
// window, translated to the engine's headers, exactly once each and in
// order, also those of buffers that a reset handed back after the engine
// released their headers. Needs a sound device (the test script provides
// one); skips loudly without.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <vector>

#include "app/dialog_services.h"
#include "playback/file_access.h"
#include "playback/wave_output.h"
#include "platform/win32/win32_internal.h"

namespace {

const WaveFormat PCM_8K_MONO = {1, 8000, 16000, 2, 16};

#define REQUIRE_DEVICE()                                                            \
  do {                                                                              \
    if (platformWaveDeviceCount() == 0) GTEST_SKIP() << "SKIPPED: no sound device"; \
  } while (0)

// A hidden window that receives the notifications of the device.
struct NotifyWindow {
  HWND hwnd = CreateWindowA("STATIC", "wave test", 0, 0, 0, 0, 0, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  ~NotifyWindow() { DestroyWindow(hwnd); }
  WindowHandle handle() const { return reinterpret_cast<WindowHandle>(hwnd); }
};

// The notifications that reach the dialog procedure within `milliseconds`,
// as the engine's header pointers. Stops early after `count` of them.
std::vector<WaveHeader*> collectDone(HWND hwnd, size_t count, DWORD milliseconds) {
  std::vector<WaveHeader*> done;
  DWORD start = GetTickCount();
  while (done.size() < count && GetTickCount() - start < milliseconds) {
    MSG msg;
    if (!PeekMessageA(&msg, hwnd, MM_WOM_DONE, MM_WOM_DONE, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_POSTMESSAGE);
      continue;
    }
    intptr_t header = 0;
    if (win32TranslateWaveDone(msg.lParam, &header))
      done.push_back(reinterpret_cast<WaveHeader*>(header));
  }
  return done;
}

// Two buffers of PCM as the engine keeps them.
struct Buffers {
  std::vector<char> pcm[2];
  WaveHeader header[2];
  explicit Buffers(size_t bytes) {
    for (int i = 0; i < 2; i++) {
      pcm[i].assign(bytes, 0);
      header[i] = WaveHeader{pcm[i].data(), static_cast<uint32_t>(bytes), 0, 0, nullptr};
    }
  }
};

TEST(Win32Wave, EachBufferComesBackOnceInQueueOrder) {
  REQUIRE_DEVICE();
  NotifyWindow window;
  WaveOutHandle device = nullptr;
  ASSERT_EQ(platformWaveOpen(&device, &PCM_8K_MONO, window.handle()), 0);
  Buffers b(800);  // 50 ms each
  for (WaveHeader& h : b.header) ASSERT_EQ(platformWavePrepare(device, &h), 0);
  EXPECT_NE(b.header[0].native, b.header[1].native);
  for (int round = 0; round < 3; round++) {
    ASSERT_EQ(platformWaveWrite(device, &b.header[0]), 0);
    ASSERT_EQ(platformWaveWrite(device, &b.header[1]), 0);
    std::vector<WaveHeader*> done = collectDone(window.hwnd, 3, 2000);
    ASSERT_EQ(done, (std::vector<WaveHeader*>{&b.header[0], &b.header[1]})) << "round " << round;
    EXPECT_TRUE(b.header[1].flags & WHDR_DONE);
  }
  platformWaveReset(device);
  for (WaveHeader& h : b.header) {
    EXPECT_EQ(platformWaveUnprepare(device, &h), 0);
    EXPECT_EQ(h.native, nullptr);
  }
  EXPECT_TRUE(collectDone(window.hwnd, 1, 300).empty()) << "nothing was queued at the reset";
  platformWaveClose(device);
}

TEST(Win32Wave, ResetHandsBackReleasedHeadersBeforeThoseOfTheNextPlayback) {
  REQUIRE_DEVICE();
  NotifyWindow window;
  WaveOutHandle device = nullptr;
  ASSERT_EQ(platformWaveOpen(&device, &PCM_8K_MONO, window.handle()), 0);
  // A stop: two long buffers queued, reset, unprepared, device closed. The
  // buffers stay allocated here only so that no new header can sit at the
  // address of an old one.
  Buffers old(16000);
  for (WaveHeader& h : old.header) ASSERT_EQ(platformWavePrepare(device, &h), 0);
  for (WaveHeader& h : old.header) ASSERT_EQ(platformWaveWrite(device, &h), 0);
  platformWaveReset(device);
  for (WaveHeader& h : old.header) platformWaveUnprepare(device, &h);
  platformWaveClose(device);

  // The next playback, started before the dialog has seen those
  // notifications, with new headers.
  ASSERT_EQ(platformWaveOpen(&device, &PCM_8K_MONO, window.handle()), 0);
  Buffers fresh(800);
  for (WaveHeader& h : fresh.header) ASSERT_EQ(platformWavePrepare(device, &h), 0);
  for (WaveHeader& h : fresh.header) ASSERT_EQ(platformWaveWrite(device, &h), 0);

  std::vector<WaveHeader*> done = collectDone(window.hwnd, 5, 2000);
  EXPECT_EQ(done, (std::vector<WaveHeader*>{&old.header[0], &old.header[1], &fresh.header[0],
                                            &fresh.header[1]}));
  platformWaveReset(device);
  for (WaveHeader& h : fresh.header) platformWaveUnprepare(device, &h);
  platformWaveClose(device);
}

TEST(Win32Wave, HeaderLimitsAndUnpreparedBuffers) {
  REQUIRE_DEVICE();
  NotifyWindow window;
  WaveOutHandle device = nullptr;
  ASSERT_EQ(platformWaveOpen(&device, &PCM_8K_MONO, window.handle()), 0);
  std::vector<char> pcm(160, 0);
  WaveHeader never{pcm.data(), 160, 0, 0, nullptr};
  EXPECT_NE(platformWaveWrite(device, &never), 0) << "an unprepared buffer cannot be queued";
  EXPECT_EQ(platformWaveUnprepare(device, &never), 0);

  // More headers than the engine ever keeps at once: the surplus fails
  // cleanly and takes no record.
  WaveHeader many[8];
  int prepared = 0;
  for (WaveHeader& h : many) {
    h = WaveHeader{pcm.data(), 160, 0, 0, nullptr};
    if (platformWavePrepare(device, &h) == 0)
      prepared++;
    else
      EXPECT_EQ(h.native, nullptr);
  }
  EXPECT_GE(prepared, 4);
  EXPECT_LT(prepared, 8);
  EXPECT_NE(platformWavePrepare(device, &many[0]), 0) << "prepared twice";
  for (WaveHeader& h : many) platformWaveUnprepare(device, &h);
  EXPECT_EQ(platformWavePrepare(device, &many[7]), 0) << "records are free again";
  platformWaveUnprepare(device, &many[7]);
  platformWaveClose(device);
}

TEST(Win32Wave, UnknownRecordsAreNotTranslated) {
  WAVEHDR foreign{};
  intptr_t header = 0;
  EXPECT_FALSE(win32TranslateWaveDone(reinterpret_cast<intptr_t>(&foreign), &header));
  EXPECT_FALSE(win32TranslateWaveDone(0, &header));
}

}  // namespace
