/* zq: the Dutch text preprocessor. Three engines, always used in this order:
 * Schoonmaken (cleans mail text), AlineaHerstellen (restores paragraphs) and NumberSolver
 * (turns numbers, times, dates and amounts into Dutch words).
 *
 * Texts in and out are zero-terminated 8-bit Windows-1252. Booleans are 32-bit; any non-zero
 * value is true (callers pass true as -1). Each engine keeps its own last result; no two calls
 * into one engine may run at once. Plain C: this header includes only standard C headers. */
#ifndef ZQ_ZQ_H
#define ZQ_ZQ_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(ZQ_BUILDING)
#define ZQ_API __declspec(dllexport)
#else
#define ZQ_API __declspec(dllimport)
#endif
#else
#define ZQ_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Start an engine. programFolder ends in a path separator and holds the rule file
 * "zq-regels.txt". Returns 1 when the rule file was read, 0 otherwise (NULL folder, missing or
 * unreadable file); the engine then still works, with its built-in rules only. */
ZQ_API int32_t ZQ_Schoonmaken_Start(const char* programFolder);
ZQ_API int32_t ZQ_AlineaHerstellen_Start(const char* programFolder);
ZQ_API int32_t ZQ_NumberSolver_Start(const char* programFolder);

/* Process text and keep the result for RetrieveText. Returns the result's length in bytes,
 * 0 when Schoonmaken found nothing speakable, and -1 on failure (NULL text, text too long,
 * out of memory); after a failure the engine's result is empty. */
ZQ_API int32_t ZQ_Schoonmaken_RetrieveBufferLen(const char* text, int32_t skipQuotedText);
ZQ_API int32_t ZQ_AlineaHerstellen_RetrieveBufferLen(const char* text);
ZQ_API int32_t ZQ_NumberSolver_RetrieveBufferLen(const char* text);

/* The engine's last result, zero-terminated, owned by the library: valid until that engine's
 * next RetrieveBufferLen, Clear or Stop. Never NULL (empty before the first result). */
ZQ_API const char* ZQ_Schoonmaken_RetrieveText(void);
ZQ_API const char* ZQ_AlineaHerstellen_RetrieveText(void);
ZQ_API const char* ZQ_NumberSolver_RetrieveText(void);

/* Free the engine's last result. ZQ_AlineaHerstellen_Clear is offered for symmetry. */
ZQ_API void ZQ_Schoonmaken_Clear(void);
ZQ_API void ZQ_AlineaHerstellen_Clear(void);
ZQ_API void ZQ_NumberSolver_Clear(void);

/* Free the result and the rules read by Start. Safe without a Start; a stopped engine still
 * processes text with its built-in rules. */
ZQ_API void ZQ_Schoonmaken_Stop(void);
ZQ_API void ZQ_AlineaHerstellen_Stop(void);
ZQ_API void ZQ_NumberSolver_Stop(void);

#ifdef __cplusplus
}
#endif

#endif /* ZQ_ZQ_H */
