/* qvstts: the Tolvani speech engine, Dutch text-to-speech with a flat C interface.
 *
 * Texts are zero-terminated 8-bit Windows-1252 strings owned by the caller; the engine copies
 * what it keeps. A text may carry carriage returns between sentences and the stress marks "\+"
 * (stressed) and "\-" (unstressed) immediately before a word; the marks are interpreted, never
 * spoken. Every function returns 0 on success and a negative QVS_E_ value on failure; no
 * exception ever leaves the library. Call the functions from one thread (the UI thread).
 *
 * Environment, read by QVS_Init:
 *   QVSTTS_SINK        "device" (default; falls back to "null" without a sound device),
 *                      "null" (consumes audio at real-time pace), "null:FACTOR" (FACTOR times
 *                      faster than real time), "wav:FILE" (writes all speech of the session to
 *                      one 16-bit mono WAV file, as fast as it is made).
 *   QVSTTS_TRANSCRIPT  a file that gets one UTF-8 line per QVS_Say:
 *                      local time TAB target ("none" or the handle in hex) TAB the text as given,
 *                      stress marks untouched, CR, LF, TAB and other control characters written
 *                      as \r, \n, \t and \xHH; then, for a text read in another language than
 *                      Dutch, TAB and its code (QVS_SetLanguage).
 */
#ifndef QVSTTS_QVSTTS_H
#define QVSTTS_QVSTTS_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(QVSTTS_BUILDING)
#define QVS_API __declspec(dllexport)
#else
#define QVS_API __declspec(dllimport)
#endif
#define QVS_CALL __stdcall
#else
#define QVS_API __attribute__((visibility("default")))
#define QVS_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A window handle: an HWND on Windows; on other systems an opaque value of the host (for Qt
 * hosts, a QWidget pointer). Null means "no window". */
typedef void* QVS_WINDOW;

/* The message posted to the window of QVS_Say when its speech output closes. */
#define QVS_MM_WOM_CLOSE 0x3BC

/* The voices of QVS_SetVoice. */
#define QVS_VOICE_ROBOT 0
#define QVS_VOICE_MAN 4
#define QVS_VOICE_WOMAN 7
#define QVS_VOICE_BOY 10
#define QVS_VOICE_GIRL 13
#define QVS_VOICE_MOUSE 16
#define QVS_VOICE_SNAKE 17

/* A voice and its three levels, as QVS_GetDefaultSettings reports them. */
typedef struct QVS_Settings {
    int32_t voice;
    int32_t tempo;
    int32_t pitch;
    int32_t volume;
} QVS_Settings;

#define QVS_OK 0
#define QVS_E_FAILED (-1)     /* the engine could not be made ready (speech data missing) */
#define QVS_E_ARGUMENT (-2)   /* a null pointer where a value is required */
#define QVS_E_NO_DISPLAY (-3) /* QVS_Lexicon without a running Qt Widgets application */

/* Posts message to window. Called by the engine on its own speaking thread, so it must be
 * thread-safe, must not block and must not call back into the engine; it is expected to queue
 * the message for the window's UI thread (Qt: QCoreApplication::postEvent). */
typedef void(QVS_CALL* QVS_PostMessageProc)(void* context, QVS_WINDOW window, uint32_t message);

/* The extra export of this implementation: registers how a window handle is posted to, since
 * a POSIX process has no window handles of its own. Replaces any earlier registration; a null
 * proc removes it (on Windows the engine then uses PostMessage). Safe to call at any time. */
QVS_API int32_t QVS_CALL QVS_SetPostMessageProc(QVS_PostMessageProc proc, void* context);

/* The second extra export: later texts are read in language, "nl" (Dutch, the default), "en",
 * "fr", "de", "it" or "es", with the same voice, tempo, pitch and volume; a null or empty code
 * is Dutch. The word list applies to Dutch texts only. An unknown code keeps the previous
 * language and returns QVS_E_ARGUMENT. Texts already queued keep the language they were given
 * with. */
QVS_API int32_t QVS_CALL QVS_SetLanguage(const char* language);

/* Makes the engine ready: loads the Dutch voice, starts the speaking thread, reads the
 * environment above. version is 0xA2000; any value is accepted. A second call is a no-op. */
QVS_API int32_t QVS_CALL QVS_Init(int32_t version);

/* Ends all speech (each pending QVS_Say with a window still gets its QVS_MM_WOM_CLOSE) and
 * releases the engine's thread and audio output. Safe to call twice; QVS_Init may follow. */
QVS_API int32_t QVS_CALL QVS_Close(void);

/* Queues text behind any speech still running and returns at once. When its speech output
 * closes (spoken to the end, or cut off by QVS_Stop or QVS_Close) QVS_MM_WOM_CLOSE is posted
 * to window exactly once; with a null window nothing is posted. Makes the engine ready first
 * when QVS_Init has not run. A null text counts as empty. */
QVS_API int32_t QVS_CALL QVS_Say(QVS_WINDOW window, const char* text);

/* Toggles: pauses running speech, or resumes paused speech. Without speech, a no-op. */
QVS_API int32_t QVS_CALL QVS_Pause(void);

/* Cuts off the current speech at once and drops queued texts; a pause is lifted. Returns
 * when their end messages have been posted. */
QVS_API int32_t QVS_CALL QVS_Stop(void);

/* Later texts use the voice, one of the QVS_VOICE_ codes above.
 * An unknown code keeps the previous voice and returns QVS_E_ARGUMENT. */
QVS_API int32_t QVS_CALL QVS_SetVoice(int32_t voice);

/* Later texts use the level, 0 to 10 with 5 as the natural middle; values outside are
 * brought to the nearest bound. */
QVS_API int32_t QVS_CALL QVS_SetTempo(int32_t level);
QVS_API int32_t QVS_CALL QVS_SetPitch(int32_t level);
QVS_API int32_t QVS_CALL QVS_SetVolume(int32_t level);

/* Fills all four with the engine's defaults; a null pointer is skipped. */
QVS_API int32_t QVS_CALL QVS_GetDefaultSettings(int32_t* voice, int32_t* tempo, int32_t* pitch,
                                                int32_t* volume);

/* Opens the word-list editor, modally over owner (null: centred on the screen). The list
 * (word, how to say it) is the user's own, stored under the XDG data folder
 * ($XDG_DATA_HOME/qvstts/woordenlijst.txt) and applied to every later text. Needs a running
 * Qt Widgets application; owner may be a QWidget pointer or a native window id. */
QVS_API int32_t QVS_CALL QVS_Lexicon(QVS_WINDOW owner);

#ifdef __cplusplus
}
#endif

#endif
