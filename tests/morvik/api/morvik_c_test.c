/* Compiled as C: the public header must be plain C. Calls the exports with null pointers and
 * checks the documented answers. */
#include <morvik/morvik.h>

#include <stdio.h>
#include <string.h>

int main(void) {
    int failures = 0;
    if (C_InitLanguageClassifier(NULL) != -1) ++failures;
    if (C_Init(NULL, 4, NULL, NULL) != 0) ++failures;
    if (C_Classify(NULL, NULL, NULL) != -1.0f) ++failures;
    if (strcmp(C_ClassifyLanguage(NULL), "?? 0.0000") != 0) ++failures;
    if (C_Close() != 0) ++failures;
    if (BC_Init(NULL) != -1) ++failures;
    if (BC_CreateClassifier() != -1) ++failures;
    if (failures != 0) fprintf(stdout, "%d unexpected answers\n", failures);
    return failures == 0 ? 0 : 1;
}
