// The speech engine's voice codes and default settings, for the settings and the options dialog.
#pragma once

#include <cstdint>

#include <qvstts/qvstts.h>

namespace engines {

inline constexpr std::int32_t kVoiceRobot = QVS_VOICE_ROBOT;
inline constexpr std::int32_t kVoiceMan = QVS_VOICE_MAN;
inline constexpr std::int32_t kVoiceWoman = QVS_VOICE_WOMAN;
inline constexpr std::int32_t kVoiceBoy = QVS_VOICE_BOY;
inline constexpr std::int32_t kVoiceGirl = QVS_VOICE_GIRL;
inline constexpr std::int32_t kVoiceMouse = QVS_VOICE_MOUSE;
inline constexpr std::int32_t kVoiceSnake = QVS_VOICE_SNAKE;

// Voice, tempo, pitch and volume as the engine would choose them (QVS_GetDefaultSettings).
using SpeechDefaults = QVS_Settings;

} // namespace engines
