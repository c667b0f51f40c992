/* morvik: language identification (en, nl, fr, de, it, es) with character 4-gram models.
 *
 * Strings are zero-terminated 8-bit text (Windows-1252/Latin-1), owned by the caller; the
 * library copies what it keeps. Language codes are two letters, lower-cased on entry. All
 * state is global: no two of these functions may run at the same time. */
#ifndef MORVIK_MORVIK_H
#define MORVIK_MORVIK_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(MORVIK_BUILDING)
#define MORVIK_API __declspec(dllexport)
#else
#define MORVIK_API __declspec(dllimport)
#endif
#else
#define MORVIK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Reads the configuration file and loads the models it names. A plain name that is not in the
 * working directory is looked for in the installed data folder (share/morvik beside the
 * library's lib folder, which holds "lid.cfg"). A model name is taken relative to the working
 * directory when it exists there, else relative to the configuration file's folder. 0 on
 * success; -1 when the file or a required entry ("n", "topictype", "threshold") is missing,
 * when a listed model cannot be loaded (the others still are; the reason is on the error
 * stream) or memory ran out; a null name gives -1. */
MORVIK_API int32_t C_InitLanguageClassifier(const char* configFile);

/* Loads one model file into the profile of language (en nl fr de it es); unknown codes, null
 * pointers and unreadable files load nothing. Always 0. */
MORVIK_API int32_t C_Init(const char* modelFile, int32_t n, const char* language,
                          const char* topicType);

/* Score of text in language, between 0 and 1 (geometric mean of 4-gram probabilities);
 * documentType "ASCIIDocument" or "HTMLDocument" (anything else, null too, is plain text).
 * 0.0 for an unloaded or unknown (or null) language or a text without 4-grams; -1.0 for a
 * null text and for a text that could not be scored (memory ran out; the reason is on the
 * error stream). The library stays usable after either. */
MORVIK_API float C_Classify(const char* text, const char* language, const char* documentType);

/* The best of the six languages as "xx 0.1234", or "?? 0.1234" when the best score is not
 * above the configured threshold. Never null; the text is owned by the library and valid
 * until the next call. A null text answers "?? 0.0000"; a text that could not be scored
 * (memory ran out) "?? -1.0000". */
MORVIK_API const char* C_ClassifyLanguage(const char* text);

/* Releases a document left over from building. Models stay loaded. Always 0. */
MORVIK_API int32_t C_Close(void);

/* Starts building a model: reads the configuration ("n", "ngramfile", "topicfile" or "stdin",
 * "topictype") and the training text. 0 on success, -1 when the configuration, an entry or
 * the training text is missing (null name too) or memory ran out. */
MORVIK_API int32_t BC_Init(const char* configFile);

/* Adds the training text's n-gram counts to the model being built. Always -1. */
MORVIK_API int32_t BC_CreateClassifier(void);

/* Writes the model file (replaced whole, or left untouched when writing fails or when
 * collecting the counts ran out of memory) and releases the training text. Always 0. */
MORVIK_API int32_t BC_Close(void);

#ifdef __cplusplus
}
#endif

#endif /* MORVIK_MORVIK_H */
