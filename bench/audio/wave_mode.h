#pragma once
#include <string>

// click_timing --wave file.wav: the clicks are wave buffers started by DSPlay::Play from the
// handler of the player's posted beat markers. Prints the one-line report and returns the exit code.
// An empty `outWav` plays through the device: the report gives the device's clock only.
int RunWaveClicks(int bpm, double seconds, double settleSeconds, const std::string& outWav,
                  const std::string& waveFile);
